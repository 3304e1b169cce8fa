#include <gtest/gtest.h>

#include <cstring>

#include "LoggerFixture.h"
#include "sim/core/ScriptedDevice.h"

namespace quor {
namespace {

using sim::SimLoggerKind;
using testing::LoggerBench;

class Identify : public LoggerBench {};

TEST_F(Identify, NewFirmwareVersionLine) {
    SerialLogger(SimLoggerKind::kRv70);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(proto.VerCommand(true), 1);
    const LoggerSettings& s = proto.Settings();
    EXPECT_EQ(s.kind, kKindRv70);
    EXPECT_EQ(s.firmwareVersion, 205);
    EXPECT_EQ(s.newFirmware, 1);
    EXPECT_EQ(s.familyName, "Rv70");
    EXPECT_EQ(s.versionText, "Rv70 2.05");
    EXPECT_EQ(s.capabilities, 0x7737u + 0x4000000 + 0x1000000 + 0x200000 + 0xC00000 + 0x70000 + 0x8800 + 0x40 + 0x80);
    EXPECT_TRUE(Logged("SIM1: VerCommand found \"Rv70 2.05\" ver 205"));
}

TEST_F(Identify, OldFirmwareWithAndWithoutShow) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kOldRv7);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(proto.VerCommand(true), 1);
    EXPECT_EQ(proto.Settings().kind, kKindRv7);
    EXPECT_EQ(proto.Settings().newFirmware, 0);
    EXPECT_EQ(proto.Settings().capabilities, 0x331Cu);
    EXPECT_EQ(HostWritesStartingWith("show"), 0);
    EXPECT_EQ(HostWritesStartingWith("get -ver"), 6);  // two rejected rounds of three attempts

    // The next identification of this logger reads "show".
    EXPECT_EQ(proto.VerCommand(false), 1);
    EXPECT_EQ(HostWritesStartingWith("show"), 1);
    const LoggerSettings& s = proto.Settings();
    EXPECT_EQ(s.deviceName, "OLDRV7");
    EXPECT_EQ(s.versionText, "1.65");
    EXPECT_EQ(s.firmwareVersion, 165);
    EXPECT_EQ(s.wakeInterval, 60);
    EXPECT_EQ(s.rmode, 1);
    EXPECT_EQ(proto.ResetCount(), 3);
    EXPECT_TRUE(Logged("VerCommand found Rv7 with old firmware"));
    EXPECT_TRUE(Logged("ParseShowCommand found OLDRV7:1.65:1:60:3"));

    // "show" on new firmware is refused without a command.
    logger.Store()["i"] = "x";
    proto.MutableSettings().newFirmware = 1;
    EXPECT_EQ(proto.ParseShowCommand(nullptr), -11);
}

TEST_F(Identify, LoaderAnsweringInsteadOfFirmware) {
    struct Case {
        const char* reply;
        ResultCode result;
        int writes;
    };
    // '+' with four characters: a connected loader, at once. '$' twice: a
    // loader waiting for its connection.
    for (const Case& c : {Case{"++++", -80, 1}, Case{"\r+BSL", -80, 1}, Case{"$", -81, 2}}) {
        sim::SimWorld local;  // a fresh bench per case
        sim::ScriptedDevice loader;
        sim::SimLink& link = local.AddDevice("SIM2", loader);
        loader.On("get -ver", c.reply);
        AQVEN_Protocol p(nullptr);
        ASSERT_EQ(p.DSOpen("SIM2", 9600), 1);
        EXPECT_EQ(p.VerCommand(true), c.result) << c.reply;
        EXPECT_EQ(static_cast<int>(link.HostWrites().size()), c.writes) << c.reply;
        EXPECT_EQ(p.Settings().kind, kKindUnknown);
        EXPECT_TRUE(p.Settings().versionText.empty());
    }
}

class SerialLogin : public LoggerBench {};

TEST_F(SerialLogin, BaudChangeTo57600AndBackOnDisconnect) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    ConnectionParams p = Params(kLinkSerial, 5);
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(p.baudIndex, 5);
    EXPECT_EQ(proto.BaudRate(), 57600u);
    EXPECT_EQ(logger.Baud(), 57600u);
    EXPECT_EQ(Link().HostBaud(), 57600u);
    EXPECT_TRUE(Logged("SetBaudCommand set device baud rate to 57600"));
    EXPECT_TRUE(Logged("DeviceLogin communicating with a device running Rv70 2.05 at 57600 baud"));
    // The link works at the new rate.
    FixedText<8> name;
    EXPECT_EQ(proto.NameCommand(&name, 0), 1);
    EXPECT_EQ(name, "RV70A");
    EXPECT_EQ(proto.DisconnectDevice(false), 1);
    EXPECT_EQ(logger.Baud(), 9600u);
    EXPECT_FALSE(proto.IsOpen());
    EXPECT_EQ(proto.Connection().linkType, kLinkNone);
}

