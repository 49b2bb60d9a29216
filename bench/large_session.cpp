#include "bench/large_session.h"

#include "core/values.h"

TTraining LargeSession()
{
    TTraining t;
    ClearTraining(t);
    t.Header = DefaultHeader();
    t.Header.FileType = ftSTG;
    t.Header.ContentKind = ckTraining;
    t.Settings = DefaultSettings();
    const int n = 10000;
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.Power = 180.0f + float(k % 50);
        s.AveragePower = 190.0f;
        s.StrokeRate = 24.0f + float(k % 5);
        s.Time = 2.5f * float(k);
        s.Distance = 10.0f * float(k);
        s.DistancePerStroke = 1000.0f;
        s.Time500 = 120.0f + float(k % 9);
        s.Energy = 480.0f + float(k % 30);
        s.EnergySum = 0.48f * float(k);
        s.StrokeLength = float(2.2 * (60 + k % 10));
        s.DriveTime = 0.8f;
        s.RecoverRatio = 1.6f;
        s.Pulse = 130.0f + float(k % 11);
        TStgForceCurve& c = t.Curves[size_t(k)];
        c.StrokeNumber = int16_t(k);
        for (int i = 0; i < 64; ++i) c.Samples[i] = uint16_t(400.0 * (1.0 - (i - 32) * (i - 32) / 1024.0) + k % 7);
        c.HasData = 1;
    }
    SetIntervalCount(t, 20);
    t.RawSamples.resize(1000001);
    for (size_t i = 1; i < t.RawSamples.size(); ++i)
        t.RawSamples[i] = TRawSample{int16_t(3000 + i % 20000), uint8_t(i)};
    t.Totals = TTrainingTotals{100000.0f, 25000.0f, 4800.0f, 192.0f};
    UpdateAverageStroke(t);
    return t;
}
