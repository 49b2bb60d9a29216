#include "interfaces/serial/usb_devices.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "util/text.h"
#include "util/virtual_env.h"

namespace {

std::mutex gLock;
std::optional<std::vector<TUsbSerialPort>> gTestPorts;
std::string gUsbFolder;
std::string gSysRoot;

std::string ReadLine(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return Trim(line);
}

}  // namespace

std::vector<TUsbSerialPort> UsbSerialPortsUnder(const std::string& sysRoot)
{
    namespace fs = std::filesystem;
    std::vector<TUsbSerialPort> ports;
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(fs::path(sysRoot), ec);
    if (ec) return ports;
    for (const auto& entry : fs::directory_iterator(root / "class" / "tty", ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code e;
        // Virtual terminals have no device; the device link leads into the
        // device tree, where the USB device is the nearest folder upwards
        // that names a vendor and a product.
        fs::path dir = fs::canonical(entry.path() / "device", e);
        if (e) continue;
        for (int depth = 0; depth < 16 && !dir.empty() && dir != root && dir != dir.root_path(); ++depth) {
            const std::string vendor = ReadLine(dir / "idVendor");
            const std::string product = ReadLine(dir / "idProduct");
            if (!vendor.empty() && !product.empty()) {
                TUsbSerialPort p;
                p.Port = "/dev/" + name;
                p.Vendor = uint16_t(std::strtoul(vendor.c_str(), nullptr, 16));
                p.Product = uint16_t(std::strtoul(product.c_str(), nullptr, 16));
                p.Serial = ReadLine(dir / "serial");
                ports.push_back(p);
                break;
            }
            dir = dir.parent_path();
        }
    }
    std::sort(ports.begin(), ports.end(),
              [](const TUsbSerialPort& a, const TUsbSerialPort& b) { return a.Port < b.Port; });
    return ports;
}

std::vector<TUsbSerialPort> UsbSerialPorts()
{
    std::string root;
    {
        std::lock_guard<std::mutex> lock(gLock);
        if (gTestPorts) return *gTestPorts;
        root = gSysRoot.empty() ? std::string("/sys") : gSysRoot;
    }
    return UsbSerialPortsUnder(root);
}

void SetSysfsRootForTesting(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gLock);
    gSysRoot = folder;
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
    std::sort(list.begin(), list.end(),
              [](const TAntReceiver& a, const TAntReceiver& b) { return a.Serial < b.Serial; });
    return list;
}

void SetUsbDeviceFolderForTesting(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gLock);
    gUsbFolder = folder;
}
