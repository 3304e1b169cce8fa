#include "sim/sdi12/RelayDevices.h"

namespace quor::sim {

namespace {
constexpr std::uint32_t kSensorInfoStart = 0x1800;
constexpr std::uint32_t kSensorInfoSegments = 4;
constexpr std::uint32_t kSensorInfoSegmentSize = 128;
// The sensor is back on its bus well before the updater asks it again.
constexpr std::uint64_t kSensorRestartUs = 500'000;
}  // namespace

LoggerProfile RelayProfile(const RelayFirmware& firmware) {
    LoggerProfile p = ProfileFor(firmware.kind);
    if (!firmware.versionLine.empty()) p.versionLine = firmware.versionLine;
    p.keys.insert("hver");
    p.initial["hver"] = std::string(1, firmware.hardwareRevision);
    if (firmware.batteryPercent >= 0) {
        p.keys.insert("batt");
        p.initial["batt"] = std::to_string(firmware.batteryPercent);
    }
    p.factory["hver"] = p.initial["hver"];
    return p;
}

SdiRelayDevice::SdiRelayDevice(const RelayFirmware& own) : firmware(RelayProfile(own)) {
    reader.SetFirmware(&firmware);
}

SimLoaderConfig SensorLoaderConfig() {
    SimLoaderConfig c;
    c.loaderBaud = 9600;
    c.fiveDigitAddresses = true;
    c.infoStart = kSensorInfoStart;
    c.infoSegments = kSensorInfoSegments;
    c.infoSegmentSize = kSensorInfoSegmentSize;
    c.restartDelayUs = kSensorRestartUs;
    return c;
}

LoaderSensor::LoaderSensor(SdiSensorState state, std::uint32_t newVersion, SimLoaderConfig config)
    : loader(config), sensor(std::move(state)) {
    sensor.SetLoader(&loader, newVersion);
}

}  // namespace quor::sim
