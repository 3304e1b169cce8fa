// The logger's settings, one command per setting, and the loop that runs
// a request word of them in a fixed order.
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "logger/AQVEN_Protocol.h"
#include "logger/ReplyRules.h"

namespace quor {

namespace {
constexpr std::uint32_t kSettingTimeoutMs = 1500;
constexpr std::uint32_t kSettingAnswerSize = 32;
constexpr std::uint32_t kCellularAnswerSize = 64;
constexpr std::uint32_t kHostAnswerSize = 96;
constexpr std::uint32_t kAdcAnswerSize = 128;
constexpr std::uint32_t kFailurePauseMs = 100;
constexpr std::int32_t kOldestPadcVersion = 165;
constexpr std::int32_t kKL3Rmode = 16;
constexpr std::int32_t kTimeZoneFromComputer = -2;
constexpr std::int32_t kSecondsPerZoneStep = 900;
constexpr std::size_t kAuthKeyDigits = 32;
constexpr int kAdcValues = 11;  // five pairs and the checksum
}  // namespace

struct AQVEN_Protocol::IntSetting {
    const char* op;
    std::uint32_t needs;     // capability bit, 0 for none
    bool cellular;           // needs a Rv70 with a cellular modem instead
    const char* getCmd;
    const char* setPrefix;   // "set -w ": the value and a carriage return follow
    bool afterCr;            // the value follows the first carriage return
    bool oldPromptOk;        // old firmware accepts with the bare prompt
    range::IntRange range;   // outside it: unreadable when read, refused before sending
    ResultCode none;         // when the answer holds no number
    const char* found;       // log text before the value
    const char* setTo;
    const char* notFound;    // log text before the time, or null
    const char* unit = "";   // after the value in the found and set lines
};

struct AQVEN_Protocol::TextSetting {
    const char* op;
    std::uint32_t needs;
    bool cellular;
    bool setNeedsNewFirmware;
    bool repeatGet;          // ask up to retry-count times until a text comes
    const char* getCmd;
    const char* setPrefix;
    bool afterCr;
    bool oldPromptOk;
    std::uint32_t answerSize;
    const char* found;
    const char* setTo;
};

bool AQVEN_Protocol::Cellular() const {
    return (settings_.trait & kTraitKnown) && settings_.kind == kKindRv70 && (settings_.trait & kTraitCellular);
}

bool AQVEN_Protocol::SetAccepted(const char* answer, bool oldPromptOk) const {
    if (oldPromptOk && !settings_.newFirmware) return HasPromptLine(answer);
    return std::strstr(answer, "OK") != nullptr;
}

ResultCode AQVEN_Protocol::Failed(const char* op, ResultCode r, std::uint32_t ms) const {
    Log(QuorLog::kLevelFailure, "%s failed with error %d (%d ms)", op, r, static_cast<int>(ms));
    return r;
}

ResultCode AQVEN_Protocol::SetCommand(const char* /*op*/, const char* command, bool oldPromptOk,
                                      std::uint32_t answerSize, std::uint32_t* elapsedMs) {
    char answer[kHostAnswerSize + 64];
    std::uint32_t cap = answerSize < sizeof answer ? answerSize : sizeof answer;
    ResultCode r = DeviceCommand(command, '>', kSettingTimeoutMs, answer, &cap, elapsedMs);
    if (r < 0) return r;
    return SetAccepted(answer, oldPromptOk) ? rc::kOk : rc::kUnreadableAnswer;
}

ResultCode AQVEN_Protocol::IntCommand(const IntSetting& s, std::int32_t* value, int direction) {
    if (s.cellular ? !Cellular() : (s.needs && !(settings_.capabilities & s.needs))) return lrc::kNoCapability;
    if (!value) return rc::kMissingArgument;
    std::uint32_t ms = 0;
    char command[64];
    ResultCode r;
    if (direction == 1) {
        const int v = static_cast<int>(*value);
        if (!s.range.Holds(v) || !FormatCommand(command, sizeof command, "%s%d\r", s.setPrefix, v))
            return Failed(s.op, rc::kOutOfRange, 0);
        r = SetCommand(s.op, command, s.oldPromptOk, kSettingAnswerSize, &ms);
        if (r > 0)
            Log(QuorLog::kLevelDetail, "%s%d%s (%d ms)", s.setTo, static_cast<int>(*value), s.unit, static_cast<int>(ms));
    } else {
        char answer[kSettingAnswerSize];
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand(s.getCmd, '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r > 0) {
            const char* text = ValueStart(answer, s.afterCr);
            std::int32_t v = 0;
            if (ReadInt(text, s.range, &v)) {
                *value = v;
                Log(QuorLog::kLevelDetail, "%s%d%s (%d ms)", s.found, static_cast<int>(v), s.unit,
                    static_cast<int>(ms));
                r = rc::kOk;
            } else {
                if (s.notFound) Log(QuorLog::kLevelDetail, "%s(%d ms)", s.notFound, static_cast<int>(ms));
                // A number out of its range is there but unreadable.
                r = HasNumber(text) ? rc::kUnreadableAnswer : s.none;
            }
        }
    }
    return r < 0 ? Failed(s.op, r, ms) : r;
}

ResultCode AQVEN_Protocol::TextCommand(const TextSetting& s, char* field, std::size_t maxLen, int direction) {
    if (s.cellular ? !Cellular() : (s.needs && !(settings_.capabilities & s.needs))) return lrc::kNoCapability;
    if (!field) return rc::kMissingArgument;
    std::uint32_t ms = 0;
    ResultCode r;
    if (direction == 1) {
        if (s.setNeedsNewFirmware && !settings_.newFirmware) return lrc::kNoCapability;
        char command[kHostAnswerSize + 32];
        if (!IsSendableText(field) || !FormatCommand(command, sizeof command, "%s%s\r", s.setPrefix, field))
            return Failed(s.op, rc::kOutOfRange, 0);
        r = SetCommand(s.op, command, s.oldPromptOk, s.answerSize, &ms);
        if (r > 0) Log(QuorLog::kLevelDetail, "%s\"%s\" (%d ms)", s.setTo, field, static_cast<int>(ms));
    } else {
        const std::uint32_t tries = s.repeatGet ? retryCount_ : 1;
        r = rc::kUnreadableAnswer;
        for (std::uint32_t t = 0; t < tries; ++t) {
            char answer[kHostAnswerSize];
            std::uint32_t cap = s.answerSize < sizeof answer ? s.answerSize : sizeof answer;
            r = DeviceCommand(s.getCmd, '>', kSettingTimeoutMs, answer, &cap, &ms);
            if (r < 0) continue;
            char text[kHostAnswerSize];
            r = ReadTextValue(answer, s.afterCr, text, maxLen);
            if (r > 0) {
                std::memcpy(field, text, std::strlen(text) + 1);
                Log(QuorLog::kLevelDetail, "%s\"%s\" (%d ms)", s.found, field, static_cast<int>(ms));
                break;
            }
        }
    }
    return r < 0 ? Failed(s.op, r, ms) : r;
}

// --- the per-setting commands ---

ResultCode AQVEN_Protocol::NameCommand(FixedText<8>* name, int direction) {
    if (!name) return rc::kMissingArgument;
    std::uint32_t ms = 0;
    ResultCode r;
    if (direction == 1) {
        ResultCode check = CheckDeviceName(name->c_str());
        if (check < 0) {
            Log(QuorLog::kLevelFailure, "NameCommand: \"%s\" is an illegal device name (error %d)", name->c_str(), check);
            return check;
        }
        char command[24];
        if (!FormatCommand(command, sizeof command, "set -i %s\r", name->c_str()))
            return Failed("NameCommand", rc::kOutOfRange, 0);
        r = SetCommand("NameCommand", command, true, kSettingAnswerSize, &ms);
        if (r > 0)
            Log(QuorLog::kLevelDetail, "NameCommand set device name to \"%s\" (%d ms)", name->c_str(), static_cast<int>(ms));
    } else {
        char answer[kSettingAnswerSize];
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand("get -i\r", '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r == rc::kEmptyPrompt) {
            r = rc::kLoggerUninitialized;  // a logger that was never given a name
        } else if (r > 0) {
            char word[9];
            const char* p = ValueStart(answer, true);
            if (*p != '>' && std::sscanf(p, "%8s", word) == 1 && word[0] != '>') {
                *name = word;
                Log(QuorLog::kLevelDetail, "NameCommand found device named \"%s\" (%d ms)", word, static_cast<int>(ms));
                r = rc::kOk;
            } else {
                Log(QuorLog::kLevelDetail, "NameCommand couldn't find device name (%d ms)", static_cast<int>(ms));
                r = rc::kUnreadableAnswer;
            }
        }
    }
    return r < 0 ? Failed("NameCommand", r, ms) : r;
}

ResultCode AQVEN_Protocol::SNCommand(FixedText<15>* serial, int direction) {
    static const TextSetting s{"SNCommand", 0, false, true, true, "get -sn\r", "set -sn ", true, false,
                               kSettingAnswerSize, "SNCommand found device serial number ",
                               "SNCommand set device serial number to "};
    return serial ? TextCommand(s, serial->data(), FixedText<15>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::WakeCommand(std::int32_t* interval, int direction) {
    static const IntSetting s{"WakeCommand", cap::kWakeAndPadc, false, "get -w\r", "set -w ", true, true, range::kWake,
                              rc::kUnreadableAnswer, "WakeCommand found device measurement interval ",
                              "WakeCommand set device measurement interval to ",
                              "WakeCommand could not find device measurement interval "};
    return IntCommand(s, interval, direction);
}

ResultCode AQVEN_Protocol::PADCCommand(std::int32_t* padc, int direction) {
    if (!(settings_.capabilities & cap::kWakeAndPadc)) return lrc::kNoCapability;
    if (!padc) return rc::kMissingArgument;
    if (!settings_.newFirmware) {
        if (settings_.firmwareVersion < kOldestPadcVersion) {
            // These loggers cannot report it.
            if (direction != 1) *padc = -1;
            return lrc::kNoCapability;
        }
        static const IntSetting old{"PADCCommand", cap::kWakeAndPadc, false, "hertz\r", "set -p ", true, true,
                                    range::kPadc, rc::kUnreadableAnswer, "PADCCommand found device PADC ",
                                    "PADCCommand set device PADC ", "PADCCommand could not find device PADC value ",
                                    " Hz"};
        return IntCommand(old, padc, direction);
    }
    static const IntSetting s{"PADCCommand", cap::kWakeAndPadc, false, "get -padc\r", "set -padc ", true, false,
                              range::kPadc, rc::kUnreadableAnswer, "PADCCommand found device PADC ", "PADCCommand set device PADC ",
                              "PADCCommand could not find device PADC value ", " Hz"};
    return IntCommand(s, padc, direction);
}

ResultCode AQVEN_Protocol::DeviceIDCommand(FixedText<8>* id, int direction) {
    static const TextSetting s{"DeviceIDCommand", cap::kExtended, false, false, false, "get -devid\r", "set -devid ",
                               false, false, kSettingAnswerSize, "DeviceIDCommand found DeviceID ",
                               "DeviceIDCommand set DeviceID to "};
    return id ? TextCommand(s, id->data(), FixedText<8>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::DataParameterCommand(std::int32_t* value, int direction) {
    static const IntSetting s{"DataParameterCommand", cap::kDataParameter, false, "get -data\r", "set -data ", false,
                              false, range::kDataParameter, rc::kUnreadableAnswer,
                              "DataParameterCommand found data parameter ",
                              "DataParameterCommand set data parameter to ",
                              "DataParameterCommand could not find device data parameter "};
    return IntCommand(s, value, direction);
}

ResultCode AQVEN_Protocol::RmodeCommand(std::int32_t* rmode, int direction) {
    if (!(settings_.capabilities & cap::kRmode)) return lrc::kNoCapability;
    if (!rmode) return rc::kMissingArgument;
    if (settings_.kind == kKindKL3) {
        if (direction != 1) *rmode = kKL3Rmode;
        Log(QuorLog::kLevelDetail, "RmodeCommand found an kL3 that is always mode %d", static_cast<int>(kKL3Rmode));
        return rc::kOk;
    }
    static const IntSetting s{"RmodeCommand", cap::kRmode, false, "get -r\r", "set -r ", false, true, range::kRmode,
                              rc::kUnreadableAnswer, "RmodeCommand found rmode ", "RmodeCommand set rmode to ",
                              "RmodeCommand could not find device rmode "};
    return IntCommand(s, rmode, direction);
}

ResultCode AQVEN_Protocol::ReportCommand(std::int32_t* mode, int direction) {
    static const IntSetting s{"ReportCommand", cap::kExtended, false, "get -report\r", "set -report ", false, false,
                              range::kReportMode, rc::kUnreadableAnswer, "ReportCommand found device report mode ",
                              "ReportCommand set report mode to ", "ReportCommand could not find device report mode "};
    return IntCommand(s, mode, direction);
}

ResultCode AQVEN_Protocol::IPPortCommand(std::int32_t* port, int direction) {
    static const IntSetting s{"IPPortCommand", 0, true, "get -ipport\r", "set -ipport ", false, false, range::kIpPort,
                              rc::kEmptyPrompt, "IPPortCommand found device ipport ", "IPPortCommand set ipport to ",
                              "IPPortCommand could not find device ipport "};
    return IntCommand(s, port, direction);
}

ResultCode AQVEN_Protocol::TimeZoneCommand(std::int32_t* zone, int direction) {
    if (!(settings_.capabilities & cap::kExtended)) return lrc::kNoCapability;
    if (!zone) return rc::kMissingArgument;
    if (direction == 1 && *zone == kTimeZoneFromComputer) *zone = DSUtcOffset() / kSecondsPerZoneStep;
    static const IntSetting s{"TimeZoneCommand", cap::kExtended, false, "get -tz\r", "set -tz ", false, false,
                              range::kTimeZone, rc::kUnreadableAnswer, "TimeZoneCommand found device time zone ",
                              "TimeZoneCommand set time zone to ", "TimeZoneCommand could not find device time zone "};
    return IntCommand(s, zone, direction);
}

ResultCode AQVEN_Protocol::SiteCommand(FixedText<25>* site, int direction) {
    static const TextSetting s{"SiteCommand", cap::kExtended, false, false, false, "get -site\r", "set -site ", false,
                               false, kSettingAnswerSize + 16, "SiteCommand found site name ",
                               "SiteCommand set site to "};
    return site ? TextCommand(s, site->data(), FixedText<25>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::APNCommand(FixedText<35>* apn, int direction) {
    static const TextSetting s{"APNCommand", 0, true, false, false, "get -apn\r", "set -apn ", false, false,
                               kCellularAnswerSize, "APNCommand found APN ", "APNCommand set APN to "};
    return apn ? TextCommand(s, apn->data(), FixedText<35>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::APNUserCommand(FixedText<35>* user, int direction) {
    static const TextSetting s{"APNUserCommand", 0, true, false, false, "get -user\r", "set -user ", false, false,
                               kCellularAnswerSize, "APNUserCommand found APN user name ",
                               "APNUserCommand set APN user name to "};
    return user ? TextCommand(s, user->data(), FixedText<35>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::APNPasswdCommand(FixedText<35>* password, int direction) {
    static const TextSetting s{"APNPasswdCommand", 0, true, false, false, "get -passwd\r", "set -passwd ", false, false,
                               kCellularAnswerSize, "APNPasswdCommand found APN password ",
                               "APNPasswdCommand set APN password to "};
    return password ? TextCommand(s, password->data(), FixedText<35>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::HostCommand(FixedText<63>* host, int direction) {
    static const TextSetting s{"HostCommand", 0, true, false, false, "get -host\r", "set -host ", false, false,
                               kHostAnswerSize, "HostCommand found the remote host name ",
                               "HostCommand set remote host name to "};
    return host ? TextCommand(s, host->data(), FixedText<63>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::QuorBuildCommand(FixedText<16>* build, int direction) {
    static const TextSetting s{"QuorBuildCommand", cap::kQuorBuild, false, false, false, "get -build\r", "set -build ",
                               true, false, kSettingAnswerSize, "QuorBuildCommand found QuorBuild info ",
                               "QuorBuildCommand set QuorBuild number to "};
    return build ? TextCommand(s, build->data(), FixedText<16>::kMaxChars, direction) : rc::kMissingArgument;
}

ResultCode AQVEN_Protocol::AuthKeyCommand(FixedText<32>* key, int direction) {
    if (!Cellular()) return lrc::kNoCapability;
    if (!key) return rc::kMissingArgument;
    if (direction == 1) {
        if (!IsHexDigits(key->c_str(), kAuthKeyDigits)) return Failed("AuthKeyCommand", rc::kOutOfRange, 0);
        static const TextSetting s{"AuthKeyCommand", 0, true, false, false, "get -authkey\r", "set -authkey ", false,
                                   false, kCellularAnswerSize, "AuthKeyCommand found authkey ",
                                   "AuthKeyCommand set authkey to "};
        return TextCommand(s, key->data(), FixedText<32>::kMaxChars, direction);
    }
    // Older cellular firmware calls it the teakey.
    const char* names[] = {"get -authkey\r", "get -teakey\r"};
    ResultCode r = rc::kUnreadableAnswer;
    std::uint32_t ms = 0;
    for (int i = 0; i < 2; ++i) {
        char answer[kCellularAnswerSize];
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand(names[i], '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r == rc::kDeviceError && i == 0) continue;
        if (r < 0) break;
        char text[FixedText<32>::kMaxChars + 1];
        r = ReadTextValue(answer, false, text, FixedText<32>::kMaxChars);
        if (r > 0) {
            *key = text;
            if (i == 0) {
                Log(QuorLog::kLevelDetail, "AuthKeyCommand found authkey \"%s\" (%d ms)", text, static_cast<int>(ms));
            } else {
                Log(QuorLog::kLevelDetail, "AuthKeyCommand found authkey (as teakey) \"%s\" (%d ms)", text,
                    static_cast<int>(ms));
            }
        }
        break;
    }
    return r < 0 ? Failed("AuthKeyCommand", r, ms) : r;
}

ResultCode AQVEN_Protocol::FiveByteCommand(const char* op, const char* key, std::uint8_t* values, int direction,
                                           bool depth) {
    std::uint32_t ms = 0;
    char command[64];
    ResultCode r;
    if (direction == 1) {
        std::snprintf(command, sizeof command, "set -%s %d %d %d %d %d\r", key, values[0], values[1], values[2],
                      values[3], values[4]);
        r = SetCommand(op, command, false, kSettingAnswerSize, &ms);
        if (r > 0) {
            Log(QuorLog::kLevelDetail, "%s set %s to %d %d %d %d %d (%d ms)", op, depth ? "depths" : "ports", values[0],
                values[1], values[2], values[3], values[4], static_cast<int>(ms));
        }
    } else {
        std::snprintf(command, sizeof command, "get -%s\r", key);
        char answer[kSettingAnswerSize + 16];
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand(command, '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r > 0) {
            std::int32_t v[kPortCount] = {};
            int n = ReadIntegers(answer, v, kPortCount, range::kPortValue);
            if (n == kPortCount) {
                for (int i = 0; i < kPortCount; ++i) values[i] = ClampToByte(v[i]);
                Log(QuorLog::kLevelDetail, "%s: %s are %d %d %d %d %d (%d ms)", op, depth ? "depths" : "ports",
                    values[0], values[1], values[2], values[3], values[4], static_cast<int>(ms));
                r = rc::kOk;
            } else {
                Log(QuorLog::kLevelDetail, "%s only found %d of %d %s (%d ms)", op, n, kPortCount,
                    depth ? "port depths" : "ports", static_cast<int>(ms));
                r = rc::kUnreadableAnswer;
            }
        }
    }
    return r < 0 ? Failed(op, r, ms) : r;
}

ResultCode AQVEN_Protocol::PortsCommand(std::uint8_t* ports, int direction) {
    if (!ports) return rc::kMissingArgument;
    if (!(settings_.capabilities & cap::kPorts)) {
        if (direction != 1) std::memset(ports, 0, kPortCount);
        return lrc::kNoCapability;
    }
    return FiveByteCommand("PortsCommand", "ports", ports, direction, false);
}

ResultCode AQVEN_Protocol::DepthCommand(std::uint8_t* depths, int direction) {
    if (!depths) return rc::kMissingArgument;
    if (!(settings_.capabilities & cap::kExtended)) {
        if (direction != 1) std::memset(depths, 255, kPortCount);
        return lrc::kNoCapability;
    }
    return FiveByteCommand("DepthCommand", "depth", depths, direction, true);
}

ResultCode AQVEN_Protocol::PositionCommand(bool latitude, double* value, int direction) {
    if (!(settings_.capabilities & cap::kPosition)) return lrc::kNoCapability;
    if (!value) return rc::kMissingArgument;
    const char* op = latitude ? "LatitudeCommand" : "LongitudeCommand";
    const char* key = latitude ? "lat" : "long";
    const char* what = latitude ? "latitude" : "longitude";
    const double limit = latitude ? range::kLatitudeLimit : range::kLongitudeLimit;
    std::uint32_t ms = 0;
    char command[64];
    ResultCode r;
    if (direction == 1) {
        bool fits;
        if (*value == 0) {
            fits = FormatCommand(command, sizeof command, "set -%s \r", key);  // 0 means not set
        } else {
            fits = WithinLimit(*value, limit) && FormatCommand(command, sizeof command, "set -%s %+.5f\r", key, *value);
        }
        if (!fits) return Failed(op, rc::kOutOfRange, 0);
        r = SetCommand(op, command, false, kSettingAnswerSize, &ms);
        if (r > 0) Log(QuorLog::kLevelDetail, "%s set %s to %+.5f (%d ms)", op, what, *value, static_cast<int>(ms));
    } else {
        std::snprintf(command, sizeof command, "get -%s\r", key);
        char answer[kSettingAnswerSize];
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand(command, '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r > 0) {
            double v = 0;
            if (ReadReal(answer, limit, &v)) {
                *value = v;
                Log(QuorLog::kLevelDetail, "%s found device %s %+.5f (%d ms)", op, what, v, static_cast<int>(ms));
                r = rc::kOk;
            } else {
                Log(QuorLog::kLevelDetail, "%s could not find device %s (%d ms)", op, what, static_cast<int>(ms));
                r = HasNumber(answer) ? rc::kUnreadableAnswer : rc::kEmptyPrompt;
            }
        }
    }
    return r < 0 ? Failed(op, r, ms) : r;
}

ResultCode AQVEN_Protocol::LatitudeCommand(double* latitude, int direction) {
    return PositionCommand(true, latitude, direction);
}

ResultCode AQVEN_Protocol::LongitudeCommand(double* longitude, int direction) {
    return PositionCommand(false, longitude, direction);
}

ResultCode AQVEN_Protocol::TraitCommand(std::uint32_t* trait, int direction) {
    if (!trait) return rc::kMissingArgument;
    std::uint32_t ms = 0;
    ResultCode r = rc::kOk;
    if (direction == 1) {
        if (!(*trait & kTraitKnown)) return Failed("TraitCommand", rc::kOutOfRange, 0);
        if (!(settings_.capabilities & cap::kExtended)) return Failed("TraitCommand", lrc::kCannotSet, 0);
        char command[32];
        std::snprintf(command, sizeof command, "set -trait %d\r", static_cast<int>(255 - (*trait & 0xFF)));
        r = SetCommand("TraitCommand", command, false, kSettingAnswerSize, &ms);
        if (r > 0)
            Log(QuorLog::kLevelDetail, "TraitCommand set trait to %d (%d ms)", static_cast<int>(*trait), static_cast<int>(ms));
        return r < 0 ? Failed("TraitCommand", r, ms) : r;
    }
    if (settings_.kind == kKindCorvalink) {
        *trait = kTraitKnown | kTraitRadio;
        Log(QuorLog::kLevelDetail, "TraitCommand: set trait to %d for Corvalink", static_cast<int>(*trait));
        return rc::kOk;
    }
    if (settings_.capabilities & cap::kTraitQuery) {
        char answer[kSettingAnswerSize];
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand("get -trait\r", '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r > 0) {
            std::int32_t v = 0;
            if (ReadInt(answer, range::kTraitByte, &v)) {
                // The logger reports the inverted byte.
                *trait = static_cast<std::uint32_t>(255 - v) | kTraitKnown;
                Log(QuorLog::kLevelDetail, "TraitCommand: found %d (%d ms)", static_cast<int>(*trait), static_cast<int>(ms));
                return rc::kOk;
            }
            r = rc::kUnreadableAnswer;
        }
        return Failed("TraitCommand", r, ms);
    }
    if (!(settings_.capabilities & cap::kRadio)) {
        *trait = kTraitKnown;
        return rc::kOk;
    }
    if (OnRadioLink()) {
        *trait = kTraitKnown | kTraitRadio;
        Log(QuorLog::kLevelDetail, "TraitCommand (emulated): knows %d", static_cast<int>(*trait));
        return rc::kOk;
    }
    std::uint32_t bits = req::kRadioVersion;
    FixedText<8> radioVersion;
    r = MSRadioCommand(nullptr, nullptr, &radioVersion, 0, &bits);
    *trait = (bits & req::kRadioVersion) ? (kTraitKnown | kTraitRadio) : kTraitKnown;
    if (r < 0) return 0;
    Log(QuorLog::kLevelDetail, "TraitCommand (emulated): found %d", static_cast<int>(*trait));
    return rc::kOk;
}

ResultCode AQVEN_Protocol::ADCcalCommand(int range, std::uint8_t* slopes, std::uint8_t* offsets, int direction) {
    if (!slopes || !offsets) return rc::kMissingArgument;
    if (!(settings_.capabilities & cap::kAdcCal)) return lrc::kNoCapability;
    if (range != 1 && range != 2) return rc::kOutOfRange;
    const char* name = range == 1 ? "-adc30" : "-adc15";
    const bool onePair = (settings_.capabilities & cap::kAdcOnePair) != 0;
    std::uint32_t ms = 0;
    ResultCode r;
    std::uint32_t v[kAdcValues] = {};
    char command[96];
    char answer[kAdcAnswerSize];
    std::uint32_t cap = sizeof answer;
    if (direction == 1) {
        for (int i = 0; i < kAdcPairs; ++i) {
            v[2 * i] = slopes[i];
            v[2 * i + 1] = offsets[i];
        }
        if (onePair) {
            v[10] = AdcChecksum(v, 2);
            std::snprintf(command, sizeof command, "set %s %u %u %u\r", name, v[0], v[1], v[10]);
        } else {
            v[10] = AdcChecksum(v, 10);
            std::snprintf(command, sizeof command, "set %s %u %u %u %u %u %u %u %u %u %u %u\r", name, v[0], v[1], v[2],
                          v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10]);
        }
        r = DeviceCommand(command, '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r > 0) {
            if (std::strstr(answer, "OK")) {
                Log(QuorLog::kLevelDetail, "ADCcalCommand set %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)", name, v[0],
                    v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], static_cast<int>(ms));
                r = rc::kOk;
            } else {
                r = rc::kUnreadableAnswer;
            }
        }
    } else {
        std::snprintf(command, sizeof command, "get %s\r", name);
        r = DeviceCommand(command, '>', kSettingTimeoutMs, answer, &cap, &ms);
        if (r > 0) {
            std::int32_t read[kAdcValues] = {};
            int n = ReadIntegers(answer, read, kAdcValues, range::kAdcValue);
            const int expected = onePair ? 3 : kAdcValues;
            if (n != expected) {
                Log(QuorLog::kLevelDetail, "ADCcalCommand only found %d of %d cal %s factors (%d ms)", n, kAdcValues,
                    name, static_cast<int>(ms));
                r = rc::kUnreadableAnswer;
            } else {
                r = rc::kOk;
                const int pairs = onePair ? 1 : kAdcPairs;
                if (onePair) {
                    // One pair: the other four are not part of the calibration.
                    std::memset(slopes, 0, kAdcPairs);
                    std::memset(offsets, 0, kAdcPairs);
                }
                for (int i = 0; i < 2 * pairs; ++i) {
                    std::uint8_t b = ClampToByte(read[i]);
                    if (b == 0 || b == 255) r = lrc::kNoCapability;
                    // Keep the choice of array apart from the subscript: GCC 12 with
                    // -fsanitize=undefined miscompiles "(c ? p : q)[i / 2] = b" (the
                    // checked index is computed in one arm only; the other stores
                    // through a stale register).
                    std::uint8_t* pair = i % 2 ? offsets : slopes;
                    pair[i / 2] = b;
                }
                for (int i = 0; i < kAdcPairs; ++i) {
                    v[2 * i] = slopes[i];
                    v[2 * i + 1] = offsets[i];
                }
                const std::uint32_t checksum = static_cast<std::uint32_t>(read[n - 1]);
                if (AdcChecksum(v, 10) != checksum) r = lrc::kNoCapability;
                Log(QuorLog::kLevelDetail, "ADCcalCommand found (%s) %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)",
                    r > 0 ? "valid" : "not valid", name, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9],
                    checksum, static_cast<int>(ms));
            }
        }
    }
    if (r < 0)
        Log(QuorLog::kLevelFailure, "ADCcalCommand (%s) failed with error %d (%d ms)", name, r, static_cast<int>(ms));
    return r;
}

// --- the loop ---

namespace {
// A re-login during a set identified the logger again into ours ("show" on
// old firmware reads name, wake and rmode too): our record takes the
// caller's values back and keeps only what identifies the firmware.
void KeepIdentification(LoggerSettings& ours, const LoggerSettings& callers) {
    const LoggerSettings identified = ours;
    ours = callers;
    ours.kind = identified.kind;
    ours.familyName = identified.familyName;
    ours.newFirmware = identified.newFirmware;
    ours.versionText = identified.versionText;
    ours.firmwareVersion = identified.firmwareVersion;
    ours.capabilities = identified.capabilities;
}
}  // namespace

ResultCode AQVEN_Protocol::RunNextSetting(LoggerSettings& rec, std::uint32_t& request, std::uint32_t& done,
                                          int direction) {
    const bool get = direction == 0;
    // A get fills our record; a set sends the caller's values, whatever an
    // identification in between has put into ours.
    LoggerSettings& s = get ? settings_ : rec;
    auto one = [&](std::uint32_t bit, ResultCode r) {
        request &= ~bit;
        if (r > 0) done |= bit;
        return r;
    };

    if (request & req::kVersion) {
        if (!get) {
            request &= ~req::kVersion;  // the version is the firmware's own
            return rc::kOk;
        }
        ResultCode r = rc::kOk;
        if (!(s.kind != kKindUnknown && !s.versionText.empty() && s.firmwareVersion > 0)) r = VerCommand(false);
        if (s.newFirmware) return one(req::kVersion, r);
        request &= ~0x217u;
        if (r > 0) done |= 0x215;
        if (r == rc::kNotForThisDevice)
            Log(QuorLog::kLevelDetail, "DeviceSettings: old Lockvault model 007 not supported");
        return r;
    }
    if (get && !s.newFirmware && (request & 0x211)) {
        ResultCode r = ParseShowCommand(nullptr);
        request &= ~0x213u;
        if (r > 0) done |= 0x215;
        return r;
    }
    if (request & req::kName) return one(req::kName, NameCommand(&s.deviceName, direction));
    if (request & req::kDeviceId) return one(req::kDeviceId, DeviceIDCommand(&s.deviceId, direction));
    if (request & req::kReport) return one(req::kReport, ReportCommand(&s.reportMode, direction));
    if (request & req::kDepth) return one(req::kDepth, DepthCommand(s.depths, direction));
    if (request & req::kLatitude) return one(req::kLatitude, LatitudeCommand(&s.latitude, direction));
    if (request & req::kLongitude) return one(req::kLongitude, LongitudeCommand(&s.longitude, direction));
    if (request & req::kTimeZone) return one(req::kTimeZone, TimeZoneCommand(&s.timeZone, direction));
    if (request & req::kSite) return one(req::kSite, SiteCommand(&s.site, direction));
    if (request & req::kSerialNumber) return one(req::kSerialNumber, SNCommand(&s.serialNumber, direction));
    if (request & req::kWake) return one(req::kWake, WakeCommand(&s.wakeInterval, direction));
    if (request & req::kPadc) return one(req::kPadc, PADCCommand(&s.padc, direction));
    if (request & req::kPorts) return one(req::kPorts, PortsCommand(s.ports, direction));
    if (request & req::kTrait) return one(req::kTrait, TraitCommand(&s.trait, direction));
    if (request & req::kRmode) return one(req::kRmode, RmodeCommand(&s.rmode, direction));
    if (request & req::kRadioAll) {
        ResultCode r = lrc::kNoCommandMode;
        const bool mayHaveRadio = !(s.trait & kTraitKnown) || (s.trait & kTraitRadio);
        if (!get || mayHaveRadio) {
            std::uint32_t bits = request;
            r = MSRadioCommand(&s.radioChannel, &s.radioSubchannel, &s.radioVersion, direction, &bits);
            done |= bits & req::kRadioAll;
        }
        request &= ~req::kRadioAll;
        return r;
    }
    if (request & req::kDataParameter) return one(req::kDataParameter, DataParameterCommand(&s.dataParameter, direction));
    if (request & req::kQuorBuild) return one(req::kQuorBuild, QuorBuildCommand(&s.quorBuild, direction));
    if (request & req::kAdc30) return one(req::kAdc30, ADCcalCommand(1, s.adc30Slopes, s.adc30Offsets, direction));
    if (request & req::kAdc15) return one(req::kAdc15, ADCcalCommand(2, s.adc15Slopes, s.adc15Offsets, direction));
    if (request & req::kApn) return one(req::kApn, APNCommand(&s.apn, direction));
    if (request & req::kApnUser) return one(req::kApnUser, APNUserCommand(&s.apnUser, direction));
    if (request & req::kApnPassword) return one(req::kApnPassword, APNPasswdCommand(&s.apnPassword, direction));
    if (request & req::kAuthKey) return one(req::kAuthKey, AuthKeyCommand(&s.authKey, direction));
    if (request & req::kHost) return one(req::kHost, HostCommand(&s.remoteHost, direction));
    if (request & req::kIpPort) return one(req::kIpPort, IPPortCommand(&s.ipPort, direction));
    return rc::kOk;  // bits no command serves: nothing runs, nothing is cleared
}

ResultCode AQVEN_Protocol::DeviceSettings(LoggerSettings* record, std::uint32_t* request, int direction) {
    if (!record || !request) return rc::kMissingArgument;
    if (direction != 0 && direction != 1) return rc::kOutOfRange;
    const bool get = direction == 0;
    const std::uint32_t asked = *request;
    const std::uint32_t n = static_cast<std::uint32_t>(std::popcount(asked));
    std::uint32_t work = asked;
    std::uint32_t done = 0;
    ResultCode result = rc::kOk;
    LoggerSettings values;  // what a set writes: the caller's record

    if (!get) {
        values = *record;
        settings_ = *record;
    } else if (settings_.firmwareVersion > 0) {  // a failed identification leaves -1
        done |= req::kVersion;
        work &= ~req::kVersion;
    } else {
        work |= req::kVersion;
    }
    if (get && (work & req::kRadioAll) && !(settings_.validMask & req::kTrait)) work |= req::kTrait;

    bool first = true;
    ResultCode last = rc::kOk;
    std::uint32_t lastBit = 0;
    std::uint32_t workBefore = 0;
    ResultCode resultBefore = rc::kOk;
    std::uint32_t relogins = 0;
    auto handBack = [&] {
        *request = done;
        if (get) {
            settings_.validMask |= done;
            *record = settings_;
        }
    };
    auto finish = [&](ResultCode r) {
        handBack();
        Progress(n, n, kPhaseEnd);
        return r;
    };

    for (;;) {
        const std::uint32_t remaining = static_cast<std::uint32_t>(std::popcount(work & asked));
        if (!Progress(n, n - remaining, kPhaseProgress)) {
            Log(QuorLog::kLevelDetail, "DeviceSettings canceled by user after getting %d of %d settings",
                static_cast<int>(n - remaining), static_cast<int>(n));
            // What was read so far is the caller's, with the bits of it.
            handBack();
            Progress(n, n - remaining, kPhaseEnd);
            return rc::kCancelled;
        }
        bool retry = false;
        if (!first) {
            if (last == rc::kEchoedCommand || last == rc::kRelayActive || last == rc::kLoggerUninitialized) {
                result = last;
                break;
            }
            if (last < 0) {
                result = rc::kSomeSettingsFailed;
                DSSleep(kFailurePauseMs);
                // A position or site that could not be handled is not known.
                settings_.validMask &= ~(lastBit & (req::kLatitude | req::kLongitude | req::kSite));
            }
            if (last == rc::kNoAnswer) {
                if (relogins >= retryCount_ || OnRadioLink()) {
                    result = rc::kNoAnswer;
                    break;
                }
                ++relogins;
                ResultCode lr = DeviceLogin(&connection_.deviceName, &connection_.baudIndex);
                if (lr > 0) {
                    if (log_) log_->WriteLine(QuorLog::kLevelDetail, "******", "DeviceSettings re-connected to device");
                    if (!get) KeepIdentification(settings_, values);
                    work = workBefore;
                    result = resultBefore;
                    retry = true;
                } else if (lr == rc::kNothingListening) {
                    result = rc::kNoAnswer;
                    break;
                }
            }
        }
        if (!retry) {
            if (work == 0 || (!first && work == workBefore)) break;
            workBefore = work;
            resultBefore = result;
            relogins = 0;
        }
        first = false;
        const std::uint32_t beforeRun = work;
        last = RunNextSetting(values, work, done, direction);
        lastBit = beforeRun & ~work;
        if (last == rc::kNotForThisDevice && !settings_.newFirmware && (lastBit & req::kVersion))
            return finish(rc::kNotForThisDevice);
    }
    if (done == 0 && result == rc::kOk && asked != 0) result = lrc::kNoCapability;
    // A time zone taken from the computer is the one now set.
    if (!get) record->timeZone = settings_.timeZone = values.timeZone;
    return finish(result);
}

}  // namespace quor
