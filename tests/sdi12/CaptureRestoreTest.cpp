#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Sdi12Fixture.h"
#include "sdi12/SensorCodes.h"

namespace quor::sdi12test {
namespace {

constexpr const char* kOldXa = "1 1.44832 1.91683 2.35961 2.991";
constexpr const char* k7QNewXa = "1 1.39619 2.03054 2.54573 2.9907";
constexpr const char* kHR4NewXa = "1 1.4724 2.03944 2.5652 2.9907";
constexpr const char* kSame = "=";  // expected: what the sensor had before the update

struct RoundTrip {
    const char* name;
    char type;
    std::uint32_t version;
    const char* x4;        // null: the model's own
    const char* xa;        // null: the model's own
    const char* expectX4;  // after the restore
    const char* expectXa;  // null: not written back (the new firmware's default stays)
    bool expectXg;
};

void PrintTo(const RoundTrip& c, std::ostream* os) { *os << c.name; }

// Capture, wipe as a firmware update does, restore, compare.
const RoundTrip kRoundTrips[] = {
    {"7QA old with -1 entries", 'z', 350, "-1 2.5 -1", nullptr, "+0 2.5 +0", kSame, false},
    {"7QA old without Xa", 'z', 340, nullptr, "", kSame, kOldXa, false},
    {"7QA mid keeps own Xa", 'z', 360, nullptr, nullptr, kSame, kSame, false},
    {"7QA mid without Xa", 'z', 370, nullptr, "", kSame, k7QNewXa, false},
    {"7QM mid with old default", 'x', 380, nullptr, kOldXa, kSame, kSame, false},
    {"7QM new", 'x', 410, nullptr, nullptr, kSame, kSame, false},
    {"HR4 old", 'w', 352, nullptr, "", kSame, kOldXa, false},
    {"HR4 mid keeps own Xa", 'w', 401, nullptr, nullptr, kSame, kSame, false},
    {"HR4 mid with old default", 'w', 353, nullptr, kOldXa, kSame, kSame, false},
    {"HR4 mid without Xa", 'w', 380, nullptr, "", kSame, kHR4NewXa, false},
    {"WPX-4", 'y', 300, nullptr, nullptr, kSame, kSame, false},
    {"WPX-8 gets no Xb", 'l', 300, nullptr, nullptr, kSame, nullptr, false},
    {"SOLRA 31", 'k', 300, nullptr, nullptr, kSame, kSame, false},
    {"SOLRA 13", 'h', 300, nullptr, nullptr, kSame, kSame, false},
    {"SOLRA 14", 'g', 300, nullptr, nullptr, kSame, kSame, false},
    {"ZEPRA 51 with Xg", ']', 300, nullptr, nullptr, kSame, kSame, true},
    {"P7 old format", 'u', 330, nullptr, nullptr, "2.000 -1.666667e+02 3.333333e+02 0.000000e+00 2.0 4.0", nullptr,
     false},
    {"WLD old format", 't', 330, nullptr, nullptr, "1.000 -2.000000e+03 1.000000e+03 0.000000e+00 5.5 9.0", nullptr,
     false},
    {"WLD new format", 't', 340, nullptr, nullptr, kSame, nullptr, false},
    {"long calibration", 'k', 300, "", nullptr, kSame, kSame, false},
};

class CaptureRestoreTest : public BridgeTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(CaptureRestoreTest, SensorGetsBackWhatItHad) {
    const RoundTrip& c = GetParam();
    UseSensor(c.type, c.version);
    sim::SdiSensorState& s = sensor.MutableState();
    s.address = '3';
    if (c.x4) s.x4 = *c.x4 ? c.x4 : std::string(480, '5');  // "" asks for a calibration longer than an SDI-12 line
    if (c.xa) s.xa = c.xa;
    const sim::SdiSensorState before = s;

    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_EQ(sdi.SensorType(), c.type);
    EXPECT_EQ(sdi.Address(), '3');
    EXPECT_EQ(sdi.SerialNumber(), before.serialNumber);

    sensor.FlashFirmware(c.version + 1);
    ASSERT_EQ(sensor.State().address, '0');
    ASSERT_EQ(sdi.SDISetSensorSettings(), 1);

