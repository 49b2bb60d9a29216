#pragma once
// Heart-rate zones: five zones whose lower bounds are percentages of the
// rower's maximum heart rate (50, 60, 70, 80 and 90 % unless the rower sets
// others), and the time a session spent in each.
//
// The time of a stroke (from the end of the stroke before it to its own end)
// counts for the zone of the stroke's pulse; strokes without a pulse count
// as "no heart rate", pulses below the first zone as "below".
// The rower's settings live in section "HeartRate" of the settings file:
// "MaxHeartRate" and "Zone1" .. "Zone5".
#include <array>
#include <string>

#include "core/records.h"

class TProfileFile;

struct THeartZones {
    int MaxHeartRate = 190;
    std::array<int, 5> Lower = {50, 60, 70, 80, 90};  // % of the maximum
};

// A maximum from 100 to 240 and lower bounds rising from 1 to 100 %.
bool ValidZones(const THeartZones& z, std::string* why = nullptr);
// The zone (0..4) of a heart rate, -1 below the first; bpm <= 0 gives -1 too.
int ZoneOf(double bpm, const THeartZones& z);
// Lowest heart rate of zone i (0..4) in bpm.
double ZoneLowestBpm(const THeartZones& z, int i);

struct TZoneTimes {
    std::array<double, 5> Seconds{};
    double Below = 0;
    double NoHeartRate = 0;
    // Any stroke had a pulse.
    bool HasHeartRate() const;
};

TZoneTimes ComputeZoneTimes(const TTraining& t, const THeartZones& z);
// The same for strokes first..last only (the first one's time running from
// the end of the stroke before it).
TZoneTimes ComputeZoneTimes(const TTraining& t, const THeartZones& z, int first, int last);

// Section "HeartRate"; values that do not make valid zones give the defaults.
THeartZones ReadHeartZones(const TProfileFile& file);
void WriteHeartZones(TProfileFile& file, const THeartZones& z);
// The zones the rower set, read from the settings file (the defaults when
// there is none).
THeartZones RowerHeartZones();
// "Zone 3 (133-151)" style caption of zone i; the last zone reads "152+".
std::string ZoneCaption(const THeartZones& z, int i);
// "12:34 (41 %)": a time in a zone and its share of the time with a heart rate.
std::string ZoneTimeText(double seconds, const TZoneTimes& times);
