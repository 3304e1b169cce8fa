// Every family's file written from a capture and read back by a fresh
// protocol object, as a later run of the program would: every captured
// setting comes back, and nothing that was not captured.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "instrument/SettingsFileFixture.h"

namespace quor::testing {
namespace {

// A value of exactly n characters that holds other keys' text, so a lookup
// that finds keys anywhere would read the wrong value.
std::string Filled(const std::string& tag, std::size_t n) {
    std::string s = tag + " sn=\"4\", adc 2 cal00=\"x\" ";
    while (s.size() < n) s += static_cast<char>('a' + s.size() % 26);
    return s.substr(0, n);
}

void FillInstrument(InstrumentSettings& s) {
    s.name = Filled("nm", 8);
    s.serialNumber = Filled("sn", 15);
    s.location = Filled("loc", 128);
    s.lang = 3;
    s.contr = -7;
    s.units = 12;
    s.config = "4242 " + Filled("cfg", 59);
    s.autoSec = Filled("auto", 63);
    s.calprefs = Filled("c76", 128);
    s.pcUnits = Filled("pcu", 128);
    s.sample = Filled("smp", 128);
    s.chai = Filled("chai", 16);
    s.fvals = Filled("fv", 128);
    s.uvals = Filled("uv", 128);
    s.adc = Filled("adc", 16);
    s.adccal = Filled("adccal", 63);
    s.wtoffset = Filled("wto", 63);
    s.wtfactory = Filled("wtf", 63);
    s.sys = Filled("sys", 128);
    s.adc15 = Filled("a15", 128);
    s.adc30 = Filled("a30", 128);
    s.extCal = Filled("ext", 16);
    s.tadj = Filled("tadj", 128);
    s.hadj = Filled("hadj", 128);
    s.tau = -45;
    s.usage = Filled("use", 128);
    for (int i = 0; i < inst::kCalEntries; ++i) s.cal[i] = Filled("cal" + std::to_string(i), 128);
}

void FillRecords(RecordSet& set, const char* tag, int count) {
    set.records = std::make_unique<Record[]>(static_cast<std::size_t>(count));
    set.count = count;
    for (int i = 0; i < count; ++i) set.records[i].value = Filled(tag + std::to_string(i), i == 0 ? 100 : 40);
}

std::vector<std::string> Values(const RecordSet& set) {
    std::vector<std::string> v;
    for (int i = 0; i < set.count; ++i) v.push_back(set.records[i].value.str());
    return v;
}

struct Field {
    std::uint32_t bit;
    const char* label;
    std::function<std::string(const InstrumentSettings&)> get;
};

std::vector<Field> FieldsOf(DeviceType type) {
    auto text = [](auto member) {
        return [member](const InstrumentSettings& s) { return (s.*member).str(); };
    };
    std::vector<Field> f = {
        {inst::kName, "name", text(&InstrumentSettings::name)},
        {inst::kSerialNumber, "sn", text(&InstrumentSettings::serialNumber)},
        {inst::kLang, "lang", [](const InstrumentSettings& s) { return std::to_string(s.lang); }},
        {inst::kContr, "contr", [](const InstrumentSettings& s) { return std::to_string(s.contr); }},
        {inst::kFvals, "fvals", text(&InstrumentSettings::fvals)},
        {inst::kUvals, "uvals", text(&InstrumentSettings::uvals)},
        {inst::kUnits, "units", [](const InstrumentSettings& s) { return std::to_string(s.units); }},
        {inst::kAdc, "adc", text(&InstrumentSettings::adc)},
        {inst::kAdccal, "adccal", text(&InstrumentSettings::adccal)},
        {inst::kConfig, "config", text(&InstrumentSettings::config)},
        {inst::kWtoffset, "wtoffset", text(&InstrumentSettings::wtoffset)},
        {inst::kAuto, "auto", text(&InstrumentSettings::autoSec)},
        {inst::kUsage, "usage", text(&InstrumentSettings::usage)},
        {inst::kWtfactory, "wtfactory", text(&InstrumentSettings::wtfactory)},
        {inst::kAdc15, "adc15", text(&InstrumentSettings::adc15)},
        {inst::kAdc30, "adc30", text(&InstrumentSettings::adc30)},
        {inst::kSample, "sample", text(&InstrumentSettings::sample)},
        {inst::kP, "p", text(&InstrumentSettings::fvals)},
        {inst::kPCUnits, "PCUnits", text(&InstrumentSettings::pcUnits)},
        {inst::kLocation, "location", text(&InstrumentSettings::location)},
        {inst::kChai, "chai", text(&InstrumentSettings::chai)},
        {inst::kExtCal, "extCal", text(&InstrumentSettings::extCal)},
        {inst::kTadj, "tadj", text(&InstrumentSettings::tadj)},
        {inst::kHadjTau, "hadj", text(&InstrumentSettings::hadj)},
        {inst::kHadjTau, "tau", [](const InstrumentSettings& s) { return std::to_string(s.tau); }},
        {inst::kSys, "sys", text(&InstrumentSettings::sys)},
    };
    if (type == DeviceType::kHsr) {
        f.push_back({inst::kP, "pv", text(&InstrumentSettings::uvals)});
        f.push_back({inst::kP, "c76", text(&InstrumentSettings::calprefs)});
    }
    int cals = type == DeviceType::kDm9Lsr ? inst::kTuningValues : inst::kCalEntries;
    std::uint32_t calBit = type == DeviceType::kDm9Lsr ? inst::kTuning : inst::kCalList;
    for (int i = 0; i < cals; ++i) {
        f.push_back({calBit, "cal", [i](const InstrumentSettings& s) { return s.cal[i].str(); }});
    }
    return f;
}

struct InstrumentCase {
    DeviceType type;
    std::int32_t version;
    // The selection word after a full capture: the request word of the type
    // (DSKT's 0x80027402 asks for 0x2000 too, which names no setting).
    std::uint32_t captured;
};

TEST(SettingsFileRoundTrip, EveryInstrumentTypeGetsBackEverySettingItCaptured) {
    const InstrumentCase cases[] = {
        {DeviceType::kDMini, 300, 0x4000007A},   {DeviceType::kTq, 300, 0x100192},
        {DeviceType::kLg40, 150, 0x7000400},     {DeviceType::kLg40, 200, 0x7000C12},
        {DeviceType::kFg, 300, 0xB2},            {DeviceType::kDskt, 300, 0x80025402},
        {DeviceType::kS7k, 300, 0xC00},          {DeviceType::kHjd, 300, 0x3},
        {DeviceType::kJq, 300, 0x2C0013},        {DeviceType::kDm9, 204, 0x38000802},
        {DeviceType::kDm9, 205, 0x38000842},     {DeviceType::kHsr, 300, 0x28400802},
        {DeviceType::kPx7t, 300, 0x802},         {DeviceType::kTru, 365, 0x802},
        {DeviceType::kDm9Lsr, 300, 0x38000806},  {DeviceType::kTwi, 300, 0x20C08012},
        {DeviceType::kFlowPack, 300, 0x2},
    };
    TempDir dir;
    for (const InstrumentCase& c : cases) {
        SCOPED_TRACE(std::string(DeviceTypeCode(c.type)) + " " + std::to_string(c.version));
        std::string path = dir.File("settings.txt");
        auto source = ConnectedTo(c.type, nullptr, c.version);
        // Every field holds a value, captured or not: only the captured ones
        // may come back.
        FillInstrument(source->MutableInstrument());
        source->MutableInstrument().selection = c.captured;
        FillRecords(source->MutableUserRecords(), "usr", 3);
        FillRecords(source->MutableEquationRecords(), "eqn", 4);
        ASSERT_EQ(source->WriteInfoFile(path.c_str()), 1);

        auto restored = ConnectedTo(c.type, nullptr, c.version);
        ASSERT_EQ(restored->ReadInfoFile(path.c_str()), 1);
        const InstrumentSettings& got = restored->Instrument();
        EXPECT_EQ(got.selection, c.captured);
        EXPECT_EQ(got.type, c.type);
        for (const Field& f : FieldsOf(c.type)) {
            if (c.captured & f.bit) {
                EXPECT_EQ(f.get(got), f.get(source->Instrument())) << f.label;
            }
        }
        if (c.captured & inst::kUserRecords) {
            EXPECT_EQ(Values(restored->UserRecords()), Values(source->UserRecords()));
        }
        if (c.captured & inst::kEqnRecords) {
            EXPECT_EQ(Values(restored->EquationRecords()), Values(source->EquationRecords()));
        }
    }
}

TEST(SettingsFileRoundTrip, ATruFileHoldsTheHeaderTypeAndEveryKey) {
    TempDir dir;
    std::string path = dir.File("settings.txt");
    auto p = ConnectedTo(DeviceType::kTru);
    p->MutableInstrument().config = "123";
    p->MutableInstrument().serialNumber = "T-1";
    p->MutableInstrument().selection = 0x802;
    ASSERT_EQ(p->WriteInfoFile(path.c_str()), 1);
    std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind(kHeaderLines + "type=\"TRU\"\r\nname=\"\"\r\nsn=\"T-1\"\r\n", 0), 0u);
    for (const char* key : {"lang", "QuorBuild", "contr", "fvals", "uvals", "units", "adc", "adccal", "calprefs",
                            "PCUnits", "sample", "usage", "adc15", "adc30", "location", "chai", "extCal", "tadj",
                            "tau", "hadj"}) {
        EXPECT_NE(text.find("\r\n" + std::string(key) + "=\""), std::string::npos) << key;
    }
    EXPECT_NE(text.find("\r\nconfig=\"123\"\r\n"), std::string::npos);
}

void FillLogger(LoggerSettings& s, const char* family) {
    s.familyName = family;
    s.deviceId = "DEV12345";
    s.deviceName = Filled("n", 8);
    s.serialNumber = Filled("s", 15);
    s.trait = kTraitKnown | kTraitRadio | kTraitCellular | 0x80000000u;
    s.wakeInterval = 900;
    s.padc = 50;
    for (int i = 0; i < kPortCount; ++i) {
        s.ports[i] = static_cast<std::uint8_t>(i + 1);
        s.depths[i] = static_cast<std::uint8_t>(250 + i);
        s.adc15Slopes[i] = static_cast<std::uint8_t>(100 + i);
        s.adc15Offsets[i] = static_cast<std::uint8_t>(110 + i);
        s.adc30Slopes[i] = static_cast<std::uint8_t>(120 + i);
        s.adc30Offsets[i] = static_cast<std::uint8_t>(130 + i);
    }
    s.site = Filled("site", 25);
    s.latitude = -45.12345;
    s.longitude = 179.99999;
    s.timeZone = -32;
    s.dataParameter = 7;
    s.reportMode = -1;  // written with "%u", read back bit for bit
    s.rmode = 2;
    s.radioChannel = 11;
    s.radioSubchannel = 4;
    s.apn = Filled("apn", 35);
    s.apnUser = Filled("usr", 35);
    s.apnPassword = Filled("pw", 35);
    s.authKey = "0123456789abcdef0123456789ABCDEF";
    s.remoteHost = Filled("host", 63);
    s.ipPort = 65535;
    s.quorBuild = Filled("b", 16);
}

// The fields of one logger record as text, for whole-record comparisons.
std::vector<std::pair<std::uint32_t, std::string>> LoggerFields(const LoggerSettings& s) {
    auto bytes = [](const std::uint8_t (&v)[kPortCount]) {
        std::string out;
        for (std::uint8_t b : v) out += std::to_string(b) + " ";
        return out;
    };
    return {
        {req::kDeviceId, s.deviceId.str()},
        {req::kName, s.deviceName.str()},
        {req::kSerialNumber, s.serialNumber.str()},
        {req::kTrait, std::to_string(s.trait)},
        {req::kWake, std::to_string(s.wakeInterval)},
        {req::kPadc, std::to_string(s.padc)},
        {req::kPorts, bytes(s.ports)},
        {req::kDepth, bytes(s.depths)},
        {req::kAdc15, bytes(s.adc15Slopes) + bytes(s.adc15Offsets)},
        {req::kAdc30, bytes(s.adc30Slopes) + bytes(s.adc30Offsets)},
        {req::kSite, s.site.str()},
        {req::kLatitude, std::to_string(s.latitude)},
        {req::kLongitude, std::to_string(s.longitude)},
        {req::kTimeZone, std::to_string(s.timeZone)},
        {req::kDataParameter, std::to_string(s.dataParameter)},
        {req::kReport, std::to_string(s.reportMode)},
        {req::kRmode, std::to_string(s.rmode)},
        {req::kRadioChannel, std::to_string(s.radioChannel)},
        {req::kRadioSubchannel, std::to_string(s.radioSubchannel)},
        {req::kApn, s.apn.str()},
        {req::kApnUser, s.apnUser.str()},
        {req::kApnPassword, s.apnPassword.str()},
        {req::kAuthKey, s.authKey.str()},
        {req::kHost, s.remoteHost.str()},
        {req::kIpPort, std::to_string(s.ipPort)},
        {req::kQuorBuild, s.quorBuild.str()},
    };
}

struct LoggerCase {
    DeviceType type;
    const char* family;
    std::uint32_t validMask;   // as the capture left it
    std::uint32_t restored;    // the captured selection the file gives back
    std::uint32_t capability;
};

TEST(SettingsFileRoundTrip, EveryLoggerFamilyGetsBackEverySettingItCaptured) {
    const LoggerCase cases[] = {
        // The version (0x4) is no setting; the radio subchannel marks the
        // trait as known with a radio.
        {DeviceType::kRv70, "Rv70", 0x7FFEFFF, 0x7FFEFFB, 0x707FFF7},
        {DeviceType::kKl3, "kL3", 0x7FFEFFF, 0x7FFEFFB, 0x707FFF7},
        {DeviceType::kZrl, "ZRL2", 0x7FFEFFF, 0x7FFEFFB, 0x707FFF7},
        {DeviceType::kRv70, "Rv70", 0xFFFEFFF, 0xFFFEFFB, 0x707FFF7},  // with QuorBuild
        {DeviceType::kRv7b, "Rv7b", 0x8000077, 0x8000073, 0x474BE},
        {DeviceType::kCk, "Corvalink", 0xD07, 0xD0B, 0x24583},
    };
    TempDir dir;
    for (const LoggerCase& c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + std::to_string(c.validMask));
        std::string path = dir.File("logger.txt");
        auto source = ConnectedTo(c.type);
        FillLogger(source->MutableLoggerSettings(), c.family);
        if (c.type == DeviceType::kCk) source->MutableLoggerSettings().trait = kTraitKnown | kTraitRadio;
        source->MutableLoggerSettings().validMask = c.validMask;
        ASSERT_EQ(source->WriteInfoFile(path.c_str()), 1);

        auto restored = ConnectedTo(c.type);
        ASSERT_EQ(restored->ReadInfoFile(path.c_str()), 1);
        EXPECT_EQ(restored->CapturedSelection(), c.restored);
        EXPECT_EQ(restored->LoggerSettingsRecord().capabilities, c.capability);
        EXPECT_EQ(restored->LoggerSettingsRecord().familyName, c.family);
        auto want = LoggerFields(source->LoggerSettingsRecord());
        auto got = LoggerFields(restored->LoggerSettingsRecord());
        for (std::size_t i = 0; i < want.size(); ++i) {
            if (c.restored & want[i].first) {
                EXPECT_EQ(got[i].second, want[i].second) << "bit " << want[i].first;
            } else {
                EXPECT_EQ(restored->CapturedSelection() & want[i].first, 0u);
            }
        }
    }
}

