#include "sdi12/QuorSDI12.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "sdi12/SensorCodes.h"

namespace quor {

using sdi12::WriteVerdict;

namespace {
constexpr char kReplyEnd = '\r';
constexpr char kWakeUp = '|';
constexpr char kRelayPassThrough = ']';
constexpr char kLoaderConnect = 'P';

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }
}  // namespace

QuorSDI12::QuorSDI12(QuorLog* log, QuorSerial& port) : log_(log), port_(&port) {}

QuorSDI12::~QuorSDI12() {
    // Both are borrowed: forget them, release nothing.
    log_ = nullptr;
    port_ = nullptr;
}

void QuorSDI12::Log(const char* format, ...) const {
    if (!log_) return;
    va_list ap;
    va_start(ap, format);
    log_->WriteLineV(QuorLog::kLevelDetail, kTag, format, ap);
    va_end(ap);
}

ResultCode QuorSDI12::ReadReply(std::uint32_t waitMs, std::uint32_t* count) {
    *count = 0;
    reply_[0] = '\0';
    ResultCode r = port_->DSWait(waitMs, kReplyEnd);
    if (r < 0) {
        Log("SDISendCommand got unexpected response (%d) from DCommWait", static_cast<int>(r));
        return r;
    }
    r = port_->DSRead(reply_, kReplyChars, count);
    if (r < 0) {
        *count = 0;
        Log("SDISendCommand got unexpected response (%d) from DCommRead", static_cast<int>(r));
        return r;
    }
    reply_[*count] = '\0';
    // A relay that passes the sensor's CR LF leaves the line feed behind the
    // carriage return that ended the reply before: it is no part of this one.
    std::uint32_t skip = 0;
    while (skip < *count && (reply_[skip] == '\n' || reply_[skip] == '\r')) ++skip;
    if (skip > 0) {
        std::memmove(reply_, reply_ + skip, *count - skip + 1);
        *count -= skip;
    }
    return rc::kOk;
}

bool QuorSDI12::TakeReply(const char* command) {
    const std::string_view reply(reply_);
    if (sdi12::ReplyBelongs(command, reply, busAddress_)) {
        busAddress_ = reply_[0];
        return true;
    }
    Log("SDISendCommand ignored \"%s\": no answer to \"%s\"", reply_, command);
    return false;
}

ResultCode QuorSDI12::RecoverRelay(std::uint32_t* count) {
    // Three bars and an address query bring a relay that lost a command back
    // in step with the bus.
    for (std::uint32_t i = 0; i < kRecoveryBars; ++i) {
        port_->DSWrite(&kWakeUp, 1, nullptr);
        DSSleep(kRecoveryBarPauseMs);
    }
    port_->DSPurge(1);
    reply_[0] = '\0';
    ResultCode r = port_->DSWrite("?!", 2, nullptr);
    if (r < 0) {
        *count = 0;
        Log("SDISendCommand got unexpected response (%d) from DCommWrite", static_cast<int>(r));
        return r;
    }
    // What a late relay still hands over of the lost command comes before
    // the query's answer; only the bare address answers the query.
    const std::uint32_t start = DSMilliseconds();
    for (;;) {
        const std::uint32_t elapsed = DSMilliseconds() - start;
        *count = 0;
        if (elapsed >= kRecoveryWaitMs) return rc::kOk;
        r = ReadReply(kRecoveryWaitMs - elapsed, count);
        if (r < 0 || *count == 0) return r;
        if (TakeReply("?!")) return rc::kOk;
    }
}

