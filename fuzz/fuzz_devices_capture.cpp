// Capture text: arbitrary bytes as a capture file; every notification read
// must be in time order, within the size bound, and written back as a line
// that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "interfaces/devices/capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TCapture c = ParseCapture(std::string(reinterpret_cast<const char*>(data), size));
    double last = 0;
    for (const TNotification& n : c.Notifications) {
        if (n.Time < last || n.Bytes.size() > kMaxNotificationBytes) std::abort();
        last = n.Time;
        if (n.Event != TCaptureEvent::Notification) {
            const TCapture again = ParseCapture(CaptureEventLine(n.Time, n.Event, n.Text));
            if (again.Notifications.size() != 1 || again.Notifications[0].Event != n.Event) std::abort();
            continue;
        }
        const TCapture again = ParseCapture(CaptureLine(n.Time, n.Characteristic, n.Bytes.data(), n.Bytes.size()));
        if (again.Notifications.size() != 1 || again.Notifications[0].Bytes != n.Bytes ||
            again.Notifications[0].Characteristic != n.Characteristic)
            std::abort();
    }
    if (c.Problems.size() > 101) std::abort();
    return 0;
}
