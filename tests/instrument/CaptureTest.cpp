#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstrumentFixture.h"

namespace quor::insttest {
namespace {

std::string Base64(const std::string& bytes) {
    static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) n |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
    }
    return out;
}

std::string UserRecord(const std::string& name) { return Base64("7\t0.5\t1\t" + name + "\tmm"); }

RecordSet MakeSet(const std::vector<std::string>& values) {
    RecordSet set;
    set.count = static_cast<std::int32_t>(values.size());
    set.records.reset(new Record[values.size()]);
    for (std::size_t i = 0; i < values.size(); ++i) set.records[i].value = values[i];
    return set;
}

TEST_F(ProtocolBench, ZeroRequestWordsDoNothing) {
    BenchInstrument& d = Connected("TRU 3.65");
    const std::size_t lines = d.Lines().size();
    EXPECT_EQ(proto.GetInstInfo(0), 0);
    EXPECT_EQ(proto.SetInstInfo(0), 0);
    EXPECT_EQ(d.Lines().size(), lines);
    EXPECT_TRUE(Logged("GetInstInfo should be called with non-zero flags"));
    EXPECT_TRUE(Logged("SetInstInfo should be called with non-zero flags"));
}

TEST_F(ProtocolBench, CaptureReadsInItsOrderAndMarksWhatItGot) {
    BenchInstrument& d = Connected("TWI 1.10");
    d.settings = {{"sn", "TW-0042"}, {"contr", "12"},   {"usage", "field"},
                  {"p", "1 2 3"},    {"units", "kPa"},  {"tadj", "0.1 0.2"}};
    EXPECT_EQ(proto.GetInstInfo(0x20C08012), 1);
    const InstrumentSettings& s = proto.Instrument();
    EXPECT_EQ(s.type, DeviceType::kTwi);
    EXPECT_EQ(s.selection, 0x20C08012u);
    EXPECT_EQ(s.serialNumber, "TW-0042");
    EXPECT_EQ(s.contr, 12);
    EXPECT_EQ(s.usage, "field");
    EXPECT_EQ(s.fvals, "1 2 3");  // "get -p" is kept in fvals
    EXPECT_EQ(s.pcUnits, "kPa");
    EXPECT_EQ(s.tadj, "0.1 0.2");
    std::vector<std::string> gets;
    for (const std::string& l : d.Lines())
        if (l.rfind("get -", 0) == 0 && l != "get -ver") gets.push_back(l);
    EXPECT_EQ(gets, (std::vector<std::string>{"get -sn", "get -contr", "get -usage", "get -units",
                                              "get -tadj", "get -p"}));
}

TEST_F(ProtocolBench, FailedGetsLeaveTheirBitsClearAndGiveMinus35) {
    BenchInstrument& d = Connected("TQ 1.20");
    d.settings = {{"sn", "TQ-1"}, {"units", "2"}, {"adc", "55"}};  // no contr, no sample
    EXPECT_EQ(proto.GetInstInfo(0x100192), -35);
    EXPECT_EQ(proto.Instrument().selection, 0x182u);
    EXPECT_TRUE(Logged("GetInstInfo could not collect all settings"));
    // The last one read failing is one of several as well, so the capture
    // is still saved; alone it keeps its own code.
    d.settings = {{"sn", "TQ-1"}};
    EXPECT_EQ(proto.GetInstInfo(0x12), -35);
    EXPECT_EQ(proto.GetInstInfo(0x10), -34);
}

TEST_F(ProtocolBench, MissingSampleCostsNothing) {
    BenchInstrument& d = Connected("TQ 1.20");
    d.settings = {{"sn", "TQ-1"}, {"contr", "3"}, {"units", "2"}, {"adc", "55"}};
    EXPECT_EQ(proto.GetInstInfo(0x100192), 1);
    EXPECT_EQ(proto.Instrument().selection, 0x192u);
}

TEST_F(ProtocolBench, SerialNumberThatSaysOkIsAskedAgain) {
    BenchInstrument& d = Connected("TRU 3.65");
    d.settings = {{"sn", "OK"}};
    EXPECT_EQ(proto.GetInstInfo(0x2), -30);
    EXPECT_EQ(proto.Instrument().serialNumber, "");
    EXPECT_EQ(d.Count("get -sn"), 3);  // each try's value said OK
}

