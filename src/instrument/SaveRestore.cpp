// Keeping a device's settings across a firmware update: the capture by
// family with its settings file, and the restore from memory or from that
// file in a later run.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "instrument/Quor_protocol.h"

namespace quor {

namespace {
constexpr std::uint32_t kSensorTypeTimeoutMs = 2000;
constexpr std::uint32_t kSensorTypeAnswerSize = 32;

// Request words of the capture by device type.
constexpr std::uint32_t kRv70Request = 0x7FFEFFF;  // RV70, KL3, ZRL
constexpr std::uint32_t kRv7bRequest = 0x8000077;
constexpr std::uint32_t kCkRequest = 0xD07;
constexpr std::int32_t kLg40NewFirmware = 200;   // from here on LG40 also has sn, contr, config
constexpr std::int32_t kDm9UvalsAfter = 204;     // DM9 firmware above this keeps uvals

bool IsLoggerFamily(DeviceType t) {
    return t == DeviceType::kRv7b || t == DeviceType::kRv70 || t == DeviceType::kCk ||
           t == DeviceType::kKl3 || t == DeviceType::kZrl;
}

// The instrument request word of type at firmware version; 0 for a type
// captured otherwise or not at all.
std::uint32_t InstrumentRequest(DeviceType type, std::int32_t recordVersion,
                                       std::int32_t loggerVersion) {
    switch (type) {
        case DeviceType::kDMini: return 0x4000007A;
        case DeviceType::kTq: return 0x100192;
        case DeviceType::kLg40: return recordVersion >= kLg40NewFirmware ? 0x7000C12 : 0x7000400;
        case DeviceType::kFg: return 0xB2;
        case DeviceType::kDskt: return 0x80027402;
        case DeviceType::kS7k: return 0xC00;
        case DeviceType::kHjd: return 0x3;
        case DeviceType::kJq: return 0x2C0013;
        case DeviceType::kDm9: return loggerVersion > kDm9UvalsAfter ? 0x38000842 : 0x38000802;
        case DeviceType::kHsr: return 0x28400802;
        case DeviceType::kPx7t:
        case DeviceType::kTru: return 0x802;
        case DeviceType::kDm9Lsr: return 0x38000806;
        case DeviceType::kTwi: return 0x20C08012;
        case DeviceType::kFlowPack: return 0x2;
        default: return 0;
    }
}
}  // namespace

ResultCode Quor_protocol::AdjustConfigChecksum(const char* config, const char* oldSerial,
                                               const char* newSerial, FixedText<64>* out) {
    if (!config || !oldSerial || !newSerial || !out) return rc::kMissingArgument;
    std::uint32_t sum = 0;
    if (*config >= '0' && *config <= '9') {
        errno = 0;
        char* end = nullptr;
        const unsigned long long v = std::strtoull(config, &end, 10);
        if (errno == ERANGE || v > std::numeric_limits<std::uint32_t>::max())
            return rc::kUnreadableAnswer;
        sum = static_cast<std::uint32_t>(v);
    }
    for (const char* p = oldSerial; *p; ++p)
        sum -= static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(*p)));
    for (const char* p = newSerial; *p; ++p)
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(*p)));
    out->Format("%u", static_cast<unsigned>(sum));
    return rc::kOk;
}

ResultCode Quor_protocol::SaveLogger() {
    std::uint32_t request = deviceType_ == DeviceType::kRv7b ? kRv7bRequest
                            : deviceType_ == DeviceType::kCk ? kCkRequest
                                                             : kRv70Request;
    const bool loadedAtOnce = deviceType_ == DeviceType::kRv70 || deviceType_ == DeviceType::kKl3 ||
                              deviceType_ == DeviceType::kZrl;
    if (loadedAtOnce) settingsLoaded_ = true;
    ResultCode r = logger_->DeviceSettings(&loggerSettings_, &request, 0);
    if (r == rc::kLoggerUninitialized) {
        settingsLoaded_ = false;
        capturedSelection_ = 0;
        Log(QuorLog::kLevelMilestone, "DPSaveInfo does not save data for an uninitialized device");
        return r;
    }
    capturedSelection_ = request;
    return r;
}