ResultCode QuorSDI12::SDISendCommand(const char* command, char* reply, std::uint32_t* capacity,
                                     std::uint32_t* elapsedMs) {
    const std::uint32_t start = DSMilliseconds();
    const char* text = command ? command : "";
    const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(text));
    ResultCode result = rc::kOk;
    bool wakeUp = true;
    std::uint32_t received = 0;

    for (std::uint32_t attempt = 1; attempt <= tries_; ++attempt) {
        if (wakeUp) {
            port_->DSWrite(&kWakeUp, 1, nullptr);
            DSSleep(kWakeUpPauseMs);
        }
        // Whatever a late relay still delivers of an earlier attempt would
        // otherwise be read as the start of this one's answer.
        port_->DSPurge(1);
        reply_[0] = '\0';
        ResultCode r = port_->DSWrite(text, length, nullptr);
        if (r < 0) {
            Log("SDISendCommand got unexpected response (%d) from DCommWrite", static_cast<int>(r));
            result = r;
            break;
        }
        Log("SDISendCommand sent \"%s\"", text);
        r = ReadReply(timeoutMs_, &received);
        if (r < 0) {
            result = r;
            break;
        }
        if (received > 0 && TakeReply(text)) {
            Log("SDISendCommand recieved \"%s\"", reply_);
            result = rc::kOk;
            break;
        }
        received = 0;
        if (attempt == 2) result = rc::kNoAnswerLastAttempt;
        r = RecoverRelay(&received);
        if (r < 0) {
            result = r;
            break;
        }
        if (received == 0) {
            result = rc::kNoAnswer;
            break;
        }
        // The relay is back; the next attempt goes with (or without) the
        // leading bar, whichever the last one did not.
        wakeUp = !wakeUp;
    }

    if (elapsedMs) *elapsedMs = DSMilliseconds() - start;
    const bool haveBuffer = reply && capacity && *capacity > 0;
    if (result < 0) {
        if (haveBuffer) reply[0] = '\0';
        if (capacity) *capacity = 0;
        return result;
    }
    if (!haveBuffer) return static_cast<ResultCode>(received);
    std::uint32_t copied = received < *capacity - 1 ? received : *capacity - 1;
    std::memcpy(reply, reply_, copied);
    reply[copied] = '\0';
    *capacity = copied;
    if (copied < received) {
        Log("DeviceCommand got %d more bytes than expected (%s)", static_cast<int>(received - copied), text);
    }
    return static_cast<ResultCode>(received);
}

ResultCode QuorSDI12::Ask(const char* command) {
    std::uint32_t capacity = sizeof answer_;
    ResultCode r = SDISendCommand(command, answer_, &capacity, nullptr);
    answerLength_ = capacity;
    return r;
}

ResultCode QuorSDI12::SDIGetSensorVersion() {
    ResultCode r = Ask("?I!");
    if (r < 0) {
        Log("SDIGetSensorVersion recieved error %i", static_cast<int>(r));
        return r;
    }
    sdi12::IdentityReading id = sdi12::ParseIdentification(Answer());
    if (!id.readable) {
        // Address and version choose what is captured and written back: a
        // guess at either could put wrong values into the sensor.
        Log("SDIGetSensorVersion could not read the sensor info \"%s\"", answer_);
        return rc::kUnreadableAnswer;
    }
    address_ = id.address;
    identification_ = id.identification;
    version_ = id.version;
    if (id.tooLong) {
        Log("SDIGetSensorVersion found sensor info longer than %u characters or not printable: \"%s\"",
            static_cast<unsigned>(sdi12::kIdentificationChars), answer_);
        return rc::kSomeSettingsFailed;
    }
    Log("SDIGetSensorVersion found sensor info: %s", identification_.c_str());
    return static_cast<ResultCode>(version_);
}

ResultCode QuorSDI12::SDISetSensorAddress(char address) {
    if (!sdi12::IsAddress(address)) {
        Log("SDISetSensorAddress didn't get a valid sensor address (%d)", static_cast<int>(address));
        return rc::kOutOfRange;
    }
    Command command;
    command.Format("0A%c!", address);
    ResultCode r = Ask(command.c_str());
    if (r < 0) {
        Log("SDISetSensorAddress recieved error %i", static_cast<int>(r));
        return r;
    }
    if (answerLength_ > 0 && answer_[0] == address) {
        Log("SDISetSensorAddress successfully set sensor address to '%c'", address);
        return rc::kOk;
    }
    Log("SDISetSensorAddress could not set sensor address to '%c'", address);
    return rc::kUnreadableAnswer;
}

ResultCode QuorSDI12::SDIGetSensorSN() {
    ResultCode r = Ask("?X#!");
    if (r < 0) {
        Log("SDIGetSensorSN recieved error %i looking for X#", static_cast<int>(r));
        return r;
    }
    switch (sdi12::ParseSerialNumber(Answer(), serialNumber_)) {
    case sdi12::FieldRead::kRead:
        Log("SDIGetSensorSN found SN \"%s\"", serialNumber_.c_str());
        return rc::kOk;
    case sdi12::FieldRead::kAbsent:
        return 0;
    case sdi12::FieldRead::kTooLong:
        Log("SDIGetSensorSN found a SN longer than %u characters", static_cast<unsigned>(sdi12::kSerialNumberChars));
        return rc::kUnreadableAnswer;
    case sdi12::FieldRead::kUnsendable:
        break;
    }
    Log("SDIGetSensorSN found a SN that can't be written back");
    return rc::kUnreadableAnswer;
}

