#include <gtest/gtest.h>

#include <string>

#include "InstrumentFixture.h"
#include "sim/logger/LoggerModel.h"

namespace quor::insttest {
namespace {

struct ChecksumCase {
    const char* config;
    const char* oldSerial;
    const char* newSerial;
    ResultCode result;
    const char* adjusted;
};

TEST(ConfigChecksum, SignedCharacterSumsWrapAt32Bits) {
    const ChecksumCase cases[] = {
        {"1000", "AA", "AB", 1, "1001"},
        {"0", "B", "A", 1, "4294967295"},        // below zero wraps
        {"4294967295", "A", "B", 1, "0"},        // above 32 bits wraps
        {"100", "\xE9", "", 1, "123"},           // 0xE9 counts as -23
        {"100", "", "\xE9", 1, "77"},
        {"12x7", "A", "A", 1, "12"},             // only the leading number is kept
        {"abc", "", "A", 1, "65"},               // no number counts as 0
        {"", "", "", 1, "0"},
        {"4294967296", "A", "B", -30, "unchanged"},  // not a 32-bit number
        {"99999999999999999999999", "A", "B", -30, "unchanged"},
    };
    for (const ChecksumCase& c : cases) {
        FixedText<64> out = "unchanged";
        EXPECT_EQ(Quor_protocol::AdjustConfigChecksum(c.config, c.oldSerial, c.newSerial, &out), c.result)
            << c.config;
        EXPECT_EQ(out, c.adjusted) << c.config;
    }
}

TEST_F(ProtocolBench, Dm9NewSerialNumberCarriesItsConfigChecksum) {
    BenchInstrument& d = Connected("DM9 2.05");
    InstrumentSettings& s = proto.MutableInstrument();
    s.serialNumber = "AA";
    s.config = "1000";
    s.tadj = "T";
    s.selection = inst::kTadj;
    proto.SetSettingsLoaded(true);
    EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), "AB"), 1);
    EXPECT_EQ(s.selection, inst::kTadj | inst::kConfig | inst::kSerialNumber);
    EXPECT_EQ(s.config, "1001");
    EXPECT_EQ(d.settings["sn"], "AB");
    EXPECT_EQ(d.settings["config"], "1001");
    EXPECT_EQ(d.settings["tadj"], "T");
    EXPECT_TRUE(Logged("DPRestoreInfo successfully restored device setting"));

    // The checksum counts only the characters that the serial number keeps.
    EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), "ABCDEFGHIJKLMNOPQ"), 1);
    EXPECT_EQ(d.settings["sn"], "ABCDEFGHIJKLMNO");
    const unsigned kept = 1001 - ('A' + 'B') + (15 * 'A' + (0 + 14) * 15 / 2);
    EXPECT_EQ(d.settings["config"], std::to_string(kept));
}

TEST_F(ProtocolBench, Dm9ConfigThatCannotCarryTheChecksumKeepsTheOldSerial) {
    BenchInstrument& d = Connected("DM9LSR 1.00");
    InstrumentSettings& s = proto.MutableInstrument();
    s.serialNumber = "AA";
    s.config = "4294967296";
    s.selection = inst::kConfig | inst::kSerialNumber;
    proto.SetSettingsLoaded(true);
    EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), "AB"), -35);
    EXPECT_EQ(d.settings["sn"], "AA");
    EXPECT_EQ(s.serialNumber, "AA");
}

TEST_F(ProtocolBench, OtherInstrumentsTakeTheNewSerialAsItIs) {
    BenchInstrument& d = Connected("TRU 3.65");
    InstrumentSettings& s = proto.MutableInstrument();
    s.serialNumber = "OLD";
    s.config = "1000";
    s.selection = inst::kConfig;
    proto.SetSettingsLoaded(true);
    EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), "NEW-SERIAL-LONGER-THAN-15"), 1);
    EXPECT_EQ(d.settings["sn"], "NEW-SERIAL-LONG");
    EXPECT_EQ(d.settings["config"], "1000");
}

TEST_F(ProtocolBench, RestoreNotForThisDeviceType) {
    Connected("TRU 3.65");
    proto.SetSettingsLoaded(true);
    for (DeviceType t : {DeviceType::kUnknown, DeviceType::kRv7, DeviceType::kWk, DeviceType::kEnd}) {
        DeviceTypeInfo record;
        BuildDeviceTypeInfo(t, 100, record);
        record.type = t;
        proto.AdoptDevice(record);
        EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), nullptr), -13);
    }
}

TEST_F(ProtocolBench, SaveNotForThisDeviceTypeWritesNoFile) {
    BenchInstrument& d = Connected("TRU 3.65");
    DeviceTypeInfo record;
    BuildDeviceTypeInfo(DeviceType::kPlothub, 100, record);
    proto.AdoptDevice(record);
    const std::string path = dir.File("settings.txt");
    const std::size_t lines = d.Lines().size();
    EXPECT_EQ(proto.DPSaveInfo(path.c_str()), -13);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(d.Lines().size(), lines);
    EXPECT_FALSE(proto.SettingsLoaded());
    EXPECT_TRUE(Logged("DPSaveInfo received error -13 trying to collect device settings"));
}

