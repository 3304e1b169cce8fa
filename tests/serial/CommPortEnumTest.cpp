#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "serial/CommPortEnum.h"
#include "serial/LockTestSupport.h"
#include "serial/PosixPort.h"
#include "serial/QuorSerial.h"
#include "serial/UucpLock.h"
#include "sim/core/PtyBridge.h"
#include "sim/core/ScriptedDevice.h"
#include "support/TempDir.h"

namespace quor {
namespace {

namespace fs = std::filesystem;
using quor::testing::TempDir;
using quor::testing::WriteFile;

// A small sysfs tree laid out as the kernel does it: every class entry a
// relative symlink into /sys/devices, "device" a symlink to the parent
// device, USB strings on the USB device two or three levels further up.
class SysfsTree {
public:
    SysfsTree() {
        fs::create_directories(Sys() / "class" / "tty");
        fs::create_directories(Dev());
    }
    fs::path Sys() const { return dir_.Path() / "sys"; }
    fs::path Dev() const { return dir_.Path() / "dev"; }
    CommPortEnumPaths Paths() const { return {Sys().string(), Dev().string()}; }
    std::string DevPath(const std::string& name) const { return (Dev() / name).string(); }

    struct Usb {
        std::string product;
        std::string manufacturer;
        std::string serial;
        std::string idProduct = "6001";
    };

    // A usb-serial port (ttyUSB): class device under the port device under the interface.
    void AddUsbSerial(const std::string& name, const Usb& usb) {
        fs::path iface = AddUsbDevice(usb) / (usbDevice_ + ":1.0");
        fs::path port = iface / name;
        AddClassEntry(name, port / "tty" / name, "../../../" + name);
    }
    // A CDC ACM port: class device right under the interface.
    void AddAcm(const std::string& name, const Usb& usb) {
        fs::path iface = AddUsbDevice(usb) / (usbDevice_ + ":1.0");
        AddClassEntry(name, iface / "tty" / name, "../../../" + usbDevice_ + ":1.0");
    }
    // An 8250 port; type 0 when no UART was detected at its address.
    void AddUart(const std::string& name, int type) {
        fs::path folder = Sys() / "devices" / "platform" / "serial8250" / "tty" / name;
        AddClassEntry(name, folder, "../../../serial8250");
        WriteFile((folder / "type").string(), std::to_string(type) + "\n");
    }
    // A virtual terminal or an unbound rfcomm: no device link.
    void AddVirtual(const std::string& name) {
        AddClassEntry(name, Sys() / "devices" / "virtual" / "tty" / name, "");
    }

private:
    fs::path AddUsbDevice(const Usb& usb) {
        usbDevice_ = "1-" + std::to_string(++usbCount_);
        fs::path dev = Sys() / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / usbDevice_;
        fs::create_directories(dev);
        WriteFile((dev / "idVendor").string(), "0403\n");
        WriteFile((dev / "idProduct").string(), usb.idProduct + "\n");
        if (!usb.product.empty()) WriteFile((dev / "product").string(), usb.product + "\n");
        if (!usb.manufacturer.empty()) WriteFile((dev / "manufacturer").string(), usb.manufacturer + "\n");
        if (!usb.serial.empty()) WriteFile((dev / "serial").string(), usb.serial + "\n");
        return dev;
    }
    void AddClassEntry(const std::string& name, const fs::path& folder, const std::string& deviceLink) {
        fs::create_directories(folder);
        WriteFile((folder / "dev").string(), "188:0\n");
        if (!deviceLink.empty()) {
            fs::create_directories(folder / deviceLink);  // the parent device exists
            fs::create_directory_symlink(deviceLink, folder / "device");
        }
        fs::create_directory_symlink(fs::relative(folder, Sys() / "class" / "tty"), Sys() / "class" / "tty" / name);
        WriteFile(DevPath(name), "");
    }

    TempDir dir_;
    int usbCount_ = 0;
    std::string usbDevice_;
};

// Says for each device path whether it opens; unknown paths are absent.
class FakePorts final : public PortProvider {
public:
    void Set(const std::string& path, PortError e) { results_[path] = e; }
    PortError Open(const char* name, std::unique_ptr<PortDriver>& out) override {
        out.reset();
        opened.emplace_back(name);
        auto it = results_.find(name);
        return it == results_.end() ? kErrNoSuchPort : it->second;
    }
    std::vector<std::string> opened;

private:
    std::map<std::string, PortError> results_;
};

class CommPortEnumTest : public ::testing::Test {
protected:
    // Every port of the tree opens unless a test says otherwise.
    void Free(std::initializer_list<const char*> names) {
        for (const char* n : names) ports.Set(tree.DevPath(n), kPortOk);
    }
    ResultCode Enumerate(std::uint32_t capacity, bool force = false) {
        list.assign(capacity, PortRecord{});
        count = capacity;
        return CommPortEnumIn(tree.Paths(), list.data(), &count, force);
    }
    std::vector<std::string> Descriptions() const {
        std::vector<std::string> out;
        for (std::uint32_t i = 0; i < count; ++i) out.push_back(list[i].description.str());
        return out;
    }

