// Text lines of the Oartec slider's debug output, whole and in pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "interfaces/devices/vt_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    double interval = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        (void)IsTextFrame(line, false);
        (void)IsTextFrame(line, true);
        (void)DecodeTextLine(line, interval);
        start = end + 1;
    }

    TVTPulseInput in;
    in.ProtocolSet = {vtpOTDebug};
    in.TextLines = true;
    in.State = (data[0] & 1) ? vtsOpening : vtsOpened;
    int64_t clock = 0;
    in.Computer.Clock = [&clock] { return clock += 10; };
    in.Prepare();
    const size_t chunk = 1 + data[0] % 29;
    for (size_t pos = 1; pos < size; pos += chunk) {
        in.ReceiveBytes(data + pos, std::min(chunk, size - pos));
        if (in.Buffered() > kMaxTextLine + chunk) std::abort();
    }
    return 0;
}
