// The simulated rower and rowing machine behind the built-in demo recording.
#include "tools/demogen/row_sim.h"

#include <algorithm>
#include <cmath>

#include "util/text.h"
#include "util/version.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// splitmix64 with its own conversions, so the numbers are the same everywhere.
struct TRandom {
    uint64_t State;
    uint64_t Next()
    {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Normal()
    {
        const double u1 = 1.0 - Uniform();  // (0, 1]
        const double u2 = Uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(kTwoPi * u2);
    }
    // Normal, cut at +-2.5 standard deviations.
    double Varied(double mean, double relative) { return mean * (1.0 + relative * std::clamp(Normal(), -2.5, 2.5)); }
};

// Force curve of one drive: handle force minus cord force over the stroke.
struct TForceCurve {
    double Peak, Alpha, Beta, Norm, Mean;
    TForceCurve(double peak, double alpha, double beta) : Peak(peak), Alpha(alpha), Beta(beta)
    {
        const double u = alpha / (alpha + beta);
        Norm = 1.0 / (std::pow(u, alpha) * std::pow(1 - u, beta));
        double sum = 0;
        const int n = 2000;
        for (int i = 0; i < n; ++i) sum += Shape((i + 0.5) / n);
        Mean = sum / n;
    }
    double Shape(double u) const
    {
        if (u <= 0 || u >= 1) return 0;
        return Norm * std::pow(u, Alpha) * std::pow(1 - u, Beta);
    }
};

class TSimulation {
public:
    explicit TSimulation(const TSimParameters& p) : P(p), Rng{p.Seed}
    {
        A = P.DragFactor / P.Inertia;
        Radius = P.Cog * P.Link / kTwoPi;
        for (int i = 0; i < P.Magnets; ++i)
            MagnetAngles.push_back(kTwoPi * (i + 0.5 + P.MagnetJitter * std::clamp(Rng.Normal(), -2.0, 2.0)) /
                                   P.Magnets);
        NextAngle = MagnetAngles[0];
    }

    TSimResult Run();

private:
    void AdvanceMagnet()
    {
        ++MagnetIndex;
        const int m = P.Magnets;
        NextAngle = kTwoPi * double(MagnetIndex / m) + MagnetAngles[size_t(MagnetIndex % m)];
    }
    void Pulse(double time);
    void Coast(double duration);
    double Drive(const TForceCurve& f, double length, double* work);
    double Accel(double theta0, double theta, double omega, const TForceCurve& f, double length) const
    {
        const double x = Radius * (theta - theta0);
        return (f.Peak * f.Shape(x / length) * Radius - P.DragFactor * omega * omega) / P.Inertia;
    }
    double CordEnergy(double length) const { return P.Tension * length + P.ElastConst * length * length / 2; }

    TSimParameters P;
    TRandom Rng;
    double A = 0, Radius = 0;
    std::vector<double> MagnetAngles;
    int64_t MagnetIndex = 0;
    double NextAngle = 0;
    double T = 0, Theta = 0, Omega = 1.0;
    int64_t LastTick = 0;
    TSimResult Result;
};

void TSimulation::Pulse(double time)
{
    const int64_t tick = std::llround(time * 614000.0);
    int64_t gap = tick - LastTick;
    LastTick = tick;
    if (gap < 32767) {
        Result.Samples.push_back({uint16_t(std::max<int64_t>(gap, 0)), P.Heart});
        return;
    }
    // Longer than the interface can measure: samples of at least 32767 ticks
    // that together keep the clock.
    const int64_t count = (gap + 65534) / 65535;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t part = gap / (count - i);
        Result.Samples.push_back({uint16_t(part), P.Heart});
        gap -= part;
    }
}

void TSimulation::Coast(double duration)
{
    const double end = T + duration;
    for (;;) {
        // Drag only: w(t) = w0 / (1 + a w0 t), theta(t) = theta0 + ln(1 + a w0 t) / a.
        const double dt = (std::exp(A * (NextAngle - Theta)) - 1.0) / (A * Omega);
        if (T + dt > end) break;
        T += dt;
        Omega = Omega / (1.0 + A * Omega * dt);
        Theta = NextAngle;
        Pulse(T);
        AdvanceMagnet();
    }
    const double rest = end - T;
    Theta += std::log1p(A * Omega * rest) / A;
    Omega = Omega / (1.0 + A * Omega * rest);
    T = end;
}

