#include <string>
#include <vector>

#include "Sdi12Fixture.h"

namespace quor::sdi12test {
namespace {

using Writes = std::vector<std::string>;

class BridgeCommandsTest : public BridgeTest {
protected:
    // The host's command writes (no single control characters).
    Writes Commands() const {
        Writes out;
        for (const std::string& w : link.HostWrites()) {
            if (w.size() > 1) out.push_back(w);
        }
        return out;
    }
};

TEST_F(BridgeCommandsTest, VersionReadsAddressIdentificationAndVersionNumber) {
    sensor.MutableState().address = '4';
    sensor.MutableState().version = 372;
    EXPECT_EQ(sdi.SDIGetSensorVersion(), 372);
    EXPECT_EQ(sdi.Address(), '4');
    EXPECT_STREQ(sdi.Identification(), "KARVELL 7QA   372");
    EXPECT_TRUE(Logged("QuorSDI12: SDIGetSensorVersion found sensor info: KARVELL 7QA   372"));
}

TEST_F(BridgeCommandsTest, AddressChangeIsAlwaysSentToAddressZero) {
    EXPECT_EQ(sdi.SDISetSensorAddress('7'), 1);
    EXPECT_EQ(sensor.State().address, '7');
    EXPECT_EQ(Commands().back(), "0A7!");
    // A sensor that is not at 0 does not answer; one that answers with the
    // old address did not take it.
    EXPECT_EQ(sdi.SDISetSensorAddress('8'), rc::kNoAnswerLastAttempt);
    sensor.MutableState().address = '0';
    sensor.Script("A", "");
    EXPECT_EQ(sdi.SDISetSensorAddress('8'), rc::kUnreadableAnswer);
    EXPECT_TRUE(Logged("SDISetSensorAddress could not set sensor address to '8'"));
    // What is no SDI-12 address is never sent.
    const std::size_t before = link.HostWrites().size();
    for (char bad : {'\n', '\0', '?', ' '}) EXPECT_EQ(sdi.SDISetSensorAddress(bad), rc::kOutOfRange) << int(bad);
    EXPECT_EQ(link.HostWrites().size(), before);
    EXPECT_TRUE(Logged("SDISetSensorAddress didn't get a valid sensor address (10)"));
}

TEST_F(BridgeCommandsTest, SerialNumberIsReadAndWrittenBack) {
    sensor.MutableState().serialNumber = "KD-40712";
    EXPECT_EQ(sdi.SDIGetSensorSN(), 1);
    EXPECT_STREQ(sdi.SerialNumber(), "KD-40712");
    sensor.MutableState().serialNumber.clear();
    EXPECT_EQ(sdi.SDIGetSensorSN(), 0);  // none reported: the stored one stays
    EXPECT_STREQ(sdi.SerialNumber(), "KD-40712");
    EXPECT_EQ(sdi.SDISetSensorSN(), 1);
    EXPECT_EQ(sensor.State().serialNumber, "KD-40712");
    EXPECT_EQ(Commands().back(), "?X#KD-40712!");
}

TEST_F(BridgeCommandsTest, SerialNumberWriteResults) {
    EXPECT_EQ(sdi.SDISetSensorSN(), 0);  // nothing stored
    EXPECT_TRUE(Logged("SDISetSensorSN didn't find a valid serial number"));
    sensor.MutableState().serialNumber = "KD-1";
    ASSERT_EQ(sdi.SDIGetSensorSN(), 1);

    sensor.Script("X#K", "ERROR");
    EXPECT_EQ(sdi.SDISetSensorSN(), rc::kDeviceError);
    sensor.ClearScripts();
    sensor.Script("X#K", "");  // answers, never "OK"
    EXPECT_EQ(sdi.SDISetSensorSN(), rc::kNoAnswerLastAttempt);
    sensor.ClearScripts();
    sensor.Script("X#K", "ERROR", 2);
    EXPECT_EQ(sdi.SDISetSensorSN(), 1);  // "OK" on the third try
    reader.SetSilent(true);
    EXPECT_EQ(sdi.SDISetSensorSN(), rc::kNoAnswer);
    EXPECT_TRUE(Logged("SDISetSensorSN recieved error -21 setting serial number."));
}

TEST_F(BridgeCommandsTest, TypeIsReadAsLetterOrNumber) {
    sensor.MutableState().type = "z";
    EXPECT_EQ(sdi.SDIGetSensorType(), 1);
    EXPECT_EQ(sdi.SensorType(), 122);
    EXPECT_FALSE(sdi.NumericType());
    EXPECT_TRUE(Logged("SDIGetSensorType found sensor type as \"122\""));

    sensor.MutableState().type = "115";
    EXPECT_EQ(sdi.SDIGetSensorType(), 1);
    EXPECT_EQ(sdi.SensorType(), 115);
    EXPECT_TRUE(sdi.NumericType());
    EXPECT_EQ(sdi.SDISetSensorType(115), 1);
    EXPECT_EQ(Commands().back(), "?X9 115!");
}

TEST_F(BridgeCommandsTest, TypeFallsBackOnTheIdentification) {
    sensor.MutableState().answersType = false;
    EXPECT_EQ(sdi.SDIGetSensorType(), 1);  // reads the identification itself
    EXPECT_EQ(sdi.SensorType(), 122);
    EXPECT_EQ(Commands().front(), "?X8!");

    sensor.MutableState().model = "HV-KE ";
    QuorSDI12 other(&log, port);
    EXPECT_EQ(other.SDIGetSensorType(), 1);
    EXPECT_EQ(other.SensorType(), 127);

    sensor.MutableState().model = "OTHER ";
    QuorSDI12 third(&log, port);
    EXPECT_EQ(third.SDIGetSensorType(), sdi12::kNotDetermined);
    EXPECT_TRUE(Logged("SDIGetSensorType couldn't detirmine sensor type"));
}

TEST_F(BridgeCommandsTest, TypeWriteChecksFamilyAndRange) {
    UseSensor('h', 300);
    ASSERT_EQ(sdi.SDIGetSensorType(), 1);
    EXPECT_EQ(sdi.SDISetSensorType(264), 1);
    EXPECT_EQ(Commands().back(), "?X9 h!");
    EXPECT_EQ(sdi.SDISetSensorType('g'), 1);
    EXPECT_EQ(sensor.State().type, "g");

    UseSensor('z', 356);
    ASSERT_EQ(sdi.SDIGetSensorType(), 1);
    std::size_t before = link.HostWrites().size();
    EXPECT_EQ(sdi.SDISetSensorType(264), rc::kUnreadableAnswer);
    EXPECT_TRUE(Logged("SDISetSensorType didn't get a valid SOLRA 1x Sensor type (264)"));
    EXPECT_EQ(sdi.SDISetSensorType(261), rc::kUnreadableAnswer);
    EXPECT_TRUE(Logged("SDISetSensorType didn't get a valid WPX Sensor type (261)"));
    for (int bad : {0, 255, -5, 300}) EXPECT_EQ(sdi.SDISetSensorType(bad), rc::kOutOfRange) << bad;
    EXPECT_TRUE(Logged("SDISetSensorType didn't get a valid sensor type (255)"));
    EXPECT_EQ(link.HostWrites().size(), before);  // nothing was sent

    UseSensor('k', 300);
    ASSERT_EQ(sdi.SDIGetSensorType(), 1);
    EXPECT_EQ(sdi.SDISetSensorType(261), 1);  // the WPX family serves the SOLRA 31 too
    EXPECT_EQ(Commands().back(), "?X9 k!");

    sensor.Script("X9", "");
    EXPECT_EQ(sdi.SDISetSensorType('k'), rc::kUnreadableAnswer);
    EXPECT_TRUE(Logged("SDISetSensorType could not set sensor type to \"107\""));
}

TEST_F(BridgeCommandsTest, LoaderStartUsesOneShortTryThenHandsTheRelayOver) {
    std::size_t before = link.HostWrites().size();
    auto t0 = world.NowMs();
    EXPECT_EQ(sdi.SDIInvokeQuorBSL(), 1);
    EXPECT_TRUE(sensor.LoaderStarted());
    EXPECT_EQ(WritesFrom(before), (Writes{"|", "?B!", "]", "P"}));
    EXPECT_EQ(reader.Controls(), "|]P");
    EXPECT_GE(world.NowMs() - t0, 175u + 100u + 100u);
    EXPECT_EQ(sdi.Tries(), 5u);
    EXPECT_EQ(sdi.TimeoutMs(), 2000u);
}

TEST_F(BridgeCommandsTest, LoaderStartReportsAMissingLoaderAndRestoresTriesAndTimeout) {
    sensor.MutableState().hasLoader = false;
    std::size_t before = link.HostWrites().size();
    EXPECT_EQ(sdi.SDIInvokeQuorBSL(), rc::kSensorHasNoLoader);
    EXPECT_TRUE(Logged("SDIInvokeQuorBSL: sensor reported a missing QuorBSL"));
    EXPECT_EQ(WritesFrom(before), (Writes{"|", "?B!"}));
    EXPECT_EQ(sdi.Tries(), 5u);
    EXPECT_EQ(sdi.TimeoutMs(), 2000u);
}

TEST_F(BridgeCommandsTest, LoaderStartWithOneTryCountsTheRecoveryAnswer) {
    sensor.Script("B", std::nullopt);  // a sensor jumping into its loader says nothing
    auto t0 = world.NowMs();
    EXPECT_EQ(sdi.SDIInvokeQuorBSL(), 1);
    // One try only: the wait is the loader timeout, not the usual one, and
    // what was received is the recovery query's answer.
    EXPECT_LT(world.NowMs() - t0, 2000u);
    EXPECT_STREQ(sdi.LastReply(), "0\r");
    EXPECT_EQ(link.HostWrites().back(), "P");
    EXPECT_EQ(sdi.Tries(), 5u);
    EXPECT_EQ(sdi.TimeoutMs(), 2000u);
}

TEST_F(BridgeCommandsTest, SelfTestAnswers) {
    EXPECT_EQ(sdi.SDICheckBinary(), 1);
    EXPECT_TRUE(Logged("SDICheckBinary found good firmware"));
    sensor.MutableState().codeGood = false;
    EXPECT_EQ(sdi.SDICheckBinary(), sdi12::kFirmwareCorrupt);
    sensor.Script("post", "busy");
    EXPECT_EQ(sdi.SDICheckBinary(), sdi12::kNotDetermined);
    EXPECT_TRUE(Logged("SDICheckBinary unable to check firmware"));
    reader.SetSilent(true);
    EXPECT_EQ(sdi.SDICheckBinary(), rc::kNoAnswer);
}

}  // namespace
}  // namespace quor::sdi12test
