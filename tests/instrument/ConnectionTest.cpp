#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <ctime>
#include <string>

#include "InstrumentFixture.h"

namespace quor::insttest {
namespace {

// --- DPConnect ---------------------------------------------------------------

struct ConnectCase {
    const char* name;
    const char* versionReply;  // "" for a device that never answers
    ResultCode expected;
    const char* logLine;
    DeviceType recordType;     // what the caller's record holds afterwards
    std::int32_t recordVersion;
};

class ConnectDecision : public ProtocolBench, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectDecision, ResultLogAndRecord) {
    const ConnectCase& c = GetParam();
    BenchInstrument& d = Put("unused");
    d.versionReply = c.versionReply;
    d.silent = std::strlen(c.versionReply) == 0;
    DeviceTypeInfo record;
    record.type = DeviceType::kEnd;  // marks a record left as it was
    EXPECT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 3, &record), c.expected);
    EXPECT_TRUE(Logged(c.logLine)) << LogText();
    EXPECT_EQ(record.type, c.recordType);
    EXPECT_EQ(record.firmwareVersion, c.recordVersion);
    if (c.expected == 1) {
        EXPECT_EQ(proto.ConnectedType(), c.recordType);
        EXPECT_EQ(proto.DeviceInfo().firmwareVersion, c.recordVersion);
        EXPECT_EQ(proto.LoggerSettingsRecord().newFirmware, 1);
        EXPECT_EQ(proto.LoggerSettingsRecord().firmwareVersion, c.recordVersion);
        EXPECT_STREQ(proto.LoggerSettingsRecord().versionText.c_str(), "TRU 3.65");
    } else {
        EXPECT_EQ(proto.ConnectedType(), DeviceType::kUnknown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConnectDecision,
    ::testing::Values(
        ConnectCase{"Supported", "\rTRU 3.65\r>", 1, "DPConnect successfully connected to device",
                    DeviceType::kTru, 365},
        // The record names the device even though the update is refused.
        ConnectCase{"OldFirmware", "\rRV70 1.02\r>", -120,
                    "DPConnect this firmware version is not supported", DeviceType::kRv70, 102},
        ConnectCase{"UnknownCode", "\rXYZ 1.00\r>", -120, "DPConnect this device must not be supported",
                    DeviceType::kUnknown, 100},
        // A device that hears its own commands back is no device we know.
        ConnectCase{"Echo", "get -ver\r>", -120, "DPConnect this device must not be supported",
                    DeviceType::kEnd, 0},
        // An error to every query is taken for an old datalogger whose
        // settings cannot be read: that error is passed on.
        ConnectCase{"DeviceError", "\rERROR\r>", -35,
                    "DPConnect received error -35 trying to connect to device", DeviceType::kEnd, 0},
        ConnectCase{"Silent", "", -20, "DPConnect couldn't connect.", DeviceType::kEnd, 0},
        ConnectCase{"LoaderListening", "\r+ZEPT\r>", -80, "DPConnect found the QuorBSL listening (-80)",
                    DeviceType::kEnd, 0},
        ConnectCase{"LoaderWaiting", "\r$\r>", -81, "DPConnect found the QuorBSL listening (-81)",
                    DeviceType::kEnd, 0}),
    [](const ::testing::TestParamInfo<ConnectCase>& p) { return p.param.name; });

TEST_F(ProtocolBench, ConnectRefusesMissingArgumentsWithoutTouchingThePort) {
    BenchInstrument& d = Put("TRU 3.65");
    DeviceTypeInfo record;
    EXPECT_EQ(proto.DPConnect("", kBaudIndex9600, 3, &record), -10);
    EXPECT_EQ(proto.DPConnect(nullptr, kBaudIndex9600, 3, &record), -10);
    EXPECT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 3, nullptr), -10);
    // The name is used whole: a longer name that begins like SIM1 never opens SIM1.
    EXPECT_EQ(proto.DPConnect("SIM1-but-much-longer", kBaudIndex9600, 3, &record), -2);
    EXPECT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 13, &record), -11);
    EXPECT_TRUE(Logged("DPConnect received error -11 trying to configure AQVEN_Prototcol"));
    EXPECT_TRUE(d.Lines().empty());
    EXPECT_FALSE(Link().HostOpen());
}