TEST(SettingsFileRoundTrip, ALoggerSettingTheCaptureMissedIsNotRestoredAsZero) {
    TempDir dir;
    std::string path = dir.File("logger.txt");
    auto source = ConnectedTo(DeviceType::kRv70);
    FillLogger(source->MutableLoggerSettings(), "Rv70");
    // The capture could not read the position, the rmode or the time zone.
    std::uint32_t missed = req::kLatitude | req::kLongitude | req::kRmode | req::kTimeZone;
    source->MutableLoggerSettings().validMask = 0x7FFEFFF & ~missed;
    source->MutableLoggerSettings().latitude = 0;
    source->MutableLoggerSettings().rmode = 0;
    ASSERT_EQ(source->WriteInfoFile(path.c_str()), 1);
    auto restored = ConnectedTo(DeviceType::kRv70);
    ASSERT_EQ(restored->ReadInfoFile(path.c_str()), 1);
    EXPECT_EQ(restored->CapturedSelection() & missed, 0u);
    EXPECT_EQ(restored->CapturedSelection(), 0x7FFEFFBu & ~missed);
}

TEST(SettingsFileRoundTrip, TheDigitalSensorGetsBackAddressSerialNumberAndCalibration) {
    TempDir dir;
    std::string path = dir.File("sensor.txt");
    auto source = ConnectedTo(DeviceType::kAqvenHx);
    source->Sdi12().SetAddress('b');
    source->Sdi12().SetSerialNumber(Filled("sn", 32).c_str());
    source->Sdi12().SetX5Calibration(Filled("x5", 512).c_str());
    source->Sdi12().SetXaCalibration(Filled("xa", 512).c_str());
    source->Sdi12().SetSensorTypeFromFile(']');
    source->Sdi12().SetXgCalibration(Filled("xg", 512).c_str());
    ASSERT_EQ(source->WriteInfoFile(path.c_str()), 1);
    std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind(kHeaderLines + "type=\"Digital Sensor\"\r\n", 0), 0u);
    // The keys older files lack come after the ones they have.
    EXPECT_LT(text.find("\r\nsn=\""), text.find("\r\nsensortype=\"93\"\r\n"));
    EXPECT_LT(text.find("\r\nsensortype="), text.find("\r\ncalibration3=\""));

    auto restored = ConnectedTo(DeviceType::kAqvenHx);
    ASSERT_EQ(restored->ReadInfoFile(path.c_str()), 1);
    EXPECT_EQ(restored->Sdi12().Address(), 'b');
    EXPECT_STREQ(restored->Sdi12().SerialNumber(), source->Sdi12().SerialNumber());
    EXPECT_STREQ(restored->Sdi12().X5Calibration(), source->Sdi12().X5Calibration());
    EXPECT_STREQ(restored->Sdi12().XaCalibration(), source->Sdi12().XaCalibration());
    EXPECT_EQ(restored->Sdi12().SensorType(), ']');
    EXPECT_TRUE(restored->Sdi12().SensorTypeKnown());
    EXPECT_TRUE(restored->Sdi12().XgPresent());
    EXPECT_STREQ(restored->Sdi12().XgCalibration(), source->Sdi12().XgCalibration());
}

