// The loader link: construction, the framed command exchange, invocation,
// handshake, attach, check, hand-off and disconnect.
#include "bsl/QuorBSLHost.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace quor {

namespace {
constexpr const char* kCarriageReturn = "\r";
constexpr const char* kConnectRequest = "P";

// A device's reply for a log line: control characters as "\r", "\n" or
// "\xNN", so that the line stays one line.
const char* PrintableText(const char* text, std::uint32_t count, char* out, std::size_t capacity) {
    std::size_t n = 0;
    for (std::uint32_t i = 0; i < count && n + 5 < capacity; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            out[n++] = '\\';
            out[n++] = c == '\r' ? 'r' : 'n';
        } else if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            n += static_cast<std::size_t>(std::snprintf(out + n, capacity - n, "\\x%02X", c));
        } else {
            out[n++] = static_cast<char>(c);
        }
    }
    out[n] = '\0';
    return out;
}
}  // namespace

QuorBSLHost::QuorBSLHost(QuorLog* log) : QuorBSLHost(log, ProductEmbeddedImage()) {}

QuorBSLHost::QuorBSLHost(QuorLog* log, const EmbeddedImage& image) : QuorSerial(log) {
    commandBuffer_.reset(new (std::nothrow) char[kCommandBufferSize]());
    replyBuffer_.reset(new (std::nothrow) char[kCommandBufferSize]());
    BuildEmbeddedImage(image);
    if (image_.constructionStatus == 0 && (!commandBuffer_ || !replyBuffer_)) {
        image_.constructionStatus = rc::kOutOfMemory;
    }
}

QuorBSLHost::~QuorBSLHost() { BSLDisconnect(); }

void QuorBSLHost::LogBSL(std::uint32_t level, const char* format, ...) const {
    if (!log_) return;
    va_list ap;
    va_start(ap, format);
    log_->WriteLineV(level, kTag, format, ap);
    va_end(ap);
}

void QuorBSLHost::BuildEmbeddedImage(const EmbeddedImage& image) {
    image_.label = image.label;
    image_.deviceType = image.deviceType;
    image_.versionNumber = 0;
    image_.loadedFromFile = false;
    for (std::uint32_t i = 0; i < kVectorCount; ++i) image_.vectors[i] = image.vectors ? image.vectors[i] : kErasedWord;

    image_.text.reset(new (std::nothrow) char[image.recordedLength + 1]());
    if (!image_.text) {
        image_.textLength = 0;
        image_.constructionStatus = rc::kOutOfMemory;
        return;
    }
    std::uint32_t copied = 0;
    std::uint64_t sum = 0;
    while (image.text && copied < image.recordedLength && image.text[copied] != '\0') {
        image_.text[copied] = image.text[copied];
        sum += static_cast<unsigned char>(image.text[copied]);
        ++copied;
    }
    // A stored text longer than recorded fails the check just the same.
    const bool longer = image.text && image.text[copied] != '\0';
    image_.textLength = copied;
    image_.constructionStatus =
        (copied != image.recordedLength || longer || sum != image.recordedSum) ? rc::kBuiltInImageCorrupt : 0;
}

// --- the framed exchange ---

ResultCode QuorBSLHost::BSLCommand(char letter, const char* payload, std::uint32_t length, char terminator,
                                   char* reply, std::uint32_t* milliseconds) {
    if (milliseconds) *milliseconds = 0;
    if (!connected_) return rc::kNoAnswer;
    if (length > kBSLMaxPayloadChars) return rc::kOutOfRange;
    if (!reply || (!payload && letter != 'g')) return rc::kMissingArgument;
    return SendFrame(letter, payload, payload ? length : 0, terminator, reply, milliseconds);
}

