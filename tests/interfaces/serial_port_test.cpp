// The serial port object over real pseudo-terminals: clusters, the character
// time-out, sends, exclusive opening, errors and a pulled cable.
#include <gtest/gtest.h>

#include <termios.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

#include "interfaces/serial/serial_port.h"
#include "interfaces/serial/usb_devices.h"
#include "tests/support/testutil_interfaces.h"
#include "util/virtual_env.h"

namespace {

struct TError {
    unsigned Place, Code;
    std::string Msg;
    uint8_t Noise;
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        Port = std::make_unique<TSerialPortNG>();
        Port->ErrorNoise = 0;
        Port->SetClusterSize(4);
        Port->OnRxClusterEvent = [this](TSerialPortNG* p) {
            ++ClusterEvents;
            Clusters.push_back(p->ReadNextClusterAsString());
        };
        Port->OnProcessError = [this](TSerialPortNG*, unsigned place, unsigned code, const std::string& msg,
                                      uint8_t noise) {
            Errors.push_back({place, code, msg, noise});
        };
        Port->SetCommPort(Pty.SlavePath());
    }
    void TearDown() override { Port.reset(); }

    std::string Received() const
    {
        std::string all;
        for (const auto& c : Clusters) all += c;
        return all;
    }

    TPty Pty;
    std::unique_ptr<TSerialPortNG> Port;
    std::vector<std::string> Clusters;
    int ClusterEvents = 0;
    std::vector<TError> Errors;
};

TEST_F(SerialPortTest, QueuedBytesAreReadAsClustersOfAtMost64)
{
    Port->SetActive(true);
    ASSERT_TRUE(Port->Active());
    // 10 bytes queued at once make one cluster of 10 (quiet: kept in the list).
    Port->SetThreadQuietMode(true);
    ASSERT_TRUE(Pty.Write(std::string("0123456789")));
    ASSERT_TRUE(WaitFor([&] { return Port->ClusterCount() >= 1; }));
    EXPECT_EQ(Port->ReadNextClusterAsString(), "0123456789");
    EXPECT_EQ(ClusterEvents, 0);
    Port->SetThreadQuietMode(false);

    Clusters.clear();
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += char('A' + i % 26);
    ASSERT_TRUE(Pty.Write(hundred));
    ASSERT_TRUE(WaitFor([&] { return Received().size() >= 100; }));
    EXPECT_EQ(Received(), hundred);
    for (const auto& c : Clusters) EXPECT_LE(c.size(), 64u);
    EXPECT_GE(Clusters.size(), 2u);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(SerialPortTest, ShortRemainderWaitsForTheCharacterTimeOut)
{
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("ab")));
    // 2 x 1100 us + 250 ms: not before about a quarter of a second.
    Pump(120);
    EXPECT_TRUE(Clusters.empty());
    ASSERT_TRUE(WaitFor([&] { return !Clusters.empty(); }, 2000));
    EXPECT_EQ(Clusters.front(), "ab");
    // With ReadRequest the remainder is read at once.
    Clusters.clear();
    Port->SetReadRequest(true);
    ASSERT_TRUE(Pty.Write(std::string("c")));
    ASSERT_TRUE(WaitFor([&] { return !Clusters.empty(); }, 150));
}

