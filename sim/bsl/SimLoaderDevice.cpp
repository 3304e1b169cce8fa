#include "sim/bsl/SimLoaderDevice.h"

#include <algorithm>
#include <cstdio>

namespace quor::sim {

namespace {

constexpr std::size_t kMaxLineChars = 4096;  // a runaway line is cut from the front
constexpr std::size_t kChecksumTail = 5;     // "." and four hex digits
constexpr std::uint32_t kChecksumSeed = '.';
constexpr std::uint32_t kChecksumModulus = 0xFFFF;
constexpr std::size_t kMaxWriteDigits = 512;
constexpr std::size_t kVectorDigits = 64;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& s, std::size_t pos, std::size_t count, std::uint32_t& value) {
    if (pos + count > s.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        int d = HexDigit(s[pos + i]);
        if (d < 0) return false;
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return true;
}

constexpr const char* kAck = "+\r";
constexpr const char* kReject = "-\r";
constexpr const char* kNotACommand = "?\r";

}  // namespace

SimLoaderDevice::SimLoaderDevice(SimLoaderConfig config) : config_(config) {}

void SimLoaderDevice::Attach(DeviceSide& side) {
    DeviceModel::Attach(side);
    side_->SetBaud(state_ == State::kFirmware || state_ == State::kRestarting ? config_.applicationBaud
                                                                              : config_.loaderBaud);
}

void SimLoaderDevice::QueueInvocationAnswers(std::vector<InvocationAnswer> answers) {
    for (InvocationAnswer a : answers) answers_.push_back(a);
}

void SimLoaderDevice::StartInLoader(bool connected) { EnterLoader(connected); }

void SimLoaderDevice::EnterLoader(bool connected) {
    state_ = connected ? State::kLoaderConnected : State::kLoaderWaiting;
    line_.clear();
    if (side_) side_->SetBaud(config_.loaderBaud);
}

void SimLoaderDevice::Restart() {
    state_ = State::kFirmware;
    line_.clear();
    ++restarts_;
    if (side_) side_->SetBaud(config_.applicationBaud);
}

void SimLoaderDevice::OnReceive(std::uint8_t byte) {
    switch (state_) {
    case State::kFirmware:
        OnFirmwareByte(byte);
        break;
    case State::kLoaderWaiting:
        if (byte == '\r') {
            side_->Send("$");
        } else if (byte == 'P') {
            side_->Send("#");
            state_ = State::kLoaderConnected;
            line_.clear();
        }
        break;
    case State::kLoaderConnected:
        OnConnectedByte(byte);
        break;
    case State::kRestarting:
        break;
    }
}

void SimLoaderDevice::OnFirmwareByte(std::uint8_t byte) {
    if (byte == '\n') return;
    if (byte != '\r') {
        if (line_.size() >= kMaxLineChars) line_.erase(0, 1);
        line_.push_back(static_cast<char>(byte));
        return;
    }
    const bool invocation = line_ == "boot ZEPT";
    line_.clear();
    if (!invocation) return;
    InvocationAnswer answer = defaultAnswer_;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    side_->Schedule(config_.firmwareAnswerUs, [this, answer] {
        switch (answer) {
        case InvocationAnswer::kOk:
            side_->Send("OK\r\n");
            side_->Schedule(config_.loaderStartUs, [this] { EnterLoader(false); });
            break;
        case InvocationAnswer::kDollar:
            side_->Send("$");
            side_->Schedule(config_.loaderStartUs, [this] { EnterLoader(false); });
            break;
        case InvocationAnswer::kError:
            side_->Send("ERROR\r\n");
            break;
        case InvocationAnswer::kMissing:
            side_->Send("QuorBSL MISSING\r\n");
            break;
        case InvocationAnswer::kSilent:
            break;
        case InvocationAnswer::kAlreadyInLoader:
            side_->Send("?\r\n");
            EnterLoader(true);
            break;
        }
    });
}

void SimLoaderDevice::OnConnectedByte(std::uint8_t byte) {
    if (byte != '\r') {
        if (line_.size() >= kMaxLineChars) line_.erase(0, 1);
        line_.push_back(static_cast<char>(byte));
        return;
    }
    std::string line;
    line.swap(line_);
    if (line.empty()) {
        AnswerAfter(config_.frameProcessUs, kNotACommand, false);
        return;
    }
    HandleFrame(line);
}

void SimLoaderDevice::AnswerAfter(std::uint64_t delayUs, std::string answer, bool counted) {
    if (counted) {
        chargedUs_ += delayUs;
        frameBytesOut_ += answer.size();
    }
    side_->Schedule(delayUs, [this, answer] { side_->Send(answer); });
}

void SimLoaderDevice::HandleFrame(const std::string& line) {
    std::uint32_t sent = 0;
    if (line.size() < 1 + kChecksumTail || line[line.size() - kChecksumTail] != '.' ||
        !ParseHex(line, line.size() - 4, 4, sent)) {
        // Not a frame at all (an invocation sent to a running loader, say).
        // The version query is taken by its letter alone, so a firmware
        // command that starts with "g" ("get -ver") gets the version.
        AnswerAfter(config_.frameProcessUs, line[0] == 'g' ? VersionReply() : kNotACommand, false);
        return;
    }
    ++frames_;
    frameLog_.push_back(line);
    frameBytesIn_ += line.size() + 1;
    if (frames_ > silentAfter_) return;

    const char letter = line[0];
    const std::string payload = line.substr(1, line.size() - 1 - kChecksumTail);
    std::uint32_t sum = kChecksumSeed + static_cast<unsigned char>(letter);
    for (char c : payload) sum += static_cast<unsigned char>(c);
    std::uint64_t cost = config_.frameProcessUs;
    if (sum % kChecksumModulus != sent) {
        AnswerAfter(cost, kReject, true);
        return;
    }
    auto reject = std::find(rejectFrames_.begin(), rejectFrames_.end(), frames_);
    if (reject != rejectFrames_.end()) {
        rejectFrames_.erase(reject);
        AnswerAfter(cost, kReject, true);
        return;
    }

    switch (letter) {
    case 'g':
        AnswerAfter(cost, payload.empty() ? VersionReply() : std::string(kReject), true);
        break;
    case '@':
        AnswerAfter(cost, DoAddress(payload), true);
        break;
    case 'W': {
        std::string answer = DoWrite(payload, cost);
        AnswerAfter(cost, answer, true);
        break;
    }
    case 'X': {
        std::string answer = DoErase(payload, cost);
        AnswerAfter(cost, answer, true);
        break;
    }
    case 'V': {
        std::string answer = DoVectors(payload);
        if (answer != "+") {
            AnswerAfter(cost, answer, true);
            break;
        }
        cost += config_.vectorsProgramUs;
        AnswerAfter(cost, answer, true);
        state_ = State::kRestarting;
        side_->Schedule(cost + config_.restartDelayUs, [this] { Restart(); });
        break;
    }
    default:
        AnswerAfter(cost, kReject, true);
        break;
    }
}

std::string SimLoaderDevice::VersionReply() const {
    if (!versionReply_.empty()) return versionReply_;
    char answer[32];
    std::snprintf(answer, sizeof answer, "+%d+\r", static_cast<int>(config_.loaderVersion));
    return answer;
}

bool SimLoaderDevice::ParseAddress(const std::string& payload, std::uint32_t& address) const {
    const std::size_t digits = config_.fiveDigitAddresses ? 5 : 4;
    return payload.size() == digits && ParseHex(payload, 0, digits, address);
}

std::string SimLoaderDevice::DoAddress(const std::string& payload) {
    std::uint32_t a = 0;
    if (!ParseAddress(payload, a)) return kReject;
    address_ = a;
    return kAck;
}

std::string SimLoaderDevice::DoWrite(const std::string& payload, std::uint64_t& costUs) {
    if (payload.empty() || payload.size() > kMaxWriteDigits || payload.size() % 4 != 0) return kReject;
    std::vector<std::uint32_t> words(payload.size() / 4);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!ParseHex(payload, 4 * i, 4, words[i])) return kReject;
    }
    if (address_ + 2 * words.size() > SimFlash::kSize) return kReject;
    for (std::uint32_t w : words) {
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8)};
        for (std::uint8_t b : bytes) {
            const std::uint32_t a = address_++;
            if (a >= kProtectedFirst && a <= kProtectedLast) {
                violations_.push_back({ViolationKind::kLoaderAreaWrite, a});
            } else if (!flash_.Program(a, b)) {
                violations_.push_back({ViolationKind::kWriteNotErased, a});
            }
        }
    }
    costUs += config_.wordProgramUs * words.size();
    return kAck;
}

