#include "interfaces/serial/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <set>

#include "util/text.h"
#include "util/trace.h"

namespace {

// How long a worker with nothing to watch but the input waits before it looks
// again anyway (input, writes, closing and settings wake it at once).
constexpr int kIdleWaitMs = 2000;

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// ioctl failures that only mean "this kind of terminal has no such line"
// (pseudo-terminals have no modem lines and no error counters).
bool NotSupported(int error) { return error == ENOTTY || error == EINVAL || error == ENOTSUP || error == 515; }

std::string HexBytes(const void* data, size_t length)
{
    std::string out;
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < length; ++i) out += Format("%02X ", p[i]);
    return out;
}

speed_t SpeedConstant(uint32_t baud, bool& ok)
{
    ok = true;
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: ok = false; return B9600;
    }
}

// Handler bits snapshotted when the port opens, so the worker thread never
// reads a handler object that the user-interface thread may be assigning.
enum : uint32_t {
    hRxChar = 1 << 0,
    hRxEventChar = 1 << 1,
    hTxEmpty = 1 << 2,
    hCTS = 1 << 3,
    hDSR = 1 << 4,
    hRLSD = 1 << 5,
    hRing = 1 << 6,
    hRI = 1 << 7,
    hBreak = 1 << 8,
    hLineError = 1 << 9,
    hCommEvent = 1 << 10,
    hCommStat = 1 << 11,
};

}  // namespace

uint32_t TSerialPortNG::CharTimeFor(uint32_t baud)
{
    static const uint32_t table[][2] = {{110, 100000}, {300, 37000}, {600, 18000}, {1200, 9000}, {2400, 4500},
                                        {4800, 2300},  {9600, 1100}, {14400, 760}, {19200, 570}, {38400, 290},
                                        {56000, 200},  {57600, 190}, {115200, 95}, {128000, 85}, {256000, 43}};
    uint32_t us = 1100;
    for (const auto& row : table)
        if (row[0] <= baud) us = row[1];
    return us;
}

std::string TSerialPortNG::PlaceText(unsigned place)
{
    switch (place) {
    case 100: return "Start deactivating Port";
    case 101: return "Error disabling CommEvents";
    case 102: return "Error clearing Queues";
    case 103: return "Error closing Port";
    case 104: return "Warning ThreadIsRunning";
    case 110: return "Start reactivating Port";
    case 111: return "Error setup Queuesize";
    case 112: return "Error reopening Port";
    case 201: return "Error activating CommEventMask";
    case 301: return "Error clearing RxD Queue";
    case 401: return "Error clearing TxD Queue";
    case 501: return "Error setting RTS";
    case 502: return "Error clearing RTS";
    case 601: return "Error setting DTR";
    case 602: return "Error clearing DTR";
    case 701: return "Error setting BREAK State";
    case 702: return "Error clearing BREAK State";
    case 801: return "Error getting DCB from CommState";
    case 802: return "Error setting CommState, 87 indicate that Parms are incorrect";
    case 901: return "Don't enter SendData while SendInProgress is set";
    case 902: return "Error setting CommTimeout";
    case 903: return "Error writing Data";
    case 1001: return "Error Creating Overlapped Event";
    case 1002: return "Error Overlapped Event Exists";
    case 1101: return "Error resetting Overlapped Event";
    case 9701: return "Error write TimeOut";
    case 9702: return "Error getting Overlapped Result";
    case 9803: return "Error ClearCommError";
    case 9804: return "Error reading Data";
    case 9905: return "Error getting ModemStatus";
    case 9907: return "Error calling WaitCommEvent";
    case 9908:
    case 9911:
    case 9912:
    case 9913: return "Error getting Overlappedresult";
    default: return "";
    }
}

