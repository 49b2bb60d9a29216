#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Paths use "/" as the separator. Folder paths returned here end with "/".

// Folder of the running program file (overridable for tests).
std::string ProgramFolder();
// Name of the program file without folder ("catchline"), overridable for tests.
std::string ProgramFileName();
void SetProgramPathForTesting(const std::string& programFile);  // "" = real one again
// The user's documents folder ($XDG_DOCUMENTS_DIR, else $HOME/Documents), "" when unknown.
std::string DocumentsFolder();
void SetDocumentsFolder(const std::string& folder);  // set by the windows from Qt; "" = derive again

// documents + company + "/" + product + "/", created when create is true; the
// program folder when no documents folder is known.
std::string UserDataFolder(bool create);
// Settings file: program file name + ".ini". For reading: user data folder,
// then program folder, where it exists ("" when in neither). For writing: the
// first of them where it can be opened for writing.
std::string SettingsFile(bool forWriting);
// Start-up move of the settings file to its writable location.
void MoveSettingsFile();

bool ForceFolder(const std::string& path);
int32_t FileSizeOf(const std::string& path);  // -1 when missing
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
bool IsWritable(const std::string& path);
bool DeleteFileAt(const std::string& path);
bool CopyFileTo(const std::string& from, const std::string& to);
// Last modification time of a file as a day count (0 when missing).
double FileDateOf(const std::string& path);

std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path);  // with trailing "/"
std::string ExtractFileExt(const std::string& path);   // with the dot, "" when none
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingSlash(const std::string& path);
std::string ExpandFileName(const std::string& path);  // absolute path

// Removes * . / : < > ? \ | from a name.
std::string CleanFolderName(const std::string& name);

// Reads a whole file; false on any error (errorCode = errno).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data, int& errorCode);
// Writes a file safely: into a temporary file beside the target, flushed to
// disk, then renamed over the target. On failure the target is untouched, no
// temporary file is left, and errorCode holds errno.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, int& errorCode);