    const sim::SdiSensorState& after = sensor.State();
    EXPECT_EQ(after.address, '3');
    EXPECT_EQ(after.serialNumber, before.serialNumber);
    EXPECT_EQ(after.x4, c.expectX4 == kSame ? before.x4 : std::string(c.expectX4));
    if (c.expectXa) {
        EXPECT_EQ(after.xa, c.expectXa == kSame ? before.xa : std::string(c.expectXa));
    } else {
        EXPECT_FALSE(SensorWasWritten("Xb"));
        EXPECT_EQ(after.xa, before.factoryXa);
    }
    if (c.expectXg) {
        EXPECT_EQ(after.xg, before.xg);
    } else {
        EXPECT_FALSE(SensorWasWritten("Xg"));
    }
}

INSTANTIATE_TEST_SUITE_P(PerSensorType, CaptureRestoreTest, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTrip>& p) { return ParamName(p.param.name); });

class CalibrationTest : public BridgeTest {};

TEST_F(CalibrationTest, ZepraWhoseXgAnswersErrorGetsNoXg) {
    UseSensor(']', 300);
    sensor.MutableState().hasXg = false;
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_FALSE(sdi.XgPresent());
    EXPECT_TRUE(Logged("SDIGetSensorCalibration recieved \"ERROR\" response looking for Xg"));
    sensor.FlashFirmware(301);
    EXPECT_EQ(sdi.SDISetSensorSettings(), 1);
    EXPECT_TRUE(SensorWasWritten("X5"));
    EXPECT_TRUE(SensorWasWritten("Xb"));
    EXPECT_FALSE(SensorWasWritten("Xg"));
}

TEST_F(CalibrationTest, RainGaugeHasNoCalibration) {
    UseSensor('^', 300);
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.X5Calibration(), "");
    EXPECT_TRUE(Logged("SDIGetSensorCalibration no calibration for version RNQ-5"));
    sensor.FlashFirmware(301);
    EXPECT_EQ(sdi.SDISetSensorSettings(), 1);
    EXPECT_EQ(sensor.State().serialNumber, "KD-^-40712");
    EXPECT_EQ(sdi.SDISetSensorCalibration(nullptr), 0);
    EXPECT_EQ(sensor.Writes().size(), 2u);  // serial number and address only
    // The address change's failure is what the restore reports.
    sensor.MutableState().address = '5';
    EXPECT_EQ(sdi.SDISetSensorSettings(), rc::kNoAnswerLastAttempt);
}

TEST_F(CalibrationTest, NumericTypeSensorKeepsItsTypeAndX5) {
    UseSensor('s', 300);
    sensor.MutableState().type = "115";
    sensor.MutableState().x4 = "0.25 0.5";
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_TRUE(sdi.NumericType());
    sensor.FlashFirmware(301);
    sensor.MutableState().type = "0";
    EXPECT_EQ(sdi.SDISetSensorSettings(), 1);
    EXPECT_EQ(sdi.SDISetSensorType(sdi12::kFamilyNDV), 1);
    EXPECT_EQ(sensor.State().type, "115");
    EXPECT_EQ(sensor.State().x4, "0.25 0.5");
    EXPECT_FALSE(SensorWasWritten("Xb"));
}

TEST_F(CalibrationTest, WPX4WhoseXaReadFailsFailsTheCapture) {
    UseSensor('y', 300);
    sensor.Script("Xa", std::nullopt);
    EXPECT_EQ(sdi.SDIGetSensorSettings(), rc::kNoAnswerLastAttempt);
    EXPECT_TRUE(Logged("SDIGetSensorCalibration recieved error -22 looking for Xa"));
}

TEST_F(CalibrationTest, FailedXaReadWithoutADefaultIsReportedAndNeverWrittenEmpty) {
    UseSensor('k', 300);
    const std::string x4 = sensor.State().x4;
    sensor.Script("Xa", std::nullopt);
    EXPECT_EQ(sdi.SDIGetSensorSettings(), rc::kSomeSettingsFailed);
    EXPECT_STREQ(sdi.XaCalibration(), "");
    EXPECT_EQ(sdi.X5Calibration(), x4);
    EXPECT_TRUE(Logged("SDIGetSensorSettings could not capture all sensor settings"));

    // The new firmware keeps its own Xa rather than an empty one.
    sensor.ClearScripts();
    sensor.FlashFirmware(301);
    EXPECT_EQ(sdi.SDISetSensorSettings(), rc::kSomeSettingsFailed);
    EXPECT_EQ(sensor.State().x4, x4);
    EXPECT_FALSE(SensorWasWritten("Xb"));
    EXPECT_EQ(sensor.State().xa, sensor.State().factoryXa);
    EXPECT_TRUE(Logged("SDISetSensorCalibration doesn't have a valid Xb calibration string"));

    // Where the firmware has a default, a failed read still gets it.
    UseSensor('z', 340);
    sensor.Script("Xa", std::nullopt);
    EXPECT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.XaCalibration(), kOldXa);
}

TEST_F(CalibrationTest, FailedX4ReadFailsTheCapture) {
    sensor.Script("X4", std::nullopt);
    EXPECT_EQ(sdi.SDIGetSensorSettings(), rc::kNoAnswerLastAttempt);
    EXPECT_TRUE(Logged("SDIGetSensorCalibration recieved error -22 looking for X4"));
}

TEST_F(CalibrationTest, DefaultsAreLoggedAsSetAndTheHR4WithoutXaGetsNoEmptyXb) {
    UseSensor('z', 340);
    sensor.MutableState().xa = "";
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.XaCalibration(), kOldXa);
    EXPECT_TRUE(Logged("SDIGetSensorCalibration set calibration Xa \"1 1.44832 1.91683 2.35961 2.991\""));

    UseSensor('w', 420);
    sensor.MutableState().xa = "";
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.XaCalibration(), "");
    EXPECT_TRUE(Logged("SDIGetSensorCalibration found calibration Xa \"\""));
    std::size_t before = link.HostWrites().size();
    EXPECT_EQ(sdi.SDISetSensorCalibration(nullptr), rc::kSomeSettingsFailed);
    std::vector<std::string> writes = WritesFrom(before);
    EXPECT_EQ(std::find(writes.begin(), writes.end(), "?Xb!"), writes.end());
    EXPECT_TRUE(SensorWasWritten("X5"));
}