    SysfsTree tree;
    FakePorts ports;
    ScopedPortProvider guard{ports};
    std::vector<PortRecord> list;
    std::uint32_t count = 0;
};

TEST_F(CommPortEnumTest, ListsRealPortsInNaturalOrderWithTheirNames) {
    tree.AddUsbSerial("ttyUSB10", {"FT232R USB UART", "FTDI", "A6008ISP"});
    tree.AddUart("ttyS10", 4);
    tree.AddAcm("ttyACM0", {"Pico", "Raspberry Pi", "E660"});
    tree.AddUart("ttyS2", 4);
    tree.AddUsbSerial("ttyUSB2", {"USB-Serial Controller", "Prolific Technology Inc.", ""});
    tree.AddUart("ttyS3", 0);       // no UART behind it
    tree.AddVirtual("tty0");        // a virtual terminal
    tree.AddVirtual("rfcomm1");     // bound Bluetooth channel
    tree.AddVirtual("console");
    Free({"ttyUSB10", "ttyS10", "ttyACM0", "ttyS2", "ttyUSB2", "rfcomm1"});

    EXPECT_EQ(Enumerate(16), 6);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{
                                  "rfcomm1 Communications Port",
                                  "ttyACM0 Raspberry Pi Pico",
                                  "ttyS2 Communications Port",
                                  "ttyS10 Communications Port",
                                  "ttyUSB2 Prolific Technology Inc. USB-Serial Controller",
                                  "ttyUSB10 FTDI FT232R USB UART",
                              }));
    const char* names[] = {"rfcomm1", "ttyACM0", "ttyS2", "ttyS10", "ttyUSB2", "ttyUSB10"};
    const int numbers[] = {1, 0, 2, 10, 2, 10};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(list[i].name, names[i]);
        EXPECT_EQ(list[i].portNumber, numbers[i]);
    }
    // Only the listed ports were tried, and nothing probed.
    EXPECT_EQ(ports.opened.size(), 6u);
    // The rest of the caller's list is cleared.
    EXPECT_TRUE(list[6].name.empty());
}

TEST_F(CommPortEnumTest, PortsThatDoNotOpenAreMarkedBusy) {
    tree.AddUsbSerial("ttyUSB0", {"FT232R USB UART", "FTDI", ""});
    tree.AddUsbSerial("ttyUSB1", {"CP2102 USB to UART Bridge Controller", "Silicon Labs", ""});
    tree.AddUsbSerial("ttyUSB2", {"A product name long enough to fill the whole description line", "", ""});
    tree.AddUart("ttyS0", 4);
    Free({"ttyUSB1"});
    ports.Set(tree.DevPath("ttyUSB0"), kErrInUse);
    ports.Set(tree.DevPath("ttyS0"), kErrPermission);
    ports.Set(tree.DevPath("ttyUSB2"), kErrInUse);

    EXPECT_EQ(Enumerate(16), 4);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{
                                  "ttyS0 Communications Port (busy)",
                                  "ttyUSB0 FTDI FT232R USB UART (busy)",
                                  "ttyUSB1 Silicon Labs CP2102 USB to UART Bridge Controller",
                                  "ttyUSB2 A product name long enough to fill the whole description",
                              }));
    EXPECT_EQ(list[3].description.size(), 64u);
}

