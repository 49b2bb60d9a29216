#pragma once
// What the readers of the single-record file kinds (stroke, user and Brax
// files) take from a file besides its bytes: its path, date and size.
#include <cstdint>
#include <string>

#include "core/records.h"

struct TFileInfo {
    std::string Path;
    double Date = 0;   // modification time as a day count
    int64_t Size = 0;  // bytes
};

// Path, modification time and size of an existing file.
TFileInfo FileInfoOf(const std::string& path);

// The header of a session read from a file other than a training file:
// DefaultHeader with Title = the file name without folder and extension,
// OriginalFileName = the path, DateTime and OriginalDate = the file's time,
// OriginalSize = its size and the given original type and kind.
TTrainingHeader ForeignHeader(const TFileInfo& info, uint8_t originalType, uint8_t originalKind);
