// Login, reply shapes and misbehaviour, record lists and the faults a test
// can ask for.

#include <string>
#include <vector>

#include "SimInstrumentFixture.h"

namespace quor::testing {
namespace {

// --- login ---

TEST_F(SimInstrumentBench, TypedLoginEchoesTheCodeAndOpensTheSettings) {
    sim::InstrumentModel& m = DeviceOf("TRU");
    EXPECT_EQ(Ask("get -ver"), Value("TRU 3.64"));  // identification needs no login
    EXPECT_EQ(Ask("get -sn"), "\rERROR: login required\r>");
    EXPECT_EQ(Ask("set -sn X1"), "\rERROR: login required\r>");
    const std::uint64_t start = world.NowMs();
    EXPECT_EQ(TypeLogin("login *3378"), Value("3378"));
    EXPECT_GE(world.NowMs() - start, 11u * kLoginCharPauseMs);
    EXPECT_TRUE(m.LoggedIn());
    EXPECT_EQ(Ask("get -sn"), Value("TRU-004711"));
    EXPECT_EQ(Ask("logout"), "\rOK\r>");
    EXPECT_FALSE(m.LoggedIn());
    EXPECT_EQ(Ask("get -sn"), "\rERROR: login required\r>");
}

TEST_F(SimInstrumentBench, LoginIsRefusedForAWrongCodeOrAPastedLine) {
    sim::InstrumentModel& m = DeviceOf("DM9");
    EXPECT_EQ(TypeLogin("login *3379"), Value("Access denied"));
    EXPECT_EQ(TypeLogin("login 3378"), Value("Access denied"));
    // All at once, as one write: faster than a person types.
    EXPECT_EQ(Ask("login *3378"), Value("Access denied"));
    EXPECT_EQ(TypeLogin("login *3378", 150), Value("Access denied"));
    EXPECT_FALSE(m.LoggedIn());
    EXPECT_EQ(m.Logins(), 4);
    m.Quirks().loginCharGapUs = 0;
    EXPECT_EQ(Ask("login *3378"), Value("3378"));
    EXPECT_TRUE(m.LoggedIn());
}

TEST_F(SimInstrumentBench, LoginAnswerAndCodeAreTheTestsChoice) {
    sim::InstrumentModel& m = DeviceOf("PX7T");
    m.Quirks().accessCode = "2739";
    m.Quirks().loginReply = sim::LoginReply::kEchoCodeAndOk;
    EXPECT_EQ(TypeLogin("login *3378"), Value("Access denied"));
    EXPECT_EQ(TypeLogin("login *2739"), "\r2739\rOK\r>");
    m.Quirks().loginReply = sim::LoginReply::kOk;
    EXPECT_EQ(TypeLogin("login *2739"), "\rOK\r>");
}

TEST_F(SimInstrumentBench, TypesWithoutLoginDoNotKnowIt) {
    sim::InstrumentModel& m = DeviceOf("TWI");
    EXPECT_EQ(TypeLogin("login *3378"), "\rUnsupported\r>");
    EXPECT_EQ(Ask("get -sn"), Value("TWI-0077"));
    EXPECT_EQ(m.Logins(), 0);
}

TEST_F(SimInstrumentBench, TheLoginGateCanBeTurnedOff) {
    sim::InstrumentModel& m = DeviceOf("S7K");
    m.Quirks().loginRequired = false;
    EXPECT_EQ(Ask("get -config"), Value("4127"));
}

// --- reply shapes and misbehaviour ---

TEST_F(SimInstrumentBench, CrLfLineEndsWrapEveryAnswer) {
    sim::InstrumentModel& m = DeviceOf("FLOWPACK");
    m.Quirks().crlf = true;
    EXPECT_EQ(Ask("get -sn"), "\r\nFP-2291\r\n>");
    EXPECT_EQ(Ask("set -sn FP-1"), "\r\nOK\r\n>");
    m.SetSetReply("sn", sim::SetReply::kBarePrompt);
    EXPECT_EQ(Ask("set -sn FP-2"), "\r\n>");
}

TEST_F(SimInstrumentBench, EchoSendsEveryByteBack) {
    sim::InstrumentModel& m = DeviceOf("FLOWPACK");
    m.Quirks().echo = true;
    EXPECT_EQ(Ask("get -sn"), "get -sn\r\rFP-2291\r>");
}

TEST_F(SimInstrumentBench, ALateReplyArrivesAfterItsDelay) {
    sim::InstrumentModel& m = DeviceOf("FLOWPACK");
    m.Quirks().replyDelayUs = 2'500'000;
    const std::uint64_t start = world.NowMs();
    EXPECT_EQ(Ask("get -sn"), "");  // not within the host's 2 s
    EXPECT_GE(world.NowMs() - start, 2000u);
    EXPECT_EQ(ReadReply(1000), Value("FP-2291"));
    EXPECT_GE(world.NowMs() - start, 2500u);
}

TEST_F(SimInstrumentBench, SetRepliesAreChosenPerSetting) {
    sim::InstrumentModel& m = DeviceOf("DSKT");
    struct Case {
        sim::SetReply reply;
        const char* answer;
    };
    for (const Case& c :
         {Case{sim::SetReply::kError, "\rERROR\r>"}, Case{sim::SetReply::kBarePrompt, "\r>"},
          Case{sim::SetReply::kSilent, ""}}) {
        m.SetSetReply("sys", c.reply);
        EXPECT_EQ(Ask("set -sys 9 9 9 9"), c.answer);
        EXPECT_EQ(m.Setting("sys"), "3 1 0 2");
    }
    // Another setting is still taken.
    EXPECT_EQ(Ask("set -auto 60"), "\rOK\r>");
    m.Quirks().defaultSetReply = sim::SetReply::kBarePrompt;
    EXPECT_EQ(Ask("set -auto 30"), "\r>");
    EXPECT_EQ(m.Setting("auto"), "60");
}

TEST_F(SimInstrumentBench, GetRepliesAreChosenPerSetting) {
    sim::InstrumentModel& m = DeviceOf("HJD");
    struct Case {
        sim::GetReply reply;
        const char* answer;
    };
    for (const Case& c :
         {Case{sim::GetReply::kError, "\rERROR\r>"}, Case{sim::GetReply::kBarePrompt, "\r>"},
          Case{sim::GetReply::kEmpty, "\r\r>"}, Case{sim::GetReply::kSilent, ""},
          Case{sim::GetReply::kValue, "\rFIELD7\r>"}}) {
        m.SetGetReply("i", c.reply);
        EXPECT_EQ(Ask("get -i"), c.answer);
    }
    // A value a test stores is answered as it stands, long or not.
    const std::string longName(300, 'N');
    m.SetSetting("i", longName);
    EXPECT_EQ(Ask("get -i"), Value(longName));
}

// --- record lists ---

TEST_F(SimInstrumentBench, RecordListsCountReadReplaceAppendAndReset) {
    sim::InstrumentModel& m = DeviceOf("DM9");
    LogIn();
    EXPECT_EQ(Ask("get -eqn"), Value("4"));
    EXPECT_EQ(Ask("get -eqn 1"), Value("Mineral_Soil 0.1 3.879e-4 -0.6956"));
    EXPECT_EQ(Ask("get -eqn 4"), "\rERROR\r>");
    EXPECT_EQ(Ask("get -eqn -1"), "\rERROR\r>");
    EXPECT_EQ(Ask("get -user"), Value("3"));
    EXPECT_EQ(Ask("get -user 0"), Value(sim::EncodeUserRecord("beta")));

    EXPECT_EQ(Ask("reset -eqn"), "\rOK\r>");
    EXPECT_EQ(Ask("get -eqn"), Value("0"));
    EXPECT_EQ(Ask("set -eqn 1 Gap 1 2"), "\rERROR\r>");  // indices come in order
    EXPECT_EQ(Ask("set -eqn 0 Sand 0.1 0.2"), "\rOK\r>");
    EXPECT_EQ(Ask("set -eqn 1 Clay 0.3 0.4"), "\rOK\r>");
    EXPECT_EQ(Ask("set -eqn 0 Loam 0.5 0.6"), "\rOK\r>");
    EXPECT_EQ(Ask("set -eqn 2"), "\rERROR\r>");
    EXPECT_EQ(m.State().equations, (std::vector<std::string>{"Loam 0.5 0.6", "Clay 0.3 0.4"}));

    EXPECT_EQ(Ask("reset -user"), "\rUnsupported\r>");  // the list's reset is "reset -users"
    EXPECT_EQ(Ask("reset -users"), "\rOK\r>");
    EXPECT_TRUE(m.State().users.empty());
    EXPECT_EQ(Ask("get -user 0"), "\rERROR\r>");
}

TEST_F(SimInstrumentBench, RecordListsStopAtTheirCapacity) {
    sim::InstrumentModel& m = DeviceOf("HSR");
    ASSERT_EQ(Ask("reset -users"), "\rOK\r>");
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(Ask("set -user " + std::to_string(i) + " " +
                      sim::EncodeUserRecord("u" + std::to_string(i))),
                  "\rOK\r>");
    }
    EXPECT_EQ(Ask("set -user 25 " + sim::EncodeUserRecord("late")), "\rERROR\r>");
    EXPECT_EQ(m.State().users.size(), 25u);
    EXPECT_EQ(Ask("get -user"), Value("25"));
}

TEST_F(SimInstrumentBench, CountQueriesCanFailApartFromTheRecords) {
    sim::InstrumentModel& m = DeviceOf("DM9LSR");
    m.SetGetReply("eqn count", sim::GetReply::kError);
    EXPECT_EQ(Ask("get -eqn"), "\rERROR\r>");
    EXPECT_EQ(Ask("get -eqn 0"), Value("Potting_Mix 0.2 2.887e-4 -0.7243"));
    m.SetSetReply("eqn", sim::SetReply::kError);
    EXPECT_EQ(Ask("set -eqn 0 Other 1"), "\rERROR\r>");
    EXPECT_EQ(m.State().equations.size(), 4u);
}

TEST_F(SimInstrumentBench, UserRecordsAreBase64OfTabbedFieldsWithTheNameFourth) {
    EXPECT_EQ(sim::EncodeBase64(""), "");
    EXPECT_EQ(sim::EncodeBase64("f"), "Zg==");
    EXPECT_EQ(sim::EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(sim::EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(sim::EncodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(sim::EncodeUserRecord("Alpha", "x"), sim::EncodeBase64("U1\t0\t2\tAlpha\tx"));
}

TEST_F(SimInstrumentBench, CalibrationListEndsWithAnErrorAfterItsLastEntry) {
    sim::InstrumentModel& m = DeviceOf("JQ");
    const std::size_t n = m.State().calibration.size();
    for (std::size_t j = 0; j < n; ++j)
        EXPECT_EQ(Ask("get -cal " + std::to_string(j)), Value(m.State().calibration[j]));
    EXPECT_EQ(Ask("get -cal " + std::to_string(n)), "\rERROR\r>");
    EXPECT_EQ(Ask("set -cal 0 0.5 2.5"), "\rOK\r>");
    EXPECT_EQ(m.State().calibration[0], "0.5 2.5");
    EXPECT_EQ(Ask("set -cal " + std::to_string(n) + " 0.9 2.0"), "\rOK\r>");
    EXPECT_EQ(Ask("set -cal " + std::to_string(n + 2) + " 0.9 2.0"), "\rERROR\r>");
    m.State().calibration.resize(20, "x");
    EXPECT_EQ(Ask("set -cal 20 1"), "\rERROR\r>");
    EXPECT_EQ(Ask("get -cal"), "\rUnsupported\r>");
}

// --- faults ---

TEST_F(SimInstrumentBench, ARefusedSettingKeepsItsValueAndTheOthersGoOn) {
    sim::InstrumentModel& m = DeviceOf("TWI");
    m.RefuseSetting("usage");
    EXPECT_EQ(Ask("set -usage ring 5cm"), "\rERROR\r>");
    EXPECT_EQ(m.Setting("usage"), "inner 10cm outer 20cm");
    EXPECT_EQ(Ask("get -usage"), Value("inner 10cm outer 20cm"));
    EXPECT_EQ(Ask("set -tadj 0.01"), "\rOK\r>");
}

TEST_F(SimInstrumentBench, ARejectedSerialNumberIsAnsweredError) {
    sim::InstrumentModel& m = DeviceOf("FLOWPACK");
    m.RejectSerialNumbers(true);
    EXPECT_EQ(Ask("set -sn FP-9"), "\rERROR\r>");
    EXPECT_EQ(m.Setting("sn"), "FP-2291");
    m.RejectSerialNumbers(false);
    EXPECT_EQ(Ask("set -sn FP-9"), "\rOK\r>");
}

TEST_F(SimInstrumentBench, GoesSilentAfterNCommands) {
    sim::InstrumentModel& m = DeviceOf("FG");
    m.GoSilentAfterCommands(2);
    EXPECT_EQ(Ask("get -ver"), Value("FG 1.42"));
    EXPECT_EQ(Ask("get -sn"), Value("FG-00731"));
    EXPECT_EQ(Ask("get -sn"), "");
    EXPECT_EQ(Ask("get -ver"), "");
    DSSleep(60'000);
    EXPECT_EQ(Ask("get -ver"), "");
    m.WakeUp();
    EXPECT_EQ(Ask("get -ver"), Value("FG 1.42"));
}

TEST_F(SimInstrumentBench, SilenceCanLastAWhile) {
    sim::InstrumentModel& m = DeviceOf("FG");
    m.GoSilentAfterCommands(0, 3000);
    EXPECT_EQ(Ask("get -ver"), "");
    DSSleep(1500);
    EXPECT_EQ(Ask("get -ver"), Value("FG 1.42"));
}

TEST_F(SimInstrumentBench, SelfTestAndDataFlashFaults) {
    sim::InstrumentModel& m = DeviceOf("TQ");
    m.SetCodeCorrupt(true);
    EXPECT_EQ(Ask("post"), Value("Code Corrupt!"));
    EXPECT_FALSE(m.SelfTestGood());
    m.SetDataFlashBroken(true);
    const std::uint64_t start = world.NowMs();
    EXPECT_EQ(Ask("yes", kEraseTimeoutMs), Value("DataFlash FAIL"));
    // The erase takes its time; well within the host's 17 s.
    EXPECT_GE(world.NowMs() - start, sim::InstrumentModel::kEraseTimeUs / 1000);
}

TEST_F(SimInstrumentBench, RecordsEveryCommandLine) {
    sim::InstrumentModel& m = DeviceOf("HJD");
    Ask("get -ver");
    Ask("get -i");
    Ask("set -i NEW");
    EXPECT_EQ(m.Commands(), (std::vector<std::string>{"get -ver", "get -i", "set -i NEW"}));
    EXPECT_EQ(m.CommandsSeen("get -"), 2);
}

}  // namespace
}  // namespace quor::testing