TEST_F(SerialPortTest, LineSettingsReachTheTerminal)
{
    // The master side of a pseudo-terminal reads the terminal's settings.
    auto settings = [this] {
        termios tio{};
        EXPECT_EQ(tcgetattr(Pty.MasterFd(), &tio), 0);
        return tio;
    };
    Port->SetBaudRate(115200);
    Port->SetStopBits(2);
    Port->SetFlowControl(fcOutX);
    Port->SetActive(true);
    ASSERT_TRUE(Port->Active());
    termios t = settings();
    // (A pseudo-terminal keeps 8 data bits without parity whatever is set,
    // so data bits and parity are not looked at here.)
    EXPECT_EQ(cfgetospeed(&t), speed_t(B115200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_FALSE(t.c_lflag & ICANON);  // bytes as they come, no line editing
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    // Changed while open: applied at once.
    Port->SetBaudRate(9600);
    Port->SetStopBits(0);
    Port->SetFlowControl(0);
    t = settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_iflag & IXON);
    for (const auto& e : Errors) ADD_FAILURE() << e.Place << " " << e.Code << " " << e.Msg;
    // A rate the terminal does not know is refused with place 802, and the
    // line keeps the settings it had.
    Errors.clear();
    Port->SetBaudRate(14400);
    ASSERT_FALSE(Errors.empty());
    EXPECT_EQ(Errors.back().Place, 802u);
    EXPECT_EQ(Errors.back().Code, unsigned(EINVAL));
    t = settings();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
}

TEST_F(SerialPortTest, PeekLeavesTheClusterQueued)
{
    Port->OnRxClusterEvent = [this](TSerialPortNG*) { ++ClusterEvents; };
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("wxyz")));
    ASSERT_TRUE(WaitFor([&] { return ClusterEvents > 0; }));
    Port->PeekFlag = true;
    EXPECT_EQ(Port->ReadNextClusterAsString(), "wxyz");
    EXPECT_EQ(Port->ClusterCount(), 1u);
    Port->PeekFlag = false;
    EXPECT_EQ(Port->ReadNextClusterAsString(), "wxyz");
    EXPECT_EQ(Port->ClusterCount(), 0u);
    EXPECT_EQ(Port->ReadNextClusterAsString(), "");
}

TEST_F(SerialPortTest, SendReachesTheDeviceAndReportsWriteDone)
{
    int done = 0;
    Port->OnWriteDone = [&](TSerialPortNG*) { ++done; };
    Port->SetActive(true);
    ASSERT_TRUE(Port->SendString("\r\n"));
    EXPECT_EQ(done, 1);
    std::string got;
    ASSERT_TRUE(WaitFor([&] {
        got += Pty.ReadAvailable();
        return got.size() >= 2;
    }));
    EXPECT_EQ(got, "\r\n");
}

TEST_F(SerialPortTest, SendWhileInProgressIsRefusedAndTimesOut)
{
    Port->SetXTOAuto(false);
    Port->SetWTOCharDelayTime(1);
    Port->WTOExtraDelayTime = 50;
    Port->ErrorNoise = 2;
    Port->SetActive(true);
    // Nobody reads the device side: a large write cannot complete.
    std::string big(256 * 1024, 'x');
    ASSERT_TRUE(Port->SendString(big));
    ASSERT_TRUE(Port->SendInProgress());
    EXPECT_FALSE(Port->SendString("more"));
    ASSERT_FALSE(Errors.empty());
    EXPECT_EQ(Errors[0].Place, 901u);
    EXPECT_EQ(Errors[0].Noise, 2);
    EXPECT_EQ(Errors[0].Msg, "Don't enter SendData while SendInProgress is set");
    ASSERT_TRUE(WaitFor([&] { return Errors.size() >= 2; }, 3000));
    EXPECT_EQ(Errors[1].Place, 9701u);
    EXPECT_EQ(Errors[1].Msg, "Error write TimeOut");
    EXPECT_FALSE(Port->SendInProgress());
}

TEST_F(SerialPortTest, LimitsAboveHundredAreCutWithAWarningOfNoiseOne)
{
    Port->SetXONLimDiv(150);
    EXPECT_EQ(Port->XONLimDiv(), 100);
    EXPECT_TRUE(Errors.empty());  // noise 1 is above the interfaces' level 0
    Port->ErrorNoise = 1;
    Port->SetXOFFLimDiv(101);
    EXPECT_EQ(Port->XOFFLimDiv(), 100);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Place, 100u);
    EXPECT_EQ(Errors[0].Msg, "Warning XOffLimDef set to 100");
}

TEST_F(SerialPortTest, SecondOpenOfTheSamePortIsRefused)
{
    Port->SetActive(true);
    ASSERT_TRUE(Port->Active());
    TSerialPortNG other;
    std::vector<TError> otherErrors;
    other.ErrorNoise = 0;
    other.OnProcessError = [&](TSerialPortNG*, unsigned place, unsigned code, const std::string& msg, uint8_t noise) {
        otherErrors.push_back({place, code, msg, noise});
    };
    other.SetCommPort(Pty.SlavePath());
    other.SetActive(true);
    EXPECT_FALSE(other.Active());
    ASSERT_EQ(otherErrors.size(), 1u);
    EXPECT_EQ(otherErrors[0].Place, 112u);
    EXPECT_EQ(otherErrors[0].Code, unsigned(EBUSY));
    // Once the first one closes, the port is free again.
    Port->SetActive(false);
    other.SetActive(true);
    EXPECT_TRUE(other.Active());
}

