// The Bluetooth transport on Qt Bluetooth (central role; no special rights
// are needed on Linux, BlueZ runs the radio): connect to a device by its
// address, find its service, subscribe to the measurement's notifications
// and to the battery level, and get a dropped connection back.
#include <QBluetoothAddress>
#include <QBluetoothDeviceDiscoveryAgent>
#include <QBluetoothDeviceInfo>
#include <QBluetoothLocalDevice>
#include <QBluetoothUuid>
#include <QElapsedTimer>
#include <QLowEnergyController>
#include <QLowEnergyService>
#include <QPointer>
#include <QTimer>

#include "interfaces/ble_transport.h"
#include "interfaces/devices/ftms.h"
#include "interfaces/devices/heart_rate.h"
#include "util/text.h"
#include "util/trace.h"

namespace {

// Attempts are two seconds apart; a device that has not answered for this
// long after a drop (or before the first connection) is given up.
constexpr int kRetryMs = 2000;
constexpr int kGiveUpMs = 60000;
constexpr int kFirstGiveUpMs = 20000;

std::string S(const QString& q) { return q.toStdString(); }

uint16_t ShortUuid(const QBluetoothUuid& uuid)
{
    bool ok = false;
    const quint16 v = uuid.toUInt16(&ok);
    return ok ? v : 0;
}

class TQtBleTransport : public TBleTransport {
public:
    TQtBleTransport(std::string address, uint16_t measurement)
        : FAddress(std::move(address)), FMeasurement(measurement),
          FService(measurement == kHeartRateMeasurement ? kHeartRateService : kFitnessMachineService)
    {}
    ~TQtBleTransport() override
    {
        Drop();
        delete FContext;
    }

    std::string Description() const override { return FName.empty() ? FAddress : FName + " (" + FAddress + ")"; }

    void Open() override
    {
        FClosed = false;
        FEverConnected = false;
        if (QBluetoothLocalDevice::allDevices().isEmpty())
            return Fail("No Bluetooth adapter was found on this computer.");
        if (!FContext) FContext = new QObject();
        FClock.start();
        FSince.start();
        Status("Connecting to " + FAddress + " ...");
        Connect();
    }

    void Close() override
    {
        FClosed = true;
        Drop();
    }

private:
    void Status(const std::string& text)
    {
        Trace("Bluetooth " + FAddress + ": " + text);
        if (OnStatus) OnStatus(text);
    }

    void Fail(const std::string& text)
    {
        FClosed = true;
        Drop();
        if (OnFailed) OnFailed(text);
    }

    // Frees the controller and its services (later: a signal of theirs may be running).
    void Drop()
    {
        for (QLowEnergyService* s : {FMain.data(), FBattery.data()})
            if (s) {
                QObject::disconnect(s, nullptr, nullptr, nullptr);
                s->deleteLater();
            }
        FMain = nullptr;
        FBattery = nullptr;
        if (FController) {
            QObject::disconnect(FController, nullptr, nullptr, nullptr);
            FController->disconnectFromDevice();
            FController->deleteLater();
            FController = nullptr;
        }
    }

    void Connect()
    {
        if (FClosed) return;
        Drop();
        QBluetoothDeviceInfo info(QBluetoothAddress(QString::fromStdString(FAddress)), QString(), 0);
        info.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
        FController = QLowEnergyController::createCentral(info, FContext);
        QLowEnergyController* c = FController;
        QObject::connect(c, &QLowEnergyController::connected, FContext, [this, c] {
            if (c != FController) return;
            FName = S(c->remoteName());
            Status("Connected; looking for the service ...");
            c->discoverServices();
        });
        QObject::connect(c, &QLowEnergyController::discoveryFinished, FContext, [this, c] {
            if (c == FController) ServicesFound();
        });
        QObject::connect(c, &QLowEnergyController::disconnected, FContext, [this, c] {
            if (c == FController) Dropped("the device disconnected");
        });
        QObject::connect(c, &QLowEnergyController::errorOccurred, FContext, [this, c](QLowEnergyController::Error) {
            if (c == FController) Dropped(S(c->errorString()));
        });
        c->connectToDevice();
    }

    // The connection went (or never came): try again, or give up.
    void Dropped(const std::string& why)
    {
        if (FClosed) return;
        TInUse::TScope busy(InUse);
        const bool wasUp = FSubscribed;
        FSubscribed = false;
        if (wasUp) {
            FSince.restart();
            if (OnLost)
                OnLost(Format("Connection to %s lost (%s); reconnecting ...", Description().c_str(), why.c_str()));
            if (FClosed) return;
        }
        const int limit = FEverConnected ? kGiveUpMs : kFirstGiveUpMs;
        if (FSince.elapsed() > limit) {
            Fail(FEverConnected
                     ? Format("%s has not answered for %d s (%s).", Description().c_str(), limit / 1000, why.c_str())
                     : Format("No connection to %s (%s).", Description().c_str(), why.c_str()));
            return;
        }
        Drop();
        QTimer::singleShot(kRetryMs, FContext, [this] {
            if (!FClosed) Connect();
        });
    }

    void ServicesFound()
    {
        QLowEnergyController* c = FController;
        FMain = c->createServiceObject(QBluetoothUuid(FService), FContext);
        if (!FMain) {
            Fail(Format("%s offers no %s service.", Description().c_str(),
                        FService == kHeartRateService ? "heart-rate" : "fitness machine"));
            return;
        }
        Subscribe(FMain, FMeasurement, true);
        FBattery = c->createServiceObject(QBluetoothUuid(kBatteryService), FContext);
        if (FBattery) Subscribe(FBattery, kBatteryLevel, false);
    }

