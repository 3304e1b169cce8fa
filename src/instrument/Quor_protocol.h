#pragma once
// Quor_protocol: the instrument-level protocol object, the one thing the
// update sequences talk to while a device runs its normal firmware. It
// connects to and identifies a device, logs in, checks battery and code,
// erases data, sets the clock, and captures and restores the device's
// settings (in memory and through the settings file).
//
// Ownership: owns its AQVEN_Protocol (which carries every command and
// holds the port) and its QuorSDI12 (which borrows that port). The log is
// borrowed and may be null; then nothing of this object is logged.

#include <cstdint>
#include <memory>
#include <string_view>

#include "common/FixedText.h"
#include "common/Printf.h"
#include "common/ResultCode.h"
#include "device/DeviceType.h"
#include "instrument/InstrumentSettings.h"
#include "log/QuorLog.h"
#include "logger/AQVEN_Protocol.h"
#include "logger/LoggerTypes.h"
#include "sdi12/QuorSDI12.h"

namespace quor {

namespace platform {
class FileOps;
}

class Quor_protocol {
public:
    static constexpr const char* kTag = "Quor_protocol";

    explicit Quor_protocol(QuorLog* log);
    ~Quor_protocol();
    Quor_protocol(const Quor_protocol&) = delete;
    Quor_protocol& operator=(const Quor_protocol&) = delete;

    // --- connection and commands ---
    ResultCode DPConnect(const char* portName, std::uint8_t baudIndex, std::uint32_t serialRetries,
                         DeviceTypeInfo* record);
    ResultCode Login();
    ResultCode Disconnect(bool sendLogout);
    ResultCode DPCheckBattery(std::int32_t* percentage);
    ResultCode DPCheckFirmware(bool postInit);
    ResultCode DPEraseData();
    ResultCode DPSetTime();
    ResultCode GetValueString(const char* command, std::uint32_t timeoutMs, char* destination,
                              std::uint32_t maxLength);
    ResultCode GetValueLong(const char* command, std::uint32_t timeoutMs, std::int32_t* value);
    ResultCode SendCommand(const char* command);

    // --- settings capture and restore, one command per setting ---
    ResultCode GetInstInfo(std::uint32_t request);
    ResultCode SetInstInfo(std::uint32_t request);
    ResultCode GetRecords_Serial(RecordSet* set, int kind);
    ResultCode SetRecords_Serial(RecordSet* set, int kind);
    ResultCode AlphabetizeRecords(RecordSet* set, int kind);
    ResultCode ExtractNames(RecordSet* set, int kind);

    // --- settings file ---
    ResultCode WriteInfoFile(const char* path);
    ResultCode ReadInfoFile(const char* path);
    ResultCode GetRecords_File(RecordSet* set, int kind, const char* fileText);

    // --- save and restore around an update ---
    ResultCode DPSaveInfo(const char* path);
    // newSerial null or empty: keep the captured serial number.
    ResultCode DPRestoreInfo(const char* path, const char* newSerial);

    // --- state ---
    AQVEN_Protocol& Logger() { return *logger_; }
    QuorSDI12& Sdi12() { return *sdi12_; }
    const LoggerSettings& LoggerSettingsRecord() const { return loggerSettings_; }
    LoggerSettings& MutableLoggerSettings() { return loggerSettings_; }
    const InstrumentSettings& Instrument() const { return instrument_; }
    InstrumentSettings& MutableInstrument() { return instrument_; }
    DeviceType ConnectedType() const { return deviceType_; }
    const DeviceTypeInfo& DeviceInfo() const { return deviceInfo_; }
    bool SettingsLoaded() const { return settingsLoaded_; }
    void SetSettingsLoaded(bool loaded) { settingsLoaded_ = loaded; }
    const RecordSet& EquationRecords() const { return eqnRecords_; }
    const RecordSet& UserRecords() const { return userRecords_; }
    std::uint32_t CapturedSelection() const { return capturedSelection_; }
    // Takes record as the connected device (what a successful DPConnect
    // stores); also lets a later run that finds the loader name the device.
    void AdoptDevice(const DeviceTypeInfo& record);

    // --- settings file: record access and the file calls ---
    RecordSet& MutableEquationRecords() { return eqnRecords_; }
    RecordSet& MutableUserRecords() { return userRecords_; }
    // The calls WriteInfoFile replaces the file with; borrowed, and it must
    // outlive its use. Null gives back the system's.
    void UseFileOps(platform::FileOps* ops) { fileOps_ = ops; }

private:
    // --- settings file ---
    // The family readers of ReadInfoFile, over the whole file text.
    ResultCode ReadLoggerFile(std::string_view text);
    ResultCode ReadInstrumentFile(std::string_view text);
    ResultCode ReadSensorFile(std::string_view text);
    // GetRecords_File over a text that may hold NUL bytes.
    ResultCode RecordsFromText(RecordSet* set, int kind, std::string_view text);
    platform::FileOps* fileOps_ = nullptr;  // borrowed; null: the system's

    QUOR_PRINTF(3, 4) void Log(std::uint32_t level, const char* format, ...) const;

    std::unique_ptr<AQVEN_Protocol> logger_;
    std::unique_ptr<QuorSDI12> sdi12_;
    LoggerSettings loggerSettings_;
    InstrumentSettings instrument_;
    DeviceType deviceType_ = DeviceType::kUnknown;
    DeviceTypeInfo deviceInfo_;
    bool settingsLoaded_ = false;
    RecordSet eqnRecords_;
    RecordSet userRecords_;
    QuorLog* log_;  // borrowed
    std::uint32_t capturedSelection_ = 0;
};

}  // namespace quor
