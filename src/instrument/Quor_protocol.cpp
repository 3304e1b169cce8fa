#include "instrument/Quor_protocol.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quor {

namespace {

constexpr std::uint32_t kLoginSettleMs = 1000;   // before the first and after the last attempt
constexpr int kLoginAttempts = 3;
constexpr std::uint32_t kLoginCharPauseMs = 250;  // after each character of the login text
constexpr std::uint32_t kLoginTimeoutMs = 6000;
constexpr std::uint32_t kLoginAnswerSize = 32;
constexpr const char* kLoginEnd = "\r\n\r";

constexpr std::uint32_t kLogoutTimeoutMs = 2000;
constexpr std::uint32_t kLogoutAnswerSize = 32;
constexpr std::uint32_t kDisconnectPauseMs = 100;

constexpr std::uint32_t kBatteryTimeoutMs = 2000;
constexpr std::uint32_t kBatteryAnswerSize = 32;

constexpr int kPostAttempts = 3;
constexpr std::uint32_t kPostTimeoutMs = 7000;
constexpr std::uint32_t kPostAnswerSize = 64;
constexpr std::uint32_t kPostPauseMs = 1000;  // after every attempt that did not settle it

constexpr std::uint32_t kEraseTimeoutMs = 17000;
constexpr std::uint32_t kEraseAnswerSize = 32;

constexpr std::time_t kSecondsFrom1970To2000 = 946684800;
constexpr std::uint32_t kSetTimeTimeoutMs = 20000;
constexpr std::uint32_t kSetTimeAnswerSize = 32;

constexpr int kValueAttempts = 3;
constexpr std::uint32_t kValueAnswerSize = 512;
constexpr std::uint32_t kMaxValueCommandChars = 511;

constexpr int kSendAttempts = 3;
constexpr std::uint32_t kSendTimeoutMs = 7000;
constexpr std::uint32_t kSendAnswerSize = 128;
constexpr std::uint32_t kSendFailurePauseMs = 1000;

bool Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

// A decimal number that fits 32 bits, leading white space skipped; false
// when there is none or it is out of range.
bool ReadInt32(const char* text, std::int32_t* out) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return false;
    *out = static_cast<std::int32_t>(v);
    return true;
}

// A command's text for a log line, without its closing carriage return.
int ShownLength(const char* command) {
    std::size_t n = std::strlen(command);
    while (n > 0 && (command[n - 1] == '\r' || command[n - 1] == '\n')) --n;
    return static_cast<int>(n);
}
}  // namespace

Quor_protocol::Quor_protocol(QuorLog* log)
    : logger_(std::make_unique<AQVEN_Protocol>(log)),
      sdi12_(std::make_unique<QuorSDI12>(log, *logger_)),
      log_(log),
      timeSource_([] { return std::time(nullptr); }) {}

// Members release in reverse order: the records, then the bridge before the
// logger protocol whose port it borrows.
Quor_protocol::~Quor_protocol() = default;

void Quor_protocol::Log(std::uint32_t level, const char* format, ...) const {
    if (!log_) return;
    va_list ap;
    va_start(ap, format);
    log_->WriteLineV(level, kTag, format, ap);
    va_end(ap);
}

void Quor_protocol::AdoptDevice(const DeviceTypeInfo& record) {
    deviceType_ = record.type;
    deviceInfo_ = record;
}

ResultCode Quor_protocol::Command(const char* command, std::uint32_t timeoutMs, char* answer,
                                  std::uint32_t size, std::uint32_t* elapsedMs) {
    std::uint32_t cap = size;
    answer[0] = '\0';
    return logger_->DeviceCommand(command, '>', timeoutMs, answer, &cap, elapsedMs);
}