ResultCode QuorSDI12::WriteConfirmed(const char* command, bool* transactionFailed) {
    ResultCode result = 0;
    ResultCode last = 0;
    for (std::uint32_t attempt = 0; attempt < tries_; ++attempt) {
        last = Ask(command);
        if (last > 0) {
            WriteVerdict verdict = sdi12::JudgeWriteReply(Answer());
            if (verdict == WriteVerdict::kAccepted) {
                result = rc::kOk;
                break;
            }
            if (verdict == WriteVerdict::kRefused) result = rc::kDeviceError;
        }
        if (result == 0) result = rc::kNoAnswerLastAttempt;
    }
    *transactionFailed = last < 0;
    return last < 0 ? last : result;
}

ResultCode QuorSDI12::SDISetSensorSN() {
    if (serialNumber_.empty()) {
        Log("SDISetSensorSN didn't find a valid serial number");
        return 0;
    }
    FixedText<63> command;
    command.Format("?X#%s!", serialNumber_.c_str());
    bool failed = false;
    ResultCode r = WriteConfirmed(command.c_str(), &failed);
    if (r == rc::kOk) Log("SDISetSensorSN successfully set sensor serial number to \"%s\"", serialNumber_.c_str());
    if (failed) Log("SDISetSensorSN recieved error %i setting serial number.", static_cast<int>(r));
    return r;
}

ResultCode QuorSDI12::SDIGetSensorType() {
    bool known = false;
    ResultCode r = Ask("?X8!");
    if (r < 0) {
        Log("SDIGetSensorType recieved error %i", static_cast<int>(r));
    } else {
        sdi12::TypeReading reading = sdi12::ParseSensorType(Answer());
        if (reading.known) {
            sensorType_ = static_cast<std::uint8_t>(reading.type);
            numericType_ = reading.numeric;
            known = true;
        }
    }
    if (!known) {
        // Sensors that can't tell their type are told apart by their model name.
        if (identification_.empty()) SDIGetSensorVersion();
        int derived = sdi12::TypeFromIdentification(identification_.view());
        if (derived != sdi12::kTypeNone) {
            sensorType_ = static_cast<std::uint8_t>(derived);
            numericType_ = false;
        }
        known = sensorType_ != sdi12::kTypeNone;
    }
    if (known) {
        Log("SDIGetSensorType found sensor type as \"%u\"", static_cast<unsigned>(sensorType_));
        return rc::kOk;
    }
    Log("SDIGetSensorType couldn't detirmine sensor type");
    return sdi12::kNotDetermined;
}

ResultCode QuorSDI12::SDISetSensorType(std::int32_t sensorType) {
    int type = sensorType;
    if (const sdi12::Family* family = sdi12::FindFamily(sensorType)) {
        // A family firmware keeps the member type the sensor already has.
        if (!sdi12::IsFamilyMember(*family, sensorType_)) {
            Log("SDISetSensorType didn't get a valid %s Sensor type (%u)", family->name,
                static_cast<unsigned>(sensorType));
            return rc::kUnreadableAnswer;
        }
        type = sensorType_;
    } else if (sensorType <= sdi12::kTypeNone || sensorType >= sdi12::kTypeInvalid) {
        // 0 and 255 mean "no type"; anything outside a byte can't be written.
        Log("SDISetSensorType didn't get a valid sensor type (%u)", static_cast<unsigned>(sensorType));
        return rc::kOutOfRange;
    }
    Command command;
    if (numericType_) {
        command.Format("?X9 %u!", static_cast<unsigned>(type));
    } else {
        command.Format("?X9 %c!", static_cast<char>(type));
    }
    ResultCode r = Ask(command.c_str());
    if (r < 0) {
        Log("SDISetSensorType recieved error %i", static_cast<int>(r));
        return r;
    }
    if (Contains(Answer(), "OK")) {
        Log("SDISetSensorType successfully set sensor type to \"%u\"", static_cast<unsigned>(type));
        return rc::kOk;
    }
    Log("SDISetSensorType could not set sensor type to \"%u\"", static_cast<unsigned>(type));
    return rc::kUnreadableAnswer;
}

