// The loader hand-off: programming resets the settings to factory values
// and the restarted firmware reports the new image's version.

#include <string>

#include "SimInstrumentFixture.h"

namespace quor::testing {
namespace {

struct ProgramCase {
    const char* before;
    const char* after;  // the version text carried in the programmed code
    std::uint32_t codeAddress;
};

class SimInstrumentProgrammingTest : public SimInstrumentBench,
                                     public ::testing::WithParamInterface<ProgramCase> {};

// A small map at 9600 with four-digit addresses, and the large ones at
// 57600 with five.
TEST_P(SimInstrumentProgrammingTest, ProgrammingLeavesFactoryValuesAndTheNewVersion) {
    const ProgramCase& c = GetParam();
    sim::InstrumentModel& m = Device(c.before);
    LogIn();
    ASSERT_EQ(Ask("set -sn USER-1"), "\rOK\r>");
    ASSERT_NE(m.State(), m.FactoryState());

    Program(CodeWithVersion(c.after), c.codeAddress, c.codeAddress);
    EXPECT_EQ(m.Programmings(), 1);
    EXPECT_TRUE(m.Loader().Violations().empty());
    EXPECT_FALSE(m.InLoader());

    EXPECT_EQ(Ask("get -ver"), Value(c.after));
    EXPECT_EQ(m.State(), m.FactoryState());
    EXPECT_EQ(m.Setting("sn"), "000000");
    EXPECT_EQ(Ask("post"), Value("Code Good!"));
    if (m.Profile().needsLogin) {
        // A restart ends the session.
        EXPECT_FALSE(m.LoggedIn());
        EXPECT_EQ(Ask("get -sn"), "\rERROR: login required\r>");
        LogIn();
    }
    EXPECT_EQ(Ask("get -sn"), Value("000000"));
}

INSTANTIATE_TEST_SUITE_P(Maps, SimInstrumentProgrammingTest,
                         ::testing::Values(ProgramCase{"TRU 3.64", "TRU 3.65", 0x1100},
                                           ProgramCase{"DM9 2.07", "DM9 2.10", 0x2100},
                                           ProgramCase{"HSR 1.16", "HSR 1.20", 0x5C00},
                                           ProgramCase{"DM9LSR 1.03", "DM9LSR 1.04", 0x8000},
                                           ProgramCase{"FLOWPACK 1.02", "FLOWPACK 1.10", 0x8000}),
                         [](const ::testing::TestParamInfo<ProgramCase>& p) {
                             const std::string before = p.param.before;
                             return before.substr(0, before.find(' '));
                         });

TEST_F(SimInstrumentBench, ANamedImageVersionWinsOverTheFlashText) {
    sim::InstrumentModel& m = DeviceOf("TRU");
    m.SetImageVersion("TRU 3.65");
    // The code carries no version text at all (as the built-in image).
    Program({0x31, 0x40, 0x00, 0x3C}, 0x1100, 0x1100);
    EXPECT_EQ(Ask("get -ver"), Value("TRU 3.65"));
    EXPECT_EQ(m.FirmwareVersion(), 365);
}

TEST_F(SimInstrumentBench, AnImageWithoutAVersionTextKeepsTheOldOne) {
    DeviceOf("TRU");
    Program({0x31, 0x40, 0x00, 0x3C}, 0x1100, 0x1100);
    EXPECT_EQ(Ask("get -ver"), Value("TRU 3.64"));
}

TEST_F(SimInstrumentBench, NewFirmwareBringsTheSettingsOfItsVersion) {
    sim::InstrumentModel& lg = Device("LG40 1.60");
    EXPECT_EQ(Ask("get -sn"), "\rUnsupported\r>");
    Program(CodeWithVersion("LG40 2.01"), 0x1100, 0x1100);
    EXPECT_EQ(Ask("get -sn"), Value("000000"));
    EXPECT_EQ(Ask("get -config"), Value("0"));
    EXPECT_EQ(lg.State().settings.size(), 7u);
}

TEST_F(SimInstrumentBench, VectorsPointingAtErasedFlashFailTheSelfTest) {
    DeviceOf("TRU");
    Program(CodeWithVersion("TRU 3.65"), 0x1100, 0x4400);
    EXPECT_EQ(Ask("post"), Value("Code Corrupt!"));
}

TEST_F(SimInstrumentBench, IsSilentWhileItRestartsAndBackWithinHalfTheUpdatersDelay) {
    sim::InstrumentModel& m = DeviceOf("DM9");
    EnterLoader();
    const sim::SimLoaderConfig& c = m.Profile().loader;
    ASSERT_EQ(Exchange('X', Address(0x2100)), "+\r");
    ASSERT_EQ(Exchange('@', Address(0x2100)), "+\r");
    ASSERT_EQ(Exchange('W', Words(CodeWithVersion("DM9 2.10"))), "+\r");
    std::string vectors;
    for (int v = 0; v < 15; ++v) vectors += "FFFF";
    ASSERT_EQ(Exchange('V', vectors + "2100", '+'), "+");
    ASSERT_GE(port.DSHostBaud(9600), 0);
    EXPECT_EQ(c.restartDelayUs, 14'000'000u / 2);
    DSSleep(static_cast<std::uint32_t>(c.restartDelayUs / 1000) - 1500);
    EXPECT_EQ(Ask("get -ver", 400), "");
    EXPECT_EQ(m.Programmings(), 0);
    DSSleep(1500);
    EXPECT_EQ(m.Programmings(), 1);
    EXPECT_EQ(Ask("get -ver"), Value("DM9 2.10"));
}

TEST_F(SimInstrumentBench, TheFirmwareHandsOnlyTheRightInvocationToItsLoader) {
    sim::InstrumentModel& m = DeviceOf("TRU");
    EXPECT_EQ(Ask("boot zept"), "\rERROR\r>");
    EXPECT_FALSE(m.InLoader());
    m.Loader().QueueInvocationAnswers({sim::InvocationAnswer::kError});
    port.DSPurge(1);
    Write("boot ZEPT\r");
    EXPECT_EQ(ReadReply(1000, '\n'), "ERROR\r\n");
    EXPECT_FALSE(m.InLoader());
    // The firmware goes on answering.
    EXPECT_EQ(Ask("get -ver"), Value("TRU 3.64"));
}

TEST_F(SimInstrumentBench, ADeviceLeftInItsLoaderAnswersLikeTheLoader) {
    sim::InstrumentModel& m = DeviceOf("TRU");
    m.StartInLoader();
    EXPECT_TRUE(m.InLoader());
    // A waiting loader answers a carriage return with "$", not a version.
    EXPECT_EQ(Ask("get -ver", 500), "$");
    Write("P");
    EXPECT_EQ(ReadReply(500, '#'), "#");
}

TEST_F(SimInstrumentBench, ASecondProgrammingResetsAgain) {
    sim::InstrumentModel& m = DeviceOf("TRU");
    Program(CodeWithVersion("TRU 3.65"), 0x1100, 0x1100);
    LogIn();
    ASSERT_EQ(Ask("set -config 55"), "\rOK\r>");
    Program(CodeWithVersion("TRU 3.66"), 0x1100, 0x1100);
    EXPECT_EQ(m.Programmings(), 2);
    EXPECT_EQ(m.Setting("config"), "0");
    EXPECT_EQ(m.VersionText(), "TRU 3.66");
}

}  // namespace
}  // namespace quor::testing
