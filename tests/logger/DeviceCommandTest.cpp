#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "log/QuorLog.h"
#include "logger/AQVEN_Protocol.h"
#include "sim/core/ScriptedDevice.h"
#include "sim/core/SimWorld.h"
#include "support/TempDir.h"

namespace quor {
namespace {

class DeviceCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1); }
    std::string LogText() const { return testing::ReadFile(dir.File("log.txt")); }

    testing::TempDir dir;
    QuorLog log{dir.File("log.txt").c_str(), QuorLog::kLevelDetail};
    sim::SimWorld world;
    sim::ScriptedDevice device;
    sim::SimLink& link = world.AddDevice("SIM1", device);
    AQVEN_Protocol proto{&log};
};

TEST_F(DeviceCommandTest, RulesOnATableOfReplies) {
    struct Case {
        const char* name;
        const char* reply;  // null: the device stays silent
        std::uint32_t capacity;
        ResultCode result;
        const char* answer;
        std::size_t writes;
    };
    const std::string longReply = "\r" + std::string(40, 'x') + "\r>";
    const Case cases[] = {
        {"ordinary", "\rRv70 2.05\r>", 32, 12, "\rRv70 2.05\r>", 1},
        {"echo stops at once", "get -ver\r\rRv70 2.05\r>", 32, -32, "", 1},
        {"ERROR is sent again", "\rERROR\r>", 32, -34, "", 3},
        {"question mark", "\r?\r>", 32, -34, "", 3},
        {"Unsupported", "\rUnsupported command\r>", 32, -34, "", 3},
        {"silence", nullptr, 32, -21, "", 3},
        {"empty prompt", "\r\r>", 32, -31, "\r\r>", 1},
        {"cut to capacity", longReply.c_str(), 8, 43, "\rxxxxxx", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        link.ClearRecords();
        if (c.reply) device.On("get -ver", c.reply); else device.On("get -ver", "");
        char answer[64];
        std::memset(answer, 'Z', sizeof answer);
        std::uint32_t cap = c.capacity;
        std::uint32_t elapsed = 12345;
        EXPECT_EQ(proto.DeviceCommand("get -ver\r", '>', 400, answer, &cap, &elapsed), c.result);
        EXPECT_STREQ(answer, c.answer);
        EXPECT_EQ(cap, std::strlen(c.answer));
        EXPECT_EQ(link.HostWrites().size(), c.writes);
        EXPECT_NE(elapsed, 12345u);
    }
    const std::string text = LogText();
    EXPECT_NE(text.find("DeviceCommand is hearing echoed commands -- device is broken? Relay active?"), std::string::npos);
    EXPECT_NE(text.find("DeviceCommand got 36 more bytes than expected (get -ver\r)"), std::string::npos);
    EXPECT_NE(text.find("DeviceCommand: device returned empty answer"), std::string::npos);
}

TEST_F(DeviceCommandTest, SilentDevicePausesAfterEveryEmptyAttempt) {
    auto start = world.NowMs();
    std::uint32_t elapsed = 0;
    EXPECT_EQ(proto.DeviceCommand("get -w\r", '>', 400, nullptr, nullptr, &elapsed), -21);
    // Each attempt: the wait gives up at its first empty read after 400 ms,
    // the read that follows tries the port once more, then the 50 ms pause.
    EXPECT_EQ(link.HostWrites().size(), 3u);
    EXPECT_GE(elapsed, 3u * (400u + 50u));
    EXPECT_LE(elapsed, 3u * (400u + 100u + 100u + 50u + 20u));
    EXPECT_EQ(world.NowMs() - start, elapsed);
}

TEST_F(DeviceCommandTest, EmptyLastAttemptAfterAnErrorIsMinus22) {
    device.On("get -w", "\r?\r>");
    for (int n = 5; n <= 12; ++n) link.DropDeviceByte(static_cast<std::uint64_t>(n));
    char answer[16] = "junk";
    std::uint32_t cap = sizeof answer;
    EXPECT_EQ(proto.DeviceCommand("get -w\r", '>', 400, answer, &cap, nullptr), -22);
    EXPECT_STREQ(answer, "");
    EXPECT_EQ(cap, 0u);
}

TEST_F(DeviceCommandTest, LeftoversOfAnEarlierReplyAreDiscarded) {
    device.On("a", "\rfirst\r>late");
    device.On("b", "\rsecond\r>");
    char answer[32];
    std::uint32_t cap = sizeof answer;
    ASSERT_GT(proto.DeviceCommand("a\r", '>', 400, answer, &cap, nullptr), 0);
    world.Clock().SleepMicros(50'000);  // "late" arrives after the prompt
    cap = sizeof answer;
    ASSERT_GT(proto.DeviceCommand("b\r", '>', 400, answer, &cap, nullptr), 0);
    EXPECT_STREQ(answer, "\rsecond\r>");
}

TEST_F(DeviceCommandTest, ExtraReplyTimeLengthensEveryWait) {
    ProtocolConfig config;
    config.extraReplyTimeMs = 1000;
    ASSERT_EQ(proto.Configure(&config, 1), 1);
    device.SetReplyDelayMs(900);
    device.On("slow", "\rlate\r>");
    char answer[32];
    std::uint32_t cap = sizeof answer;
    EXPECT_GT(proto.DeviceCommand("slow\r", '>', 400, answer, &cap, nullptr), 0);
    EXPECT_STREQ(answer, "\rlate\r>");
}

TEST_F(DeviceCommandTest, TraceHookSeesWhatTheModeAsksFor) {
    device.On("get -i", "\rNAME\r>");
    std::vector<std::string> seen;
    proto.SetTraceHook([&](const char* text) { seen.emplace_back(text); });
    for (int mode : {0, 1, 2, 3}) {
        ProtocolConfig config;
        config.traceMode = static_cast<std::int8_t>(mode);
        ASSERT_EQ(proto.Configure(&config, 1), 1);
        seen.clear();
        proto.DeviceCommand("get -i\r", '>', 400, nullptr, nullptr, nullptr);
        std::vector<std::string> expected;
        if (mode & 2) expected.emplace_back("get -i\r");
        if (mode & 1) expected.emplace_back("\rNAME\r>");
        EXPECT_EQ(seen, expected) << mode;
    }
}

TEST(ConfigureTest, LimitsDefaultsAndCopyOut) {
    AQVEN_Protocol proto(nullptr);
    EXPECT_EQ(proto.ConstructionStatus(), 1);
    ProtocolConfig c;
    c.serialRetries = 0;
    c.radioRetries = 0;
    EXPECT_EQ(proto.Configure(&c, 1), 1);
    EXPECT_EQ(c.serialRetries, 3u);
    EXPECT_EQ(c.radioRetries, 5u);
    EXPECT_EQ(proto.RetryCount(), 3u);

    struct Bad {
        std::uint32_t serial, radio;
        int trace;
        std::uint32_t extra;
    };
    for (const Bad& b : {Bad{13, 5, 0, 0}, Bad{3, 13, 0, 0}, Bad{3, 5, -1, 0}, Bad{3, 5, 4, 0}, Bad{3, 5, 0, 30001}}) {
        ProtocolConfig bad;
        bad.serialRetries = b.serial;
        bad.radioRetries = b.radio;
        bad.traceMode = static_cast<std::int8_t>(b.trace);
        bad.extraReplyTimeMs = b.extra;
        EXPECT_EQ(proto.Configure(&bad, 1), -11);
    }
    c.serialRetries = 12;
    c.extraReplyTimeMs = 30000;
    EXPECT_EQ(proto.Configure(&c, 7), 1);  // any direction but 0 stores
    ProtocolConfig out;
    EXPECT_EQ(proto.Configure(&out, 0), 1);
    EXPECT_EQ(out.serialRetries, 12u);
    EXPECT_EQ(out.extraReplyTimeMs, 30000u);
    EXPECT_EQ(proto.RetryCount(), 12u);
}

}  // namespace
}  // namespace quor