ResultCode Quor_protocol::DPConnect(const char* portName, std::uint8_t baudIndex,
                                    std::uint32_t serialRetries, DeviceTypeInfo* record) {
    if (!portName || !*portName || !record) return rc::kMissingArgument;
    ProtocolConfig config;
    config.keepPortOpen = false;
    config.serialRetries = serialRetries;
    config.radioRetries = 0;
    config.progressReporting = false;
    config.traceMode = 0;
    config.extraReplyTimeMs = 0;
    ResultCode r = logger_->Configure(&config, 1);
    if (r < 0) {
        Log(QuorLog::kLevelFailure,
            "DPConnect received error %d trying to configure AQVEN_Prototcol", r);
        return r;
    }

    ConnectionParams params;
    params.portName = portName;
    params.linkType = kLinkSerial;
    params.baudIndex = baudIndex;
    params.programRadio = false;
    r = logger_->ConnectDevice(&params);
    LoggerSettings identity;
    if (r >= 0) {
        std::uint32_t request = 0;  // identity only: the version query
        r = logger_->DeviceSettings(&identity, &request, 0);
    }
    if (r >= 0) r = ParseVersionText(identity.versionText.c_str(), record);

    if (r > 0 && !record->updatable) {
        Log(QuorLog::kLevelFailure, "DPConnect this firmware version is not supported");
        return rc::kNotSupported;
    }
    if (r == rc::kNothingListening) {
        Log(QuorLog::kLevelMilestone, "DPConnect couldn't connect.");
        return r;
    }
    if (r == rc::kLoaderConnected || r == rc::kLoaderWaiting) {
        Log(QuorLog::kLevelMilestone, "DPConnect found the QuorBSL listening (%d)", r);
        return r;
    }
    if (r == rc::kUnreadableAnswer || r == rc::kEchoedCommand) {
        Log(QuorLog::kLevelFailure, "DPConnect this device must not be supported");
        return rc::kNotSupported;
    }
    if (r < 0) {
        Log(QuorLog::kLevelFailure, "DPConnect received error %d trying to connect to device", r);
        return r;
    }
    loggerSettings_.newFirmware = 1;
    loggerSettings_.kind = identity.kind;
    loggerSettings_.firmwareVersion = identity.firmwareVersion;
    loggerSettings_.versionText = identity.versionText;
    deviceType_ = record->type;
    deviceInfo_ = *record;
    Log(QuorLog::kLevelMilestone, "DPConnect successfully connected to device");
    return r;
}

ResultCode Quor_protocol::Login() {
    DSSleep(kLoginSettleMs);
    FixedText<15> text;
    text.Format("login *%s", kAccessCode);
    char answer[kLoginAnswerSize] = {};
    std::uint32_t ms = 0;
    bool loggedIn = false;
    for (int attempt = 0; attempt < kLoginAttempts && !loggedIn; ++attempt) {
        logger_->DSPurge(1);
        for (std::size_t i = 0; i < text.size(); ++i) {
            std::uint32_t written = 0;
            logger_->DSWrite(text.c_str() + i, 1, &written);
            DSSleep(kLoginCharPauseMs);
        }
        DSSleep(kLoginCharPauseMs);
        ResultCode r = Command(kLoginEnd, kLoginTimeoutMs, answer, sizeof answer, &ms);
        // Any other answer means the device did not take the code.
        loggedIn = r > 0 && (Contains(answer, "OK") || Contains(answer, kAccessCode));
    }
    ResultCode result = rc::kOk;
    if (!loggedIn) {
        Log(QuorLog::kLevelFailure, "DPConnect couldn't log into the device (%d ms): heard \"%s\"",
            static_cast<int>(ms), answer);
        result = rc::kLoginFailed;
    } else {
        Log(QuorLog::kLevelFailure, "DPConnect successfully logged into the device (%d ms)",
            static_cast<int>(ms));
    }
    DSSleep(kLoginSettleMs);
    return result;
}

ResultCode Quor_protocol::Disconnect(bool sendLogout) {
    if (sendLogout && deviceInfo_.needsLogin) {
        char answer[kLogoutAnswerSize];
        Command("logout\r", kLogoutTimeoutMs, answer, sizeof answer, nullptr);
    }
    ResultCode r = logger_->DisconnectDevice(false);
    DSSleep(kDisconnectPauseMs);
    return r;
}

ResultCode Quor_protocol::DPCheckBattery(std::int32_t* percentage) {
    if (!percentage) return rc::kMissingArgument;
    char answer[kBatteryAnswerSize];
    std::uint32_t ms = 0;
    ResultCode r = Command("get -batt\r", kBatteryTimeoutMs, answer, sizeof answer, &ms);
    if (r <= 0) {
        *percentage = -1;
        return r;
    }
    std::int32_t value = 0;
    if (!ReadInt32(answer, &value)) {
        Log(QuorLog::kLevelFailure, "DPCheckBattery failed to parse battery power (%d ms)",
            static_cast<int>(ms));
        return rc::kUnreadableAnswer;
    }
    *percentage = value;
    Log(QuorLog::kLevelMilestone, "DPCheckBattery: %d%% battery (%d ms)", static_cast<int>(value),
        static_cast<int>(ms));
    return rc::kOk;
}

