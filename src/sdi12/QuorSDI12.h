#pragma once
// QuorSDI12: the computer's side of the SDI-12 relay. A digital sensor
// hangs on the handheld reader (or the Comm Device), which passes each
// SDI-12 command written to the serial port on to the sensor and sends the
// sensor's reply back, ending with a carriage return. On one retrying
// transaction (SDISendCommand) this class builds the sensor operations of a
// firmware update: identity, address, serial number, type, loader start,
// self-test, and the capture and restore of the calibration.
//
// A reply is taken only when it is the answer to its command: every
// attempt starts from an empty receive queue, a line feed left over from
// the reply before is not part of the next one, and the answer has to begin
// with the address it must come from (see sdi12::ReplyBelongs). A value is
// stored whole or not at all; a part the capture could not keep is logged
// and the capture reports -35, and the restore never writes an empty
// calibration but reports the part as not restored (-35).
//
// Ownership: owns no port and no log. Both are borrowed from the caller
// (the datalogger protocol object's open port, the program's log), must
// outlive this object, and are never closed here. The captured sensor data
// lives in this object between the capture and the restore.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/FixedText.h"
#include "common/Printf.h"
#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "sdi12/SensorCodes.h"
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
    // The reply area holds all that one wait can take in, so a reply longer
    // than its field is seen whole and refused rather than cut to fit.
    static constexpr std::uint32_t kReplyChars = QuorSerial::kReadBufferSize - 1;

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
    // (0 or more) or an error. A reply that is not the command's answer is
    // logged and counts as none (the relay is recovered and the command
    // tried again). reply may be null; with a reply and a
    // capacity it receives at most capacity - 1 characters, zero-terminated,
    // and capacity is set to the length copied (0 on error). elapsedMs, when
    // given, receives the duration.
    ResultCode SDISendCommand(const char* command, char* reply, std::uint32_t* capacity, std::uint32_t* elapsedMs);

    // The version number; -30 when address or version can't be read, -35
    // when the identification text can't be kept (address and version are).
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
    // Whether the record holds a type (captured, or from the settings file).
    bool SensorTypeKnown() const { return sensorType_ != sdi12::kTypeNone && sensorType_ != sdi12::kTypeInvalid; }
    bool NumericType() const { return numericType_; }
    const char* X5Calibration() const { return x5_.c_str(); }
    const char* XaCalibration() const { return xa_.c_str(); }
    const char* XgCalibration() const { return xg_.c_str(); }
    bool XgPresent() const { return xgPresent_; }
    const char* LastReply() const { return reply_; }
    std::uint32_t Tries() const { return tries_; }
    std::uint32_t TimeoutMs() const { return timeoutMs_; }

    // --- what the settings file gives back after an interrupted update ---
    // A file restore starts from a cleared record (address "0"; identity,
    // serial number, type, version, X5, Xa and Xg empty, Xg not present), so
    // nothing of an earlier capture in the same run reaches another sensor.
    void ClearCapturedSettings();
    void SetAddress(char address) { address_ = address; }
    // A text longer than its field, or one that could not be sent back as
    // it is, is not stored (logged): that part then counts as not held. A
    // calibration part not held makes the restore report -35; a serial
    // number not held is not written, as for a sensor that has none.
    void SetSerialNumber(const char* sn);
    void SetX5Calibration(const char* text);
    void SetXaCalibration(const char* text);
    // Sets the Xg text and marks Xg present.
    void SetXgCalibration(const char* text);
    // The type as the capture stored it (SensorType()): 1 to 254 makes it
    // known, anything else leaves the record without a type. The file holds
    // no numeric flag, so NumericType() follows from the code: a code a
    // sensor could report as its type letter (a printable character other
    // than a digit or a blank) is written back as that letter, any other
    // code as its number.
    void SetSensorTypeFromFile(std::int32_t sensorType);

private:
    // Room for the longest write: "?X5", a whole calibration and "!".
    using Command = FixedText<sdi12::kCalibrationChars + 8>;

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
    // Stores one calibration part's text whole, or logs why it can't be kept
    // and leaves the part empty; false then.
    bool StoreCalibrationPart(const char* part, std::string_view text, sdi12::CalibrationText& out);
    // A value from the settings file, whole or not at all.
    template <std::size_t N>
    void StoreFromFile(const char* what, const char* text, FixedText<N>& out);
    // DSWait for the reply's carriage return, then DSRead it into reply_,
    // without a line feed that the reply before left at the front.
    ResultCode ReadReply(std::uint32_t waitMs, std::uint32_t* count);
    // Bars and an address query after an unanswered attempt; count is the
    // length of the query's answer (0: none within the recovery wait).
    ResultCode RecoverRelay(std::uint32_t* count);
    // Takes reply_ as the answer to command when it belongs to it (and
    // learns the sensor's address from it); otherwise logs it as ignored.
    bool TakeReply(const char* command);

    QuorLog* log_;       // borrowed
    QuorSerial* port_;   // borrowed, never closed here
    // The address the sensor last answered with ('\0': not heard yet). It
    // follows the bus, not the record: a firmware update moves the sensor to
    // "0", and the next relay recovery hears that.
    char busAddress_ = '\0';

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
