#pragma once
// The training file (".stg"): the magic "MIL ", the writing program's version
// and a run of typed blocks of fixed-size records.
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

// Files whose version is below this carry the older 1024-byte header.
constexpr uint32_t kOldHeaderLayoutVersion = 0x00080500;
constexpr size_t kOldHeaderSize = 1024;

// Block types of a training file.
enum TTrainingBlock : uint8_t {
    tbHeader = 1,
    tbSettings = 2,
    tbStrokes = 3,
    tbCurves = 4,
    tbIntervals = 5,
    tbTotals = 6,
    tbRawSamples = 7,
};

// The file image of a session as WriteTrainingFile writes it.
std::vector<uint8_t> TrainingFileBytes(const TTraining& t);

// Reads a file image into t (which the caller has cleared); files with the
// older header layout are refused. On success the
// average stroke is recomputed and Magic and ProgramVersion hold the file's
// own values; FileName is left to the caller.
bool ParseTrainingFile(const uint8_t* data, size_t size, TTraining& t);
// Reads only the header of a file image; version receives the file's version
// whatever the outcome (0 when it could not be read).
bool ParseTrainingFileHeader(const uint8_t* data, size_t size, TTrainingHeader& header, uint32_t& version);
// The older header layout (the first 1024 bytes of the file) into a header.
void MapOldHeader(const uint8_t* block, TTrainingHeader& header);

// Writes the file safely: the new file is written beside the old one and
// renamed over it only when complete, so a failed save keeps the old file.
// File-system errors are shown (ShowFileError) when verbose.
bool WriteTrainingFile(const std::string& path, const TTraining& t, bool verbose = true);
// Reads a training file into t; FileName = path on success.
bool ReadTrainingFile(const std::string& path, TTraining& t, bool verbose = true);
bool ReadTrainingFileHeader(const std::string& path, TTrainingHeader& header, uint32_t& version, bool verbose = true);
