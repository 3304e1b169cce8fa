#include "sim/sdi12/SdiSensor.h"

#include <cstdio>
#include <utility>

#include "sim/bsl/SimLoaderDevice.h"

namespace quor::sim {

namespace {

struct Model {
    char type;
    const char* model;
    const char* x4;
    const char* xa;
};

// Calibrations as a sensor of each kind might carry them after its
// calibration at the factory (not the firmware defaults).
constexpr Model kModels[] = {
    {'z', "7QA   ", "1.02 -0.013 0.25 3.1", "1 1.43 1.92 2.33 2.97"},
    {'x', "7QM   ", "0.98 0.011 0.31 2.9", "1 1.41 1.95 2.38 2.96"},
    {'w', "HR4   ", "1.1 0.2 0.3", "1 1.45 2.01 2.51 2.97"},
    {'y', "WPX-4 ", "0.5 12.25 -3.5", "2 0.25 0.75"},
    {'l', "WPX-8 ", "0.7 11.5 -2.5", "3 0.35 0.85"},
    {'k', "SOL-31", "4.57 0.0021", "1 0.998"},
    {'h', "SOL-13", "5.01 0.0019", "1 1.002"},
    {'g', "SOL-14", "5.22 0.0018", "1 1.004"},
    {']', "ZEP-51", "1 0.5 0.25 12", "7 0.1 0.2"},
    {'^', "RNQ-5 ", "", ""},
    {'u', "P7    ", "2 0.5 3.5 0 1.5 2.5 0 0 4", ""},
    {'t', "WLD   ", "1 2 3 4 5 6 7 8 9", ""},
};

constexpr const char* kNewFormatX4 = "1.000 -2.000000e+03 1.000000e+03 0.000000e+00 5.5 9.0";
constexpr std::uint32_t kNewFormatVersion = 340;

}  // namespace

SdiSensorState MakeSensorState(char typeLetter, std::uint32_t version) {
    SdiSensorState state;
    state.version = version;
    state.type = std::string(1, typeLetter);
    state.serialNumber = "KD-";
    state.serialNumber += typeLetter;
    state.serialNumber += "-40712";
    for (const Model& m : kModels) {
        if (m.type != typeLetter) continue;
        state.model = m.model;
        state.x4 = m.x4;
        state.xa = m.xa;
    }
    if ((typeLetter == 'u' || typeLetter == 't') && version >= kNewFormatVersion) state.x4 = kNewFormatX4;
    if (typeLetter == ']') {
        state.hasXg = true;
        state.xg = "1 0.031 0.27";
    }
    state.factoryX4 = typeLetter == '^' ? "" : "0 0 0";
    state.factoryXa = state.xa.empty() ? "" : "1 1 1";
    state.factoryXg = state.hasXg ? "0" : "";
    return state;
}

SdiSensor::SdiSensor(SdiSensorState state) : state_(std::move(state)) {}

void SdiSensor::FlashFirmware(std::uint32_t newVersion) {
    state_.version = newVersion;
    state_.address = '0';
    state_.serialNumber.clear();
    state_.x4 = state_.factoryX4;
    state_.xa = state_.factoryXa;
    state_.xg = state_.factoryXg;
    loaderStarted_ = false;
}

void SdiSensor::SetLoader(SimLoaderDevice* loader, std::uint32_t newFirmwareVersion) {
    loader_ = loader;
    newFirmwareVersion_ = newFirmwareVersion;
    loaderRunning_ = false;
    loaderRestartsSeen_ = loader ? loader->Restarts() : 0;
}

void SdiSensor::StartLoader(bool connected) {
    loaderStarted_ = true;
    if (!loader_) return;
    FollowLoader();
    loader_->StartInLoader(connected);
    loaderRunning_ = true;
}

void SdiSensor::FollowLoader() {
    if (!loader_ || !loaderRunning_ || loader_->Restarts() == loaderRestartsSeen_) return;
    loaderRestartsSeen_ = loader_->Restarts();
    loaderRunning_ = false;
    ++updates_;
    FlashFirmware(newFirmwareVersion_);
}

bool SdiSensor::InLoader() {
    FollowLoader();
    return loaderRunning_;
}

void SdiSensor::ReleaseWaitingLoader() {
    if (InLoader() && loader_->CurrentState() == SimLoaderDevice::State::kLoaderWaiting) {
        loaderRunning_ = false;
        loaderStarted_ = false;
    }
}

void SdiSensor::Script(const std::string& bodyPrefix, std::optional<std::string> reply, int times) {
    scripts_.push_back(ScriptEntry{bodyPrefix, std::move(reply), times, false});
}

void SdiSensor::ScriptRaw(const std::string& bodyPrefix, const std::string& bytes, int times) {
    scripts_.push_back(ScriptEntry{bodyPrefix, bytes, times, true});
}

std::string SdiSensor::Reply(const std::string& text) const { return std::string(1, state_.address) + text + "\r\n"; }

std::string SdiSensor::Identification() const {
    char version[8];
    std::snprintf(version, sizeof version, "%03u", static_cast<unsigned>(state_.version % 1000));
    return "13" + state_.vendor + state_.model + version + state_.extra;
}

std::optional<std::string> SdiSensor::OnCommand(const std::string& command) {
    commands_.push_back(command);
    if (InLoader()) return std::nullopt;  // the loader speaks no SDI-12
    if (silent_ || command.size() < 2 || command.back() != '!') return std::nullopt;
    const char to = command.front();
    const bool ownAddress = to == state_.address;
    if (!ownAddress && to != '?') return std::nullopt;
    const std::string body = command.substr(1, command.size() - 2);
    for (auto it = scripts_.rbegin(); it != scripts_.rend(); ++it) {
        if (it->times == 0 || body.compare(0, it->prefix.size(), it->prefix) != 0) continue;
        if (it->times > 0) --it->times;
        if (!it->reply) return std::nullopt;
        return it->raw ? *it->reply : Reply(*it->reply);
    }
    return Answer(body, ownAddress);
}

std::string SdiSensor::Accept(const std::string& body) {
    writes_.push_back(body);
    return Reply("OK");
}

std::optional<std::string> SdiSensor::Answer(const std::string& body, bool ownAddress) {
    if (body.empty()) return Reply("");
    if (body == "I") return Reply(Identification());
    if (body.size() == 2 && body[0] == 'A') {
        // Changing the address takes the sensor's own address, never "?".
        if (!ownAddress) return std::nullopt;
        writes_.push_back(body);
        state_.address = body[1];
        return Reply("");
    }
    if (body == "X#") return Reply(state_.serialNumber.empty() ? "" : " " + state_.serialNumber);
    if (body.compare(0, 2, "X#") == 0) {
        state_.serialNumber = body.substr(2);
        return Accept(body);
    }
    if (body == "X8") {
        if (!state_.answersType) return std::nullopt;
        bool numeric = !state_.type.empty() && state_.type[0] >= '0' && state_.type[0] <= '9';
        return Reply(numeric ? state_.type : " " + state_.type);
    }
    if (body.compare(0, 3, "X9 ") == 0) {
        state_.type = body.substr(3);
        return Accept(body);
    }
    if (body == "X4") return Reply(" " + state_.x4);
    if (body.compare(0, 2, "X5") == 0) {
        state_.x4 = body.substr(2);
        return Accept(body);
    }
    if (body == "Xa") return Reply(" " + state_.xa);
    if (body.compare(0, 2, "Xb") == 0) {
        state_.xa = body.substr(2);
        return Accept(body);
    }
    if (body == "Xg") return state_.hasXg ? Reply(" " + state_.xg) : Reply("ERROR");
    if (body.compare(0, 2, "Xg") == 0) {
        state_.xg = body.substr(2);
        return Accept(body);
    }
    if (body == "post") {
        // Code the loader had to refuse to program is not whole.
        const bool good = state_.codeGood && (!loader_ || loader_->Violations().empty());
        return Reply(good ? "Code Good" : "Code Corrupt");
    }
    if (body == "B") {
        if (!state_.hasLoader) return Reply("No BSL");
        StartLoader(false);
        return Reply("");
    }
    return std::nullopt;  // SDI-12 sensors ignore what they don't know
}

}  // namespace quor::sim
