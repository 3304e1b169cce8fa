#include "logger/AQVEN_Protocol.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "logger/ReplyRules.h"

namespace quor {

AQVEN_Protocol::AQVEN_Protocol(QuorLog* log) : QuorSerial(log) {
    replyBuffer_.reset(new (std::nothrow) char[kReplyBufferSize]);
    readBuffer_.reset(new (std::nothrow) char[kReadBufferSize]);
    if (!replyBuffer_ || !readBuffer_) {
        constructionStatus_ = rc::kOutOfMemory;
        replyBuffer_.reset();
        readBuffer_.reset();
        return;
    }
    replyBuffer_[0] = '\0';
    std::memset(readBuffer_.get(), 0, kReadBufferSize);
    SetReadBuffer(readBuffer_.get());
    retryCount_ = config_.serialRetries;
}

AQVEN_Protocol::~AQVEN_Protocol() {
    if (connection_.linkType != kLinkNone) {
        config_.keepPortOpen = false;
        DisconnectDevice(false);
    }
    // The port must not outlive the read buffer it borrows from us.
    if (IsOpen()) DSClose();
    SetReadBuffer(nullptr);
}

void AQVEN_Protocol::Log(std::uint32_t level, const char* format, ...) const {
    if (!log_) return;
    va_list ap;
    va_start(ap, format);
    log_->WriteLineV(level, PortName(), format, ap);
    va_end(ap);
}

bool AQVEN_Protocol::Progress(std::uint32_t total, std::uint32_t done, int phase) {
    if (!config_.progressReporting || !progressHook_) return true;
    return progressHook_(total, done, phase);
}

void AQVEN_Protocol::TraceSent(const char* text) {
    if ((config_.traceMode == 2 || config_.traceMode == 3) && traceHook_) traceHook_(text);
}

void AQVEN_Protocol::TraceReceived(const char* text) {
    if ((config_.traceMode == 1 || config_.traceMode == 3) && traceHook_) traceHook_(text);
}

std::uint32_t AQVEN_Protocol::Since(std::uint32_t startMs) const { return DSMilliseconds() - startMs; }

ResultCode AQVEN_Protocol::WriteRaw(const char* text) {
    std::uint32_t written = 0;
    ResultCode r = DSWrite(text, static_cast<std::uint32_t>(std::strlen(text)), &written);
    TraceSent(text);
    return r;
}

ResultCode AQVEN_Protocol::Configure(ProtocolConfig* config, int direction) {
    if (!config) return rc::kMissingArgument;
    if (direction == 0) {
        *config = config_;
        return rc::kOk;
    }
    if (config->serialRetries > kMaxRetries || config->radioRetries > kMaxRetries) return rc::kOutOfRange;
    if (config->serialRetries == 0) config->serialRetries = kDefaultSerialRetries;
    if (config->radioRetries == 0) config->radioRetries = kDefaultRadioRetries;
    if (config->traceMode < 0 || config->traceMode > 3 || config->extraReplyTimeMs > kMaxExtraReplyTimeMs)
        return rc::kOutOfRange;
    config_ = *config;
    retryCount_ = OnRadioLink() ? config_.radioRetries : config_.serialRetries;
    return rc::kOk;
}

ResultCode AQVEN_Protocol::DeviceCommand(const char* command, char terminator, std::uint32_t timeoutMs,
                                         char* answer, std::uint32_t* capacity, std::uint32_t* elapsedMs) {
    const std::uint32_t start = DSMilliseconds();
    if (!command || !replyBuffer_) {
        if (answer && capacity && *capacity) answer[0] = '\0';
        if (capacity) *capacity = 0;
        if (elapsedMs) *elapsedMs = 0;
        return command ? rc::kOutOfMemory : rc::kMissingArgument;
    }
    char* reply = replyBuffer_.get();
    ResultCode result = rc::kOk;
    std::uint32_t empty = 0;
    std::uint32_t received = 0;
    const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(command));

    for (std::uint32_t attempt = 0; attempt < retryCount_; ++attempt) {
        DSPurge(1);
        reply[0] = '\0';
        received = 0;
        std::uint32_t written = 0;
        ResultCode r = DSWrite(command, length, &written);
        TraceSent(command);
        if (r < 0) {
            Log(QuorLog::kLevelDetail, "DeviceCommand got unexpected response (%d) from DCommWrite", r);
            result = r;
            break;
        }
        r = DSWait(timeoutMs + config_.extraReplyTimeMs, terminator);
        if (r < 0) {
            Log(QuorLog::kLevelDetail, "DeviceCommand got unexpected response (%d) from DCommWait", r);
            result = r;
            break;
        }
        std::uint32_t count = 0;
        r = DSRead(reply, kReadBufferSize, &count);
        if (r < 0) {
            Log(QuorLog::kLevelDetail, "DeviceCommand got unexpected response (%d) from DCommRead", r);
            result = r;
            break;
        }
        if (count == 0) {
            ++empty;
            DSSleep(kEmptyAttemptPauseMs);
            result = rc::kNoAnswerLastAttempt;
            continue;
        }
        received = count < kReadBufferSize ? count : kReadBufferSize;
        reply[received] = '\0';
        TraceReceived(reply);
        // Every rule below reads lines ended by one carriage return.
        received = NormalizeLineEnds(reply, received);
        ReplyVerdict verdict = JudgeReply(reply, command);
        if (verdict == ReplyVerdict::kEcho) {
            Log(QuorLog::kLevelFailure, "DeviceCommand is hearing echoed commands -- device is broken? Relay active?");
            result = rc::kEchoedCommand;
            break;
        }
        if (verdict == ReplyVerdict::kDeviceError) {
            result = rc::kDeviceError;
            continue;
        }
        result = rc::kOk;
        break;
    }
    if (elapsedMs) *elapsedMs = Since(start);
    if (empty == retryCount_) result = rc::kNoAnswer;
    if (result < 0) {
        if (answer && capacity && *capacity) answer[0] = '\0';
        if (capacity) *capacity = 0;
        return result;
    }
    if (answer && capacity && *capacity) {
        std::uint32_t n = received < *capacity - 1 ? received : *capacity - 1;
        std::memcpy(answer, reply, n);
        answer[n] = '\0';
        *capacity = n;
        if (n < received) {
            Log(QuorLog::kLevelDetail, "DeviceCommand got %d more bytes than expected (%s)",
                static_cast<int>(received - n), command);
        }
    }
    if (IsEmptyPromptReply(reply)) {
        Log(QuorLog::kLevelDetail, "DeviceCommand: device returned empty answer");
        return rc::kEmptyPrompt;
    }
    return static_cast<ResultCode>(received);
}

}  // namespace quor
