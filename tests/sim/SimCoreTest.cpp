#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "serial/QuorSerial.h"
#include "sim/core/ScriptedDevice.h"
#include "sim/core/SimWorld.h"
#include "sim/core/VirtualClock.h"

namespace quor::sim {
namespace {

TEST(VirtualClockTest, RunsEventsInTimeOrderThenScheduleOrder) {
    VirtualClock clock;
    std::vector<int> order;
    clock.ScheduleAt(300, [&] { order.push_back(3); });
    clock.ScheduleAt(100, [&] { order.push_back(1); });
    clock.ScheduleAt(100, [&] { order.push_back(2); });
    auto cancelled = clock.ScheduleAt(200, [&] { order.push_back(99); });
    clock.Cancel(cancelled);
    clock.ScheduleAt(100, [&] {
        // An event may schedule more; one in the past runs at once.
        clock.ScheduleAt(50, [&] { order.push_back(4); });
    });
    clock.RunUntil(250);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(clock.NowMicros(), 250u);
    clock.RunUntil(1000);
    EXPECT_EQ(order.back(), 3);
    EXPECT_EQ(clock.NextEventTime(), VirtualClock::kNever);
}

TEST(VirtualClockTest, RunUntilWithPredicateStopsAtTheEventThatMadeItTrue) {
    VirtualClock clock;
    bool flag = false;
    clock.ScheduleAt(700, [&] { flag = true; });
    clock.ScheduleAt(900, [] {});
    EXPECT_TRUE(clock.RunUntil(5000, [&] { return flag; }));
    EXPECT_EQ(clock.NowMicros(), 700u);
    EXPECT_FALSE(clock.RunUntil(800, [] { return false; }));
    EXPECT_EQ(clock.NowMicros(), 800u);
}

class LinkFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.On("ping", "pong\r");
        ASSERT_EQ(port.DSOpen("SIM1", 9600), 1);
    }
    // One exchange: returns the reply text, empty when none came.
    std::string Exchange(const char* cmd) {
        std::uint32_t n = 0;
        port.DSPurge(1);
        port.DSWrite(cmd, static_cast<std::uint32_t>(std::strlen(cmd)), &n);
        if (port.DSWait(500, '\r') != '\r') return "";
        char buf[64];
        port.DSRead(buf, sizeof buf, &n);
        return std::string(buf, n);
    }
    SimWorld world;
    ScriptedDevice device;
    SimLink& link = world.AddDevice("SIM1", device);
    QuorSerial port{nullptr};
};

TEST_F(LinkFaultTest, FaultsHitExactlyTheNumberedByte) {
    link.DropHostByte(2);          // 'i' of the first "ping\r"
    link.CorruptDeviceByte(7);     // 'o' of the second reply (its 'p' is device byte 6)
    EXPECT_EQ(Exchange("ping\r"), "");
    EXPECT_EQ(device.Lines().back(), "png");
    EXPECT_EQ(Exchange("ping\r"), "pong\r");  // device bytes 1 to 5
    std::string second = Exchange("ping\r");
    EXPECT_EQ(second.size(), 5u);
    EXPECT_NE(second, "pong\r");
    EXPECT_EQ(second[0], 'p');
}

TEST_F(LinkFaultTest, ACutCableCarriesNothingUntilReconnected) {
    link.Cut();
    EXPECT_EQ(Exchange("ping\r"), "");
    EXPECT_TRUE(device.Lines().empty());
    link.Reconnect();
    EXPECT_EQ(Exchange("ping\r"), "pong\r");
}

// A cut at a chosen write: before it, the device never hears the command;
// after it, the device took the command and only its answer is lost. Either
// way the cable stays cut until reconnected, and the trigger fires once.
TEST_F(LinkFaultTest, ACutAtAChosenWriteFallsBeforeOrAfterTheDeviceTookIt) {
    device.On("pang", "pung\r");
    for (SimLink::CutTiming timing :
         {SimLink::CutTiming::kBeforeDelivery, SimLink::CutTiming::kAfterDelivery}) {
        SCOPED_TRACE(timing == SimLink::CutTiming::kBeforeDelivery ? "before" : "after");
        const std::size_t linesBefore = device.Lines().size();
        link.CutAtHostWrite([](std::string_view w) { return w == "pang\r"; }, timing);
        EXPECT_EQ(Exchange("ping\r"), "pong\r");
        EXPECT_FALSE(link.CutAtWriteFired());
        EXPECT_EQ(Exchange("pang\r"), "");
        EXPECT_TRUE(link.CutAtWriteFired());
        EXPECT_TRUE(link.IsCut());
        const bool taken = timing == SimLink::CutTiming::kAfterDelivery;
        ASSERT_EQ(device.Lines().size(), linesBefore + (taken ? 2u : 1u));
        if (taken) {
            EXPECT_EQ(device.Lines().back(), "pang");
        }
        EXPECT_EQ(Exchange("ping\r"), "");
        link.Reconnect();
        EXPECT_EQ(Exchange("pang\r"), "pung\r");
    }
}

