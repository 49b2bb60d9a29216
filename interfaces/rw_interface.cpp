#include "interfaces/rw_interface.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>

#include "interfaces/ant_receiver.h"
#include "interfaces/delay.h"
#include "interfaces/serial/usb_devices.h"
#include "util/text.h"
#include "util/trace.h"

namespace {

// The interface whose callbacks the radio library calls (one radio per process).
std::mutex gRadioLock;
TRWInterface* gRadio = nullptr;

const std::string kRule(77, '-');

// Counts the hand-overs running (the worker is not freed inside one).
struct TDeliverScope {
    explicit TDeliverScope(int& depth) : Depth(depth) { ++Depth; }
    ~TDeliverScope() { --Depth; }
    int& Depth;
};

std::string CleanName(std::string name)
{
    const size_t semicolon = name.rfind(';');
    if (semicolon != std::string::npos) name = name.substr(semicolon + 1);
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == ' ' || c == '-' || c == '_'; }),
               name.end());
    return name;
}

std::string HexBytes(const unsigned char* p, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) out += Format(" %02X", p[i]);
    return out;
}

}  // namespace

struct TRWInterface::TAntApi {
    int (*Init)(unsigned char, unsigned short) = nullptr;
    void (*Close)() = nullptr;
    int (*ResetSystem)() = nullptr;
    void (*Nap)(unsigned long) = nullptr;
    int (*SetTransmitPower)(unsigned char) = nullptr;
    int (*GetDeviceUSBInfo)(unsigned char, unsigned char*, unsigned char*) = nullptr;
    int (*GetDeviceUSBPID)(unsigned short*) = nullptr;
    int (*AssignChannel)(unsigned char, unsigned char, unsigned char) = nullptr;
    int (*UnAssignChannel)(unsigned char) = nullptr;
    int (*SetChannelId)(unsigned char, unsigned short, unsigned char, unsigned char) = nullptr;
    int (*SetChannelRFFreq)(unsigned char, unsigned char) = nullptr;
    int (*SetChannelPeriod)(unsigned char, unsigned short) = nullptr;
    int (*OpenChannel)(unsigned char) = nullptr;
    void (*AssignResponseFunction)(int (*)(unsigned char, unsigned char), unsigned char*) = nullptr;
    void (*AssignChannelEventFunction)(unsigned char, int (*)(unsigned char, unsigned char), unsigned char*) = nullptr;
    void (*UnassignAllResponseFunctions)() = nullptr;
    const char* (*LibVersion)() = nullptr;
    // Resolved but not called.
    void* SetNetworkKey = nullptr;
    void* CloseChannel = nullptr;
    void* RequestMessage = nullptr;
};

// ---- TVT3WIThread -------------------------------------------------------------------

TVT3WIThread::TVT3WIThread(TRWInterface& owner) : FOwner(owner) {}

TVT3WIThread::~TVT3WIThread() { Terminate(); }

void TVT3WIThread::Resume()
{
    if (FThread.joinable() || FTerminated) return;
    FThread = std::thread([this] { Run(); });
}

void TVT3WIThread::Terminate()
{
    FTerminated = true;
    // The loop may be about to hand over: a stopped hand-over refuses it, so
    // the join below cannot wait on a worker that waits on this thread.
    FHandover.Stop();
    if (FThread.joinable()) FThread.join();
}

void TVT3WIThread::PushStatus(const std::string& text)
{
    std::lock_guard<std::mutex> lock(FStatusLock);
    if (FStatus.size() >= kMaxQueue) {
        FStatus.pop_front();
        ++FOverflows;
    }
    FStatus.push_back(text);
}

void TVT3WIThread::PushPacket(const std::string& text)
{
    std::lock_guard<std::mutex> lock(FPacketLock);
    if (FPackets.size() >= kMaxQueue) {
        FPackets.pop_front();
        ++FOverflows;
    }
    FPackets.push_back(text);
}