TSerialPortNG::TSerialPortNG()
{
    if (pipe2(FWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) FWakePipe[0] = FWakePipe[1] = -1;
    FThread = std::thread([this] { Worker(); });
}

TSerialPortNG::~TSerialPortNG()
{
    FDestroying = true;
    // Nothing is delivered from here on, and a worker waiting on a hand-over is
    // released so the join below cannot wait for this thread.
    FHandover.Stop();
    SetActive(false);
    FTerminate = true;
    {
        std::lock_guard<std::mutex> lock(FWaitLock);
    }
    FWaitCond.notify_all();
    Wake();
    if (FThread.joinable()) FThread.join();
    if (FWakePipe[0] >= 0) close(FWakePipe[0]);
    if (FWakePipe[1] >= 0) close(FWakePipe[1]);
}

// ---- settings -------------------------------------------------------------

void TSerialPortNG::SetCommPort(const std::string& name)
{
    if (name == FCommPort) return;
    FCommPort = name;
    if (FActive) {
        ReportError(110, 0, PlaceText(110), 2);
        SetActive(false);
        SetActive(true);
    }
}

void TSerialPortNG::SetBaudRate(uint32_t value)
{
    FBaudRate = value;
    if (FXTOAuto) {
        FRTOCharDelayTime = CharTimeFor(value);
        FWTOCharDelayTime = CharTimeFor(value);
    }
    if (FActive) ApplyLineSettings();
}

void TSerialPortNG::SetDataBits(uint8_t value)
{
    FDataBits = value;
    if (FActive) ApplyLineSettings();
}

void TSerialPortNG::SetParityType(uint8_t value)
{
    FParityType = value;
    if (FActive) ApplyLineSettings();
}

void TSerialPortNG::SetStopBits(uint8_t value)
{
    FStopBits = value;
    if (FActive) ApplyLineSettings();
}

void TSerialPortNG::SetFlowControl(uint32_t value)
{
    FFlowControl = value;
    if (FActive) ApplyLineSettings();
}

void TSerialPortNG::SetXONLimDiv(uint8_t percent)
{
    if (percent > 100) {
        percent = 100;
        ReportError(100, 0, "Warning XOnLimDef set to 100", 1);
    }
    FXONLimDiv = percent;
}

void TSerialPortNG::SetXOFFLimDiv(uint8_t percent)
{
    if (percent > 100) {
        percent = 100;
        ReportError(100, 0, "Warning XOffLimDef set to 100", 1);
    }
    FXOFFLimDiv = percent;
}

void TSerialPortNG::SetClusterSize(uint16_t value)
{
    FClusterSize = value ? value : 1;
    FClusterSizeShared = FClusterSize;
}

void TSerialPortNG::SetRTOCharDelayTime(uint32_t us) { FRTOCharDelayTime = us; }
void TSerialPortNG::SetWTOCharDelayTime(uint32_t us) { FWTOCharDelayTime = us; }
void TSerialPortNG::SetRTOExtraDelayTime(uint16_t ms) { FRTOExtraDelayTime = ms; }

void TSerialPortNG::SetXTOAuto(bool value)
{
    FXTOAuto = value;
    if (value) SetBaudRate(FBaudRate);
}

void TSerialPortNG::SetReadRequest(bool value)
{
    FReadRequest = value;
    Wake();
}

void TSerialPortNG::SetThreadQuietMode(bool value) { FQuiet = value; }

// ---- modem lines ----------------------------------------------------------

void TSerialPortNG::SetModemLine(int bit, bool on, unsigned placeOn, unsigned placeOff)
{
    if (!FActive) return;
    int bits = bit;
    if (ioctl(FFd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !NotSupported(errno)) {
        const unsigned place = on ? placeOn : placeOff;
        ReportError(place, unsigned(errno), PlaceText(place), 0);
    }
}

void TSerialPortNG::SetRTSState(bool value)
{
    FRTS = value;
    SetModemLine(TIOCM_RTS, value, 501, 502);
}

void TSerialPortNG::SetDTRState(bool value)
{
    FDTR = value;
    SetModemLine(TIOCM_DTR, value, 601, 602);
}

void TSerialPortNG::SetBREAKState(bool value)
{
    FBREAK = value;
    if (!FActive) return;
    if (ioctl(FFd, value ? TIOCSBRK : TIOCCBRK) != 0 && !NotSupported(errno)) {
        const unsigned place = value ? 701 : 702;
        ReportError(place, unsigned(errno), PlaceText(place), 0);
    }
}

// ---- open and close -------------------------------------------------------

std::string TSerialPortNG::DevicePath() const
{
    if (FCommPort.find('/') != std::string::npos) return FCommPort;
    return "/dev/" + FCommPort;
}

bool TSerialPortNG::OpenDevice()
{
    const std::string path = DevicePath();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        ReportError(112, unsigned(errno), PlaceText(112), 0);
        return false;
    }
    // Exclusive: no other open of the terminal (TIOCEXCL) and no other
    // program holding the advisory lock that serial programs share.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        ReportError(112, unsigned(error), PlaceText(112), 0);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    FFd = fd;
    if (!ApplyLineSettings()) {
        CloseDevice();
        return false;
    }
    return true;
}

void TSerialPortNG::CloseDevice()
{
    const int fd = FFd.exchange(-1);
    if (fd < 0) return;
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    if (::close(fd) != 0) ReportError(103, unsigned(errno), PlaceText(103), 0);
}

bool TSerialPortNG::ApplyLineSettings()
{
    const int fd = FFd;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        ReportError(801, unsigned(errno), PlaceText(801), 0);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CSIZE;
    switch (FDataBits) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    tio.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
    if (FParityType != 0) {
        tio.c_cflag |= PARENB;
        if (FParityType == 1 || FParityType == 3) tio.c_cflag |= PARODD;
        if (FParityType >= 3) tio.c_cflag |= CMSPAR;
        tio.c_iflag |= INPCK;
        if (!ParityErrorReplacement) tio.c_iflag |= IGNPAR;
    }
    if (FStopBits != 0) tio.c_cflag |= CSTOPB;
    else tio.c_cflag &= ~CSTOPB;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF);
    if (FFlowControl & (fcOutxCtsFlow | fcRtsControlHandshake)) tio.c_cflag |= CRTSCTS;
    if (FFlowControl & fcOutX) tio.c_iflag |= IXON;
    if (FFlowControl & fcInX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = XONChar;
    tio.c_cc[VSTOP] = XOFFChar;
    // Reads return at once with what is queued.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    bool speedOk = false;
    const speed_t speed = SpeedConstant(FBaudRate, speedOk);
    if (!speedOk) {
        ReportError(802, EINVAL, PlaceText(802), 0);
        return false;
    }
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        ReportError(802, unsigned(errno), PlaceText(802), 0);
        return false;
    }
    return true;
}

