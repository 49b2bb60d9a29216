#pragma once
// The RowingData CSV file: the plain per-stroke table that rowing analysis
// sites import. The standard's columns come first under their exact names
// (the historic "stokes/min" spelling included), then this program's own:
// forces in newtons, the drag factor and the force curve.
#include <cstdint>
#include <string>

#include "core/records.h"
#include "files/file_info.h"

// The header line (without its line end).
extern const char* const kRowingCsvHeader;

// One line per exported stroke after the header; numbers with a dot, time
// stamps as Unix times, an empty field where a value is missing.
std::string RowingCsvText(const TTraining& t);

// Reads a RowingData CSV file (ours or another program's: columns are found
// by name, unknown columns are ignored) into t, which the caller has
// cleared. One stroke per line. On failure error holds a reason.
bool ParseRowingCsv(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t, std::string& error);
bool ReadRowingCsv(const std::string& path, TTraining& t, std::string& error);