TEST(SettingsFileRoundTrip, ASensorWithoutTypeOrXgWritesNeitherKey) {
    TempDir dir;
    std::string path = dir.File("sensor.txt");
    auto source = ConnectedTo(DeviceType::kAqvenHx);
    source->Sdi12().SetX5Calibration("1 2 3");
    ASSERT_EQ(source->WriteInfoFile(path.c_str()), 1);
    std::string text = ReadFile(path);
    EXPECT_EQ(text.find("sensortype"), std::string::npos);
    EXPECT_EQ(text.find("calibration3"), std::string::npos);
    auto restored = ConnectedTo(DeviceType::kAqvenHx);
    ASSERT_EQ(restored->ReadInfoFile(path.c_str()), 1);
    EXPECT_FALSE(restored->Sdi12().SensorTypeKnown());
    EXPECT_FALSE(restored->Sdi12().XgPresent());
}

TEST(SettingsFileRoundTrip, AnXgTheFileCannotGiveBackStaysPresentSoTheRestoreReportsIt) {
    TempDir dir;
    std::string path = dir.File("sensor.txt");
    WriteFile(path, kHeaderLines + "type=\"Digital Sensor\"\r\nsensortype=\"93\"\r\ncalibration3=\"" +
                        std::string(513, '9') + "\"\r\n");
    auto p = ConnectedTo(DeviceType::kAqvenHx);
    ASSERT_EQ(p->ReadInfoFile(path.c_str()), 1);
    EXPECT_TRUE(p->Sdi12().XgPresent());
    EXPECT_STREQ(p->Sdi12().XgCalibration(), "");
}

