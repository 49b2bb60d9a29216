#pragma once
// TRWInterface (type 6): the VT3 machine's flywheel data by ANT radio through
// a USB ANT receiver, driven through the vendor's ANT library loaded at run
// time (AntLibrary, "libant.so" by default). The library calls back on its own
// thread; the callbacks fill three queues (status texts, packet texts, wheel
// words), each under its own lock, and the worker thread TVT3WIThread hands
// their entries to the user-interface thread every 5 ms, where the wheel
// words run through the same pulse handling and stroke computation as the
// VT interface.
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "interfaces/handover.h"
#include "interfaces/vt_interface.h"

class TRWInterface;

// Sequence rules of the transmitter's packets: wheel packets count 16..255 and
// wrap to 16, idle packets count 0..255.
inline bool WheelSequenceFollows(uint8_t last, uint8_t now) { return now == (last == 255 ? 16 : last + 1); }
inline bool IdleSequenceFollows(uint8_t last, uint8_t now) { return now == uint8_t(last + 1); }

class TVT3WIThread {
public:
    explicit TVT3WIThread(TRWInterface& owner);
    ~TVT3WIThread();  // terminates the loop and waits for it
    void Resume();    // starts the loop (created suspended)
    void Terminate();

    // Called on the radio library's thread.
    void PushStatus(const std::string& text);
    void PushPacket(const std::string& text);
    void PushWheel(uint16_t word);
    void SetCountersChanged() { FCountersChanged = true; }
    // Entries dropped because the user-interface thread fell too far behind.
    uint64_t Overflows() const { return FOverflows; }

    // Bound of each queue.
    static constexpr size_t kMaxQueue = 20000;

private:
    void Run();
    TRWInterface& FOwner;
    TUiHandover FHandover;
    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FCountersChanged{false};
    std::atomic<uint64_t> FOverflows{0};
    std::mutex FStatusLock, FPacketLock, FWheelLock;
    std::deque<std::string> FStatus, FPackets;
    std::deque<uint16_t> FWheels;
};

class TRWInterface : public TVTInterface {
public:
    using TOnStatusMessageEvent = std::function<void(TInterface* Sender, const std::string& AMessage)>;
    using TOnRawPacketEvent = std::function<void(TInterface* Sender, const std::string& APacket)>;
    using TOnWheelDataEvent = std::function<void(TInterface* Sender, uint16_t AWheel)>;

    TRWInterface();
    ~TRWInterface() override;

    // The ANT library (a path or a name the dynamic loader finds).
    std::string AntLibrary = "libant.so";
    uint16_t AntBaudrate = 57600;
    uint8_t AntChannel = 0;
    uint8_t AntChanType = 0;
    uint8_t AntChanFrequency = 66;
    uint16_t AntDevice = 0;
    uint8_t AntDevType = 1;
    uint8_t AntNetNumber = 0;
    uint8_t AntTransType = 1;
    uint8_t AntTransPower = 3;
    uint16_t AntMessPeriod = 256;
    uint16_t AntDelay = 10;
    bool AllMessages = false;

    bool AntBusyFlag() const { return FBusy; }
    bool AntLoadedFlag() const { return FLib != nullptr; }
    bool AntConnectedFlag() const { return FConnected; }
    uint32_t TotalNopePackets() const { return FTotalNope; }
    uint32_t TotalWheelpackets() const { return FTotalWheel; }
    uint32_t LostNopePackets() const { return FLostNope; }
    uint32_t LostWheelPackets() const { return FLostWheel; }
    uint8_t LastNopeSequence() const { return FLastNope; }
    uint8_t LastWheelSequence() const { return FLastWheel; }

    TOnStatusMessageEvent OnStatusMessage;
    TNotifyEvent OnStatusUpdate;
    TOnRawPacketEvent OnRawPacket;
    TOnWheelDataEvent OnWheelData;
    TNotifyEvent OnUpdateCounters;

    // Loads the library (done by the first connect); true when loaded.
    bool LoadAntLib();
    void UnloadAntLib();

    bool IsActive() override { return FConnected; }
    void ComPortOpen() override;
    void ComPortClose() override;
    void GetPortList() override;

    // Entries handed over by the worker thread (user-interface thread).
    void DeliverStatus(const std::string& text);
    void DeliverPacket(const std::string& text);
    void DeliverWheel(uint16_t word);
    void DeliverCounters();

    // True while a wireless interface of this program holds the ANT receiver.
    static bool RadioConnected();

    // The library's two callbacks (its own thread).
    static int ResponseCallback(unsigned char channel, unsigned char messageId);
    static int ChannelCallback(unsigned char channel, unsigned char event);

private:
    struct TAntApi;
    void Status(const std::string& text);
    void SetBusy(bool busy);
    void SetConnected(bool connected);
    void TakeRadioFlags();
    void OnResponse(unsigned char channel, unsigned char messageId);
    void OnChannelEvent(unsigned char channel, unsigned char event);
    void RemoveCallbacks();

    void* FLib = nullptr;
    std::unique_ptr<TAntApi> FApi;
    std::unique_ptr<TVT3WIThread> FThread;
    bool FBusy = false;
    std::atomic<bool> FConnected{false};
    std::atomic<bool> FResponseEnabled{false}, FChannelEnabled{false};
    std::atomic<bool> FRadioValid{false};
    bool FInWheel = false;
    int FDeliverDepth = 0;
    // Callback state (radio thread); the counters are read by the user-interface thread.
    std::atomic<uint32_t> FTotalNope{0}, FTotalWheel{0}, FLostNope{0}, FLostWheel{0};
    std::atomic<uint8_t> FLastNope{0}, FLastWheel{0};
    bool FIdentitySent = false;
    std::mutex FIdentityLock;
    std::string FIdentity;  // the transmitter's identity, taken over by the user-interface thread
    unsigned char FResponseBuffer[64] = {};
    unsigned char FRxBuffer[64] = {};
};
