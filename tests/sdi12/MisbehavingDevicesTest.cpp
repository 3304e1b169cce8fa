#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "Sdi12Fixture.h"
#include "sdi12/SensorCodes.h"

namespace quor::sdi12test {
namespace {

// A ZEPRA 51 at address 3 has every calibration part (X5, Xa, Xg).
class MisbehavingBench : public BridgeTest {
protected:
    void UseZepra() {
        UseSensor(']', 300);
        sensor.MutableState().address = '3';
    }
    void ExpectCaptured(const sim::SdiSensorState& s) {
        EXPECT_EQ(sdi.Address(), '3');
        EXPECT_STREQ(sdi.Identification(), "KARVELL ZEP-51300");
        EXPECT_EQ(sdi.VersionNumber(), 300u);
        EXPECT_EQ(sdi.SensorType(), sdi12::kTypeZEPRA51);
        EXPECT_EQ(sdi.SerialNumber(), s.serialNumber);
        EXPECT_EQ(sdi.X5Calibration(), s.x4);
        EXPECT_EQ(sdi.XaCalibration(), s.xa);
        EXPECT_EQ(sdi.XgCalibration(), s.xg);
    }
    void ExpectRestored(const sim::SdiSensorState& s) {
        const sim::SdiSensorState& after = sensor.State();
        EXPECT_EQ(after.address, s.address);
        EXPECT_EQ(after.serialNumber, s.serialNumber);
        EXPECT_EQ(after.x4, s.x4);
        EXPECT_EQ(after.xa, s.xa);
        EXPECT_EQ(after.xg, s.xg);
    }
};

// --- a relay that passes the sensor's CR LF, or hands a reply over late ---

struct RelayFault {
    const char* name;
    bool passLineEnds;
    bool dropEveryOther;
    const char* held;    // the command whose first reply comes late (null: none)
    bool holdX5Write;    // the restore's X5 write is answered late
};

void PrintTo(const RelayFault& f, std::ostream* os) { *os << f.name; }

const RelayFault kRelayFaults[] = {
    {"CR LF", true, false, nullptr, false},
    {"CR LF losing every other command", true, true, nullptr, false},
    {"late identification", false, false, "?I!", false},
    {"late type", false, false, "?X8!", false},
    {"late serial number", false, false, "?X#!", false},
    {"late X4", false, false, "?X4!", false},
    {"late X4 with CR LF", true, false, "?X4!", false},
    {"late Xa with CR LF", true, false, "?Xa!", false},
    {"late Xg", false, false, "?Xg!", false},
    {"late X5 write with CR LF", true, false, nullptr, true},
};

class RelayFaultTest : public MisbehavingBench, public ::testing::WithParamInterface<RelayFault> {};

TEST_P(RelayFaultTest, CaptureAndRestoreTakeOnlyTheirOwnAnswers) {
    const RelayFault& f = GetParam();
    UseZepra();
    const sim::SdiSensorState before = sensor.State();
    reader.PassSensorLineEnds(f.passLineEnds);
    reader.DropEveryOtherCommand(f.dropEveryOther);
    if (f.held) reader.HoldReplies(f.held);

    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    ExpectCaptured(before);

    sensor.FlashFirmware(301);
    if (f.holdX5Write) reader.HoldReplies("?X5" + before.x4 + "!");
    EXPECT_EQ(sdi.SDISetSensorSettings(), 1);
    ExpectRestored(before);
}

INSTANTIATE_TEST_SUITE_P(Relays, RelayFaultTest, ::testing::ValuesIn(kRelayFaults),
                         [](const ::testing::TestParamInfo<RelayFault>& p) { return ParamName(p.param.name); });

// --- a sensor whose values are longer than the fields ---

enum class Field { kSerialNumber, kX4, kXa, kXg };

struct LongValue {
    const char* name;
    char type;
    std::uint32_t version;
    Field field;
    std::string value;
    bool kept;
    ResultCode restored;  // what the restore reports
};

void PrintTo(const LongValue& c, std::ostream* os) { *os << c.name; }

const LongValue kLongValues[] = {
    {"serial number of 32", ']', 300, Field::kSerialNumber, std::string(32, 'S'), true, 1},
    // The serial number write is not looked at by the restore: the capture says it.
    {"serial number of 33", ']', 300, Field::kSerialNumber, std::string(33, 'S'), false, 1},
    {"serial number with the command end", ']', 300, Field::kSerialNumber, "KD-1!X5", false, 1},
    {"X4 of 512", ']', 300, Field::kX4, std::string(512, '4'), true, 1},
    {"X4 of 513", ']', 300, Field::kX4, std::string(513, '4'), false, rc::kSomeSettingsFailed},
    {"X4 of 1500", 'k', 300, Field::kX4, std::string(1500, '4'), false, rc::kSomeSettingsFailed},
    {"Xa of 512", 'k', 300, Field::kXa, std::string(512, '5'), true, 1},
    // A 7QA in a default range: the calibration it reported is not replaced by the default.
    {"Xa of 600 on a 7QA", 'z', 360, Field::kXa, std::string(600, '5'), false, rc::kSomeSettingsFailed},
    {"Xg of 513", ']', 300, Field::kXg, std::string(513, '6'), false, rc::kSomeSettingsFailed},
};

class LongValueTest : public BridgeTest, public ::testing::WithParamInterface<LongValue> {};

TEST_P(LongValueTest, AValueIsKeptWholeOrNotAtAll) {
    const LongValue& c = GetParam();
    UseSensor(c.type, c.version);
    sim::SdiSensorState& s = sensor.MutableState();
    s.address = '3';
    struct Part {
        std::string sim::SdiSensorState::*value;
        const char* (QuorSDI12::*stored)() const;
        const char* write;  // the restore's write of it
    };
    const Part parts[] = {
        {&sim::SdiSensorState::serialNumber, &QuorSDI12::SerialNumber, "X#"},
        {&sim::SdiSensorState::x4, &QuorSDI12::X5Calibration, "X5"},
        {&sim::SdiSensorState::xa, &QuorSDI12::XaCalibration, "Xb"},
        {&sim::SdiSensorState::xg, &QuorSDI12::XgCalibration, "Xg"},
    };
    const Part& part = parts[static_cast<int>(c.field)];
    s.*part.value = c.value;
    const sim::SdiSensorState before = s;

    EXPECT_EQ(sdi.SDIGetSensorSettings(), c.kept ? 1 : rc::kSomeSettingsFailed);
    EXPECT_EQ((sdi.*part.stored)(), c.kept ? c.value : std::string());
    if (!c.kept) {
        EXPECT_TRUE(Logged("SDIGetSensorSettings could not capture all sensor settings"));
    }

    sensor.FlashFirmware(c.version + 1);
    const sim::SdiSensorState factory = sensor.State();
    EXPECT_EQ(sdi.SDISetSensorSettings(), c.restored);
    // Never written cut: either whole, or not at all.
    EXPECT_EQ(SensorWasWritten(part.write), c.kept);
    // The part not kept stays as the new firmware has it; the rest comes back.
    sim::SdiSensorState expected = before;
    if (!c.kept) expected.*part.value = factory.*part.value;
    const sim::SdiSensorState& after = sensor.State();
    EXPECT_EQ(after.address, '3');
    EXPECT_EQ(after.serialNumber, expected.serialNumber);
    EXPECT_EQ(after.x4, expected.x4);
    if (sdi12::WritesXaCalibration(c.type)) {
        EXPECT_EQ(after.xa, expected.xa);
    }
    if (sdi12::HasXgCalibration(c.type)) {
        EXPECT_EQ(after.xg, expected.xg);
    }
}

TEST_F(MisbehavingBench, IdentificationLongerThanItsFieldIsNotKeptButTheRestIsCaptured) {
    UseZepra();
    sensor.MutableState().extra = std::string(20, 'E');  // 37 characters after the SDI-12 version
    EXPECT_EQ(sdi.SDIGetSensorSettings(), rc::kSomeSettingsFailed);
    EXPECT_STREQ(sdi.Identification(), "");
    EXPECT_EQ(sdi.Address(), '3');
    EXPECT_EQ(sdi.VersionNumber(), 300u);
    EXPECT_EQ(sdi.X5Calibration(), sensor.State().x4);
    EXPECT_TRUE(Logged("SDIGetSensorVersion found sensor info longer than 36 characters"));
}

INSTANTIATE_TEST_SUITE_P(Values, LongValueTest, ::testing::ValuesIn(kLongValues),
                         [](const ::testing::TestParamInfo<LongValue>& p) { return ParamName(p.param.name); });

// --- the restore from the settings file ---

class FileRestoreTest : public MisbehavingBench {};

TEST_F(FileRestoreTest, EarlierCaptureLeavesNothingInAFileRestore) {
    UseZepra();
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    ASSERT_TRUE(sdi.XgPresent());

    // Another sensor's file, written before the type and Xg were kept.
    UseSensor('k', 300);
    const sim::SdiSensorState before = sensor.State();
    sensor.FlashFirmware(301);
    sdi.ClearCapturedSettings();
    EXPECT_FALSE(sdi.SensorTypeKnown());
    EXPECT_FALSE(sdi.XgPresent());
    EXPECT_STREQ(sdi.XgCalibration(), "");
    EXPECT_STREQ(sdi.Identification(), "");
    sdi.SetAddress('4');
    sdi.SetSerialNumber(before.serialNumber.c_str());
    sdi.SetX5Calibration(before.x4.c_str());
    sdi.SetXaCalibration(before.xa.c_str());

    EXPECT_EQ(sdi.SDISetSensorSettings(), rc::kSomeSettingsFailed);
    EXPECT_EQ(sensor.State().address, '4');
    EXPECT_EQ(sensor.State().serialNumber, before.serialNumber);
    EXPECT_EQ(sensor.State().x4, before.x4);
    // Without a type nothing tells whether this sensor takes Xb back.
    EXPECT_FALSE(SensorWasWritten("Xb"));
    EXPECT_FALSE(SensorWasWritten("Xg"));
    EXPECT_TRUE(Logged("SDISetSensorCalibration doesn't know the sensor type: Xb and Xg calibration not restored"));
}

TEST_F(FileRestoreTest, FileWithTypeAndXgRestoresEverything) {
    UseZepra();
    const sim::SdiSensorState before = sensor.State();
    sensor.FlashFirmware(301);
    sdi.ClearCapturedSettings();
    sdi.SetAddress('3');
    sdi.SetSerialNumber(before.serialNumber.c_str());
    sdi.SetSensorTypeFromFile(sdi12::kTypeZEPRA51);
    sdi.SetX5Calibration(before.x4.c_str());
    sdi.SetXaCalibration(before.xa.c_str());
    sdi.SetXgCalibration(before.xg.c_str());
    EXPECT_TRUE(sdi.SensorTypeKnown());
    EXPECT_TRUE(sdi.XgPresent());
    EXPECT_EQ(sdi.SDISetSensorSettings(), 1);
    ExpectRestored(before);
}

TEST_F(FileRestoreTest, PartsTheRecordDoesNotHoldAreReportedAfterTheRestIsWritten) {
    const std::string tooLong(513, '1');
    struct Case {
        const char* name;
        char type;
        const char* x5;
        const char* xa;
        const char* xg;  // null: no Xg in the file
        ResultCode expected;
        std::vector<std::string> written;
    } cases[] = {
        {"no X5", 'k', "", "1 0.998", nullptr, rc::kSomeSettingsFailed, {"Xb"}},
        {"no Xa", 'k', "4.57 0.0021", "", nullptr, rc::kSomeSettingsFailed, {"X5"}},
        {"empty Xg", ']', "1 0.5", "7 0.1", "", rc::kSomeSettingsFailed, {"X5", "Xb"}},
        {"Xa never written back", 'l', "0.7 11.5", "", nullptr, 1, {"X5"}},
        {"everything", ']', "1 0.5", "7 0.1", "1 0.03", 1, {"X5", "Xb", "Xg"}},
        {"X5 longer than its field", 'u', tooLong.c_str(), "", nullptr, rc::kSomeSettingsFailed, {}},
    };
    for (const Case& c : cases) {
        UseSensor(c.type, 300);
        sensor.FlashFirmware(301);
        const std::size_t writesBefore = sensor.Writes().size();
        sdi.ClearCapturedSettings();
        sdi.SetSensorTypeFromFile(c.type);
        sdi.SetX5Calibration(c.x5);
        sdi.SetXaCalibration(c.xa);
        if (c.xg) sdi.SetXgCalibration(c.xg);
        EXPECT_EQ(sdi.SDISetSensorSettings(), c.expected) << c.name;
        std::vector<std::string> written;
        for (std::size_t i = writesBefore; i < sensor.Writes().size(); ++i) {
            const std::string& body = sensor.Writes()[i];
            if (body[0] == 'X') written.push_back(body.substr(0, 2));
        }
        EXPECT_EQ(written, c.written) << c.name;
    }
    EXPECT_TRUE(Logged("QuorSDI12 did not take the X5 calibration from the settings file"));
}

TEST_F(FileRestoreTest, TypeFromTheFileTellsHowItIsWritten) {
    struct Case {
        std::int32_t type;
        bool known;
        bool numeric;
    } cases[] = {
        {'z', true, false},  {']', true, false}, {115, true, false},  // a letter code goes back as the letter
        {'5', true, true},   {7, true, true},    {127, true, true},   {254, true, true},
        {0, false, false},   {255, false, false}, {-1, false, false}, {300, false, false},
    };
    for (const Case& c : cases) {
        sdi.ClearCapturedSettings();
        sdi.SetSensorTypeFromFile(c.type);
        EXPECT_EQ(sdi.SensorTypeKnown(), c.known) << c.type;
        EXPECT_EQ(sdi.SensorType(), c.known ? c.type : 0) << c.type;
        EXPECT_EQ(sdi.NumericType(), c.numeric) << c.type;
    }
    // A type from the file is what a family write sends back.
    sdi.SetSensorTypeFromFile('s');
    EXPECT_EQ(sdi.SDISetSensorType(sdi12::kFamilyNDV), 1);
    EXPECT_EQ(link.HostWrites().back(), "?X9 s!");
}

// --- hostile reply shapes through every get command ---

struct Getter {
    const char* name;
    const char* body;  // the command body that gets the hostile reply
    ResultCode (*run)(QuorSDI12&);
};

void PrintTo(const Getter& g, std::ostream* os) { *os << g.name; }

const Getter kGetters[] = {
    {"identification", "I", [](QuorSDI12& s) { return s.SDIGetSensorVersion(); }},
    {"serial number", "X#", [](QuorSDI12& s) { return s.SDIGetSensorSN(); }},
    {"type", "X8", [](QuorSDI12& s) { return s.SDIGetSensorType(); }},
    {"X4 capture", "X4", [](QuorSDI12& s) { return s.SDIGetSensorSettings(); }},
    {"Xa capture", "Xa", [](QuorSDI12& s) { return s.SDIGetSensorSettings(); }},
    {"Xg capture", "Xg", [](QuorSDI12& s) { return s.SDIGetSensorSettings(); }},
    {"self-test", "post", [](QuorSDI12& s) { return s.SDICheckBinary(); }},
    {"loader start", "B", [](QuorSDI12& s) { return s.SDIInvokeQuorBSL(); }},
};

struct Shape {
    const char* name;
    std::string bytes;  // exactly as the relay hands them over
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

const Shape kShapes[] = {
    {"2000-character line", "3 " + std::string(2000, 'Q') + "\r\n"},
    {"no carriage return", "3 QQ 1.5"},
    {"NUL byte", std::string("3 QQ\0 1.5\r\n", 11)},
    {"huge number", "3 99999999999999999999\r\n"},
};
constexpr const char* kHugeNumber = "99999999999999999999";

// Five attempts, each with its wake-up, wait, recovery bars and recovery wait.
constexpr std::uint64_t kLongestGetMs = 20'000;

class HostileReplyTest : public MisbehavingBench,
                         public ::testing::WithParamInterface<std::tuple<Getter, Shape>> {};

TEST_P(HostileReplyTest, NothingOverrunsNothingOutOfRangeIsTakenNothingHangs) {
    const Getter& get = std::get<0>(GetParam());
    const Shape& shape = std::get<1>(GetParam());
    UseZepra();
    const sim::SdiSensorState truth = sensor.State();
    reader.PassSensorLineEnds(true);
    sensor.ScriptRaw(get.body, shape.bytes);

    const std::uint64_t t0 = world.NowMs();
    get.run(sdi);
    EXPECT_LT(world.NowMs() - t0, kLongestGetMs);

    // Every stored value is the sensor's own or empty; a huge number counts
    // only as calibration text, which is never read as a number.
    auto ownOrEmpty = [](const std::string& stored, const std::string& own) {
        return stored.empty() || stored == own;
    };
    EXPECT_TRUE(ownOrEmpty(sdi.Identification(), "KARVELL ZEP-51300")) << sdi.Identification();
    EXPECT_TRUE(sdi.VersionNumber() == 0 || sdi.VersionNumber() == truth.version);
    EXPECT_TRUE(sdi.SensorType() == 0 || sdi.SensorType() == sdi12::kTypeZEPRA51) << sdi.SensorType();
    auto textOk = [&](const std::string& stored, const std::string& own) {
        return ownOrEmpty(stored, own) || (shape.bytes.find(kHugeNumber) != std::string::npos && stored == kHugeNumber);
    };
    EXPECT_TRUE(textOk(sdi.SerialNumber(), truth.serialNumber)) << sdi.SerialNumber();
    EXPECT_TRUE(textOk(sdi.X5Calibration(), truth.x4)) << sdi.X5Calibration();
    EXPECT_TRUE(textOk(sdi.XaCalibration(), truth.xa)) << sdi.XaCalibration();
    EXPECT_TRUE(textOk(sdi.XgCalibration(), truth.xg)) << sdi.XgCalibration();

    // Nothing of it is left to be read as the next answer.
    sensor.ClearScripts();
    EXPECT_EQ(sdi.SDIGetSensorSN(), 1);
    EXPECT_EQ(sdi.SerialNumber(), truth.serialNumber);
    EXPECT_EQ(sdi.SDIGetSensorVersion(), static_cast<ResultCode>(truth.version));
}

INSTANTIATE_TEST_SUITE_P(Shapes, HostileReplyTest,
                         ::testing::Combine(::testing::ValuesIn(kGetters), ::testing::ValuesIn(kShapes)),
                         [](const ::testing::TestParamInfo<std::tuple<Getter, Shape>>& p) {
                             return ParamName(std::get<0>(p.param).name) + "_" +
                                    ParamName(std::get<1>(p.param).name);
                         });

}  // namespace
}  // namespace quor::sdi12test
