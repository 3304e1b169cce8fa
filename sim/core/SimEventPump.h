#pragma once
// An event pump for virtual time: waiting for events just lets simulated
// time pass, and it counts how often the host dispatched, so a test can
// see that a long wait kept the window alive. OnDispatch runs a test's
// "window event" (a click in the middle of an update, say).

#include <cstdint>
#include <functional>

#include "platform/EventPump.h"

namespace quor::sim {

class SimEventPump final : public platform::EventPump {
public:
    void WaitForEvents(platform::Clock& clock, std::uint32_t timeoutMs) override {
        ++waits_;
        // A window receives events now and then; one arrives every interval.
        std::uint32_t ms = timeoutMs < eventIntervalMs_ ? timeoutMs : eventIntervalMs_;
        clock.SleepMicros(std::uint64_t{ms} * 1000u);
    }
    void DispatchPending() override {
        ++dispatches_;
        if (onDispatch_) onDispatch_();
    }
    void SetEventIntervalMs(std::uint32_t ms) { eventIntervalMs_ = ms ? ms : 1; }
    void OnDispatch(std::function<void()> fn) { onDispatch_ = std::move(fn); }
    std::uint32_t Waits() const { return waits_; }
    std::uint32_t Dispatches() const { return dispatches_; }

private:
    std::uint32_t eventIntervalMs_ = 50;
    std::uint32_t waits_ = 0;
    std::uint32_t dispatches_ = 0;
    std::function<void()> onDispatch_;
};

}  // namespace quor::sim
