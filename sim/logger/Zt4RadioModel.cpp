#include "sim/logger/Zt4RadioModel.h"

namespace quor::sim {

Zt4RadioModel::Zt4RadioModel(LoggerModel& far)
    : far_(far), air_(*this), module_([this](const std::string& text) { side_->Send(text); }) {
    far_.SetRadioSleeper(true);
}

void Zt4RadioModel::Attach(DeviceSide& side) {
    DeviceModel::Attach(side);
    far_.Attach(air_);
}

void Zt4RadioModel::OnReceive(std::uint8_t byte) {
    std::string passOn;
    module_.Feed(byte, passOn);
    if (passOn.empty() || !InTune()) return;
    side_->Schedule(kAirDelayUs, [this, passOn] {
        for (char c : passOn) far_.OnReceive(static_cast<std::uint8_t>(c));
    });
}

void Zt4RadioModel::Air::Send(std::string_view bytes) {
    if (radio_.module_.CommandMode() || !radio_.InTune()) return;
    std::string text(bytes);
    radio_.side_->Schedule(kAirDelayUs, [this, text] { radio_.side_->Send(text); });
}

}  // namespace quor::sim
