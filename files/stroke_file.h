#pragma once
// The stroke file (".str"): one stroke (32 bytes), its force curve (80 bytes)
// and the user record (106 bytes), 218 bytes in all.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"
#include "files/file_info.h"

constexpr size_t kStrokeRecordSize = 32;
constexpr size_t kStrokeCurveSize = 80;
constexpr size_t kStrokeFileSize = 218;
// One curve byte is this many newtons.
constexpr double kStrokeCurveUnit = 3.85;

// Rounds half to even and clamps into lo..hi (NaN gives 0).
double RoundClamp(double value, double lo, double hi);

std::array<uint8_t, kStrokeRecordSize> StrokeRecordBytes(const TStgStrokeData& s);
void ApplyStrokeRecord(const uint8_t* record, TStgStrokeData& s);
std::array<uint8_t, kStrokeCurveSize> StrokeCurveBytes(const TStgForceCurve& c);
// Samples from the curve bytes (HasData when any sample is above 0).
void ApplyStrokeCurve(const uint8_t* bytes, TStgForceCurve& c);

// The file image of stroke 1 of a session (a zero stroke when there is none).
std::vector<uint8_t> StrokeFileBytes(const TTraining& t);

bool ParseStrokeFile(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t);
bool ParseStrokeFileHeader(const TFileInfo& info, TTrainingHeader& header);

bool WriteStrokeFile(const std::string& path, const TTraining& t, bool verbose = true);
bool ReadStrokeFile(const std::string& path, TTraining& t);
bool ReadStrokeFileHeader(const std::string& path, TTrainingHeader& header);