TEST_F(ProtocolBench, ABrokenLinkEndsTheCaptureEarly) {
    BenchInstrument& d = Connected("TRU 3.65");
    d.settings = {{"sn", "T-1"}, {"config", "77"}};
    d.silent = true;
    EXPECT_EQ(proto.GetInstInfo(0x802), -21);
    EXPECT_EQ(d.Count("get -config"), 0);  // the serial number's silence stopped it
}

TEST_F(ProtocolBench, ShortCalibrationListIsAList) {
    BenchInstrument& d = Connected("JQ 2.10");
    d.settings = {{"cal 0", "a0"}, {"cal 1", "a1"}, {"cal 2", "a2"}, {"cal 4", "a4"}};
    EXPECT_EQ(proto.GetInstInfo(0x200000), 1);
    const InstrumentSettings& s = proto.Instrument();
    EXPECT_EQ(s.selection, 0x200000u);
    EXPECT_EQ(s.cal[2], "a2");
    EXPECT_EQ(s.cal[3], "");
    EXPECT_EQ(d.Count("get -cal 4"), 0);

    // No list at all is a failure.
    Connected("JQ 2.10");
    EXPECT_EQ(proto.GetInstInfo(0x200000), -34);
}

TEST_F(ProtocolBench, HsrKeepsPvAndC76WithP) {
    BenchInstrument& d = Connected("HSR 1.30");
    d.settings = {{"p", "P1"}, {"pv", "PV1"}, {"c76", "C7"}};
    EXPECT_EQ(proto.GetInstInfo(0x400000), 1);
    EXPECT_EQ(proto.Instrument().fvals, "P1");
    EXPECT_EQ(proto.Instrument().uvals, "PV1");
    EXPECT_EQ(proto.Instrument().calprefs, "C7");

    d.settings.clear();
    d.settings["c76"] = "old";  // factory value to be replaced
    EXPECT_EQ(proto.SetInstInfo(0x400000), 1);
    EXPECT_EQ(d.settings["p"], "P1");
    EXPECT_EQ(d.settings["pv"], "PV1");
    EXPECT_EQ(d.settings["c76"], "C7");
    // A firmware without c76 loses nothing that counts.
    d.refused.insert("c76");
    EXPECT_EQ(proto.SetInstInfo(0x400000), 1);
    EXPECT_TRUE(Logged("SetInstInfo set -pv to \"PV1\""));
}

TEST_F(ProtocolBench, HadjWithTauAndOnlyWhenThereIsAnHadj) {
    BenchInstrument& d = Connected("DMINI 1.20");
    EXPECT_EQ(proto.GetInstInfo(0x40000000), 1);  // none: still no failure
    EXPECT_EQ(proto.Instrument().selection & 0x40000000u, 0u);
    EXPECT_EQ(d.Count("get -tau"), 0);
    d.settings = {{"hadj", "H 1"}, {"tau", "-5"}};
    EXPECT_EQ(proto.GetInstInfo(0x40000000), 1);
    EXPECT_EQ(proto.Instrument().hadj, "H 1");
    EXPECT_EQ(proto.Instrument().tau, -5);
    d.settings.clear();
    EXPECT_EQ(proto.SetInstInfo(0x40000000), 1);
    EXPECT_EQ(d.settings["tau"], "-5");
    EXPECT_EQ(d.settings["hadj"], "H 1");
    EXPECT_TRUE(Logged("SetInstInfo set tau to \"-5\""));
}