TEST_F(ProtocolBench, PartialCaptureIsStillSaved) {
    BenchInstrument& d = Connected("TQ 1.20");
    d.settings = {{"sn", "TQ-1"}, {"units", "2"}, {"adc", "55"}};  // contr cannot be read
    const std::string path = dir.File("settings.txt");
    EXPECT_EQ(proto.DPSaveInfo(path.c_str()), -35);
    EXPECT_TRUE(proto.SettingsLoaded());
    EXPECT_EQ(proto.CapturedSelection(), 0x182u);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(Logged("DPSaveInfo successfully retrieved and saved device settings to a temp file"));

    // A TWI asks for p last: when only that fails the rest is still kept.
    BenchInstrument& twi = Connected("TWI 1.10");
    twi.settings = {{"sn", "TW-1"}, {"contr", "4"}, {"usage", "u"}, {"units", "kPa"}, {"tadj", "T"}};
    const std::string twiPath = dir.File("twi.txt");
    proto.SetSettingsLoaded(false);
    EXPECT_EQ(proto.DPSaveInfo(twiPath.c_str()), -35);
    EXPECT_TRUE(proto.SettingsLoaded());
    EXPECT_TRUE(std::filesystem::exists(twiPath));
}

TEST_F(ProtocolBench, ACaptureKeepsNothingOfAnEarlierOne) {
    BenchInstrument& d = Connected("DM9 2.10");
    d.settings = {{"sn", "DM-1"}, {"config", "7"}, {"tadj", "T"}, {"eqn", "1"}, {"eqn 0", "peat 1 2"}};
    const std::string path = dir.File("settings.txt");
    ASSERT_EQ(proto.DPSaveInfo(path.c_str()), -35);  // no user records, no pvuser

    // The next device of the same run has no tadj that can be read and no records.
    BenchInstrument& next = Connected("DM9 2.10");
    next.settings = {{"sn", "DM-2"}, {"config", "9"}};
    proto.SetSettingsLoaded(false);
    ASSERT_EQ(proto.DPSaveInfo(path.c_str()), -35);
    EXPECT_EQ(proto.CapturedSelection(), 0x802u);
    EXPECT_EQ(proto.EquationRecords().count, 0);
    ASSERT_GT(proto.DPRestoreInfo(path.c_str(), nullptr), 0);
    EXPECT_FALSE(next.Received("set -tadj"));
    EXPECT_FALSE(next.Received("set -eqn"));
    EXPECT_FALSE(next.Received("reset -eqn"));
    EXPECT_EQ(next.Count("set -sn DM-2"), 1);
}

TEST_F(ProtocolBench, RestoreWithoutSettingsOrFile) {
    BenchInstrument& d = Connected("TRU 3.65");
    const std::string path = dir.File("missing.txt");
    const std::size_t lines = d.Lines().size();
    EXPECT_EQ(proto.DPRestoreInfo(path.c_str(), nullptr), -102);
    EXPECT_FALSE(proto.SettingsLoaded());
    EXPECT_EQ(d.Lines().size(), lines);
    EXPECT_TRUE(Logged("DPRestoreInfo received error -102 trying to read device settings from " + path));
}

TEST_F(ProtocolBench, Dm9CaptureSetsSensorTypeZeroFirst) {
    BenchInstrument& d = Connected("DM9 2.05");
    d.settings = {{"sn", "D9"}, {"config", "12"}, {"tadj", "T"}, {"pvuser", "PV"}};
    const std::string path = dir.File("settings.txt");
    EXPECT_EQ(proto.DPSaveInfo(path.c_str()), 1);
    ASSERT_TRUE(d.Received("set -sensor 0"));
    EXPECT_EQ(d.Lines()[1], "set -sensor 0");  // right after the version query
    EXPECT_TRUE(Logged("DPSaveInfo set DMS9 sensor type to '0'"));
    // A refusal is logged and the capture goes on.
    d.refused.insert("sensor");
    d.refusal = SetAnswer::kOther;
    EXPECT_EQ(proto.DPSaveInfo(path.c_str()), 1);
    EXPECT_TRUE(Logged("DPSaveInfo received error -30 setting DMS9 sensor type to '0'"));
}

TEST_F(ProtocolBench, LoggerWithDeviceIdKeepsItsSerialNumber) {
    sim::LoggerModel& logger = Bench(sim::SimLoggerKind::kRv70);
    DeviceTypeInfo record;
    ASSERT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 3, &record), 1);
    const std::string oldSerial = logger.Store()["sn"];
    LoggerSettings& s = proto.MutableLoggerSettings();
    s = proto.Logger().Settings();
    s.deviceId = "ID42";
    s.deviceName = "NAME1";
    s.validMask = req::kDeviceId | req::kName;
    proto.SetSettingsLoaded(true);
    EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), "NEW123"), 1);
    EXPECT_EQ(logger.Store()["devid"], "ID42");
    EXPECT_EQ(logger.Store()["sn"], oldSerial);
    EXPECT_EQ(s.validMask & req::kSerialNumber, 0u);

    // Without a device ID the new serial number goes in.
    s.validMask = req::kName;
    EXPECT_EQ(proto.DPRestoreInfo(dir.File("none.txt").c_str(), "NEW123"), 1);
    EXPECT_EQ(logger.Store()["sn"], "NEW123");
}

}  // namespace
}  // namespace quor::insttest
