#include <cstring>
#include <string>
#include <vector>

#include "Sdi12Fixture.h"

namespace quor::sdi12test {
namespace {

using Writes = std::vector<std::string>;

class SendCommandTest : public BridgeTest {};

TEST_F(SendCommandTest, WakesTheRelayAndCopiesTheReply) {
    char buf[64];
    std::uint32_t cap = sizeof buf;
    std::uint32_t ms = 0;
    EXPECT_EQ(sdi.SDISendCommand("?!", buf, &cap, &ms), 2);
    EXPECT_STREQ(buf, "0\r");
    EXPECT_EQ(cap, 2u);
    EXPECT_EQ(link.HostWrites(), (Writes{"|", "?!"}));
    EXPECT_GE(ms, QuorSDI12::kWakeUpPauseMs);
    EXPECT_TRUE(Logged("QuorSDI12: SDISendCommand sent \"?!\""));
    EXPECT_TRUE(Logged("QuorSDI12: SDISendCommand recieved \"0\r\""));
    // Without a buffer the count still comes back.
    EXPECT_EQ(sdi.SDISendCommand("?!", nullptr, nullptr, nullptr), 2);
}

TEST_F(SendCommandTest, RelayThatDropsEveryOtherCommandIsRecoveredWithoutTheBar) {
    reader.DropEveryOtherCommand(true);
    char buf[64];
    std::uint32_t cap = sizeof buf;
    ResultCode r = sdi.SDISendCommand("?I!", buf, &cap, nullptr);
    EXPECT_EQ(r, static_cast<ResultCode>(std::strlen(buf)));
    EXPECT_EQ(std::string(buf).substr(0, 3), "013");
    // First attempt lost, three bars and the address query, then the
    // command again without the leading bar.
    EXPECT_EQ(link.HostWrites(), (Writes{"|", "?I!", "|", "|", "|", "?!", "?I!"}));
    EXPECT_EQ(reader.Dropped(), 1u);
}

TEST_F(SendCommandTest, RelayPassingCrLfLeavesNoLineFeedInTheNextAnswer) {
    reader.PassSensorLineEnds(true);
    reader.DropEveryOtherCommand(true);
    char buf[64];
    std::uint32_t cap = sizeof buf;
    // The recovery's "0\r\n" ends just before the second attempt's answer.
    EXPECT_GT(sdi.SDISendCommand("?I!", buf, &cap, nullptr), 0);
    EXPECT_EQ(std::string(buf).substr(0, 3), "013");
    EXPECT_EQ(sdi.SDIGetSensorVersion(), 356);
    EXPECT_EQ(sdi.Address(), '0');
}

TEST_F(SendCommandTest, LateReplyToTheLostAttemptIsNotTakenForTheRecoveryOrTheRetry) {
    sensor.MutableState().address = '3';
    sensor.MutableState().x4 = "1.02 -0.013";
    reader.HoldReplies("?X4!");
    char buf[64];
    std::uint32_t cap = sizeof buf;
    EXPECT_EQ(sdi.SDISendCommand("?X4!", buf, &cap, nullptr), 14);
    EXPECT_STREQ(buf, "3 1.02 -0.013\r");
    EXPECT_EQ(link.HostWrites(), (Writes{"|", "?X4!", "|", "|", "|", "?!", "?X4!"}));
    EXPECT_TRUE(Logged("SDISendCommand ignored \"3 1.02 -0.013\r\": no answer to \"?!\""));
}

TEST_F(SendCommandTest, AnswerFromAnotherAddressIsIgnoredUntilTheRecoveryHearsTheSensor) {
    sensor.MutableState().address = '3';
    ASSERT_EQ(sdi.SDIGetSensorVersion(), 356);
    // A firmware update puts the sensor at "0" behind the bridge's back.
    sensor.MutableState().address = '0';
    std::size_t before = link.HostWrites().size();
    char buf[64];
    std::uint32_t cap = sizeof buf;
    EXPECT_GT(sdi.SDISendCommand("?post!", buf, &cap, nullptr), 0);
    EXPECT_STREQ(buf, "0Code Good\r");
    EXPECT_EQ(WritesFrom(before), (Writes{"|", "?post!", "|", "|", "|", "?!", "?post!"}));
    EXPECT_TRUE(Logged("SDISendCommand ignored \"0Code Good\r\": no answer to \"?post!\""));
    // Heard at "0" now: no further recovery.
    before = link.HostWrites().size();
    EXPECT_EQ(sdi.SDICheckBinary(), 1);
    EXPECT_EQ(WritesFrom(before), (Writes{"|", "?post!"}));
}

TEST_F(SendCommandTest, ReplyWithoutItsCarriageReturnIsNoAnswer) {
    reader.PassSensorLineEnds(true);
    sensor.ScriptRaw("X4", "0 1.5 2.5");
    char buf[64];
    std::uint32_t cap = sizeof buf;
    EXPECT_EQ(sdi.SDISendCommand("?X4!", buf, &cap, nullptr), rc::kNoAnswerLastAttempt);
    EXPECT_EQ(cap, 0u);
}

TEST_F(SendCommandTest, SilentRelayGivesNoAnswerAfterOneRecovery) {
    reader.SetSilent(true);
    char buf[64] = "stale";
    std::uint32_t cap = sizeof buf;
    std::uint32_t ms = 0;
    EXPECT_EQ(sdi.SDISendCommand("?I!", buf, &cap, &ms), rc::kNoAnswer);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(cap, 0u);
    EXPECT_EQ(link.HostWrites(), (Writes{"|", "?I!", "|", "|", "|", "?!"}));
    // Wake-up pause, the reply wait, the bars and the recovery wait.
    EXPECT_GE(ms, 175u + 2000u + 3u * 30u + 500u);
    EXPECT_LT(ms, 4000u);
}

TEST_F(SendCommandTest, CommandNeverAnsweredEndsInLastAttemptErrorWithAlternatingBars) {
    sensor.Script("I", std::nullopt);  // the sensor ignores it; "?!" still answers
    char buf[64];
    std::uint32_t cap = sizeof buf;
    EXPECT_EQ(sdi.SDISendCommand("?I!", buf, &cap, nullptr), rc::kNoAnswerLastAttempt);
    EXPECT_EQ(cap, 0u);
    const Writes& w = link.HostWrites();
    std::vector<bool> barBefore;
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (w[i] == "?I!") barBefore.push_back(i > 0 && w[i - 1] == "|");
    }
    EXPECT_EQ(barBefore, (std::vector<bool>{true, false, true, false, true}));
}

TEST_F(SendCommandTest, LaterAttemptSucceedingClearsTheLastAttemptError) {
    sensor.Script("I", std::nullopt, 3);  // attempts 1 to 3 go unanswered
    char buf[64];
    std::uint32_t cap = sizeof buf;
    EXPECT_GT(sdi.SDISendCommand("?I!", buf, &cap, nullptr), 0);
    EXPECT_EQ(std::string(buf).substr(0, 3), "013");
}

TEST_F(SendCommandTest, ShortBufferGetsCapacityLessOneAndTheFullCount) {
    sensor.Script("X4", std::string(38, 'c'));  // address + 38 + carriage return = 40
    char buf[21];
    std::uint32_t cap = sizeof buf;
    EXPECT_EQ(sdi.SDISendCommand("?X4!", buf, &cap, nullptr), 40);
    EXPECT_EQ(cap, 20u);
    EXPECT_EQ(std::string(buf), "0" + std::string(19, 'c'));
    EXPECT_TRUE(Logged("QuorSDI12: DeviceCommand got 20 more bytes than expected (?X4!)"));
}

TEST_F(SendCommandTest, CalibrationLongerThanAnSdiLineIsReceivedWhole) {
    std::string cal(500, '7');
    sensor.Script("X4", " " + cal);
    char buf[QuorSDI12::kReplyChars + 1];
    std::uint32_t cap = sizeof buf;
    EXPECT_EQ(sdi.SDISendCommand("?X4!", buf, &cap, nullptr), 503);
    EXPECT_EQ(std::string(buf), "0 " + cal + "\r");
}

TEST_F(SendCommandTest, PortFailureIsPassedUpAndLogged) {
    link.FailHostIo(true);
    char buf[16] = "stale";
    std::uint32_t cap = sizeof buf;
    ResultCode r = sdi.SDISendCommand("?!", buf, &cap, nullptr);
    EXPECT_LT(r, 0);
    EXPECT_EQ(cap, 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(Logged("SDISendCommand got unexpected response (" + std::to_string(r) + ") from DCommWrite"));
}

}  // namespace
}  // namespace quor::sdi12test