ResultCode Quor_protocol::DPCheckFirmware(bool postInit) {
    const char* command = postInit ? "post -init\r" : "post\r";
    ResultCode result = rc::kUnreadableAnswer;
    for (int attempt = 0; attempt < kPostAttempts; ++attempt) {
        char answer[kPostAnswerSize];
        ResultCode r = Command(command, kPostTimeoutMs, answer, sizeof answer, nullptr);
        if (r <= 0) {
            result = r;
            Log(QuorLog::kLevelFailure,
                "DPCheckFirmware can't determine firmware code status (error %d)", r);
        } else if (Contains(answer, "Code Good!")) {
            Log(QuorLog::kLevelMilestone, "DPCheckFirmware: Device reports good firmware code!");
            return rc::kOk;
        } else if (Contains(answer, "Code Corrupt!")) {
            Log(QuorLog::kLevelFailure, "DPCheckFirmware: Device reports corrupt firmware code!");
            return -1;
        } else {
            result = rc::kUnreadableAnswer;
            Log(QuorLog::kLevelFailure, "DPCheckFirmware can't determine firmware code status");
        }
        DSSleep(kPostPauseMs);
    }
    return result;
}

ResultCode Quor_protocol::DPEraseData() {
    switch (deviceType_) {
        case DeviceType::kRv7b:
        case DeviceType::kRv70:
        case DeviceType::kCk:
        case DeviceType::kKl3:
        case DeviceType::kZrl:
            return logger_->EraseData();
        case DeviceType::kTq:
        case DeviceType::kLg40:
        case DeviceType::kFg:
        case DeviceType::kDskt:
        case DeviceType::kJq:
        case DeviceType::kDm9:
        case DeviceType::kHsr:
        case DeviceType::kDm9Lsr:
        case DeviceType::kTwi:
            break;
        default:
            return rc::kNotForThisDevice;
    }
    char answer[kEraseAnswerSize];
    std::uint32_t ms = 0;
    ResultCode r = Command("yes\r", kEraseTimeoutMs, answer, sizeof answer, &ms);
    if (r > 0) {
        // A broken data memory is never taken for an erase, whatever else it says.
        r = Contains(answer, "DataFlash FAIL") ? rc::kDataMemoryBroken
            : Contains(answer, "OK")           ? rc::kOk
                                               : rc::kUnreadableAnswer;
    }
    if (r == rc::kOk) {
        Log(QuorLog::kLevelMilestone, "DPEraseData erased device data (%d ms)", static_cast<int>(ms));
    } else if (r == rc::kDataMemoryBroken) {
        Log(QuorLog::kLevelFailure, "DPEraseData failed due to a broken DataFlash (%d ms)",
            static_cast<int>(ms));
    } else {
        Log(QuorLog::kLevelFailure, "DPEraseData failed with error %d (%d ms)", r,
            static_cast<int>(ms));
    }
    return r;
}

ResultCode Quor_protocol::DPSetTime() {
    if (!deviceInfo_.setTime) return rc::kNotForThisDevice;
    const std::uint32_t start = DSMilliseconds();
    std::uint32_t ms = 0;
    ResultCode result;
    long shown = 0;
    switch (deviceType_) {
        case DeviceType::kLg40:
        case DeviceType::kDskt:
        case DeviceType::kDm9:
        case DeviceType::kHsr:
        case DeviceType::kPlothub:
        case DeviceType::kDm9Lsr:
        case DeviceType::kTwi: {
            const std::time_t now = timeSource_ ? timeSource_() : static_cast<std::time_t>(-1);
            if (now == static_cast<std::time_t>(-1)) {
                Log(QuorLog::kLevelFailure, "DPSetTime failed to get system time with error %d", errno);
                return rc::kUnreadableAnswer;
            }
            const long long seconds =
                static_cast<long long>(now) - kSecondsFrom1970To2000 + DSUtcOffset();
            shown = static_cast<long>(seconds);
            char command[48];
            std::snprintf(command, sizeof command, "set -sec %lld\r", seconds);
            char answer[kSetTimeAnswerSize];
            ResultCode r = Command(command, kSetTimeTimeoutMs, answer, sizeof answer, &ms);
            result = r <= 0 ? r : Contains(answer, "OK") ? rc::kOk : rc::kUnreadableAnswer;
            break;
        }
        default: {
            std::int32_t value = 0;  // 0: from the computer's clock
            result = logger_->DeviceTime(&value, 1);
            shown = value;
            ms = DSMilliseconds() - start;
            break;
        }
    }
    if (result > 0) {
        Log(QuorLog::kLevelDetail, "DPSetTime set the time to: %ld", shown);
    } else {
        Log(QuorLog::kLevelDetail, "DPSetTime got error %d (%d ms)", result, static_cast<int>(ms));
    }
    return result;
}

