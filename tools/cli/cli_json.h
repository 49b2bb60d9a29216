#pragma once
// The session records as JSON for catchline-cli: every field by its name,
// texts decoded, reals printed so that a float32 reads back exactly.
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/records.h"
#include "core/zones.h"

using TJson = nlohmann::ordered_json;

// The shortest decimal text that reads back as the same float32, as a JSON number.
TJson FloatJson(float value);
TJson HeaderJson(const TTrainingHeader& h);
TJson SettingsJson(const TTrainingSettings& s);
TJson StrokeJson(const TStgStrokeData& s);
TJson CurveJson(const TStgForceCurve& c);
TJson IntervalJson(const TTrainingInterval& i);
TJson TotalsJson(const TTrainingTotals& t);
// The session's 500 m splits as split catalogue texts ("SplitTexts") and the
// time in each heart-rate zone ("Zones": maximum, lower bounds in %, seconds
// per zone, below zone 1, without a heart rate).
void AddSplitsAndZones(TJson& j, const TTraining& t, const THeartZones& zones);
// Pretty JSON text (invalid text bytes replaced).
std::string JsonText(const TJson& j);

// Where streamed JSON text goes; false when it takes no more (the reader went
// away, the disk is full).
using TJsonSink = std::function<bool(const char* data, size_t size)>;
// The whole session as pretty JSON text (as JsonText prints a tree of it, with
// a line break at the end); with values also the value texts of every stroke,
// interval and total parameter. Written record by record: no tree of the
// whole session is built, so memory stays that of one record however many
// strokes and samples the session holds. False when the sink failed.
// With values and zones also the splits and the time in the zones, as
// AddSplitsAndZones adds them.
bool WriteTrainingJson(const TTraining& t, bool values, const TJsonSink& sink, const THeartZones* zones = nullptr);