void TSerialPortNG::SetActive(bool value)
{
    if (value) {
        if (FActive || FDestroying) return;
        if (!OpenDevice()) return;
        {
            std::lock_guard<std::mutex> lock(FLock);
            FClusters.clear();
            FPendingWrite.clear();
        }
        FSendInProgress = false;
        FCommError = 0;
        FInQueue = 0;
        ++FOpenCount;
        FHandover.Cancel();
        FActive = true;
        SetModemLine(TIOCM_RTS, FRTS, 501, 502);
        SetModemLine(TIOCM_DTR, FDTR, 601, 602);
        {
            std::lock_guard<std::mutex> lock(FWaitLock);
        }
        FWaitCond.notify_all();
        Wake();
        return;
    }
    if (!FActive) return;
    ReportError(100, 0, PlaceText(100), 2);
    FActive = false;
    // Drop hand-overs still waiting: the closed port delivers nothing more.
    FHandover.Cancel();
    Wake();
    const int fd = FFd;
    if (tcflush(fd, TCIOFLUSH) != 0 && !NotSupported(errno)) ReportError(102, unsigned(errno), PlaceText(102), 0);
    for (int i = 0; i < 15 * 15 && !FWorkerIdle; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!FWorkerIdle) ReportError(104, 0, PlaceText(104), 1);
    {
        std::lock_guard<std::mutex> lock(FLock);
        FPendingWrite.clear();
    }
    FSendInProgress = false;
    // The worker only touches the device inside a pass; it is idle now (or, after
    // the warning, stuck outside the device calls), so the handle can go.
    CloseDevice();
}

void TSerialPortNG::PurgeRxQueue()
{
    if (FActive && tcflush(FFd, TCIFLUSH) != 0 && !NotSupported(errno))
        ReportError(301, unsigned(errno), PlaceText(301), 0);
}

void TSerialPortNG::PurgeTxQueue()
{
    if (!FActive) return;
    if (tcflush(FFd, TCOFLUSH) != 0 && !NotSupported(errno)) ReportError(401, unsigned(errno), PlaceText(401), 0);
    std::lock_guard<std::mutex> lock(FLock);
    FPendingWrite.clear();
    FSendInProgress = false;
}

// ---- data -----------------------------------------------------------------

