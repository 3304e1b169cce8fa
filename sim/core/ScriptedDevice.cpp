#include "sim/core/ScriptedDevice.h"

namespace quor::sim {

void ScriptedDevice::OnReceive(std::uint8_t byte) {
    received_.push_back(static_cast<char>(byte));
    if (static_cast<char>(byte) != lineEnd_) {
        partial_.push_back(static_cast<char>(byte));
        return;
    }
    std::string line = std::move(partial_);
    partial_.clear();
    lines_.push_back(line);
    auto it = replies_.find(line);
    if (it == replies_.end() && !hasFallback_) return;
    std::string reply = it != replies_.end() ? it->second : fallback_;
    side_->Schedule(replyDelayUs_, [this, reply] { side_->Send(reply); });
}

}  // namespace quor::sim
