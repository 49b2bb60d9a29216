#include "interfaces/heart_source.h"

#include <dlfcn.h>

#include <QObject>
#include <QPointer>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "interfaces/ant_receiver.h"
#include "interfaces/ble_transport.h"
#include "interfaces/devices/capture.h"
#include "interfaces/devices/demo_data.h"
#include "interfaces/devices/heart_rate.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/trace.h"

// ---- base ---------------------------------------------------------------------------

void THeartRateSource::Note(const std::string& text)
{
    Trace("Heart rate " + FName + ": " + text);
    if (OnNote) OnNote(text);
}

void THeartRateSource::Problem(const std::string& kind, const std::string& text)
{
    Trace("Heart rate " + FName + ": " + text);
    if (!FToldProblems.insert(kind).second) return;
    if (OnProblem) OnProblem(text);
}

void THeartRateSource::Failed(const std::string& text)
{
    Trace("Heart rate " + FName + ": " + text);
    if (OnFailed) OnFailed(text);
}

void THeartRateSource::Value(int bpm)
{
    if (!PlausibleHeartRate(bpm)) {
        Problem("nonsense", Format("The heart-rate strap sends %d bpm, which is no heart rate: such values are not "
                                   "recorded.",
                                   bpm));
        return;
    }
    if (OnHeartRate) OnHeartRate(bpm);
}

void THeartRateSource::SetBattery(int percent)
{
    if (percent == FBattery) return;
    const bool first = FBattery < 0;
    FBattery = percent;
    if (percent < 15) Problem("battery", Format("The heart-rate strap's battery is low (%d %%).", percent));
    else if (first) Note(Format("Heart-rate strap battery: %d %%", percent));
}

namespace {

// ---- Bluetooth straps and captures ----------------------------------------------------

class TBleHeartSource : public THeartRateSource {
public:
    TBleHeartSource(std::unique_ptr<TBleTransport> transport, std::string name) : FTransport(std::move(transport))
    {
        FName = std::move(name);
    }
    ~TBleHeartSource() override { Stop(); }

    void Start() override
    {
        ClearProblems();
        FStopped = false;
        TBleTransport& t = *FTransport;
        t.OnConnected = [this] { Note("Heart-rate strap connected: " + FTransport->Description()); };
        t.OnNotification = [this](uint16_t c, const std::vector<uint8_t>& b, double) { Notification(c, b); };
        t.OnStatus = [this](const std::string& text) { Note(text); };
        t.OnLost = [this](const std::string& text) { Note(text); };
        t.OnFailed = [this](const std::string& text) { Failed(text); };
        t.OnEnd = [this] { Note("End of the heart-rate recording."); };
        t.Open();
    }

    void Stop() override
    {
        if (FStopped) return;
        FStopped = true;
        FTransport->Close();
    }

    void SetPaused(bool paused) override { FTransport->SetPaused(paused); }

private:
    void Notification(uint16_t characteristic, const std::vector<uint8_t>& bytes)
    {
        if (characteristic == kBatteryLevel) {
            int percent = 0;
            if (DecodeBatteryLevel(bytes.data(), bytes.size(), percent)) SetBattery(percent);
            return;
        }
        if (characteristic != kHeartRateMeasurement) return;
        THeartRateMeasurement m;
        std::string error;
        if (!DecodeHeartRateMeasurement(bytes.data(), bytes.size(), m, error)) {
            Problem("malformed",
                    "The heart-rate strap sent a measurement that cannot be read (" + error + "): it is ignored.");
            return;
        }
        if (m.ContactSupported && !m.ContactDetected) {
            Problem("contact", "The heart-rate strap has no skin contact: moisten its electrodes and check its fit.");
            return;
        }
        Value(m.Bpm);
    }