ResultCode Quor_protocol::AskValue(const char* command, std::uint32_t timeoutMs, std::uint32_t* ms,
                                   const ValueJudge& judge) {
    FixedText<kMaxValueCommandChars> text;
    text.Format("%s\r", command);
    ResultCode result = rc::kUnreadableAnswer;
    for (int attempt = 0; attempt < kValueAttempts; ++attempt) {
        char answer[kValueAnswerSize];
        result = Command(text.c_str(), timeoutMs, answer, sizeof answer, ms);
        if (result > 0) result = judge(answer, *ms);
        if (result > 0) return rc::kOk;
    }
    return result;
}

ResultCode Quor_protocol::GetValueString(const char* command, std::uint32_t timeoutMs,
                                         char* destination, std::uint32_t maxLength) {
    if (!command || !destination) return rc::kMissingArgument;
    std::uint32_t ms = 0;
    ResultCode result = AskValue(command, timeoutMs, &ms, [&](const char* answer, std::uint32_t took) {
        if (Contains(answer, "Error")) return rc::kUnreadableAnswer;
        const char* p = answer;
        if (*p == '\r') ++p;
        if (*p == '\n') ++p;
        std::uint32_t n = 0;
        while (n < maxLength && p[n] && p[n] != '\r') {
            destination[n] = p[n];
            ++n;
        }
        destination[n] = '\0';
        if (destination[0] == '>') {
            Log(QuorLog::kLevelMilestone,
                "GetValueString found a leading prompt character executing command \"%s\" (%d ms)",
                command, static_cast<int>(took));
            return rc::kUnreadableAnswer;
        }
        return n == 0 ? rc::kUnreadableAnswer : rc::kOk;
    });
    if (result == rc::kOk) {
        Log(QuorLog::kLevelMilestone, "GetValueString found %s \"%s\" (%d ms)", command, destination,
            static_cast<int>(ms));
        return rc::kOk;
    }
    // Nothing half-read stays behind to be taken for the device's value.
    destination[0] = '\0';
    Log(QuorLog::kLevelMilestone, "GetValueString received error %d executing command \"%s\" (%d ms)",
        result, command, static_cast<int>(ms));
    return result;
}

ResultCode Quor_protocol::GetValueLong(const char* command, std::uint32_t timeoutMs,
                                       std::int32_t* value) {
    if (!command || !value) return rc::kMissingArgument;
    std::uint32_t ms = 0;
    ResultCode result = AskValue(command, timeoutMs, &ms, [&](const char* answer, std::uint32_t) {
        const char* p = std::strchr(answer, '\r');
        p = p ? p + 1 : answer;
        if (*p == '\n') ++p;
        return ReadInt32(p, value) ? rc::kOk : rc::kUnreadableAnswer;
    });
    if (result == rc::kOk) {
        Log(QuorLog::kLevelMilestone, "GetValueLong found %s \"%ld\" (%d ms)", command,
            static_cast<long>(*value), static_cast<int>(ms));
        return rc::kOk;
    }
    Log(QuorLog::kLevelMilestone, "GetValueLong received error %d executing command \"%s\" (%d ms)",
        result, command, static_cast<int>(ms));
    return result;
}

ResultCode Quor_protocol::SendCommand(const char* command) {
    if (!command) return rc::kMissingArgument;
    ResultCode last = rc::kUnreadableAnswer;
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        char answer[kSendAnswerSize];
        std::uint32_t ms = 0;
        last = Command(command, kSendTimeoutMs, answer, sizeof answer, &ms);
        if (last > 0 && Contains(answer, "OK")) return rc::kOk;
        Log(QuorLog::kLevelFailure, "\"%.*s\" failed with error %d (%d ms)", ShownLength(command),
            command, last, static_cast<int>(ms));
        DSSleep(kSendFailurePauseMs);
    }
    // Answered, but never confirmed: the command did not take effect.
    return last > 0 ? rc::kUnreadableAnswer : last;
}

bool Quor_protocol::UsesPvUser() const {
    return deviceType_ == DeviceType::kDm9 || deviceType_ == DeviceType::kDm9Lsr;
}

}  // namespace quor