ResultCode QuorSDI12::WriteAndPause(char control, std::uint32_t pauseMs) {
    ResultCode r = port_->DSWrite(&control, 1, nullptr);
    if (r < 0) {
        Log("SDIInvokeQuorBSL failed to write '%c' to the reader (error %i)", control, static_cast<int>(r));
        return r;
    }
    DSSleep(pauseMs);
    return rc::kOk;
}

ResultCode QuorSDI12::SDIInvokeQuorBSL() {
    // A sensor that starts its loader may never answer: one short try only.
    const std::uint32_t savedTries = tries_;
    const std::uint32_t savedTimeoutMs = timeoutMs_;
    tries_ = kLoaderTries;
    timeoutMs_ = kLoaderTimeoutMs;
    Ask("?B!");
    tries_ = savedTries;
    timeoutMs_ = savedTimeoutMs;

    if (Contains(Answer(), "No BSL")) {
        Log("SDIInvokeQuorBSL: sensor reported a missing QuorBSL");
        return rc::kSensorHasNoLoader;
    }
    ResultCode r = WriteAndPause(kRelayPassThrough, kLoaderControlPauseMs);
    if (r < 0) return r;
    r = WriteAndPause(kLoaderConnect, kLoaderControlPauseMs);
    if (r < 0) return r;
    return rc::kOk;
}

ResultCode QuorSDI12::SDICheckBinary() {
    ResultCode r = Ask("?post!");
    if (r < 0) {
        Log("SDICheckBinary recieved error %i", static_cast<int>(r));
        return r;
    }
    if (Contains(Answer(), "Code Good")) {
        Log("SDICheckBinary found good firmware");
        return rc::kOk;
    }
    if (Contains(Answer(), "Code Corrupt")) {
        Log("SDICheckBinary found corrupt firmware");
        return sdi12::kFirmwareCorrupt;
    }
    Log("SDICheckBinary unable to check firmware");
    return sdi12::kNotDetermined;
}

void QuorSDI12::ClearCapturedSettings() {
    identification_.Clear();
    x5_.Clear();
    xa_.Clear();
    xg_.Clear();
    xgPresent_ = false;
    serialNumber_.Clear();
    version_ = 0;
    address_ = '0';
    sensorType_ = 0;
    numericType_ = false;
}

template <std::size_t N>
void QuorSDI12::StoreFromFile(const char* what, const char* text, FixedText<N>& out) {
    out.Clear();
    const std::string_view value = text ? std::string_view(text) : std::string_view();
    if (sdi12::ReadField(value, out) != sdi12::FieldRead::kRead) {
        Log("QuorSDI12 did not take the %s from the settings file: longer than %u characters or not writable",
            what, static_cast<unsigned>(N));
    }
}

void QuorSDI12::SetSerialNumber(const char* sn) { StoreFromFile("serial number", sn, serialNumber_); }
void QuorSDI12::SetX5Calibration(const char* text) { StoreFromFile("X5 calibration", text, x5_); }
void QuorSDI12::SetXaCalibration(const char* text) { StoreFromFile("Xa calibration", text, xa_); }

void QuorSDI12::SetXgCalibration(const char* text) {
    StoreFromFile("Xg calibration", text, xg_);
    xgPresent_ = true;  // an Xg not taken is one the restore reports as not restored
}

void QuorSDI12::SetSensorTypeFromFile(std::int32_t sensorType) {
    if (sensorType <= sdi12::kTypeNone || sensorType >= sdi12::kTypeInvalid) {
        sensorType_ = 0;
        numericType_ = false;
        Log("QuorSDI12 did not take the sensor type %d from the settings file", static_cast<int>(sensorType));
        return;
    }
    sensorType_ = static_cast<std::uint8_t>(sensorType);
    const bool letter = sensorType > ' ' && sensorType <= '~' && !(sensorType >= '0' && sensorType <= '9');
    numericType_ = !letter;
}

