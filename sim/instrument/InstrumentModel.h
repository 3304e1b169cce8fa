#pragma once
// An instrument's firmware as seen from its serial port: every type whose
// settings are captured one command per setting (DMINI, TQ, LG40, FG, DSKT,
// S7K, HJD, JQ, DM9, HSR, PX7T, TRU, DM9LSR, TWI, FLOWPACK), with the
// resident loader behind "boot ZEPT".
//
// Answer layout (the firmware's own, CR LF when asked): "\r<value>\r>" for
// a get ("\r\r>" when the value is empty), "\rOK\r>" for an accepted set or
// command, "\rERROR\r>" for a refused one and "\rUnsupported\r>" for a
// command this type does not have.
//
// Commands: "get -ver"; "login *<code>" typed one character at a time
// (answered with the code echoed) and "logout"; "get -batt"; "post" and
// "post -init" ("Code Good!" or "Code Corrupt!"); "yes" (the data erase
// confirmation: "OK" or "DataFlash FAIL"); the clock ("set -sec N" on the
// QuorSeconds types, "set -t"/"set -d" on TQ and FG); "get -KEY" and
// "set -KEY VALUE" for the settings of the type; the calibration list
// "get -cal N"/"set -cal N V" (JQ); the record lists "get -eqn" (count),
// "get -eqn N", "set -eqn N V", "reset -eqn" and "get -user", "get -user N",
// "set -user N V", "reset -users"; "set -sensor N" (DM9); "boot ZEPT".
//
// Types that need a login take only "get -ver", "get -batt", "post",
// "login", "logout" and "boot" before it (the others are answered ERROR),
// and a login typed faster than a person could is not taken.
//
// Programming through the loader: when the loader restarts the firmware,
// the settings, calibration and records are back at their factory values
// (the flash that held them was erased) and "get -ver" reports the new
// image's version: the one set with SetImageVersion, else a version text of
// this type found in the programmed flash, else the old one.
//
// Ownership: the model owns its loader (SimLoaderDevice) and puts it on the
// same DeviceSide; SimWorld or the test owns the model.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bsl/SimLoaderDevice.h"
#include "sim/core/DeviceModel.h"

namespace quor::sim {

// What the device holds, as its commands show it. Keys are the command
// keys ("sn", "config", "pvuser", ...); the calibration list and the
// record lists are in index order. A test compares two states byte for byte.
struct InstrumentState {
    std::map<std::string, std::string> settings;
    std::vector<std::string> calibration;  // "get -cal N"
    std::vector<std::string> equations;    // "get -eqn N"
    std::vector<std::string> users;        // "get -user N" (Base64 user definitions)
    bool operator==(const InstrumentState&) const = default;
};

// How a setting's value is checked when it is set.
enum class ValueKind {
    kText,     // anything non-empty
    kInteger,  // a decimal integer within [min, max]
    kDigits,   // an unsigned decimal number that fits 32 bits (config checksums)
    kSerial    // 1 to 15 printable characters without blanks
};

struct SettingSpec {
    std::string key;
    ValueKind kind = ValueKind::kText;
    long min = 0;
    long max = 0;
    std::int32_t fromVersion = 0;  // firmware version number that brought the setting
};

struct InstrumentProfile {
    std::string code;             // "TRU"
    std::int32_t typeNumber = 0;  // the device type's number (20 for TRU)
    std::string versionText;      // "TRU 3.64"
    std::vector<SettingSpec> settings;
    bool needsLogin = false;
    bool hasBattery = true;
    bool hasDataErase = false;
    bool quorSecondsClock = false;        // "set -sec"
    bool dateTimeClock = false;           // "set -t" and "set -d"
    bool hasSensorType = false;           // DM9's "set -sensor"
    std::size_t calibrationCapacity = 0;  // 0: no calibration list
    std::size_t equationCapacity = 0;     // 0: no "eqn" list
    std::size_t userCapacity = 0;         // 0: no "user" list
    InstrumentState initial;              // a device in use, as the test starts
    InstrumentState factory;              // what programming leaves
    std::string initialSensorType = "3";  // DM9 "get -sensor"
    std::string factorySensorType = "0";
    SimLoaderConfig loader;  // rates, memory map and restart time of the type
};

// The codes of every instrument type modelled here, in type-number order.
const std::vector<std::string>& InstrumentCodes();
// The code of a device type number ("TRU" for 20); empty when not modelled.
std::string InstrumentCodeOf(std::int32_t typeNumber);
// The profile of a type by its device code ("TRU") and version text
// ("TRU 3.64"; empty: the type's usual version). Null for a code not modelled.
std::unique_ptr<InstrumentProfile> InstrumentProfileFor(std::string_view code,
                                                        std::string_view versionText = {});
// "CODE d.dd" as a version number (3.64 is 364); -1 when it is not one.
std::int32_t VersionNumberOf(std::string_view versionText);

// A user record as the devices keep it: Base64 of the tab-separated fields,
// the name being the fourth.
std::string EncodeUserRecord(std::string_view name, std::string_view definition = "0.5\t1");
std::string EncodeBase64(std::string_view bytes);

// How the firmware answers a set (or a record or calibration set).
enum class SetReply {
    kOk,          // "OK", value taken
    kError,       // "ERROR", value not taken
    kBarePrompt,  // only the prompt, value not taken
    kSilent       // nothing, value not taken
};

// How the firmware answers a get.
enum class GetReply {
    kValue,       // the value
    kError,       // "ERROR"
    kBarePrompt,  // only the prompt ("\r>")
    kEmpty,       // the empty answer ("\r\r>")
    kSilent       // nothing
};

enum class LoginReply { kEchoCode, kOk, kEchoCodeAndOk };

// Misbehaviour of the firmware that a test can ask for.
struct InstrumentQuirks {
    bool crlf = false;                   // line ends "\r\n" instead of "\r"
    bool echo = false;                   // every byte comes straight back
    std::uint64_t replyDelayUs = 3'000;  // work before each answer (raise for late replies)
    std::string accessCode = "3378";     // the login line is "login *<code>"
    LoginReply loginReply = LoginReply::kEchoCode;
    bool loginRequired = true;  // on the types that need a login
    // Characters of the login line that arrive closer together than this are
    // taken for a paste and the login is refused; 0 turns the check off.
    std::uint64_t loginCharGapUs = 200'000;
    SetReply defaultSetReply = SetReply::kOk;
};

class InstrumentModel final : public DeviceModel {
  public:
    static constexpr std::uint64_t kEraseTimeUs = 4'000'000;    // "yes": the data flash erase
    static constexpr std::uint64_t kSelfTestUs = 1'500'000;     // "post": the code check
    static constexpr std::int64_t kDefaultClock = 550'000'000;  // QuorSeconds, in 2017
    static constexpr int kDefaultBattery = 87;                  // percent
    static constexpr std::size_t kMaxLineChars = 1024;          // a runaway line is cut

