#include "sim/core/SimWorld.h"

namespace quor::sim {

SimWorld::SimWorld() : clockGuard_(clock_), providerGuard_(*this) {}

SimWorld::~SimWorld() = default;

SimLink& SimWorld::AddDevice(const std::string& name, DeviceModel& model, std::uint32_t deviceBaud) {
    auto link = std::make_unique<SimLink>(clock_, model, deviceBaud);
    SimLink& ref = *link;
    links_[name] = std::move(link);
    return ref;
}

SimLink& SimWorld::AddDevice(const std::string& name, std::unique_ptr<DeviceModel> model, std::uint32_t deviceBaud) {
    DeviceModel& ref = *model;
    ownedModels_[name] = std::move(model);
    return AddDevice(name, ref, deviceBaud);
}

SimLink* SimWorld::Link(const std::string& name) {
    auto it = links_.find(name);
    return it == links_.end() ? nullptr : it->second.get();
}

PortError SimWorld::Open(const char* name, std::unique_ptr<PortDriver>& out) {
    out.reset();
    if (!name) return kErrNoSuchPort;
    if (SimLink* link = Link(name)) return link->OpenHost(out);
    if (fallback_) return fallback_->Open(name, out);
    return kErrNoSuchPort;
}

}  // namespace quor::sim