TEST_F(SerialLogin, LoggerThatKeepsItsRateStaysAt9600) {
    SerialLogger(SimLoggerKind::kRv70).SetRejectBaudChange(true);
    ConnectionParams p = Params(kLinkSerial, 5);
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(p.baudIndex, 2);
    EXPECT_EQ(proto.BaudRate(), 9600u);
    EXPECT_TRUE(Logged("DeviceLogin: device didn't change baud rate (error -34)"));
}

TEST_F(SerialLogin, RateWithoutADeviceCodeKeepsBothEndsAt9600) {
    sim::LoggerModel& logger = SerialLogger(SimLoggerKind::kRv70);
    ConnectionParams p = Params(kLinkSerial, 1);  // 1200 baud: no "set -baud" code
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(HostWritesStartingWith("set -baud"), 0);
    EXPECT_EQ(p.baudIndex, 2);
    EXPECT_EQ(proto.BaudRate(), 9600u);
    EXPECT_EQ(logger.Baud(), 9600u);
    EXPECT_TRUE(Logged("DeviceLogin: device didn't change baud rate (error -11)"));
    FixedText<8> name;
    EXPECT_EQ(proto.NameCommand(&name, 0), 1);  // the link still works
}

TEST_F(SerialLogin, LoggerWithoutRateChangeIsNotAsked) {
    SerialLogger(SimLoggerKind::kRv7b);
    ConnectionParams p = Params(kLinkSerial, 6);
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(p.baudIndex, 2);
    EXPECT_EQ(HostWritesStartingWith("set -baud"), 0);
}

TEST_F(SerialLogin, RefusedLinksAndNothingListening) {
    SerialLogger(SimLoggerKind::kRv70).SilenceAfterCommands(0, 1'000'000);
    EXPECT_EQ(proto.ConnectDevice(nullptr), -10);
    ConnectionParams p = Params(20);
    EXPECT_EQ(proto.ConnectDevice(&p), -13);
    p = Params(kLinkNone);
    EXPECT_EQ(proto.ConnectDevice(&p), -11);
    p = Params(77);
    EXPECT_EQ(proto.ConnectDevice(&p), -10);
    EXPECT_FALSE(Link().HostOpen());
    EXPECT_EQ(proto.DisconnectDevice(false), 0);
    EXPECT_TRUE(Link().HostWrites().empty());

    p = Params(kLinkSerial);
    EXPECT_EQ(proto.ConnectDevice(&p), -20);
    EXPECT_TRUE(Logged("DeviceLogin: nothing is listening over the serial port"));
    EXPECT_FALSE(Link().HostOpen());
    EXPECT_EQ(proto.Connection().linkType, kLinkNone);
}

TEST_F(SerialLogin, LoginAndBaudCommandEdges) {
    SerialLogger(SimLoggerKind::kRv70).SilenceAfterCommands(0, 100'000'000);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    EXPECT_EQ(proto.LoginCommand("NINECHARS"), -54);
    EXPECT_TRUE(Link().HostWrites().empty());
    EXPECT_TRUE(Logged("LoginCommand: Device name NINECHARS is wrong length (9 characters)"));
    EXPECT_EQ(proto.LoginCommand("A\rlogout"), -11);
    EXPECT_TRUE(Link().HostWrites().empty());

    proto.MutableSettings().newFirmware = 1;
    EXPECT_EQ(proto.SetBaudCommand(9600), 1);  // silence after a request for 9600 is success
    EXPECT_EQ(HostWritesStartingWith("set -baud 0\r"), 3);  // one command of three attempts
    // A rate the logger has no code for is refused before anything is sent:
    // another rate's code would leave the two ends at different rates.
    const std::size_t writes = Link().HostWrites().size();
    EXPECT_EQ(proto.SetBaudCommand(14400), -11);
    EXPECT_EQ(proto.SetBaudCommand(1200), -11);
    EXPECT_EQ(Link().HostWrites().size(), writes);
    EXPECT_TRUE(Logged("SetBaudCommand: unsupported baud rate 14400, using 9600"));
    // Silence: three unanswered commands, the 1500 ms pause only between
    // them (none after the last), then the 100 ms settle.
    std::uint32_t oneCommandMs = 0;
    EXPECT_EQ(proto.DeviceCommand("set -baud 3\r", 'K', 1500, nullptr, nullptr, &oneCommandMs), -21);
    const auto start = world.NowMs();
    EXPECT_EQ(proto.SetBaudCommand(57600), -21);
    EXPECT_EQ(world.NowMs() - start, 3u * oneCommandMs + 2u * 1500u + 100u);
    EXPECT_EQ(HostWritesStartingWith("set -baud 3\r"), 3 + 9);
    EXPECT_TRUE(Logged("SetBaudCommand failed with error -21"));
    proto.MutableSettings().newFirmware = 0;
    EXPECT_EQ(proto.SetBaudCommand(57600), -1);
}