TEST_F(ProtocolBench, TuningValuesGoToTheFirstSixEntries) {
    BenchInstrument& d = Connected("DM9LSR 1.00");
    d.settings = {{"p0", "0.1"}, {"p3", "3"}, {"p5", "5"}, {"lwidth", "12"}, {"ltemp", "25"}, {"current", "7"}};
    EXPECT_EQ(proto.GetInstInfo(0x4), 1);
    EXPECT_EQ(proto.Instrument().cal[0], "0.1");
    EXPECT_EQ(proto.Instrument().cal[5], "7");
    d.settings.clear();
    EXPECT_EQ(proto.SetInstInfo(0x4), 1);
    EXPECT_EQ(d.settings["lwidth"], "12");
    EXPECT_EQ(d.settings["current"], "7");
    // A tuning value that is not taken is a failed restore, whichever it is.
    d.refused.insert("p3");
    EXPECT_EQ(proto.SetInstInfo(0x4), -35);
    // One that goes unanswered while the others are taken does not end the
    // restore: the settings after the group still go.
    d.refused.clear();
    d.unanswered.insert("set -p0 0.1");
    proto.MutableInstrument().tadj = "T";
    EXPECT_EQ(proto.SetInstInfo(0x4 | 0x20000000), -35);
    EXPECT_EQ(d.settings["tadj"], "T");
    // None taken: the device's latest answer is the result.
    d.refused = {"p0", "p3", "p5", "lwidth", "ltemp", "current"};
    EXPECT_EQ(proto.SetInstInfo(0x4), -34);
    d.unanswered.clear();
    EXPECT_EQ(proto.SetInstInfo(0x4), -34);
    // An empty value (an older file has no sixth) is never sent, and counts as not restored.
    d.refused.clear();
    proto.MutableInstrument().cal[5].Clear();
    const std::size_t before = d.Lines().size();
    EXPECT_EQ(proto.SetInstInfo(0x4), -35);
    const std::vector<std::string> sent(d.Lines().begin() + static_cast<std::ptrdiff_t>(before), d.Lines().end());
    EXPECT_EQ(sent, (std::vector<std::string>{"set -p0 0.1", "set -p3 3", "set -p5 5", "set -lwidth 12",
                                              "set -ltemp 25"}));
}

// --- restore -------------------------------------------------------------------

TEST_F(ProtocolBench, RestoreSendsEverySettingInItsOrderWithItsLabel) {
    BenchInstrument& d = Connected("DSKT 1.00");
    InstrumentSettings& s = proto.MutableInstrument();
    s.serialNumber = "DK-9";
    s.adccal = "1 2";
    s.wtoffset = "3";
    s.autoSec = "60";
    s.wtfactory = "4";
    s.sys = "S";
    const std::size_t before = d.Lines().size();
    // The capture word's 0x2000 names no setting; the selection never has it.
    EXPECT_EQ(proto.SetInstInfo(0x80025402), 1);
    const std::vector<std::string> sent(d.Lines().begin() + static_cast<long>(before), d.Lines().end());
    EXPECT_EQ(sent, (std::vector<std::string>{"set -sn DK-9", "set -adccal 1 2", "set -wtoffset 3",
                                              "set -wtfactory 4", "set -sys S", "set -auto 60"}));
    EXPECT_TRUE(Logged("SetInstInfo set device serial number to \"DK-9\""));
    EXPECT_TRUE(Logged("SetInstInfo set autosec to \"60\""));
}

TEST_F(ProtocolBench, ASetWithoutOkIsAFailedRestoreAndTheRestStillGoes) {
    for (SetAnswer how : {SetAnswer::kOther, SetAnswer::kError}) {
        BenchInstrument& d = Connected("DMINI 1.20");
        InstrumentSettings& s = proto.MutableInstrument();
        s.lang = 2;
        s.contr = 9;
        s.fvals = "F";
        d.refused.insert("contr");
        d.refusal = how;
        EXPECT_EQ(proto.SetInstInfo(0x38), -35);
        EXPECT_EQ(d.settings["lang"], "2");
        EXPECT_EQ(d.settings["fvals"], "F");  // after the refused one
        EXPECT_EQ(d.settings.count("contr"), 0u);
        EXPECT_TRUE(Logged("SetInstInfo could not restore all settings"));
        // Refused as the last one, it is a setting not restored as it is
        // earlier in the order; alone, an error answer keeps its code.
        EXPECT_EQ(proto.SetInstInfo(0x18), -35);
        EXPECT_EQ(proto.SetInstInfo(0x10), how == SetAnswer::kError ? -34 : -35);
        proto.Disconnect(false);
    }
}