bool TSerialPortNG::SendData(const void* buffer, size_t length)
{
    if (FSendInProgress) {
        ReportError(901, 0, PlaceText(901), 2);
        return false;
    }
    Trace("Send = " + HexBytes(buffer, length));
    if (!FActive) {
        ReportError(903, EBADF, PlaceText(903), 0);
        return false;
    }
    ssize_t n = length ? ::write(FFd, buffer, length) : 0;
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            ReportError(903, unsigned(errno), PlaceText(903), 0);
            return false;
        }
        n = 0;
    }
    if (size_t(n) == length) {
        FWrittenBytes = uint32_t(n);
        if (OnWriteDone) OnWriteDone(this);
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(FLock);
        FPendingWrite.assign(static_cast<const char*>(buffer) + n, length - size_t(n));
        FWriteDeadline = NowMs() + int64_t(length) * FWTOCharDelayTime / 1000 + WTOExtraDelayTime;
    }
    FWrittenBytes = uint32_t(n);
    FSendInProgress = true;
    Wake();
    return true;
}

bool TSerialPortNG::SendString(const std::string& data) { return SendData(data.data(), data.size()); }

std::string TSerialPortNG::ReadNextClusterAsString()
{
    std::lock_guard<std::mutex> lock(FLock);
    if (FClusters.empty()) return std::string();
    std::string data = FClusters.front().Data;
    if (!PeekFlag) FClusters.pop_front();
    return data;
}

size_t TSerialPortNG::ClusterCount() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FClusters.size();
}

// ---- hand-over to the creating thread --------------------------------------

void TSerialPortNG::Wake()
{
    if (FWakePipe[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] ssize_t r = ::write(FWakePipe[1], &b, 1);
    }
}

void TSerialPortNG::DeliverCall(const std::function<void()>& call)
{
    if (FQuiet || FDestroying) return;
    // On the creating thread (a setting reporting an error) the handler runs
    // at once; the worker collects its events until the end of its pass.
    if (FHandover.OnOwnerThread()) FHandover.Call(call);
    else FBatch.push_back(call);
}

void TSerialPortNG::FlushEvents()
{
    if (FBatch.empty()) return;
    // The call may still run after the worker was released (a handler closed
    // the port), so it owns the events.
    auto batch = std::make_shared<std::vector<std::function<void()>>>();
    batch->swap(FBatch);
    const uint64_t openCount = FOpenCount;
    ++FHandovers;
    FHandover.Call([this, batch, openCount] {
        for (const auto& call : *batch) {
            // A handler that closed or reopened the port ends the pass's
            // events: a closed port delivers nothing more.
            if (!FActive || FOpenCount != openCount || FDestroying) break;
            call();
        }
    });
}

void TSerialPortNG::Deliver(const TNotifyEvent& event)
{
    // The member is read on the creating thread, where it is assigned.
    const TNotifyEvent* member = &event;
    DeliverCall([this, member] {
        if (*member) (*member)(this);
    });
}

void TSerialPortNG::ReportError(unsigned place, unsigned code, const std::string& msg, uint8_t noise)
{
    if (FDestroying || noise > ErrorNoise) return;
    if (place >= 9000) Trace(Format("ComPort error %u : %s (%u)", place, msg.c_str(), code));
    DeliverCall([this, place, code, msg, noise] {
        if (OnProcessError && !FDestroying) OnProcessError(this, place, code, msg, noise);
    });
}

// ---- worker thread ----------------------------------------------------------

// What the worker keeps between its passes over one open of the port.
struct TSerialPortNG::TWorkerState {
    uint64_t OpenCount = 0;         // the open this state belongs to
    bool Broken = false;            // a fatal error was reported: silent until closed
    bool ModemSupported = true;     // pseudo-terminals have no modem lines
    bool CountersSupported = true;  // nor error counters
    int64_t LastEmpty = 0;          // when the input queue was last seen empty or last read
    int LastQueued = 0;
    uint32_t LastModem = 0;
    serial_icounter_struct LastCounts{};
    uint32_t Handlers = 0;  // the events that have handlers (h... bits)
};

