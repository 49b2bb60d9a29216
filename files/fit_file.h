#pragma once
// A session as a FIT activity file, and FIT activity files (ours or any other
// producer's, recorded per stroke or per second) read into a session.
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/zones.h"
#include "files/file_info.h"

// Names of the developer fields this program writes, with their numbers.
enum TFitDevField : uint8_t {
    fdDriveLength = 0,        // m
    fdDriveTime = 1,          // s
    fdRecoveryTime = 2,       // s
    fdDragFactor = 3,         // 10^-6 kg m^2 (the ergometer convention: 100 x K value)
    fdAverageDriveForce = 4,  // N
    fdPeakDriveForce = 5,     // N
    fdForceCurve = 6,         // N, one value per curve sample
    fdElapsedTime = 7,        // s, the stroke's end to the millisecond
    fdCurveSpacing = 8,       // cm between two force-curve samples (in the session message)
    fdSplitLaps = 9,          // m: the laps are distance splits of this size, not intervals (session message)
};

// The application id that marks this program's developer fields.
const std::vector<uint8_t>& FitApplicationId();

// The session as a FIT activity: file id, developer data id and field
// descriptions, timer start, one record per stroke, one lap per work and
// rest period (or per 500 m split for a session without intervals), timer
// stop, session and activity. With zones, a session with a heart rate also
// gets the time in each heart-rate zone for every lap and for the session.
std::vector<uint8_t> FitFileBytes(const TTraining& t, const THeartZones* zones = nullptr);

// Reads a FIT activity from memory into t (which the caller has cleared):
// header fields as for any imported file (original type FIT, kind
// "Training"), date and time from the activity's start, one stroke per
// recorded stroke (per-second files are cut into strokes by their stroke
// count or cadence), force curves and the other values of this program's
// developer fields where present. Strokes get the interval number of their
// lap when the file has several, unless our session says its laps are splits. On failure error holds a reason.
bool ParseFitFile(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t, std::string& error);
bool ReadFitFile(const std::string& path, TTraining& t, std::string& error);
