#include "gui/SimulatedDevice.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quor::gui {

std::unique_ptr<SimulatedDevice> SimulatedDevice::Start(const std::string& code,
                                                        std::string* error) {
    std::string upper = code;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::unique_ptr<sim::InstrumentModel> model = sim::InstrumentModel::ForCode(upper);
    if (!model) {
        std::string known;
        for (const std::string& c : sim::InstrumentCodes())
            known += (known.empty() ? "" : ", ") + c;
        *error = "no simulated instrument \"" + code + "\" (known: " + known + ")";
        return nullptr;
    }
    std::unique_ptr<SimulatedDevice> device(new SimulatedDevice(std::move(model)));
    const PortError e = device->bridge_->Start();
    if (e != 0) {
        *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(e);
        return nullptr;
    }
    return device;
}

SimulatedDevice::SimulatedDevice(std::unique_ptr<sim::InstrumentModel> model)
    : model_(std::move(model)), bridge_(std::make_unique<sim::PtyBridge>(*model_)) {}

SimulatedDevice::~SimulatedDevice() {
    bridge_->Stop();
}

std::string SimulatedDevice::Description() const {
    return "Simulated " + model_->Profile().code + " (" + PortPath() + ")";
}

app::PortLister SimulatedDevice::Lister() const {
    PortRecord port;
    port.name = PortPath();
    port.description = Description().c_str();
    return [port](PortRecord* list, std::uint32_t* count, bool) -> ResultCode {
        if (*count < 1) return 0;
        list[0] = port;
        *count = 1;
        return 1;
    };
}

}  // namespace quor::gui