void TSerialPortNG::Worker()
{
    pthread_setname_np(pthread_self(), "serial port");
    TWorkerState state;
    while (!FTerminate) {
        FWorkerIdle = false;
        if (!FActive) {
            FWorkerIdle = true;
            std::unique_lock<std::mutex> lock(FWaitLock);
            FWaitCond.wait_for(lock, std::chrono::milliseconds(200), [this] { return FActive || FTerminate; });
            continue;
        }
        WorkerPass(state);
        FlushEvents();
    }
    FBatch.clear();
    FWorkerIdle = true;
}

// One pass: modem lines, line errors, a pending write, the read decision,
// then the pass's events are handed over and the worker waits for more input.
void TSerialPortNG::WorkerPass(TWorkerState& state)
{
    const int fd = FFd;
    if (fd < 0) return;
    const uint64_t openCount = FOpenCount;
    if (openCount != state.OpenCount && !StartOpen(state, fd, openCount)) return;
    if (state.Broken) {
        WaitToBeClosed();
        return;
    }
    const int64_t now = NowMs();
    bool anyEvent = false;
    if (!PollModemLines(state, fd, anyEvent)) return;
    const uint32_t lineErrors = PollLineErrors(state, fd);
    anyEvent |= lineErrors != 0;
    const bool writePending = ContinueWrite(state, fd);
    int queued = 0;
    const TReadResult read = ReadInput(state, fd, now, lineErrors, anyEvent, queued);
    if (read == TReadResult::Read) return;  // more is queued: look again at once
    if (read == TReadResult::Broken) return;
    if (read == TReadResult::ReadAll) {
        // The queue was empty after the read: counting it again would only
        // say so.
        WaitForInput(state, fd, 0, writePending);
        return;
    }
    if (anyEvent && (state.Handlers & hCommEvent)) Deliver(OnCommEvent);
    if (!FActive) return;
    if (read == TReadResult::NothingRead && !writePending) {
        // The count and the read disagree: wait a little instead of spinning.
        FlushEvents();
        pollfd wake{FWakePipe[0], POLLIN, 0};
        poll(&wake, 1, 5);
        DrainWakePipe();
        return;
    }
    WaitForInput(state, fd, queued, writePending);
}

// A new open: the state starts afresh and the handlers assigned now are noted
// (read on the creating thread, where they are assigned). False when the port
// closed meanwhile.
bool TSerialPortNG::StartOpen(TWorkerState& state, int fd, uint64_t openCount)
{
    state = TWorkerState{};
    state.OpenCount = openCount;
    state.LastEmpty = NowMs();
    if (ioctl(fd, TIOCGICOUNT, &state.LastCounts) != 0) state.CountersSupported = false;
    DeliverCall([this, &h = state.Handlers] {
        uint32_t v = 0;
        if (OnRxCharEvent) v |= hRxChar;
        if (OnRxEventCharEvent) v |= hRxEventChar;
        if (OnTxQueueEmptyEvent) v |= hTxEmpty;
        if (OnCTSEvent) v |= hCTS;
        if (OnDSREvent) v |= hDSR;
        if (OnRLSDEvent) v |= hRLSD;
        if (OnRingEvent) v |= hRing;
        if (OnRIEvent) v |= hRI;
        if (OnBreakEvent) v |= hBreak;
        if (OnLineErrorEvent) v |= hLineError;
        if (OnCommEvent) v |= hCommEvent;
        if (OnCommStat) v |= hCommStat;
        h = v;
    });
    FlushEvents();
    return FActive && openCount == FOpenCount;
}

// After a fatal error the port waits, silent, until it is closed.
void TSerialPortNG::WaitToBeClosed()
{
    FlushEvents();
    pollfd wake = {FWakePipe[0], POLLIN, 0};
    poll(&wake, 1, 75);
    DrainWakePipe();
}

void TSerialPortNG::DrainWakePipe()
{
    char drain[64];
    while (::read(FWakePipe[0], drain, sizeof drain) > 0) {
    }
}

