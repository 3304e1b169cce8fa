// The termios driver against a real pseudo-terminal, in real time: the
// installed clock and port provider are the system's own here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/PosixPort.h"
#include "serial/QuorSerial.h"
#include "serial/LockTestSupport.h"
#include "serial/UucpLock.h"
#include "sim/core/PtyBridge.h"
#include "sim/core/ScriptedDevice.h"
#include "support/TempDir.h"

namespace quor {
namespace {

// The bridge notices an open or a close within a few milliseconds.
constexpr auto kSettleLimit = std::chrono::milliseconds(1000);

bool Eventually(const std::function<bool()>& condition) {
    auto until = std::chrono::steady_clock::now() + kSettleLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class PtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(bridge.Start(), 0);
        path = bridge.SlavePath();
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    }

    // One command and its reply through the driver and the bridge.
    std::string Exchange(QuorSerial& port, const std::string& command, char terminator) {
        std::uint32_t n = 0;
        EXPECT_EQ(port.DSWrite(command.data(), static_cast<std::uint32_t>(command.size()), &n),
                  static_cast<ResultCode>(command.size()));
        EXPECT_EQ(port.DSWait(1000, terminator), static_cast<unsigned char>(terminator));
        char reply[64] = {};
        ResultCode got = port.DSRead(reply, sizeof reply, &n);
        EXPECT_EQ(got, static_cast<ResultCode>(n));
        return std::string(reply, n);
    }

    std::vector<std::string> DeviceLines() {
        std::vector<std::string> lines;
        bridge.Call([&] { lines = device.Lines(); });
        return lines;
    }