class RadioLogin : public LoggerBench {};

TEST_F(RadioLogin, SleepingLoggerAnswersOnlyAfterOneWake) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    ConnectionParams p = Params(kLinkRadio);
    const auto start = world.NowMs();
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(p.deviceName, "RV70A");
    EXPECT_EQ(proto.Settings().deviceName, "RV70A");
    EXPECT_EQ(p.baudIndex, 2);
    EXPECT_EQ(logger.Wakes(), 1);
    EXPECT_TRUE(logger.LoggedIn());
    EXPECT_EQ(HostWritesStartingWith("\rquery\r"), 6);  // five silent tries, one answered
    EXPECT_EQ(HostWritesStartingWith("login RV70A\r"), 1);
    int wakePackets = 0;
    for (const std::string& w : Link().HostWrites()) wakePackets += w == "\r";
    EXPECT_EQ(wakePackets, 909);
    EXPECT_GT(world.NowMs() - start, 50'000u);  // the wake sequence alone is 909 x 55 ms
    EXPECT_TRUE(Logged("SendWake sent 909 packets"));
    EXPECT_TRUE(Logged("QueryCommand heard from: RV70A"));
    EXPECT_EQ(proto.RetryCount(), 5u);  // restored after the single-attempt queries

    EXPECT_EQ(proto.DisconnectDevice(false), 1);
    EXPECT_TRUE(logger.Asleep());
    EXPECT_TRUE(Logged("DisconnectDevice successful"));
}

TEST_F(RadioLogin, KnownNameLogsInAfterTheWake) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    ConnectionParams p = Params(kLinkRadio);
    p.deviceName = "RV70A";
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(HostWritesStartingWith("\rquery\r"), 0);
    EXPECT_EQ(HostWritesStartingWith("login RV70A\r"), 6);  // five unanswered attempts, then one
    EXPECT_EQ(logger.Wakes(), 1);
}

TEST_F(RadioLogin, NobodyInTuneMeansOneWakeThenNothingListening) {
    RadioLogger(SimLoggerKind::kRv70);
    Radio().SetFarChannel(4, 0x77);
    ConnectionParams p = Params(kLinkRadio);
    EXPECT_EQ(proto.ConnectDevice(&p), -20);
    EXPECT_EQ(HostWritesStartingWith("\rquery\r"), 10);  // two rounds of five
    EXPECT_TRUE(Logged("SendWake sent 909 packets"));
    EXPECT_TRUE(Logged("DeviceLogin: nothing is listening over the radio"));
    EXPECT_FALSE(Link().HostOpen());
}

TEST_F(RadioLogin, ProgrammingTheModuleBringsTheLoggerInTune) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    Radio().SetFarChannel(4, 0x77);
    ConnectionParams p = Params(kLinkRadio);
    p.programRadio = true;
    p.radioChannel = 4;
    p.radioSubchannel = 0x77;
    p.deviceName = "RV70A";
    ASSERT_EQ(proto.ConnectDevice(&p), 1);
    EXPECT_EQ(Radio().Module().channel, 4);
    EXPECT_EQ(Radio().Module().subchannel, 0x77);
    EXPECT_EQ(Radio().Module().saves, 1);
    EXPECT_TRUE(logger.LoggedIn());
    EXPECT_TRUE(Logged("Zt4Config set rsch to 119"));
}

