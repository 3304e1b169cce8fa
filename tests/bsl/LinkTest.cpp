#include <gtest/gtest.h>

#include <string>

#include "BslTestSupport.h"
#include "serial/QuorSerial.h"

namespace quor {
namespace {

using bsltest::Dm9Map;
using bsltest::LoaderBench;
using bsltest::TruMap;
using sim::InvocationAnswer;

int CountWrites(const sim::SimLink& link, const std::string& what) {
    int n = 0;
    for (const auto& w : link.HostWrites()) n += (w == what);
    return n;
}

TEST(BSLLink, ConnectInvokesHandshakesAndReadsTheLoaderVersion) {
    LoaderBench b(TruMap());
    EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, true, 3), 12);
    EXPECT_EQ(b.host.LoaderVersion(), 12);
    EXPECT_TRUE(b.host.Connected());
    EXPECT_EQ(b.device.CurrentState(), sim::SimLoaderDevice::State::kLoaderConnected);
    const std::vector<std::string> expected = {"boot ZEPT\r", "\r", "P", "g.0095\r"};
    EXPECT_EQ(b.link.HostWrites(), expected);
    std::string log = b.LogText();
    EXPECT_NE(log.find("BSLInvocation successful (1 tries)"), std::string::npos);
    EXPECT_NE(log.find("BSLConnect connected to device running QuorBSL version 12"), std::string::npos);
    // Open, settle 1000 ms, invocation 750 ms, handshake 2 x 100 ms, then "g".
    EXPECT_GE(b.world.NowMs(), 1950u);
    EXPECT_LT(b.world.NowMs(), 2000u);
}

TEST(BSLLink, InvocationGoesOutAt9600AndTheHandshakeAtTheLoaderRate) {
    LoaderBench b(Dm9Map());
    ASSERT_EQ(b.host.BSLConnect("SIM1", 57600, false, 3), 12);
    EXPECT_EQ(b.link.HostBaud(), 57600u);
    EXPECT_EQ(b.link.Baud(), 57600u);
    // The loader understood every byte after the switch.
    EXPECT_EQ(b.device.FrameLog(), std::vector<std::string>{"g.0095"});
}

TEST(BSLLink, HostThatForgetsTheSwitchIsNotUnderstood) {
    LoaderBench b(Dm9Map());
    // Told the loader runs at 9600, the host never switches: nothing is understood.
    EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 2), -112);
    EXPECT_FALSE(b.link.HostOpen());
    EXPECT_EQ(b.device.CurrentState(), sim::SimLoaderDevice::State::kLoaderWaiting);
}

TEST(BSLLink, InvocationAnswersDecideTheOutcome) {
    struct Case {
        std::vector<InvocationAnswer> answers;
        ResultCode expected;
        int invocations;  // how many "boot" went out
    };
    const Case cases[] = {
        {{InvocationAnswer::kMissing}, -112, 1},
        {{InvocationAnswer::kError, InvocationAnswer::kError, InvocationAnswer::kError}, -110, 3},
        {{InvocationAnswer::kSilent, InvocationAnswer::kSilent, InvocationAnswer::kSilent}, -112, 3},
        {{InvocationAnswer::kError, InvocationAnswer::kOk}, 12, 2},
        {{InvocationAnswer::kDollar}, 12, 1},
        {{InvocationAnswer::kAlreadyInLoader}, 12, 1},
    };
    for (const auto& c : cases) {
        LoaderBench b(TruMap());
        b.device.QueueInvocationAnswers(c.answers);
        b.device.SetDefaultInvocationAnswer(c.answers.back());
        EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), c.expected) << static_cast<int>(c.answers[0]);
        EXPECT_EQ(CountWrites(b.link, "boot ZEPT\r"), c.invocations) << static_cast<int>(c.answers[0]);
        EXPECT_EQ(b.link.HostOpen(), c.expected > 0);
    }
}

TEST(BSLLink, LoaderAlreadyRunningIsUsedWithoutHandshake) {
    LoaderBench b(TruMap());
    b.device.StartInLoader(true);
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    const std::vector<std::string> expected = {"boot ZEPT\r", "g.0095\r"};
    EXPECT_EQ(b.link.HostWrites(), expected);
    EXPECT_NE(b.LogText().find("BSLInvocation found the QuorBSL already active"), std::string::npos);
}

TEST(BSLLink, ConnectedLoaderAtAHigherRateIsFoundThroughTheCheck) {
    // At 57600 the invocation is garbage to a running loader; the check finds it.
    LoaderBench b(Dm9Map());
    b.device.StartInLoader(true);
    ASSERT_EQ(b.host.BSLConnect("SIM1", 57600, false, 3), 12);
    EXPECT_EQ(CountWrites(b.link, "boot ZEPT\r"), 3);
    EXPECT_NE(b.LogText().find("BSLCheck found the QuorBSL already active"), std::string::npos);
}