// Modem lines: each change fires its event. False after a fatal error.
bool TSerialPortNG::PollModemLines(TWorkerState& state, int fd, bool& anyEvent)
{
    if (!state.ModemSupported) return true;
    int bits = 0;
    if (ioctl(fd, TIOCMGET, &bits) != 0) {
        if (NotSupported(errno)) {
            state.ModemSupported = false;
            return true;
        }
        ReportError(9905, unsigned(errno), PlaceText(9905), 0);
        state.Broken = true;
        return false;
    }
    uint32_t modem = 0;
    if (bits & TIOCM_CTS) modem |= kCTS;
    if (bits & TIOCM_DSR) modem |= kDSR;
    if (bits & TIOCM_RI) modem |= kRing;
    if (bits & TIOCM_CD) modem |= kRLSD;
    const uint32_t changed = modem ^ state.LastModem;
    FModem = modem;
    state.LastModem = modem;
    const uint32_t h = state.Handlers;
    if ((changed & kCTS) && (h & hCTS)) Deliver(OnCTSEvent);
    if ((changed & kDSR) && (h & hDSR)) Deliver(OnDSREvent);
    if ((changed & kRLSD) && (h & hRLSD)) Deliver(OnRLSDEvent);
    if ((changed & kRing) && (h & hRI)) Deliver(OnRIEvent);
    if ((changed & kRing) && (modem & kRing) && (h & hRing)) Deliver(OnRingEvent);
    anyEvent |= changed != 0;
    return true;
}

// Line errors and breaks since the last pass, from the driver's counters.
uint32_t TSerialPortNG::PollLineErrors(TWorkerState& state, int fd)
{
    if (!state.CountersSupported) return 0;
    serial_icounter_struct counts{};
    if (ioctl(fd, TIOCGICOUNT, &counts) != 0) {
        state.CountersSupported = false;
        return 0;
    }
    const serial_icounter_struct& last = state.LastCounts;
    uint32_t lineErrors = 0;
    if (counts.frame != last.frame) lineErrors |= ceFrame;
    if (counts.overrun != last.overrun || counts.buf_overrun != last.buf_overrun) lineErrors |= ceOverrun;
    if (counts.parity != last.parity) lineErrors |= ceParity;
    if (counts.brk != last.brk) lineErrors |= ceBreak;
    state.LastCounts = counts;
    if (lineErrors) {
        FCommError = lineErrors;
        if ((lineErrors & ceBreak) && (state.Handlers & hBreak)) Deliver(OnBreakEvent);
        if ((lineErrors & ~uint32_t(ceBreak)) && (state.Handlers & hLineError)) Deliver(OnLineErrorEvent);
    }
    return lineErrors;
}

// Writes what is left of a send. True while part of it still waits.
bool TSerialPortNG::ContinueWrite(TWorkerState& state, int fd)
{
    if (!FSendInProgress) return false;
    std::string rest;
    int64_t deadline;
    {
        std::lock_guard<std::mutex> lock(FLock);
        rest = FPendingWrite;
        deadline = FWriteDeadline;
    }
    const auto dropWrite = [this] {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FPendingWrite.clear();
        }
        FSendInProgress = false;
    };
    if (rest.empty()) {
        FSendInProgress = false;
        return false;
    }
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        const int error = errno;
        dropWrite();
        ReportError(903, unsigned(error), PlaceText(903), 0);
        return false;
    }
    if (n < 0) n = 0;
    FWrittenBytes += uint32_t(n);
    bool done;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FPendingWrite.erase(0, std::min(FPendingWrite.size(), size_t(n)));
        done = FPendingWrite.empty();
    }
    if (done) {
        FSendInProgress = false;
        Deliver(OnWriteDone);
        if (state.Handlers & hTxEmpty) Deliver(OnTxQueueEmptyEvent);
        return false;
    }
    if (NowMs() > deadline) {
        dropWrite();
        ReportError(9701, ETIMEDOUT, PlaceText(9701), 0);
        return false;
    }
    return true;
}

