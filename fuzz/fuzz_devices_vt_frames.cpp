// Bytes from a serial port through frame recognition, pulse splitting and the
// stroke computation, as a noisy line or a wrong device could deliver them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "interfaces/devices/vt_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    TVTPulseInput in;
    // The first bytes choose the protocols, the machine and the cluster sizes.
    in.ProtocolSet.Mask = uint16_t(data[0] | (data[1] & 1) << 8);
    in.StrictProtocol = data[1] & 2;
    TStrokeSettings& s = in.Computer.Settings;
    s.Magnets = 1 + data[2] % 8;
    s.Cog = data[3] % 40;
    s.ThresHold = (data[1] >> 2) % 16;
    s.StrokeTrigger = int(data[1] >> 6) - 1;
    int64_t clock = 0;
    in.Computer.Clock = [&clock] { return clock; };
    // Now and then a handler pauses the interface; no pulse may follow
    // until it continues (the next chunk).
    const unsigned pauseEvery = 7 + data[2] / 8;
    unsigned pulses = 0;
    in.OnRawData = [&](double wheel, int, int) {
        if (IsPausedState(in.State)) std::abort();
        clock += int64_t(wheel * 1000);
        if (++pulses % pauseEvery == 0) in.State = vtsPaused;
    };
    in.State = vtsOpening;
    in.Prepare();
    size_t pos = 4;
    size_t chunk = 1 + data[3] % 9;
    while (pos < size) {
        const size_t n = std::min(chunk, size - pos);
        if (IsPausedState(in.State)) in.State = vtsOpened;
        in.ReceiveBytes(data + pos, n);
        pos += n;
        chunk = chunk % 17 + 1;
        // What stays buffered is at most one incomplete frame or line.
        if (in.Buffered() > kMaxTextLine + 17) std::abort();
    }
    (void)in.Magnets.Pattern();
    (void)in.Magnets.Statistics();
    (void)in.Activity();
    in.Close();
    return 0;
}