TEST_F(LinkFaultTest, BytesOnTheWireWhenTheCableIsCutNeverArrive) {
    device.SetReplyDelayMs(1);
    std::uint32_t n = 0;
    port.DSWrite("ping\r", 5, &n);
    // Two bytes of the reply are in when the cable goes, for a moment.
    world.Clock().SleepMicros(5 * ByteTimeMicros(9600) + 1000 + 2 * ByteTimeMicros(9600));
    link.Cut();
    link.Reconnect();
    world.Clock().SleepMicros(10'000);
    char buf[16];
    ASSERT_EQ(port.DSRead(buf, sizeof buf, &n), 2);
    EXPECT_EQ(std::string(buf, n), "po");
}

TEST_F(LinkFaultTest, ASilencedDeviceHearsButDoesNotAnswerForAWhile) {
    link.SilenceDeviceFor(2'000'000);
    EXPECT_EQ(Exchange("ping\r"), "");
    EXPECT_EQ(device.Lines().size(), 1u);
    world.Clock().SleepMicros(2'000'000);
    EXPECT_EQ(Exchange("ping\r"), "pong\r");
}

TEST_F(LinkFaultTest, RecordsEveryHostWriteAndWireTimeFollowsTheRate) {
    device.SetReplyDelayMs(5);
    std::uint64_t t0 = world.Clock().NowMicros();
    EXPECT_EQ(Exchange("ping\r"), "pong\r");
    EXPECT_EQ(world.Clock().NowMicros() - t0, 10 * ByteTimeMicros(9600) + 5000);
    ASSERT_EQ(link.HostWrites().size(), 1u);
    EXPECT_EQ(link.HostWrites()[0], "ping\r");
    EXPECT_EQ(link.DeviceSent(), "pong\r");
    EXPECT_EQ(link.HostWireMicros(), 5 * ByteTimeMicros(9600));
    port.DSHostBaud(57600);
    link.ClearRecords();
    std::uint32_t n = 0;
    port.DSWrite("ab", 2, &n);
    EXPECT_EQ(link.HostWireMicros(), 2 * ByteTimeMicros(57600));
    EXPECT_EQ(link.DeviceWireMicros(), 0u);
}

TEST_F(LinkFaultTest, TheDeviceSeesTheHostRateAndTheLinkState) {
    DeviceSide& side = link;
    EXPECT_EQ(side.HostBaud(), 9600u);
    port.DSHostBaud(57600);
    EXPECT_EQ(side.HostBaud(), 57600u);
    EXPECT_EQ(side.Baud(), 9600u);
    EXPECT_TRUE(side.LinkUp());
    link.Cut();
    EXPECT_FALSE(side.LinkUp());
}

TEST_F(LinkFaultTest, NoiseTricklesInAmongTheDevicesBytesUntilStopped) {
    link.NoiseToHost('~', 2'500);  // between the 1042 us bytes of the reply
    std::string reply = Exchange("ping\r");
    std::string withoutNoise = reply;
    std::erase(withoutNoise, '~');
    EXPECT_EQ(withoutNoise, "pong\r");
    EXPECT_GT(reply.size(), withoutNoise.size());
    // In time order: noise falls between the reply's first and last byte.
    EXPECT_LT(reply.find('~', reply.find('p')), reply.find('g')) << reply;
    link.StopNoise();
    world.Clock().SleepMicros(10'000);
    EXPECT_EQ(Exchange("ping\r"), "pong\r");
}

TEST(SimWorldTest, ServesOnlyItsOwnNamesAndRestoresTheProviderAfter) {
    PortProvider* before = &CurrentPortProvider();
    {
        SimWorld world;
        ScriptedDevice device;
        world.AddDevice("SIM1", device);
        EXPECT_EQ(&CurrentPortProvider(), &world);
        QuorSerial port(nullptr);
        EXPECT_EQ(port.DSOpen("ttyS0", 9600), -2);
        EXPECT_EQ(port.DSOpen("SIM1", 9600), 1);
    }
    EXPECT_EQ(&CurrentPortProvider(), before);
}

}  // namespace
}  // namespace quor::sim
