#pragma once
// A simulated instrument served on a pseudo-terminal in real time, so the
// window can update it through the real port driver and the progress can
// be watched ("quorbsl-gui --simulate TRU"). The port list then holds the
// one simulated port.
//
// Ownership: owns the device model and the pty bridge that serves it; the
// bridge stops (the slave sees a hangup) before the model goes.

#include <memory>
#include <string>

#include "app/App.h"
#include "sim/core/PtyBridge.h"
#include "sim/instrument/InstrumentModel.h"

namespace quor::gui {

class SimulatedDevice {
  public:
    // The device of type code ("TRU"), serving; null with *error set when
    // the code names no modelled instrument or the pty cannot be made.
    static std::unique_ptr<SimulatedDevice> Start(const std::string& code, std::string* error);
    ~SimulatedDevice();
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    const std::string& PortPath() const { return bridge_->SlavePath(); }
    std::string Description() const;
    // Lists the simulated port as the only one.
    app::PortLister Lister() const;

    sim::PtyBridge& Bridge() { return *bridge_; }
    // Reach the model only through Bridge().Call while serving.
    sim::InstrumentModel& Model() { return *model_; }

  private:
    explicit SimulatedDevice(std::unique_ptr<sim::InstrumentModel> model);
    std::unique_ptr<sim::InstrumentModel> model_;
    std::unique_ptr<sim::PtyBridge> bridge_;
};

}  // namespace quor::gui