// --- Login -------------------------------------------------------------------

TEST_F(ProtocolBench, LoginTypesTheCodeAQuarterSecondPerCharacter) {
    BenchInstrument& d = Connected("TRU 3.65");
    d.loginReply = "\r\n*3378\r\n>";  // the echoed code alone counts
    const std::size_t before = d.Arrivals().size();
    const std::uint64_t start = NowMs();
    EXPECT_EQ(proto.Login(), 1);

    const std::string text = "login *3378";
    ASSERT_EQ(text.size(), 11u);
    const auto& a = d.Arrivals();
    ASSERT_EQ(a.size() - before, text.size() + 3);
    std::string got;
    for (std::size_t i = before; i < a.size(); ++i) got.push_back(a[i].second);
    EXPECT_EQ(got, text + "\r\n\r");
    // The first character after the one-second settle, then one every 250 ms.
    EXPECT_GE(a[before].first / 1000, start + 1000);
    EXPECT_LT(a[before].first / 1000, start + 1010);
    for (std::size_t i = before + 1; i < before + text.size(); ++i)
        EXPECT_EQ(a[i].first - a[i - 1].first, 250'000u) << "character " << i - before;
    // The line end 250 ms after the last character's pause.
    EXPECT_EQ(a[before + text.size()].first - a[before + text.size() - 1].first, 500'000u);
    EXPECT_TRUE(Logged("DPConnect successfully logged into the device"));
    EXPECT_EQ(d.Count("login *3378"), 1);
}

TEST_F(ProtocolBench, LoginAnsweredWithoutOkOrCodeFails) {
    BenchInstrument& d = Connected("TRU 3.65");
    d.loginReply = "\r\nWHAT\r\n>";
    EXPECT_EQ(proto.Login(), -25);
    EXPECT_EQ(d.Count("login *3378"), 3);
    EXPECT_TRUE(Logged("DPConnect couldn't log into the device"));
    // Line ends reach the log as the transaction hands them over: one CR each.
    EXPECT_TRUE(Logged("heard \"\rWHAT\r>\""));
    EXPECT_FALSE(Logged("successfully logged"));
}

TEST_F(ProtocolBench, LoginToASilentDeviceFails) {
    BenchInstrument& d = Connected("TRU 3.65");
    d.silent = true;
    EXPECT_EQ(proto.Login(), -25);
    EXPECT_EQ(d.Count("login *3378"), 3);
}

TEST_F(ProtocolBench, LogoutOnlyForDevicesThatLogIn) {
    BenchInstrument& d = Connected("TQ 1.20");  // TQ needs no login
    EXPECT_EQ(proto.Disconnect(true), 1);
    EXPECT_EQ(d.Count("logout"), 0);
    EXPECT_FALSE(Link().HostOpen());

    DeviceTypeInfo record;
    ASSERT_EQ(proto.DPConnect(Port(), kBaudIndex9600, 3, &record), 1);
    d.versionReply = "\rTRU 3.65\r>";
    ASSERT_EQ(proto.DPConnect(Port(), kBaudIndex9600, 3, &record), 1);
    EXPECT_EQ(proto.Disconnect(false), 1);
    EXPECT_EQ(d.Count("logout"), 0);
    ASSERT_EQ(proto.DPConnect(Port(), kBaudIndex9600, 3, &record), 1);
    EXPECT_EQ(proto.Disconnect(true), 1);
    EXPECT_EQ(d.Count("logout"), 1);
}

// --- battery, self-test, erase, clock ---------------------------------------

TEST_F(ProtocolBench, BatteryPercentageIsReadOrRefused) {
    BenchInstrument& d = Connected("TQ 1.20");
    std::int32_t pct = 0;
    EXPECT_EQ(proto.DPCheckBattery(&pct), 1);
    EXPECT_EQ(pct, 87);
    EXPECT_TRUE(Logged("DPCheckBattery: 87% battery"));
    for (const char* bad : {"lots", "99999999999"}) {
        d.settings["batt"] = bad;
        EXPECT_EQ(proto.DPCheckBattery(&pct), -30) << bad;
    }
    EXPECT_TRUE(Logged("DPCheckBattery failed to parse battery power"));
    EXPECT_EQ(proto.DPCheckBattery(nullptr), -10);
    d.silent = true;
    EXPECT_EQ(proto.DPCheckBattery(&pct), -21);
    EXPECT_EQ(pct, -1);
}

struct PostCase {
    const char* reply;
    ResultCode expected;
    int sends;
};

TEST_F(ProtocolBench, SelfTestVerdicts) {
    BenchInstrument& d = Connected("TRU 3.65");
    for (const PostCase& c : {PostCase{"\r\nCode Good!\r\n>", 1, 1}, PostCase{"\r\nCode Corrupt!\r\n>", -1, 1},
                              PostCase{"\r\nhmm\r\n>", -30, 3}}) {
        d.postReply = c.reply;
        const int before = d.Count("post");
        EXPECT_EQ(proto.DPCheckFirmware(false), c.expected) << c.reply;
        EXPECT_EQ(d.Count("post") - before, c.sends) << c.reply;
    }
    d.postReply = "\r\nCode Good!\r\n>";
    EXPECT_EQ(proto.DPCheckFirmware(true), 1);
    EXPECT_EQ(d.Count("post -init"), 1);
    EXPECT_TRUE(Logged("DPCheckFirmware: Device reports corrupt firmware code!"));
}

// Each self-test attempt is one transaction of 7 s; the transaction itself
// tries as often as the link's serial retries say, and every empty attempt
// costs a little reading and a 50 ms pause on top of its 7 s.
TEST_F(ProtocolBench, SelfTestOfASilentDeviceCostsThreeTimeoutsAndThreePauses) {
    for (std::uint32_t retries : {1u, 3u}) {
        SCOPED_TRACE(retries);
        BenchInstrument& d = Connected("TRU 3.65", retries);
        d.silent = true;
        const std::uint64_t start = NowMs();
        EXPECT_EQ(proto.DPCheckFirmware(false), -21);
        const std::uint64_t spent = NowMs() - start;
        const std::uint64_t sends = 3 * retries;
        EXPECT_EQ(static_cast<std::uint64_t>(d.Count("post")), sends);
        EXPECT_GE(spent, sends * 7000 + 3000);
        EXPECT_LE(spent, sends * (7000 + 400) + 3000);
        EXPECT_EQ(LoggedCount("DPCheckFirmware can't determine firmware code status (error -21)"),
                  retries == 1 ? 3 : 6);
        proto.Disconnect(false);
    }
}

TEST_F(ProtocolBench, EraseByDeviceType) {
    BenchInstrument& d = Connected("TQ 1.20");
    EXPECT_EQ(proto.DPEraseData(), 1);
    EXPECT_EQ(d.Count("yes"), 1);
    d.eraseReply = "\r\nDataFlash FAIL\r\n>";
    EXPECT_EQ(proto.DPEraseData(), -65);
    // A broken memory is no erase even next to an "OK".
    d.eraseReply = "\r\nDataFlash FAIL OK\r\n>";
    EXPECT_EQ(proto.DPEraseData(), -65);
    d.eraseReply = "\r\nnope\r\n>";
    EXPECT_EQ(proto.DPEraseData(), -30);
    EXPECT_TRUE(Logged("DPEraseData failed with error -30"));

    DeviceTypeInfo wk;
    BuildDeviceTypeInfo(DeviceType::kWk, 100, wk);
    proto.AdoptDevice(wk);
    const std::size_t lines = d.Lines().size();
    EXPECT_EQ(proto.DPEraseData(), -13);
    EXPECT_EQ(d.Lines().size(), lines);
}

TEST_F(ProtocolBench, ClockInQuorSecondsFromLocalTime) {
    // 2017-01-01 00:00:00 local time is 536544000 QuorSeconds in any zone.
    for (const char* zone : {"UTC0", "QQQ-3", "QQQ+7"}) {
        SCOPED_TRACE(zone);
        ScopedZone tz(zone);
        std::tm local{};
        local.tm_year = 117, local.tm_mon = 0, local.tm_mday = 1, local.tm_isdst = 0;
        const std::time_t when = std::mktime(&local);
        proto.SetSystemTimeSource([when] { return when; });
        BenchInstrument& d = Connected("LG40 2.00");
        EXPECT_EQ(proto.DPSetTime(), 1);
        EXPECT_EQ(d.Count("set -sec 536544000"), 1);
        EXPECT_EQ(d.settings["sec"], "536544000");
        EXPECT_TRUE(Logged("DPSetTime set the time to: 536544000"));
        proto.Disconnect(false);
    }
}

TEST_F(ProtocolBench, ClockFailures) {
    BenchInstrument& d = Connected("TRU 3.65");  // keeps no clock
    EXPECT_EQ(proto.DPSetTime(), -13);
    EXPECT_FALSE(d.Received("set"));
    proto.Disconnect(false);

    BenchInstrument& lg = Connected("LG40 2.00");
    proto.SetSystemTimeSource([] { return static_cast<std::time_t>(-1); });
    EXPECT_EQ(proto.DPSetTime(), -30);
    EXPECT_TRUE(Logged("DPSetTime failed to get system time with error"));
    proto.SetSystemTimeSource([] { return static_cast<std::time_t>(1500000000); });
    lg.refused.insert("sec");
    lg.refusal = SetAnswer::kOther;
    EXPECT_EQ(proto.DPSetTime(), -30);
    EXPECT_TRUE(Logged("DPSetTime got error -30"));
}

// --- value commands ----------------------------------------------------------

TEST_F(ProtocolBench, ValueStringIsCutToItsFieldAndTerminated) {
    BenchInstrument& d = Connected("TRU 3.65");
    d.settings["loc"] = "ABCDEFGHIJKLMNOPQRST";
    char dest[32];
    std::memset(dest, 'x', sizeof dest);
    EXPECT_EQ(proto.GetValueString("get -loc", 2000, dest, 15), 1);
    EXPECT_STREQ(dest, "ABCDEFGHIJKLMNO");
    EXPECT_TRUE(Logged("GetValueString found get -loc \"ABCDEFGHIJKLMNO\""));
}

TEST_F(ProtocolBench, ValueStringRefusesErrorsPromptsAndEmptyValues) {
    BenchInstrument& d = Connected("TRU 3.65");
    // An empty line is already an empty answer to the transaction (-31).
    const std::pair<const char*, ResultCode> cases[] = {{"Error 3", -30}, {">", -30}, {"", -31}};
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        d.settings["cfg"] = value;
        const int before = d.Count("get -cfg");
        char dest[16] = "old";
        EXPECT_EQ(proto.GetValueString("get -cfg", 2000, dest, 15), expected);
        EXPECT_STREQ(dest, "");  // nothing half-read is left to be taken as the value
        EXPECT_EQ(d.Count("get -cfg") - before, 3);
    }
    EXPECT_TRUE(Logged("GetValueString found a leading prompt character executing command \"get -cfg\""));
    EXPECT_TRUE(Logged("GetValueString received error -30 executing command \"get -cfg\""));
}

TEST_F(ProtocolBench, ValueLongReadsASignedNumberInRange) {
    BenchInstrument& d = Connected("TRU 3.65");
    std::int32_t v = 0;
    d.settings["lang"] = "  -42";
    EXPECT_EQ(proto.GetValueLong("get -lang", 2000, &v), 1);
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(Logged("GetValueLong found get -lang \"-42\""));
    for (const char* bad : {"two", "4294967296"}) {
        d.settings["lang"] = bad;
        v = 7;
        EXPECT_EQ(proto.GetValueLong("get -lang", 2000, &v), -30) << bad;
        EXPECT_EQ(v, 7);
    }
}

TEST_F(ProtocolBench, SendCommandNeedsOk) {
    BenchInstrument& d = Connected("TRU 3.65");
    EXPECT_EQ(proto.SendCommand("reset -eqn\r"), 1);
    d.refused.insert("cal");
    d.refusal = SetAnswer::kOther;  // answers "NO"
    d.settings["x"] = "1";
    EXPECT_EQ(proto.SendCommand("set -cal\r"), -30);
    EXPECT_EQ(d.Count("set -cal"), 3);
    EXPECT_EQ(LoggedCount("\"set -cal\" failed with error "), 3);
    d.silent = true;
    EXPECT_EQ(proto.SendCommand("set -cal\r"), -21);
}

}  // namespace
}  // namespace quor::insttest