TEST_F(CommPortEnumTest, MakersAdapterIsNamedWithItsTag) {
    tree.AddUsbSerial("ttyUSB0", {"Karvell USB Serial", "Karvell", "KARVELL_QLA[Bench 3]", "8414"});
    tree.AddUsbSerial("ttyUSB1", {"Karvell USB Serial", "Karvell", "karvell_qla0042", "8414"});
    tree.AddUsbSerial("ttyUSB2", {"Karvell USB Serial", "Karvell", "KARVELL_QLA[X]", "6001"});  // other product id
    tree.AddUsbSerial("ttyUSB3", {"Karvell USB Serial", "Karvell", "FT12345[X]", "8414"});      // other serial
    tree.AddUsbSerial("ttyUSB4", {"USB Serial", "Karvell", "KARVELL_QLA[X]", "8414"});          // other product
    Free({"ttyUSB0", "ttyUSB2", "ttyUSB3", "ttyUSB4"});
    ports.Set(tree.DevPath("ttyUSB1"), kErrInUse);

    EXPECT_EQ(Enumerate(16), 5);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{
                                  "ttyUSB0 Karvell QLA [Bench 3]",
                                  "ttyUSB1 Karvell QLA (busy)",
                                  "ttyUSB2 Karvell USB Serial",
                                  "ttyUSB3 Karvell USB Serial",
                                  "ttyUSB4 Karvell USB Serial",
                              }));
}

TEST_F(CommPortEnumTest, RadioModemsAreRenamedAfterTheBusyTest) {
    tree.AddUsbSerial("ttyUSB0", {"MaxStream PKG-U", "MaxStream", ""});
    tree.AddUsbSerial("ttyUSB1", {"Digi PKG-U", "Digi International", ""});
    tree.AddUsbSerial("ttyUSB2", {"PKG-U", "Digi", ""});
    Free({"ttyUSB1", "ttyUSB2"});
    ports.Set(tree.DevPath("ttyUSB0"), kErrInUse);

    EXPECT_EQ(Enumerate(16), 3);
    // The busy modem loses its mark with its name.
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{
                                  "ttyUSB0 Karvell USB Zt4",
                                  "ttyUSB1 Karvell USB Zt4",
                                  "ttyUSB2 Karvell USB Zt4",
                              }));
}

TEST_F(CommPortEnumTest, UsbPortWithoutStringsIsAPlainPort) {
    tree.AddUsbSerial("ttyUSB0", {"", "", ""});
    tree.AddAcm("ttyACM3", {"", "Only A Maker", ""});
    Free({"ttyUSB0", "ttyACM3"});
    EXPECT_EQ(Enumerate(16), 2);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"ttyACM3 Communications Port", "ttyUSB0 Communications Port"}));
}

TEST_F(CommPortEnumTest, CapacityKeepsTheFirstPortsAndStopsProbing) {
    for (int i = 19; i >= 0; --i) {
        std::string name = "ttyUSB" + std::to_string(i);
        tree.AddUsbSerial(name, {"FT232R USB UART", "FTDI", ""});
        ports.Set(tree.DevPath(name), kPortOk);
    }
    ports.Set(tree.DevPath("ttyS0"), kPortOk);
    EXPECT_EQ(Enumerate(16, true), 16);
    ASSERT_EQ(count, 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(list[i].name, "ttyUSB" + std::to_string(i));
    for (const std::string& opened : ports.opened) EXPECT_EQ(opened.find("ttyS"), std::string::npos) << opened;

    EXPECT_EQ(Enumerate(1), 1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(list[0].name, "ttyUSB0");
}

TEST_F(CommPortEnumTest, ForcedProbingAddsTheFirstSixteenSerialPortsThatExist) {
    tree.AddUart("ttyS0", 4);
    tree.AddUsbSerial("ttyUSB0", {"FT232R USB UART", "FTDI", ""});
    tree.AddUart("ttyS5", 0);
    Free({"ttyS0", "ttyUSB0", "ttyS2", "ttyS16"});
    ports.Set(tree.DevPath("ttyS1"), kErrInUse);
    ports.Set(tree.DevPath("ttyS15"), kErrPermission);
    ports.Set(tree.DevPath("ttyS3"), ETIMEDOUT);  // any other failure: not there

    EXPECT_EQ(Enumerate(16, false), 2);
    EXPECT_EQ(count, 2u);

    ports.opened.clear();
    EXPECT_EQ(Enumerate(16, true), 1);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{
                                  "ttyS0 Communications Port",
                                  "ttyUSB0 FTDI FT232R USB UART",
                                  "ttyS1 Communications Port (busy)",
                                  "ttyS2 Communications Port",
                                  "ttyS15 Communications Port (busy)",
                              }));
    EXPECT_EQ(list[2].portNumber, 1);
    EXPECT_EQ(list[4].portNumber, 15);
    // ttyS0 was listed, so 15 probes follow the two busy tests; never ttyS16.
    EXPECT_EQ(ports.opened.size(), 2u + 15u);
    EXPECT_EQ(ports.opened.back(), tree.DevPath("ttyS15"));

    // A full list takes no more probed ports.
    EXPECT_EQ(Enumerate(3, true), 1);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(list[2].name, "ttyS1");
}

