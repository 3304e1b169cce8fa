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
#include <ctime>
#include <functional>
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

    // Where DPSetTime reads the computer's time (seconds since 1970 UTC, -1
    // on failure); std::time unless replaced, so a test can fix the date.
    using SystemTimeSource = std::function<std::time_t()>;
    void SetSystemTimeSource(SystemTimeSource source) { timeSource_ = std::move(source); }

    // The DM9 config text carries a checksum over the serial number: the
    // leading unsigned number minus the old serial's characters plus the new
    // one's, each as a signed 8-bit value, wrapping at 32 bits. A config not
    // starting with digits counts as 0. -30 when the number exceeds 32 bits.
    static ResultCode AdjustConfigChecksum(const char* config, const char* oldSerial,
                                           const char* newSerial, FixedText<64>* out);
    // Whether record a sorts before b: names compared without letter case
    // for at most 32 characters; an equal name counts as before.
    static bool RecordBefore(const Record& a, const Record& b);

    // The access code the instruments' login asks for (without its asterisk).
    static constexpr const char* kAccessCode = "3378";

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
    // DeviceCommand with the prompt as terminator into answer[size].
    ResultCode Command(const char* command, std::uint32_t timeoutMs, char* answer,
                       std::uint32_t size, std::uint32_t* elapsedMs);
    // Up to three attempts of "<command>\r"; judge gives an answered
    // attempt's result (positive ends the attempts).
    using ValueJudge = std::function<ResultCode(const char* answer, std::uint32_t elapsedMs)>;
    ResultCode AskValue(const char* command, std::uint32_t timeoutMs, std::uint32_t* elapsedMs,
                        const ValueJudge& judge);
    // A set command answered with "OK" (logged with label and shown value):
    // 1; any other answer -30; a failed transaction its error.
    ResultCode SetValue(const char* command, const char* label, const char* shown);
    // One setting of the capture or restore, by its selection bit.
    ResultCode GetOne(std::uint32_t bit);
    ResultCode SetOne(std::uint32_t bit);
    ResultCode GetSerialNumber();
    ResultCode SetSerialNumber();
    bool UsesPvUser() const;
    ResultCode SaveLogger();
    ResultCode RestoreLogger(const char* newSerial);

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
    SystemTimeSource timeSource_;
};

}  // namespace quor
