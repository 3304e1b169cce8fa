#pragma once
// A simulated bench: one virtual clock and any number of simulated ports
// ("SIM1", "SIM2", ...), each a SimLink to a device model. While a SimWorld
// lives it is the installed clock and port provider, so host code reaches
// the devices through the ordinary DSOpen and waits in virtual time.
// Names it does not serve are not found (-2): a test never opens real ports.

#include <map>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "serial/PortDriver.h"
#include "sim/core/SimLink.h"
#include "sim/core/VirtualClock.h"

namespace quor::sim {

class SimWorld final : public PortProvider {
public:
    SimWorld();
    ~SimWorld() override;
    SimWorld(const SimWorld&) = delete;
    SimWorld& operator=(const SimWorld&) = delete;

    VirtualClock& Clock() { return clock_; }
    std::uint64_t NowMs() { return clock_.NowMicros() / 1000; }

    // Puts model (borrowed: the caller keeps it alive) on port name.
    SimLink& AddDevice(const std::string& name, DeviceModel& model, std::uint32_t deviceBaud = 9600);
    // The same, the world keeping the model.
    SimLink& AddDevice(const std::string& name, std::unique_ptr<DeviceModel> model, std::uint32_t deviceBaud = 9600);
    SimLink* Link(const std::string& name);

    // Names not served here go to fallback when one is set (the pty tests
    // and a simulator-backed command line reach real ports that way).
    void SetFallback(PortProvider* fallback) { fallback_ = fallback; }

    PortError Open(const char* name, std::unique_ptr<PortDriver>& out) override;

private:
    VirtualClock clock_;
    platform::ScopedClock clockGuard_;
    ScopedPortProvider providerGuard_;
    std::map<std::string, std::unique_ptr<DeviceModel>> ownedModels_;
    std::map<std::string, std::unique_ptr<SimLink>> links_;
    PortProvider* fallback_ = nullptr;
};

}  // namespace quor::sim
