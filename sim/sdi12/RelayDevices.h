#pragma once
// Whole relaying devices for a digital sensor update: the Palomet reader or
// the AQVEN Comm Device (its own firmware answering its commands, and its
// SDI-12 relay with the loader pass-through), and a sensor carrying its
// resident loader on the maker's sensor processor.
//
// Ownership: each bundle owns its parts; a test puts the relay on a port
// (SimWorld::AddDevice with relay.reader) and plugs a sensor into it.

#include <cstdint>
#include <string>

#include "sim/bsl/SimLoaderDevice.h"
#include "sim/logger/LoggerModel.h"
#include "sim/sdi12/SdiRelayReader.h"
#include "sim/sdi12/SdiSensor.h"

namespace quor::sim {

struct RelayFirmware {
    SimLoggerKind kind = SimLoggerKind::kPalomet;  // kPalomet or kCommDevice
    std::string versionLine;   // "" for the kind's own ("JQ 3.10", "HJD 1.30")
    char hardwareRevision = 'C';  // what "get -hver" reports
    int batteryPercent = 80;      // what "get -batt" reports; below 0: no answer
};

// The kind's command firmware with the hardware revision and battery keys.
LoggerProfile RelayProfile(const RelayFirmware& firmware);

class SdiRelayDevice {
public:
    explicit SdiRelayDevice(const RelayFirmware& own = {});
    SdiRelayDevice(const SdiRelayDevice&) = delete;
    SdiRelayDevice& operator=(const SdiRelayDevice&) = delete;

    LoggerModel firmware;
    SdiRelayReader reader;
};

// The maker's sensors' loader: five-digit addresses at 9600 baud, the
// information memory at 0x1800 in four 128-byte segments.
SimLoaderConfig SensorLoaderConfig();

class LoaderSensor {
public:
    // After an update the sensor runs firmware of newVersion.
    LoaderSensor(SdiSensorState state, std::uint32_t newVersion,
                 SimLoaderConfig config = SensorLoaderConfig());
    LoaderSensor(const LoaderSensor&) = delete;
    LoaderSensor& operator=(const LoaderSensor&) = delete;

    SimLoaderDevice loader;
    SdiSensor sensor;
};

}  // namespace quor::sim
