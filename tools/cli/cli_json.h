#pragma once
// The session records as JSON for catchline-cli: every field by its name,
// texts decoded, reals printed so that a float32 reads back exactly.
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
// The whole session; with values also the value texts of every stroke,
// interval and total parameter.
TJson TrainingJson(const TTraining& t, bool values);
// The session's 500 m splits as split catalogue texts ("SplitTexts") and the
// time in each heart-rate zone ("Zones": maximum, lower bounds in %, seconds
// per zone, below zone 1, without a heart rate).
void AddSplitsAndZones(TJson& j, const TTraining& t, const THeartZones& zones);
// Pretty JSON text (invalid text bytes replaced).
std::string JsonText(const TJson& j);
