#pragma once
// TFTInterface (type 7, "FTMS Rowing Machine"): a rowing machine that speaks
// the Bluetooth Fitness Machine Service. It receives Rower Data through a
// transport (Qt Bluetooth for a device address, the capture player for
// "capture:FILE"; "DEMO" plays the built-in recording as such a machine
// would send it), puts the parts of each record together and makes a stroke
// record for every increase of the machine's stroke count. The strokes go
// through the same recording, limits and intervals as every interface's.
//
// States as the VT family: Open -> vtsOpening, the first valid record ->
// vtsOpened; Pause/Continue (no strokes are made while paused, and what the
// machine counts meanwhile is not the session's); Close. A malformed record
// is a protocol error (the row window's tolerance rule applies); a machine
// that drops the connection is reconnected by the transport, and one that
// does not come back ends the open with an error (the strokes recorded
// stay). The end of a capture closes the interface.
//
// Strokes are made only while DoCalculate is set (the row window sets it
// once the connection stands); before that a device's counts are only
// followed, and a capture waits after its first record.
// The machine measures no force: no force curves, no stroke length or drive
// time. Its heart-rate field, when it sends a plausible one, is the pulse.
#include <memory>

#include "interfaces/ble_transport.h"
#include "interfaces/devices/ftms.h"
#include "interfaces/interface.h"

class TFTInterface : public TInterface {
public:
    using TRowerDataEvent = std::function<void(TInterface* Sender, const TRowerData& Record)>;
    using TStatusEvent = std::function<void(TInterface* Sender, const std::string& Text)>;

    TFTInterface();
    ~TFTInterface() override;

    // Strokes are made once the owner calculates. Captures (and the demo
    // machine) hold after their first record until then, so a capture is
    // rowed from its start however fast it plays.
    bool DoCalculate() const { return FDoCalculate; }
    void SetDoCalculate(bool on);
    // Pace of captures and of the demo machine: 1 = as recorded, 0 = at once.
    double CaptureSpeed = 1.0;
    // Rower weight for the demo machine's recording (kg).
    std::string DemoFile;  // a raw data recording to play as the demo machine ("" = the built-in one)

    // A complete record arrived (also before DoCalculate and while paused).
    TRowerDataEvent OnRowerData;
    // Notes for the log: the device connected, lost and back, skipped capture lines.
    TStatusEvent OnStatusMessage;

    const TFtmsStrokeMaker& Strokes() const { return FMaker; }
    uint32_t MalformedRecords() const { return FMalformed; }
    // The last decode failure (empty when none).
    const std::string& LastMalformed() const { return FLastMalformed; }

    void OpenLog() override {}
    void WriteLog() override {}
    void CloseLog() override {}
    bool IsActive() override { return FTransport != nullptr && State() >= vtsOpening; }
    void ComPortOpen() override;
    void ComPortClose() override;
    void GetPortList() override;
    void DemoOpen() override;
    void DemoClose() override;
    bool DemoRead() override { return false; }
    void DemoProcess() override {}
    void DemoTimer() override {}
    void Close() override;
    void Prepare() override;
    void Pause() override;
    void Continue() override;
    void Reset() override;

private:
    void Start(std::unique_ptr<TBleTransport> transport);
    void Notification(uint16_t characteristic, const std::vector<uint8_t>& bytes, double seconds);
    void Status(const std::string& text);
    void DropTransport();
    void WaitForTest();

    std::unique_ptr<TBleTransport> FTransport;
    TRowerDataAssembler FAssembler;
    TFtmsStrokeMaker FMaker;
    uint32_t FMalformed = 0;
    std::string FLastMalformed;
    bool FTestTimerFired = false;
    bool FDoCalculate = false;
    bool FHeld = false;  // a capture waits for DoCalculate
};
