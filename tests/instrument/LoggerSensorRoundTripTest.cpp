// A logger of each family and a digital sensor: captured, wiped, and given
// back their settings from memory and, by a fresh protocol object as a later
// run of the program would have, from the settings file.
#include <gtest/gtest.h>

#include <string>

#include "InstrumentFixture.h"
#include "sim/logger/LoggerModel.h"
#include "sim/sdi12/SdiRelayReader.h"
#include "sim/sdi12/SdiSensor.h"

namespace quor::insttest {
namespace {

struct LoggerCase {
    const char* name;
    sim::SimLoggerKind kind;
};

class LoggerRoundTrip : public ProtocolBench, public ::testing::WithParamInterface<LoggerCase> {
protected:
    // The settings the firmware keeps, as the logger holds them now; the
    // build is the firmware's own and comes with the new image.
    static sim::SettingsStore Settings(const sim::LoggerModel& logger) {
        sim::SettingsStore kept;
        for (const std::string& key : logger.Profile().keys) {
            if (key == "build") continue;
            auto it = logger.Store().find(key);
            if (it != logger.Store().end()) kept[key] = it->second;
        }
        return kept;
    }
};

TEST_P(LoggerRoundTrip, FromMemoryAndFromTheFile) {
    sim::LoggerModel& logger = Bench(GetParam().kind);
    const std::string path = dir.File("settings.txt");
    DeviceTypeInfo record;
    ASSERT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 3, &record), 1);
    // The family's request word asks for more than every model keeps: -35,
    // with what the logger has captured and saved.
    const ResultCode saved = proto.DPSaveInfo(path.c_str());
    ASSERT_TRUE(saved == 1 || saved == -35) << saved;
    EXPECT_TRUE(proto.SettingsLoaded());
    sim::SettingsStore before = Settings(logger);
    // A logger whose device ID comes back keeps the serial number it has.
    const bool keepsSerial = (proto.CapturedSelection() & req::kDeviceId) != 0;
    sim::LoggerModel factory(GetParam().kind);
    factory.ResetSettings();
    ASSERT_NE(before, Settings(factory));  // so the restore has something to do
    proto.Disconnect(false);

    logger.ResetSettings();
    if (keepsSerial) before["sn"] = logger.Store()["sn"];
    ASSERT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 3, &record), 1);
    EXPECT_EQ(proto.DPRestoreInfo(path.c_str(), nullptr), 1) << LogText();
    EXPECT_EQ(Settings(logger), before);
    proto.Disconnect(false);

    logger.ResetSettings();
    Quor_protocol later(&log);
    ASSERT_EQ(later.DPConnect("SIM1", kBaudIndex9600, 3, &record), 1);
    EXPECT_EQ(later.DPRestoreInfo(path.c_str(), nullptr), 1) << LogText();
    EXPECT_EQ(Settings(logger), before);
    later.Disconnect(false);
}

INSTANTIATE_TEST_SUITE_P(Families, LoggerRoundTrip,
                         ::testing::Values(LoggerCase{"Rv70", sim::SimLoggerKind::kRv70},
                                           LoggerCase{"Rv7b", sim::SimLoggerKind::kRv7b},
                                           LoggerCase{"Corvalink", sim::SimLoggerKind::kCorvalink},
                                           LoggerCase{"KL3", sim::SimLoggerKind::kKL3},
                                           LoggerCase{"ZRL2", sim::SimLoggerKind::kZRL2}),
                         [](const ::testing::TestParamInfo<LoggerCase>& p) { return p.param.name; });

TEST_F(ProtocolBench, UninitializedLoggerIsNotSaved) {
    sim::LoggerModel& logger = Bench(sim::SimLoggerKind::kRv70);
    logger.Store()["i"] = "";
    const std::string path = dir.File("settings.txt");
    DeviceTypeInfo record;
    ASSERT_EQ(proto.DPConnect("SIM1", kBaudIndex9600, 3, &record), 1);
    EXPECT_EQ(proto.DPSaveInfo(path.c_str()), -36);
    EXPECT_FALSE(proto.SettingsLoaded());
    EXPECT_EQ(proto.CapturedSelection(), 0u);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(Logged("DPSaveInfo does not save data for an uninitialized device"));
}

TEST_F(ProtocolBench, DigitalSensorFromMemoryAndFromTheFile) {
    sim::SdiSensor sensor{sim::MakeSensorState('z', 356)};
    sim::SdiRelayReader reader{&sensor};
    world.AddDevice("SIM1", reader);
    sensor.MutableState().address = '3';
    const sim::SdiSensorState before = sensor.State();
    const std::string path = dir.File("settings.txt");
    DeviceTypeInfo record;
    BuildDeviceTypeInfo(DeviceType::kAqvenHx, 356, record);

    ASSERT_EQ(proto.Logger().DSOpen("SIM1", 9600), 1);
    proto.AdoptDevice(record);
    ASSERT_EQ(proto.DPSaveInfo(path.c_str()), 1) << LogText();

    sensor.FlashFirmware(357);
    ASSERT_EQ(sensor.State().address, '0');
    EXPECT_EQ(proto.DPRestoreInfo(path.c_str(), nullptr), 1) << LogText();
    EXPECT_EQ(sensor.State().address, '3');
    EXPECT_EQ(sensor.State().serialNumber, before.serialNumber);
    EXPECT_EQ(sensor.State().x4, before.x4);
    proto.Logger().DSClose();

    sensor.FlashFirmware(358);
    Quor_protocol later(&log);
    ASSERT_EQ(later.Logger().DSOpen("SIM1", 9600), 1);
    later.AdoptDevice(record);
    EXPECT_EQ(later.DPRestoreInfo(path.c_str(), nullptr), 1) << LogText();
    EXPECT_EQ(sensor.State().address, '3');
    EXPECT_EQ(sensor.State().serialNumber, before.serialNumber);
    EXPECT_EQ(sensor.State().x4, before.x4);
    later.Logger().DSClose();
}

}  // namespace
}  // namespace quor::insttest