TEST(BSLLink, RejectedVersionQueryFailsAndClosesThePort) {
    LoaderBench b(TruMap());
    for (int n = 1; n <= 3; ++n) b.device.RejectFrame(n);
    EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), -1);
    EXPECT_FALSE(b.link.HostOpen());
    EXPECT_FALSE(b.host.Connected());
    EXPECT_EQ(CountWrites(b.link, "g.0095\r"), 3);
    EXPECT_NE(b.LogText().find("BSLConnect failed to connect to device (error -1)"), std::string::npos);
}

TEST(BSLLink, AcknowledgedVersionReplyWithErrorCountsAsFailure) {
    LoaderBench b(TruMap());
    b.device.SetVersionReply("+ERROR\r");
    EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), -110);
    EXPECT_EQ(CountWrites(b.link, "g.0095\r"), 3);
    EXPECT_FALSE(b.link.HostOpen());
    EXPECT_NE(b.LogText().find("BSLConnect failed to connect to device (error -110)"), std::string::npos);
}

TEST(BSLLink, VersionReplyThatIsNoVersionFailsTheConnect) {
    const char* replies[] = {"+-112+\r", "+0+\r", "+4294967308+\r", "+7\r"};
    for (const char* reply : replies) {
        LoaderBench b(TruMap());
        b.device.SetVersionReply(reply);
        EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), -111) << reply;
        EXPECT_EQ(b.host.LoaderVersion(), 0) << reply;
        EXPECT_EQ(CountWrites(b.link, "g.0095\r"), 3) << reply;
        EXPECT_FALSE(b.link.HostOpen()) << reply;
        const std::string log = b.LogText();
        EXPECT_NE(log.find("BSLConnect got a version reply that is no version: \""), std::string::npos) << reply;
        EXPECT_NE(log.find("BSLConnect failed to connect to device (error -111)"), std::string::npos) << reply;
    }
    // The reply is shown in the log as one line.
    LoaderBench b(TruMap());
    b.device.SetVersionReply("+-112+\r");
    b.host.BSLConnect("SIM1", 9600, false, 1);
    EXPECT_NE(b.LogText().find("no version: \"+-112+\\r\""), std::string::npos);
}

TEST(BSLLink, ConnectArgumentsAndPortErrors) {
    LoaderBench b(TruMap());
    EXPECT_EQ(b.host.BSLConnect(nullptr, 9600, false, 3), -10);
    EXPECT_EQ(b.host.BSLConnect("", 9600, false, 3), -10);
    EXPECT_EQ(b.host.BSLConnect("SIM9", 9600, false, 3), -2);
    EXPECT_NE(b.LogText().find("BSLConnect received error while opening serial port (-2)"), std::string::npos);
    // No tries at all: the invocation makes no attempt.
    EXPECT_EQ(b.host.BSLConnect("SIM1", 9600, false, 0), 1);
    EXPECT_EQ(b.host.BSLInvocation(9600), -22);
    EXPECT_EQ(b.host.BSLDisconnect(), 1);
    EXPECT_EQ(b.host.BSLDisconnect(), 0);
}

TEST(BSLLink, CommandRefusesWhatDoesNotFit) {
    LoaderBench b(TruMap());
    char reply[21];
    std::uint32_t ms = 0;
    EXPECT_EQ(b.host.BSLCommand('g', nullptr, 0, '\r', reply, &ms), -21);  // not connected
    ASSERT_EQ(b.host.BSLConnect("SIM1", 9600, false, 3), 12);
    b.link.ClearRecords();
    std::string big(513, '0');
    EXPECT_EQ(b.host.BSLCommand('W', big.c_str(), 513, '\r', reply, &ms), -11);
    EXPECT_EQ(b.host.BSLCommand('W', nullptr, 4, '\r', reply, &ms), -10);
    EXPECT_EQ(b.host.BSLCommand('W', "0000", 4, '\r', nullptr, &ms), -10);
    std::vector<std::uint32_t> values(129, 0);
    EXPECT_EQ(b.host.BSLCommand('V', values.data(), 129, '+', reply, &ms, false), -11);
    // 103 five-digit values would need 515 characters.
    EXPECT_EQ(b.host.BSLCommand('V', values.data(), 103, '+', reply, &ms, true), -11);
    EXPECT_EQ(b.host.BSLCommand('V', values.data(), 16, '+', nullptr, &ms, false), -10);
    EXPECT_TRUE(b.link.HostWrites().empty());

    // A reply is cut at 20 characters and the exchange is timed.
    b.device.SetLoaderVersion(1234567890);
    b.world.Clock().RunUntil(b.world.Clock().NowMicros() + 1000);
    std::uint32_t one = 0x1000;
    EXPECT_EQ(b.host.BSLCommand('X', &one, 1, '\r', reply, &ms, false), 2);
    EXPECT_EQ(b.link.HostWrites().back(), "X1000.0147\r");
    EXPECT_EQ(b.host.BSLCommand('g', nullptr, 0, '\r', reply, &ms), 13);
    EXPECT_STREQ(reply, "+1234567890+\r");
    // 7 bytes out, 13 back at 9600 baud, plus the loader's work.
    EXPECT_GE(ms, 20u);
    EXPECT_LE(ms, 22u);
}