    std::unique_ptr<TBleTransport> FTransport;
    bool FStopped = true;
};

// ---- ANT+ straps ----------------------------------------------------------------------

struct TAntApi {
    int (*Init)(unsigned char, unsigned short) = nullptr;
    void (*Close)() = nullptr;
    int (*ResetSystem)() = nullptr;
    void (*Nap)(unsigned long) = nullptr;
    int (*SetNetworkKey)(unsigned char, unsigned char*) = nullptr;
    int (*AssignChannel)(unsigned char, unsigned char, unsigned char) = nullptr;
    int (*UnAssignChannel)(unsigned char) = nullptr;
    int (*SetChannelId)(unsigned char, unsigned short, unsigned char, unsigned char) = nullptr;
    int (*SetChannelRFFreq)(unsigned char, unsigned char) = nullptr;
    int (*SetChannelPeriod)(unsigned char, unsigned short) = nullptr;
    int (*OpenChannel)(unsigned char) = nullptr;
    int (*CloseChannel)(unsigned char) = nullptr;
    int (*RequestMessage)(unsigned char, unsigned char) = nullptr;
    void (*AssignResponseFunction)(int (*)(unsigned char, unsigned char), unsigned char*) = nullptr;
    void (*AssignChannelEventFunction)(unsigned char, int (*)(unsigned char, unsigned char), unsigned char*) = nullptr;
    void (*UnassignAllResponseFunctions)() = nullptr;
};

class TAntHeartSource;
std::mutex gAntLock;
TAntHeartSource* gAnt = nullptr;  // the source the library's callbacks reach
std::atomic<bool> gAntRunning{false};

constexpr unsigned char kChannel = 0;
constexpr unsigned char kNetwork = 1;

class TAntHeartSource : public THeartRateSource {
public:
    TAntHeartSource(const THeartSourceOptions& options, int deviceNumber)
        : FOptions(options), FDeviceNumber(deviceNumber)
    {
        FName = deviceNumber > 0 ? Format("ANT+ strap %d", deviceNumber) : "ANT+ strap";
    }
    ~TAntHeartSource() override
    {
        Stop();
        delete FContext;
    }

    void Start() override
    {
        ClearProblems();
        if (FLib) return;
        uint8_t key[8];
        if (!ParseAntNetworkKey(FOptions.AntNetworkKey, key))
            return Failed(
                "The ANT+ network key is not set: enter its 16 hex digits as \"AntNetworkKey\" in the "
                "section [HeartRate] of the settings file.");
        if (AntReceiverHeldBy(TAntUser::WirelessInterface))
            return Failed(
                "The ANT receiver is in use by the VT3 Wireless Interface: an ANT+ strap needs a "
                "receiver of its own here; a Bluetooth strap works alongside.");
        if (gAntRunning) return Failed("Another ANT+ heart-rate strap already uses the ANT receiver.");
        if (!Load()) return;
        TAntApi& a = FApi;
        auto step = [&](const char* name, int ok) {
            if (!ok)
                Failed(std::string("Error with ") + name + ": the ANT receiver did not accept the heart-rate channel.");
            else a.Nap(5);
            return ok != 0;
        };
        if (!a.Init(uint8_t(FOptions.AntReceiver), 57600)) {
            Unload();
            return Failed(Format("No ANT receiver found (receiver %d).", FOptions.AntReceiver));
        }
        FInitialised = true;
        gAntRunning = true;
        SetAntReceiverHeld(TAntUser::HeartStrap, true);
        if (!FContext) FContext = new QObject();
        {
            std::lock_guard<std::mutex> lock(gAntLock);
            gAnt = this;
        }
        a.AssignResponseFunction(&TAntHeartSource::ResponseCallback, FResponse);
        a.AssignChannelEventFunction(kChannel, &TAntHeartSource::ChannelCallback, FRx);
        const bool ok =
            step("ANT_ResetSystem", a.ResetSystem()) && step("ANT_SetNetworkKey", a.SetNetworkKey(kNetwork, key)) &&
            step("ANT_AssignChannel", a.AssignChannel(kChannel, 0x00, kNetwork)) &&
            step("ANT_SetChannelId", a.SetChannelId(kChannel, uint16_t(FDeviceNumber), kAntHeartDeviceType, 0)) &&
            step("ANT_SetChannelPeriod", a.SetChannelPeriod(kChannel, kAntHeartPeriod)) &&
            step("ANT_SetChannelRFFreq", a.SetChannelRFFreq(kChannel, kAntPlusFrequency)) &&
            step("ANT_OpenChannel", a.OpenChannel(kChannel));
        if (!ok) {
            Stop();
            return;
        }
        Note("Searching for the ANT+ heart-rate strap ...");
    }

