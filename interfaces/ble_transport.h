#pragma once
// How the Bluetooth parts reach a device: a small transport with two
// implementations, Qt Bluetooth (a real device by its address) and a
// capture player (a text capture of a device's notifications, see
// interfaces/devices/capture.h), so rowing machines and straps can be rowed,
// tested and looked at without a radio.
//
// Source texts:
//   "capture:FILE"               a capture file
//   "AA:BB:CC:DD:EE:FF", "BLE:AA:BB:CC:DD:EE:FF"   a device's address
//
// A transport subscribes to the notifications of one service's measurement
// characteristic (heart rate 0x2A37, or FTMS rower data 0x2AD1) and to the
// battery level where the device offers it. Events run on the
// user-interface thread; a handler may close the transport (no event follows
// that) and give it up with ReleaseInUse, which deletes it once its own code
// has returned.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/in_use.h"

class TBleTransport {
public:
    using TNotificationEvent =
        std::function<void(uint16_t characteristic, const std::vector<uint8_t>& bytes, double seconds)>;
    using TTextEvent = std::function<void(const std::string& text)>;

    virtual ~TBleTransport() = default;

    // Starts connecting; OnConnected follows, or OnFailed.
    virtual void Open() = 0;
    // Ends the connection for good; no event follows.
    virtual void Close() = 0;
    // While paused a capture stops playing (and goes on where it stopped);
    // a device stays connected and its notifications are still delivered.
    virtual void SetPaused(bool /*paused*/) {}
    // The device's name (and address), or the capture file's name.
    virtual std::string Description() const = 0;
    bool IsCapture() const { return FCapture; }

    // The transport's own code running on the stack (its events may close
    // what owns it): an owner gives it up with ReleaseInUse.
    TInUse InUse;

    std::function<void()> OnConnected;  // subscribed: notifications follow
    // A notification and when it arrived (s since Open; a capture's own times).
    TNotificationEvent OnNotification;
    TTextEvent OnStatus;          // progress and notes ("Reconnecting to ...", skipped capture lines)
    TTextEvent OnLost;            // the connection dropped; the transport tries to get it back
    TTextEvent OnFailed;          // gave up (no adapter, device gone, unreadable capture)
    std::function<void()> OnEnd;  // a capture played to its end

protected:
    bool FCapture = false;
};

bool IsCaptureSource(const std::string& source);
std::string CaptureSourcePath(const std::string& source);
// "AA:BB:CC:DD:EE:FF" (upper case) for an address source, "" otherwise.
std::string BleAddressOf(const std::string& source);

// The transport for a source: measurement is the characteristic wanted
// (0x2A37 or 0x2AD1), speed the capture's pace (1 = real time, 0 = at once).
// nullptr with a reason for a source that is neither.
std::unique_ptr<TBleTransport> CreateBleTransport(const std::string& source, uint16_t measurement, double speed,
                                                  std::string& error);
// A capture player over capture text held in memory (the demo devices).
std::unique_ptr<TBleTransport> CreateCaptureTransport(const std::string& text, const std::string& name,
                                                      uint16_t measurement, double speed);
// The Qt Bluetooth transport (qt_ble_transport.cpp).
std::unique_ptr<TBleTransport> CreateQtBleTransport(const std::string& address, uint16_t measurement);

// Bluetooth LE devices nearby that offer heart rate or FTMS (Qt Bluetooth).
struct TBleDevice {
    std::string Address;
    std::string Name;
    bool HeartRate = false;
    bool Rower = false;  // Fitness Machine service
    int Rssi = 0;
};

class TBleScanner {
public:
    TBleScanner();
    ~TBleScanner();
    TBleScanner(const TBleScanner&) = delete;
    TBleScanner& operator=(const TBleScanner&) = delete;
    // Scans for the given time; OnFound for each device with one of the two
    // services, OnFinished at the end ("" or why the scan failed).
    void Start(int milliseconds);
    void Stop();
    bool Running() const;
    std::function<void(const TBleDevice&)> OnFound;
    std::function<void(const std::string& error)> OnFinished;

private:
    struct TPrivate;
    std::unique_ptr<TPrivate> P;
};