TEST(BSLLink, CheckTellsConnectedWaitingAndSilentLoadersApart) {
    {
        LoaderBench b(TruMap());
        b.device.StartInLoader(true);
        EXPECT_EQ(b.host.BSLCheck("SIM1", 9600), -80);
        EXPECT_TRUE(b.host.Connected());
    }
    {
        LoaderBench b(Dm9Map());
        b.device.StartInLoader(false);
        EXPECT_EQ(b.host.BSLCheck("SIM1", 57600), -81);
        EXPECT_NE(b.LogText().find("BSLCheck found the QuorBSL waiting for a connection"), std::string::npos);
        // Attach then connects to the waiting loader.
        b.host.BSLHandBack();
        ASSERT_EQ(b.host.BSLCheck("SIM1", 57600), -81);
        EXPECT_EQ(b.host.BSLAttach(), 1);
        EXPECT_EQ(b.device.CurrentState(), sim::SimLoaderDevice::State::kLoaderConnected);
        EXPECT_NE(b.LogText().find("BSLAttach successful (1 tries)"), std::string::npos);
        EXPECT_EQ(b.host.BSLAttach(), 1);
        EXPECT_NE(b.LogText().find("BSLAttach found the QuorBSL already active"), std::string::npos);
    }
    {
        LoaderBench b(TruMap());  // firmware running: a lone carriage return gets nothing
        EXPECT_EQ(b.host.BSLCheck("SIM1", 9600), -21);
        EXPECT_EQ(b.host.BSLAttach(), -110);
        EXPECT_NE(b.LogText().find("BSLAttach failed with error -110"), std::string::npos);
    }
}

// A port another object holds open, as the instrument protocol's would be.
class PortOwner : public QuorSerial {
public:
    using QuorSerial::QuorSerial;
};

TEST(BSLLink, HandOffBorrowsThePortAndHandBackLeavesItOpen) {
    LoaderBench b(TruMap());
    b.device.StartInLoader(false);
    char ownerBuffer[QuorSerial::kReadBufferSize];
    PortOwner owner(nullptr);
    owner.SetReadBuffer(ownerBuffer);
    ASSERT_EQ(owner.DSOpen("SIM1", 9600), 1);

    EXPECT_EQ(b.host.BSLHandOff(owner.PortHandle(), nullptr, "SIM1", false, 0), -11);
    EXPECT_EQ(b.host.BSLHandOff(owner.PortHandle(), ownerBuffer, nullptr, false, 0), -11);
    EXPECT_NE(b.LogText().find("BSLHandOff called with some NULL parameters"), std::string::npos);
    ASSERT_EQ(b.host.BSLHandOff(owner.PortHandle(), ownerBuffer, "SIM1", true, 0), 1);
    EXPECT_EQ(b.host.Tries(), 3u);
    EXPECT_TRUE(b.host.ShowProgress());
    ASSERT_EQ(b.host.BSLAttach(), 1);
    char reply[21];
    std::uint32_t ms = 0;
    EXPECT_EQ(b.host.BSLCommand('g', nullptr, 0, '\r', reply, &ms), 5);

    EXPECT_EQ(b.host.BSLHandBack(), 1);
    EXPECT_FALSE(b.host.Connected());
    EXPECT_TRUE(b.link.HostOpen());
    // The owner's port and buffer still work.
    std::uint32_t n = 0;
    ASSERT_EQ(owner.DSWrite("\r", 1, &n), 1);
    EXPECT_EQ(owner.DSWait(1000, '\r'), '\r');
    EXPECT_EQ(owner.DSClose(), 1);
    EXPECT_FALSE(b.link.HostOpen());
}

TEST(BSLLink, DisconnectOfABorrowedPortDoesNotCloseIt) {
    LoaderBench b(TruMap());
    char ownerBuffer[QuorSerial::kReadBufferSize];
    PortOwner owner(nullptr);
    owner.SetReadBuffer(ownerBuffer);
    ASSERT_EQ(owner.DSOpen("SIM1", 9600), 1);
    ASSERT_EQ(b.host.BSLHandOff(owner.PortHandle(), ownerBuffer, "SIM1", false, 3), 1);
    EXPECT_EQ(b.host.BSLDisconnect(), 1);
    EXPECT_TRUE(b.link.HostOpen());
    EXPECT_TRUE(owner.IsOpen());
}

}  // namespace
}  // namespace quor
