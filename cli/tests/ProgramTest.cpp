// quorbsl run as a program: its version, argument errors, the port list of
// a fixture machine and the firmware image.

#include <gtest/gtest.h>
#include <pty.h>

#include <filesystem>
#include <fstream>

#include "cli/tests/CliTestSupport.h"
#include "support/TempDir.h"

namespace quor::cli {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::ProgramRun;
using testing::QuorbslRunner;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

TEST(ProgramTest, VersionAndHelp) {
    QuorbslRunner quorbsl;
    ProgramRun r = quorbsl({"--version"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, QUORBSL_VERSION_TEXT "\n");
    r = quorbsl({"--help"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(Contains(r.out, "update")) << r.out;
    EXPECT_TRUE(Contains(r.out, "7  settings-not-restored")) << r.out;
}

TEST(ProgramTest, ArgumentErrorsExitTwoWithTheReason) {
    QuorbslRunner quorbsl;
    ProgramRun r = quorbsl({"update", "--frobnicate"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(Contains(r.err, "--frobnicate")) << r.err;
    EXPECT_EQ(r.out, "");
    r = quorbsl({"update", "--simulate", "NOPE"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(Contains(r.err, "No simulated device of type \"NOPE\".")) << r.err;
    r = quorbsl({"update", "--simulate", "--sim-fault", "gremlins"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(Contains(r.err, "No simulator fault \"gremlins\".")) << r.err;
    r = quorbsl({"update", "--simulate", "--new-serial", "SIXTEEN-CHARS-XX"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(Contains(r.err, "at most 15 characters")) << r.err;
    r = quorbsl({"update", "--port", "ttyUSB0", "--port", "ttyUSB1", "--new-serial", "SN1"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_TRUE(Contains(r.err, "--new-serial names one device")) << r.err;
    // A usage error in JSON mode is a JSON result.
    r = quorbsl({"update", "--simulate", "NOPE", "--json"});
    EXPECT_EQ(r.exit, 2);
    ASSERT_FALSE(r.Json().empty());
    EXPECT_EQ(r.Json().back()["result"], "usage");
}

// A machine with a free USB adapter (a pty behind its device node), the
// maker's adapter held by another program, and a virtual terminal.
class PortsFixture : public ::testing::Test {
  protected:
    PortsFixture() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) ADD_FAILURE() << "no pty";
        AddUsb("ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A600");
        fs::create_symlink(name, Dev() / "ttyUSB0");
        AddUsb("ttyUSB1", "0451", "8414", "Karvell", "Karvell USB Adapter", "KARVELL_QLA[7]");
        Write(Dev() / "ttyUSB1", "");  // no terminal: it does not open, so busy
        fs::create_directories(Sys() / "devices/virtual/tty/tty0");
        fs::create_directory_symlink("../../devices/virtual/tty/tty0", Sys() / "class/tty/tty0");
    }
    ~PortsFixture() override {
        ::close(master_);
        ::close(slave_);
    }
    fs::path Sys() const { return dir_.Path() / "sys"; }
    fs::path Dev() const { return dir_.Path() / "dev"; }

    // A usb-serial port: its class entry links to the port's folder under
    // the USB interface, whose "device" is the port.
    void AddUsb(const std::string& tty, const std::string& vendor, const std::string& product,
                const std::string& maker, const std::string& productName,
                const std::string& serial) {
        const fs::path usb =
            Sys() / "devices/pci0000:00/usb1" / ("1-" + std::to_string(++usbCount_));
        Write(usb / "idVendor", vendor + "\n");
        Write(usb / "idProduct", product + "\n");
        Write(usb / "manufacturer", maker + "\n");
        Write(usb / "product", productName + "\n");
        Write(usb / "serial", serial + "\n");
        const fs::path port = usb / "1-1:1.0" / tty;
        const fs::path cls = port / "tty" / tty;
        fs::create_directories(cls);
        fs::create_directory_symlink("../../../" + tty, cls / "device");
        fs::create_directories(Sys() / "class/tty");
        fs::create_directory_symlink(fs::relative(cls, Sys() / "class/tty"),
                                     Sys() / "class/tty" / tty);
        fs::create_directories(Dev());
    }
    std::vector<std::string> Args(std::vector<std::string> extra) const {
        std::vector<std::string> a = {"ports", "--sys-root", Sys().string(), "--dev-dir",
                                      Dev().string()};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }

    QuorbslRunner quorbsl;

  private:
    quor::testing::TempDir dir_;
    int master_ = -1;
    int slave_ = -1;
    int usbCount_ = 0;
};

TEST_F(PortsFixture, ListsPortsWithFriendlyNamesAndBusyMarks) {
    ProgramRun r = quorbsl(Args({}));
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{
                                "ttyUSB0        ttyUSB0 FTDI FT232R USB UART",
                                "ttyUSB1        ttyUSB1 Karvell QLA [7] (busy)",
                            }));
    r = quorbsl(Args({"--json"}));
    ASSERT_EQ(r.Json().size(), 2u) << r.out;
    EXPECT_EQ(r.Json()[0]["port"], "ttyUSB0");
    EXPECT_EQ(r.Json()[0]["busy"], false);
    EXPECT_EQ(r.Json()[1]["description"], "ttyUSB1 Karvell QLA [7] (busy)");
    EXPECT_EQ(r.Json()[1]["busy"], true);
}

TEST_F(PortsFixture, AnEmptyMachineSaysSo) {
    fs::remove_all(Sys() / "class/tty");
    fs::create_directories(Sys() / "class/tty");
    ProgramRun r = quorbsl(Args({}));
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "No Comm Ports Found\n");
}

TEST(ImageCommandTest, BuiltInImageItsDumpAndTheDumpReadBack) {
    QuorbslRunner quorbsl;
    ProgramRun r = quorbsl({"image"});
    ASSERT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.OutLines()[0], "Label:       TRU 3.65");
    EXPECT_TRUE(Contains(r.out, "Device type: TRU (Dewmark Tru)"));
    EXPECT_TRUE(Contains(r.out, "Version:     365"));
    EXPECT_TRUE(Contains(r.out, "Image text:  62534 characters"));

    r = quorbsl({"image", "--json"});
    ASSERT_EQ(r.Json().size(), 1u);
    const nlohmann::json image = r.Json()[0];
    EXPECT_EQ(image["textLength"], 62534);
    std::uint64_t sum = 0;
    for (const auto& s : image["sections"]) sum += s["bytes"].get<std::uint64_t>();
    EXPECT_EQ(image["bytes"].get<std::uint64_t>(), sum);
    // Four hex digits a word, six characters a header.
    EXPECT_EQ(62534u, sum * 2 + 6 * image["sections"].size());

    // The dump is the image text in lines, then the vector table.
    const std::string dump = quorbsl.File("image.txt");
    r = quorbsl({"image", "--dump", dump});
    ASSERT_EQ(r.exit, 0) << r.err;
    std::string digits;
    for (char c : quor::testing::ReadFile(dump)) {
        if (c != '\n') digits.push_back(c);
    }
    EXPECT_EQ(digits.rfind("@01100", 0), 0u);
    EXPECT_EQ(digits.size(), 62534u + 5 + 16 * 4);
    EXPECT_EQ(digits.find("@FFE0"), 62534u);
}

TEST(ImageCommandTest, ADumpThatCannotBeWrittenIsAnError) {
    QuorbslRunner quorbsl;
    ProgramRun r = quorbsl({"image", "--dump", "/nonexistent/folder/image.txt"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(Contains(r.err, "Error saving firmware image: ")) << r.err;
}

TEST(ImageCommandTest, AFileThatIsNoFirmwareIsRefused) {
    QuorbslRunner quorbsl;
    const std::string file = quorbsl.File("broken.txt");
    std::ofstream(file) << "@1100\n31 4X\nq\n";
    ProgramRun r = quorbsl({"image", file});
    EXPECT_EQ(r.exit, 4);
    EXPECT_TRUE(Contains(r.err, "File Error")) << r.err;
    EXPECT_TRUE(Contains(r.err, "is not a valid firmware file")) << r.err;
    // The reader's log line says where and why, and no log file is left.
    EXPECT_TRUE(Contains(r.err, "BSLLoadTIFile refused line 2 of file " + file)) << r.err;
    EXPECT_FALSE(fs::exists(quorbsl.File("error.txt")));
}

}  // namespace
}  // namespace quor::cli