ResultCode Quor_protocol::DPSaveInfo(const char* path) {
    ResultCode r;
    if (IsLoggerFamily(deviceType_)) {
        r = SaveLogger();
        if (r == rc::kLoggerUninitialized) return r;
    } else if (deviceType_ == DeviceType::kAqvenHx) {
        r = sdi12_->SDIGetSensorSettings();
        capturedSelection_ = 0;
    } else if (const std::uint32_t request = InstrumentRequest(
                   deviceType_, deviceInfo_.firmwareVersion, loggerSettings_.firmwareVersion)) {
        // A capture starts from an empty record: what an earlier device of
        // this run left behind must never be restored into this one.
        instrument_ = InstrumentSettings{};
        eqnRecords_.Release();
        userRecords_.Release();
        if (deviceType_ == DeviceType::kDm9) {
            // The sensor type decides which settings the DM9 reports.
            char answer[kSensorTypeAnswerSize];
            std::uint32_t ms = 0;
            ResultCode s = Command("set -sensor 0\r", kSensorTypeTimeoutMs, answer, sizeof answer, &ms);
            if (s > 0 && std::strstr(answer, "OK")) {
                Log(QuorLog::kLevelMilestone, "DPSaveInfo set DMS9 sensor type to '0' (%d ms)",
                    static_cast<int>(ms));
            } else {
                if (s > 0) s = rc::kUnreadableAnswer;
                Log(QuorLog::kLevelMilestone,
                    "DPSaveInfo received error %d setting DMS9 sensor type to '0' (%d ms)", s,
                    static_cast<int>(ms));
            }
        }
        r = GetInstInfo(request);
        capturedSelection_ = instrument_.selection;
    } else {
        r = rc::kNotForThisDevice;
    }

    const ResultCode final = r == rc::kSomeSettingsFailed ? r : rc::kOk;
    if (r < 0 && r != rc::kSomeSettingsFailed) {
        Log(QuorLog::kLevelFailure, "DPSaveInfo received error %d trying to collect device settings", r);
        return r;
    }
    settingsLoaded_ = true;
    ResultCode w = WriteInfoFile(path);
    if (w < 0) {
        Log(QuorLog::kLevelFailure,
            "DPSaveInfo received error %d trying to save device settings to a temp file", w);
        return w;
    }
    Log(QuorLog::kLevelMilestone,
        "DPSaveInfo successfully retrieved and saved device settings to a temp file");
    return final;
}

ResultCode Quor_protocol::RestoreLogger(const char* newSerial) {
    LoggerSettings& s = loggerSettings_;
    if (newSerial && *newSerial) {
        s.serialNumber = newSerial;
        s.validMask |= req::kSerialNumber;
    }
    // A logger whose device ID is restored keeps the serial number it has.
    if (s.validMask & req::kDeviceId) s.validMask &= ~req::kSerialNumber;
    std::uint32_t request = s.validMask;
    // A logger that cannot take a trait only ever had one worked out for it
    // (a Corvalink's, the radio a subchannel implies): nothing to write back.
    if (!(s.capabilities & cap::kExtended)) request &= ~req::kTrait;
    ResultCode r = logger_->DeviceSettings(&s, &request, 1);
    if ((r < 0 && r != rc::kSomeSettingsFailed) || s.validMask == 0) {
        Log(QuorLog::kLevelFailure, "DPRestoreInfo received error %d trying to upload device settings",
            r);
    }
    return r;
}

ResultCode Quor_protocol::DPRestoreInfo(const char* path, const char* newSerial) {
    if (!settingsLoaded_) {
        // The file holds settings; who is connected is what DPConnect learnt.
        const LoggerSettings connected = loggerSettings_;
        ResultCode r = ReadInfoFile(path);
        loggerSettings_.kind = connected.kind;
        loggerSettings_.familyName = connected.familyName;
        loggerSettings_.newFirmware = connected.newFirmware;
        loggerSettings_.versionText = connected.versionText;
        loggerSettings_.firmwareVersion = connected.firmwareVersion;
        if (r < 0) {
            Log(QuorLog::kLevelFailure,
                "DPRestoreInfo received error %d trying to read device settings from %s", r,
                path ? path : "");
            return r;
        }
        settingsLoaded_ = true;
        loggerSettings_.validMask = capturedSelection_;
    }
    const bool replaceSerial = newSerial && *newSerial;
    const int t = static_cast<int>(deviceType_);
    ResultCode r;
    if (t <= 0 || t >= kDeviceTypeRowCount || deviceType_ == DeviceType::kRv7 ||
        deviceType_ == DeviceType::kWk) {
        return rc::kNotForThisDevice;
    } else if (IsLoggerFamily(deviceType_)) {
        r = RestoreLogger(newSerial);
        if ((r < 0 && r != rc::kSomeSettingsFailed) || loggerSettings_.validMask == 0) return r;
    } else if (deviceType_ == DeviceType::kAqvenHx) {
        r = sdi12_->SDISetSensorSettings();
    } else {
        InstrumentSettings& s = instrument_;
        bool serialOk = true;
        if (replaceSerial &&
            (deviceType_ == DeviceType::kDm9 || deviceType_ == DeviceType::kDm9Lsr)) {
            FixedText<64> adjusted;
            FixedText<15> serial = newSerial;
            if (AdjustConfigChecksum(s.config.c_str(), s.serialNumber.c_str(), serial.c_str(),
                                     &adjusted) > 0) {
                s.config = adjusted;
                s.selection |= inst::kConfig;
            } else {
                // Without its checksum the config would not match the new number.
                serialOk = false;
                Log(QuorLog::kLevelFailure,
                    "DPRestoreInfo can't adjust config \"%s\" for serial number %s; the old one stays",
                    s.config.c_str(), serial.c_str());
            }
        }
        if (replaceSerial && serialOk) {
            s.serialNumber = newSerial;
            s.selection |= inst::kSerialNumber;
        }
        r = SetInstInfo(s.selection);
        if (!serialOk && r > 0) r = rc::kSomeSettingsFailed;
    }
    if (r < 0) {
        Log(QuorLog::kLevelFailure, "DPRestoreInfo received error %d trying to upload device settings",
            r);
        return r;
    }
    Log(QuorLog::kLevelMilestone, "DPRestoreInfo successfully restored device setting");
    return r;
}

}  // namespace quor
