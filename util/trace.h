#pragma once
#include <functional>
#include <string>

// Diagnostic trace: one line "time text" to the trace sink. By default the
// sink writes to standard error when CATCHLINE_TRACE=1 and drops lines otherwise.
void Trace(const std::string& text);
bool TraceEnabled();
// Replaces the sink (tests collect lines); an empty function restores the default.
void SetTraceSink(std::function<void(const std::string& line)> sink);