TEST_F(SerialPortTest, MissingDeviceAndNonTerminalAreReported)
{
    Port->SetCommPort("/dev/catchline-no-such-port");
    Port->SetActive(true);
    EXPECT_FALSE(Port->Active());
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Place, 112u);
    EXPECT_EQ(Errors[0].Code, unsigned(ENOENT));

    Errors.clear();
    Port->SetCommPort("/dev/null");
    Port->SetActive(true);
    EXPECT_FALSE(Port->Active());
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Place, 801u);
}

TEST_F(SerialPortTest, PulledCableIsReportedOnceAndTheDataBeforeItKept)
{
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("1234")));
    ASSERT_TRUE(WaitFor([&] { return Received() == "1234"; }));
    Pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !Errors.empty(); }));
    Pump(300);
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_EQ(Errors[0].Place, 9804u);
    EXPECT_EQ(Errors[0].Code, unsigned(EIO));
    EXPECT_EQ(Received(), "1234");
    Port->SetActive(false);
    EXPECT_FALSE(Port->Active());
}

TEST_F(SerialPortTest, ClosingInsideTheClusterHandlerDoesNotHang)
{
    Port->OnRxClusterEvent = [this](TSerialPortNG* p) {
        ++ClusterEvents;
        p->SetActive(false);
    };
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string(40, 'z')));
    ASSERT_TRUE(WaitFor([&] { return ClusterEvents > 0; }));
    Pump(100);
    EXPECT_EQ(ClusterEvents, 1);
    EXPECT_FALSE(Port->Active());
    // Reopening works and the port delivers again.
    Port->OnRxClusterEvent = [this](TSerialPortNG* p) { Clusters.push_back(p->ReadNextClusterAsString()); };
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("abcd")));
    ASSERT_TRUE(WaitFor([&] { return Received().find("abcd") != std::string::npos; }));
}

TEST_F(SerialPortTest, EventsOfOneReadGoOverInOneHandoverInOrder)
{
    std::vector<std::string> order;
    Port->OnRxCharEvent = [&](TSerialPortNG*) { order.push_back("char"); };
    Port->OnRxClusterEvent = [&](TSerialPortNG* p) { order.push_back("cluster " + p->ReadNextClusterAsString()); };
    Port->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return Port->Handovers() > 0; }));  // the handlers noted at the open
    const uint64_t before = Port->Handovers();
    const std::string frames[] = {"ABCD", "EFGH", "IJKL", "MNOP"};
    for (const std::string& frame : frames) {
        const size_t seen = order.size();
        ASSERT_TRUE(Pty.Write(frame));
        ASSERT_TRUE(WaitFor([&] { return order.size() >= seen + 2; }));
    }
    ASSERT_EQ(order.size(), 8u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(order[2 * i], "char");
        EXPECT_EQ(order[2 * i + 1], "cluster " + frames[i]);
    }
    // The character and the cluster event of a frame arrive together.
    EXPECT_EQ(Port->Handovers() - before, 4u);
    EXPECT_TRUE(Errors.empty());
}

TEST_F(SerialPortTest, ClosingInAHandlerDropsTheRestOfThatReadsEvents)
{
    int eventChars = 0;
    Port->EventChar = '!';
    Port->OnRxEventCharEvent = [&](TSerialPortNG*) { ++eventChars; };
    Port->OnRxClusterEvent = [this](TSerialPortNG* p) {
        ++ClusterEvents;
        p->SetActive(false);
    };
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("ab!d")));
    ASSERT_TRUE(WaitFor([&] { return ClusterEvents > 0; }));
    Pump(200);
    EXPECT_EQ(ClusterEvents, 1);
    EXPECT_EQ(eventChars, 0);  // the port was closed before it
    EXPECT_FALSE(Port->Active());
    // Without the close the same read brings both events.
    Port->OnRxClusterEvent = [this](TSerialPortNG* p) {
        ++ClusterEvents;
        Clusters.push_back(p->ReadNextClusterAsString());
    };
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("ef!h")));
    ASSERT_TRUE(WaitFor([&] { return eventChars > 0; }));
    EXPECT_EQ(Received(), "ef!h");
}