ResultCode QuorBSLHost::BSLCommand(char letter, const std::uint32_t* values, std::uint32_t count, char terminator,
                                   char* reply, std::uint32_t* milliseconds, bool fiveDigits) {
    if (milliseconds) *milliseconds = 0;
    if (!connected_) return rc::kNoAnswer;
    if (count > kBSLMaxValues) return rc::kOutOfRange;
    if (!reply || (!values && count > 0)) return rc::kMissingArgument;
    char payload[kBSLMaxPayloadChars + 1];
    std::size_t length = FormatBSLValues(payload, sizeof payload, values, count, fiveDigits);
    // More digits than one frame carries would not fit the command buffer.
    if (count > 0 && length == 0) return rc::kOutOfRange;
    return SendFrame(letter, payload, static_cast<std::uint32_t>(length), terminator, reply, milliseconds);
}

ResultCode QuorBSLHost::SendFrame(char letter, const char* payload, std::uint32_t length, char terminator,
                                  char* reply, std::uint32_t* milliseconds) {
    reply[0] = '\0';
    if (!commandBuffer_) return rc::kOutOfMemory;
    char* frame = commandBuffer_.get();
    const std::size_t frameLength = BuildBSLFrame(frame, kCommandBufferSize, letter, payload, length);
    if (frameLength == 0) return rc::kOutOfRange;

    const std::uint32_t start = DSMilliseconds();
    auto elapsed = [&] {
        if (milliseconds) *milliseconds = DSMilliseconds() - start;
    };
    DSPurge(1);
    std::uint32_t written = 0;
    ResultCode r = DSWrite(frame, static_cast<std::uint32_t>(frameLength), &written);
    if (r < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLCommand got unexpected response (%d) from DCommWrite", r);
        elapsed();
        return r;
    }
    // A timeout is no error here: whatever came is judged.
    r = DSWait(kCommandReplyTimeoutMs, terminator);
    if (r < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLCommand got unexpected response (%d) from DCommWait", r);
        elapsed();
        return r;
    }
    std::uint32_t count = 0;
    r = DSRead(reply, kBSLReplyMaxChars, &count);
    if (r < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLCommand got unexpected response (%d) from DCommRead", r);
        elapsed();
        return r;
    }
    if (count > kBSLReplyMaxChars) count = kBSLReplyMaxChars;
    reply[count] = '\0';
    elapsed();
    return JudgeBSLReply(reply, count, count == 0 ? rc::kNoAnswer : 0);
}

// --- getting into the loader ---

ResultCode QuorBSLHost::BSLConnect(const char* portName, std::uint32_t baud, bool showProgress,
                                   std::uint32_t tries) {
    if (!portName || !*portName) return rc::kMissingArgument;
    showProgress_ = showProgress;
    tries_ = tries;
    loaderVersion_ = 0;

    ResultCode r = DSOpen(portName, kApplicationBaud);
    if (r < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLConnect received error while opening serial port (%d)", r);
        return r;
    }
    connected_ = true;
    DSSleep(kConnectSettleMs);

    ResultCode result = rc::kOk;
    for (std::uint32_t attempt = 0; attempt < tries_; ++attempt) {
        r = BSLInvocation(baud);
        if (r < 0 && BSLCheck(portName, baud) != rc::kLoaderConnected) {
            result = r;
            break;
        }
        char reply[kBSLReplyBufferSize];
        std::uint32_t ms = 0;
        r = BSLCommand('g', nullptr, 0, '\r', reply, &ms);
        if (r < 0) {
            result = r;
            DSSleep(kRetryPauseMs);
            continue;
        }
        if (std::strstr(reply, "ERROR")) {
            result = rc::kLoaderSilent;
            DSSleep(kRetryPauseMs);
            continue;
        }
        const ResultCode version = ParseLoaderVersion(reply, static_cast<std::uint32_t>(r));
        if (version > 0) {
            loaderVersion_ = version;
            result = version;
            break;
        }
        char shown[4 * kBSLReplyBufferSize];
        LogBSL(QuorLog::kLevelFailure, "BSLConnect got a version reply that is no version: \"%s\"",
               PrintableText(reply, static_cast<std::uint32_t>(r), shown, sizeof shown));
        result = version;
    }
    if (result < 0) {
        BSLDisconnect();
        LogBSL(QuorLog::kLevelFailure, "BSLConnect failed to connect to device (error %d)", result);
    } else {
        LogBSL(QuorLog::kLevelMilestone, "BSLConnect connected to device running QuorBSL version %d",
               loaderVersion_);
    }
    return result;
}