TEST_F(CalibrationTest, MinusOneRepairIsLogged) {
    UseSensor('z', 350);
    sensor.MutableState().x4 = "-1 2.5 -1";
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.X5Calibration(), "+0 2.5 +0");
    EXPECT_TRUE(Logged("SDIGetSensorCalibration updated X4 to remove '-1'"));
}

TEST_F(CalibrationTest, CalibrationWriteNeedsAnOk) {
    UseSensor('u', 345);  // X5 only
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    sensor.Script("X5", "ERROR", 2);
    EXPECT_EQ(sdi.SDISetSensorCalibration(nullptr), 1);  // "OK" on the third attempt

    sensor.Script("X5", "ERROR", 5);
    EXPECT_EQ(sdi.SDISetSensorCalibration(nullptr), rc::kDeviceError);
    EXPECT_TRUE(Logged("SDISetSensorCalibration did not set sensor calibration"));

    sensor.Script("X5", "", 5);
    EXPECT_EQ(sdi.SDISetSensorCalibration("1 2 3"), rc::kNoAnswerLastAttempt);
    EXPECT_NE(sensor.State().x4, "1 2 3");

    EXPECT_EQ(sdi.SDISetSensorCalibration("1 2 3"), 1);  // a given text instead of the stored one
    EXPECT_EQ(sensor.State().x4, "1 2 3");
    const std::size_t writes = sensor.Writes().size();
    EXPECT_EQ(sdi.SDISetSensorCalibration(""), rc::kSomeSettingsFailed);
    EXPECT_TRUE(Logged("SDISetSensorCalibration doesn't have a valid X5 calibration string"));
    // A given text that doesn't fit its command is refused before anything is sent.
    EXPECT_EQ(sdi.SDISetSensorCalibration(std::string(513, '1').c_str()), rc::kOutOfRange);
    EXPECT_EQ(sdi.SDISetSensorCalibration("1 2!3"), rc::kOutOfRange);
    EXPECT_EQ(sensor.Writes().size(), writes);
}

TEST_F(CalibrationTest, FailedXbIsReportedEvenWhenX5Landed) {
    UseSensor('k', 300);
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    sensor.FlashFirmware(301);
    sensor.Script("Xb", "ERROR");
    EXPECT_EQ(sdi.SDISetSensorSettings(), rc::kDeviceError);
    EXPECT_TRUE(SensorWasWritten("X5"));
}

TEST_F(CalibrationTest, LaterCalibrationPartFailureIsTheResult) {
    using Answer = std::optional<std::string>;
    const Answer kSilent = std::nullopt;
    struct Case {
        const char* name;
        Answer x5;  // what the X5 and Xb writes are answered (none: silence)
        Answer xb;
        int xbTimes;
        ResultCode expected;
    } cases[] = {
        {"refused X5, Xb never answered", "ERROR", kSilent, -1, rc::kNoAnswerLastAttempt},
        {"unconfirmed X5, refused Xb", "", "ERROR", -1, rc::kDeviceError},
        {"refused X5, unconfirmed Xb", "ERROR", "", -1, rc::kDeviceError},
        {"X5 landed, unconfirmed Xb", "OK", "", -1, rc::kNoAnswerLastAttempt},
        {"X5 never answered, Xb landed", kSilent, "OK", -1, rc::kNoAnswerLastAttempt},
        {"X5 landed, Xb refused then taken", "OK", "ERROR", 2, 1},
    };
    UseSensor('k', 300);
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    for (const Case& c : cases) {
        sensor.ClearScripts();
        sensor.Script("X5", c.x5);
        sensor.Script("Xb", c.xb, c.xbTimes);
        EXPECT_EQ(sdi.SDISetSensorCalibration(nullptr), c.expected) << c.name;
    }
    EXPECT_TRUE(Logged("SDISetSensorCalibration recieved error -22 for Xb"));
}

TEST_F(CalibrationTest, CaptureStartsFromClearedData) {
    UseSensor('k', 300);
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    ASSERT_STRNE(sdi.SerialNumber(), "");
    ASSERT_STRNE(sdi.XaCalibration(), "");

    UseSensor('u', 345);
    sensor.MutableState().serialNumber.clear();
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.SerialNumber(), "");
    EXPECT_STREQ(sdi.XaCalibration(), "");
    EXPECT_EQ(sdi.SensorType(), 'u');
}

TEST_F(CalibrationTest, UnconvertibleOldCalibrationIsKept) {
    UseSensor('t', 330);
    sensor.MutableState().x4 = "1 2 3";
    ASSERT_EQ(sdi.SDIGetSensorSettings(), 1);
    EXPECT_STREQ(sdi.X5Calibration(), "1 2 3");
    EXPECT_EQ(sdi.SDIConvertCalibration(), 0);
}

}  // namespace
}  // namespace quor::sdi12test