    sim::ScriptedDevice device;
    sim::PtyBridge bridge{device};
    std::string path;
};

TEST_F(PtyTest, OpensByPathAndRefusesASecondExclusiveOpen) {
    QuorSerial first(nullptr);
    QuorSerial second(nullptr);
    ASSERT_EQ(first.DSOpen(path.c_str(), 9600), 1);
    EXPECT_EQ(second.DSOpen(path.c_str(), 9600), -5);
    EXPECT_FALSE(second.IsOpen());
    if (::geteuid() != 0) {
        // TIOCEXCL also keeps out a program that does not lock (root passes it).
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_LT(fd, 0);
        EXPECT_EQ(errno, EBUSY);
        if (fd >= 0) ::close(fd);
    }
    EXPECT_EQ(first.DSClose(), 1);
    // Closing gives the port up.
    EXPECT_EQ(second.DSOpen(path.c_str(), 9600), 1);
}

TEST_F(PtyTest, MissingPortsAreNotAvailable) {
    QuorSerial port(nullptr);
    EXPECT_EQ(port.DSOpen("quor-no-such-port", 9600), -2);
    EXPECT_EQ(port.DSOpen("/dev/pts/99999999", 9600), -2);
    testing::TempDir dir;
    testing::WriteFile(dir.File("plain"), "not a terminal");
    EXPECT_EQ(port.DSOpen(dir.File("plain").c_str(), 9600), -2);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PtyTest, RateChangeReachesTheTerminal) {
    QuorSerial port(nullptr);
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    EXPECT_EQ(bridge.HostBaud(), 9600u);
    EXPECT_EQ(port.DSHostBaud(57600), 1);
    EXPECT_EQ(bridge.HostBaud(), 57600u);
    EXPECT_EQ(port.DSHostBaud(57600), 0);
    // A rate the terminal does not have is refused and changes nothing.
    EXPECT_EQ(port.DSHostBaud(12345), -11);
    EXPECT_EQ(port.BaudRate(), 57600u);
    EXPECT_EQ(bridge.HostBaud(), 57600u);

    bridge.Call([&] { device.On("get -ver", "TRU 3.65\r\n>"); });
    EXPECT_EQ(Exchange(port, "get -ver\r", '>'), "TRU 3.65\r\n>");
}

TEST_F(PtyTest, DtrOnAPtyIsToleratedAndOpenAndCloseReachTheDevice) {
    QuorSerial port(nullptr);
    EXPECT_FALSE(bridge.Dtr());
    // The pty has no modem lines: raising DTR on open and dropping it on
    // close must not fail either.
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    EXPECT_TRUE(Eventually([&] { return bridge.Dtr(); }));
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_TRUE(Eventually([&] { return !bridge.Dtr(); }));
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    EXPECT_TRUE(Eventually([&] { return bridge.Dtr(); }));
}

TEST_F(PtyTest, WaitAndReadRoundTripThroughTheBridge) {
    // The model lives on the bridge's thread; it is set up there.
    bridge.Call([&] {
        device.On("get -ver", "TRU 3.65\r\n>");
        device.On("get -name", "Bench unit\r\n>");
        device.SetReplyDelayMs(20);
    });
    QuorSerial port(nullptr);
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    port.DSPurge(1);

    std::uint32_t start = DSMilliseconds();
    EXPECT_EQ(Exchange(port, "get -ver\r", '>'), "TRU 3.65\r\n>");
    // The device's reply delay runs on the real clock.
    EXPECT_GE(DSMilliseconds() - start, 20u);
    EXPECT_EQ(Exchange(port, "get -name\r", '>'), "Bench unit\r\n>");
    EXPECT_EQ(DeviceLines(), (std::vector<std::string>{"get -ver", "get -name"}));

    // A reply cut to the caller's capacity: the rest stays unread.
    std::uint32_t n = 0;
    ASSERT_EQ(port.DSWrite("get -ver\r", 9, &n), 9);
    EXPECT_EQ(port.DSWait(1000, '>'), '>');
    char small[4] = {};
    EXPECT_EQ(port.DSRead(small, sizeof small, &n), 4);
    EXPECT_EQ(std::string(small, n), "TRU ");
}

TEST_F(PtyTest, AVanishedPortIsNotAvailable) {
    QuorSerial port(nullptr);
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    bridge.Stop();
    // The other end is gone: the terminal hangs up, like an unplugged adapter.
    EXPECT_EQ(port.DSHostBaud(57600), -2);
    std::uint32_t n = 0;
    EXPECT_EQ(port.DSWrite("x", 1, &n), -21);
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_EQ(port.DSOpen(path.c_str(), 9600), -2);
}

TEST_F(PtyTest, ProbeFindsAHeldPortBusyAndAFreeOneFree) {
    PortProvider& posix = PosixPortProvider();
    QuorSerial holder(nullptr);
    EXPECT_EQ(posix.Probe(path.c_str()), kPortOk);
    ASSERT_EQ(holder.DSOpen(path.c_str(), 9600), 1);
    EXPECT_EQ(posix.Probe(path.c_str()), kErrInUse);
    EXPECT_EQ(holder.DSClose(), 1);
    EXPECT_EQ(posix.Probe(path.c_str()), kPortOk);
    EXPECT_EQ(posix.Probe("quor-no-such-port"), kErrNoSuchPort);
}

TEST_F(PtyTest, ProbeLeavesTheSettingsOfAProgramThatDoesNotLock) {
    // A terminal program holding the port, line mode at 19200, no lock.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    tio.c_lflag |= ICANON | ECHO;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);

    EXPECT_EQ(PosixPortProvider().Probe(path.c_str()), kPortOk);
    termios after{};
    ASSERT_EQ(::tcgetattr(fd, &after), 0);
    EXPECT_TRUE(after.c_lflag & ICANON);
    EXPECT_TRUE(after.c_lflag & ECHO);
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B19200));
#ifdef TIOCGEXCL
    int exclusive = -1;
    ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
#endif
    ::close(fd);
}