ResultCode QuorBSLHost::SendAndCollect(const char* text, std::uint32_t pauseMs, char* reply) {
    std::memset(reply, 0, kLinkReplyChars + 1);
    std::uint32_t n = 0;
    ResultCode r = DSWrite(text, static_cast<std::uint32_t>(std::strlen(text)), &n);
    if (r < 0) return r;
    DSSleep(pauseMs);
    r = DSRead(reply, kLinkReplyChars, &n);
    if (r < 0) return r;
    reply[n <= kLinkReplyChars ? n : kLinkReplyChars] = '\0';
    return static_cast<ResultCode>(n);
}

ResultCode QuorBSLHost::BSLInvocation(std::uint32_t baud) {
    char reply[kLinkReplyChars + 1];
    char invocation[16];
    std::snprintf(invocation, sizeof invocation, "boot %s\r", kInvocationWord);

    // Phase 1: ask the running firmware, at its own rate, to start the loader.
    ResultCode result = rc::kOk;
    bool portError = false;
    for (std::uint32_t attempt = 0; attempt < tries_; ++attempt) {
        DSPurge(1);
        if (baud != kApplicationBaud) {
            ResultCode b = DSHostBaud(kApplicationBaud);
            if (b < 0) {
                result = b;
                portError = true;
                break;
            }
        }
        ResultCode r = SendAndCollect(invocation, kInvocationReplyPauseMs, reply);
        if (r < 0) {
            result = r;
            portError = true;
            break;
        }
        if (std::strstr(reply, "ERROR")) {
            result = rc::kLoaderSilent;
            DSSleep(kRetryPauseMs);
            continue;
        }
        if (std::strstr(reply, "QuorBSL MISSING")) {
            result = rc::kNoWorkingLoader;
            break;
        }
        if (std::strchr(reply, '?')) {
            result = rc::kLoaderConnected;
            break;
        }
        if (reply[0] == '\0') {
            result = rc::kNoWorkingLoader;
            DSSleep(kRetryPauseMs);
            continue;
        }
        if (std::strstr(reply, "OK") || std::strchr(reply, '$')) result = rc::kOk;
        break;
    }
    if (result > 0 && tries_ == 0) result = rc::kNoAnswerLastAttempt;

    // Phase 2: the handshake, at the loader's rate.
    std::uint32_t handshakeAttempt = 0;
    if (result > 0 && !portError) {
        ResultCode b = baud != kApplicationBaud ? DSHostBaud(baud) : 0;
        if (b < 0) result = b;
        for (std::uint32_t attempt = 0; b >= 0 && attempt < tries_; ++attempt) {
            handshakeAttempt = attempt + 1;
            ResultCode r = SendAndCollect(kCarriageReturn, kHandshakeReplyPauseMs, reply);
            if (r < 0) {
                result = r;
                break;
            }
            if (reply[0] != '$') {
                result = rc::kNoWorkingLoader;
                continue;
            }
            DSPurge(1);
            r = SendAndCollect(kConnectRequest, kHandshakeReplyPauseMs, reply);
            if (r < 0) {
                result = r;
                break;
            }
            if (std::strchr(reply, '#')) {
                result = rc::kOk;
                break;
            }
            result = rc::kLoaderSilent;
            DSSleep(kRetryPauseMs);
        }
    }

    if (result > 0) {
        LogBSL(QuorLog::kLevelMilestone, "BSLInvocation successful (%d tries)", static_cast<int>(handshakeAttempt));
        return result;
    }
    if (result == rc::kLoaderConnected) {
        LogBSL(QuorLog::kLevelMilestone, "BSLInvocation found the QuorBSL already active");
        // The loader already runs: talk to it at its own rate.
        if (baud != kApplicationBaud) DSHostBaud(baud);
        return rc::kOk;
    }
    LogBSL(QuorLog::kLevelFailure, "BSLInvocation failed with error %d", result);
    return result;
}

