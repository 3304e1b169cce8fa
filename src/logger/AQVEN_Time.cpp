// The logger's clock, and the guarded erase of its stored data.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "logger/AQVEN_Protocol.h"
#include "logger/ReplyRules.h"

namespace quor {

namespace {
constexpr std::time_t kSecondsFrom1970To2000 = 946684800;
constexpr std::uint32_t kTimeSetTimeoutMs = 1500;
constexpr std::uint32_t kTimeGetTimeoutMs = 3000;
constexpr std::uint32_t kTimeAnswerSize = 48;
constexpr std::uint32_t kEraseTimeoutMs = 17000;
constexpr std::uint32_t kEraseAnswerSize = 32;
}  // namespace

ResultCode AQVEN_Protocol::DeviceTime(std::int32_t* quorSeconds, int direction) {
    if (!(settings_.capabilities & cap::kClock)) {
        if (quorSeconds) *quorSeconds = -1;
        return lrc::kNoCapability;
    }
    const std::uint32_t start = DSMilliseconds();
    const bool countsSeconds = (settings_.capabilities & cap::kQuorSeconds) != 0;
    char answer[kTimeAnswerSize];
    std::uint32_t cap = sizeof answer;
    std::uint32_t ms = 0;
    ResultCode result = rc::kOk;

    if (direction == 1) {
        std::int64_t seconds = 0;
        std::tm fields{};
        if (quorSeconds && *quorSeconds != 0) {
            // Before 2000 is no time a logger's clock can hold.
            if (!range::kQuorSeconds.Holds(*quorSeconds)) {
                Log(QuorLog::kLevelFailure, "DeviceTime failed with error %d (%d ms)", rc::kOutOfRange, 0);
                return rc::kOutOfRange;
            }
            seconds = *quorSeconds;
            std::time_t t = static_cast<std::time_t>(seconds) + kSecondsFrom1970To2000;
            gmtime_r(&t, &fields);
        } else {
            std::time_t now = std::time(nullptr);
            if (now == static_cast<std::time_t>(-1)) {
                Log(QuorLog::kLevelFailure, "DeviceTime failed to get system time with error %d", errno);
                return rc::kUnreadableAnswer;
            }
            seconds = static_cast<std::int64_t>(now) + DSUtcOffset() - kSecondsFrom1970To2000;
            if (quorSeconds) *quorSeconds = static_cast<std::int32_t>(seconds);
            localtime_r(&now, &fields);
        }
        const int year = fields.tm_year + 1900, month = fields.tm_mon + 1, day = fields.tm_mday;
        char command[48];
        if (!countsSeconds) {
            std::snprintf(command, sizeof command, "set -t %d:%d:%d\r", fields.tm_hour, fields.tm_min, fields.tm_sec);
            ResultCode r = DeviceCommand(command, '>', kTimeSetTimeoutMs, answer, &cap, &ms);
            const bool accepted = settings_.newFirmware ? std::strstr(answer, "OK") != nullptr : HasPromptLine(answer);
            if (r > 0 && accepted) {
                Log(QuorLog::kLevelDetail, "DeviceTime set device time to %d:%02d:%02d (%d ms)", fields.tm_hour,
                    fields.tm_min, fields.tm_sec, static_cast<int>(ms));
            } else {
                // A clock with the right date but the wrong time is not set.
                result = r < 0 ? r : rc::kUnreadableAnswer;
            }
            cap = sizeof answer;
        }
        if (countsSeconds) {
            std::snprintf(command, sizeof command, "set -sec %lu\r", static_cast<unsigned long>(seconds));
        } else {
            std::snprintf(command, sizeof command, "set -d %d-%d-%d\r", year, month, day);
        }
        ResultCode r = DeviceCommand(command, '>', kTimeSetTimeoutMs, answer, &cap, &ms);
        if (r > 0 && (std::strstr(answer, "OK") || (!settings_.newFirmware && std::strchr(answer, '>')))) {
            if (countsSeconds) {
                Log(QuorLog::kLevelDetail, "DeviceTime set device quorseconds to %d (%d ms)", static_cast<int>(seconds),
                    static_cast<int>(ms));
            } else {
                Log(QuorLog::kLevelDetail, "DeviceTime set device date to %d-%d-%d (%d ms)", year, month, day,
                    static_cast<int>(ms));
            }
        } else if (result > 0) {
            result = r < 0 ? r : rc::kUnreadableAnswer;
        }
        if (result < 0)
            Log(QuorLog::kLevelFailure, "DeviceTime failed with error %d (%d ms)", result, static_cast<int>(Since(start)));
        return result;
    }

    if (!quorSeconds) return rc::kMissingArgument;
    const char* command = countsSeconds ? "get -sec\r" : settings_.newFirmware ? "get -t\r" : "time\r";
    ResultCode r = DeviceCommand(command, '>', kTimeGetTimeoutMs, answer, &cap, &ms);
    if (r < 0) {
        result = rc::kUnreadableAnswer;
    } else if (countsSeconds) {
        std::int32_t value = 0;
        if (!HasNumber(answer)) {
            result = rc::kUnreadableAnswer;
        } else {
            // Beyond the signed 32 bits of QuorSeconds, or negative: unreadable.
            const bool read = ReadInt(answer, range::kQuorSeconds, &value);
            *quorSeconds = read ? value : 0;
            if (!read) result = rc::kUnreadableAnswer;
            Log(QuorLog::kLevelDetail, "DeviceTime found device date/timr %ld QuorSeconds (%d ms)",
                static_cast<long>(*quorSeconds), static_cast<int>(ms));
        }
    } else {
        const char* p = std::strstr(answer, "Date\\Time:");
        p = p ? p + std::strlen("Date\\Time:") : answer;
        // year-month-day hour:minute:second, each in its range before any
        // arithmetic is done on it.
        struct Field {
            range::IntRange range;
            char separator;  // what follows it
            std::int32_t value = 0;
        };
        Field f[] = {{range::kClockYear, '-'},   {range::kClockMonth, '-'},  {range::kClockDay, ' '},
                     {range::kClockHour, ':'},   {range::kClockMinute, ':'}, {range::kClockSecond, '\0'}};
        bool read = true;
        for (Field& field : f) {
            const char* end = nullptr;
            if (!ReadInt(p, field.range, &field.value, &end)) {
                read = false;
                break;
            }
            p = end;
            if (field.separator == ' ') continue;  // blanks before the hour are skipped by the read
            if (field.separator != '\0') {
                if (*p != field.separator) {
                    read = false;
                    break;
                }
                ++p;
            }
        }
        if (read) {
            const int year = f[0].value, month = f[1].value, day = f[2].value;
            const int hour = f[3].value, minute = f[4].value, second = f[5].value;
            std::time_t now = std::time(nullptr);
            std::tm local{};
            localtime_r(&now, &local);
            std::tm fields{};
            fields.tm_year = year - 1900;
            fields.tm_mon = month - 1;
            fields.tm_mday = day;
            fields.tm_hour = hour;
            fields.tm_min = minute;
            fields.tm_sec = second;
            fields.tm_isdst = local.tm_isdst;
            const std::time_t t = std::mktime(&fields);
            const std::int64_t value = static_cast<std::int64_t>(t) + DSUtcOffset() - kSecondsFrom1970To2000;
            if (t == static_cast<std::time_t>(-1) || !range::kQuorSeconds.Holds(value)) {
                *quorSeconds = 0;
                result = rc::kUnreadableAnswer;
            } else {
                *quorSeconds = static_cast<std::int32_t>(value);
            }
            Log(QuorLog::kLevelDetail, "DeviceTime found device date/time %d-%d-%d %d:%02d:%02d or %ld (%d ms)", year,
                month, day, hour, minute, second, static_cast<long>(*quorSeconds), static_cast<int>(ms));
        } else {
            result = rc::kUnreadableAnswer;
        }
    }
    if (result < 0) {
        *quorSeconds = -1;
        Log(QuorLog::kLevelFailure, "DeviceTime failed with error %d (%d ms)", result, static_cast<int>(Since(start)));
    }
    return result;
}

ResultCode AQVEN_Protocol::EraseData() {
    const std::uint32_t start = DSMilliseconds();
    FixedText<8> heard;
    ResultCode r;
    char terminator;
    if (settings_.newFirmware) {
        r = NameCommand(&heard, 0);
        terminator = '>';
    } else {
        r = ParseShowCommand(&heard);
        terminator = '!';
    }
    if (r < 0) {
        Log(QuorLog::kLevelFailure, "EraseData failed checking the identity of device (error %d)", r);
        return lrc::kIdentityMismatch;
    }
    // An empty name identifies nothing, so it never matches.
    if (settings_.deviceName.empty() || heard.empty() ||
        std::strncmp(settings_.deviceName.c_str(), heard.c_str(), 8) != 0) {
        Log(QuorLog::kLevelFailure, "EraseData: Identity mismatch. Class: %s, Device: %s", settings_.deviceName.c_str(),
            heard.c_str());
        return lrc::kIdentityMismatch;
    }
    char answer[kEraseAnswerSize];
    std::uint32_t cap = sizeof answer;
    r = DeviceCommand("yes\r", terminator, kEraseTimeoutMs, answer, &cap, nullptr);
    if (r > 0 && std::strstr(answer, "OK") && !std::strstr(answer, "DataFlash FAIL")) {
        Log(QuorLog::kLevelDetail, "InitializeDevice erased device data (%d ms)", static_cast<int>(Since(start)));
        return rc::kOk;
    }
    if ((r > 0 && std::strstr(answer, "DataFlash FAIL")) || r == rc::kDeviceError || r == rc::kNoAnswerLastAttempt ||
        r == rc::kNoAnswer) {
        Log(QuorLog::kLevelFailure, "EraseData failed due to a broken DataFlash (%d ms)", static_cast<int>(Since(start)));
        return rc::kDataMemoryBroken;
    }
    if (r > 0) r = rc::kUnreadableAnswer;
    Log(QuorLog::kLevelFailure, "EraseData failed with error %d (%d ms)", r, static_cast<int>(Since(start)));
    return r;
}

}  // namespace quor