TEST(SettingsFileRoundTrip, AFileRestoreCarriesNothingOfAnEarlierSensor) {
    TempDir dir;
    std::string path = dir.File("sensor.txt");
    WriteFile(path, kHeaderLines + "type=\"Digital Sensor\"\r\naddressInt=\"51\"\r\ncalibration=\"1 2 3\"\r\n");
    auto p = ConnectedTo(DeviceType::kAqvenHx);
    p->Sdi12().SetAddress('z');
    p->Sdi12().SetSerialNumber("OLD");
    p->Sdi12().SetXaCalibration("old xa");
    p->Sdi12().SetSensorTypeFromFile(']');
    p->Sdi12().SetXgCalibration("old xg");
    ASSERT_EQ(p->ReadInfoFile(path.c_str()), 1);
    EXPECT_FALSE(p->Sdi12().SensorTypeKnown());
    EXPECT_FALSE(p->Sdi12().XgPresent());
    EXPECT_EQ(p->Sdi12().Address(), '3');
    EXPECT_STREQ(p->Sdi12().X5Calibration(), "1 2 3");
    EXPECT_STREQ(p->Sdi12().XaCalibration(), "");
    EXPECT_STREQ(p->Sdi12().SerialNumber(), "");
}

}  // namespace
}  // namespace quor::testing