double TSimulation::Drive(const TForceCurve& f, double length, double* work)
{
    const double theta0 = Theta;
    const double thetaEnd = theta0 + length / Radius;
    const double start = T;
    const double h0 = 2e-5;
    while (Theta < thetaEnd) {
        double h = h0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            // RK4 on (theta, omega).
            const double k1t = Omega, k1w = Accel(theta0, Theta, Omega, f, length);
            const double k2t = Omega + h / 2 * k1w, k2w = Accel(theta0, Theta + h / 2 * k1t, k2t, f, length);
            const double k3t = Omega + h / 2 * k2w, k3w = Accel(theta0, Theta + h / 2 * k2t, k3t, f, length);
            const double k4t = Omega + h * k3w, k4w = Accel(theta0, Theta + h * k3t, k4t, f, length);
            const double theta = Theta + h / 6 * (k1t + 2 * k2t + 2 * k3t + k4t);
            const double omega = Omega + h / 6 * (k1w + 2 * k2w + 2 * k3w + k4w);
            if (theta > thetaEnd && attempt == 0) {
                // Shorten the last step so that it ends at the end of the stroke.
                h *= (thetaEnd - Theta) / (theta - Theta);
                continue;
            }
            while (NextAngle <= theta) {
                const double frac = (NextAngle - Theta) / (theta - Theta);
                Pulse(T + frac * h);
                AdvanceMagnet();
            }
            Theta = std::min(theta, thetaEnd);
            Omega = omega;
            T += h;
            break;
        }
        if (thetaEnd - Theta < 1e-12) Theta = thetaEnd;
    }
    *work = f.Peak * f.Mean * length;
    return T - start;
}

TSimResult TSimulation::Run()
{
    static const std::vector<TSimSegment> kSession = {
        {420, 20, 145, 1.38},                        // warm-up
        {240, 26, 205, 1.42},                        // piece 1
        {150, 20, 145, 1.38}, {240, 28, 215, 1.42},  // piece 2
        {120, 20, 145, 1.38}, {60, 0, 0, 0},         // pause
        {180, 27, 210, 1.42},                        // piece 3
        {400, 19, 135, 1.36},                        // cool-down
    };
    int sinceStart = 0;
    double lastDriveEnd = -1;
    const std::vector<TSimSegment>& plan = P.Plan.empty() ? kSession : P.Plan;
    for (const TSimSegment& seg : plan) {
        const double end = T + seg.Duration * P.Scale;
        if (seg.Rate <= 0) {
            Coast(end - T);
            sinceStart = 0;
            continue;
        }
        while (T < end) {
            // The rower picks this stroke's length, rate and force.
            const double length = Rng.Varied(seg.Length, 0.015);
            const double strokeTime = 60.0 / Rng.Varied(seg.Rate, 0.02);
            const double ramp = sinceStart < 10 ? 0.55 + 0.045 * sinceStart : 1.0;
            const double handleWork = Rng.Varied(seg.Power * ramp, 0.035) * strokeTime;
            const double alpha = Rng.Varied(0.6, 0.05), beta = Rng.Varied(0.9, 0.05);
            TForceCurve curve(1.0, alpha, beta);
            const double netWork = std::max(handleWork - CordEnergy(length), 50.0);
            curve.Peak = netWork / (curve.Mean * length);

            TSimStroke s;
            s.Number = int(Result.Strokes.size()) + 1;
            s.CatchTime = T;
            s.AfterPause = sinceStart < 12;
            double work = 0;
            s.DriveTime = Drive(curve, length, &work);
            s.DriveEndTime = T;
            s.FlywheelWork = work;
            s.Length = length;
            s.PeakForce = curve.Peak;
            s.Work = work + CordEnergy(length);
            if (lastDriveEnd >= 0) {
                s.StrokeTime = s.DriveEndTime - lastDriveEnd;
                s.Power = s.Work / s.StrokeTime;
                s.Rate = 60.0 / s.StrokeTime;
            }
            lastDriveEnd = s.DriveEndTime;
            Result.Strokes.push_back(s);
            ++sinceStart;
            Coast(std::max(0.6, strokeTime - s.DriveTime));
        }
    }
    Result.Duration = LastTick / 614000.0;
    return Result;
}

}  // namespace

TSimResult SimulateSession(const TSimParameters& p)
{
    TSimulation sim(p);
    return sim.Run();
}

std::vector<uint8_t> RecordingBytes(const TSimResult& r) { return RawDataBytes(PackVersion("0.9.7.0"), r.Samples); }

std::string TruthCsv(const TSimResult& r)
{
    std::string out =
        "Number,CatchTime,DriveEndTime,DriveTime,StrokeTime,Work,FlywheelWork,Length,PeakForce,Power,Rate,AfterPause\n";
    for (const auto& s : r.Strokes)
        out += Format("%d,%.6f,%.6f,%.6f,%.6f,%.3f,%.3f,%.4f,%.2f,%.3f,%.4f,%d\n", s.Number, s.CatchTime,
                      s.DriveEndTime, s.DriveTime, s.StrokeTime, s.Work, s.FlywheelWork, s.Length, s.PeakForce, s.Power,
                      s.Rate, s.AfterPause ? 1 : 0);
    return out;
}
