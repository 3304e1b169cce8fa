// Radio values: through the logger's own commands, or through the AT
// command dialogue of a Zt4 radio module.
#include <cstdio>
#include <cstring>

#include "logger/AQVEN_Protocol.h"
#include "logger/ReplyRules.h"

namespace quor {

namespace {
constexpr int kCommandModeTries = 2;
constexpr std::uint32_t kAtTimeoutMs = 1500;
constexpr std::uint32_t kAtSaveTimeoutMs = 2000;
constexpr std::uint32_t kAtAnswerSize = 32;
constexpr std::uint32_t kZt4SettlePauseMs = 100;
constexpr std::uint32_t kTermPauseMs = 500;
constexpr std::uint32_t kTermTimeoutMs = 1500;
constexpr std::uint32_t kRadioCommandTimeoutMs = 2000;
bool Contains(const char* text, const char* what) { return std::strstr(text, what) != nullptr; }
}  // namespace

ResultCode AQVEN_Protocol::Zt4Config(std::int32_t* channel, std::int32_t* subchannel, FixedText<8>* radioVersion,
                                     int direction, std::uint32_t* request) {
    const std::uint32_t start = DSMilliseconds();
    const std::uint32_t wanted = request ? *request : 0;
    std::uint32_t handled = 0;
    char answer[kAtAnswerSize];
    std::uint32_t cap = 0;

    // A value the module cannot hold is never sent, and so never half set.
    if (direction == 1 && (((wanted & req::kRadioChannel) && channel && !range::kRadioChannel.Holds(*channel)) ||
                           ((wanted & req::kRadioSubchannel) && subchannel &&
                            !range::kRadioSubchannel.Holds(*subchannel)))) {
        Log(QuorLog::kLevelFailure, "Zt4Config failed with error %d and %d (%d ms)", rc::kOutOfRange, 0,
            static_cast<int>(Since(start)));
        if (request) *request = 0;
        return rc::kOutOfRange;
    }
    ResultCode entry = lrc::kNoCommandMode;
    bool inCommandMode = false;
    for (int i = 0; i < kCommandModeTries && !inCommandMode; ++i) {
        cap = sizeof answer;
        ResultCode r = DeviceCommand("+++", 'K', kAtTimeoutMs, answer, &cap, nullptr);
        if (r > 0 && Contains(answer, "OK")) {
            inCommandMode = true;
        } else {
            entry = r > 0 ? lrc::kNoCommandMode : r;
        }
    }
    if (!inCommandMode) {
        Log(QuorLog::kLevelFailure, "Zt4Config failed to get into AT command mode: %d (%d ms)", entry,
            static_cast<int>(Since(start)));
        if (request) *request = 0;
        return lrc::kNoCommandMode;
    }

    int e = 0;
    ResultCode result = rc::kOk;
    char command[32];
    if (direction == 1) {
        if ((wanted & req::kRadioChannel) && channel) {
            std::snprintf(command, sizeof command, "ATHP%X\r", static_cast<unsigned>(*channel));
            cap = sizeof answer;
            ResultCode r = DeviceCommand(command, 'K', kAtTimeoutMs, answer, &cap, nullptr);
            if (r > 0 && Contains(answer, "OK")) {
                Log(QuorLog::kLevelDetail, "Zt4Config set rch to %d (%d ms)", static_cast<int>(*channel),
                    static_cast<int>(Since(start)));
                handled |= req::kRadioChannel;
            } else {
                if (r < 0) result = r;
                e += 1;
            }
        }
        if ((wanted & req::kRadioSubchannel) && subchannel) {
            std::snprintf(command, sizeof command, "ATDT%X\r", static_cast<unsigned>(*subchannel));
            cap = sizeof answer;
            ResultCode r = DeviceCommand(command, 'K', kAtTimeoutMs, answer, &cap, nullptr);
            if (r > 0 && Contains(answer, "OK")) {
                Log(QuorLog::kLevelDetail, "Zt4Config set rsch to %d (%d ms)", static_cast<int>(*subchannel),
                    static_cast<int>(Since(start)));
                handled |= req::kRadioSubchannel;
            } else {
                if (r < 0) result = r;
                e += 2;
            }
        }
        cap = sizeof answer;
        ResultCode r = DeviceCommand("ATWR\r", 'K', kAtSaveTimeoutMs, answer, &cap, nullptr);
        if (r > 0 && Contains(answer, "OK")) {
            Log(QuorLog::kLevelDetail, "Zt4Config saved configuration (%d ms)", static_cast<int>(Since(start)));
            // A good save does not undo a refused channel or subchannel.
            if (result > 0) result = rc::kOk;
        } else {
            if (r < 0) result = r;
            e += 8;
        }
    } else {
        std::int32_t value = 0;
        if ((wanted & req::kRadioChannel) && channel) {
            cap = sizeof answer;
            ResultCode r = DeviceCommand("ATHP\r", '\r', kAtTimeoutMs, answer, &cap, nullptr);
            if (r < 0) {
                e += 1;
            } else if (ReadHex(answer, range::kRadioChannel, &value)) {
                *channel = value;
                handled |= req::kRadioChannel;
                Log(QuorLog::kLevelDetail, "Zt4Config found rch %d (%d ms)", static_cast<int>(*channel),
                    static_cast<int>(Since(start)));
            } else {
                Log(QuorLog::kLevelDetail, "Zt4Config could not find rch (%d ms)", static_cast<int>(Since(start)));
                e += 1;
            }
        }
        if ((wanted & req::kRadioSubchannel) && subchannel) {
            cap = sizeof answer;
            ResultCode r = DeviceCommand("ATDT\r", '\r', kAtTimeoutMs, answer, &cap, nullptr);
            if (r < 0) {
                e += 2;
            } else if (ReadHex(answer, range::kRadioSubchannel, &value)) {
                *subchannel = value;
                handled |= req::kRadioSubchannel;
                Log(QuorLog::kLevelDetail, "Zt4Config found rsch %d (%d ms)", static_cast<int>(*subchannel),
                    static_cast<int>(Since(start)));
            } else {
                Log(QuorLog::kLevelDetail, "Zt4Config could not find rsch (%d ms)", static_cast<int>(Since(start)));
                e += 2;
            }
        }
        if ((wanted & req::kRadioVersion) && radioVersion) {
            cap = sizeof answer;
            ResultCode r = DeviceCommand("ATVR\r", '\r', kAtTimeoutMs, answer, &cap, nullptr);
            char word[9];
            if (r < 0) {
                e += 4;
            } else if (std::sscanf(answer, "%8s", word) == 1) {
                *radioVersion = word;
                handled |= req::kRadioVersion;
                Log(QuorLog::kLevelDetail, "Zt4Config found rver %s (%d ms)", word, static_cast<int>(Since(start)));
            } else {
                Log(QuorLog::kLevelDetail, "Zt4Config could not find rver (%d ms)", static_cast<int>(Since(start)));
                e += 4;
            }
        }
    }

    cap = sizeof answer;
    ResultCode r = DeviceCommand("ATCN\r", 'K', kAtTimeoutMs, answer, &cap, nullptr);
    if (r < 0 || !Contains(answer, "OK")) {
        if (r >= 0) r = -1;
        Log(QuorLog::kLevelFailure, "Zt4Config failed to get out of AT command mode: %d (%d ms)", r,
            static_cast<int>(Since(start)));
        // The module may still be in command mode: nothing counts as done.
        if (request) *request = 0;
        return r;
    }
    if (result < 0 || e != 0) {
        if (handled) {
            result = rc::kSomeSettingsFailed;
        } else if (result > 0 && direction == 1) {
            result = rc::kUnreadableAnswer;  // refused without an error word: still not set
        }
        Log(QuorLog::kLevelFailure, "Zt4Config failed with error %d and %d (%d ms)", result, e,
            static_cast<int>(Since(start)));
    }
    if (request) *request = handled;
    DSSleep(kZt4SettlePauseMs);
    return result;
}

ResultCode AQVEN_Protocol::MSRadioCommand(std::int32_t* channel, std::int32_t* subchannel, FixedText<8>* radioVersion,
                                          int direction, std::uint32_t* request) {
    if (!request) return rc::kMissingArgument;
    if (!(settings_.capabilities & cap::kRadio)) {
        *request = 0;
        return lrc::kNoCapability;
    }
    const std::uint32_t start = DSMilliseconds();
    const std::uint32_t wanted = *request;

    if (OnRadioLink()) {
        if (direction == 1) {
            *request = 0;
            Log(QuorLog::kLevelDetail, "MSRadioCommand can't set radio parameters while connected over the radio");
            return lrc::kCannotSet;
        }
        if (connection_.programRadio) {
            std::uint32_t known = 0;
            if (channel) {
                *channel = connection_.radioChannel;
                known |= req::kRadioChannel;
            }
            if (subchannel) {
                *subchannel = connection_.radioSubchannel;
                known |= req::kRadioSubchannel;
            }
            if (radioVersion) radioVersion->Clear();
            *request = known;
            Log(QuorLog::kLevelDetail, "MSRadioCommand knows the RCH is %d and RSCH is %d (can't get RVER)",
                static_cast<int>(connection_.radioChannel), static_cast<int>(connection_.radioSubchannel));
            return rc::kOk;
        }
        std::uint32_t bits = req::kRadioChannel | req::kRadioSubchannel;
        ResultCode r = Zt4Config(channel, subchannel, radioVersion, 0, &bits);
        if (radioVersion) radioVersion->Clear();
        Log(QuorLog::kLevelDetail, "MSRadioCommand asked the Zt4 and found the RCH is %d and RSCH is %d (can't get RVER)",
            channel ? static_cast<int>(*channel) : 0, subchannel ? static_cast<int>(*subchannel) : 0);
        *request = bits;
        return r;
    }

    if (!settings_.newFirmware) {
        if (settings_.kind != kKindRv7) {
            *request = 0;  // nothing was asked, so nothing is handled
            return rc::kNoAnswer;
        }
        WriteRaw("term\r");
        DSSleep(kTermPauseMs);
        ResultCode r = Zt4Config(channel, subchannel, radioVersion, direction, request);
        DSSleep(kTermPauseMs);
        DeviceCommand("term\r", '>', kTermTimeoutMs, nullptr, nullptr, nullptr);
        return r;
    }

    std::uint32_t handled = 0;
    std::uint32_t failed = 0;
    ResultCode result = rc::kOk;
    char answer[kAtAnswerSize];
    char command[32];
    auto ask = [&](const char* text, ResultCode& r) {
        std::uint32_t cap = sizeof answer;
        r = DeviceCommand(text, '>', kRadioCommandTimeoutMs, answer, &cap, nullptr);
    };

    if (direction == 1) {
        const char* expected = settings_.kind == kKindRv7 ? "OK\r\rOK" : "OK";
        struct Item { std::uint32_t bit; std::int32_t* value; range::IntRange range; const char* name; };
        const Item items[] = {{req::kRadioChannel, channel, range::kRadioChannel, "rch"},
                              {req::kRadioSubchannel, subchannel, range::kRadioSubchannel, "rsch"}};
        for (const Item& item : items) {
            if (!(wanted & item.bit) || !item.value) continue;
            if (!item.range.Holds(*item.value)) {
                result = rc::kOutOfRange;  // never sent
                failed |= item.bit;
                continue;
            }
            std::snprintf(command, sizeof command, "set -%s %X\r", item.name, static_cast<unsigned>(*item.value));
            for (std::uint32_t t = 0; t < retryCount_; ++t) {
                ResultCode r = 0;
                ask(command, r);
                if (r > 0 && Contains(answer, "No Radio")) {
                    result = lrc::kNoRadio;
                    failed |= item.bit;
                    break;
                }
                if (r > 0 && Contains(answer, expected)) {
                    Log(QuorLog::kLevelDetail, "MSRadioCommand set %s to %d (%d ms)", item.name,
                        static_cast<int>(*item.value), static_cast<int>(Since(start)));
                    handled |= item.bit;
                    failed &= ~item.bit;
                    break;
                }
                if (r < 0) result = r;
                failed |= item.bit;
            }
        }
    } else {
        if ((wanted & req::kRadioVersion) && radioVersion) {
            for (std::uint32_t t = 0; t < retryCount_; ++t) {
                ResultCode r = 0;
                ask("get -rver\r", r);
                if (r == rc::kEmptyPrompt) {
                    result = 0;
                    continue;
                }
                if (r < 0) {
                    failed |= req::kRadioVersion;
                    result = r;
                    continue;
                }
                if (Contains(answer, "No Radio")) {
                    result = lrc::kNoRadio;
                    failed |= req::kRadioVersion;
                    break;
                }
                char word[9];
                if (std::sscanf(RadioValueStart(answer), "%8s", word) != 1) {
                    failed |= req::kRadioVersion;
                    continue;
                }
                if (word[0] == '0' && word[1] == '0') {
                    result = lrc::kNoRadio;
                    failed |= req::kRadioVersion;
                    radioVersion->Clear();
                    break;
                }
                if (IsHexDigits(word, 4)) {
                    *radioVersion = word;
                    Log(QuorLog::kLevelDetail, "MSRadioCommand found rver %s (%d ms)", word, static_cast<int>(Since(start)));
                    handled |= req::kRadioVersion;
                    failed &= ~req::kRadioVersion;
                    break;
                }
                failed |= req::kRadioVersion;
            }
            if (failed & req::kRadioVersion)
                Log(QuorLog::kLevelDetail, "MSRadioCommand could not find rver (%d ms)", static_cast<int>(Since(start)));
        }
        struct Item { std::uint32_t bit; std::int32_t* value; range::IntRange range; const char* name; };
        const Item items[] = {{req::kRadioChannel, channel, range::kRadioChannel, "rch"},
                              {req::kRadioSubchannel, subchannel, range::kRadioSubchannel, "rsch"}};
        for (const Item& item : items) {
            if (!(wanted & item.bit) || !item.value || result == lrc::kNoRadio) continue;
            std::snprintf(command, sizeof command, "get -%s\r", item.name);
            for (std::uint32_t t = 0; t < retryCount_; ++t) {
                ResultCode r = 0;
                ask(command, r);
                if (r == rc::kEmptyPrompt) {
                    result = 0;
                    failed |= item.bit;
                    continue;
                }
                if (r < 0) {
                    failed |= item.bit;
                    result = r;
                    continue;
                }
                if (Contains(answer, "No Radio")) {
                    result = lrc::kNoRadio;
                    failed |= item.bit;
                    break;
                }
                std::int32_t value = 0;
                const char* text = RadioValueStart(answer);
                if (!ReadHex(text, range::IntRange{0, range::kInt32Max}, &value)) {
                    failed |= item.bit;
                    continue;
                }
                if (item.range.Holds(value)) {
                    *item.value = value;
                    handled |= item.bit;
                    failed &= ~item.bit;
                    Log(QuorLog::kLevelDetail, "MSRadioCommand found %s %d (%d ms)", item.name, static_cast<int>(value),
                        static_cast<int>(Since(start)));
                    break;
                }
                failed |= item.bit;  // out of range: not stored, asked again
            }
            if (failed & item.bit)
                Log(QuorLog::kLevelDetail, "MSRadioCommand could not find %s (%d ms)", item.name,
                    static_cast<int>(Since(start)));
        }
    }

    if ((result != 0 && result != lrc::kNoRadio) || handled) {
        if (result < 0 || failed) {
            if (handled) result = rc::kSomeSettingsFailed;
            // Every value asked for failed without a command error (answers
            // out of range or unreadable): that is no success.
            if (!handled && result > 0) result = rc::kUnreadableAnswer;
            Log(QuorLog::kLevelFailure, "MSRadioCommand failed with error %d setting %d (%d ms)", result,
                static_cast<int>(failed), static_cast<int>(Since(start)));
        }
    } else {
        Log(QuorLog::kLevelDetail, "MSRadioCommand couldn't find a radio (%d ms)", static_cast<int>(Since(start)));
    }
    *request = handled;
    return result;
}

}  // namespace quor
