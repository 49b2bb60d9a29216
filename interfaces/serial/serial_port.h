#pragma once
// Serial port access: one port object per wired interface. The port is a
// POSIX terminal device opened exclusively; a worker thread reads the input
// queue into clusters and watches the modem lines, and hands every event and
// error to the thread that created the port object (the user-interface
// thread) synchronously: it waits until the handler has run there. Events are
// delivered while that thread processes its events (its event loop or a
// nested Delay). The events one pass of the worker finds (a read's character
// and cluster events, line events, errors) go over in one hand-over, in the
// order they were found.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/handover.h"

// One read from the input queue.
struct TSerialCluster {
    std::string Data;
    uint32_t ErrorFlags = 0;  // line error flags (ceFrame, ceOverrun, ceParity, ceBreak) when it was read
};

enum TSerialLineError : uint32_t { ceFrame = 1, ceOverrun = 2, ceParity = 4, ceBreak = 8 };

// Bits of the flow-control word (the DCB flag layout the settings use).
enum TSerialFlowFlags : uint32_t {
    fcOutxCtsFlow = 0x0004,
    fcOutX = 0x0100,
    fcInX = 0x0200,
    fcRtsControlEnable = 0x1000,
    fcRtsControlHandshake = 0x2000,
};

class TSerialPortNG {
public:
    using TNotifyEvent = std::function<void(TSerialPortNG* Sender)>;
    using TNotifyErrorEvent = std::function<void(TSerialPortNG* Sender, unsigned Place, unsigned Code,
                                                 const std::string& Msg, uint8_t Noise)>;

    TSerialPortNG();
    ~TSerialPortNG();
    TSerialPortNG(const TSerialPortNG&) = delete;
    TSerialPortNG& operator=(const TSerialPortNG&) = delete;

    // Settings. Those of the line are applied at once while the port is open.
    const std::string& CommPort() const { return FCommPort; }
    void SetCommPort(const std::string& name);  // reopens an open port
    uint32_t BaudRate() const { return FBaudRate; }
    void SetBaudRate(uint32_t value);
    uint8_t DataBits() const { return FDataBits; }
    void SetDataBits(uint8_t value);
    uint8_t ParityType() const { return FParityType; }  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    void SetParityType(uint8_t value);
    uint8_t StopBits() const { return FStopBits; }  // 0 one, 1 one and a half, 2 two
    void SetStopBits(uint8_t value);
    uint32_t FlowControl() const { return FFlowControl; }
    void SetFlowControl(uint32_t value);
    char ParityErrorChar = 0;
    bool ParityErrorReplacement = false;
    bool StripNullChars = false;
    char EventChar = 0;
    char XONChar = 17;
    char XOFFChar = 19;
    uint8_t XONLimDiv() const { return FXONLimDiv; }
    void SetXONLimDiv(uint8_t percent);  // above 100 -> 100 with a warning
    uint8_t XOFFLimDiv() const { return FXOFFLimDiv; }
    void SetXOFFLimDiv(uint8_t percent);
    uint16_t RxQueueSize = 4096;
    uint16_t TxQueueSize = 4096;
    uint16_t ClusterSize() const { return FClusterSize; }
    void SetClusterSize(uint16_t value);
    uint32_t RTOCharDelayTime() const { return FRTOCharDelayTime; }
    void SetRTOCharDelayTime(uint32_t us);
    uint32_t WTOCharDelayTime() const { return FWTOCharDelayTime; }
    void SetWTOCharDelayTime(uint32_t us);
    uint16_t RTOExtraDelayTime() const { return FRTOExtraDelayTime; }
    void SetRTOExtraDelayTime(uint16_t ms);
    uint16_t WTOExtraDelayTime = 250;
    bool XTOAuto() const { return FXTOAuto; }
    void SetXTOAuto(bool value);
    uint8_t ErrorNoise = 255;
    bool ReadRequest() const { return FReadRequest; }
    void SetReadRequest(bool value);
    bool ThreadQuietMode() const { return FQuiet; }
    void SetThreadQuietMode(bool value);
    bool AutoReadRequest = false;

    // Modem-control lines written to the open line.
    bool RTSState() const { return FRTS; }
    void SetRTSState(bool value);
    bool DTRState() const { return FDTR; }
    void SetDTRState(bool value);
    bool BREAKState() const { return FBREAK; }
    void SetBREAKState(bool value);

    // Open state.
    bool Active() const { return FActive; }
    void SetActive(bool value);
    int ComHandle() const { return FFd; }
    bool CTSState() const { return FModem.load() & kCTS; }
    bool DSRState() const { return FModem.load() & kDSR; }
    bool RLSDState() const { return FModem.load() & kRLSD; }
    bool RingState() const { return FModem.load() & kRing; }
    uint32_t CommError() const { return FCommError; }
    uint32_t CommStateInQueue() const { return FInQueue; }
    uint32_t ModemState() const { return FModem; }
    uint32_t WrittenBytes() const { return FWrittenBytes; }
    bool SendInProgress() const { return FSendInProgress; }

    void PurgeRxQueue();
    void PurgeTxQueue();

    // Asynchronous write with a time-out of length * WTOCharDelayTime / 1000 +
    // WTOExtraDelayTime ms. False when refused or failed (reported).
    bool SendData(const void* buffer, size_t length);
    bool SendString(const std::string& data);