TEST_F(CommPortEnumTest, WithoutTheDatabaseItProbes) {
    CommPortEnumPaths paths{(tree.Sys() / "missing").string(), tree.Dev().string()};
    std::vector<PortRecord> records(4);
    std::uint32_t n = 4;
    EXPECT_EQ(CommPortEnumIn(paths, records.data(), &n, false), 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(ports.opened.size(), 16u);

    ports.Set(tree.DevPath("ttyS4"), kPortOk);
    n = 4;
    EXPECT_EQ(CommPortEnumIn(paths, records.data(), &n, false), 1);
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(records[0].description, "ttyS4 Communications Port");
}

TEST_F(CommPortEnumTest, EmptyTreeListsNothing) {
    EXPECT_EQ(Enumerate(16), 0);
    EXPECT_EQ(count, 0u);
}

TEST_F(CommPortEnumTest, BadArgumentsAreRefusedBeforeAnythingIsTouched) {
    PortRecord one[1];
    one[0].name = "keep";
    std::uint32_t n = 1;
    EXPECT_EQ(CommPortEnumIn(tree.Paths(), nullptr, &n, false), -10);
    EXPECT_EQ(CommPortEnumIn(tree.Paths(), one, nullptr, false), -10);
    n = 0;
    EXPECT_EQ(CommPortEnumIn(tree.Paths(), one, &n, false), -11);
    EXPECT_EQ(one[0].name, "keep");
    QuorSerial lister(nullptr);
    EXPECT_EQ(lister.CommPortEnum(nullptr, &n, false), -10);
}

// The real driver's busy test on a port that another program holds only
// through its lock file (as minicom does).
TEST_F(CommPortEnumTest, APortLockedByALivingProgramIsBusy) {
    sim::ScriptedDevice device;
    sim::PtyBridge bridge(device);
    ASSERT_EQ(bridge.Start(), 0);
    tree.AddUsbSerial("ttyUSB0", {"FT232R USB UART", "FTDI", ""});
    fs::remove(tree.DevPath("ttyUSB0"));
    fs::create_symlink(bridge.SlavePath(), tree.DevPath("ttyUSB0"));
    TempDir locks;
    PosixPorts posix(locks.Path().string());
    ScopedPortProvider real(posix);

    const std::string lockPath = locks.File(LockFileName(bridge.SlavePath()));
    testing::LockHoldingChild other(lockPath);
    ASSERT_TRUE(other.Holding());
    EXPECT_EQ(Enumerate(16), 1);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"ttyUSB0 FTDI FT232R USB UART (busy)"}));
    other.Kill();
    EXPECT_EQ(Enumerate(16), 1);
    EXPECT_EQ(Descriptions(), (std::vector<std::string>{"ttyUSB0 FTDI FT232R USB UART"}));
}

TEST(PortNameOrder, PrefixThenNumber) {
    EXPECT_TRUE(PortNameLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(PortNameLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(PortNameLess("ttyACM9", "ttyS0"));
    EXPECT_TRUE(PortNameLess("ttyS99", "ttyUSB0"));
    EXPECT_TRUE(PortNameLess("ttyUSB9", "ttyUSB0010"));
    EXPECT_TRUE(PortNameLess("ttyUSB99999999999999999998", "ttyUSB99999999999999999999"));
    EXPECT_FALSE(PortNameLess("ttyS1", "ttyS1"));
}

// The machine's own tree, with every port reported free: whatever the
// machine has, the list is well-formed.
TEST(CommPortEnumOnThisMachine, ListsOnlyTtyClassEntriesInOrder) {
    class AllFree final : public PortProvider {
    public:
        PortError Open(const char*, std::unique_ptr<PortDriver>& out) override {
            out.reset();
            return kPortOk;
        }
    } allFree;
    ScopedPortProvider guard(allFree);
    PortRecord records[16];
    std::uint32_t n = 16;
    QuorSerial lister(nullptr);
    ASSERT_GE(lister.CommPortEnum(records, &n, false), 0);
    ASSERT_LE(n, 16u);
    for (std::uint32_t i = 0; i < n; ++i) {
        EXPECT_TRUE(fs::exists(fs::path("/sys/class/tty") / records[i].name.c_str())) << records[i].name.c_str();
        EXPECT_EQ(records[i].description.view().substr(0, records[i].name.size()), records[i].name);
        if (i > 0) {
            EXPECT_TRUE(PortNameLess(records[i - 1].name.c_str(), records[i].name.c_str()));
        }
    }
}

}  // namespace
}  // namespace quor
