#include "sim/sdi12/SdiRelayReader.h"

#include <cstring>

namespace quor::sim {

namespace {
// Characters the reader takes for itself when they come between commands.
constexpr const char* kControlChars = "|][`P";
}  // namespace

void SdiRelayReader::OnReceive(std::uint8_t byte) {
    const std::uint64_t now = side_->NowMicros();
    if (!pending_.empty() && now - lastByteAt_ > kCommandGapUs) pending_.clear();
    lastByteAt_ = now;
    const char c = static_cast<char>(byte);
    if (pending_.empty() && c != '\0' && std::strchr(kControlChars, c)) {
        controls_ += c;
        return;
    }
    pending_ += c;
    if (c == '!') {
        std::string command;
        command.swap(pending_);
        commands_.push_back(command);
        Relay(command);
        return;
    }
    if (pending_.size() > kLongestCommand) pending_.clear();
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
