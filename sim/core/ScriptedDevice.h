#pragma once
// A device for transport tests: it collects what it receives into lines and
// answers each line it knows with a scripted reply after a processing delay.

#include <map>
#include <string>
#include <vector>

#include "sim/core/DeviceModel.h"

namespace quor::sim {

class ScriptedDevice final : public DeviceModel {
public:
    explicit ScriptedDevice(char lineEnd = '\r') : lineEnd_(lineEnd) {}

    // Answers the line request (without its line end) with reply.
    void On(const std::string& request, const std::string& reply) { replies_[request] = reply; }
    // Answers every line it has no script for (unset: stays silent).
    void OnAnyOther(const std::string& reply) { fallback_ = reply; hasFallback_ = true; }
    void SetReplyDelayMs(std::uint32_t ms) { replyDelayUs_ = ms * 1000ull; }
    // Sends bytes now, unasked.
    void Emit(const std::string& bytes) { side_->Send(bytes); }

    const std::vector<std::string>& Lines() const { return lines_; }
    const std::string& Received() const { return received_; }

    void OnReceive(std::uint8_t byte) override;

private:
    char lineEnd_;
    std::uint64_t replyDelayUs_ = 0;
    std::map<std::string, std::string> replies_;
    std::string fallback_;
    bool hasFallback_ = false;
    std::string partial_;
    std::string received_;
    std::vector<std::string> lines_;
};

}  // namespace quor::sim
