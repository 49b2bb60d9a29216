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

// Makes a folder and its missing parents; on failure errno holds the error of
// the step that failed (ENOTDIR when a part of the path is a file).
bool ForceFolder(const std::string& path);
int32_t FileSizeOf(const std::string& path);  // -1 when missing
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// A regular file (made when missing) that can be opened for writing.
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

// Error code (beside the errno values) of a path that names something other
// than a regular file or folder: a pipe, a device or a socket.
constexpr int kNotRegularFileError = 10000;
// The message of an errno value or of kNotRegularFileError.
std::string SystemErrorText(int code);
// 0 when path is a regular file or does not exist; EISDIR for a folder,
// kNotRegularFileError for a pipe, device or socket (links are followed).
int NonRegularFileError(const std::string& path);

// Opens an existing regular file for reading (flags may add O_RDWR and the
// like) without blocking on a pipe or device: what is not a regular file is
// refused with EISDIR or kNotRegularFileError before anything is read. The
// descriptor is blocking again when returned; -1 with errorCode on failure.
int OpenRegularFile(const std::string& path, int flags, int& errorCode);
// Reads a whole regular file; false on any error (errorCode = errno or
// kNotRegularFileError).
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data, int& errorCode);

// One piece of a file written by WriteFileAtomically.
struct TFilePart {
    const void* Data;
    size_t Size;
};
// Writes a file safely: into a temporary file beside the target, flushed to
// disk, then renamed over the target. A symbolic link is followed: the file it
// names gets the new content and the link stays. A target that exists and is
// not a regular file (a folder, pipe or device) is refused. On failure the
// target is untouched, no temporary file is left, and errorCode holds errno
// (or kNotRegularFileError).
bool WriteFileAtomically(const std::string& path, const void* data, size_t size, int& errorCode);
// The same for a file written from several pieces in order, without copying
// them into one block first.
bool WriteFileAtomically(const std::string& path, const std::vector<TFilePart>& parts, int& errorCode);
