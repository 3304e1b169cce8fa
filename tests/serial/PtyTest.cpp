// The termios driver against a real pseudo-terminal, in real time: the
// installed clock and port provider are the system's own here.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/PosixPort.h"
#include "serial/QuorSerial.h"
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
    EXPECT_LT(port.DSHostBaud(12345), 0);
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

TEST(PosixPortErrors, SystemErrorsMapOntoThePortNumbers) {
    struct Case {
        int err;
        PortError port;
    };
    const Case cases[] = {
        {ENOENT, kErrNoSuchPort}, {ENXIO, kErrNoSuchPort}, {ENODEV, kErrNoSuchPort},
        {EIO, kErrNoSuchPort},    {EBADF, kErrNoSuchPort}, {EBUSY, kErrInUse},
        {EWOULDBLOCK, kErrInUse}, {EACCES, kErrPermission}, {EPERM, kErrPermission},
        {ETIMEDOUT, ETIMEDOUT},   {EINVAL, EINVAL},
    };
    for (const Case& c : cases) EXPECT_EQ(PosixPort::MapErrno(c.err), c.port) << c.err;
}

}  // namespace
}  // namespace quor
