// The command set of every instrument type, over the wire.

#include <set>
#include <string>
#include <vector>

#include "SimInstrumentFixture.h"

namespace quor::testing {
namespace {

struct TypeCase {
    const char* code;
    std::set<std::string> keys;  // the settings its firmware gets and sets
    bool login;
    bool battery;
    bool erase;
    const char* clock;  // "sec", "t" or none
    bool equations;
    bool users;
    bool calibration;
};

// Which settings each type has, as the settings capture asks for them.
const std::vector<TypeCase>& Types() {
    // clang-format off
    static const std::vector<TypeCase> cases = {
        //  code      settings                                         login  batt   erase  clock  eqn    user   cal
        {"DMINI",    {"sn", "lang", "contr", "fvals", "uvals", "hadj", "tau"}, true,  false, false, nullptr, false, false, false},
        {"TQ",       {"sn", "contr", "units", "adc", "sample"},              false, true,  true,  "t",   false, false, false},
        {"LG40",     {"adccal", "loc", "x", "ext", "sn", "contr", "config"}, false, false, true,  "sec", false, false, false},
        {"FG",       {"sn", "contr", "fvals", "units"},                       false, true,  true,  "t",   false, false, false},
        {"DSKT",     {"sn", "adccal", "wtoffset", "auto", "wtfactory", "sys"}, false, false, true, "sec", false, false, false},
        {"S7K",      {"adccal", "config"},                                    true,  false, false, nullptr, false, false, false},
        {"HJD",      {"i", "sn"},                                             false, true,  false, nullptr, false, false, false},
        {"JQ",       {"i", "sn", "contr", "adc15", "adc30"},                  false, true,  true,  "sec", false, false, true},
        {"DM9",      {"sn", "config", "tadj", "pvuser"},                      true,  false, true,  "sec", true,  true,  false},
        {"HSR",      {"sn", "config", "p", "pv", "c76", "tadj"},              false, false, true,  "sec", false, true,  false},
        {"PX7T",     {"sn", "config"},                                        true,  false, false, nullptr, false, false, false},
        {"TRU",      {"sn", "config"},                                        true,  false, false, nullptr, false, false, false},
        {"DM9LSR",   {"sn", "p0", "p3", "p5", "lwidth", "ltemp", "current", "config", "tadj"},
                                                                              false, false, true,  "sec", true,  true,  false},
        {"TWI",      {"sn", "contr", "usage", "p", "units", "tadj"},          false, true,  true,  "sec", false, false, false},
        {"FLOWPACK", {"sn"},                                                  false, true,  false, nullptr, false, false, false},
    };
    // clang-format on
    return cases;
}

// Every key some type has: a type answers the others "Unsupported".
std::set<std::string> AllKeys() {
    std::set<std::string> all;
    for (const TypeCase& t : Types()) all.insert(t.keys.begin(), t.keys.end());
    all.insert({"i", "loc", "usage"});
    return all;
}

// A value each key accepts that differs from what the model holds.
std::string NewValue(const std::string& key) {
    if (key == "sn") return "NEW-123";
    if (key == "lang" || key == "units" || key == "contr") return "3";
    if (key == "tau") return "120";
    if (key == "config") return "987654";
    if (key == "i") return "NEWNAME";
    return "7.25 new " + key;
}

class SimInstrumentTypeTest : public SimInstrumentBench,
                              public ::testing::WithParamInterface<TypeCase> {};

TEST_P(SimInstrumentTypeTest, AnswersItsVersionAndExactlyItsOwnSettings) {
    const TypeCase& t = GetParam();
    sim::InstrumentModel& m = DeviceOf(t.code);
    EXPECT_EQ(Ask("get -ver"), Value(m.Profile().versionText));
    EXPECT_EQ(m.Profile().code + " ", m.VersionText().substr(0, m.Profile().code.size() + 1));
    LogIn();

    std::set<std::string> modelled;
    for (const auto& [key, value] : m.State().settings) modelled.insert(key);
    EXPECT_EQ(modelled, t.keys);

    for (const std::string& key : AllKeys()) {
        SCOPED_TRACE(key);
        if (!t.keys.count(key)) {
            EXPECT_EQ(Ask("get -" + key), "\rUnsupported\r>");
            EXPECT_EQ(Ask("set -" + key + " 1"), "\rUnsupported\r>");
            continue;
        }
        const std::string before = m.Setting(key);
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(Ask("get -" + key), Value(before));
        EXPECT_EQ(Ask("set -" + key + " " + NewValue(key)), "\rOK\r>");
        EXPECT_EQ(m.Setting(key), NewValue(key));
        EXPECT_EQ(Ask("get -" + key), Value(NewValue(key)));
    }
}

TEST_P(SimInstrumentTypeTest, HasTheBatteryEraseClockAndListsOfItsType) {
    const TypeCase& t = GetParam();
    sim::InstrumentModel& m = DeviceOf(t.code);
    LogIn();
    m.SetBattery(64);
    EXPECT_EQ(Ask("get -batt"), t.battery ? Value("64") : "\rUnsupported\r>");
    EXPECT_EQ(Ask("post"), Value("Code Good!"));
    EXPECT_EQ(Ask("post -init"), Value("Code Good!"));

    EXPECT_EQ(Ask("yes", kEraseTimeoutMs), t.erase ? "\rOK\r>" : "\rUnsupported\r>");
    EXPECT_EQ(m.Erases(), t.erase ? 1 : 0);

    const std::string clock = t.clock ? t.clock : "";
    EXPECT_EQ(Ask("set -sec 536544000"), clock == "sec" ? "\rOK\r>" : "\rUnsupported\r>");
    EXPECT_EQ(Ask("set -t 13:07:09"), clock == "t" ? "\rOK\r>" : "\rUnsupported\r>");

    EXPECT_EQ(Ask("get -eqn") == "\rUnsupported\r>", !t.equations);
    EXPECT_EQ(Ask("reset -eqn"), t.equations ? "\rOK\r>" : "\rUnsupported\r>");
    EXPECT_EQ(Ask("get -user") == "\rUnsupported\r>", !t.users);
    EXPECT_EQ(Ask("reset -users"), t.users ? "\rOK\r>" : "\rUnsupported\r>");
    EXPECT_EQ(Ask("get -cal 0") == "\rUnsupported\r>", !t.calibration);

    EXPECT_EQ(Ask("set -sensor 0"), t.code == std::string("DM9") ? "\rOK\r>" : "\rUnsupported\r>");
    EXPECT_EQ(Ask("frobnicate"), "\rUnsupported\r>");
}

INSTANTIATE_TEST_SUITE_P(EveryType, SimInstrumentTypeTest, ::testing::ValuesIn(Types()),
                         [](const ::testing::TestParamInfo<TypeCase>& p) {
                             return std::string(p.param.code);
                         });

TEST(SimInstrumentCodesTest, EveryTypeOfTheCaptureTableIsModelledWithItsTypeNumber) {
    const std::vector<std::pair<std::string, int>> expected = {
        {"DMINI", 6}, {"TQ", 7},   {"LG40", 8},    {"FG", 9},   {"DSKT", 11},
        {"S7K", 12},  {"HJD", 13}, {"JQ", 14},     {"DM9", 15}, {"HSR", 16},
        {"PX7T", 17}, {"TRU", 20}, {"DM9LSR", 22}, {"TWI", 23}, {"FLOWPACK", 24}};
    ASSERT_EQ(sim::InstrumentCodes().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(sim::InstrumentCodes()[i], expected[i].first);
        auto p = sim::InstrumentProfileFor(expected[i].first);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->typeNumber, expected[i].second);
        EXPECT_EQ(sim::InstrumentCodeOf(expected[i].second), expected[i].first);
        auto byNumber = sim::InstrumentModel::ForType(expected[i].second);
        ASSERT_NE(byNumber, nullptr);
        EXPECT_EQ(byNumber->VersionText(), p->versionText);
        // A version text the host reads with a major, a minor and a patch digit.
        EXPECT_GT(sim::VersionNumberOf(p->versionText), 0) << p->versionText;
        EXPECT_NE(p->initial, p->factory) << "a restore must be visible";
    }
    EXPECT_EQ(sim::InstrumentProfileFor("RV70"), nullptr);
    EXPECT_EQ(sim::InstrumentModel::ForType(3), nullptr);  // a datalogger, modelled in sim/logger
    EXPECT_EQ(sim::InstrumentModel::ForType(15, "DM9 2.03")->FirmwareVersion(), 203);
    EXPECT_EQ(sim::InstrumentModel::Create("XYZ 1.00"), nullptr);
    EXPECT_NE(sim::InstrumentModel::Create("tru 3.61"), nullptr);
}

TEST(SimInstrumentCodesTest, VersionNumbersAreReadLikeTheDevicesWriteThem) {
    EXPECT_EQ(sim::VersionNumberOf("TRU 3.64"), 364);
    EXPECT_EQ(sim::VersionNumberOf("DM9 2.1"), 210);
    EXPECT_EQ(sim::VersionNumberOf("FLOWPACK 10.02"), 1002);
    EXPECT_EQ(sim::VersionNumberOf("TRU 3."), -1);
    EXPECT_EQ(sim::VersionNumberOf("TRU"), -1);
    EXPECT_EQ(sim::VersionNumberOf("TRU x.64"), -1);
    EXPECT_EQ(sim::VersionNumberOf("TRU 123.45"), -1);
}

// Settings that came with a firmware version are missing before it.
TEST_F(SimInstrumentBench, LaterSettingsAreMissingOnOlderFirmware) {
    sim::InstrumentModel& lg = Device("LG40 1.60");
    EXPECT_FALSE(lg.HasSetting("sn"));
    EXPECT_EQ(Ask("get -sn"), "\rUnsupported\r>");
    EXPECT_EQ(Ask("get -config"), "\rUnsupported\r>");
    EXPECT_EQ(Ask("get -x"), Value("0.412"));
    EXPECT_EQ(lg.State().settings.count("contr"), 0u);
}

TEST_F(SimInstrumentBench, Dm9HasPvuserFromVersion205) {
    sim::InstrumentModel& old = Device("DM9 2.04");
    LogIn();
    EXPECT_EQ(Ask("get -pvuser"), "\rUnsupported\r>");
    EXPECT_EQ(old.State().settings.count("pvuser"), 0u);
    EXPECT_EQ(Ask("get -tadj"), Value("0.35"));
}

TEST_F(SimInstrumentBench, RefusesValuesItCannotTake) {
    sim::InstrumentModel& m = DeviceOf("DMINI");
    LogIn();
    struct Bad {
        const char* command;
        const char* key;
    };
    for (const Bad& b : {Bad{"set -contr 64", "contr"}, Bad{"set -contr -1", "contr"},
                         Bad{"set -lang 2x", "lang"}, Bad{"set -tau 99999999999999999999", "tau"},
                         Bad{"set -sn ", "sn"}, Bad{"set -sn 1234567890123456", "sn"},
                         Bad{"set -sn A B", "sn"}, Bad{"set -fvals", "fvals"}}) {
        SCOPED_TRACE(b.command);
        const std::string before = m.Setting(b.key);
        EXPECT_EQ(Ask(b.command), "\rERROR\r>");
        EXPECT_EQ(m.Setting(b.key), before);
    }
    EXPECT_EQ(Ask("set -sn 123456789012345"), "\rOK\r>");
}

TEST_F(SimInstrumentBench, ConfigChecksumsAreUnsigned32BitNumbers) {
    sim::InstrumentModel& m = DeviceOf("TRU");
    LogIn();
    EXPECT_EQ(Ask("set -config 4294967295"), "\rOK\r>");
    EXPECT_EQ(Ask("set -config 4294967296"), "\rERROR\r>");
    EXPECT_EQ(Ask("set -config -5"), "\rERROR\r>");
    EXPECT_EQ(Ask("set -config 12ab"), "\rERROR\r>");
    EXPECT_EQ(m.Setting("config"), "4294967295");
}

TEST_F(SimInstrumentBench, AConfigChecksumCheckTakesOnlyNumbersAdjustedToTheSerialNumber) {
    sim::InstrumentModel& m = DeviceOf("DM9");
    LogIn();
    ASSERT_EQ(Ask("set -sn AA"), "\rOK\r>");
    ASSERT_EQ(Ask("set -config 1000"), "\rOK\r>");
    m.RequireConfigChecksum(true);
    EXPECT_EQ(Ask("set -config 1001"), "\rERROR\r>");
    ASSERT_EQ(Ask("set -sn AB"), "\rOK\r>");
    EXPECT_EQ(Ask("set -config 1000"), "\rERROR\r>");  // not adjusted
    EXPECT_EQ(Ask("set -config 1001"), "\rOK\r>");
    // The number wraps at 32 bits.
    m.RequireConfigChecksum(false);
    ASSERT_EQ(Ask("set -config 5"), "\rOK\r>");
    m.RequireConfigChecksum(true);
    ASSERT_EQ(Ask("set -sn A"), "\rOK\r>");
    EXPECT_EQ(Ask("set -config 4294967235"), "\rOK\r>");  // 5 - 131 + 65, modulo 2^32
    EXPECT_EQ(Ask("set -config 0"), "\rERROR\r>");
    m.RequireConfigChecksum(false);
    EXPECT_EQ(Ask("set -config 0"), "\rOK\r>");
}

TEST_F(SimInstrumentBench, ClockFollowsVirtualTimeAndTakesDateAndTime) {
    sim::InstrumentModel& tq = DeviceOf("TQ");
    EXPECT_EQ(Ask("set -t 13:07:09"), "\rOK\r>");
    EXPECT_EQ(Ask("set -d 2017-5-4"), "\rOK\r>");
    EXPECT_EQ(Ask("get -t"), Value("Date\\Time: 2017-05-04 13:07:09"));
    EXPECT_EQ(Ask("set -d 2017-13-4"), "\rERROR\r>");
    EXPECT_EQ(Ask("set -t 24:00:00"), "\rERROR\r>");
    const std::int64_t at = tq.ClockSeconds();
    DSSleep(10'000);
    EXPECT_EQ(tq.ClockSeconds(), at + 10);
}

TEST_F(SimInstrumentBench, QuorSecondsClockTakesTheCountAndRefusesNonsense) {
    sim::InstrumentModel& lg = DeviceOf("LG40");
    EXPECT_EQ(Ask("set -sec 536544000"), "\rOK\r>");
    EXPECT_EQ(lg.ClockSeconds(), 536544000);
    EXPECT_EQ(Ask("get -sec"), Value("536544000"));
    EXPECT_EQ(Ask("set -sec 2147483648"), "\rERROR\r>");
    EXPECT_EQ(Ask("set -sec -1"), "\rERROR\r>");
    EXPECT_EQ(Ask("set -sec soon"), "\rERROR\r>");
    EXPECT_EQ(lg.ClockSeconds(), 536544000);
}

TEST_F(SimInstrumentBench, Dm9TakesItsSensorTypeApartFromTheSettings) {
    sim::InstrumentModel& m = DeviceOf("DM9");
    LogIn();
    const sim::InstrumentState before = m.State();
    EXPECT_EQ(m.SensorType(), "3");
    EXPECT_EQ(Ask("set -sensor 0"), "\rOK\r>");
    EXPECT_EQ(m.SensorType(), "0");
    EXPECT_EQ(Ask("get -sensor"), Value("0"));
    EXPECT_EQ(Ask("set -sensor 12"), "\rERROR\r>");
    EXPECT_EQ(m.State(), before);
}

}  // namespace
}  // namespace quor::testing