// The worker thread's voluntary context switches (its wake-ups) so far.
long SerialWorkerWakeUps()
{
    long found = -1;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name != "serial port") continue;
        EXPECT_EQ(found, -1) << "more than one serial worker";
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) found = std::stol(line.substr(24));
    }
    return found;
}

TEST_F(SerialPortTest, IdleWorkerSleepsUntilInputOrClose)
{
    Port->ErrorNoise = 1;  // the close's "thread is running" warning included
    Port->SetActive(true);
    ASSERT_TRUE(Pty.Write(std::string("wxyz")));
    ASSERT_TRUE(WaitFor([&] { return Received() == "wxyz"; }));
    Pump(50);
    // A pseudo-terminal has no modem lines to watch: nothing wakes the
    // worker while no byte comes (it looked every 75 ms once).
    const long before = SerialWorkerWakeUps();
    ASSERT_GE(before, 0);
    Pump(600);
    EXPECT_LE(SerialWorkerWakeUps() - before, 2);
    // Input still comes at once, and closing wakes it.
    ASSERT_TRUE(Pty.Write(std::string("1234")));
    ASSERT_TRUE(WaitFor([&] { return Received() == "wxyz1234"; }, 1000));
    Errors.clear();
    Port->SetActive(false);
    EXPECT_FALSE(Port->Active());
    for (const auto& e : Errors) EXPECT_NE(e.Place, 104u) << e.Msg;
}

TEST_F(SerialPortTest, ClustersNobodyTakesAreBounded)
{
    Port->SetThreadQuietMode(true);
    Port->SetActive(true);
    const std::string block(64 * 256, 'q');
    const size_t blocks = TSerialPortNG::kMaxClusters / 256 + 8;
    for (size_t i = 0; i < blocks; ++i) ASSERT_TRUE(Pty.Write(block));
    ASSERT_TRUE(WaitFor([&] { return Port->Overflows() > 0; }, 20000));
    EXPECT_EQ(Port->ClusterCount(), TSerialPortNG::kMaxClusters);
}

TEST(SerialCharTime, TableByBaudRate)
{
    EXPECT_EQ(TSerialPortNG::CharTimeFor(9600), 1100u);
    EXPECT_EQ(TSerialPortNG::CharTimeFor(115200), 95u);
    EXPECT_EQ(TSerialPortNG::CharTimeFor(100000), 190u);
    EXPECT_EQ(TSerialPortNG::CharTimeFor(50), 1100u);
    EXPECT_EQ(TSerialPortNG::CharTimeFor(1000000), 43u);
}

TEST(UsbAdapters, LookupsByVendorProductAndSerial)
{
    EnsureApp();
    SetVirtualEnvironmentForTesting("");
    SetUsbSerialPortsForTesting(std::vector<TUsbSerialPort>{
        {"/dev/ttyUSB0", kFtdiVendor, kFtdiProduct, "A600ABCD"},
        {"/dev/ttyUSB1", kSiliconLabsVendor, kOtmProduct, "0001"},
        {"/dev/ttyACM0", 0x2341, 0x0043, "X"},
    });
    EXPECT_EQ(PresentAdapters(), std::vector<std::string>{"A600ABCD"});
    EXPECT_EQ(AdapterPort("A600ABCD"), "/dev/ttyUSB0");
    EXPECT_EQ(AdapterPort("NOPE"), "?");
    EXPECT_EQ(PortAdapter("/DEV/TTYUSB0"), "A600ABCD");
    EXPECT_EQ(PortAdapter("/dev/ttyUSB1"), "?");
    EXPECT_EQ(AdapterPorts(kSiliconLabsVendor, kOtmProduct), std::vector<std::string>{"/dev/ttyUSB1"});
    EXPECT_TRUE(IsAdapterSource("demo"));
    EXPECT_TRUE(IsAdapterSource("/dev/ttyUSB0"));
    EXPECT_FALSE(IsAdapterSource("/dev/ttyACM0"));
    // Inside a virtual machine the look-ups answer "".
    SetVirtualEnvironmentForTesting("VirtualBox");
    EXPECT_EQ(AdapterPort("A600ABCD"), "");
    EXPECT_EQ(PortAdapter("/dev/ttyUSB9"), "");
    SetVirtualEnvironmentForTesting("");
    SetUsbSerialPortsForTesting(std::nullopt);
}

