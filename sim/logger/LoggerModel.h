#pragma once
// A datalogger's firmware as seen from its serial port, for one family and
// firmware generation. It answers "get -KEY" from a settings store and
// takes "set -KEY VALUE" into it; answers end with the prompt '>' and a
// set is accepted with "OK" (old firmware answers with the bare "\r>").
//
// Answer layout: "\r<value>\r>" for a get (an empty value gives the empty
// answer "\r\r>"), "\rOK\r>" for a set, "\rERROR\r>" for a bad value and
// "\rUnsupported\r>" for a command the firmware does not know.
//
// As the far side of a radio link the logger sleeps until it hears the
// wake sequence, then answers "query" with its name and only takes other
// commands after "login NAME"; "logout" sends it back to sleep, silently.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/core/DeviceModel.h"
#include "sim/logger/Zt4Module.h"

namespace quor::sim {

enum class SimLoggerKind { kRv70, kRv7b, kCorvalink, kKL3, kZRL2, kCommDevice, kPalomet, kOldRv7 };

using SettingsStore = std::map<std::string, std::string>;

struct LoggerProfile {
    std::string versionLine;     // "Rv70 2.05"; empty for old firmware ("show" only)
    std::string oldVersion;      // the "Version:" of "show" on old firmware
    std::set<std::string> keys;  // settings the firmware gets and sets
    SettingsStore initial;       // what the logger holds when the test starts
    SettingsStore factory;       // what a reset leaves
    bool hasClock = true;
    bool quorSecondsClock = false;
    bool onePairAdc = false;
    bool authKeyAsTeakey = false;  // older cellular firmware: "get -authkey" unknown
    bool hasRadio = true;
};

LoggerProfile ProfileFor(SimLoggerKind kind);

class LoggerModel final : public DeviceModel {
public:
    static constexpr std::uint64_t kProcessingDelayUs = 2000;
    static constexpr std::uint64_t kEraseTimeUs = 3'000'000;
    static constexpr int kWakeCarriageReturns = 200;          // ~11 s of the wake sequence
    static constexpr std::uint64_t kAwakeIdleUs = 60'000'000; // back to sleep after a quiet minute
    static constexpr std::int64_t kDefaultClock = 550'000'000;  // QuorSeconds, in 2017

    explicit LoggerModel(LoggerProfile profile);
    explicit LoggerModel(SimLoggerKind kind) : LoggerModel(ProfileFor(kind)) {}

    void OnReceive(std::uint8_t byte) override;

    // --- the settings store ---
    SettingsStore& Store() { return store_; }
    const SettingsStore& Store() const { return store_; }
    void ResetSettings() { store_ = profile_.factory; }
    const LoggerProfile& Profile() const { return profile_; }

    // --- the clock, in QuorSeconds (local seconds since 2000) ---
    std::int64_t ClockSeconds();
    void SetClockSeconds(std::int64_t seconds);

    // --- the logger's own radio module (old Rv7 "term" pass-through) ---
    Zt4Module& OwnRadio() { return ownRadio_; }

    // --- radio far side ---
    void SetRadioSleeper(bool on) { radioSleeper_ = on; asleep_ = on; loggedIn_ = !on; }
    bool Asleep() const { return asleep_; }
    bool LoggedIn() const { return loggedIn_; }
    int Wakes() const { return wakes_; }

    // --- faults ---
    void SetEchoing(bool on) { echo_ = on; }                // a relay: every byte comes back
    void SetErrorAnswers(bool on) { errorAnswers_ = on; }  // every command: ERROR
    void SetRejectBaudChange(bool on) { rejectBaud_ = on; }
    void SetDataFlashBroken(bool on) { dataFlashBroken_ = on; }
    // After count more commands the logger hears nothing for ms.
    void SilenceAfterCommands(int count, std::uint64_t ms) { silenceAfter_ = count; silenceMs_ = ms; }
    // The next count lines that begin with prefix go unheard (a set lost on
    // the line, attempt after attempt).
    void MissCommands(const std::string& prefix, int count) { missPrefix_ = prefix; missCount_ = count; }
    // Ends every line it sends with CR LF instead of CR (as some firmware
    // and some adapters do).
    void SetCrLf(bool on) { crLf_ = on; }
    // Old firmware: "show" answers this text instead of its labelled lines.
    void SetShowText(const std::string& text) { showText_ = text; hasShowText_ = true; }

    // --- what happened ---
    const std::vector<std::string>& Commands() const { return commands_; }
    int Erases() const { return erases_; }
    std::uint32_t Baud() const { return side_ ? side_->Baud() : 0; }

private:
    void Line(const std::string& line);
    void Answer(const std::string& text);
    void Get(const std::string& key);
    void Set(const std::string& key, const std::string& value);
    void OldFirmware(const std::string& line);
    bool Sleeping(std::uint8_t byte);
    std::string Ok() const { return newFirmware() ? "\rOK\r>" : "\r>"; }
    // The text as it goes on the wire (CR LF line ends when asked for).
    std::string Wire(const std::string& text) const;
    void Send(const std::string& text) { side_->Send(Wire(text)); }
    bool newFirmware() const { return !profile_.versionLine.empty(); }
    std::string DateTime();
    void ScheduleIdleCheck();

    LoggerProfile profile_;
    SettingsStore store_;
    std::string line_;
    std::vector<std::string> commands_;
    Zt4Module ownRadio_;
    bool term_ = false;
    std::string termLine_;

    std::int64_t clockBase_ = kDefaultClock;
    std::uint64_t clockSetAtUs_ = 0;

    bool radioSleeper_ = false;
    bool asleep_ = false;
    bool loggedIn_ = true;
    int carriageReturns_ = 0;
    int wakes_ = 0;
    std::uint64_t lastHeardUs_ = 0;
    bool idleCheckPending_ = false;

    bool echo_ = false;
    bool errorAnswers_ = false;
    bool rejectBaud_ = false;
    bool dataFlashBroken_ = false;
    std::string missPrefix_;
    int missCount_ = 0;
    bool crLf_ = false;
    std::string showText_;
    bool hasShowText_ = false;
    int silenceAfter_ = -1;
    std::uint64_t silenceMs_ = 0;
    std::uint64_t silentUntilUs_ = 0;
    int erases_ = 0;
};

}  // namespace quor::sim