    explicit InstrumentModel(InstrumentProfile profile);
    // The model of a type by its version text ("TRU 3.64"); null when the
    // code is not an instrument modelled here.
    static std::unique_ptr<InstrumentModel> Create(std::string_view versionText);
    // The model of a type by its code, at the type's usual version.
    static std::unique_ptr<InstrumentModel> ForCode(std::string_view code);
    // The model of a type by its device type number (20 for TRU); versionText
    // empty: the type's usual version.
    static std::unique_ptr<InstrumentModel> ForType(std::int32_t typeNumber,
                                                    std::string_view versionText = {});

    void Attach(DeviceSide& side) override;
    void OnReceive(std::uint8_t byte) override;

    // --- what the device holds ---
    const InstrumentProfile& Profile() const { return profile_; }
    InstrumentState& State() { return state_; }  // set "user" values before a capture
    const InstrumentState& State() const { return state_; }
    // The factory values of the running firmware version.
    InstrumentState FactoryState() const;
    std::string Setting(const std::string& key) const;
    void SetSetting(const std::string& key, std::string value) {
        state_.settings[key] = std::move(value);
    }
    // Whether the running firmware has the setting (LG40 and DM9 gained some).
    bool HasSetting(const std::string& key) const;
    // DM9's sensor type: not one of the settings (the capture sets it to 0
    // and nothing restores it).
    const std::string& SensorType() const { return sensorType_; }
    const std::string& VersionText() const { return versionText_; }
    std::int32_t FirmwareVersion() const { return VersionNumberOf(versionText_); }
    bool LoggedIn() const { return loggedIn_; }
    void SetBattery(int percent) { battery_ = percent; }
    std::int64_t ClockSeconds() const;  // QuorSeconds (local seconds since 2000)
    void SetClockSeconds(std::int64_t seconds);

    // --- the loader and programming ---
    SimLoaderDevice& Loader() { return loader_; }
    const SimLoaderDevice& Loader() const { return loader_; }
    // The version text a programmed image reports after its restart (kept
    // for later programmings until changed).
    void SetImageVersion(std::string text) { imageVersion_ = std::move(text); }
    // Programming runs finished (loader restarts into the firmware).
    int Programmings() const { return programmings_; }
    // Sits in its loader, waiting for a connection (an update cut short).
    void StartInLoader() { loader_.StartInLoader(false); }
    bool InLoader() const { return loader_.CurrentState() != SimLoaderDevice::State::kFirmware; }

