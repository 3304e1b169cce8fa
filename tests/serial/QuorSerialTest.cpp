#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "serial/QuorSerial.h"
#include "sim/core/ScriptedDevice.h"
#include "sim/core/SimEventPump.h"
#include "sim/core/SimWorld.h"

namespace quor {
namespace {

class SerialSimTest : public ::testing::Test {
protected:
    sim::SimWorld world;
    sim::ScriptedDevice device;
    sim::SimLink& link = world.AddDevice("SIM1", device);
    QuorSerial port{nullptr};
};

TEST_F(SerialSimTest, OpenWithRateZeroRunsAt9600) {
    EXPECT_EQ(port.DSOpen("SIM1", 0), 1);
    EXPECT_EQ(port.BaudRate(), 9600u);
    EXPECT_EQ(link.HostBaud(), 9600u);
    EXPECT_TRUE(link.Dtr());
    EXPECT_EQ(port.DSClose(), 1);
    EXPECT_FALSE(link.Dtr());
    EXPECT_EQ(port.DSClose(), 0);
}

TEST_F(SerialSimTest, WaitThenReadDeliversReplyWithoutReadingPort) {
    device.On("get -ver", "OK\r");
    ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    port.DSPurge(1);
    std::uint32_t n = 0;
    ASSERT_EQ(port.DSWrite("get -ver\r", 9, &n), 9);
    EXPECT_EQ(port.DSWait(1000, '\r'), 13);
    char buf[20];
    EXPECT_EQ(port.DSRead(buf, 20, &n), 3);
    EXPECT_EQ(std::string(buf, n), "OK\r");
    // Nine bytes out and three back at 9600 baud, a byte each 1042 us.
    EXPECT_EQ(world.Clock().NowMicros(), 12u * 1042u);
}

TEST_F(SerialSimTest, SilentDeviceWaitGivesUpBetween1100And1300Ms) {
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

}  // namespace
}  // namespace quor