TEST_F(ProtocolBench, RejectedSerialNumberIsMinus12) {
    BenchInstrument& d = Connected("TRU 3.65");
    proto.MutableInstrument().serialNumber = "BAD";
    d.refused.insert("sn");
    EXPECT_EQ(proto.SetInstInfo(0x2), -12);
    EXPECT_EQ(d.Count("set -sn BAD"), 9);  // three tries of one transaction each retried
    // Answered, but not with "OK": the number was not taken.
    d.refusal = SetAnswer::kOther;
    EXPECT_EQ(proto.SetInstInfo(0x2), -35);
    EXPECT_EQ(d.settings.count("sn"), 0u);
}

TEST_F(ProtocolBench, BitWithoutASettingIsMinus30) {
    BenchInstrument& d = Connected("TRU 3.65");
    proto.MutableInstrument().config = "5";
    EXPECT_EQ(proto.SetInstInfo(0x800 | 0x10000), -30);
    EXPECT_EQ(d.settings["config"], "5");
}

TEST_F(ProtocolBench, SilenceEndsTheRestoreEarly) {
    BenchInstrument& d = Connected("TRU 3.65");
    proto.MutableInstrument().serialNumber = "T-1";
    proto.MutableInstrument().config = "5";
    d.silent = true;
    EXPECT_EQ(proto.SetInstInfo(0x802), -21);
    EXPECT_EQ(d.Count("set -config 5"), 0);
}

// --- record lists ----------------------------------------------------------------

TEST_F(ProtocolBench, RecordsAreReadUpToTheirCount) {
    BenchInstrument& d = Connected("DM9 2.05");
    d.settings = {{"eqn 0", "A x"}, {"eqn 1", "B y"}, {"eqn 2", "C z"}};
    RecordSet set;
    EXPECT_EQ(proto.GetRecords_Serial(&set, kEqnRecordKind), 1);
    ASSERT_EQ(set.count, 3);
    EXPECT_EQ(set.records[2].value, "C z");
    EXPECT_TRUE(Logged("GetRecords_Serial instrument reports 3 \"eqn\" records"));
    EXPECT_TRUE(Logged("GetRecords_Serial retrieved 3 of 3 \"eqn\" records"));

    EXPECT_EQ(proto.GetRecords_Serial(&set, kUserRecordKind), 0);  // the set is refilled
    EXPECT_TRUE(Logged("GetRecords_Serial found a non-null \"user\" set"));
    EXPECT_TRUE(Logged("GetRecords_Serial found no \"user\" records in instrument"));
    EXPECT_FALSE(set.HasArray());
    EXPECT_EQ(proto.GetRecords_Serial(&set, 3), -11);
    EXPECT_TRUE(Logged("GetRecords_Serial found an unexpected record type \"3\""));
}

TEST_F(ProtocolBench, UnansweredCountAsksEntryByEntry) {
    BenchInstrument& d = Connected("DM9 2.05");
    d.settings = {{"eqn#", "ERROR"}, {"eqn 0", "A"}, {"eqn 1", "B"}, {"eqn 2", "C"}, {"eqn 3", "D"}};
    RecordSet set;
    EXPECT_EQ(proto.GetRecords_Serial(&set, kEqnRecordKind), 1);
    EXPECT_EQ(set.count, 4);
    EXPECT_TRUE(Logged("GetRecords_Serial instrument reports 100 \"eqn\" records"));
    EXPECT_GT(d.Count("get -eqn 4"), 0);
    EXPECT_EQ(d.Count("get -eqn 5"), 0);
    // A count no list can have is no count either.
    d.settings["user#"] = "-4";
    d.settings["user 0"] = "U";
    EXPECT_EQ(proto.GetRecords_Serial(&set, kUserRecordKind), 1);
    EXPECT_EQ(set.count, 1);
    EXPECT_TRUE(Logged("GetRecords_Serial instrument reports 25 \"user\" records"));
}