    // --- misbehaviour and faults ---
    InstrumentQuirks& Quirks() { return quirks_; }
    void SetSetReply(const std::string& key, SetReply reply) { setReplies_[key] = reply; }
    // Keys are the command keys; "eqn count" and "user count" are the count
    // queries, "eqn", "user" and "cal" the entries of those lists.
    void SetGetReply(const std::string& key, GetReply reply) { getReplies_[key] = reply; }
    // "set -KEY" is answered ERROR and the value stays.
    void RefuseSetting(const std::string& key) { SetSetReply(key, SetReply::kError); }
    void RejectSerialNumbers(bool on) { rejectSerial_ = on; }
    // From now on "set -config" is taken only when the number still carries
    // the checksum over the serial number held at that moment: config minus
    // the sum of the serial number's characters (signed 8-bit, wrapping at
    // 32 bits) must stay what it is now. A restore that changes the serial
    // number must adjust the config number with it.
    void RequireConfigChecksum(bool on);
    void SetCodeCorrupt(bool on) { codeCorrupt_ = on; }
    void SetDataFlashBroken(bool on) { dataFlashBroken_ = on; }
    // After count more commands the device hears nothing (for ever, or for ms).
    void GoSilentAfterCommands(int count, std::uint64_t ms = 0);
    void WakeUp() {
        silentUntilUs_ = 0;
        silenceAfter_ = -1;
    }

    // --- what happened ---
    const std::vector<std::string>& Commands() const { return commands_; }
    int CommandsSeen(std::string_view prefix) const;
    int Erases() const { return erases_; }
    // The firmware's own work charged before its answers (the loader's is
    // Loader().ChargedProcessingUs()).
    std::uint64_t ChargedProcessingUs() const { return chargedUs_; }
    int Logins() const { return logins_; }
    bool SelfTestGood() const;

  private:
    void FirmwareByte(std::uint8_t byte);
    void Line(const std::string& line);
    void Command(const std::string& line);
    void Send(const std::string& text, std::uint64_t extraUs = 0);
    void Reply(const std::string& body, std::uint64_t extraUs = 0);
    void Ok() { Reply("OK"); }
    void Error() { Reply("ERROR"); }
    void Unsupported() { Reply("Unsupported"); }
    void BarePrompt();
    void Login(const std::string& line);
    void Get(const std::string& rest);
    void AnswerGet(const std::string& replyKey, const std::string& value);
    void Set(const std::string& key, const std::string& value);
    SetReply SetReplyFor(const std::string& key) const;
    bool Refused(const std::string& key);
    void ListGet(const std::vector<std::string>& list, const std::string& key,
                 const std::string& index);
    void ListSet(std::vector<std::string>& list, std::size_t capacity, const std::string& key,
                 const std::string& rest);
    void SetClockFields(const std::string& key, const std::string& value);
    const SettingSpec* Spec(const std::string& key) const;
    bool ValueFits(const SettingSpec& spec, const std::string& value) const;
    std::uint32_t ConfigBase(const std::string& config) const;
    void WatchRestart();
    void FinishProgramming();
    std::string VersionInFlash() const;
    InstrumentState Available(const InstrumentState& s) const;

    InstrumentProfile profile_;
    InstrumentQuirks quirks_;
    InstrumentState state_;
    SimLoaderDevice loader_;
    std::string versionText_;
    std::string sensorType_;
    std::string imageVersion_;
    std::string line_;
    std::uint64_t lineFastestGapUs_ = UINT64_MAX;      // closest two characters of the line so far
    std::uint64_t lastLineFastestGapUs_ = UINT64_MAX;  // the same for the line just ended
    std::uint64_t lastByteUs_ = 0;
    bool loggedIn_ = false;
    int battery_ = kDefaultBattery;
    std::int64_t clockBase_ = kDefaultClock;
    std::uint64_t clockSetAtUs_ = 0;
    bool restartWatched_ = false;
    bool programmed_ = false;
    int programmings_ = 0;
    std::map<std::string, SetReply> setReplies_;
    std::map<std::string, GetReply> getReplies_;
    bool rejectSerial_ = false;
    bool checkConfig_ = false;
    std::uint32_t configBase_ = 0;  // config minus the serial number's sum
    bool codeCorrupt_ = false;
    bool dataFlashBroken_ = false;
    int silenceAfter_ = -1;
    std::uint64_t silenceMs_ = 0;
    std::uint64_t silentUntilUs_ = 0;
    std::vector<std::string> commands_;
    int erases_ = 0;
    int logins_ = 0;
    std::uint64_t chargedUs_ = 0;
};

}  // namespace quor::sim
