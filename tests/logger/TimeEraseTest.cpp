#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "LoggerFixture.h"

namespace quor {
namespace {

using sim::SimLoggerKind;
using testing::LoggerBench;
using testing::ScopedZone;

constexpr std::int64_t k1970To2000 = 946684800;

std::int32_t QuorSecondsOf(int y, int mo, int d, int h, int mi, int s) {
    std::tm f{};
    f.tm_year = y - 1900, f.tm_mon = mo - 1, f.tm_mday = d, f.tm_hour = h, f.tm_min = mi, f.tm_sec = s;
    return static_cast<std::int32_t>(timegm(&f) - k1970To2000);
}

class Clock : public LoggerBench {
protected:
    sim::LoggerModel& Connected(SimLoggerKind kind) {
        sim::LoggerModel& logger = SerialLogger(kind);
        ConnectionParams p = Params(kLinkSerial);
        EXPECT_EQ(proto.ConnectDevice(&p), 1);
        return logger;
    }
};

TEST_F(Clock, QuorSecondsLoggerSetNowAndReadBack) {
    sim::LoggerModel& logger = Connected(SimLoggerKind::kPalomet);
    std::int32_t value = 0;
    const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr)) + DSUtcOffset() - k1970To2000;
    EXPECT_EQ(proto.DeviceTime(&value, 1), 1);
    EXPECT_GE(value, before);
    EXPECT_LE(value, before + 5);
    EXPECT_EQ(HostWritesStartingWith("set -sec " + std::to_string(value) + "\r"), 1);
    EXPECT_EQ(HostWritesStartingWith("set -t"), 0);
    EXPECT_EQ(logger.ClockSeconds(), value);

    world.Clock().SleepMicros(7'000'000);
    std::int32_t read = 0;
    EXPECT_EQ(proto.DeviceTime(&read, 0), 1);
    EXPECT_EQ(read, value + 7);

    EXPECT_EQ(proto.DeviceTime(&read, 1), 1);  // a given value is sent as it is
    EXPECT_EQ(HostWritesStartingWith("set -sec " + std::to_string(value + 7) + "\r"), 1);
}

TEST_F(Clock, ValueBeyondSigned32BitsIsRefused) {
    sim::LoggerModel& logger = Connected(SimLoggerKind::kPalomet);
    logger.SetClockSeconds(0x80000000ll);
    std::int32_t read = 0;
    EXPECT_EQ(proto.DeviceTime(&read, 0), -30);
    EXPECT_EQ(read, -1);
    EXPECT_EQ(proto.DeviceTime(nullptr, 0), -10);
}

TEST_F(Clock, DateAndTimeLoggerRoundTrip) {
    ScopedZone zone("UTC");
    sim::LoggerModel& logger = Connected(SimLoggerKind::kRv70);
    std::int32_t v = QuorSecondsOf(2017, 5, 4, 13, 7, 9);
    EXPECT_EQ(proto.DeviceTime(&v, 1), 1);
    EXPECT_EQ(HostWritesStartingWith("set -t 13:7:9\r"), 1);
    EXPECT_EQ(HostWritesStartingWith("set -d 2017-5-4\r"), 1);
    EXPECT_EQ(logger.ClockSeconds(), v);
    std::int32_t read = 0;
    EXPECT_EQ(proto.DeviceTime(&read, 0), 1);
    EXPECT_EQ(read, v);
    EXPECT_TRUE(Logged("DeviceTime found device date/time 2017-5-4 13:07:09"));
}

TEST_F(Clock, OldFirmwareAsksTimeAndAcceptsThePrompt) {
    ScopedZone zone("UTC");
    sim::LoggerModel& logger = Connected(SimLoggerKind::kOldRv7);
    std::int32_t v = QuorSecondsOf(2019, 12, 31, 23, 59, 58);
    EXPECT_EQ(proto.DeviceTime(&v, 1), 1);
    EXPECT_EQ(logger.ClockSeconds(), v);
    std::int32_t read = 0;
    EXPECT_EQ(proto.DeviceTime(&read, 0), 1);
    EXPECT_EQ(HostWritesStartingWith("time\r"), 1);
    EXPECT_EQ(read, v);
}