ResultCode QuorSDI12::SDIGetSensorSettings() {
    ClearCapturedSettings();
    // A sensor without a type or serial number is still updated; one whose
    // identification or serial number can't be kept whole is captured
    // without it (-35).
    bool allKept = true;
    ResultCode r = SDIGetSensorVersion();
    if (r == rc::kSomeSettingsFailed) {
        allKept = false;
    } else if (r < 0) {
        return r;
    }
    SDIGetSensorType();
    if (SDIGetSensorSN() == rc::kUnreadableAnswer) allKept = false;
    r = SDIGetSensorCalibration();
    if (r == rc::kSomeSettingsFailed) {
        allKept = false;
    } else if (r < 0) {
        return r;
    }
    if ((sensorType_ == sdi12::kTypeP7 || sensorType_ == sdi12::kTypeWLD) &&
        version_ < sdi12::kNewCalibrationFormatVersion) {
        SDIConvertCalibration();
    }
    if (!allKept) {
        Log("SDIGetSensorSettings could not capture all sensor settings");
        return rc::kSomeSettingsFailed;
    }
    return rc::kOk;
}

ResultCode QuorSDI12::SDISetSensorSettings() {
    SDISetSensorSN();  // a sensor that keeps no serial number is still usable
    ResultCode address = SDISetSensorAddress(address_);
    ResultCode calibration = SDISetSensorCalibration(nullptr);
    if (calibration < 0) return calibration;
    if (address < 0) return address;
    return rc::kOk;
}

bool QuorSDI12::StoreCalibrationPart(const char* part, std::string_view text, sdi12::CalibrationText& out) {
    out.Clear();
    switch (sdi12::ReadField(text, out)) {
    case sdi12::FieldRead::kRead:
    case sdi12::FieldRead::kAbsent:
        return true;
    case sdi12::FieldRead::kTooLong:
        Log("SDIGetSensorCalibration found calibration %s of %u characters, longer than %u", part,
            static_cast<unsigned>(text.size()), static_cast<unsigned>(sdi12::kCalibrationChars));
        return false;
    case sdi12::FieldRead::kUnsendable:
        break;
    }
    Log("SDIGetSensorCalibration found calibration %s that can't be written back", part);
    return false;
}

ResultCode QuorSDI12::SDIGetSensorCalibration() {
    const int type = sensorType_;
    if (!sdi12::HasX5Calibration(type)) {
        Log("SDIGetSensorCalibration no calibration for version RNQ-5");
        return 0;
    }
    ResultCode r = 0;
    for (std::uint32_t i = 0; i < kAttentionTries; ++i) {
        r = Ask("?!");
        if (r > 0) break;
    }
    if (r <= 0) Log("SDIGetSensorCalibration \"attention sequence\" recieved error %i", static_cast<int>(r));

    r = Ask("?X4!");
    if (r < 0) {
        Log("SDIGetSensorCalibration recieved error %i looking for X4", static_cast<int>(r));
        return r;
    }
    // Parts the restore would write and that could not be kept whole.
    bool allKept = true;
    std::string x5(sdi12::ReplyText(Answer()));
    if (sdi12::ReadsXaCalibration(type)) {
        // These sensors end the X4 text with a line feed of their own.
        std::size_t lineFeed = x5.find('\n');
        if (lineFeed != std::string::npos) x5.resize(lineFeed);
    }
    if (sdi12::NeedsMinusOneRepair(type) && sdi12::RepairMinusOneEntries(x5)) {
        Log("SDIGetSensorCalibration updated X4 to remove '-1'");
    }
    if (StoreCalibrationPart("X4", x5, x5_)) {
        Log("SDIGetSensorCalibration found calibration X4 \"%s\"", x5_.c_str());
    } else {
        allKept = false;
    }

    if (sdi12::ReadsXaCalibration(type)) {
        r = Ask("?Xa!");
        const bool readOk = r >= 0;
        if (!readOk) {
            Log("SDIGetSensorCalibration recieved error %i looking for Xa", static_cast<int>(r));
            if (sdi12::RequiresXaCalibration(type)) return r;
        }
        const bool keepsXa = sdi12::WritesXaCalibration(type);
        if (readOk && !StoreCalibrationPart("Xa", sdi12::ReplyText(Answer()), xa_)) {
            // The sensor holds a calibration we can't keep: no default stands in for it.
            if (keepsXa) allKept = false;
        } else {
            sdi12::XaChoice choice =
                sdi12::ChooseXaReply(type, version_, readOk ? Answer() : std::string_view(), readOk);
            xa_ = sdi12::ReplyText(choice.reply);
            Log("SDIGetSensorCalibration %s calibration Xa \"%s\"", choice.defaulted ? "set" : "found", xa_.c_str());
            // A read that failed without a default leaves nothing to write back.
            if (!readOk && !choice.defaulted && keepsXa) allKept = false;
        }
    }

    if (sdi12::HasXgCalibration(type)) {
        r = Ask("?Xg!");
        if (r < 0) {
            xgPresent_ = false;
            allKept = false;
            Log("SDIGetSensorCalibration recieved error %i looking for Xg", static_cast<int>(r));
        } else if (Contains(Answer(), "ERROR")) {
            xgPresent_ = false;
            Log("SDIGetSensorCalibration recieved \"ERROR\" response looking for Xg");
        } else {
            // Present even when its text can't be kept, so the restore says so.
            xgPresent_ = true;
            if (StoreCalibrationPart("Xg", sdi12::ReplyText(Answer()), xg_)) {
                Log("SDIGetSensorCalibration found calibration Xg \"%s\"", xg_.c_str());
            } else {
                allKept = false;
            }
        }
    }
    return allKept ? rc::kOk : rc::kSomeSettingsFailed;
}

