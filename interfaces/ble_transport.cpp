#include "interfaces/ble_transport.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cctype>
#include <cstring>

#include "interfaces/devices/capture.h"
#include "interfaces/devices/heart_rate.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

const char kCapturePrefix[] = "capture:";

bool StartsWithNoCase(const std::string& s, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return s.size() >= n && SameText(s.substr(0, n), prefix);
}

// Plays a capture's notifications of one measurement (and the battery level)
// at their recorded times, scaled by the speed.
class TCaptureTransport : public TBleTransport {
public:
    TCaptureTransport(std::string path, std::string text, std::string name, uint16_t measurement, double speed)
        : FPath(std::move(path)), FText(std::move(text)), FName(std::move(name)), FMeasurement(measurement),
          FSpeed(speed > 0 ? speed : 0)
    {
        FCapture = true;
    }
    ~TCaptureTransport() override { delete FTimer; }

    std::string Description() const override { return FName; }

    void Open() override
    {
        FClosed = false;
        TInUse::TScope busy(InUse);
        std::string text = FText;
        if (!FPath.empty()) {
            const int64_t size = FileSizeOf(FPath);
            if (size < 0) return Fail(Format("Capture \"%s\" not found.", FPath.c_str()));
            if (size > kMaxCaptureFileSize)
                return Fail(Format("Capture \"%s\" is too large (%lld bytes).", FPath.c_str(), (long long)size));
            std::vector<uint8_t> bytes;
            int error = 0;
            if (!ReadWholeFile(FPath, bytes, error))
                return Fail(Format("Capture \"%s\" cannot be read: %s", FPath.c_str(), std::strerror(error)));
            text.assign(bytes.begin(), bytes.end());
        }
        TCapture capture = ParseCapture(text);
        for (TNotification& n : capture.Notifications)
            if (n.Event != TCaptureEvent::Notification || n.Characteristic == FMeasurement ||
                n.Characteristic == kBatteryLevel)
                FItems.push_back(std::move(n));
        if (!capture.Problems.empty() && OnStatus) {
            OnStatus(Format("Capture \"%s\": %zu line(s) skipped (%s)", FName.c_str(), capture.Problems.size(),
                            capture.Problems.front().c_str()));
            if (FClosed) return;
        }
        bool measurements = false;
        for (const TNotification& n : FItems)
            measurements = measurements || (n.Event == TCaptureEvent::Notification && n.Characteristic == FMeasurement);
        if (!measurements)
            return Fail(Format("Capture \"%s\" holds no %s notifications.", FName.c_str(),
                               FMeasurement == kHeartRateMeasurement ? "heart-rate" : "rower data"));
        FNext = 0;
        if (OnConnected) OnConnected();
        if (FClosed) return;
        FPlaying = true;
        if (!FPaused) Restart();
    }

    void Close() override
    {
        FClosed = true;
        if (FTimer) FTimer->stop();
    }

    void SetPaused(bool paused) override
    {
        if (paused == FPaused) return;
        FPaused = paused;
        if (paused) {
            if (FTimer) FTimer->stop();
        } else if (!FClosed && FPlaying) {
            Restart();
        }
    }

private:
    void Fail(const std::string& text)
    {
        FClosed = true;
        if (OnFailed) OnFailed(text);
    }

    // Plays on from the next notification, its time now.
    void Restart()
    {
        if (FNext < FItems.size()) FBase = FItems[FNext].Time;
        FClock.restart();
        Schedule();
    }

    double DueMs(size_t i) const { return FSpeed > 0 ? (FItems[i].Time - FBase) * 1000.0 / FSpeed : 0.0; }

    void Schedule()
    {
        if (FClosed || FPaused) return;
        if (!FTimer) {
            FTimer = new QTimer();
            FTimer->setSingleShot(true);
            FTimer->setTimerType(Qt::PreciseTimer);
            // The connection goes with the timer, which goes with the transport.
            QObject::connect(FTimer, &QTimer::timeout, [this] { Tick(); });
        }
        const double wait = FNext < FItems.size() ? DueMs(FNext) - double(FClock.elapsed()) : 0.0;
        FTimer->start(wait > 0 ? int(wait + 0.5) : 0);
    }

    void Tick()
    {
        TInUse::TScope busy(InUse);
        // At once: a bounded batch per pass, so the program stays responsive.
        for (int batch = 0; batch < 200 && FNext < FItems.size() && !FClosed && !FPaused; ++batch) {
            if (DueMs(FNext) > double(FClock.elapsed())) break;
            const TNotification& n = FItems[FNext++];
            if (n.Event == TCaptureEvent::Gone) {
                const std::string why = n.Text.empty() ? std::string("no reason given") : n.Text;
                return Fail(Format("%s is gone (%s).", FName.c_str(), why.c_str()));
            }
            if (n.Event == TCaptureEvent::Lost) {
                const std::string why = n.Text.empty() ? std::string("no reason given") : n.Text;
                if (OnLost) OnLost(Format("Connection to %s lost (%s); reconnecting ...", FName.c_str(), why.c_str()));
            } else if (OnNotification) {
                OnNotification(n.Characteristic, n.Bytes, n.Time);
            }
        }
        if (FClosed || FPaused) return;
        if (FNext >= FItems.size()) {
            FClosed = true;
            if (OnEnd) OnEnd();
            return;
        }
        Schedule();
    }

    std::string FPath, FText, FName;
    uint16_t FMeasurement;
    double FSpeed;
    std::vector<TNotification> FItems;
    size_t FNext = 0;
    double FBase = 0;
    QElapsedTimer FClock;
    QTimer* FTimer = nullptr;
    bool FPaused = false;
    bool FPlaying = false;
    bool FClosed = true;
};

}  // namespace

bool IsCaptureSource(const std::string& source) { return StartsWithNoCase(source, kCapturePrefix); }

std::string CaptureSourcePath(const std::string& source)
{
    return IsCaptureSource(source) ? source.substr(sizeof kCapturePrefix - 1) : std::string();
}

std::string BleAddressOf(const std::string& source)
{
    std::string s = Trim(source);
    if (StartsWithNoCase(s, "BLE:")) s = s.substr(4);
    if (s.size() != 17) return "";
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (i % 3 == 2) {
            if (c != ':') return "";
        } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return "";
        }
    }
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::unique_ptr<TBleTransport> CreateBleTransport(const std::string& source, uint16_t measurement, double speed,
                                                  std::string& error)
{
    error.clear();
    if (IsCaptureSource(source)) {
        const std::string path = CaptureSourcePath(source);
        if (path.empty()) {
            error = "No capture file given after \"capture:\".";
            return nullptr;
        }
        return std::make_unique<TCaptureTransport>(path, "", ExtractFileName(path), measurement, speed);
    }
    const std::string address = BleAddressOf(source);
    if (address.empty()) {
        error = Format("\"%s\" is neither a Bluetooth address (AA:BB:CC:DD:EE:FF) nor capture:FILE.", source.c_str());
        return nullptr;
    }
    return CreateQtBleTransport(address, measurement);
}

std::unique_ptr<TBleTransport> CreateCaptureTransport(const std::string& text, const std::string& name,
                                                      uint16_t measurement, double speed)
{
    return std::make_unique<TCaptureTransport>("", text, name, measurement, speed);
}
