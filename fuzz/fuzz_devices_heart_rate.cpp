// Heart-rate measurements: arbitrary notifications (cut by lengths taken from
// the input) through the decoder; what it accepts must encode to a packet it
// decodes to the same values, and ANT+ pages through the tracker.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "interfaces/devices/heart_rate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TAntHeartTracker tracker;
    size_t at = 0;
    while (at < size) {
        const size_t n = std::min<size_t>(data[at] % 24, size - at - 1);
        const uint8_t* p = data + at + 1;
        at += n + 1;
        THeartRateMeasurement m;
        std::string error;
        if (DecodeHeartRateMeasurement(p, n, m, error)) {
            if (!error.empty() || m.RrIntervals.size() > n / 2) std::abort();
            const auto again = EncodeHeartRateMeasurement(m, p[0] & 1);
            THeartRateMeasurement back;
            if (!DecodeHeartRateMeasurement(again.data(), again.size(), back, error)) std::abort();
            if (back.Bpm != m.Bpm || back.RrIntervals != m.RrIntervals || back.EnergyKJ != m.EnergyKJ ||
                back.ContactDetected != m.ContactDetected)
                std::abort();
        } else if (error.empty()) {
            std::abort();
        }
        int percent = -1;
        if (DecodeBatteryLevel(p, n, percent) && (percent < 0 || percent > 100)) std::abort();
        if (n >= 8) {
            const TAntHeartPage page = DecodeAntHeartPage(p);
            if (tracker.Add(page) && tracker.Bpm() != page.Bpm) std::abort();
        }
    }
    return 0;
}
