#pragma once
// The built-in simulated devices that `update --simulate` and `sim` serve,
// and the faults a test can ask them for (--sim-fault).

#include <memory>
#include <string>
#include <vector>

#include "sim/core/DeviceModel.h"
#include "sim/core/SimLink.h"
#include "sim/instrument/InstrumentModel.h"

namespace quor::cli {

enum class SimFault : std::uint8_t {
    kNone,
    kSilent,         // the device never answers
    kBusy,           // another program holds the port
    kBatteryLow,     // 5 % battery
    kNoLoader,       // the firmware answers the loader invocation "QuorBSL MISSING"
    kCutUpload,      // the cable is cut half-way through the upload
    kCodeCorrupt,    // the new firmware's self-test fails
    kRefuseSetting,  // one setting is refused when it is restored
};

struct SimFaultRow {
    SimFault fault;
    const char* name;
    const char* meaning;
};
const std::vector<SimFaultRow>& SimFaultTable();
// The fault of name; false when there is none of that name.
bool SimFaultFromName(const std::string& name, SimFault* fault);

// The device codes that can be simulated, upper case ("TRU", "DM9", ...).
const std::vector<std::string>& SimulatedCodes();
// The code as listed (any case given); empty when it cannot be simulated.
std::string SimulatedCode(const std::string& code);

// A simulated instrument of code with fault applied to the device itself
// (the faults of the cable are the caller's: kBusy, kCutUpload). Null for
// a code that cannot be simulated.
std::unique_ptr<sim::InstrumentModel> MakeSimulatedDevice(const std::string& code, SimFault fault);

}  // namespace quor::cli