TEST(PosixPortErrors, EverySystemErrorMapsOntoAPortNumber) {
    struct Case {
        int err;
        PortError port;
    };
    // Raw numbers would read as the program's own codes: EISDIR 21 is "no
    // answer", ELOOP 40 "cancelled", EINVAL 22 "no answer in the last attempt".
    const Case cases[] = {
        {ENOENT, kErrNoSuchPort},      {ENXIO, kErrNoSuchPort},   {ENODEV, kErrNoSuchPort},
        {ENOTDIR, kErrNoSuchPort},     {EISDIR, kErrNoSuchPort},  {ELOOP, kErrNoSuchPort},
        {EIO, kErrNoSuchPort},         {EBADF, kErrNoSuchPort},   {ETIMEDOUT, kErrNoSuchPort},
        {ENOTTY, kErrNoSuchPort},      {EMFILE, kErrNoSuchPort},  {ENOMEM, kErrNoSuchPort},
        {EBUSY, kErrInUse},            {EWOULDBLOCK, kErrInUse},  {ETXTBSY, kErrInUse},
        {EACCES, kErrPermission},      {EPERM, kErrPermission},   {EROFS, kErrPermission},
        {EINVAL, kErrOutOfRange},      {ERANGE, kErrOutOfRange},  {ENAMETOOLONG, kErrOutOfRange},
    };
    for (const Case& c : cases) EXPECT_EQ(PosixPort::MapErrno(c.err), c.port) << c.err;
    for (int err = 1; err < 200; ++err) {
        PortError e = PosixPort::MapErrno(err);
        EXPECT_EQ(KnownPortError(e), e) << err;
        EXPECT_NE(e, kPortOk) << err;
    }
}

// What opening gives for paths that are no port, with its log line.
TEST_F(PtyTest, OpeningErrorsAreThePortCodes) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink(dir.File("loop-b"), dir.File("loop-a"));
    std::filesystem::create_symlink(dir.File("loop-a"), dir.File("loop-b"));
    testing::WriteFile(dir.File("plain"), "not a terminal");
    const std::string longComponent = dir.File(std::string(NAME_MAX + 1, 'c'));
    // Fits as a name, but not once "/dev/" is put in front of it.
    const std::string tooLongWithDev(kMaxPortNameChars - 2, 'd');
    const std::string tooLongName(kMaxPortNameChars + 1, 'n');
    struct Case {
        std::string name;
        ResultCode result;
    };
    const Case cases[] = {
        {dir.File("folder"), -2},    // was -21, EISDIR
        {dir.File("loop-a"), -2},    // was -40, ELOOP
        {dir.File("missing"), -2},
        {dir.File("plain"), -2},
        {"quor-no-such-port", -2},
        {longComponent, -11},
        {tooLongWithDev, -11},
        {tooLongName, -11},          // refused whole, never cut
    };
    std::string logPath = dir.File("serial.log");
    QuorLog log(logPath.c_str(), QuorLog::kLevelTrace);
    for (const Case& c : cases) {
        QuorSerial port(&log);
        EXPECT_EQ(port.DSOpen(c.name.c_str(), 9600), c.result) << c.name.substr(0, 80);
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.BaudRate(), 0u);
        EXPECT_EQ(port.DSClose(), 0);
    }
    std::string text = testing::ReadFile(logPath);
    EXPECT_NE(text.find(dir.File("loop-a") + ": DSOpen failed to open comm port (error 2)"), std::string::npos);
    EXPECT_NE(text.find("QuorSerial: DSOpen refused a port name of " + std::to_string(tooLongName.size()) +
                        " characters (at most " + std::to_string(kMaxPortNameChars) + ")"),
              std::string::npos);

    if (::geteuid() != 0) {
        // Root opens whatever the mode says.
        std::string denied = dir.File("denied");
        testing::WriteFile(denied, "");
        ::chmod(denied.c_str(), 0);
        QuorSerial port(&log);
        EXPECT_EQ(port.DSOpen(denied.c_str(), 9600), -9);
    }
}

TEST_F(PtyTest, ARateThePortCannotRunIsOutOfRangeAndNotRecorded) {
    QuorSerial port(nullptr);
    EXPECT_EQ(port.DSOpen(path.c_str(), 14400), -11);  // was -22
    EXPECT_EQ(port.BaudRate(), 0u);
    EXPECT_EQ(port.DSClose(), 1);  // the handle stays held until closed
    ASSERT_EQ(port.DSOpen(path.c_str(), 19200), 1);
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_EQ(port.DSOpen(path.c_str(), 14400), -11);
    EXPECT_EQ(port.BaudRate(), 19200u);  // not 14400: that rate never ran
    EXPECT_EQ(port.DSHostBaud(14400), -11);
    EXPECT_EQ(port.BaudRate(), 19200u);
}