    void Stop() override
    {
        {
            std::lock_guard<std::mutex> lock(gAntLock);
            if (gAnt == this) gAnt = nullptr;
        }
        if (FInitialised) {
            TAntApi& a = FApi;
            a.AssignChannelEventFunction(kChannel, nullptr, nullptr);
            a.AssignResponseFunction(nullptr, nullptr);
            a.CloseChannel(kChannel);
            a.Nap(5);
            a.UnAssignChannel(kChannel);
            a.UnassignAllResponseFunctions();
            a.ResetSystem();
            a.Close();
            FInitialised = false;
            gAntRunning = false;
            SetAntReceiverHeld(TAntUser::HeartStrap, false);
        }
        Unload();
    }

    // The library's callbacks (its own thread): the pages and answers go to
    // the user-interface thread as they are.
    static int ChannelCallback(unsigned char channel, unsigned char event)
    {
        std::lock_guard<std::mutex> lock(gAntLock);
        if (!gAnt || channel != kChannel) return 1;
        TAntHeartSource* self = gAnt;
        std::array<uint8_t, 9> rx;
        std::memcpy(rx.data(), self->FRx, rx.size());
        QMetaObject::invokeMethod(
            self->FContext, [self, event, rx] { self->ChannelEvent(event, rx); }, Qt::QueuedConnection);
        return 1;
    }

    static int ResponseCallback(unsigned char channel, unsigned char messageId)
    {
        std::lock_guard<std::mutex> lock(gAntLock);
        if (!gAnt || channel != kChannel || messageId != 0x51) return 1;
        TAntHeartSource* self = gAnt;
        const unsigned number = unsigned(self->FResponse[1] | self->FResponse[2] << 8);
        QMetaObject::invokeMethod(
            self->FContext, [self, number] { self->Paired(number); }, Qt::QueuedConnection);
        return 1;
    }

private:
    bool Load()
    {
        FLib = dlopen(FOptions.AntLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!FLib) {
            const char* why = dlerror();
            Failed(Format("The ANT library \"%s\" cannot be loaded%s%s.", FOptions.AntLibrary.c_str(), why ? ": " : "",
                          why ? why : ""));
            return false;
        }
        bool ok = true;
        auto resolve = [&](auto& fn, const char* name) {
            void* symbol = dlsym(FLib, name);
            if (!symbol) ok = false;
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(symbol);
        };
        TAntApi& a = FApi;
        resolve(a.Init, "ANT_Init");
        resolve(a.Close, "ANT_Close");
        resolve(a.ResetSystem, "ANT_ResetSystem");
        resolve(a.Nap, "ANT_Nap");
        resolve(a.SetNetworkKey, "ANT_SetNetworkKey");
        resolve(a.AssignChannel, "ANT_AssignChannel");
        resolve(a.UnAssignChannel, "ANT_UnAssignChannel");
        resolve(a.SetChannelId, "ANT_SetChannelId");
        resolve(a.SetChannelRFFreq, "ANT_SetChannelRFFreq");
        resolve(a.SetChannelPeriod, "ANT_SetChannelPeriod");
        resolve(a.OpenChannel, "ANT_OpenChannel");
        resolve(a.CloseChannel, "ANT_CloseChannel");
        resolve(a.RequestMessage, "ANT_RequestMessage");
        resolve(a.AssignResponseFunction, "ANT_AssignResponseFunction");
        resolve(a.AssignChannelEventFunction, "ANT_AssignChannelEventFunction");
        resolve(a.UnassignAllResponseFunctions, "ANT_UnassignAllResponseFunctions");
        if (!ok) {
            Unload();
            Failed(Format("The ANT library \"%s\" lacks functions a heart-rate strap needs.",
                          FOptions.AntLibrary.c_str()));
        }
        return ok;
    }

    void Unload()
    {
        if (FLib) dlclose(FLib);
        FLib = nullptr;
        FApi = TAntApi();
    }

