#pragma once
// The user file (".ini"): one rower's name and workout set-up in a 106-byte
// binary record that also closes every stroke file.
#include <array>
#include <cstdint>
#include <string>

#include "core/records.h"
#include "files/byte_buffer.h"
#include "files/file_info.h"

constexpr size_t kUserRecordSize = 106;
constexpr size_t kUserNameLength = 9;

// The record of a session's name and settings.
std::array<uint8_t, kUserRecordSize> UserRecordBytes(const TTraining& t);
// Takes name and settings from a record (settings are cleared first).
void ApplyUserRecord(const uint8_t* record, TTraining& t);

// The record at the current position; ReadUserRecord fails when fewer than
// 106 bytes remain.
void WriteUserRecord(TByteWriter& w, const TTraining& t);
bool ReadUserRecord(TByteReader& r, TTraining& t);

// A whole user file in memory: exactly one record.
bool ParseUserFile(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t);
bool ParseUserFileHeader(const TFileInfo& info, TTrainingHeader& header);

bool WriteUserFile(const std::string& path, const TTraining& t, bool verbose = true);
bool ReadUserFile(const std::string& path, TTraining& t);
bool ReadUserFileHeader(const std::string& path, TTrainingHeader& header);