void TVT3WIThread::PushWheel(uint16_t word)
{
    std::lock_guard<std::mutex> lock(FWheelLock);
    if (FWheels.size() >= kMaxQueue) {
        FWheels.pop_front();
        ++FOverflows;
    }
    FWheels.push_back(word);
}

void TVT3WIThread::Run()
{
    // Every 5 ms: the entries queued meanwhile, oldest first, each handed to the
    // user-interface thread and waited for.
    while (!FTerminated) {
        for (int i = 0; i < 256 && !FTerminated; ++i) {
            std::string text;
            {
                std::lock_guard<std::mutex> lock(FStatusLock);
                if (FStatus.empty()) break;
                text = std::move(FStatus.front());
                FStatus.pop_front();
            }
            FHandover.Call([&] { FOwner.DeliverStatus(text); });
        }
        for (int i = 0; i < 256 && !FTerminated; ++i) {
            std::string text;
            {
                std::lock_guard<std::mutex> lock(FPacketLock);
                if (FPackets.empty()) break;
                text = std::move(FPackets.front());
                FPackets.pop_front();
            }
            FHandover.Call([&] { FOwner.DeliverPacket(text); });
        }
        for (int i = 0; i < 1024 && !FTerminated; ++i) {
            uint16_t word;
            {
                std::lock_guard<std::mutex> lock(FWheelLock);
                if (FWheels.empty()) break;
                word = FWheels.front();
                FWheels.pop_front();
            }
            FHandover.Call([&] { FOwner.DeliverWheel(word); });
        }
        if (!FTerminated && FCountersChanged.exchange(false)) FHandover.Call([&] { FOwner.DeliverCounters(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// ---- TRWInterface ---------------------------------------------------------------------

TRWInterface::TRWInterface() : FApi(std::make_unique<TAntApi>())
{
    InterfaceType = 6;
    SourceType = 1;
    GetPortList();
}

TRWInterface::~TRWInterface()
{
    try {
        Close();
    } catch (...) {
    }
    UnloadAntLib();
}

void TRWInterface::Status(const std::string& text)
{
    Trace(text);
    if (OnStatusMessage) OnStatusMessage(this, text);
}

void TRWInterface::SetBusy(bool busy)
{
    if (FBusy == busy) return;
    FBusy = busy;
    Fire(OnStatusUpdate);
}

void TRWInterface::SetConnected(bool connected)
{
    if (FConnected == connected) return;
    FConnected = connected;
    Fire(OnStatusUpdate);
}

bool TRWInterface::LoadAntLib()
{
    if (FLib) return true;
    Status(kRule);
    Status("Start loading AntLib ...");
    SetBusy(true);
    bool ok = false;
    void* handle = dlopen(AntLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    TAntApi api;
    if (!handle) {
        const char* reason = dlerror();
        Trace(std::string("Error loading AntLib : ") + (reason ? reason : ""));
    } else {
        ok = true;
        auto resolve = [&](auto& fn, const char* name, bool required) {
            void* symbol = dlsym(handle, name);
            if (!symbol) {
                Status(std::string("Error getting procaddress for ") + name);
                if (required) ok = false;
            }
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(symbol);
        };
        resolve(api.Init, "ANT_Init", true);
        resolve(api.Close, "ANT_Close", true);
        resolve(api.ResetSystem, "ANT_ResetSystem", true);
        resolve(api.Nap, "ANT_Nap", true);
        resolve(api.SetTransmitPower, "ANT_SetTransmitPower", true);
        resolve(api.GetDeviceUSBInfo, "ANT_GetDeviceUSBInfo", true);
        resolve(api.GetDeviceUSBPID, "ANT_GetDeviceUSBPID", true);
        resolve(api.AssignChannel, "ANT_AssignChannel", true);
        resolve(api.UnAssignChannel, "ANT_UnAssignChannel", true);
        resolve(api.SetChannelId, "ANT_SetChannelId", true);
        resolve(api.SetChannelRFFreq, "ANT_SetChannelRFFreq", true);
        resolve(api.SetChannelPeriod, "ANT_SetChannelPeriod", true);
        resolve(api.OpenChannel, "ANT_OpenChannel", true);
        resolve(api.AssignResponseFunction, "ANT_AssignResponseFunction", true);
        resolve(api.AssignChannelEventFunction, "ANT_AssignChannelEventFunction", true);
        resolve(api.UnassignAllResponseFunctions, "ANT_UnassignAllResponseFunctions", true);
        resolve(api.LibVersion, "ANT_LibVersion", false);
        resolve(api.SetNetworkKey, "ANT_SetNetworkKey", false);
        resolve(api.CloseChannel, "ANT_CloseChannel", false);
        resolve(api.RequestMessage, "ANT_RequestMessage", false);
        if (!ok) dlclose(handle);
    }
    if (ok) {
        FLib = handle;
        *FApi = api;
        Fire(OnStatusUpdate);
        if (api.LibVersion) {
            const char* version = api.LibVersion();
            const unsigned byte = unsigned(reinterpret_cast<uintptr_t>(version) & 0xFF);
            Status(Format("AntLibVersion = %u ($%x)", byte, byte) + (version ? std::string(" ") + version : ""));
        }
    }
    SetBusy(false);
    Status(ok ? "Done loading AntLib." : "Error loading AntLib.");
    if (ok) GetPortList();
    return ok;
}

void TRWInterface::RemoveCallbacks()
{
    FResponseEnabled = false;
    FApi->Nap(AntDelay);
    FApi->AssignResponseFunction(nullptr, nullptr);
    FChannelEnabled = false;
    FApi->Nap(AntDelay);
    FApi->AssignChannelEventFunction(AntChannel, nullptr, nullptr);
}

void TRWInterface::UnloadAntLib()
{
    if (!FLib || FConnected) return;
    Status(kRule);
    Status("Unloading AntLib ...");
    RemoveCallbacks();
    FApi->UnassignAllResponseFunctions();
    const bool ok = dlclose(FLib) == 0;
    FLib = nullptr;
    *FApi = TAntApi();
    PortList.clear();
    Fire(OnStatusUpdate);
    Status(ok ? "Done unloading AntLib." : "Error unloading AntLib.");
}

void TRWInterface::GetPortList()
{
    if (!FLib) {
        Status("Retrieving ANT devices from Registry ...");
        PortList.clear();
        for (const auto& r : AntReceivers())
            PortList.push_back(CleanName(r.Product) + "-" + Format("%04X", r.ProductId) + "-" + r.Serial);
        std::sort(PortList.begin(), PortList.end());
        Status("Done retrieving ANT devices.");
        return;
    }
    if (FConnected) return;
    Status(kRule);
    Status("Scanning for ANT devices ...");
    SetBusy(true);
    PortList.clear();
    int failures = 0, tried = 0;
    for (unsigned number = 0; failures < 2 && number < 256; ++number) {
        ++tried;
        if (FApi->Init(uint8_t(number), AntBaudrate)) {
            unsigned char product[256] = {}, serial[256] = {};
            unsigned short pid = 0;
            Status(Format("DeviceNum = %u ($%x)", number, number));
            if (FApi->GetDeviceUSBInfo(uint8_t(number), product, serial)) {
                Status(std::string("DeviceDescription = ") + reinterpret_cast<char*>(product));
                Status(std::string("DeviceSerial = ") + reinterpret_cast<char*>(serial));
            } else {
                Status("Error with ANT_GetDeviceUSBInfo");
            }
            if (FApi->GetDeviceUSBPID(&pid)) Status(Format("DevicePID = %u ($%x)", pid, pid));
            else Status("Error with ANT_GetDeviceUSBPID");
            product[255] = serial[255] = 0;
            PortList.push_back(CleanName(reinterpret_cast<char*>(product)) + "-" + Format("%04X", pid) + "-" +
                               reinterpret_cast<char*>(serial));
        } else {
            ++failures;
        }
        FApi->Nap(AntDelay);
        FApi->Close();
    }
    std::sort(PortList.begin(), PortList.end());
    SetBusy(false);
    Status(tried > 1 ? "Done scanning for ANT devices." : "Error scanning for ANT devices.");
}

void TRWInterface::ComPortOpen()
{
    if (!FLib) LoadAntLib();
    if (!FLib) throw ETarnError("AntLib not loaded");
    if (FConnected) throw ETarnError("Already connected");
    if (Source.empty()) throw ETarnError("No source selected");
    if (AntReceiverHeldBy(TAntUser::HeartStrap))
        throw ETarnError("The ANT receiver is in use by the ANT+ heart-rate strap.");
    {
        std::lock_guard<std::mutex> lock(gRadioLock);
        if (gRadio && gRadio != this) throw ETarnError("Already connected");
    }
    DataSeen = false;
    ValidSeen = false;
    FRadioValid = false;
    Description.clear();
    {
        std::lock_guard<std::mutex> lock(FIdentityLock);
        FIdentity.clear();
    }
    In.Open();
    Status(kRule);
    Status("Connecting to ANT device ...");
    FTestTimerFired = false;
    if (TestMode) StartTimer(5000, [this] { TestTimer(); });
    SetBusy(true);
    TAntApi& a = *FApi;
    bool ok = true;
    auto step = [&](const char* name, const std::function<int()>& call, const char* error) {
        if (!ok) return;
        Status(name);
        if (!call()) {
            Status(error);
            ok = false;
        }
        Delay(AntDelay);
    };
    step(
        "ANT_Init", [&] { return a.Init(uint8_t(AntDevice), AntBaudrate); }, "Error with ANT_Init");
    step(
        "ANT_ResetSystem", [&] { return a.ResetSystem(); }, "Error with ANT_ResetSystem");
    step(
        "ANT_AssignChannel", [&] { return a.AssignChannel(AntChannel, AntChanType, AntNetNumber); },
        "Error with ANT_AssignChannel");
    step(
        "ANT_SetChannelId", [&] { return a.SetChannelId(AntChannel, AntDevice, AntDevType, AntTransType); },
        "Error with ANT_SetChannelId");
    step(
        "ANT_SetChannelPeriod", [&] { return a.SetChannelPeriod(AntChannel, AntMessPeriod); },
        "Error with ANT_SetChannelPeriod");
    step(
        "ANT_SetChannelRFFreq", [&] { return a.SetChannelRFFreq(AntChannel, AntChanFrequency); },
        "Error with ANT_SetChannelRFFreq");
    step(
        "ANT_SetTransmitPower", [&] { return a.SetTransmitPower(AntTransPower); }, "Error with ANT_SetTransmitPower");
    step(
        "ANT_OpenChannel", [&] { return a.OpenChannel(AntChannel); }, "Error with ANT_OpenChannel");
    if (ok) {
        Status("Create thread");
        if (!FThread) FThread = std::make_unique<TVT3WIThread>(*this);
        FTotalNope = FTotalWheel = FLostNope = FLostWheel = 0;
        FLastNope = FLastWheel = 0;
        FIdentitySent = false;
        Status("Set ANT_AssignResponseFunction");
        {
            std::lock_guard<std::mutex> lock(gRadioLock);
            gRadio = this;
            SetAntReceiverHeld(TAntUser::WirelessInterface, true);
        }
        a.AssignResponseFunction(&TRWInterface::ResponseCallback, FResponseBuffer);
        FResponseEnabled = true;
        Delay(AntDelay);
        Status("Set ANT_AssignChannelEventFunction");
        a.AssignChannelEventFunction(AntChannel, &TRWInterface::ChannelCallback, FRxBuffer);
        FThread->Resume();
        FChannelEnabled = true;
        SetConnected(true);
        Delay(AntDelay);
    }
    SetBusy(false);
    if (FConnected) {
        Status("Done connecting to ANT device.");
        SetState(vtsOpened);
    } else {
        Status("Error connecting to ANT device.");
        a.Close();
        StopTimer();
        SetState(vtsClosed);
        return;
    }
    if (TestMode) {
        while (!FTestTimerFired && !ValidSeen && State() >= vtsOpening) {
            Delay(10);
            TakeRadioFlags();
        }
        StopTimer();
    }
}

void TRWInterface::ComPortClose()
{
    if (!FLib || !FConnected) return;
    Status(kRule);
    Status("Disconnecting from ANT device ...");
    SetBusy(true);
    TAntApi& a = *FApi;
    Status("Remove ANT_AssignResponseFunction");
    FResponseEnabled = false;
    a.Nap(AntDelay);
    a.AssignResponseFunction(nullptr, nullptr);
    Delay(AntDelay);
    Status("Remove ANT_AssignChannelEventFunction");
    FChannelEnabled = false;
    a.Nap(AntDelay);
    a.AssignChannelEventFunction(AntChannel, nullptr, nullptr);
    Delay(AntDelay);
    Status("ANT_UnAssignChannel");
    a.UnAssignChannel(AntChannel);
    Delay(AntDelay);
    Status("ANT_UnassignAllResponseFunctions");
    a.UnassignAllResponseFunctions();
    Delay(AntDelay);
    Status("Remove thread");
    {
        std::lock_guard<std::mutex> lock(gRadioLock);
        if (gRadio == this) {
            gRadio = nullptr;
            SetAntReceiverHeld(TAntUser::WirelessInterface, false);
        }
    }
    if (FThread) {
        // The thread may be handing over the very entry whose handler closes
        // the interface: stop it now, free it once that hand-over is over.
        FThread->Terminate();
        if (FDeliverDepth == 0) {
            FThread.reset();
        } else {
            TVT3WIThread* thread = FThread.release();
            DestroyFromEventLoop([thread] { delete thread; });
        }
    }
    Delay(AntDelay);
    Status("ANT_ResetSystem");
    a.ResetSystem();
    Delay(AntDelay);
    Status("ANT_Close");
    a.Close();
    SetConnected(false);
    SetBusy(false);
    Status("Done disconnecing from ANT device.");
}

void TRWInterface::TakeRadioFlags()
{
    if (FRadioValid.exchange(false)) {
        ValidSeen = true;
        Protocol = vtpVT3WI;
    }
    if (Description.empty()) {
        std::lock_guard<std::mutex> lock(FIdentityLock);
        if (!FIdentity.empty()) Description = FIdentity;
    }
}

void TRWInterface::DeliverStatus(const std::string& text)
{
    TDeliverScope scope(FDeliverDepth);
    TInUse::TScope busy(InUse);
    Status(text);
}

void TRWInterface::DeliverPacket(const std::string& text)
{
    TDeliverScope scope(FDeliverDepth);
    TInUse::TScope busy(InUse);
    TakeRadioFlags();
    ValidSeen = true;
    Protocol = vtpVT3WI;
    if (OnRawPacket) OnRawPacket(this, text);
}

void TRWInterface::DeliverWheel(uint16_t word)
{
    if (FInWheel) return;
    FInWheel = true;
    TDeliverScope scope(FDeliverDepth);
    TInUse::TScope busy(InUse);
    if (OnWheelData) OnWheelData(this, word);
    TakeRadioFlags();
    In.Computer.DoCalculate = DoCalculate;
    Guarded([&] { In.ProcessWheelWord(word); });
    SyncResults();
    FInWheel = false;
}

void TRWInterface::DeliverCounters()
{
    TDeliverScope scope(FDeliverDepth);
    TInUse::TScope busy(InUse);
    TakeRadioFlags();
    Fire(OnUpdateCounters);
}

bool TRWInterface::RadioConnected()
{
    std::lock_guard<std::mutex> lock(gRadioLock);
    return gRadio != nullptr;
}

int TRWInterface::ResponseCallback(unsigned char channel, unsigned char messageId)
{
    std::lock_guard<std::mutex> lock(gRadioLock);
    if (gRadio) gRadio->OnResponse(channel, messageId);
    return 1;
}

int TRWInterface::ChannelCallback(unsigned char channel, unsigned char event)
{
    std::lock_guard<std::mutex> lock(gRadioLock);
    if (gRadio) gRadio->OnChannelEvent(channel, event);
    return 1;
}

void TRWInterface::OnResponse(unsigned char channel, unsigned char messageId)
{
    if (!FResponseEnabled || !FThread) return;
    FRadioValid = true;
    FThread->PushStatus(Format("RESPONSE_FUNC %02X %02X :", channel, messageId) + HexBytes(FResponseBuffer, 10));
    if (messageId != 0x40 || FResponseBuffer[2] != 0) return;
    // A command was answered: continue the channel set-up.
    TAntApi& a = *FApi;
    switch (FResponseBuffer[1]) {
    case 0x46:
        a.AssignChannel(channel, 0, 0);
        FThread->PushStatus("MESG_NETWORK_KEY_ID");
        break;
    case 0x42:
        a.SetChannelId(channel, 0, 1, 1);
        FThread->PushStatus("MESG_ASSIGN_CHANNEL_ID");
        break;
    case 0x51:
        a.SetChannelPeriod(channel, 256);
        FThread->PushStatus("MESG_CHANNEL_ID_ID");
        break;
    case 0x43:
        a.SetChannelRFFreq(channel, 66);
        FThread->PushStatus("MESG_CHANNEL_MESG_PERIOD_ID");
        break;
    case 0x45:
        a.OpenChannel(channel);
        FThread->PushStatus("MESG_CHANNEL_RADIO_FREQ_ID");
        break;
    default: break;
    }
}

void TRWInterface::OnChannelEvent(unsigned char channel, unsigned char event)
{
    if (!FChannelEnabled || !FThread) return;
    FRadioValid = true;
    const std::string text = Format("CHANNEL_EVENT_FUNC %02X %02X :", channel, event) + HexBytes(FRxBuffer, 9);
    const unsigned char* p = FRxBuffer + 1;
    const bool wheel = p[0] > 15;
    if (wheel) {
        for (int w = 0; w < 3; ++w) FThread->PushWheel(uint16_t(p[2 + 2 * w] | (p[3 + 2 * w] << 8)));
        // Sequence 16..255: a gap is a lost packet (the first packet has no predecessor).
        if (FTotalWheel++ > 0) {
            if (!WheelSequenceFollows(FLastWheel, p[0])) {
                const uint32_t before = FLostWheel++;
                FThread->PushStatus(Format("LostWheelPackets = %u", before));
            }
        }
        FLastWheel = p[0];
    } else {
        if (!FIdentitySent) {
            FIdentitySent = true;
            const uint32_t id = uint32_t(p[4]) << 24 | uint32_t(p[5]) << 16 | uint32_t(p[6]) << 8 | p[7];
            std::lock_guard<std::mutex> lock(FIdentityLock);
            FIdentity = Format("%08X", id);
        }
        if (FTotalNope++ > 0) {
            if (!IdleSequenceFollows(FLastNope, p[2])) {
                const uint32_t before = FLostNope++;
                FThread->PushStatus(Format("LostNopePackets = %u", before));
            }
        }
        FLastNope = p[2];
    }
    FThread->SetCountersChanged();
    if (wheel || AllMessages) FThread->PushPacket(text);
}
