#include "cli/SimulatedDevice.h"

#include <algorithm>
#include <cctype>

namespace quor::cli {

const std::vector<SimFaultRow>& SimFaultTable() {
    static const std::vector<SimFaultRow> table = {
        {SimFault::kSilent, "silent", "the device never answers"},
        {SimFault::kBusy, "busy", "another program holds the port"},
        {SimFault::kBatteryLow, "battery-low", "the battery is at 5 % (types that check it)"},
        {SimFault::kNoLoader, "no-loader", "the device has no working firmware loader"},
        {SimFault::kCutUpload, "cut-upload", "the cable is cut half-way through the upload"},
        {SimFault::kCodeCorrupt, "code-corrupt", "the new firmware fails its self-test"},
        {SimFault::kRefuseSetting, "refuse-setting", "one setting is refused on restore"},
    };
    return table;
}

bool SimFaultFromName(const std::string& name, SimFault* fault) {
    for (const SimFaultRow& row : SimFaultTable()) {
        if (name == row.name) {
            *fault = row.fault;
            return true;
        }
    }
    return false;
}

const std::vector<std::string>& SimulatedCodes() {
    return sim::InstrumentCodes();
}

std::string SimulatedCode(const std::string& code) {
    std::string upper = code;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto& codes = SimulatedCodes();
    return std::find(codes.begin(), codes.end(), upper) != codes.end() ? upper : std::string();
}

std::unique_ptr<sim::InstrumentModel> MakeSimulatedDevice(const std::string& code, SimFault fault) {
    const std::string listed = SimulatedCode(code);
    if (listed.empty()) return nullptr;
    std::unique_ptr<sim::InstrumentModel> model = sim::InstrumentModel::ForCode(listed);
    if (!model) return nullptr;
    switch (fault) {
        case SimFault::kSilent:
            model->GoSilentAfterCommands(0);
            break;
        case SimFault::kBatteryLow:
            model->SetBattery(5);
            break;
        case SimFault::kNoLoader:
            model->Loader().SetDefaultInvocationAnswer(sim::InvocationAnswer::kMissing);
            break;
        case SimFault::kCodeCorrupt:
            model->SetCodeCorrupt(true);
            break;
        case SimFault::kRefuseSetting: {
            // The settings come back at factory values after programming, so
            // a refused set leaves one captured value unrestored.
            const auto& settings = model->Profile().settings;
            if (!settings.empty()) model->RefuseSetting(settings.back().key);
            break;
        }
        case SimFault::kNone:
        case SimFault::kBusy:
        case SimFault::kCutUpload:
            break;
    }
    return model;
}

}  // namespace quor::cli