    // Discovers the service's details, then reads and subscribes to the characteristic.
    void Subscribe(QLowEnergyService* service, uint16_t characteristic, bool main)
    {
        QPointer<QLowEnergyService> s = service;
        auto deliver = [this](const QLowEnergyCharacteristic& ch, const QByteArray& value) {
            if (FClosed || !OnNotification) return;
            const std::vector<uint8_t> bytes(value.begin(), value.end());
            OnNotification(ShortUuid(ch.uuid()), bytes, FClock.elapsed() / 1000.0);
        };
        QObject::connect(service, &QLowEnergyService::characteristicChanged, FContext, deliver);
        QObject::connect(service, &QLowEnergyService::characteristicRead, FContext, deliver);
        QObject::connect(service, &QLowEnergyService::stateChanged, FContext,
                         [this, s, characteristic, main](QLowEnergyService::ServiceState state) {
                             if (!s || state != QLowEnergyService::RemoteServiceDiscovered) return;
                             const QLowEnergyCharacteristic ch = s->characteristic(QBluetoothUuid(characteristic));
                             if (!ch.isValid()) {
                                 if (main) Fail(Format("%s does not send its measurements.", Description().c_str()));
                                 return;
                             }
                             if (ch.properties() & QLowEnergyCharacteristic::Read) s->readCharacteristic(ch);
                             const QLowEnergyDescriptor cccd =
                                 ch.descriptor(QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration);
                             if (cccd.isValid())
                                 s->writeDescriptor(cccd, QLowEnergyCharacteristic::CCCDEnableNotification);
                             if (main) Subscribed();
                         });
        QObject::connect(service, &QLowEnergyService::errorOccurred, FContext,
                         [this, main](QLowEnergyService::ServiceError e) {
                             if (main) Dropped(Format("service error %d", int(e)));
                         });
        service->discoverDetails();
    }

    void Subscribed()
    {
        FSubscribed = true;
        const bool first = !FEverConnected;
        FEverConnected = true;
        Status(first ? "Receiving from " + Description() : "Reconnected to " + Description());
        if (first && OnConnected) OnConnected();
    }

    std::string FAddress, FName;
    uint16_t FMeasurement, FService;
    QObject* FContext = nullptr;
    QLowEnergyController* FController = nullptr;
    QPointer<QLowEnergyService> FMain, FBattery;
    QElapsedTimer FClock;  // notification times
    QElapsedTimer FSince;  // since the connection was lost (or first tried)
    bool FClosed = true;
    bool FSubscribed = false;
    bool FEverConnected = false;
};

}  // namespace

std::unique_ptr<TBleTransport> CreateQtBleTransport(const std::string& address, uint16_t measurement)
{
    return std::make_unique<TQtBleTransport>(address, measurement);
}

// ---- scanner ------------------------------------------------------------------------

struct TBleScanner::TPrivate {
    QBluetoothDeviceDiscoveryAgent* Agent = nullptr;
    QObject Context;
    bool Running = false;
};

TBleScanner::TBleScanner() : P(std::make_unique<TPrivate>()) {}

TBleScanner::~TBleScanner()
{
    Stop();
    delete P->Agent;
}

bool TBleScanner::Running() const { return P->Running; }

void TBleScanner::Start(int milliseconds)
{
    Stop();
    auto finish = [this](const std::string& error) {
        P->Running = false;
        if (OnFinished) OnFinished(error);
    };
    if (QBluetoothLocalDevice::allDevices().isEmpty()) {
        finish("No Bluetooth adapter was found on this computer.");
        return;
    }
    if (!P->Agent) {
        P->Agent = new QBluetoothDeviceDiscoveryAgent();
        auto found = [this](const QBluetoothDeviceInfo& info) {
            if (!(info.coreConfigurations() & QBluetoothDeviceInfo::LowEnergyCoreConfiguration)) return;
            TBleDevice d;
            d.Address =
                S(info.address().toString()).empty() ? S(info.deviceUuid().toString()) : S(info.address().toString());
            d.Name = S(info.name());
            d.Rssi = info.rssi();
            for (const QBluetoothUuid& u : info.serviceUuids()) {
                const uint16_t v = ShortUuid(u);
                d.HeartRate = d.HeartRate || v == kHeartRateService;
                d.Rower = d.Rower || v == kFitnessMachineService;
            }
            if ((d.HeartRate || d.Rower) && OnFound) OnFound(d);
        };
        QObject::connect(P->Agent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, &P->Context, found);
        QObject::connect(P->Agent, &QBluetoothDeviceDiscoveryAgent::finished, &P->Context, [finish] { finish(""); });
        QObject::connect(P->Agent, &QBluetoothDeviceDiscoveryAgent::errorOccurred, &P->Context,
                         [this, finish](QBluetoothDeviceDiscoveryAgent::Error) { finish(S(P->Agent->errorString())); });
    }
    P->Running = true;
    P->Agent->setLowEnergyDiscoveryTimeout(milliseconds);
    P->Agent->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void TBleScanner::Stop()
{
    if (P->Agent && P->Agent->isActive()) P->Agent->stop();
    P->Running = false;
}