std::string SimLoaderDevice::DoErase(const std::string& payload, std::uint64_t& costUs) {
    std::uint32_t a = 0;
    if (!ParseAddress(payload, a) || a >= SimFlash::kSize) return kReject;
    const std::uint32_t infoEnd = config_.infoStart + config_.infoSegments * config_.infoSegmentSize;
    std::uint32_t from = 0;
    std::uint32_t to = 0;
    if (a >= config_.infoStart && a < infoEnd && config_.infoSegmentSize > 0) {
        from = config_.infoStart + (a - config_.infoStart) / config_.infoSegmentSize * config_.infoSegmentSize;
        to = from + config_.infoSegmentSize;
    } else {
        // Code segments are 512-byte aligned; one that shares its block with
        // the information memory ends up shorter.
        from = a & ~(kCodeSegmentBytes - 1);
        to = from + kCodeSegmentBytes;
        if (from < infoEnd && to > config_.infoStart) {
            if (a >= infoEnd) from = infoEnd;
            else to = config_.infoStart;
        }
    }
    costUs += config_.segmentEraseUs;
    if (from <= kProtectedLast && to > kProtectedFirst) {
        violations_.push_back({ViolationKind::kLoaderAreaErase, a});
        return kAck;
    }
    flash_.Erase(from, to);
    return kAck;
}

std::string SimLoaderDevice::DoVectors(const std::string& payload) {
    if (payload.size() != kVectorDigits) return kReject;
    std::vector<std::uint16_t> table(kVectorWords);
    for (std::uint32_t i = 0; i < kVectorWords; ++i) {
        std::uint32_t w = 0;
        if (!ParseHex(payload, 4 * i, 4, w)) return kReject;
        table[i] = static_cast<std::uint16_t>(w);
    }
    vectors_ = table;
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : table) {
        bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    // Through "V" the loader rewrites its vector table itself.
    flash_.Preload(kVectorTable, bytes);
    return "+";
}

}  // namespace quor::sim
