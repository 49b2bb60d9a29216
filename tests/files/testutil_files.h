#pragma once
// Helpers shared by the file-format tests: temporary folders, test data and
// whole-file reads and writes.
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes away. Path() ends with "/".
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return Folder; }
    std::string operator/(const std::string& name) const { return Folder + name; }
    // Names of the entries in the folder (not recursive), sorted.
    std::vector<std::string> Entries() const;

private:
    std::string Folder;
};

// Path of a file under tests/data.
std::string DataFile(const std::string& relative);
std::vector<uint8_t> FileBytes(const std::string& path);
void PutFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The little-endian version field of a training file image set to v.
void SetImageVersion(std::vector<uint8_t>& image, uint32_t v);

// A session of n strokes with curves, one interval, raw samples and totals.
TTraining MakeSession(int n, int rawSamples = 10);
