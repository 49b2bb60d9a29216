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

// A session as the row window records it: n strokes of changing power, rate
// and heart rate (none when withHeart is false) with force curves, the
// average slot and totals; with workPeriod > 0 an interval workout by strokes
// (work and rest periods in strokes) whose strokes went through the interval
// cutter. Dated 2024-05-01 07:30:15.250.
TTraining RowedSession(int n, bool withHeart = true, int workPeriod = 0, int restPeriod = 0);

// How closely an imported stroke must match the one exported (0 = exactly).
struct TStrokeTolerance {
    double Distance = 0, Power = 0, Rate = 0, Pulse = 0, Speed = 0, DistancePerStroke = 0;
    double Relative = 0;  // for values the exports convert (lengths, times, forces, energy)
};
// Every exported field of the strokes of b equals a's within tol, and the
// force curves are equal.
void ExpectSameStrokes(const TTraining& a, const TTraining& b, const TStrokeTolerance& tol);
