#pragma once
// The radio path: a Zt4 radio module on the computer's port and, through
// the air, one logger on the far side. In data mode the module passes bytes
// both ways when its channel and subchannel match the far logger's; in AT
// command mode it answers itself and the air stays quiet.

#include <cstdint>
#include <string>

#include "sim/core/DeviceModel.h"
#include "sim/logger/LoggerModel.h"
#include "sim/logger/Zt4Module.h"

namespace quor::sim {

class Zt4RadioModel final : public DeviceModel {
public:
    static constexpr std::uint64_t kAirDelayUs = 5000;

    // far is borrowed and must outlive this model; it becomes a sleeper.
    explicit Zt4RadioModel(LoggerModel& far);

    void Attach(DeviceSide& side) override;
    void OnReceive(std::uint8_t byte) override;

    Zt4Module& Module() { return module_; }
    // The far logger's radio settings (both start at the module's 0, 0).
    void SetFarChannel(int channel, int subchannel) { farChannel_ = channel; farSubchannel_ = subchannel; }
    bool InTune() const { return module_.channel == farChannel_ && module_.subchannel == farSubchannel_; }

private:
    // What the far logger sees of the world: the air, through this module.
    class Air final : public DeviceSide {
    public:
        explicit Air(Zt4RadioModel& radio) : radio_(radio) {}
        std::uint64_t NowMicros() override { return radio_.side_->NowMicros(); }
        EventId Schedule(std::uint64_t delayUs, std::function<void()> fn) override {
            return radio_.side_->Schedule(delayUs, std::move(fn));
        }
        void Cancel(EventId id) override { radio_.side_->Cancel(id); }
        void Send(std::string_view bytes) override;
        void SetBaud(std::uint32_t) override {}
        std::uint32_t Baud() const override { return 9600; }
        bool Dtr() const override { return true; }

    private:
        Zt4RadioModel& radio_;
    };

    LoggerModel& far_;
    Air air_;
    Zt4Module module_;
    int farChannel_ = 0;
    int farSubchannel_ = 0;
};

}  // namespace quor::sim