    void ChannelEvent(unsigned char event, const std::array<uint8_t, 9>& rx)
    {
        if (!FInitialised) return;
        switch (event) {
        case 0x80:  // broadcast data
        case 0x81:  // acknowledged data
        {
            const TAntHeartPage page = DecodeAntHeartPage(rx.data() + 1);
            if (!FFound) {
                FFound = true;
                Note("ANT+ heart-rate strap found.");
                if (FApi.RequestMessage) FApi.RequestMessage(kChannel, 0x51);
                if (!FInitialised) return;
            }
            if (FTracker.Add(page)) Value(page.Bpm);
            break;
        }
        case 0x01:  // search timed out
            Problem("search", "No ANT+ heart-rate strap found: check that it is worn, and the ANT+ network key.");
            break;
        case 0x07:  // channel closed: search on
            if (FApi.OpenChannel) FApi.OpenChannel(kChannel);
            break;
        default: break;
        }
    }

    void Paired(unsigned number)
    {
        if (!FInitialised || number == 0) return;
        FName = Format("ANT+ strap %u", number);
        Note(Format("Paired with the ANT+ heart-rate strap %u (remembered as \"ant:%u\").", number, number));
    }

    THeartSourceOptions FOptions;
    int FDeviceNumber;
    void* FLib = nullptr;
    TAntApi FApi;
    bool FInitialised = false;
    bool FFound = false;
    TAntHeartTracker FTracker;
    QObject* FContext = nullptr;
    unsigned char FResponse[64] = {};
    unsigned char FRx[64] = {};
};

bool ParseAntSource(const std::string& source, int& number)
{
    const std::string s = Trim(source);
    if (SameText(s, "ant")) {
        number = 0;
        return true;
    }
    if (s.size() < 5 || !SameText(s.substr(0, 4), "ant:")) return false;
    int32_t n = 0;
    if (!TryParseInt(s.substr(4), n) || n < 1 || n > 65535) return false;
    number = n;
    return true;
}

// The demo strap's capture, made once per recording and weight.
std::string DemoStrapCapture(const THeartSourceOptions& o, std::string& error)
{
    static std::mutex lock;
    static std::string madeFor, made;
    const std::string key = o.DemoFile + Format("|%.1f", o.Weight);
    std::lock_guard<std::mutex> guard(lock);
    if (key == madeFor) return made;
    std::vector<uint8_t> bytes = BuiltInDemoData();
    if (!o.DemoFile.empty()) {
        int code = 0;
        if (!ReadWholeFile(o.DemoFile, bytes, code)) {
            error = "Cannot read \"" + o.DemoFile + "\"";
            return "";
        }
    }
    const auto strokes = RecordingStrokes(bytes, o.Weight, error);
    if (!error.empty()) return "";
    madeFor = key;
    made = MakeHeartCapture(strokes, "Demo strap");
    return made;
}

}  // namespace

std::unique_ptr<THeartRateSource> CreateHeartRateSource(const std::string& source, const THeartSourceOptions& options,
                                                        std::string& error)
{
    error.clear();
    const std::string s = Trim(source);
    if (s.empty()) {
        error = "No heart-rate source given.";
        return nullptr;
    }
    int number = 0;
    if (ParseAntSource(s, number)) return std::make_unique<TAntHeartSource>(options, number);
    if (SameText(s, "DEMO")) {
        const std::string capture = DemoStrapCapture(options, error);
        if (!error.empty()) return nullptr;
        return std::make_unique<TBleHeartSource>(
            CreateCaptureTransport(capture, "Demo strap", kHeartRateMeasurement, options.CaptureSpeed), "Demo strap");
    }
    auto transport = CreateBleTransport(s, kHeartRateMeasurement, options.CaptureSpeed, error);
    if (!transport) {
        error = Format(
            "\"%s\" is no heart-rate source: give a strap's Bluetooth address (AA:BB:CC:DD:EE:FF), "
            "capture:FILE, ant, ant:NUMBER or DEMO.",
            s.c_str());
        return nullptr;
    }
    const std::string name = transport->Description();
    return std::make_unique<TBleHeartSource>(std::move(transport), name);
}

bool IsHeartRateSource(const std::string& source)
{
    const std::string s = Trim(source);
    int number = 0;
    return ParseAntSource(s, number) || SameText(s, "DEMO") || (IsCaptureSource(s) && !CaptureSourcePath(s).empty()) ||
           !BleAddressOf(s).empty();
}

bool AntHeartSourceRunning() { return gAntRunning; }
