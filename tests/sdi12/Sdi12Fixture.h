#pragma once
// A bench for the bridge: one simulated sensor behind the relaying reader
// on "SIM1", reached through a plain QuorSerial, with the log in a
// temporary folder so tests can read what was logged.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/QuorLog.h"
#include "sdi12/QuorSDI12.h"
#include "serial/QuorSerial.h"
#include "sim/core/SimWorld.h"
#include "sim/sdi12/SdiRelayReader.h"
#include "sim/sdi12/SdiSensor.h"
#include "support/TempDir.h"

namespace quor::sdi12test {

// A test-name part made of a case's name: its letters and digits.
inline std::string ParamName(const char* text) {
    std::string name;
    for (const char* p = text; *p; ++p) {
        if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')) name += *p;
    }
    return name;
}

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(port.DSOpen("SIM1", 9600), 1); }

    // Puts a sensor of this type and version on the reader.
    void UseSensor(char type, std::uint32_t version) { sensor.MutableState() = sim::MakeSensorState(type, version); }
    std::string LogText() const { return quor::testing::ReadFile(dir.File("log.txt")); }
    bool Logged(const std::string& line) const { return LogText().find(line) != std::string::npos; }
    // The host's writes from index from on.
    std::vector<std::string> WritesFrom(std::size_t from) const {
        const auto& w = link.HostWrites();
        return std::vector<std::string>(w.begin() + static_cast<long>(from < w.size() ? from : w.size()), w.end());
    }
    bool SensorWasWritten(const std::string& bodyPrefix) const {
        for (const std::string& body : sensor.Writes()) {
            if (body.compare(0, bodyPrefix.size(), bodyPrefix) == 0) return true;
        }
        return false;
    }

    quor::testing::TempDir dir;
    QuorLog log{dir.File("log.txt").c_str(), QuorLog::kLevelDetail};
    sim::SimWorld world;
    sim::SdiSensor sensor{sim::MakeSensorState('z', 356)};
    sim::SdiRelayReader reader{&sensor};
    sim::SimLink& link = world.AddDevice("SIM1", reader);
    QuorSerial port{&log};
    QuorSDI12 sdi{&log, port};
};

}  // namespace quor::sdi12test
