#pragma once
// Opening any supported file into a session, probing its header, saving and
// exporting a session, and the template a new session starts from.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"

// File-type code (ftNone .. ftCSV) of a path's extension; 0 when unknown.
uint8_t FileTypeOf(const std::string& path);

// Progress of OpenTraining: 0.0 started, 1.0 read, -1.0 finished.
using TOpenProgress = std::function<void(double)>;

// Clears t and reads any supported file (.stg, .str, .ini, .bxi, .bxs, .bxr,
// and the imported FIT and RowingData CSV files) by its extension. A failed
// read leaves t cleared; when verbose the failure is shown, with what was
// wrong where the reader can tell. Interval countdowns are sanitized in
// every case.
bool OpenTraining(const std::string& path, TTraining& t, bool verbose, const TOpenProgress& progress = {});
// Reads only the header of any supported file; version is that of a training
// file (0 for other kinds). A failure leaves the header zeroed.
bool OpenTrainingHeader(const std::string& path, TTrainingHeader& header, uint32_t& version, bool verbose);

// Outcome of WriteByKind.
enum class TWriteResult {
    Written,      // a file was written
    NothingToDo,  // the content kind has no writer for the target type
    Failed,       // the folder could not be made or the writer failed
};

// Writes t to path as content kind q for the target file type: 5 stroke file;
// 6 or 9 training file for an "STG" target; 7 user file for an "INI" target,
// training file for an "STG" target; 8 training file; nothing otherwise. The
// folder is made when missing. A file already at path is replaced only by a
// complete new one.
TWriteResult WriteByKind(const std::string& path, TTraining& t, int q, uint8_t targetType);

// Save or export. With a path, a ".stg" path saves as the session's own file
// type and content kind, any other path as its original type and kind. With
// an empty path the "Export training session" dialog asks for one (the
// filter entry chosen gives the content kind). On success path receives the
// path written; on any failure (cancel included) it is emptied. A save that
// writes nothing (the content kind has no writer for the target type) fails
// too and leaves the session as it was. result (optional) tells which;
// tried (optional) receives the path a write was tried to, also on failure.
bool SaveTraining(std::string& path, const std::string& initialDir, TTraining& t, TWriteResult* result = nullptr,
                  std::string* tried = nullptr);

// Where a session goes when its save failed (a full disk, a read-only or
// missing folder), in this order: the user data folder, then the temporary
// folder ($TMPDIR, else /tmp).
std::vector<std::string> FallbackSaveFolders();
// Saves a session whose save to failedPath failed in the first fallback
// folder where it can be saved (not the folder that failed), as a new file of
// failedPath's name, a number added when that name is taken: nothing there
// is replaced. With ask, the user is asked first. The outcome is shown (the
// folder used, or that none could be written). The path written, "" when
// declined or when nothing could be written.
std::string SaveToFallback(TTraining& t, const std::string& failedPath, bool ask);
// The texts of SaveToFallback.
std::string FallbackQuestionText(const std::string& failedPath);
std::string FallbackSavedText(const std::string& failedPath, const std::string& savedPath);
std::string FallbackFailedText(const std::string& failedPath);

// The filter of the export dialog.
extern const char* const kExportFilter;

// The session a new row or training starts from: the user's template
// training file (a user-only training in the user data folder named like the
// program with ".STG", else "Default.STG", names compared without regard to
// case) when there is one; else the default header and settings. True when
// the template was used.
bool NewTraining(TTraining& t);
// Path of the template training file, "" when there is none.
std::string TemplateTrainingFile();
// The file in folder whose name equals name without regard to case ("" when none).
std::string FindFileNoCase(const std::string& folder, const std::string& name);
