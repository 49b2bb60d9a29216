#pragma once
// Import of the earlier Brax equipment's files: user (".bxi"), stroke (".bxr")
// and session (".bxs") files.
#include <cstdint>
#include <string>

#include "core/records.h"
#include "files/file_info.h"

constexpr size_t kBraxHeaderSize = 16;
constexpr size_t kBraxSkippedSize = 28;
constexpr size_t kBraxUserSize = 4;
constexpr size_t kBraxWorkoutSize = 28;
constexpr size_t kBraxStrokeSize = 48;
constexpr size_t kBraxCurveSize = 76;
constexpr size_t kBraxIntervalSize = 8;
constexpr size_t kBraxTotalsSize = 216;
constexpr size_t kBraxUserFileSize = kBraxHeaderSize + kBraxSkippedSize + kBraxUserSize + kBraxWorkoutSize;  // 76
constexpr size_t kBraxStrokeFileSize = kBraxUserFileSize + kBraxStrokeSize + kBraxCurveSize;                 // 200
constexpr size_t kBraxSessionMinSize = kBraxUserFileSize + kBraxTotalsSize;                                  // 292

enum TBraxKind : uint8_t { bxkUser = 0, bxkStroke = 1, bxkSession = 2 };

// Record conversions (exposed for the tests).
void ApplyBraxUser(const uint8_t* block, TTrainingSettings& s);
void ApplyBraxWorkout(const uint8_t* block, TTrainingSettings& s);
// Converts the 48-byte record into stroke k of t (k must be a stroke index).
void ApplyBraxStroke(const uint8_t* record, TTraining& t, int k);
void ApplyBraxCurve(const uint8_t* record, TStgForceCurve& c);
void ApplyBraxInterval(const uint8_t* record, TTrainingInterval& interval, int k);
void ApplyBraxTotals(const uint8_t* block, TTrainingTotals& totals);

bool ParseBraxUser(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t);
bool ParseBraxStroke(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t);
bool ParseBraxSession(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t);
bool ParseBraxUserHeader(const TFileInfo& info, TTrainingHeader& header);
bool ParseBraxStrokeHeader(const TFileInfo& info, TTrainingHeader& header);
bool ParseBraxSessionHeader(const TFileInfo& info, TTrainingHeader& header);

bool ReadBraxUser(const std::string& path, TTraining& t);
bool ReadBraxStroke(const std::string& path, TTraining& t);
bool ReadBraxSession(const std::string& path, TTraining& t);
bool ReadBraxUserHeader(const std::string& path, TTrainingHeader& header);
bool ReadBraxStrokeHeader(const std::string& path, TTrainingHeader& header);
bool ReadBraxSessionHeader(const std::string& path, TTrainingHeader& header);