// The lock files go to a folder of the test's own.
class PtyLockTest : public PtyTest {
protected:
    std::string LockPath() const { return locks.File(LockFileName(path)); }
    bool LockExists() const { return std::filesystem::exists(LockPath()); }
    std::string LockText() const { return testing::ReadFile(LockPath()); }

    testing::TempDir locks;
    PosixPorts provider{locks.Path().string()};
    ScopedPortProvider guard{provider};
};

TEST_F(PtyLockTest, AnotherProcessHoldingTheLockFileKeepsThePortInUseUntilItDies) {
    testing::LockHoldingChild other(LockPath());
    ASSERT_TRUE(other.Holding());
    const pid_t otherPid = other.Pid();
    QuorSerial port(nullptr);
    EXPECT_EQ(port.DSOpen(path.c_str(), 9600), -5);
    EXPECT_FALSE(port.IsOpen());
    // The port list marks it busy by the same test.
    EXPECT_EQ(provider.Probe(path.c_str()), kErrInUse);
    EXPECT_EQ(LockText(), LockFileText(otherPid));

    other.Kill();
    // A dead program's lock is no busy mark; the list removes nothing.
    EXPECT_EQ(provider.Probe(path.c_str()), kPortOk);
    EXPECT_EQ(LockText(), LockFileText(otherPid));

    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    // The stale lock is gone and ours is in its place, as minicom writes it.
    EXPECT_EQ(LockText(), LockFileText(::getpid()));
    EXPECT_EQ(LockText().size(), 11u);
    EXPECT_EQ(CheckLockFile(LockPath()), LockHolder::kLiving);
    EXPECT_EQ(provider.Probe(path.c_str()), kErrInUse);
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_FALSE(LockExists());
}

TEST_F(PtyLockTest, ALockThatCannotBeReadIsInUseWhileFreshAndStaleWhenOld) {
    testing::WriteFile(LockPath(), "garbage\n");
    QuorSerial port(nullptr);
    EXPECT_EQ(port.DSOpen(path.c_str(), 9600), -5);
    // Ten minutes old: nobody is still writing it.
    const timespec old[2] = {{std::time(nullptr) - 600, 0}, {std::time(nullptr) - 600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, LockPath().c_str(), old, 0), 0);
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    EXPECT_EQ(LockText(), LockFileText(::getpid()));
}

TEST_F(PtyLockTest, ALinkedNameIsKeptWholeAndLocksTheDeviceBehindIt) {
    // As udev names an adapter; longer than any fixed short field.
    std::filesystem::path byId = locks.Path() / "serial" / "by-id";
    std::filesystem::create_directories(byId);
    const std::string link =
        (byId / "usb-Karvell_Karvell_USB_Serial_KARVELL_QLA_Bench_3-if00-port0").string();
    std::filesystem::create_symlink(path, link);
    std::string logPath = locks.File("serial.log");
    QuorLog log(logPath.c_str(), QuorLog::kLevelTrace);

    QuorSerial port(&log);
    ASSERT_EQ(port.DSOpen(link.c_str(), 9600), 1);
    EXPECT_EQ(std::string(port.PortName()), link);
    EXPECT_EQ(LockText(), LockFileText(::getpid()));
    EXPECT_NE(testing::ReadFile(logPath).find(link + ": DSOpen successfully opened"), std::string::npos);
    bridge.Call([&] { device.On("get -ver", "TRU 3.65\r\n>"); });
    EXPECT_EQ(Exchange(port, "get -ver\r", '>'), "TRU 3.65\r\n>");
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_FALSE(LockExists());
}

TEST_F(PtyTest, WithoutAWritableLockFolderThePortStillOpens) {
    testing::TempDir dir;
    PosixPorts noFolder(dir.File("no-such-folder"));
    ScopedPortProvider guard(noFolder);
    QuorSerial port(nullptr);
    ASSERT_EQ(port.DSOpen(path.c_str(), 9600), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));
    // The other locks still keep a second user out.
    QuorSerial second(nullptr);
    EXPECT_EQ(second.DSOpen(path.c_str(), 9600), -5);
    EXPECT_EQ(port.DSClose(), 1);
}

}  // namespace
}  // namespace quor
