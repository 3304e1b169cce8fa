#pragma once
// A device with a resident bootstrap loader, seen from the device's side.
//
// Firmware running (at the application rate): "boot ZEPT\r" starts the
// loader, which then waits for a connection at the loader rate. Waiting: a
// carriage return is answered "$", "P" with "#" (now connected). Connected:
// a lone carriage return is answered "?\r"; every other line must be a
// frame "<letter><payload>.<4 hex checksum>\r" with the checksum 46 + the
// codes of letter and payload, modulo 65535. "g" answers "+<version>+\r"
// (also to an unframed line starting with "g": the firmware's "get -ver"
// meeting a loader that already runs gets the version, not "?\r");
// "@" sets the write address, "W" programs words there and advances it,
// "X" erases the segment holding an address; each acknowledged "+\r". "V"
// programs the 16 vectors, is acknowledged "+" and restarts the device into
// its firmware after the restart delay. A bad checksum, an unknown letter
// or a malformed payload is rejected "-\r".
//
// The flash area 0xFA00-0xFFFF holds the loader and the vectors: any erase
// or write there other than through "V" is recorded as a violation and not
// carried out, and so is a write over cells that are not erased.

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "sim/bsl/SimFlash.h"
#include "sim/core/DeviceModel.h"

namespace quor::sim {

struct SimLoaderConfig {
    std::uint32_t applicationBaud = 9600;
    std::uint32_t loaderBaud = 9600;
    bool fiveDigitAddresses = false;  // addresses as five hex digits, else four
    std::uint32_t infoStart = 0x1000;
    std::uint32_t infoSegments = 2;
    std::uint32_t infoSegmentSize = 128;
    std::int32_t loaderVersion = 12;
    std::uint64_t restartDelayUs = 2'000'000;
    // What the device spends on its own work, charged before each answer.
    std::uint64_t firmwareAnswerUs = 5'000;    // the firmware answering "boot"
    std::uint64_t loaderStartUs = 20'000;      // firmware handing over to its loader
    std::uint64_t frameProcessUs = 150;        // checking and decoding one frame
    std::uint64_t segmentEraseUs = 12'000;     // one flash segment
    std::uint64_t wordProgramUs = 35;          // one 16-bit word
    std::uint64_t vectorsProgramUs = 25'000;   // the vector segment
};

// How the firmware answers the invocation.
enum class InvocationAnswer {
    kOk,              // "OK", then the loader waits
    kDollar,          // "$", then the loader waits
    kError,           // "ERROR", the firmware stays
    kMissing,         // "QuorBSL MISSING", the firmware stays
    kSilent,          // nothing
    kAlreadyInLoader  // "?": the loader already runs, connected
};

enum class ViolationKind { kWriteNotErased, kLoaderAreaWrite, kLoaderAreaErase };

struct FlashViolation {
    ViolationKind kind;
    std::uint32_t address;
};

class SimLoaderDevice final : public DeviceModel {
public:
    static constexpr std::uint32_t kCodeSegmentBytes = 512;
    static constexpr std::uint32_t kProtectedFirst = 0xFA00;
    static constexpr std::uint32_t kProtectedLast = 0xFFFF;
    static constexpr std::uint32_t kVectorTable = 0xFFE0;
    static constexpr std::uint32_t kVectorWords = 16;

    enum class State { kFirmware, kLoaderWaiting, kLoaderConnected, kRestarting };

    explicit SimLoaderDevice(SimLoaderConfig config = {});

    void Attach(DeviceSide& side) override;
    void OnReceive(std::uint8_t byte) override;

    // --- what a test sets up ---
    // Answers to the next invocations, one each; afterwards kOk again.
    void QueueInvocationAnswers(std::vector<InvocationAnswer> answers);
    void SetDefaultInvocationAnswer(InvocationAnswer answer) { defaultAnswer_ = answer; }
    // Starts the loader at once (waiting, or connected), at the loader rate.
    void StartInLoader(bool connected);
    // The Nth frame (1-based, counted from construction) is rejected once.
    void RejectFrame(std::uint64_t n) { rejectFrames_.push_back(n); }
    // From frame N+1 on the loader answers nothing (it still listens).
    void GoSilentAfterFrames(std::uint64_t n) { silentAfter_ = n; }
    void SetLoaderVersion(std::int32_t v) { config_.loaderVersion = v; }
    // Answers "g" with this text instead of "+<version>+\r" (empty: the usual).
    void SetVersionReply(std::string reply) { versionReply_ = std::move(reply); }
    SimFlash& Flash() { return flash_; }

    // --- what happened ---
    const SimFlash& Flash() const { return flash_; }
    State CurrentState() const { return state_; }
    const std::vector<FlashViolation>& Violations() const { return violations_; }
    const std::vector<std::uint16_t>& StoredVectors() const { return vectors_; }
    std::uint64_t FramesSeen() const { return frames_; }
    std::uint32_t Restarts() const { return restarts_; }
    // Every frame line taken in while connected, without its carriage return.
    const std::vector<std::string>& FrameLog() const { return frameLog_; }
    // Framed exchanges: bytes in (with their carriage returns), bytes of the
    // answers, and the processing time charged before those answers.
    std::uint64_t FrameBytesIn() const { return frameBytesIn_; }
    std::uint64_t FrameBytesOut() const { return frameBytesOut_; }
    std::uint64_t ChargedProcessingUs() const { return chargedUs_; }

private:
    void OnFirmwareByte(std::uint8_t byte);
    void OnConnectedByte(std::uint8_t byte);
    void HandleFrame(const std::string& line);
    // Sends answer after delayUs of device work.
    void AnswerAfter(std::uint64_t delayUs, std::string answer, bool counted);
    std::string DoAddress(const std::string& payload);
    std::string DoWrite(const std::string& payload, std::uint64_t& costUs);
    std::string DoErase(const std::string& payload, std::uint64_t& costUs);
    std::string DoVectors(const std::string& payload);
    bool ParseAddress(const std::string& payload, std::uint32_t& address) const;
    std::string VersionReply() const;
    void EnterLoader(bool connected);
    void Restart();

    SimLoaderConfig config_;
    SimFlash flash_;
    State state_ = State::kFirmware;
    std::string line_;
    std::deque<InvocationAnswer> answers_;
    InvocationAnswer defaultAnswer_ = InvocationAnswer::kOk;
    std::vector<std::uint64_t> rejectFrames_;
    std::uint64_t silentAfter_ = UINT64_MAX;
    std::string versionReply_;
    std::uint32_t address_ = 0;
    std::uint64_t frames_ = 0;
    std::uint32_t restarts_ = 0;
    std::vector<FlashViolation> violations_;
    std::vector<std::uint16_t> vectors_;
    std::vector<std::string> frameLog_;
    std::uint64_t frameBytesIn_ = 0;
    std::uint64_t frameBytesOut_ = 0;
    std::uint64_t chargedUs_ = 0;
};

}  // namespace quor::sim
