#include "sim/sdi12/SdiRelayReader.h"

#include <cstring>

#include "sim/bsl/SimLoaderDevice.h"

namespace quor::sim {

namespace {
// Characters the reader takes for itself when they come between commands.
constexpr const char* kControlChars = "|][`P";
// The ones it still takes while the pass-through is open.
constexpr const char* kPassThroughControlChars = "[`";
}  // namespace

SdiRelayReader::SdiRelayReader(SdiSensor* sensor) : sensor_(sensor) {}

void SdiRelayReader::Attach(DeviceSide& side) {
    DeviceModel::Attach(side);
    if (firmware_) firmware_->Attach(side);
    AttachSensorLine();
}

void SdiRelayReader::Plug(SdiSensor* sensor) {
    sensor_ = sensor;
    AttachSensorLine();
}

void SdiRelayReader::SetFirmware(DeviceModel* firmware) {
    firmware_ = firmware;
    if (firmware_ && side_) firmware_->Attach(*side_);
}

void SdiRelayReader::AttachSensorLine() {
    if (side_ && sensor_ && sensor_->Loader()) sensor_->Loader()->Attach(line_);
}

void SdiRelayReader::OnDtrChange(bool /*on*/) {
    // The host opened or closed its port: a new session starts relaying.
    if (side_->LinkUp()) ClosePassThrough();
}

void SdiRelayReader::OnReceive(std::uint8_t byte) {
    const std::uint64_t now = side_->NowMicros();
    if (!pending_.empty() && now - lastByteAt_ > kCommandGapUs) pending_.clear();
    lastByteAt_ = now;
    const char c = static_cast<char>(byte);
    if (passThrough_) {
        if (c != '\0' && std::strchr(kPassThroughControlChars, c)) {
            TakeControl(c);
        } else if (justOpened_ && c == 'P') {
            justOpened_ = false;
            controls_ += c;
            trace_.emplace_back(1, c);
        } else {
            PassThrough(byte);
        }
        return;
    }
    if (pending_.empty() && c != '\0' && std::strchr(kControlChars, c)) {
        TakeControl(c);
        return;
    }
    if (c == '\r') {
        std::string line;
        line.swap(pending_);
        OwnCommand(line);
        return;
    }
    pending_ += c;
    if (c == '!') {
        std::string command;
        command.swap(pending_);
        commands_.push_back(command);
        trace_.push_back(command);
        Relay(command);
        return;
    }
    if (pending_.size() > kLongestCommand) pending_.clear();
}

void SdiRelayReader::TakeControl(char c) {
    controls_ += c;
    trace_.emplace_back(1, c);
    switch (c) {
    case ']':
        // Only a running loader listens on the sensor's serial line.
        passThrough_ = sensor_ && sensor_->InLoader();
        justOpened_ = passThrough_;
        break;
    case '[':
        ClosePassThrough();
        break;
    case '`':
        ClosePassThrough();
        if (sensor_) sensor_->ReleaseWaitingLoader();
        break;
    default:
        break;
    }
}

void SdiRelayReader::PassThrough(std::uint8_t byte) {
    justOpened_ = false;
    if (trace_.empty() || trace_.back() != kLoaderTraffic) trace_.emplace_back(kLoaderTraffic);
    // The sensor's firmware ignores what is not SDI-12; only its loader listens here.
    if (sensor_ && sensor_->InLoader()) sensor_->Loader()->OnReceive(byte);
}

void SdiRelayReader::OwnCommand(const std::string& line) {
    if (!line.empty()) trace_.push_back(line);
    if (!firmware_) return;
    for (char c : line) firmware_->OnReceive(static_cast<std::uint8_t>(c));
    firmware_->OnReceive('\r');
}

bool SdiRelayReader::Drops(const std::string& command) {
    if (silent_) return true;
    if (!dropEveryOther_ || command == "?!") return false;
    return (dropCounter_++ % 2) == 0;
}

void SdiRelayReader::Relay(const std::string& command) {
    // A late reader hands over what it still holds as soon as it is busy again.
    for (const std::string& late : held_) side_->Send(late);
    held_.clear();
    if (Drops(command)) {
        ++dropped_;
        return;
    }
    side_->Schedule(busTimeUs_, [this, command] {
        if (!sensor_) return;
        std::optional<std::string> reply = sensor_->OnCommand(command);
        if (!reply) return;
        std::string out = *reply;
        if (!passLineEnds_) {
            // The reader ends what it passes back with the carriage return.
            std::size_t end = out.find('\r');
            out = end == std::string::npos ? out + "\r" : out.substr(0, end + 1);
        }
        if (holdCount_ > 0 && command == holdCommand_) {
            --holdCount_;
            held_.push_back(out);
            return;
        }
        side_->Send(out);
    });
}

}  // namespace quor::sim