ResultCode QuorBSLHost::BSLCheck(const char* portName, std::uint32_t baud) {
    if (connected_) {
        DSHostBaud(baud);
    } else {
        ResultCode r = DSOpen(portName, baud);
        if (r < 0) {
            LogBSL(QuorLog::kLevelFailure, "BSLCheck received error while opening serial port (%d)", r);
            return r;
        }
        connected_ = true;
    }
    DSSleep(kCheckSettleMs);
    DSPurge(1);
    char reply[kLinkReplyChars + 1];
    ResultCode r = SendAndCollect(kCarriageReturn, kCheckReplyPauseMs, reply);
    if (r < 0) return r;
    if (std::strchr(reply, '?')) {
        LogBSL(QuorLog::kLevelMilestone, "BSLCheck found the QuorBSL already active");
        return rc::kLoaderConnected;
    }
    if (std::strchr(reply, '$')) {
        LogBSL(QuorLog::kLevelMilestone, "BSLCheck found the QuorBSL waiting for a connection");
        return rc::kLoaderWaiting;
    }
    LogBSL(QuorLog::kLevelDetail, "BSLCheck didn't get a response from the QuorBSL");
    return rc::kNoAnswer;
}

ResultCode QuorBSLHost::BSLAttach() {
    char reply[kLinkReplyChars + 1];
    ResultCode result = rc::kNoAnswerLastAttempt;
    std::uint32_t attempt = 0;
    while (attempt < tries_) {
        ++attempt;
        DSPurge(1);
        ResultCode r = SendAndCollect(kCarriageReturn, kAttachReplyPauseMs, reply);
        if (r < 0) {
            result = r;
            break;
        }
        if (std::strstr(reply, "?\r")) {
            result = rc::kLoaderConnected;
            break;
        }
        DSPurge(1);
        r = SendAndCollect(kConnectRequest, kAttachConnectPauseMs, reply);
        if (r < 0) {
            result = r;
            break;
        }
        if (reply[0] == '#') {
            result = rc::kOk;
            break;
        }
        result = rc::kLoaderSilent;
        DSSleep(kRetryPauseMs);
    }
    if (result > 0) {
        LogBSL(QuorLog::kLevelMilestone, "BSLAttach successful (%d tries)", static_cast<int>(attempt));
        return result;
    }
    if (result == rc::kLoaderConnected) {
        LogBSL(QuorLog::kLevelMilestone, "BSLAttach found the QuorBSL already active");
        return rc::kOk;
    }
    LogBSL(QuorLog::kLevelFailure, "BSLAttach failed with error %d", result);
    return result;
}

ResultCode QuorBSLHost::BSLDisconnect() {
    if (!connected_) return 0;
    ResultCode r = DSClose();
    connected_ = false;
    DSSleep(kDisconnectPauseMs);
    return r;
}

ResultCode QuorBSLHost::BSLHandOff(PortDriver* port, char* readBuffer, const char* portName, bool showProgress,
                                   std::uint32_t tries) {
    // A missing handle would leave the host "connected" to nothing.
    if (!port || !readBuffer || !portName) {
        LogBSL(QuorLog::kLevelFailure, "BSLHandOff called with some NULL parameters");
        return rc::kOutOfRange;
    }
    AttachBorrowedPort(port, readBuffer, portName);
    baud_ = kApplicationBaud;
    showProgress_ = showProgress;
    tries_ = tries ? tries : kDefaultTries;
    connected_ = true;
    return rc::kOk;
}

ResultCode QuorBSLHost::BSLHandBack() {
    if (PortIsBorrowed()) {
        DetachBorrowedPort();
    } else if (IsOpen()) {
        // Our own port has no other owner to hand it to: close it rather
        // than forget it open.
        DSClose();
    }
    connected_ = false;
    return rc::kOk;
}

}  // namespace quor