ResultCode QuorSDI12::WriteCalibrationPart(const char* part, const char* text, bool* transactionFailed) {
    Command command;
    command.Format("?%s%s!", part, text);
    ResultCode r = WriteConfirmed(command.c_str(), transactionFailed);
    if (r == rc::kOk) Log("SDISetSensorCalibration successfully set sensor %s calibration to \"%s\"", part, text);
    if (*transactionFailed) Log("SDISetSensorCalibration recieved error %i for %s", static_cast<int>(r), part);
    return r;
}

ResultCode QuorSDI12::SDISetSensorCalibration(const char* x5) {
    const int type = sensorType_;
    if (!sdi12::HasX5Calibration(type)) {
        Log("SDISetSensorCalibration skipped RNQ-5");
        return 0;
    }
    if (x5 && (std::strlen(x5) > sdi12::kCalibrationChars || !sdi12::IsSendableText(x5))) {
        Log("SDISetSensorCalibration was given an X5 calibration that doesn't fit its command");
        return rc::kOutOfRange;
    }
    const sdi12::CalibrationText text = x5 ? sdi12::CalibrationText(x5) : x5_;
    // Every part that lands is calibration the sensor keeps, so each is
    // written even when an earlier one failed. A later part's refusal or
    // failed transaction replaces an earlier failure; a part that was never
    // confirmed only spoils a result that was still good. An empty part is
    // never written (it would wipe what the new firmware starts with) and
    // counts as not restored.
    ResultCode result = rc::kOk;
    bool notRestored = false;
    bool failed = false;
    auto writePart = [&](const char* part, const sdi12::CalibrationText& partText) {
        if (partText.empty()) {
            Log("SDISetSensorCalibration doesn't have a valid %s calibration string", part);
            notRestored = true;
            return;
        }
        ResultCode r = WriteCalibrationPart(part, partText.c_str(), &failed);
        if (r >= 0) return;
        if (failed || r == rc::kDeviceError || result >= 0) result = r;
    };
    writePart("X5", text);
    if (!SensorTypeKnown()) {
        // Which further parts this sensor takes back depends on its type.
        Log("SDISetSensorCalibration doesn't know the sensor type: Xb and Xg calibration not restored");
        notRestored = true;
    } else {
        if (sdi12::WritesXaCalibration(type)) writePart("Xb", xa_);
        if (sdi12::HasXgCalibration(type) && xgPresent_) writePart("Xg", xg_);
    }
    if (result >= 0 && notRestored) result = rc::kSomeSettingsFailed;
    if (result != rc::kOk) Log("SDISetSensorCalibration did not set sensor calibration");
    return result;
}

ResultCode QuorSDI12::SDIConvertCalibration() {
    if (version_ >= sdi12::kNewCalibrationFormatVersion) return 0;
    sdi12::CalibrationText converted;
    if (!sdi12::ConvertOldCalibration(x5_.view(), converted)) {
        Log("SDIConvertCalibration could not convert calibration X4 \"%s\"", x5_.c_str());
        return 0;
    }
    Log("SDIConvertCalibration converted calibration X4 \"%s\" to \"%s\"", x5_.c_str(), converted.c_str());
    x5_ = converted;
    return rc::kOk;
}

}  // namespace quor
