// Identification: "get -ver" on current firmware, "show" on old Rv7s.
#include <cstdio>
#include <cstring>

#include "logger/AQVEN_Protocol.h"
#include "logger/ReplyRules.h"

namespace quor {

namespace {
constexpr std::uint32_t kVerRadioTimeoutMs = 800;
constexpr std::uint32_t kVerSerialTimeoutMs = 400;
constexpr std::uint32_t kVerExtraRounds = 3;
constexpr std::uint32_t kVerRetryPauseMs = 400;
constexpr std::uint32_t kVerLoaderPauseMs = 3000;
constexpr int kVerMaxBlankAnswers = 3;
constexpr std::uint32_t kVerAnswerSize = 32;
constexpr std::uint32_t kShowTimeoutMs = 1500;
constexpr std::uint32_t kShowAnswerSize = 180;
constexpr std::int32_t kOldestSupportedShowVersion = 110;

// The text one character after label (the separator skipped), or null.
const char* AfterLabel(const char* text, const char* label) {
    const char* p = std::strstr(text, label);
    if (!p) return nullptr;
    p += std::strlen(label);
    return *p ? p + 1 : p;
}
}  // namespace

void AQVEN_Protocol::SetCapabilities() {
    settings_.capabilities = CapabilitiesFor(settings_.kind, settings_.newFirmware != 0, settings_.firmwareVersion);
}

ResultCode AQVEN_Protocol::VerCommand(bool skipShow) {
    if (settings_.kind == kKindRv7 && !settings_.newFirmware) return ParseShowCommand(nullptr);
    const std::uint32_t start = DSMilliseconds();
    const std::uint32_t timeout = OnRadioLink() ? kVerRadioTimeoutMs : kVerSerialTimeoutMs;
    ResultCode result = rc::kOk;
    int blanks = 0;
    bool rejectedOnce = false;

    for (std::uint32_t round = 0; round < retryCount_ + kVerExtraRounds; ++round) {
        char answer[kVerAnswerSize];
        std::uint32_t cap = sizeof answer;
        std::uint32_t ms = 0;
        ResultCode r = DeviceCommand("get -ver\r", '>', timeout, answer, &cap, &ms);
        if (retryCount_ == 1 && r == rc::kNoAnswer) {
            result = rc::kNoAnswer;
            continue;
        }
        if (answer[0] != '\0' && answer[1] == '>') {
            result = rc::kEchoedCommand;
            continue;
        }
        if (std::strcmp(answer, "\r") == 0 || std::strcmp(answer, ">") == 0) {
            result = rc::kUnreadableAnswer;
            if (++blanks >= kVerMaxBlankAnswers) break;
            round = static_cast<std::uint32_t>(-1);  // the count starts again from 0
            DSSleep(timeout);
            continue;
        }
        if (r > 0 || r == rc::kDeviceError) {
            if (std::strchr(answer, '.')) {
                const char* p = answer;
                while (IsLineEnd(*p)) ++p;
                const char* cr = std::strpbrk(p, "\r\n");
                if (!cr) {
                    // Not the whole line yet; without it nothing is known.
                    result = rc::kUnreadableAnswer;
                    DSSleep(kVerRetryPauseMs);
                    continue;
                }
                settings_.versionText.Assign(std::string_view(p, static_cast<std::size_t>(cr - p)));
                char word[kFamilyWordSize];
                std::int32_t version = 0;
                if (ParseVersionLine(settings_.versionText.c_str(), word, &version)) {
                    settings_.firmwareVersion = version;
                    settings_.newFirmware = 1;
                    settings_.kind = KindFromCode(word);
                    settings_.familyName = FamilyName(settings_.kind);
                    SetCapabilities();
                    Log(QuorLog::kLevelDetail, "VerCommand found \"%s\" ver %d (%d ms)", settings_.versionText.c_str(),
                        static_cast<int>(version), static_cast<int>(Since(start)));
                    result = rc::kOk;
                    break;
                }
                result = rc::kUnreadableAnswer;
                DSSleep(kVerRetryPauseMs);
                continue;
            }
            if (std::strchr(answer, '+')) {
                const char* p = answer;
                while (*p == '\r') ++p;
                if (*p == '+' && std::strlen(p) >= 4) {
                    result = rc::kLoaderConnected;
                    break;
                }
                result = rc::kUnreadableAnswer;
                continue;
            }
            if (std::strchr(answer, '$')) {
                if (result == rc::kLoaderWaiting) break;
                result = rc::kLoaderWaiting;
                DSSleep(kVerLoaderPauseMs);
                continue;
            }
            if (r == rc::kDeviceError) {
                if (!rejectedOnce) {
                    rejectedOnce = true;
                    result = rc::kUnreadableAnswer;
                    DSSleep(kVerRetryPauseMs);
                    continue;
                }
                settings_.newFirmware = 0;
                settings_.kind = kKindRv7;
                settings_.familyName = FamilyName(kKindRv7);
                Log(QuorLog::kLevelDetail, "VerCommand found Rv7 with old firmware (%d ms)", static_cast<int>(Since(start)));
                if (!skipShow) ParseShowCommand(nullptr);
                SetCapabilities();
                result = rc::kOk;
                break;
            }
            result = rc::kUnreadableAnswer;
            Log(QuorLog::kLevelDetail, "VerCommand couldn't decipher \"%s\" (%d ms)", answer, static_cast<int>(Since(start)));
            continue;
        }
        if (r == rc::kNoAnswer) {
            result = rc::kNoAnswer;
            break;
        }
        result = r;
    }
    if (result < 0) {
        Log(QuorLog::kLevelFailure, "VerCommand failed with error %d (%d ms)", result, static_cast<int>(Since(start)));
        settings_.newFirmware = 0;
        settings_.kind = kKindUnknown;
        settings_.versionText.Clear();
        settings_.firmwareVersion = 0;
    }
    return result;
}

ResultCode AQVEN_Protocol::ParseShowCommand(FixedText<8>* nameOut) {
    if (settings_.kind != kKindRv7 || settings_.newFirmware) {
        Log(QuorLog::kLevelFailure, "ParseShowCommand doesn't work with devices running \"new\" firmware.");
        return rc::kOutOfRange;
    }
    const std::uint32_t start = DSMilliseconds();
    char answer[kShowAnswerSize];
    std::uint32_t cap = sizeof answer;
    ResultCode r = DeviceCommand("show\r", '>', kShowTimeoutMs, answer, &cap, nullptr);
    int errors = 0;
    bool labelled = false;  // an answer without any of the labels says nothing
    if (r > 0) {
        char word[9];
        if (const char* p = AfterLabel(answer, "ID:")) {
            labelled = true;
            const bool read = ReadWord(p, word, 8) > 0;  // the name on this line, not the next label
            if (nameOut) {
                if (!read) return rc::kUnreadableAnswer;
                *nameOut = word;
                return rc::kOk;
            }
            if (read) {
                settings_.deviceName = word;
            } else {
                errors |= 1;
            }
        }
        if (const char* p = AfterLabel(answer, "Version:")) {
            labelled = true;
            std::size_t n = std::strcspn(p, "\r\n>");
            settings_.versionText.Assign(std::string_view(p, n));
            std::int32_t version = 0;
            if (ParseVersionNumber(settings_.versionText.c_str(), &version)) {
                settings_.firmwareVersion = version;
                // Only a version actually read can say the model is too old.
                if (settings_.firmwareVersion < kOldestSupportedShowVersion) return rc::kNotForThisDevice;
            } else {
                errors |= 2;
            }
        }
        struct Number {
            const char* label;
            range::IntRange range;
            std::int32_t* into;
            int error;
        };
        const Number numbers[] = {{"Radio:", range::kRmode, &settings_.rmode, 4},
                                  {"Wake:", range::kWake, &settings_.wakeInterval, 8},
                                  {"Resets:", range::kResetCount, &resetCount_, 16}};
        for (const Number& n : numbers) {
            const char* p = AfterLabel(answer, n.label);
            if (!p) continue;
            labelled = true;
            if (!ReadInt(p, n.range, n.into)) errors |= n.error;
        }
    }
    if (r > 0 && !labelled) r = rc::kUnreadableAnswer;
    settings_.serialNumber.Clear();
    if (r < 0 || errors) {
        Log(QuorLog::kLevelFailure, "ParseShowCommand failed with errors %d and %d (%d ms)", r, errors,
            static_cast<int>(Since(start)));
        settings_.deviceName.Clear();
        settings_.versionText.Clear();
        settings_.firmwareVersion = -1;
        settings_.wakeInterval = -1;
        settings_.rmode = 0;
        return rc::kUnreadableAnswer;
    }
    Log(QuorLog::kLevelFailure, "ParseShowCommand found %s:%s:%d:%d:%d (%d ms)", settings_.deviceName.c_str(),
        settings_.versionText.c_str(), static_cast<int>(settings_.rmode), static_cast<int>(settings_.wakeInterval),
        static_cast<int>(resetCount_), static_cast<int>(Since(start)));
    return rc::kOk;
}

}  // namespace quor