TEST_F(ProtocolBench, UserRecordsComeBackSortedByTheirNames) {
    BenchInstrument& d = Connected("DM9 2.05");
    RecordSet set = MakeSet({UserRecord("beta"), UserRecord("Alpha"), UserRecord("alpha")});
    EXPECT_EQ(proto.SetRecords_Serial(&set, kUserRecordKind), 1);
    EXPECT_EQ(d.settings["user 0"], UserRecord("alpha"));
    EXPECT_EQ(d.settings["user 1"], UserRecord("Alpha"));
    EXPECT_EQ(d.settings["user 2"], UserRecord("beta"));
    EXPECT_EQ(set.records[0].name, "alpha");
    EXPECT_TRUE(Logged("SetRecords_Serial retrieved 3 of 3 \"user\" records"));

    RecordSet empty;
    EXPECT_EQ(proto.SetRecords_Serial(&empty, kUserRecordKind), 0);
    EXPECT_TRUE(Logged("SetRecords_Serial found an empty \"user\" set"));
}

TEST_F(ProtocolBench, ARefusedRecordIsReportedAfterTheOthersWent) {
    BenchInstrument& d = Connected("DM9 2.05");
    RecordSet set = MakeSet({"a 1", "b 2", "c 3"});
    d.refused.insert("eqn 1");
    EXPECT_EQ(proto.SetRecords_Serial(&set, kEqnRecordKind), -35);
    EXPECT_EQ(d.settings["eqn 0"], "a 1");
    EXPECT_EQ(d.settings["eqn 2"], "c 3");
    // Every record refused: the device's own answer is the result.
    d.refused = {"eqn 0", "eqn 1", "eqn 2"};
    EXPECT_EQ(proto.SetRecords_Serial(&set, kEqnRecordKind), -34);
}

TEST_F(ProtocolBench, OneUnansweredRecordDoesNotStopTheNextList) {
    BenchInstrument& d = Connected("DM9 2.05");
    proto.MutableEquationRecords() = MakeSet({"a 1", "b 2", "c 3"});
    proto.MutableUserRecords() = MakeSet({UserRecord("one")});
    d.unanswered.insert("set -eqn 1 b 2");
    EXPECT_EQ(proto.SetInstInfo(0x18000000), -35);
    EXPECT_EQ(d.settings["eqn 2"], "c 3");
    EXPECT_EQ(d.settings["user 0"], UserRecord("one"));
}

struct NameCase {
    int kind;
    std::string value;
    std::string name;
};

TEST(ExtractNames, EquationAndUserNames) {
    Quor_protocol proto(nullptr);
    const NameCase cases[] = {
        {kEqnRecordKind, "Soil_Temp`C 1 2", "Soil Temp,C"},
        {kEqnRecordKind, "ABCDEFGHIJKLMNOPQRSTUVWXYZ x", "ABCDEFGHIJKLMNOPQRST"},
        {kEqnRecordKind, "", ""},
        {kUserRecordKind, UserRecord("Rain"), "Rain"},
        {kUserRecordKind, Base64("1\t2\t3\tLongerThanNine\t"), "LongerTha"},
        {kUserRecordKind, Base64("1\t2\tnoname"), ""},
        {kUserRecordKind, Base64("a\tb\tc\tEnd"), "End"},
        {kUserRecordKind, "!!!!", ""},  // strangers are zero bits
    };
    for (const NameCase& c : cases) {
        RecordSet set = MakeSet({c.value});
        EXPECT_EQ(proto.ExtractNames(&set, c.kind), 1);
        EXPECT_EQ(set.records[0].name, c.name) << c.value;
    }
    RecordSet none;
    EXPECT_EQ(proto.ExtractNames(&none, kEqnRecordKind), -10);
    EXPECT_EQ(proto.AlphabetizeRecords(&none, 0), -11);
}

TEST(RecordOrder, BeforeRule) {
    auto before = [](const char* a, const char* b) {
        Record x, y;
        x.name = a;
        y.name = b;
        return Quor_protocol::RecordBefore(x, y);
    };
    EXPECT_TRUE(before("alpha", "beta"));
    EXPECT_FALSE(before("beta", "alpha"));
    EXPECT_TRUE(before("Alpha", "alpha"));  // equal names count as before
    EXPECT_TRUE(before("ab", "abc"));
    EXPECT_FALSE(before("abc", "ab"));
    EXPECT_TRUE(before("", ""));
    const std::string l32(32, 'q');
    EXPECT_FALSE(before(l32.c_str(), l32.c_str()));  // 32 equal characters: not before
}

}  // namespace
}  // namespace quor::insttest
