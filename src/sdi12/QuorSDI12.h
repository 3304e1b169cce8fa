#pragma once
// QuorSDI12: the computer's side of the SDI-12 relay. A digital sensor
// hangs on the handheld reader (or the Comm Device), which passes each
// SDI-12 command written to the serial port on to the sensor and sends the
// sensor's reply back, ending with a carriage return. On one retrying
// transaction (SDISendCommand) this class builds the sensor operations of a
// firmware update: identity, address, serial number, type, loader start,
// self-test, and the capture and restore of the calibration.
//
// Ownership: owns no port and no log. Both are borrowed from the caller
// (the datalogger protocol object's open port, the program's log), must
// outlive this object, and are never closed here. The captured sensor data
// lives in this object between the capture and the restore.

#include <cstdint>

#include "common/FixedText.h"
#include "common/Printf.h"
#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "sdi12/Sdi12Text.h"
#include "serial/QuorSerial.h"

namespace quor {

namespace sdi12 {
inline constexpr ResultCode kNotDetermined = -1;    // type unknown, or self-test answer unrecognised
inline constexpr ResultCode kFirmwareCorrupt = -66; // the sensor's self-test reports corrupt code
}  // namespace sdi12

class QuorSDI12 {
public:
    static constexpr std::uint32_t kDefaultTimeoutMs = 2000;
    static constexpr std::uint32_t kDefaultTries = 5;
    // A calibration reply is the address, a blank, up to 512 characters and
    // the line end; the reply area holds all of it so nothing is cut off.
    static constexpr std::uint32_t kReplyChars = 1 + 1 + sdi12::kCalibrationChars + 2;

    static constexpr std::uint32_t kWakeUpPauseMs = 175;
    static constexpr std::uint32_t kRecoveryBarPauseMs = 30;
    static constexpr std::uint32_t kRecoveryBars = 3;
    static constexpr std::uint32_t kRecoveryWaitMs = 500;
    static constexpr std::uint32_t kLoaderTries = 1;
    static constexpr std::uint32_t kLoaderTimeoutMs = 1000;
    static constexpr std::uint32_t kLoaderControlPauseMs = 100;
    static constexpr std::uint32_t kAttentionTries = 3;

    static constexpr const char* kTag = "QuorSDI12";

    QuorSDI12(QuorLog* log, QuorSerial& port);
    ~QuorSDI12();
    QuorSDI12(const QuorSDI12&) = delete;
    QuorSDI12& operator=(const QuorSDI12&) = delete;

    // One relayed transaction with retries. Returns the characters received
    // (0 or more) or an error. reply may be null; with a reply and a
    // capacity it receives at most capacity - 1 characters, zero-terminated,
    // and capacity is set to the length copied (0 on error). elapsedMs, when
    // given, receives the duration.
    ResultCode SDISendCommand(const char* command, char* reply, std::uint32_t* capacity, std::uint32_t* elapsedMs);

    ResultCode SDIGetSensorVersion();
    ResultCode SDISetSensorAddress(char address);
    ResultCode SDIGetSensorSN();
    ResultCode SDISetSensorSN();
    ResultCode SDIGetSensorType();
    ResultCode SDISetSensorType(std::int32_t sensorType);
    ResultCode SDIInvokeQuorBSL();
    ResultCode SDICheckBinary();

    // Capture and restore around a firmware update.
    ResultCode SDIGetSensorSettings();
    ResultCode SDISetSensorSettings();
    ResultCode SDIGetSensorCalibration();
    // x5 null: the stored X5 text.
    ResultCode SDISetSensorCalibration(const char* x5);
    ResultCode SDIConvertCalibration();

    // --- the stored sensor data ---
    char Address() const { return address_; }
    const char* Identification() const { return identification_.c_str(); }
    const char* SerialNumber() const { return serialNumber_.c_str(); }
    std::uint32_t VersionNumber() const { return version_; }
    std::int32_t SensorType() const { return sensorType_; }
    bool NumericType() const { return numericType_; }
    const char* X5Calibration() const { return x5_.c_str(); }
    const char* XaCalibration() const { return xa_.c_str(); }
    const char* XgCalibration() const { return xg_.c_str(); }
    bool XgPresent() const { return xgPresent_; }
    const char* LastReply() const { return reply_; }
    std::uint32_t Tries() const { return tries_; }
    std::uint32_t TimeoutMs() const { return timeoutMs_; }

    // What the settings file gives back after an interrupted update.
    void SetAddress(char address) { address_ = address; }
    void SetSerialNumber(const char* sn) { serialNumber_ = sn; }
    void SetX5Calibration(const char* text) { x5_ = text; }
    void SetXaCalibration(const char* text) { xa_ = text; }

private:
    using Command = FixedText<kReplyChars + 8>;

    QUOR_PRINTF(2, 3) void Log(const char* format, ...) const;
    // SDISendCommand into answer_; answerLength_ holds what was copied.
    ResultCode Ask(const char* command);
    std::string_view Answer() const { return std::string_view(answer_, answerLength_); }
    ResultCode WriteAndPause(char control, std::uint32_t pauseMs);
    // A write that the sensor confirms with "OK", tried up to tries times:
    // 1, -34 ("ERROR"), -22 (never confirmed) or the last transaction's
    // error (*transactionFailed then set).
    ResultCode WriteConfirmed(const char* command, bool* transactionFailed);
    // One calibration part's write ("?X5%s!", "?Xb%s!", "?Xg%s!") with its log lines.
    ResultCode WriteCalibrationPart(const char* part, const char* text, bool* transactionFailed);
    // DSWait for the reply's carriage return, then DSRead it into reply_.
    ResultCode ReadReply(std::uint32_t waitMs, std::uint32_t* count);
    // Bars and an address query after an empty answer; count is the query's answer.
    ResultCode RecoverRelay(std::uint32_t* count);
    void ClearSensorData();

    QuorLog* log_;       // borrowed
    QuorSerial* port_;   // borrowed, never closed here

    char address_ = '0';
    sdi12::Identification identification_;
    sdi12::SerialNumber serialNumber_;
    std::uint32_t version_ = 0;
    std::uint8_t sensorType_ = 0;
    bool numericType_ = false;
    sdi12::CalibrationText x5_;
    sdi12::CalibrationText xa_;
    sdi12::CalibrationText xg_;
    bool xgPresent_ = false;

    char reply_[kReplyChars + 1] = {};
    char answer_[kReplyChars + 1] = {};
    std::uint32_t answerLength_ = 0;
    std::uint32_t timeoutMs_ = kDefaultTimeoutMs;
    std::uint32_t tries_ = kDefaultTries;
};

}  // namespace quor