TEST(UsbAdapters, PortsFromTheSysfsTree)
{
    // A sysfs tree as the kernel lays it out: class/tty links to the
    // terminals in the device tree, whose "device" links lead to the USB
    // serial port, below the USB interface, below the USB device.
    namespace fs = std::filesystem;
    EnsureApp();
    SetVirtualEnvironmentForTesting("");
    const fs::path root = TempFolder() + "sys";
    auto file = [](const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text << "\n";
    };
    auto usbTerminal = [&](const std::string& device, const std::string& vendor, const std::string& product,
                           const std::string& serial, const std::string& tty, bool acm) {
        const fs::path dev = root / "devices/pci0000:00/0000:00:14.0/usb1" / device;
        file(dev / "idVendor", vendor);
        file(dev / "idProduct", product);
        if (!serial.empty()) file(dev / "serial", serial);
        const fs::path iface = dev / (device + ":1.0");
        // ACM terminals hang off the interface; usb-serial ones off their own port folder.
        const fs::path port = acm ? iface : iface / tty;
        const fs::path terminal = port / "tty" / tty;
        fs::create_directories(terminal);
        fs::create_directory_symlink(fs::relative(port, terminal), terminal / "device");
        fs::create_directories(root / "class/tty");
        fs::create_directory_symlink(fs::relative(terminal, root / "class/tty"), root / "class/tty" / tty);
    };
    usbTerminal("1-1", "0403", "6001", "A600ABCD", "ttyUSB0", false);
    usbTerminal("1-2", "10c4", "82ba", "0001", "ttyUSB1", false);
    usbTerminal("1-3", "2341", "0043", "", "ttyACM0", true);
    // A virtual terminal (no device) and a built-in port (no USB device above it).
    fs::create_directories(root / "devices/virtual/tty/tty0");
    fs::create_directory_symlink(fs::relative(root / "devices/virtual/tty/tty0", root / "class/tty"),
                                 root / "class/tty/tty0");
    const fs::path builtin = root / "devices/platform/serial8250/tty/ttyS0";
    fs::create_directories(builtin);
    fs::create_directory_symlink(fs::relative(root / "devices/platform/serial8250", builtin), builtin / "device");
    fs::create_directory_symlink(fs::relative(builtin, root / "class/tty"), root / "class/tty/ttyS0");

    const auto ports = UsbSerialPortsUnder(root.string());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].Port, "/dev/ttyACM0");
    EXPECT_EQ(ports[0].Vendor, 0x2341);
    EXPECT_EQ(ports[0].Serial, "");
    EXPECT_EQ(ports[1].Port, "/dev/ttyUSB0");
    EXPECT_EQ(ports[1].Vendor, kFtdiVendor);
    EXPECT_EQ(ports[1].Product, kFtdiProduct);
    EXPECT_EQ(ports[1].Serial, "A600ABCD");
    EXPECT_EQ(ports[2].Port, "/dev/ttyUSB1");
    EXPECT_EQ(ports[2].Vendor, kSiliconLabsVendor);
    EXPECT_EQ(ports[2].Product, kOtmProduct);

    SetSysfsRootForTesting(root.string());
    EXPECT_EQ(PresentAdapters(), std::vector<std::string>{"A600ABCD"});
    EXPECT_EQ(AdapterPort("A600ABCD"), "/dev/ttyUSB0");
    EXPECT_EQ(PortAdapter("/dev/ttyusb0"), "A600ABCD");
    EXPECT_EQ(PortAdapter("/dev/ttyS0"), "?");
    EXPECT_EQ(AdapterPorts(kSiliconLabsVendor, kOtmProduct), std::vector<std::string>{"/dev/ttyUSB1"});
    // The adapter pulled: its port is gone from the look-ups.
    fs::remove(root / "class/tty/ttyUSB0");
    EXPECT_TRUE(PresentAdapters().empty());
    EXPECT_EQ(AdapterPort("A600ABCD"), "?");
    SetSysfsRootForTesting("");
    // No sysfs tree at all: no ports, no failure.
    EXPECT_TRUE(UsbSerialPortsUnder((root / "missing").string()).empty());
}

}  // namespace
