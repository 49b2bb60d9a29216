#include "util/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "util/date_time.h"

namespace {
std::mutex gTraceLock;
std::function<void(const std::string&)> gSink;

bool EnvEnabled()
{
    static const bool enabled = [] {
        const char* v = std::getenv("CATCHLINE_TRACE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}
}  // namespace

bool TraceEnabled()
{
    std::lock_guard<std::mutex> lock(gTraceLock);
    return gSink || EnvEnabled();
}

void SetTraceSink(std::function<void(const std::string& line)> sink)
{
    std::lock_guard<std::mutex> lock(gTraceLock);
    gSink = std::move(sink);
}

void Trace(const std::string& text)
{
    std::lock_guard<std::mutex> lock(gTraceLock);
    if (!gSink && !EnvEnabled()) return;
    std::string line = TimeStamp() + " " + text;
    if (gSink) gSink(line);
    else std::fprintf(stderr, "%s\n", line.c_str());
}
