#pragma once
// Sending a session to other programs: the FIT, TCX and RowingData CSV
// exports chosen by the file's extension, and the export dialog of the File
// menu. Exporting never changes the session.
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/zones.h"

enum class TExportFormat { None, Fit, Tcx, RowingCsv };

// By extension (".fit", ".tcx", ".csv", any case); None for any other.
TExportFormat ExportFormatOf(const std::string& path);

// The file image of the session in a format (empty for None); with zones,
// the formats that have a place for it get the time in each heart-rate zone.
std::vector<uint8_t> ExportBytes(const TTraining& t, TExportFormat format, const THeartZones* zones = nullptr);

// True when the session has strokes to export.
bool CanExport(const TTraining& t);

// Writes the session to path in the format of its extension. A file already
// there is replaced only by a complete new one. Refuses a session without
// strokes and an extension of no export format; every failure is shown
// through the dialog service. The heart-rate zones are the rower's.
bool ExportTraining(const std::string& path, const TTraining& t);

// The filter of the export dialog: FIT, TCX and RowingData CSV files.
extern const char* const kSessionExportFilter;

// Asks for the file with the "Export to FIT / TCX / CSV" dialog (starting in
// initialDir, proposing the session's file name) and exports. A name typed
// without one of the three extensions gets the extension of the filter
// chosen. path receives the file written ("" when cancelled or failed).
bool ExportTrainingAs(const TTraining& t, const std::string& initialDir, std::string& path);
