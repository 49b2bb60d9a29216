#pragma once
// Values derived from stored strokes: the 42 stroke parameters, peak-force
// values from a force curve, the session's average stroke and curve (slot 0),
// force-curve resampling, the session totals and the seven total parameters.
#include <array>
#include <map>
#include <string>
#include <vector>

#include "core/records.h"

// dividend / divisor (note the order: divisor first). A divisor of exactly 0
// gives 0; a divisor closer to 0 than 1e-9 is replaced by +-1e-9; a result that
// is not a finite float32 (overflow, NaN operands) gives 0.
float SafeDivide(double divisor, double dividend);

// Rounds half to even and clamps to 0..65535 (NaN gives 0).
uint16_t RoundToWord(double value);
// Rounds to float32; values beyond the float range give +-infinity (never an
// out-of-range conversion), NaN stays NaN.
float ToSingle(double value);

// Value of stroke parameter i (0..41, see TStrokeParameter); 0 outside.
// Times are day fractions.
float StrokeValue(const TStgStrokeData& stroke, int i, const TTrainingSettings& settings);
// FormatValue(ParameterFormat(i), StrokeValue(stroke, i, settings)).
std::string StrokeValueText(const TStgStrokeData& stroke, int i, const TTrainingSettings& settings);

// Sets PeakForce, PeakForcePosition and PeakForceRelative from the curve.
void ApplyCurvePeak(TStgStrokeData& stroke, const TStgForceCurve& curve, int sprocket);
// Stroke length (cm) estimated from where the curve has its lowest sample at or
// below 780 N; -spacing when no sample is that low.
double EstimateStrokeLength(const TStgForceCurve& curve, int sprocket);

using TCurveValues = std::array<float, kCurveSamples>;
using TCurveSamples = std::array<uint16_t, kCurveSamples>;
// The 80 samples stretched by scale (sample i is taken at source position
// i * scale, linearly interpolated), with plateaus smoothed.
TCurveValues ResampleCurve(const TCurveSamples& samples, double scale);
// The same for a curve record (its packed samples are copied out first).
TCurveValues ResampleCurve(const TStgForceCurve& curve, double scale);

// The averaging behind slot 0: strokes[1..count] and curves[1..count] are
// averaged (stroke 1 left out when count > 1) into avgStroke / avgCurve, whose
// peak values are then computed with the given sprocket. Element 0 of the
// arrays is not read. count < 1 gives a zero stroke and curve.
//
// The average curve is built per stroke length: the curves of strokes of the
// same length (the length each is stretched from) are summed exactly, and each
// sum is stretched to the average length once. Stretching is linear in the
// samples, so this is the mean of the stretched curves, at the cost of one
// stretch per distinct length (stroke lengths come in whole magnet pulses or
// centimetres, so a session has a few dozen) instead of one per stroke.
void AverageStroke(const TStgStrokeData* strokes, const TStgForceCurve* curves, int count, int sprocket,
                   TStgStrokeData& avgStroke, TStgForceCurve& avgCurve);
// Recomputes slot 0 of Strokes and Curves (the session average).
void UpdateAverageStroke(TTraining& t);

// The exact sums of the curves of each stroke length, in increasing length.
class TCurveSums {
public:
    void Add(double length, const uint16_t* samples);
    void Remove(double length, const uint16_t* samples);
    void Clear() { FGroups.clear(); }
    size_t Lengths() const { return FGroups.size(); }
    // The average curve of n curves: every sum stretched from its length to
    // avgLength, added up and divided by n.
    void Average(float avgLength, int n, TStgForceCurve& curve) const;

private:
    struct TGroup {
        int Count = 0;
        double Sum[kCurveSamples] = {};  // whole numbers: exact far beyond 65535 curves of 65535 N
    };
    std::map<double, TGroup> FGroups;
};

// The session average kept up to date stroke by stroke, with the result of
// UpdateAverageStroke to the bit. It keeps a compact copy of what the average
// reads of every stroke from 2 on (curve flag, stroke length, curve samples)
// and compares it with the session at each Update, so a replaced record, a
// deleted curve or a reset are noticed without being announced. A changed
// stroke takes its old curve out of the sums of its length and puts the new
// one in; the averages of energy and length are summed again in stroke order,
// as the full computation does. An Update then costs one pass over the compact
// copy and one stretch per distinct stroke length, whatever the session's size.
class TAverageStrokeCache {
public:
    // Recomputes slot 0 of Strokes and Curves, as UpdateAverageStroke does.
    // from: the strokes before it are as they were at the last Update (the
    // caller wrote only from there on), so only the rest is looked at; 2
    // looks at every stroke.
    void Update(TTraining& t, int from = 2);
    // Forgets everything (the next Update rebuilds).
    void Clear();
    // How the last Update got its curve sums: rebuilt from nothing (the first
    // time, after a reset or a changed sprocket), and how many curves went
    // into or out of them.
    bool Rebuilt() const { return FRebuilt; }
    int CurvesChanged() const { return FChanged; }
    // Distinct stroke lengths summed.
    size_t Lengths() const { return FSums.Lengths(); }

private:
    struct TEntry {
        uint8_t HasData = 0;
        float StrokeLength = 0;
        double Length = 0;  // the length the curve is stretched from
        TCurveSamples Samples{};
        // Summed over the strokes up to this one, in stroke order.
        int Count = 0;
        double EnergySum = 0, LengthSum = 0;
    };
    std::vector<TEntry> FEntries;  // stroke j at index j - 2
    TCurveSums FSums;              // the entries that have data
    int FSprocket = 0;
    bool FValid = false;
    bool FRebuilt = false;
    int FChanged = 0;
};

// Totals from stored stroke k (k = 1..N; nothing happens otherwise).
void ComputeTotals(TTraining& t, int k);
// The end of a recording: the session keeps strokes 1..strokeIndex and raw
// samples 1..rawCount (the arrays grow ahead of the recording); unless the
// session limit finished it (the limit set the totals), the totals come from
// the last stroke.
void CloseRecording(TTraining& t, int strokeIndex, int rawCount, bool finished);
// End-of-session test after stroke k was stored (and the interval cutter ran;
// intervalFinished is its Finished flag). When the limit is reached, fills the
// totals interpolated within stroke k, sets RowStatus to "Finished" and
// returns true. An interval workout ends only when the cutter says so (the
// last work period is done), with the whole of stroke k.
bool FinishAtLimit(TTraining& t, int k, bool intervalFinished = false);

// Value of total parameter i (0..6, catalogue positions); 0 outside.
float TotalValue(const TTraining& t, int i);
std::string TotalValueText(const TTraining& t, int i);
// TotalValueText + " " + unit, trimmed.
std::string TotalValueTextWithUnit(const TTraining& t, int i);
