#pragma once
// Which serial ports belong to which USB adapters, and the ANT receivers
// present, both read from sysfs: a terminal under class/tty whose device lies
// below a USB device (the first folder upwards with idVendor and idProduct)
// is that device's port, with its vendor, product and serial number; the ANT
// receivers are the USB devices of vendor 0FCF.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TUsbSerialPort {
    std::string Port;  // device path, e.g. "/dev/ttyUSB0"
    uint16_t Vendor = 0;
    uint16_t Product = 0;
    std::string Serial;
};

constexpr uint16_t kFtdiVendor = 0x0403, kFtdiProduct = 0x6001;        // VT3 interface adapter
constexpr uint16_t kSiliconLabsVendor = 0x10C4, kOtmProduct = 0x82BA;  // OTM adapter
constexpr uint16_t kAntVendor = 0x0FCF;                                // ANT USB receivers

// The serial ports of USB devices present now, sorted by port.
std::vector<TUsbSerialPort> UsbSerialPorts();
// The same from a sysfs tree at sysRoot (normally "/sys"); ports are "/dev/" + the terminal's name.
std::vector<TUsbSerialPort> UsbSerialPortsUnder(const std::string& sysRoot);
// The sysfs tree UsbSerialPorts reads ("" = "/sys"; tests point it at a tree of their own).
void SetSysfsRootForTesting(const std::string& folder);
// Replaces the system's list (for tests without USB hardware); nullopt = the system's again.
void SetUsbSerialPortsForTesting(std::optional<std::vector<TUsbSerialPort>> ports);

// Serial numbers of the connected adapters of a vendor and product.
std::vector<std::string> PresentAdapters(uint16_t vendor = kFtdiVendor, uint16_t product = kFtdiProduct);
// Port of the adapter with that serial number; "?" when none, "" inside a
// virtual environment.
std::string AdapterPort(const std::string& serial, uint16_t vendor = kFtdiVendor, uint16_t product = kFtdiProduct);
// Serial number of the adapter that owns the port (compared case-insensitively);
// "?" when none, "" inside a virtual environment.
std::string PortAdapter(const std::string& port, uint16_t vendor = kFtdiVendor, uint16_t product = kFtdiProduct);
// Ports of the present adapters of a vendor and product.
std::vector<std::string> AdapterPorts(uint16_t vendor, uint16_t product);
// A source is an adapter port when it is "DEMO" or a port of a present VT3 adapter.
bool IsAdapterSource(const std::string& source);

// One installed ANT receiver.
struct TAntReceiver {
    std::string Product;  // product string of the device
    uint16_t ProductId = 0;
    std::string Serial;
};
// ANT receivers (USB vendor 0FCF) under the sysfs USB device folder.
std::vector<TAntReceiver> AntReceivers();
// The folder searched ("/sys/bus/usb/devices" unless set for tests; "" = default).
void SetUsbDeviceFolderForTesting(const std::string& folder);
