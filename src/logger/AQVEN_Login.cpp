// Opening, logging into and closing a link to a logger.
#include <cstdio>
#include <cstring>

#include "logger/AQVEN_Protocol.h"
#include "logger/ReplyRules.h"

namespace quor {

namespace {
constexpr std::uint32_t kConnectSettlePauseMs = 100;
constexpr std::uint32_t kZt4ProgramRetries = 3;
constexpr std::uint32_t kQueryTimeoutMs = 3000;
constexpr std::uint32_t kQueryAnswerSize = 180;
constexpr std::uint32_t kQuerySettlePauseMs = 2500;
constexpr int kWakePackets = 909;
constexpr std::uint32_t kWakePacketPauseMs = 55;
constexpr int kWakeProgressEvery = 18;
constexpr std::uint32_t kLoginTimeoutMs = 1500;
constexpr std::uint32_t kLoginAnswerSize = 10;
constexpr std::uint32_t kBaudTimeoutMs = 1500;
constexpr std::uint32_t kBaudAnswerSize = 32;
constexpr std::uint32_t kBaudNoAnswerPauseMs = 1500;
constexpr std::uint32_t kBaudSettlePauseMs = 100;
constexpr std::uint32_t kLogoutPauseMs = 100;
constexpr std::uint32_t kLogoutReadSize = 31;
}  // namespace

ResultCode AQVEN_Protocol::ConnectDevice(ConnectionParams* params) {
    if (!params) return rc::kMissingArgument;
    if (!replyBuffer_) return rc::kOutOfMemory;
    settings_ = LoggerSettings{};
    resetCount_ = 0;
    switch (params->linkType) {
        case kLinkNone: return rc::kOutOfRange;
        case kLinkSerial: retryCount_ = config_.serialRetries; break;
        case kLinkRadio: retryCount_ = config_.radioRetries; break;
        case 20: case 40: case 100: case 110: case 120: return rc::kNotForThisDevice;
        default: return rc::kMissingArgument;
    }
    if (params->baudIndex == 0 || params->baudIndex >= kBaudIndexCount) params->baudIndex = kBaudIndex9600;
    if (connection_.linkType == kLinkNone) {
        ResultCode r = DSOpen(params->portName.c_str(), kDefaultBaud);
        if (r < 0) return r;
    }
    connection_ = *params;
    DSSleep(kConnectSettlePauseMs);

    if (connection_.linkType == kLinkRadio && connection_.programRadio) {
        retryCount_ = kZt4ProgramRetries;
        std::uint32_t bits = req::kRadioChannel | req::kRadioSubchannel;
        ResultCode r = Zt4Config(&connection_.radioChannel, &connection_.radioSubchannel, nullptr, 1, &bits);
        if (r != rc::kOk) {
            if (!config_.keepPortOpen) {
                connection_.linkType = kLinkNone;
                DSClose();
            }
            return lrc::kNoCommandMode;
        }
        retryCount_ = config_.radioRetries;
    }
    ResultCode r = DeviceLogin(&params->deviceName, &params->baudIndex);
    // The link keeps what the login learnt (a queried name, the rate in use).
    connection_.deviceName = params->deviceName;
    connection_.baudIndex = params->baudIndex;
    if (r < 0 && !config_.keepPortOpen) {
        DSClose();
        connection_.linkType = kLinkNone;
    }
    return r;
}

ResultCode AQVEN_Protocol::DeviceLogin(FixedText<8>* name, std::uint8_t* baudIndex) {
    if (!name || !baudIndex) return rc::kMissingArgument;
    if (BaudRate() != kDefaultBaud) {
        ResultCode e = DSHostBaud(kDefaultBaud);
        if (e < 0) {
            Log(QuorLog::kLevelDetail, "DeviceLogin: host reports it can't change baud (error %d)", e);
            return rc::kNothingListening;
        }
    }

    if (OnRadioLink()) {
        bool mayWake = true;
        ResultCode result = rc::kOk;
        for (;;) {
            bool tryLogin = true;
            if (name->empty()) {
                char heard[9] = {};
                ResultCode r = QueryCommand(heard, 1);
                if (r > 0) {
                    *name = heard;
                } else if (r == rc::kNoAnswer || r == rc::kNoAnswerLastAttempt) {
                    result = r;
                    tryLogin = false;
                } else if (r == rc::kCancelled) {
                    return rc::kCancelled;
                } else {
                    result = r;
                    break;
                }
            }
            if (tryLogin) {
                ResultCode r = LoginCommand(name->c_str());
                if (r > 0) {
                    settings_.deviceName = name->c_str();
                    result = rc::kOk;
                    break;
                }
                result = r;
                if (r != rc::kNoAnswer) break;
            }
            if (!mayWake) break;
            mayWake = false;
            if (SendWake() == rc::kCancelled) return rc::kCancelled;
        }
        if (result == rc::kNoAnswerLastAttempt || result == rc::kNoAnswer) {
            Log(QuorLog::kLevelDetail, "DeviceLogin: nothing is listening over the radio");
            return rc::kNothingListening;
        }
        if (result == rc::kEchoedCommand) {
            Log(QuorLog::kLevelFailure, "DeviceLogin thinks a relay must be active");
            return rc::kRelayActive;
        }
        if (result < 0) {
            Log(QuorLog::kLevelDetail, "DeviceLogin failed with error %d", result);
            return result;
        }
        if (settings_.deviceName.empty()) {
            Log(QuorLog::kLevelDetail, "DeviceLogin: nothing is listening over the radio");
            return rc::kNothingListening;
        }
        *baudIndex = kBaudIndex9600;
        Log(QuorLog::kLevelDetail, "DeviceLogin communicating with a device running %s at %d baud",
            settings_.versionText.c_str(), static_cast<int>(BaudRate()));
        return rc::kOk;
    }

    ResultCode r = VerCommand(true);
    if (r == rc::kNoAnswer) {
        Log(QuorLog::kLevelDetail, "DeviceLogin: nothing is listening over the serial port");
        return rc::kNothingListening;
    }
    if (r < 0) {
        Log(QuorLog::kLevelDetail, "DeviceLogin failed with error %d", r);
        return r;
    }
    if (settings_.capabilities & cap::kBaudChange) {
        if (*baudIndex == 0 || *baudIndex >= kBaudIndexCount) *baudIndex = kBaudIndex9600;
        const std::uint32_t rate = kBaudRates[*baudIndex];
        if (rate == BaudRate()) {
            *baudIndex = kBaudIndex9600;
        } else {
            ResultCode b = SetBaudCommand(rate);
            if (b <= 0) {
                Log(QuorLog::kLevelDetail, "DeviceLogin: device didn't change baud rate (error %d)", b);
                *baudIndex = kBaudIndex9600;
            } else {
                ResultCode e = DSHostBaud(rate);
                if (e < 0) {
                    Log(QuorLog::kLevelFailure, "DeviceLogin: host reports it can't change baud (error %d)", e);
                    return rc::kNothingListening;
                }
            }
        }
    } else {
        *baudIndex = kBaudIndex9600;
    }
    Log(QuorLog::kLevelDetail, "DeviceLogin communicating with a device running %s at %d baud",
        settings_.versionText.c_str(), static_cast<int>(BaudRate()));
    return rc::kOk;
}

ResultCode AQVEN_Protocol::QueryCommand(char* buffer, std::uint32_t mode) {
    if (mode == 0 || !buffer) return rc::kMissingArgument;
    const std::uint32_t n = retryCount_;
    retryCount_ = 1;
    ResultCode result = rc::kNoAnswer;
    std::uint32_t ms = 0;
    for (std::uint32_t attempt = 1; attempt <= n; ++attempt) {
        if (!Progress(n, attempt, kPhaseQueryTry)) {
            result = rc::kCancelled;
            break;
        }
        if (mode == 1) {
            char answer[kQueryAnswerSize];
            std::uint32_t cap = sizeof answer;
            result = DeviceCommand("\rquery\r", '\r', kQueryTimeoutMs, answer, &cap, &ms);
            if (result > 0) {
                const char* heard = answer;
                while (IsLineEnd(*heard)) ++heard;
                std::size_t len = 0;
                while (len < 8 && heard[len] && !IsLineEnd(heard[len])) ++len;
                std::memcpy(buffer, heard, len);
                buffer[len] = '\0';
                if (CheckDeviceName(buffer) > 0) break;
                // A name no logger may carry is no answer we can use.
                buffer[0] = '\0';
                result = rc::kUnreadableAnswer;
            }
        } else {
            std::uint32_t cap = mode;
            result = DeviceCommand("\rquery\r", '>', kQueryTimeoutMs, buffer, &cap, &ms);
            if (result > 0) break;
        }
        if (result == rc::kEchoedCommand) break;
    }
    retryCount_ = n;

    if (result > 0) {
        Log(QuorLog::kLevelDetail, "QueryCommand heard from: %s (%d ms)", buffer, static_cast<int>(ms));
        DSSleep(kQuerySettlePauseMs);
        return rc::kOk;
    }
    switch (result) {
        case rc::kCancelled:
            Log(QuorLog::kLevelDetail, "QueryCommand canceled by user");
            return rc::kCancelled;
        case rc::kEchoedCommand:
            Log(QuorLog::kLevelFailure, "QueryCommand is hearing \"query\" -- a relay must be active (%d ms)",
                static_cast<int>(ms));
            return rc::kRelayActive;
        case rc::kNoAnswer:
            Log(QuorLog::kLevelDetail, "QueryCommand didn't get any answers after %d tries (%d ms)",
                static_cast<int>(n), static_cast<int>(ms));
            return rc::kNoAnswerLastAttempt;
        default:
            Log(QuorLog::kLevelFailure, "QueryCommand failed with error %d (%d ms)", result, static_cast<int>(ms));
            return result;
    }
}

ResultCode AQVEN_Protocol::SendWake() {
    TraceSent("\r<Sending Query Mode wake sequence...>\r");
    bool tooSlow = false;
    for (int packet = 0; packet < kWakePackets; ++packet) {
        std::uint32_t pause = kWakePacketPauseMs;
        if (config_.progressReporting && !tooSlow && packet % kWakeProgressEvery == 0) {
            const std::uint32_t before = DSMilliseconds();
            if (!Progress(kWakePackets, static_cast<std::uint32_t>(packet), kPhaseProgress)) {
                Log(QuorLog::kLevelDetail, "SendWake canceled by user after sending %d of %d packets", packet,
                    kWakePackets);
                return rc::kCancelled;
            }
            const std::uint32_t spent = Since(before);
            if (spent >= kWakePacketPauseMs) {
                tooSlow = true;
                pause = 0;
            } else {
                pause -= spent;
            }
        }
        std::uint32_t written = 0;
        DSWrite("\r", 1, &written);
        if (pause) DSSleep(pause);
    }
    if (tooSlow) Log(QuorLog::kLevelDetail, "SendWake executing too slow to send status (PIG status)!");
    Log(QuorLog::kLevelDetail, "SendWake sent %d packets", kWakePackets);
    Progress(kWakePackets, kWakePackets, kPhaseEnd);
    return rc::kOk;
}

ResultCode AQVEN_Protocol::LoginCommand(const char* name) {
    const std::size_t len = name ? std::strlen(name) : 0;
    if (len > 8) {
        Log(QuorLog::kLevelFailure, "LoginCommand: Device name %s is wrong length (%d characters)", name,
            static_cast<int>(len));
        return lrc::kNameTooLong;
    }
    // A line end inside the name would send a second command.
    if (name && !IsSendableText(name)) return rc::kOutOfRange;
    char command[24];
    if (len == 0) {
        std::snprintf(command, sizeof command, "login\r");
    } else {
        std::snprintf(command, sizeof command, "login %s\r", name);
    }
    char answer[kLoginAnswerSize];
    std::uint32_t cap = sizeof answer;
    ResultCode r = DeviceCommand(command, '>', kLoginTimeoutMs, answer, &cap, nullptr);
    if (r > 0) return std::strchr(answer, '>') ? rc::kOk : rc::kUnreadableAnswer;
    if (r == rc::kEmptyPrompt) return rc::kOk;
    return r;
}

ResultCode AQVEN_Protocol::SetBaudCommand(std::uint32_t rate) {
    if (!settings_.newFirmware) {
        Log(QuorLog::kLevelDetail, "SetBaudCommand: device (%s) can't change baud rate", settings_.deviceName.c_str());
        return lrc::kNoCapability;
    }
    const std::uint32_t start = DSMilliseconds();
    const int code = BaudCodeFor(rate);
    if (code < 0) {
        // Sending another rate's code would leave the two ends at different
        // rates: the link stays at 9600 and nothing is sent.
        Log(QuorLog::kLevelDetail, "SetBaudCommand: unsupported baud rate %d, using 9600", static_cast<int>(rate));
        Log(QuorLog::kLevelFailure, "SetBaudCommand failed with error %d (%d ms)", rc::kOutOfRange, 0);
        return rc::kOutOfRange;
    }
    char command[24];
    std::snprintf(command, sizeof command, "set -baud %d\r", code);
    ResultCode result = rc::kNoAnswer;
    for (std::uint32_t attempt = 0; attempt < retryCount_; ++attempt) {
        char answer[kBaudAnswerSize];
        std::uint32_t cap = sizeof answer;
        ResultCode r = DeviceCommand(command, 'K', kBaudTimeoutMs, answer, &cap, nullptr);
        if (r == rc::kNoAnswer) {
            if (rate == kDefaultBaud) {
                result = rc::kOk;  // the device is taken to be back at 9600 already
                break;
            }
            result = rc::kNoAnswer;
            // The pause gives the logger time before another attempt only.
            if (BaudRate() == kDefaultBaud && attempt + 1 < retryCount_) DSSleep(kBaudNoAnswerPauseMs);
            continue;
        }
        if (r < 0) {
            result = r;
            continue;
        }
        if (std::strstr(answer, "OK")) {
            Log(QuorLog::kLevelDetail, "SetBaudCommand set device baud rate to %d (%d ms)", static_cast<int>(rate),
                static_cast<int>(Since(start)));
            result = rc::kOk;
            break;
        }
        if (!HasPromptLine(answer)) {
            Log(QuorLog::kLevelDetail, "SetBaudCommand failed: heard: %s (%d ms)", answer, static_cast<int>(Since(start)));
            result = rc::kUnreadableAnswer;
            break;
        }
        result = rc::kUnreadableAnswer;
        Log(QuorLog::kLevelDetail, "SetBaudCommand failed (heard prompt): trying again (%d ms)",
            static_cast<int>(Since(start)));
    }
    if (result < 0)
        Log(QuorLog::kLevelFailure, "SetBaudCommand failed with error %d (%d ms)", result, static_cast<int>(Since(start)));
    DSSleep(kBaudSettlePauseMs);
    return result;
}

ResultCode AQVEN_Protocol::DisconnectDevice(bool skipLogout) {
    if (connection_.linkType == kLinkNone) return 0;
    // Without a logout there is nothing that could fail to end.
    ResultCode result = skipLogout ? rc::kOk : rc::kNoAnswerLastAttempt;
    if (connection_.linkType == kLinkSerial) {
        if (BaudRate() != kDefaultBaud) SetBaudCommand(kDefaultBaud);
        result = rc::kOk;
    } else {
        for (std::uint32_t round = 0; round < retryCount_ && !skipLogout; ++round) {
            DSPurge(1);
            if (replyBuffer_) replyBuffer_[0] = '\0';
            WriteRaw("logout\r");
            DSSleep(kLogoutPauseMs);
            char login[24];
            std::snprintf(login, sizeof login, "login %s\r", settings_.deviceName.c_str());
            WriteRaw(login);
            char back[kLogoutReadSize + 1];
            std::uint32_t count = 0;
            DSRead(back, kLogoutReadSize, &count);
            if (count == 0) {
                result = rc::kOk;
                break;
            }
            back[count] = '\0';
            TraceReceived(back);
            Log(QuorLog::kLevelDetail, "DisconnectDevice: Device didn't disconnect, retrying");
        }
    }
    settings_ = LoggerSettings{};
    resetCount_ = 0;
    if (config_.keepPortOpen) {
        ResultCode e = DSHostBaud(kDefaultBaud);
        if (e < 0) {
            DSClose();
            connection_.linkType = kLinkNone;
            Log(QuorLog::kLevelFailure,
                "DisconnectDevice: Error setting host baud rate; can't keep port open (error %d)", e);
        }
    } else {
        DSClose();
        connection_.linkType = kLinkNone;
    }
    if (result > 0) Log(QuorLog::kLevelDetail, "DisconnectDevice successful");
    return result;
}

}  // namespace quor
