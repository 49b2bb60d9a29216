#pragma once
// Chart series of one session as plain data: the stroke chart (one stroke
// parameter against another, with moving averages and the selected-stroke
// marker) and the force-curve chart. Chart windows only render what these
// builders produce.
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/scaling.h"

struct TPointD {
    double X = 0;
    double Y = 0;
};

enum class TSeriesKind : uint8_t { Line, Point };
enum class TPointerShape : uint8_t { Rectangle, Circle };
enum class TAxisSide : uint8_t { Left, Right };
// What a series stands for, so a renderer can treat them differently.
enum class TSeriesRole : uint8_t {
    Data,            // the parameter values of a stroke chart
    Average,         // moving average of a stroke chart side
    SelectedMarker,  // vertical line at the selected stroke (two points: axis maximum, axis minimum)
    Curve,           // the main force curve of a session
    OtherCurve       // one of "all curves" of a session
};

struct TSeriesData {
    TSeriesKind Kind = TSeriesKind::Line;
    TSeriesRole Role = TSeriesRole::Data;
    TAxisSide Axis = TAxisSide::Left;
    std::string Title;                                 // the session's title
    int32_t ClientId = 0;                              // the session's ClientId
    int32_t Color = 0;                                 // 0x00BBGGRR, every point unless PointColors is set
    uint8_t PenStyle = 0;                              // line series: 0 = solid (session PenStyle values)
    int32_t PenWidth = 1;                              // line series
    TPointerShape Pointer = TPointerShape::Rectangle;  // point series
    int32_t PointerSize = 3;                           // point series: pointer width and height in pixels
    bool XDateTime = false;                            // X values are day fractions (time format)
    bool YDateTime = false;                            // Y values are day fractions
    bool MarksVisible = false;                         // value marks
    bool HasMarkBackColor = false;                     // false = the charting component's default
    int32_t MarkBackColor = 0;
    int32_t Capacity = 0;  // expected number of points
    std::vector<TPointD> Points;
    std::vector<int32_t> PointColors;  // empty, or one colour per point
};

struct TChartData {
    TAxisScale Left;
    TAxisScale Right;
    int32_t BottomAxisColor = 0;  // colour of the bottom axis line (used by the marker)
    std::vector<TSeriesData> Series;
};

// The number of most recent strokes a live stroke chart shows ("Row" /
// "DataRange", default 65535, never less than 5).
int DataRange();
void SetDataRange(int strokes);

struct TStrokeSeriesOptions {
    int XParam = 0;
    bool MarkSelected = false;
    bool Sliding = false;       // live chart: a sliding window of the last DataRange strokes
    bool ResetAxes = false;     // scale the axes from the catalogue
    bool InverseRight = false;  // right side in the inverse colour and the session's pen width
    bool RightMarks = false;
    bool RightAverage = false;
    bool RightVisible = false;
    bool LeftMarks = false;
    bool LeftAverage = false;
    bool LeftVisible = false;
    int RightParam = -1;
    int LeftParam = -1;
};

// Adds the series of session t to a stroke chart (and scales its axes).
void BuildStrokeSeries(TChartData& chart, const TTraining& t, const TStrokeSeriesOptions& options);

// The stroke series of a live chart kept from stroke to stroke. Rebuild
// builds them as BuildStrokeSeries does; after stroke k was stored (appended,
// or the last one replaced) and nothing else in the session changed,
// StrokeStored brings them up to date computing only the strokes from k on,
// so a stroke costs the same at stroke 10 and at stroke 10,000. The result
// always equals BuildStrokeSeries; options it cannot follow stroke by stroke
// (moving averages, the selected-stroke marker, a non-sliding chart, axes not
// reset from the catalogue) and any other change rebuild everything.
class TLiveStrokeSeries {
public:
    const TChartData& Data() const { return Chart; }
    void Rebuild(const TTraining& t, const TStrokeSeriesOptions& options);
    void StrokeStored(const TTraining& t, const TStrokeSeriesOptions& options, int k);
    // Full builds so far (for tests: a stroke must not cause one).
    int Rebuilds() const { return RebuildCount; }
    // Per series of Data(): how many of its first points are those it held
    // before the last Rebuild or StrokeStored (0 after a Rebuild), so that a
    // renderer only takes on what is new.
    const std::vector<size_t>& Unchanged() const { return Kept; }

private:
    struct TSide {
        int Series = -1;           // index in Chart.Series, -1 when not drawn
        std::vector<int> Strokes;  // the stroke of each point
        bool Doubling = false;     // the axis follows the doubling scale
        double Minimum = 0, Range = 0, Start = 0, Step = 0;
        std::vector<TDoubleScaleState> States;  // after each stroke 2..n
    };
    bool Follows(const TTraining& t, const TStrokeSeriesOptions& options) const;
    void ScanScale(TSide& side, int param, const TTraining& t, int from);

    TChartData Chart;
    TStrokeSeriesOptions Options;
    bool Incremental = false;
    int Range = 0;
    int32_t ClientId = 0, Color = 0, PenWidth = 0;
    uint8_t PenStyle = 0;
    std::string Title;
    TTrainingSettings Settings{};
    int First = 2, Last = 0;
    TSide Sides[2];
    std::vector<size_t> Kept;
    int RebuildCount = 0;
};

struct TForceCurveOptions {
    bool Relative = false;        // scale each curve so that its peak equals FixedForce
    double FixedLength = 0;       // cm, used when UseFixedLength
    double FixedForce = 0;        // N, used when Relative
    bool AllCurves = false;       // also draw every stroke's curve in the inverse colour
    bool UseFixedLength = false;  // stretch each curve to FixedLength
};

// Adds the force-curve series of session t (nothing when t is not Active).
void BuildForceCurveSeries(TChartData& chart, const TTraining& t, const TForceCurveOptions& options);

// Colours as drawn (the stored ones stay as they are). SessionColors: the
// colours of the sessions' own series in a chart (not the average records'
// nor the other curves'). DrawColor: a series colour (or one of its point
// colours) made to stand out from the chart's background, and for an average
// record (ClientId < 0) kept apart from the sessions' colours.
std::vector<int32_t> SessionColors(const TChartData& chart);
int32_t DrawColor(const TSeriesData& series, int32_t color, const std::vector<int32_t>& sessionColors,
                  int32_t background);

// The inverse of a 0x00BBGGRR colour (each channel 255 minus itself).
int32_t InverseColor(int32_t color);