TEST_F(Clock, RejectedTimeOfDayFailsTheSet) {
    sim::LoggerModel& logger = Connected(SimLoggerKind::kRv70);
    logger.SetErrorAnswers(true);
    std::int32_t v = QuorSecondsOf(2017, 5, 4, 13, 7, 9);
    EXPECT_EQ(proto.DeviceTime(&v, 1), -34);
    EXPECT_TRUE(Logged("DeviceTime failed with error -34"));
}

TEST_F(Clock, LoggerWithoutAClock) {
    Connected(SimLoggerKind::kCorvalink);
    std::int32_t v = 5;
    EXPECT_EQ(proto.DeviceTime(&v, 1), -1);
    EXPECT_EQ(v, -1);
    v = 5;
    EXPECT_EQ(proto.DeviceTime(&v, 0), -1);
    EXPECT_EQ(v, -1);
}

class Erase : public LoggerBench {
protected:
    sim::LoggerModel& Captured(SimLoggerKind kind) {
        sim::LoggerModel& logger = SerialLogger(kind);
        ConnectionParams p = Params(kLinkSerial);
        EXPECT_EQ(proto.ConnectDevice(&p), 1);
        LoggerSettings s;
        std::uint32_t request = 0x1;
        EXPECT_EQ(proto.DeviceSettings(&s, &request, 0), 1);
        return logger;
    }
};

TEST_F(Erase, SameDeviceIsErased) {
    sim::LoggerModel& logger = Captured(SimLoggerKind::kRv70);
    EXPECT_EQ(proto.EraseData(), 1);
    EXPECT_EQ(logger.Erases(), 1);
    EXPECT_TRUE(Logged("InitializeDevice erased device data"));
}

TEST_F(Erase, OldFirmwareAnswersWithExclamation) {
    sim::LoggerModel& logger = Captured(SimLoggerKind::kOldRv7);
    EXPECT_EQ(proto.Settings().deviceName, "OLDRV7");
    EXPECT_EQ(proto.EraseData(), 1);
    EXPECT_EQ(logger.Erases(), 1);
}

TEST_F(Erase, AnotherDeviceIsNotErased) {
    sim::LoggerModel& logger = Captured(SimLoggerKind::kRv70);
    logger.Store()["i"] = "OTHER";
    EXPECT_EQ(proto.EraseData(), -37);
    EXPECT_EQ(HostWritesStartingWith("yes"), 0);
    EXPECT_TRUE(Logged("EraseData: Identity mismatch. Class: RV70A, Device: OTHER"));
}

TEST_F(Erase, SilentIdentityIsNotErased) {
    sim::LoggerModel& logger = Captured(SimLoggerKind::kRv70);
    logger.SilenceAfterCommands(0, 60'000);
    EXPECT_EQ(proto.EraseData(), -37);
    EXPECT_EQ(HostWritesStartingWith("yes"), 0);
    EXPECT_TRUE(Logged("EraseData failed checking the identity of device (error -21)"));
}

TEST_F(Erase, BrokenOrSilentDataFlash) {
    sim::LoggerModel& logger = Captured(SimLoggerKind::kRv70);
    logger.SetDataFlashBroken(true);
    EXPECT_EQ(proto.EraseData(), -65);
    logger.SetDataFlashBroken(false);
    logger.SilenceAfterCommands(1, 600'000);  // hears the name query, not the "yes"
    const auto start = world.NowMs();
    EXPECT_EQ(proto.EraseData(), -65);
    EXPECT_GE(world.NowMs() - start, 3u * 17000u);
    EXPECT_TRUE(Logged("EraseData failed due to a broken DataFlash"));
}

}  // namespace
}  // namespace quor