TEST_F(RadioLogin, ReservedNameHeardInTheLastTryIsNotUsed) {
    sim::LoggerModel& logger = RadioLogger(SimLoggerKind::kRv70);
    logger.Store()["i"] = "query";
    ConnectionParams p = Params(kLinkRadio);
    EXPECT_EQ(proto.ConnectDevice(&p), -30);
    EXPECT_TRUE(p.deviceName.empty());
    EXPECT_EQ(HostWritesStartingWith("login"), 0);
    EXPECT_TRUE(Logged("QueryCommand failed with error -30"));
}

TEST_F(RadioLogin, EchoedLoginMeansARelay) {
    // A relay on the port hands every byte straight back.
    SerialLogger(SimLoggerKind::kRv70).SetEchoing(true);
    ConnectionParams p = Params(kLinkRadio);
    p.deviceName = "RV70A";
    EXPECT_EQ(proto.ConnectDevice(&p), -33);
    EXPECT_EQ(Link().HostWrites().size(), 1u);  // no further attempt, no wake
    EXPECT_TRUE(Logged("DeviceLogin thinks a relay must be active"));
}

class Zt4 : public LoggerBench {
protected:
    void SetUp() override {
        RadioLogger(SimLoggerKind::kRv70);
        ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    }
};

TEST_F(Zt4, ReadsChannelSubchannelAndVersion) {
    Radio().Module().channel = 5;
    Radio().Module().subchannel = 0xBEEF;
    std::int32_t ch = -1, sch = -1;
    FixedText<8> ver;
    std::uint32_t bits = 0x1C00;
    EXPECT_EQ(proto.Zt4Config(&ch, &sch, &ver, 0, &bits), 1);
    EXPECT_EQ(bits, 0x1C00u);
    EXPECT_EQ(ch, 5);
    EXPECT_EQ(sch, 0xBEEF);
    EXPECT_EQ(ver, "2A1F");
    EXPECT_FALSE(Radio().Module().CommandMode());
    // The subchannel alone.
    bits = 0x800;
    EXPECT_EQ(proto.Zt4Config(&ch, &sch, &ver, 0, &bits), 1);
    EXPECT_EQ(bits, 0x800u);
    EXPECT_EQ(HostWritesStartingWith("ATHP\r"), 1);
}

TEST_F(Zt4, NoCommandModeSendsNothingElse) {
    Radio().Module().ignoreEscape = true;
    std::int32_t ch = 1;
    std::uint32_t bits = 0x400;
    EXPECT_EQ(proto.Zt4Config(&ch, nullptr, nullptr, 1, &bits), -23);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(HostWritesStartingWith("AT"), 0);
    EXPECT_TRUE(Logged("Zt4Config failed to get into AT command mode"));
}

TEST_F(Zt4, FailedSaveAfterASetChannelIsPartial) {
    Radio().Module().failSave = true;
    std::int32_t ch = 6, sch = 9;
    std::uint32_t bits = 0xC00;
    EXPECT_EQ(proto.Zt4Config(&ch, &sch, nullptr, 1, &bits), -35);
    EXPECT_EQ(bits, 0xC00u);
    EXPECT_TRUE(Logged("Zt4Config failed with error -35 and 8"));
}

TEST_F(Zt4, FailingToLeaveCommandModeReportsNoBits) {
    Radio().Module().failLeave = true;
    std::int32_t ch = 0;
    std::uint32_t bits = 0x400;
    EXPECT_EQ(proto.Zt4Config(&ch, nullptr, nullptr, 0, &bits), -1);
    EXPECT_EQ(bits, 0u);
    EXPECT_TRUE(Logged("Zt4Config failed to get out of AT command mode: -1"));
}

}  // namespace
}  // namespace quor

namespace quor {
namespace {

class WakeProgress : public testing::LoggerBench {};

TEST_F(WakeProgress, HookEvery18thPacketCancelsTheWake) {
    RadioLogger(sim::SimLoggerKind::kRv70);
    ASSERT_EQ(proto.DSOpen("SIM1", 9600), 1);
    ProtocolConfig c;
    c.progressReporting = true;
    ASSERT_EQ(proto.Configure(&c, 1), 1);
    std::vector<std::uint32_t> seen;
    proto.SetProgressHook([&](std::uint32_t total, std::uint32_t done, int phase) {
        EXPECT_EQ(total, 909u);
        EXPECT_EQ(phase, 1);
        seen.push_back(done);
        return done < 36;
    });
    EXPECT_EQ(proto.SendWake(), -40);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{0, 18, 36}));
    EXPECT_EQ(Link().HostWrites().size(), 36u);
    EXPECT_TRUE(Logged("SendWake canceled by user after sending 36 of 909 packets"));
}

}  // namespace
}  // namespace quor
