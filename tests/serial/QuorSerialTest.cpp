#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "serial/QuorSerial.h"
#include "sim/core/ScriptedDevice.h"
#include "sim/core/SimEventPump.h"
#include "sim/core/SimWorld.h"
#include "support/TempDir.h"

namespace quor {
namespace {

constexpr std::uint64_t kByteUs9600 = 1042;  // 10 bits at 9600 baud, rounded up

class SerialSimTest : public ::testing::Test {
protected:
    std::string LogText() { return testing::ReadFile(logPath); }
    std::string Read(std::uint32_t capacity) {
        std::string buf(capacity, '\0');
        std::uint32_t n = 0;
        ResultCode r = port.DSRead(buf.data(), capacity, &n);
        EXPECT_EQ(r, static_cast<ResultCode>(n));
        return buf.substr(0, n);
    }
    void Send(const char* text) {
        std::uint32_t n = 0;
        port.DSPurge(1);
        ASSERT_EQ(port.DSWrite(text, static_cast<std::uint32_t>(std::strlen(text)), &n),
                  static_cast<ResultCode>(std::strlen(text)));
    }

    testing::TempDir dir;
    std::string logPath = dir.File("serial.log");
    QuorLog log{logPath.c_str(), QuorLog::kLevelTrace};
    sim::SimWorld world;
    sim::ScriptedDevice device;
    sim::SimLink& link = world.AddDevice("SIM1", device);
    QuorSerial port{&log};
};

TEST_F(SerialSimTest, OpenWithRateZeroRunsAt9600AndCloseDropsDtr) {
    EXPECT_EQ(port.DSOpen("SIM1", 0), 1);
    EXPECT_EQ(port.BaudRate(), 9600u);
    EXPECT_EQ(link.HostBaud(), 9600u);
    EXPECT_TRUE(link.Dtr());
    EXPECT_NE(LogText().find("SIM1: DSOpen successfully opened and configured comm port at 9600 baud\r\n"),
              std::string::npos);
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_FALSE(link.Dtr());
    EXPECT_FALSE(link.HostOpen());
    EXPECT_EQ(port.DSClose(), 0);
    EXPECT_NE(LogText().find("SIM1: DSClose closed comm port"), std::string::npos);
}

TEST_F(SerialSimTest, MissingPortGivesMinusTwoAndStaysClosed) {
    EXPECT_EQ(port.DSOpen("SIM9", 9600), -2);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.DSClose(), 0);
    EXPECT_NE(LogText().find("SIM9: DSOpen failed to open comm port (error 2)"), std::string::npos);
}

TEST_F(SerialSimTest, PortHeldByAnotherObjectIsInUse) {
    QuorSerial other(&log);
    ASSERT_EQ(other.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(port.DSOpen("SIM1", 9600), -5);
    other.DSClose();
    EXPECT_EQ(port.DSOpen("SIM1", 9600), 1);
}

TEST_F(SerialSimTest, SecondOpenClosesTheFirstAndPausesFirst) {
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    std::uint64_t before = world.Clock().NowMicros();
    EXPECT_EQ(port.DSOpen("SIM1", 57600), 1);
    EXPECT_EQ(world.Clock().NowMicros() - before, 100'000u);
    EXPECT_EQ(link.HostBaud(), 57600u);
    std::string text = LogText();
    EXPECT_NE(text.find("QuorSerial: DSOpen found port \""), std::string::npos);
    EXPECT_NE(text.find("SIM1: DSClose closed comm port"), std::string::npos);
}

TEST_F(SerialSimTest, HostBaudChangesOnlyWhenDifferent) {
    EXPECT_EQ(port.DSHostBaud(57600), -6);  // never opened: no port name
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(port.DSHostBaud(9600), 0);
    EXPECT_EQ(port.DSHostBaud(57600), 1);
    EXPECT_EQ(port.BaudRate(), 57600u);
    EXPECT_EQ(link.HostBaud(), 57600u);
}

TEST_F(SerialSimTest, WaitThenReadHandsOverTheReplyWithoutReadingThePort) {
    device.On("get -ver", "OK\r");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    Send("get -ver\r");
    EXPECT_EQ(port.DSWait(1000, '\r'), 13);
    EXPECT_TRUE(port.ReplyReady());
    EXPECT_EQ(world.Clock().NowMicros(), 12 * kByteUs9600);  // nine bytes out, three back
    device.Emit("later");
    world.Clock().SleepMicros(10 * kByteUs9600);
    EXPECT_EQ(Read(20), "OK\r");  // the bytes that came after are not read yet
    EXPECT_EQ(Read(20), "later");
    EXPECT_NE(LogText().find("DSWait found '\r' in 12 ms"), std::string::npos);
}

TEST_F(SerialSimTest, WaitWithoutTerminatorTimesOutAndReadThenAlsoReadsThePort) {
    device.On("x", "partial");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    Send("x\r");
    EXPECT_EQ(port.DSWait(300, '\r'), 0);
    EXPECT_FALSE(port.ReplyReady());
    device.Emit("+rest");
    world.Clock().SleepMicros(5 * kByteUs9600);
    EXPECT_EQ(Read(40), "partial+rest");
    EXPECT_NE(LogText().find("DSWait read 7 bytes, but never found '\r' in"), std::string::npos);
}

TEST_F(SerialSimTest, ReadSmallerThanTheBufferedReplyCutsItAndLeavesThePort) {
    device.On("v", "0123456789ABCDEF\r");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    Send("v\r");
    ASSERT_EQ(port.DSWait(1000, '\r'), 13);
    device.Emit("next");
    world.Clock().SleepMicros(5 * kByteUs9600);
    EXPECT_EQ(Read(10), "0123456789");
    EXPECT_EQ(Read(10), "next");  // the rest of the reply was dropped
}

TEST_F(SerialSimTest, PurgeDropsWhatHasArrivedButNotWhatIsStillOnTheWire) {
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    device.Emit("stale\r");
    world.Clock().SleepMicros(6 * kByteUs9600);  // all of it has arrived
    device.Emit("fresh\r");
    world.Clock().SleepMicros(2 * kByteUs9600);  // "fr" has arrived, "esh\r" is on the wire
    EXPECT_EQ(port.DSPurge(1), 0);
    EXPECT_EQ(port.DSWait(200, '\r'), 13);
    EXPECT_EQ(Read(20), "esh\r");
}

TEST_F(SerialSimTest, PurgeWithAnyOtherModeEmptiesOnlyTheReadBuffer) {
    device.On("a", "one\r");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    Send("a\r");
    ASSERT_EQ(port.DSWait(1000, '\r'), 13);
    device.Emit("two");
    world.Clock().SleepMicros(3 * kByteUs9600);
    EXPECT_EQ(port.DSPurge(0), 0);
    EXPECT_EQ(Read(20), "two");  // the buffered "one\r" is gone, the port's bytes are not
}

TEST_F(SerialSimTest, AnUnreadReplyDoesNotMakeALaterTimedOutWaitLookComplete) {
    device.On("a", "one\r");
    device.On("b", "par");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    Send("a\r");
    ASSERT_EQ(port.DSWait(1000, '\r'), 13);  // found, but the caller never reads it
    Send("b\r");
    EXPECT_EQ(port.DSWait(200, '\r'), 0);
    device.Emit("tial");
    world.Clock().SleepMicros(4 * kByteUs9600);
    EXPECT_EQ(Read(20), "partial");
}

TEST_F(SerialSimTest, SilentDeviceWaitGivesUpBetween1100And1300MsAndKeepsDispatching) {
    sim::SimEventPump pump;
    platform::ScopedEventPump guard(pump);
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    auto start = world.NowMs();
    EXPECT_EQ(port.DSWait(1000, '\r'), 0);
    auto took = world.NowMs() - start;
    EXPECT_GE(took, 1100u);
    EXPECT_LE(took, 1300u);
    EXPECT_GT(pump.Dispatches(), 0u);
}

TEST_F(SerialSimTest, ShortWaitsNeverDispatch) {
    sim::SimEventPump pump;
    platform::ScopedEventPump guard(pump);
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(port.DSWait(400, '\r'), 0);
    EXPECT_EQ(pump.Waits(), 0u);
    EXPECT_EQ(pump.Dispatches(), 0u);
}

TEST_F(SerialSimTest, SleepDispatchesFrom170MsOn) {
    sim::SimEventPump pump;
    platform::ScopedEventPump guard(pump);
    auto start = world.Clock().NowMicros();
    EXPECT_EQ(DSSleep(100), 0);
    EXPECT_EQ(world.Clock().NowMicros() - start, 100'000u);
    EXPECT_EQ(pump.Dispatches(), 0u);
    start = world.Clock().NowMicros();
    EXPECT_EQ(DSSleep(175), 0);
    EXPECT_GE(world.Clock().NowMicros() - start, 175'000u);
    EXPECT_GT(pump.Dispatches(), 0u);
}

TEST_F(SerialSimTest, OperationsOnAClosedPortFail) {
    char buf[8];
    std::uint32_t n = 99;
    EXPECT_EQ(port.DSRead(buf, 8, &n), -60);  // no read buffer before the first open
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(port.DSWrite("x", 1, &n), -21);
    EXPECT_EQ(port.DSWait(100, '\r'), -21);
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    port.DSClose();
    char mine[QuorSerial::kReadBufferSize] = {};
    port.SetReadBuffer(mine);
    EXPECT_EQ(port.DSRead(buf, 8, &n), -21);
    std::string text = LogText();
    EXPECT_NE(text.find("QuorSerial: DSWrite tried to write to a closed port"), std::string::npos);
    EXPECT_NE(text.find("QuorSerial: DSWait tried to operate on a closed port"), std::string::npos);
    EXPECT_NE(text.find("QuorSerial: DSRead tried to read from a closed port"), std::string::npos);
}

TEST_F(SerialSimTest, HandedInReadBufferIsUsedAndNotFreed) {
    static char owned[QuorSerial::kReadBufferSize];
    device.On("q", "name\r");
    port.SetReadBuffer(owned);
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(port.ReadBuffer(), owned);
    Send("q\r");
    ASSERT_EQ(port.DSWait(1000, '\r'), 13);
    EXPECT_STREQ(owned, "name\r");
    port.DSClose();
    EXPECT_EQ(port.ReadBuffer(), owned);  // still the caller's, still there
}

TEST_F(SerialSimTest, FailingPortCallsReturnMinus21WithTheirLogLine) {
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    link.FailHostIo(true);
    std::uint32_t n = 0;
    EXPECT_EQ(port.DSWrite("x", 1, &n), -21);
    EXPECT_EQ(port.DSWait(100, '\r'), -21);
    char buf[4];
    EXPECT_EQ(port.DSRead(buf, 4, &n), -21);
    std::string text = LogText();
    EXPECT_NE(text.find("SIM1: DSWrite WriteFile failed (error 2)"), std::string::npos);
    EXPECT_NE(text.find("SIM1: DSWait ReadFile failed (error 2)"), std::string::npos);
    EXPECT_NE(text.find("SIM1: DSRead ReadFile failed (error 2)"), std::string::npos);
}

TEST_F(SerialSimTest, AHostAtTheWrongRateIsNotUnderstood) {
    device.On("get -ver", "OK\r");
    ASSERT_EQ(port.DSOpen("SIM1", 57600), 1);
    Send("get -ver\r");
    EXPECT_EQ(port.DSWait(300, '\r'), 0);
    EXPECT_TRUE(device.Lines().empty());
}

// A line that delivers one noise byte every 90 ms and never the terminator.
TEST_F(SerialSimTest, ATricklingLineKeepsTheTimeoutAndTheDispatchPace) {
    sim::SimEventPump pump;
    platform::ScopedEventPump guard(pump);
    std::vector<std::uint64_t> dispatchedAtMs;
    pump.OnDispatch([&] { dispatchedAtMs.push_back(world.NowMs()); });
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    link.NoiseToHost('~', 90'000);
    const std::uint64_t start = world.NowMs();
    EXPECT_EQ(port.DSWait(2000, '\r'), 0);
    const std::uint64_t took = world.NowMs() - start;
    EXPECT_GT(took, 2000u);
    // At most one read and one dispatching sleep past the timeout (was 184 s).
    EXPECT_LE(took, 2000u + QuorSerial::kReadFirstByteTimeoutMs + QuorSerial::kWaitDispatchSleepMs);
    // The bytes did arrive: this was no silent line.
    EXPECT_GE(std::strlen(port.ReadBuffer()), 15u);

    // The window got its events as during a silent wait: from half a second
    // on, never more than one read plus two pump intervals apart.
    ASSERT_FALSE(dispatchedAtMs.empty());
    EXPECT_LE(dispatchedAtMs.front() - start, QuorSerial::kWaitDispatchStartMs + 100u);
    for (std::size_t i = 1; i < dispatchedAtMs.size(); ++i) {
        EXPECT_LE(dispatchedAtMs[i] - dispatchedAtMs[i - 1], QuorSerial::kReadFirstByteTimeoutMs + 2 * 50u) << i;
    }
    EXPECT_GE(dispatchedAtMs.back() - start, 1700u);

    // Not less often than the same wait on a silent line.
    link.StopNoise();
    const std::size_t trickling = dispatchedAtMs.size();
    dispatchedAtMs.clear();
    port.DSPurge(1);
    EXPECT_EQ(port.DSWait(2000, '\r'), 0);
    EXPECT_GE(trickling, dispatchedAtMs.size());
    EXPECT_GT(dispatchedAtMs.size(), 10u);
}

TEST_F(SerialSimTest, ShortWaitOnATricklingLineEndsInTimeWithoutDispatching) {
    sim::SimEventPump pump;
    platform::ScopedEventPump guard(pump);
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    link.NoiseToHost('~', 30'000);
    const std::uint64_t start = world.NowMs();
    EXPECT_EQ(port.DSWait(300, '\r'), 0);
    EXPECT_LE(world.NowMs() - start, 300u + QuorSerial::kReadFirstByteTimeoutMs);
    EXPECT_EQ(pump.Dispatches(), 0u);
}

TEST_F(SerialSimTest, ATerminatorAmongNoiseIsStillFound) {
    device.On("get -ver", "TRU 3.65\r");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    link.NoiseToHost('~', 3'000);
    Send("get -ver\r");
    EXPECT_EQ(port.DSWait(1000, '\r'), 13);
    std::string reply = Read(64);
    std::erase(reply, '~');  // the noise falls between the reply's bytes
    EXPECT_EQ(reply, "TRU 3.65\r");
}

TEST(DropNulBytesTest, KeepsEverythingElseInOrder) {
    struct Case {
        std::string in, out;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"OK\r"s, "OK\r"s},
        {"\0OK\r"s, "OK\r"s},
        {"O\0K\0\r"s, "OK\r"s},
        {"\0\0\0"s, ""s},
        {""s, ""s},
        {"\x80\xFF\x01>"s, "\x80\xFF\x01>"s},  // other bytes are the protocols' to judge
    };
    for (const Case& c : cases) {
        std::string buf = c.in;
        std::size_t n = DropNulBytes(buf.data(), buf.size());
        EXPECT_EQ(buf.substr(0, n), c.out) << c.in.size();
    }
}

// A reply with NUL bytes in it: the transaction of every protocol (purge,
// write, wait, read, zero-terminate) sees the whole text.
TEST_F(SerialSimTest, NulBytesOnTheLineAreDroppedAndCounted) {
    using namespace std::string_literals;
    const std::string replies[] = {"\0OK\r"s, "\0\0TRU 3.65\r\n>"s, "O\0K\r"s};
    const std::string texts[] = {"OK\r", "TRU 3.65\r\n>", "OK\r"};
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    for (int i = 0; i < 3; ++i) {
        const std::string command = "cmd" + std::to_string(i);
        const char terminator = texts[i].back();
        device.On(command, replies[i]);
        Send((command + "\r").c_str());
        EXPECT_EQ(port.DSWait(1000, terminator), static_cast<unsigned char>(terminator)) << i;
        char reply[64];
        std::uint32_t n = 0;
        ASSERT_EQ(port.DSRead(reply, sizeof reply - 1, &n), static_cast<ResultCode>(texts[i].size())) << i;
        reply[n] = '\0';
        EXPECT_EQ(std::strlen(reply), n);
        EXPECT_EQ(std::string(reply), texts[i]);
    }
    // A read straight from the port drops them too.
    device.Emit("\0ab\0"s);
    world.Clock().SleepMicros(4 * kByteUs9600);
    EXPECT_EQ(Read(20), "ab");
    std::string text = LogText();
    EXPECT_NE(text.find("SIM1: DSWait dropped 1 NUL bytes"), std::string::npos);
    EXPECT_NE(text.find("SIM1: DSWait dropped 2 NUL bytes"), std::string::npos);
    EXPECT_NE(text.find("SIM1: DSRead dropped 2 NUL bytes"), std::string::npos);
}

TEST_F(SerialSimTest, PortNamesAreKeptWhole) {
    sim::ScriptedDevice usb1, usb10, byId;
    usb1.On("id", "one\r");
    usb10.On("id", "ten\r");
    byId.On("id", "by-id\r");
    world.AddDevice("/dev/ttyUSB1", usb1);
    world.AddDevice("/dev/ttyUSB10", usb10);
    const std::string longName = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008ISP-if00-port0" + std::string(3000, 'x');
    world.AddDevice(longName, byId);
    struct Case {
        std::string name, reply;
    };
    for (const Case& c : {Case{"/dev/ttyUSB10", "ten\r"}, Case{"/dev/ttyUSB1", "one\r"}, Case{longName, "by-id\r"}}) {
        ASSERT_EQ(port.DSOpen(c.name.c_str(), 9600), 1) << c.name.size();
        EXPECT_EQ(std::string(port.PortName()), c.name);
        Send("id\r");
        ASSERT_EQ(port.DSWait(1000, '\r'), 13);
        EXPECT_EQ(Read(20), c.reply);
    }
    // One character more than the system allows: refused whole, and the
    // port that was open stays open.
    const std::string tooLong(kMaxPortNameChars + 1, 'x');
    EXPECT_EQ(port.DSOpen(tooLong.c_str(), 9600), -11);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(std::string(port.PortName()), longName);
    port.DSClose();  // before the devices of this test go
}

// A driver that reports a raw number the port layer does not know.
TEST(QuorSerialPortErrors, UnknownDriverNumbersAreNoSuchPort) {
    class RawErrors final : public PortProvider {
    public:
        PortError Open(const char*, std::unique_ptr<PortDriver>& out) override {
            out.reset();
            return next;
        }
        PortError next = 0;
    } raw;
    ScopedPortProvider guard(raw);
    QuorSerial port(nullptr);
    struct Case {
        PortError raw;
        ResultCode result;
    };
    for (const Case& c : {Case{21, -2}, Case{40, -2}, Case{22, -2}, Case{5, -5}, Case{9, -9}, Case{11, -11},
                          Case{2, -2}}) {
        raw.next = c.raw;
        EXPECT_EQ(port.DSOpen("X", 9600), c.result) << c.raw;
        EXPECT_EQ(port.BaudRate(), 0u);
    }
}

TEST(DSUtcOffsetTest, FollowsTheTimeZone) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    struct Case {
        const char* tz;
        std::int32_t offset;
    };
    for (const Case& c : {Case{"UTC", 0}, Case{"EST5", -5 * 3600}, Case{"IST-5:30", 5 * 3600 + 1800}}) {
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(DSUtcOffset(), c.offset) << c.tz;
    }
    // With daylight saving the offset is one of the two, depending on today.
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    std::int32_t cet = DSUtcOffset();
    EXPECT_TRUE(cet == 3600 || cet == 7200) << cet;
    if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
    tzset();
}

}  // namespace
}  // namespace quor
