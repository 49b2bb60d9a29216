#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A settings (profile) file of "[Section]" headers and "Key=Value" lines with
// the semantics of Windows profile files: section and key names are compared
// without regard to case, values are stored verbatim (no quoting or escaping)
// and read with surrounding blanks removed, the order of lines is kept, a new
// key goes to the end of its section and a new section to the end of the file.
// Booleans are written as 1/0; reals in the locale's format and read with
// either "," or "." as the decimal separator.
//
// All TProfileFile objects on the same path in one process share one copy of
// the file's lines, so several windows may hold one at the same time. Changes
// are written to disk by UpdateFile() (atomically: a failed write leaves the
// old file) and when the last object on that path is destroyed.
class TProfileFile {
public:
    explicit TProfileFile(const std::string& path);
    ~TProfileFile();
    TProfileFile(const TProfileFile&) = delete;
    TProfileFile& operator=(const TProfileFile&) = delete;

    const std::string& FileName() const { return Path; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;
    double ReadFloat(const std::string& section, const std::string& key, double def) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteFloat(const std::string& section, const std::string& key, double value);

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;
    // Key names of a section in file order.
    std::vector<std::string> ReadSection(const std::string& section) const;
    // "Key=Value" texts of a section in file order (lines without "=" are dropped).
    std::vector<std::string> ReadSectionValues(const std::string& section) const;
    // Values of all key-value lines of a section in file order.
    std::vector<std::string> ReadSectionValueList(const std::string& section) const;
    std::vector<std::string> ReadSections() const;
    void EraseSection(const std::string& section);
    void DeleteKey(const std::string& section, const std::string& key);

    // Writes pending changes to disk; false (and the old file kept) on failure.
    bool UpdateFile();
    // Drops the shared copy and reads the file again (unsaved changes are lost).
    void Reload();

    struct Document;

private:
    std::string Path;
    std::shared_ptr<Document> Doc;
};

// The empty-line normalisation of a settings file: walking from the last line
// down to the second, every empty line is deleted and one empty line is
// inserted before every line that begins with "[".
std::vector<std::string> NormaliseProfileLines(std::vector<std::string> lines);
// Applies it to a file on disk (after flushing open objects on it); false when
// the file cannot be read or written.
bool NormaliseProfileFile(const std::string& path);

// Splits text into lines (accepting "\r\n", "\n" and "\r") and joins them with "\n".
std::vector<std::string> SplitLines(const std::string& text);
std::string JoinLines(const std::vector<std::string>& lines);
