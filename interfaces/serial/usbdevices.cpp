#include "interfaces/serial/usbdevices.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "util/text.h"
#include "util/virtualenv.h"

namespace {

std::mutex gLock;
std::optional<std::vector<TUsbSerialPort>> gTestPorts;
std::string gUsbFolder;

std::string ReadLine(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return Trim(line);
}

}  // namespace

std::vector<TUsbSerialPort> UsbSerialPorts()
{
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gTestPorts) return *gTestPorts;
    }
    std::vector<TUsbSerialPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (!info.hasVendorIdentifier() || !info.hasProductIdentifier()) continue;
        TUsbSerialPort p;
        p.Port = info.systemLocation().toStdString();
        p.Vendor = info.vendorIdentifier();
        p.Product = info.productIdentifier();
        p.Serial = info.serialNumber().toStdString();
        ports.push_back(p);
    }
    return ports;
}

void SetUsbSerialPortsForTesting(std::optional<std::vector<TUsbSerialPort>> ports)
{
    std::lock_guard<std::mutex> lock(gLock);
    gTestPorts = std::move(ports);
}

std::vector<std::string> PresentAdapters(uint16_t vendor, uint16_t product)
{
    std::vector<std::string> serials;
    for (const auto& p : UsbSerialPorts())
        if (p.Vendor == vendor && p.Product == product && !p.Serial.empty() &&
            std::find(serials.begin(), serials.end(), p.Serial) == serials.end())
            serials.push_back(p.Serial);
    return serials;
}

std::string AdapterPort(const std::string& serial, uint16_t vendor, uint16_t product)
{
    if (VirtualEnvironmentFound()) return "";
    for (const auto& p : UsbSerialPorts())
        if (p.Vendor == vendor && p.Product == product && p.Serial == serial) return p.Port;
    return "?";
}

std::string PortAdapter(const std::string& port, uint16_t vendor, uint16_t product)
{
    if (VirtualEnvironmentFound()) return "";
    for (const auto& p : UsbSerialPorts())
        if (p.Vendor == vendor && p.Product == product && SameText(p.Port, port)) return p.Serial;
    return "?";
}

std::vector<std::string> AdapterPorts(uint16_t vendor, uint16_t product)
{
    std::vector<std::string> ports;
    for (const auto& serial : PresentAdapters(vendor, product)) {
        const std::string port = AdapterPort(serial, vendor, product);
        if (!port.empty() && port != "?") ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

bool IsAdapterSource(const std::string& source)
{
    if (SameText(source, "DEMO")) return true;
    for (const auto& port : AdapterPorts(kFtdiVendor, kFtdiProduct))
        if (SameText(port, source)) return true;
    return false;
}

std::vector<TAntReceiver> AntReceivers()
{
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(gLock);
        folder = gUsbFolder.empty() ? std::string("/sys/bus/usb/devices") : gUsbFolder;
    }
    std::vector<TAntReceiver> list;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const auto dir = entry.path();
        const std::string vendor = ReadLine(dir / "idVendor");
        if (vendor.empty() || !SameText(vendor, "0fcf")) continue;
        TAntReceiver r;
        r.Product = ReadLine(dir / "product");
        r.ProductId = uint16_t(std::strtoul(ReadLine(dir / "idProduct").c_str(), nullptr, 16));
        r.Serial = ReadLine(dir / "serial");
        list.push_back(r);
    }
    std::sort(list.begin(), list.end(), [](const TAntReceiver& a, const TAntReceiver& b) { return a.Serial < b.Serial; });
    return list;
}

void SetUsbDeviceFolderForTesting(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gLock);
    gUsbFolder = folder;
}