    // Takes the oldest cluster's bytes ("" when none). While PeekFlag is set
    // the cluster stays queued.
    std::string ReadNextClusterAsString();
    bool PeekFlag = false;
    size_t ClusterCount() const;
    // At most this many clusters wait; beyond it the oldest are dropped (counted).
    static constexpr size_t kMaxClusters = 16384;
    uint64_t Overflows() const { return FOverflows; }
    // Hand-overs to the creating thread made by the worker so far (each
    // carries the events of one pass).
    uint64_t Handovers() const { return FHandovers; }

    // Events, all run on the creating thread.
    TNotifyEvent OnRxClusterEvent, OnRxCharEvent, OnRxEventCharEvent, OnTxQueueEmptyEvent, OnWriteDone, OnBreakEvent,
        OnCTSEvent, OnDSREvent, OnLineErrorEvent, OnRingEvent, OnRIEvent, OnRLSDEvent, OnCommEvent, OnCommStat;
    TNotifyErrorEvent OnProcessError;

    // Per-character time in us for a baud rate (XTOAuto table).
    static uint32_t CharTimeFor(uint32_t baud);
    // The text of a place number of the error table.
    static std::string PlaceText(unsigned place);

private:
    static constexpr uint32_t kCTS = 1, kDSR = 2, kRing = 4, kRLSD = 8;

    // The worker thread: a pass every 75 ms at most while the port is open
    // and has modem lines or error counters to watch; a terminal without them
    // (a pseudo-terminal) sleeps until input, a write or a wake-up comes.
    struct TWorkerState;
    // NothingRead: the queue was counted but the read gave nothing; ReadAll:
    // a read took every byte counted (the next pass can wait for more).
    enum class TReadResult { Waiting, Read, ReadAll, Broken, NothingRead };
    void Worker();
    void WorkerPass(TWorkerState& state);
    bool StartOpen(TWorkerState& state, int fd, uint64_t openCount);
    void WaitToBeClosed();
    bool PollModemLines(TWorkerState& state, int fd, bool& anyEvent);
    uint32_t PollLineErrors(TWorkerState& state, int fd);
    bool ContinueWrite(TWorkerState& state, int fd);
    TReadResult ReadInput(TWorkerState& state, int fd, int64_t now, uint32_t lineErrors, bool& anyEvent, int& queued);
    void WaitForInput(TWorkerState& state, int fd, int queued, bool writePending);
    void DrainWakePipe();
    // Hands the events collected by the worker over in one call.
    void FlushEvents();
    void Deliver(const TNotifyEvent& event);
    void DeliverCall(const std::function<void()>& call);
    void ReportError(unsigned place, unsigned code, const std::string& msg, uint8_t noise);
    bool OpenDevice();
    void CloseDevice();
    bool ApplyLineSettings();
    void SetModemLine(int bit, bool on, unsigned placeOn, unsigned placeOff);
    void Wake();
    std::string DevicePath() const;

    std::string FCommPort = "COM1";
    uint32_t FBaudRate = 9600;
    uint8_t FDataBits = 8;
    uint8_t FParityType = 0;
    uint8_t FStopBits = 0;
    uint32_t FFlowControl = 0;
    uint8_t FXONLimDiv = 33, FXOFFLimDiv = 33;
    uint16_t FClusterSize = 3072;
    std::atomic<uint32_t> FRTOCharDelayTime{1100};
    uint32_t FWTOCharDelayTime = 1100;
    std::atomic<uint16_t> FRTOExtraDelayTime{250};
    bool FXTOAuto = true;
    std::atomic<bool> FReadRequest{false};
    std::atomic<bool> FQuiet{false};
    bool FRTS = false, FDTR = false, FBREAK = false;

    std::atomic<bool> FActive{false};
    std::atomic<int> FFd{-1};
    std::atomic<uint32_t> FModem{0};
    std::atomic<uint32_t> FCommError{0};
    std::atomic<uint32_t> FInQueue{0};
    std::atomic<uint32_t> FWrittenBytes{0};
    std::atomic<bool> FSendInProgress{false};
    std::atomic<uint16_t> FClusterSizeShared{3072};
    std::atomic<uint64_t> FOverflows{0};

    // Worker thread and its hand-over to the creating thread (every open and
    // close cancels the hand-overs still waiting).
    TUiHandover FHandover;
    std::thread FThread;
    std::atomic<bool> FTerminate{false};
    std::atomic<bool> FDestroying{false};
    std::atomic<bool> FWorkerIdle{true};
    std::atomic<uint64_t> FOpenCount{0};  // bumped by every open: the worker starts its state afresh
    int FWakePipe[2] = {-1, -1};
    std::vector<std::function<void()>> FBatch;  // the worker's events not yet handed over (worker only)
    std::atomic<uint64_t> FHandovers{0};
    std::mutex FWaitLock;  // the worker sleeping while the port is closed
    std::condition_variable FWaitCond;

    // Guarded by FLock: the clusters and a pending write.
    mutable std::mutex FLock;
    std::deque<TSerialCluster> FClusters;
    std::string FPendingWrite;
    int64_t FWriteDeadline = 0;
};

// The names of the serial ports present, each once, sorted.
std::vector<std::string> CommPortList();
