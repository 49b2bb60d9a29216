#pragma once
// The connect dialog: the user chooses the row window's data source (a
// serial port, "DEMO", a Bluetooth FTMS rowing machine or a capture of one)
// and a heart-rate source to pair with it, can test the source live (frames
// arriving, protocol, device, magnet pattern, a click per pulse; the strap's
// heart rate), can search all ports for an interface and scan for Bluetooth
// machines and straps. Its choices live in section "Connect" of the settings
// file; the ANT+ network key in section "HeartRate".
#include <memory>
#include <string>
#include <vector>

#include "framework/form_dialog.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;
class TBleScanner;
class THeartRateSource;
class TInterface;
class TVTInterface;
class TProfileFile;
struct TBleDevice;

// Section "Connect" of the settings file.
struct TConnectSettings {
    std::string Source = "DEMO";
    int InterfaceType = 0;
    bool StrictProtocol = true;
    bool RawHeartRate = false;
    bool Beeps = true;
    bool Quick = false;
    // The heart-rate source paired with the rowing source ("" = none; see
    // interfaces/heart_source.h), and the names of the Bluetooth devices chosen.
    std::string HeartSource;
    std::string SourceName, HeartName;
};
TConnectSettings ReadConnectSettings(const TProfileFile& file);
// Erases the section, then writes "Source" and "InterfaceType" always,
// "StrictProtocol", "RawHeartRate" and "Quick" only when true, "Beeps" never,
// "HeartSource", "SourceName" and "HeartName" when not empty.
void WriteConnectSettings(TProfileFile& file, const TConnectSettings& settings);
// A source a Bluetooth FTMS rowing machine is reached by (an address or a capture).
bool IsBluetoothRowerSource(const std::string& source);

// The protocol-error rule of a test: tolerated while errors / pulses < 0.1,
// or before the first pulse while fewer than 10.
bool ProtocolErrorTolerated(unsigned errors, unsigned pulses);

class TfrmConnect : public TFormDialog {
    Q_OBJECT
public:
    explicit TfrmConnect(QWidget* parent = nullptr);
    ~TfrmConnect() override;

    // The selected (or typed) source; "" when nothing is selected.
    std::string Source() const;
    // The selected (or typed) heart-rate source; "" for none.
    std::string HeartSource() const;
    void SelectHeartSource(const std::string& source);
    int InterfaceType() const { return Settings.InterfaceType; }
    int ConnectTypeIndex() const;
    TConnectSettings Settings;
    // Settings file locations; "" = the main registry's (or the utility library's).
    std::string SettingsFileForReading;
    std::string SettingsFileForWriting;

    // Fills the source list from the interfaces' port lists plus "DEMO".
    void FillSourceList();
    void SelectSource(const std::string& source);
    bool TestRunning() const { return Marker != nullptr; }
    bool Scanning() const;
    unsigned RawCount() const { return RawDataCount; }
    unsigned ProtocolErrorCount() const { return ProtocolErrors; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    // The buttons' handlers (tests click the buttons, found by name).
    void btbTestClick();
    void btbSearchClick();
    void btbOkClick();
    void btbScanClick();

    // The controls (object name = member name).
    QLabel* lblSource = nullptr;
    QComboBox* cmbSource = nullptr;
    QPushButton* btbTest = nullptr;
    QPushButton* btbSearch = nullptr;
    QLabel* lblTest = nullptr;
    QWidget* pnlMagnets = nullptr;
    QLabel* pnlMagnet1 = nullptr;
    QLabel* pnlMagnet2 = nullptr;
    QLabel* pnlMagnet3 = nullptr;
    QLabel* pnlMagnet4 = nullptr;
    QGroupBox* rgpConnect = nullptr;
    QLabel* lblHeart = nullptr;
    QComboBox* cmbHeart = nullptr;
    QPushButton* btbScan = nullptr;
    QLabel* lblAntKey = nullptr;
    QLineEdit* edtAntKey = nullptr;

    void InterfaceCreate();
    void InterfaceDestroy();
    void StopTest();
    void SetTesting(bool testing);
    void RawData(TInterface* sender, double wheel);
    void ProtocolError(TInterface* sender);
    void SetTestText(const std::string& text);
    std::string ReadPath() const;
    std::string WritePath() const;
    void FillHeartList();
    void HeartChanged();
    void DeviceFound(const TBleDevice& device);
    // The source and heart-rate lists show their entries whole, closed and dropped down.
    void FitListsToEntries();
    bool TestRower(const std::string& source, uint8_t sourceType);
    void StartHeartTest();
    void ShowRowerData(TInterface* sender);
    std::string HeartLine() const;

    std::unique_ptr<TInterface> Marker;
    std::unique_ptr<TInterface> FT;
    std::unique_ptr<THeartRateSource> Heart;
    std::unique_ptr<TBleScanner> Scanner;
    std::string HeartText;
    std::string AntKey;  // section "HeartRate", "AntNetworkKey"
    std::unique_ptr<TVTInterface> VT;
    std::unique_ptr<TInterface> BX;
    unsigned RawDataCount = 0;
    unsigned ProtocolErrors = 0;
    long long LastClick = 0;
    bool Searching = false;
    // Counts interface set-ups and tear-downs: a test or search that waited
    // finds out whether it is still the current one.
    unsigned TestRun = 0;
};