// The read decision: a cluster is read when asked for, when a whole cluster
// is queued, after a line error, or when the character time-out has passed
// since the queue was last empty or read. queued is what the queue held.
TSerialPortNG::TReadResult TSerialPortNG::ReadInput(TWorkerState& state, int fd, int64_t now, uint32_t lineErrors,
                                                    bool& anyEvent, int& queued)
{
    queued = 0;
    if (ioctl(fd, FIONREAD, &queued) != 0) {
        // A vanished device (unplugged adapter, closed pseudo-terminal) ends
        // here; a port the program is closing itself reports nothing.
        const int error = errno;
        state.Broken = true;
        if (FActive) ReportError(9804, unsigned(error), PlaceText(9804), 0);
        return TReadResult::Broken;
    }
    FInQueue = uint32_t(queued);
    if (queued > state.LastQueued) {
        if (state.Handlers & hRxChar) Deliver(OnRxCharEvent);
        anyEvent = true;
    }
    if (queued != state.LastQueued && (state.Handlers & hCommStat)) Deliver(OnCommStat);
    state.LastQueued = queued;
    if (queued == 0) {
        state.LastEmpty = now;
        return TReadResult::Waiting;
    }
    const int64_t limit = int64_t(queued) * FRTOCharDelayTime / 1000 + FRTOExtraDelayTime;
    if (!(FReadRequest || queued >= FClusterSizeShared || lineErrors || now - state.LastEmpty > limit))
        return TReadResult::Waiting;
    char buffer[64];
    const ssize_t n = ::read(fd, buffer, std::min<size_t>(sizeof buffer, size_t(queued)));
    // A terminal read gives 0 bytes when there is nothing to read (the
    // queue was purged since it was counted): not a hang-up. A vanished
    // device fails the count or the read, or hangs up.
    if (n == 0) return TReadResult::NothingRead;
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) return TReadResult::Waiting;
        const int error = errno;
        state.Broken = true;
        if (FActive) ReportError(9804, unsigned(error), PlaceText(9804), 0);
        return TReadResult::Broken;
    }
    TSerialCluster cluster;
    cluster.Data.assign(buffer, size_t(n));
    cluster.ErrorFlags = lineErrors;
    const bool eventChar = EventChar != 0 && cluster.Data.find(EventChar) != std::string::npos;
    {
        std::lock_guard<std::mutex> lock(FLock);
        // Clusters nobody takes (quiet mode, a stalled reader) are bounded:
        // the oldest go first.
        if (FClusters.size() >= kMaxClusters) {
            FClusters.pop_front();
            ++FOverflows;
        }
        FClusters.push_back(std::move(cluster));
    }
    state.LastEmpty = NowMs();
    state.LastQueued -= int(n);
    Deliver(OnRxClusterEvent);
    if (eventChar && (state.Handlers & hRxEventChar)) Deliver(OnRxEventCharEvent);
    if (anyEvent && (state.Handlers & hCommEvent)) Deliver(OnCommEvent);
    return n == queued ? TReadResult::ReadAll : TReadResult::Read;
}

// Waits for input, the end of a pending write or a wake-up: at most 75 ms
// while there are modem lines or error counters to watch.
void TSerialPortNG::WaitForInput(TWorkerState& state, int fd, int queued, bool writePending)
{
    FlushEvents();
    if (!FActive) return;  // a handler closed the port
    int timeout = 75;
    pollfd fds[2] = {{FWakePipe[0], POLLIN, 0}, {fd, 0, 0}};
    if (queued == 0) {
        fds[1].events |= POLLIN;
        if (!state.ModemSupported && !state.CountersSupported && !writePending) timeout = kIdleWaitMs;
    } else {
        // Part of a cluster is queued: look again when the rest could be there
        // or the character time-out has passed.
        const int clusterSize = FClusterSizeShared;
        const int64_t limit = int64_t(queued) * FRTOCharDelayTime / 1000 + FRTOExtraDelayTime;
        const int64_t untilTimeout = state.LastEmpty + limit + 1 - NowMs();
        const int64_t untilCluster =
            int64_t(clusterSize - std::min<int>(queued, clusterSize)) * FRTOCharDelayTime / 1000 + 1;
        timeout = int(std::clamp<int64_t>(std::min(untilTimeout, untilCluster), 1, 75));
    }
    if (writePending) fds[1].events |= POLLOUT;
    if (poll(fds, 2, timeout) > 0 && (fds[0].revents & POLLIN)) DrainWakePipe();
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        int left = 0;
        if (ioctl(fd, FIONREAD, &left) != 0 || left == 0) {
            // Nothing more will come: report once and wait to be closed.
            state.Broken = true;
            if (FActive) ReportError(9804, EIO, PlaceText(9804), 0);
        }
    }
}

// ---- port list ---------------------------------------------------------------

std::vector<std::string> CommPortList()
{
    std::set<std::string> names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string location = info.systemLocation().toStdString();
        if (!location.empty()) names.insert(location);
    }
    return std::vector<std::string>(names.begin(), names.end());
}
