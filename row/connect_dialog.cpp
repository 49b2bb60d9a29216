#include "row/connect_dialog.h"

#include <algorithm>

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "framework/registry.h"
#include "framework/window_util.h"
#include "interfaces/ble_transport.h"
#include "interfaces/delay.h"
#include "interfaces/ft_interface.h"
#include "interfaces/heart_source.h"
#include "interfaces/serial/usb_devices.h"
#include "interfaces/vt_interface.h"
#include "logic/row_engine.h"
#include "util/dialogs.h"
#include "util/paths.h"
#include "util/profile.h"
#include "util/text.h"

namespace {
const char* const kSection = "Connect";

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Upper(std::string s)
{
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Runs Test of an interface (its waits pump events).
void RunTest(TInterface& i, uint8_t sourceType, const std::string& source) { i.Test(sourceType, source); }
}  // namespace

TConnectSettings ReadConnectSettings(const TProfileFile& file)
{
    TConnectSettings s;
    s.Source = file.ReadString(kSection, "Source", "DEMO");
    s.InterfaceType = file.ReadInteger(kSection, "InterfaceType", 0);
    s.StrictProtocol = file.ReadBool(kSection, "StrictProtocol", true);
    s.RawHeartRate = file.ReadBool(kSection, "RawHeartRate", false);
    s.Beeps = file.ReadBool(kSection, "Beeps", true);
    s.Quick = file.ReadBool(kSection, "Quick", false);
    s.HeartSource = file.ReadString(kSection, "HeartSource", "");
    s.SourceName = file.ReadString(kSection, "SourceName", "");
    s.HeartName = file.ReadString(kSection, "HeartName", "");
    return s;
}

void WriteConnectSettings(TProfileFile& file, const TConnectSettings& s)
{
    file.EraseSection(kSection);
    file.WriteString(kSection, "Source", s.Source);
    file.WriteInteger(kSection, "InterfaceType", s.InterfaceType);
    if (s.StrictProtocol) file.WriteBool(kSection, "StrictProtocol", true);
    if (s.RawHeartRate) file.WriteBool(kSection, "RawHeartRate", true);
    if (s.Quick) file.WriteBool(kSection, "Quick", true);
    if (!s.HeartSource.empty()) file.WriteString(kSection, "HeartSource", s.HeartSource);
    if (!s.SourceName.empty()) file.WriteString(kSection, "SourceName", s.SourceName);
    if (!s.HeartName.empty()) file.WriteString(kSection, "HeartName", s.HeartName);
}

bool IsBluetoothRowerSource(const std::string& source)
{
    return IsCaptureSource(source) || !BleAddressOf(source).empty();
}

bool ProtocolErrorTolerated(unsigned errors, unsigned pulses)
{
    if (pulses == 0) return errors < 10;
    return double(errors) / double(pulses) < 0.1;
}

TfrmConnect::TfrmConnect(QWidget* parent) : TFormDialog(parent)
{
    setObjectName("frmConnect");
    setWindowTitle("Connect");
    QWidget* client = ClientArea();
    auto* grid = new QGridLayout(client);
    lblSource = new QLabel("So&urce", client);
    lblSource->setObjectName("lblSource");
    cmbSource = new QComboBox(client);
    cmbSource->setObjectName("cmbSource");
    cmbSource->setEditable(true);  // a port path may be typed
    cmbSource->setInsertPolicy(QComboBox::InsertAlphabetically);
    lblSource->setBuddy(cmbSource);
    btbTest = new QPushButton("&Test", client);
    btbTest->setObjectName("btbTest");
    btbTest->setToolTip("Test current interface / source");
    btbSearch = new QPushButton("&Search", client);
    btbSearch->setObjectName("btbSearch");
    btbSearch->setToolTip("Search for an interface");
    lblTest = new QLabel(client);
    lblTest->setObjectName("lblTest");
    lblTest->setWordWrap(true);
    lblTest->setMinimumHeight(70);
    lblTest->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    pnlMagnets = new QWidget(client);
    pnlMagnets->setObjectName("pnlMagnets");
    auto* mags = new QHBoxLayout(pnlMagnets);
    mags->setContentsMargins(0, 0, 0, 0);
    // What the four boxes show, for a rower who has never heard of them.
    auto* magnetsCaption = new QLabel("Magnets:", pnlMagnets);
    magnetsCaption->setObjectName("lblMagnets");
    magnetsCaption->setToolTip(
        "The flywheel carries magnets that pass a sensor once per turn each.\n"
        "Each box shows how steadily one magnet's pulses arrive (percent);\n"
        "values near 100 mean the sensor sees that magnet cleanly.");
    mags->addWidget(magnetsCaption);
    QLabel** panels[] = {&pnlMagnet1, &pnlMagnet2, &pnlMagnet3, &pnlMagnet4};
    for (int i = 0; i < 4; ++i) {
        auto* p = new QLabel("x", pnlMagnets);
        p->setObjectName(Q(Format("pnlMagnet%d", i + 1)));
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setAlignment(Qt::AlignCenter);
        p->setToolTip(Q(Format("Magnet %d: how steadily its pulses arrive (percent)", i + 1)));
        mags->addWidget(p);
        *panels[i] = p;
    }
    pnlMagnets->hide();
    rgpConnect = new QGroupBox("Connect t&ype", client);
    rgpConnect->setObjectName("rgpConnect");
    auto* radios = new QVBoxLayout(rgpConnect);
    for (const char* t : {"Direct", "Delayed (5 seconds)", "Warming up"})
        radios->addWidget(new QRadioButton(t, rgpConnect));
    rgpConnect->hide();

    lblHeart = new QLabel("&Heart rate", client);
    lblHeart->setObjectName("lblHeart");
    cmbHeart = new QComboBox(client);
    cmbHeart->setObjectName("cmbHeart");
    cmbHeart->setEditable(true);  // capture:FILE or an address may be typed
    cmbHeart->setToolTip("Heart-rate strap paired with the rowing source");
    lblHeart->setBuddy(cmbHeart);
    btbScan = new QPushButton("Scan &Bluetooth", client);
    btbScan->setObjectName("btbScan");
    btbScan->setToolTip("Look for Bluetooth rowing machines and heart-rate straps");
    lblAntKey = new QLabel("ANT+ &key", client);
    lblAntKey->setObjectName("lblAntKey");
    edtAntKey = new QLineEdit(client);
    edtAntKey->setObjectName("edtAntKey");
    edtAntKey->setToolTip("The ANT+ network key (16 hex digits)");
    edtAntKey->setMaxLength(40);
    lblAntKey->setBuddy(edtAntKey);

    grid->addWidget(lblSource, 0, 0);
    grid->addWidget(cmbSource, 0, 1);
    grid->addWidget(btbTest, 0, 2);
    grid->addWidget(btbSearch, 0, 3);
    grid->addWidget(lblHeart, 1, 0);
    grid->addWidget(cmbHeart, 1, 1);
    grid->addWidget(btbScan, 1, 2, 1, 2);
    grid->addWidget(lblAntKey, 2, 0);
    grid->addWidget(edtAntKey, 2, 1);
    grid->addWidget(lblTest, 3, 0, 1, 4);
    grid->addWidget(pnlMagnets, 4, 0, 1, 4);
    grid->addWidget(rgpConnect, 5, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    btbOk->setToolTip("Accept changes");

    connect(btbTest, &QPushButton::clicked, this, [this] { btbTestClick(); });
    connect(btbSearch, &QPushButton::clicked, this, [this] { btbSearchClick(); });
    connect(btbScan, &QPushButton::clicked, this, [this] { btbScanClick(); });
    connect(cmbHeart, &QComboBox::currentTextChanged, this, [this] { HeartChanged(); });
    disconnect(btbOk, nullptr, this, nullptr);
    connect(btbOk, &QPushButton::clicked, this, [this] { btbOkClick(); });

    FillSourceList();
    FillHeartList();
    HeartChanged();
    lblTest->clear();
    resize(width() < 420 ? 420 : width(), 250);
}

TfrmConnect::~TfrmConnect()
{
    InterfaceDestroy();
    Scanner.reset();
}

std::string TfrmConnect::ReadPath() const
{
    if (!SettingsFileForReading.empty()) return SettingsFileForReading;
    if (auto* r = MainRegistry()) return r->SettingsFileForReading();
    return SettingsFile(false);
}

std::string TfrmConnect::WritePath() const
{
    if (!SettingsFileForWriting.empty()) return SettingsFileForWriting;
    if (auto* r = MainRegistry()) return r->SettingsFileForWriting();
    return SettingsFile(true);
}

std::string TfrmConnect::Source() const
{
    if (cmbSource->currentIndex() < 0 && cmbSource->currentText().isEmpty()) return "";
    return Trim(cmbSource->currentText().toStdString());
}

int TfrmConnect::ConnectTypeIndex() const
{
    const auto buttons = rgpConnect->findChildren<QRadioButton*>();
    for (int i = 0; i < buttons.size(); ++i)
        if (buttons[i]->isChecked()) return i;
    return 0;
}

void TfrmConnect::FitListsToEntries()
{
    FitComboToEntries(cmbSource);
    FitComboToEntries(cmbHeart);
}

void TfrmConnect::FillSourceList()
{
    std::vector<std::string> list;
    {
        TVTInterface vt;
        TBXInterface bx;
        for (const auto* ports : {&vt.PortList, &bx.PortList})
            for (const auto& p : *ports)
                if (std::find(list.begin(), list.end(), p) == list.end()) list.push_back(p);
    }
    if (std::find(list.begin(), list.end(), "DEMO") == list.end()) list.push_back("DEMO");
    std::sort(list.begin(), list.end());
    cmbSource->clear();
    for (const auto& p : list) cmbSource->addItem(Q(p));
}

void TfrmConnect::SelectSource(const std::string& source)
{
    const std::string wanted = Upper(source);
    for (int i = 0; i < cmbSource->count(); ++i) {
        if (Upper(cmbSource->itemText(i).toStdString()) == wanted) {
            cmbSource->setCurrentIndex(i);
            return;
        }
    }
    // A port typed by the user that the system does not list (now): shown
    // as typed, so it is not lost.
    if (!Trim(source).empty()) {
        cmbSource->setCurrentIndex(-1);
        cmbSource->setEditText(Q(Trim(source)));
        return;
    }
    const int demo = cmbSource->findText("DEMO");
    cmbSource->setCurrentIndex(demo);
}

namespace {
const char* const kNoHeart = "None";
}

void TfrmConnect::FillHeartList()
{
    cmbHeart->clear();
    cmbHeart->addItem(kNoHeart, QString());
    cmbHeart->addItem("ANT+ strap", QString("ant"));
    cmbHeart->addItem("Demo strap", QString("DEMO"));
}

std::string TfrmConnect::HeartSource() const
{
    const QString text = cmbHeart->currentText().trimmed();
    const int i = cmbHeart->currentIndex();
    // A listed entry stands for its source; typed text is the source itself.
    if (i >= 0 && cmbHeart->itemText(i) == text) return cmbHeart->itemData(i).toString().toStdString();
    for (int k = 0; k < cmbHeart->count(); ++k)
        if (cmbHeart->itemText(k) == text) return cmbHeart->itemData(k).toString().toStdString();
    return text.toStdString();
}

void TfrmConnect::SelectHeartSource(const std::string& source)
{
    const QString wanted = Q(Trim(source));
    for (int i = 0; i < cmbHeart->count(); ++i) {
        if (cmbHeart->itemData(i).toString().compare(wanted, Qt::CaseInsensitive) == 0) {
            cmbHeart->setCurrentIndex(i);
            return;
        }
    }
    if (wanted.isEmpty()) {
        cmbHeart->setCurrentIndex(0);
        return;
    }
    // A remembered strap or a typed source: listed under its name.
    const std::string name = Settings.HeartName.empty() ? Trim(source) : Settings.HeartName + " (" + Trim(source) + ")";
    cmbHeart->addItem(Q(name), wanted);
    cmbHeart->setCurrentIndex(cmbHeart->count() - 1);
}

void TfrmConnect::HeartChanged()
{
    const std::string h = HeartSource();
    const bool ant = SameText(h, "ant") || SameText(h.substr(0, 4), "ant:");
    lblAntKey->setVisible(ant);
    edtAntKey->setVisible(ant);
}

bool TfrmConnect::Scanning() const { return Scanner && Scanner->Running(); }

void TfrmConnect::btbScanClick()
{
    if (Scanning()) return;
    if (!Scanner) {
        Scanner = std::make_unique<TBleScanner>();
        Scanner->OnFound = [this](const TBleDevice& d) { DeviceFound(d); };
        Scanner->OnFinished = [this](const std::string& error) {
            btbScan->setEnabled(true);
            SetTestText(error.empty() ? "Bluetooth scan finished." : "Bluetooth: " + error);
        };
    }
    btbScan->setEnabled(false);
    SetTestText("Scanning for Bluetooth rowing machines and heart-rate straps ...");
    Scanner->Start(8000);
}

void TfrmConnect::DeviceFound(const TBleDevice& d)
{
    const std::string name = d.Name.empty() ? d.Address : d.Name;
    if (d.Rower) {
        const QString source = Q("BLE:" + d.Address);
        if (cmbSource->findText(source) < 0) cmbSource->addItem(source);
        cmbSource->setItemData(cmbSource->findText(source), Q(name), Qt::ToolTipRole);
        SetTestText("Found rowing machine " + name);
    }
    if (d.HeartRate) {
        bool listed = false;
        for (int i = 0; i < cmbHeart->count(); ++i) listed = listed || cmbHeart->itemData(i).toString() == Q(d.Address);
        if (!listed) cmbHeart->addItem(Q(name + " (" + d.Address + ")"), Q(d.Address));
        SetTestText("Found heart-rate strap " + name);
    }
    FitListsToEntries();
}

void TfrmConnect::showEvent(QShowEvent* event)
{
    TFormDialog::showEvent(event);
    const std::string path = ReadPath();
    if (!path.empty() && FileExists(path)) {
        TProfileFile ini(path);
        Settings = ReadConnectSettings(ini);
    } else {
        Settings = TConnectSettings{};
    }
    AntKey.clear();
    if (!path.empty() && FileExists(path)) AntKey = TProfileFile(path).ReadString("HeartRate", "AntNetworkKey", "");
    edtAntKey->setText(Q(AntKey));
    // A remembered Bluetooth machine is listed although no scan found it yet.
    if (IsBluetoothRowerSource(Settings.Source) && cmbSource->findText(Q(Settings.Source)) < 0)
        cmbSource->addItem(Q(Settings.Source));
    SelectSource(Settings.Source);
    SelectHeartSource(Settings.HeartSource);
    FitListsToEntries();
    HeartChanged();
    const auto buttons = rgpConnect->findChildren<QRadioButton*>();
    const int ct = MainRegistry() ? MainRegistry()->ConnectType() : 0;
    if (ct >= 0 && ct < buttons.size()) buttons[ct]->setChecked(true);
    rgpConnect->hide();
}

void TfrmConnect::SetTestText(const std::string& text)
{
    if (!Heart || HeartText.empty()) lblTest->setText(Q(text));
    else lblTest->setText(Q(text.empty() ? HeartText : text + "\n" + HeartText));
}

void TfrmConnect::StartHeartTest()
{
    const std::string source = HeartSource();
    HeartText.clear();
    if (source.empty()) return;
    THeartSourceOptions o;
    o.AntNetworkKey = edtAntKey->text().toStdString();
    {
        const std::string path = ReadPath();
        if (!path.empty() && FileExists(path)) {
            TProfileFile ini(path);
            o.AntLibrary = ini.ReadString("HeartRate", "AntLibrary", o.AntLibrary);
            o.AntReceiver = ini.ReadInteger("HeartRate", "AntReceiver", 0);
        }
    }
    std::string error;
    Heart = CreateHeartRateSource(source, o, error);
    if (!Heart) {
        HeartText = "Heart rate : " + error;
        return;
    }
    const std::string base = lblTest->text().toStdString();
    auto show = [this](const std::string& text) {
        const std::string rower = lblTest->text().toStdString();
        const size_t at = HeartText.empty() ? std::string::npos : rower.rfind("\n" + HeartText);
        HeartText = text;
        SetTestText(at == std::string::npos ? rower : rower.substr(0, at));
    };
    Heart->OnHeartRate = [show](int bpm) { show(Format("Heart rate : %d bpm", bpm)); };
    Heart->OnNote = [show](const std::string& t) { show("Heart rate : " + t); };
    Heart->OnProblem = [show](const std::string& t) { show("Heart rate : " + t); };
    Heart->OnFailed = [show](const std::string& t) { show("Heart rate : " + t); };
    HeartText = "Heart rate : connecting to " + Heart->Name() + " ...";
    SetTestText(base);
    Heart->Start();
}

void TfrmConnect::ShowRowerData(TInterface* sender)
{
    auto* ft = dynamic_cast<TFTInterface*>(sender);
    if (!ft) return;
    ++RawDataCount;
    const TFtmsStrokeMaker& m = ft->Strokes();
    std::string text = "Receiving ... " + std::string(m.Paused() ? "(paused)" : "") + "\nSource : " + ft->SourceName() +
                       "\nDevice : " + ft->TypeName();
    if (!ft->Description.empty()) text += Format(" (%s)", ft->Description.c_str());
    text += "\nProtocol : " + TarnProtocolName(ft->Protocol);
    SetTestText(text);
    setWindowTitle(Q(Format("Connect to %s", TarnProtocolName(ft->Protocol).c_str())));
}

bool TfrmConnect::TestRower(const std::string& source, uint8_t sourceType)
{
    auto* ft = new TFTInterface();
    FT.reset(ft);
    ft->OnOpened = [this](TInterface* s) { Settings.InterfaceType = s->InterfaceType; };
    ft->OnRowerData = [this](TInterface* s, const TRowerData&) { ShowRowerData(s); };
    ft->OnError = [this](TInterface*, const std::string& text) { SetTestText(text); };
    ft->OnProtocolError = [this](TInterface* s) { ProtocolError(s); };
    SetTestText(Format("Testing %s ...", source.c_str()));
    RunTest(*ft, sourceType, source);
    if (!FT || FT.get() != ft) return false;
    const bool received = ft->ValidSeen;
    if (!received) ft->Close();
    return received;
}

void TfrmConnect::InterfaceCreate()
{
    ++TestRun;
    LastClick = TickCount();
    RawDataCount = 0;
    ProtocolErrors = 0;
    Marker = std::make_unique<T__Interface>();
    VT = std::make_unique<TVTInterface>();
    VT->StrictProtocol = Settings.StrictProtocol;
    VT->RawHeartRate = Settings.RawHeartRate;
    VT->ProtocolSet.Include(vtpVtw);
    VT->OnOpened = [this](TInterface* s) { Settings.InterfaceType = s->InterfaceType; };
    VT->OnRawData = [this](TInterface* s, double wheel, int, int) { RawData(s, wheel); };
    VT->DoCalculate = true;
    BX = std::make_unique<TBXInterface>();
    for (TInterface* i : {static_cast<TInterface*>(VT.get()), BX.get()}) {
        i->OnError = [this](TInterface*, const std::string& text) { SetTestText(text); };
        i->OnProtocolError = [this](TInterface* s) { ProtocolError(s); };
    }
}

void TfrmConnect::InterfaceDestroy()
{
    ++TestRun;
    Marker.reset();
    auto drop = [this](std::unique_ptr<TInterface> i) {
        if (!i) return;
        try {
            i->Close();
        } catch (...) {
        }
        i->OnError = nullptr;
        i->OnProtocolError = nullptr;
        i->OnOpened = nullptr;
        if (auto* vt = dynamic_cast<TVTInterface*>(i.get())) vt->OnRawData = nullptr;
        // A test may be waiting inside the interface (the user stopped it or
        // closed the dialog): it goes once that has returned.
        ReleaseInUse(i.release());
    };
    drop(std::unique_ptr<TInterface>(VT.release()));
    drop(std::move(BX));
    if (FT) {
        auto* ft = static_cast<TFTInterface*>(FT.get());
        ft->OnRowerData = nullptr;
        drop(std::move(FT));
    }
    if (Heart) {
        Heart->OnHeartRate = nullptr;
        Heart->OnNote = Heart->OnProblem = Heart->OnFailed = nullptr;
        Heart->Stop();
        Heart.reset();
    }
    HeartText.clear();
    setWindowTitle("Connect");
}

void TfrmConnect::SetTesting(bool testing)
{
    btbSearch->setEnabled(!testing);
    // OK ends a running test and takes the source being tested.
    btbOk->setEnabled(true);
    btbCancel->setEnabled(!testing);
    lblSource->setEnabled(!testing);
    cmbSource->setEnabled(!testing);
    for (QWidget* w : std::initializer_list<QWidget*>{lblHeart, cmbHeart, btbScan, edtAntKey}) w->setEnabled(!testing);
}

void TfrmConnect::StopTest()
{
    InterfaceDestroy();
    pnlMagnets->hide();
    btbTest->setText("&Test");
    lblTest->clear();
    SetTesting(false);
}

void TfrmConnect::btbTestClick()
{
    if (Marker) {
        StopTest();
        return;
    }
    for (QLabel* p : {pnlMagnet1, pnlMagnet2, pnlMagnet3, pnlMagnet4}) p->setText("x");
    pnlMagnets->show();
    btbTest->setText("S&top");
    SetTesting(true);
    const std::string source = Source();
    const uint8_t sourceType = SameText(source, "DEMO") ? 2 : 1;
    InterfaceCreate();
    // Each wait below lets the user stop this test (and start another one):
    // a test that is no longer the current run leaves everything alone.
    const unsigned run = TestRun;
    auto current = [&] { return TestRun == run; };
    bool received = false;
    StartHeartTest();
    if (!current()) return;
    try {
        const bool vt3Adapter = sourceType == 1 && PortAdapter(source) != "?" && !PortAdapter(source).empty();
        // A Bluetooth rowing machine (or a capture of one, or the demo as one).
        if (IsBluetoothRowerSource(source) || (sourceType == 2 && Settings.InterfaceType == kFtmsInterfaceType)) {
            received = TestRower(source, sourceType);
            if (!current()) return;
        } else if (sourceType == 2 || !vt3Adapter) {
            SetTestText(Format("Testing %s ...", source.c_str()));
            RunTest(*VT, sourceType, source);
            if (!current()) return;
            received = VT->ValidSeen || (sourceType == 2 && VT->State() >= vtsOpening);
            if (!received) VT->Close();
        }
        if (!received && current() && !IsBluetoothRowerSource(source)) {
            SetTestText(Format("Testing %s ...", source.c_str()));
            RunTest(*BX, sourceType, source);
            if (!current()) return;
            received = BX->ValidSeen;
            if (!received) BX->Close();
        }
    } catch (const std::exception&) {
        if (!current()) return;
        VT->Close();
        BX->Close();
        if (FT) FT->Close();
    }
    if (!current()) return;
    if (!received) {
        SetTestText("Nothing found");
        Delay(1000);
        if (!current()) return;
        StopTest();
    }
}

void TfrmConnect::RawData(TInterface* sender, double wheel)
{
    auto* vt = dynamic_cast<TVTInterface*>(sender);
    if (!vt) return;
    ++RawDataCount;
    const std::string activity = vt->ActivityText();
    if (wheel < 1.0) {
        const std::string stats = vt->MagnetStatistics();
        QLabel* panels[] = {pnlMagnet1, pnlMagnet2, pnlMagnet3, pnlMagnet4};
        for (int i = 0; i < 4; ++i) {
            const size_t at = size_t(i) * 4;
            panels[i]->setText(at < stats.size() ? Q(stats.substr(at, 3)) : QString());
        }
    }
    std::string text = "Receiving ... " + activity + "\nSource : " + vt->SourceName() + "\nDevice : " + vt->TypeName();
    if (!vt->Description.empty()) text += Format(" (%s)", vt->Description.c_str());
    if (vt->SourceType == 1) text += "\nProtocol : " + TarnProtocolName(vt->Protocol);
    SetTestText(text);
    const long long now = TickCount();
    if (now - LastClick > 50) {
        if (Settings.Beeps) Tone(1000, 50);
        LastClick = now;
    }
    setWindowTitle(Q(Format("Connect to %s", TarnProtocolName(vt->Protocol).c_str())));
}

void TfrmConnect::ProtocolError(TInterface* sender)
{
    ++ProtocolErrors;
    if (ProtocolErrorTolerated(ProtocolErrors, RawDataCount)) return;
    if (!sender) return;
    const TTarnProtocolSet set = sender->ProtocolSet;
    sender->Close();
    Beep();
    ShowErrorBox(TRowEngine::ProtocolMessageText(set, true));
}

void TfrmConnect::btbSearchClick()
{
    if (Marker || Searching) return;
    Searching = true;
    btbTest->hide();
    InterfaceCreate();
    std::string foundPort, foundName;
    int foundType = -1;
    const std::vector<std::string> ports = VT->PortList;
    cmbSource->clear();
    for (const auto& p : ports) cmbSource->addItem(Q(p));
    FitListsToEntries();
    for (int i = 0; i < int(ports.size()); ++i) {
        cmbSource->setCurrentIndex(i);
        SetTestText(Format("Testing %s ...", ports[size_t(i)].c_str()));
        try {
            RunTest(*VT, 1, ports[size_t(i)]);
        } catch (const std::exception&) {
            if (VT) VT->Close();
        }
        // The dialog closed meanwhile (its interfaces are gone).
        if (!VT) break;
        Delay(100);
        if (!VT) break;
        const bool opened = VT->State() == vtsOpened;
        if (opened) {
            foundPort = ports[size_t(i)];
            foundType = VT->InterfaceType;
            foundName = VT->SourceName();
        }
        VT->Close();
        if (opened) break;
    }
    if (foundType < 0 && BX) {
        try {
            RunTest(*BX, 1, "");
        } catch (const std::exception&) {
            if (BX) BX->Close();
        }
        Delay(100);
        if (BX && BX->State() == vtsOpened) {
            foundType = BX->InterfaceType;
            foundName = BX->SourceName();
            foundPort = BX->Source;
        }
    }
    if (foundType >= 0) {
        Settings.InterfaceType = foundType == 4 ? Settings.InterfaceType : foundType;
        SetTestText(Format("%s found on %s", InterfaceTypeName(foundType).c_str(), foundName.c_str()));
    }
    Delay(2000);
    InterfaceDestroy();
    FillSourceList();
    lblTest->clear();
    if (foundType >= 0) SelectSource(foundPort);
    else {
        cmbSource->setCurrentIndex(-1);
        cmbSource->setEditText(QString());
    }
    btbTest->show();
    Searching = false;
}

void TfrmConnect::btbOkClick()
{
    btbTest->setEnabled(false);
    btbSearch->setEnabled(false);
    btbOk->setEnabled(false);
    InterfaceDestroy();
    accept();
}

void TfrmConnect::done(int result)
{
    // Kept as chosen: port paths are case-sensitive here; selecting compares upper-case.
    Settings.Source = Source();
    // A Bluetooth machine (or its capture) is rowed as one; a serial port
    // chosen after one needs its own test.
    if (IsBluetoothRowerSource(Settings.Source)) Settings.InterfaceType = kFtmsInterfaceType;
    else if (Settings.InterfaceType == kFtmsInterfaceType && !SameText(Settings.Source, "DEMO"))
        Settings.InterfaceType = 0;
    {
        const int i = cmbSource->findText(Q(Settings.Source));
        Settings.SourceName = IsBluetoothRowerSource(Settings.Source) && i >= 0
                                  ? cmbSource->itemData(i, Qt::ToolTipRole).toString().toStdString()
                                  : std::string();
    }
    Settings.HeartSource = HeartSource();
    Settings.HeartName.clear();
    if (!BleAddressOf(Settings.HeartSource).empty()) {
        const std::string text = cmbHeart->currentText().toStdString();
        const size_t paren = text.rfind(" (");
        if (paren != std::string::npos) Settings.HeartName = text.substr(0, paren);
    }
    const std::string key = Trim(edtAntKey->text().toStdString());
    const std::string path = WritePath();
    if (!path.empty() && IsWritable(path)) {
        TProfileFile ini(path);
        WriteConnectSettings(ini, Settings);
        if (key != AntKey) ini.WriteString("HeartRate", "AntNetworkKey", key);
        ini.UpdateFile();
    }
    if (Scanner) Scanner->Stop();
    InterfaceDestroy();
    Marker.reset();
    pnlMagnets->hide();
    btbTest->setText("&Test");
    SetTesting(false);
    btbTest->setEnabled(true);
    btbSearch->setEnabled(true);
    btbOk->setEnabled(true);
    TFormDialog::done(result);
}
