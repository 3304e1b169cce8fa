#include "serial/QuorSerial.h"

#include <cstring>
#include <ctime>

#include "platform/Clock.h"
#include "platform/EventPump.h"

namespace quor {

namespace {
constexpr const char* kClassTag = "QuorSerial";
constexpr std::uint32_t kMicrosPerMs = 1000;
}  // namespace

QuorSerial::QuorSerial(QuorLog* log) : log_(log) {}

QuorSerial::~QuorSerial() {
    if (port_ && !PortIsBorrowed()) DSClose();
    ReleaseOwnedBuffer();
}

void QuorSerial::LogLine(std::uint32_t level, const char* tag, const char* format, ...) const {
    if (!log_) return;
    va_list ap;
    va_start(ap, format);
    log_->WriteLineV(level, tag, format, ap);
    va_end(ap);
}

void QuorSerial::SetReadBuffer(char* buffer) {
    if (ownsReadBuffer_) ReleaseOwnedBuffer();
    readBuffer_ = buffer;
    ownsReadBuffer_ = false;
}

void QuorSerial::ReleaseOwnedBuffer() {
    if (ownsReadBuffer_) {
        ownedBuffer_.reset();
        readBuffer_ = nullptr;
        ownsReadBuffer_ = false;
    }
}

void QuorSerial::AttachBorrowedPort(PortDriver* port, char* readBuffer, const char* portName) {
    if (port_ && !PortIsBorrowed()) DSClose();
    ReleaseOwnedBuffer();
    port_ = port;
    readBuffer_ = readBuffer;
    ownsReadBuffer_ = false;
    portName_ = portName ? portName : "";
    replyReady_ = false;
}

void QuorSerial::DetachBorrowedPort() {
    if (!PortIsBorrowed()) return;
    port_ = nullptr;
    readBuffer_ = nullptr;
    replyReady_ = false;
}

ResultCode QuorSerial::DSOpen(const char* portName, std::uint32_t baud) {
    // A name cut to fit could open a different device: refuse it whole,
    // before anything open is given up.
    const std::size_t nameLength = portName ? std::strlen(portName) : 0;
    if (nameLength > kMaxPortNameChars) {
        LogLine(QuorLog::kLevelFailure, kClassTag, "DSOpen refused a port name of %zu characters (at most %zu)",
                nameLength, kMaxPortNameChars);
        return rc::kOutOfRange;
    }
    if (port_) {
        // The value of a handle has no meaning here; log the port's address bits.
        LogLine(QuorLog::kLevelTrace, kClassTag, "DSOpen found port \"%d\" already open",
                static_cast<int>(reinterpret_cast<std::uintptr_t>(port_) & 0x7FFFFFFF));
        if (PortIsBorrowed()) {
            DetachBorrowedPort();
        } else {
            DSClose();
        }
        platform::CurrentClock().SleepMicros(std::uint64_t{kReopenPauseMs} * kMicrosPerMs);
    }
    portName_ = portName ? portName : "";

    std::unique_ptr<PortDriver> port;
    PortError e = KnownPortError(CurrentPortProvider().Open(portName_.c_str(), port));
    if (e != kPortOk || !port) {
        if (e == kPortOk) e = kErrNoSuchPort;
        LogLine(QuorLog::kLevelFailure, portName_.c_str(),
                "DSOpen failed to open comm port (error %d)", e);
        return -e;
    }
    ownedPort_ = std::move(port);
    port_ = ownedPort_.get();

    e = port_->SetQueueSizes(kQueueSizeBytes, kQueueSizeBytes);
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelTrace, portName_.c_str(),
                "DSOpen failed to set buffer size on comm port (error %d)", e);
    }
    PortConfig config;
    e = KnownPortError(port_->GetConfig(config));
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelFailure, portName_.c_str(),
                "DSOpen failed to retreive DCB on comm port (error %d)", e);
        return -e;
    }
    // The rate is recorded once the port runs at it.
    const std::uint32_t rate = baud ? baud : kDefaultBaud;
    config.baud = rate;
    config.dataBits = 8;
    config.parity = Parity::kNone;
    config.stopBits = 1;
    config.ctsFlow = false;
    config.xonXoff = false;
    config.dtr = true;
    config.rts = true;
    e = KnownPortError(port_->ApplyConfig(config));
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelFailure, portName_.c_str(),
                "DSOpen failed to apply DCB on comm port (error %d)", e);
        return -e;
    }
    baud_ = rate;
    PortTimeouts timeouts;
    timeouts.readFirstByteMs = kReadFirstByteTimeoutMs;
    e = KnownPortError(port_->SetTimeouts(timeouts));
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelFailure, portName_.c_str(),
                "DSOpen failed to set timeouts on comm port (error %d)", e);
        return -e;
    }
    port_->SetDtr(true);
    port_->ClearErrors();

    if (!readBuffer_) {
        ownedBuffer_.reset(new (std::nothrow) char[kReadBufferSize]);
        if (!ownedBuffer_) return rc::kOutOfMemory;
        readBuffer_ = ownedBuffer_.get();
        ownsReadBuffer_ = true;
    }
    std::memset(readBuffer_, 0, kReadBufferSize);
    replyReady_ = false;
    LogLine(QuorLog::kLevelDetail, portName_.c_str(),
            "DSOpen successfully opened and configured comm port at %d baud", static_cast<int>(baud_));
    return rc::kOk;
}

ResultCode QuorSerial::DSClose() {
    if (!port_) return 0;
    if (PortIsBorrowed()) {
        // A borrowed port belongs to its owner: forget it, close nothing.
        DetachBorrowedPort();
        return rc::kOk;
    }
    port_->SetDtr(false);
    PortError e = port_->Close();
    port_ = nullptr;
    ownedPort_.reset();
    ReleaseOwnedBuffer();
    replyReady_ = false;
    if (e == kPortOk) {
        LogLine(QuorLog::kLevelDetail, portName_.c_str(), "DSClose closed comm port");
        return rc::kOk;
    }
    LogLine(QuorLog::kLevelFailure, portName_.c_str(), "DSClose failed to close comm port (error %d)", 1);
    return -1;
}

ResultCode QuorSerial::DSRead(char* buffer, std::uint32_t capacity, std::uint32_t* count) {
    std::uint32_t delivered = 0;
    if (count) *count = 0;
    if (!readBuffer_) return rc::kOutOfMemory;
    if (!buffer) return rc::kMissingArgument;

    std::size_t buffered = strnlen(readBuffer_, kReadBufferSize);
    if (buffered > 0) {
        delivered = static_cast<std::uint32_t>(buffered < capacity ? buffered : capacity);
        std::memcpy(buffer, readBuffer_, delivered);
        readBuffer_[0] = '\0';
        // A reply cut to the caller's capacity is complete as far as the
        // caller goes: reading on would glue a later reply to its remains.
        if (buffered > capacity) replyReady_ = true;
        LogLine(QuorLog::kLevelTrace, portName_.c_str(), "DSRead read %d bytes from gReadBuffer",
                static_cast<int>(delivered));
    }
    if (count) *count = delivered;
    if (replyReady_) {
        replyReady_ = false;
        return static_cast<ResultCode>(delivered);
    }
    if (!port_) {
        LogLine(QuorLog::kLevelFailure, kClassTag, "DSRead tried to read from a closed port");
        return rc::kNoAnswer;
    }
    std::size_t got = 0;
    PortError e = port_->Read(reinterpret_cast<std::uint8_t*>(buffer) + delivered, capacity - delivered, got);
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelFailure, portName_.c_str(), "DSRead ReadFile failed (error %d)", e);
        return rc::kNoAnswer;
    }
    std::size_t kept = DropNulBytes(buffer + delivered, got);
    LogDroppedNuls("DSRead", static_cast<std::uint32_t>(got - kept));
    delivered += static_cast<std::uint32_t>(kept);
    if (count) *count = delivered;
    LogLine(QuorLog::kLevelTrace, portName_.c_str(), "DSRead read %d btyes", static_cast<int>(delivered));
    return static_cast<ResultCode>(delivered);
}

ResultCode QuorSerial::DSWrite(const char* data, std::uint32_t count, std::uint32_t* written) {
    if (written) *written = 0;
    if (!port_) {
        LogLine(QuorLog::kLevelFailure, kClassTag, "DSWrite tried to write to a closed port");
        return rc::kNoAnswer;
    }
    std::size_t n = 0;
    PortError e = port_->Write(reinterpret_cast<const std::uint8_t*>(data), data ? count : 0, n);
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelFailure, portName_.c_str(), "DSWrite WriteFile failed (error %d)", e);
        return rc::kNoAnswer;
    }
    if (written) *written = static_cast<std::uint32_t>(n);
    LogLine(QuorLog::kLevelTrace, portName_.c_str(), "DSWrite wrote %d bytes", static_cast<int>(n));
    return static_cast<ResultCode>(n);
}

ResultCode QuorSerial::DSPurge(int mode) {
    if (mode == 1 && port_) port_->PurgeReceive();
    if (readBuffer_) readBuffer_[0] = '\0';
    // The flag speaks of the buffered reply; with the reply gone it would
    // keep the next read from looking at the port.
    replyReady_ = false;
    return 0;
}

ResultCode QuorSerial::DSWait(std::uint32_t timeoutMs, char terminator) {
    if (!port_) {
        LogLine(QuorLog::kLevelFailure, kClassTag, "DSWait tried to operate on a closed port");
        return rc::kNoAnswer;
    }
    if (!readBuffer_) return rc::kOutOfMemory;

    // Our clock always has microsecond resolution, so the no-counter
    // fallback of a plain sleep is never needed here.
    const std::uint32_t start = DSMilliseconds();
    const bool longWait = timeoutMs > kLongWaitThresholdMs;
    std::uint32_t filled = 0;
    std::uint32_t dropped = 0;
    // The buffer is refilled from its start: an earlier reply's flag goes with it.
    readBuffer_[0] = '\0';
    replyReady_ = false;
    for (;;) {
        std::size_t got = 0;
        if (filled >= kReadBufferSize - 1) {
            // Full buffer: nothing more can be taken in, so this counts as
            // an empty read of the usual length.
            platform::CurrentClock().SleepMicros(std::uint64_t{kReadFirstByteTimeoutMs} * kMicrosPerMs);
        } else {
            PortError e = port_->Read(reinterpret_cast<std::uint8_t*>(readBuffer_) + filled,
                                      kReadBufferSize - 1 - filled, got);
            if (e != kPortOk) {
                LogDroppedNuls("DSWait", dropped);
                LogLine(QuorLog::kLevelFailure, portName_.c_str(), "DSWait ReadFile failed (error %d)", e);
                return rc::kNoAnswer;
            }
            std::size_t kept = DropNulBytes(readBuffer_ + filled, got);
            dropped += static_cast<std::uint32_t>(got - kept);
            got = kept;
        }
        std::uint32_t elapsed = DSMilliseconds() - start;
        if (got > 0) {
            filled += static_cast<std::uint32_t>(got);
            readBuffer_[filled] = '\0';
            // The terminator counts anywhere in the buffer.
            if (terminator != '\0' && std::memchr(readBuffer_, terminator, filled)) {
                replyReady_ = true;
                LogDroppedNuls("DSWait", dropped);
                LogLine(QuorLog::kLevelTrace, portName_.c_str(), "DSWait found '%c' in %d ms", terminator,
                        static_cast<int>(elapsed));
                return static_cast<unsigned char>(terminator);
            }
        }
        // On every pass: a line that keeps trickling bytes must not hold
        // the wait past its timeout.
        if (elapsed > timeoutMs) {
            LogDroppedNuls("DSWait", dropped);
            LogLine(QuorLog::kLevelTrace, portName_.c_str(), "DSWait read %d bytes, but never found '%c' in %d ms",
                    static_cast<int>(filled), terminator, static_cast<int>(elapsed));
            return 0;
        }
        if (longWait && elapsed >= kWaitDispatchStartMs) DSSleep(kWaitDispatchSleepMs);
    }
}

ResultCode QuorSerial::DSHostBaud(std::uint32_t baud) {
    if (baud == baud_) return 0;
    if (portName_.empty()) return rc::kNoPortName;
    PortError e = port_ ? kPortOk : kErrNoSuchPort;
    PortConfig config;
    if (e == kPortOk) e = KnownPortError(port_->GetConfig(config));
    if (e == kPortOk) {
        config.baud = baud;
        e = KnownPortError(port_->ApplyConfig(config));
    }
    if (e != kPortOk) {
        LogLine(QuorLog::kLevelFailure, portName_.c_str(), "DSHostBaud failed to apply new baud rate \"%d\" (error %d)",
                static_cast<int>(baud), e);
        return -e;
    }
    baud_ = baud;
    return rc::kOk;
}

void QuorSerial::LogDroppedNuls(const char* op, std::uint32_t dropped) const {
    if (dropped > 0) {
        LogLine(QuorLog::kLevelTrace, portName_.c_str(), "%s dropped %d NUL bytes", op, static_cast<int>(dropped));
    }
}

std::size_t DropNulBytes(char* data, std::size_t count) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] != '\0') data[kept++] = data[i];
    }
    return kept;
}

ResultCode DSSleep(std::uint32_t ms) {
    platform::Clock& clock = platform::CurrentClock();
    platform::EventPump* pump = platform::CurrentEventPump();
    if (ms < kDSSleepDispatchThresholdMs || !pump) {
        clock.SleepMicros(std::uint64_t{ms} * kMicrosPerMs);
        return 0;
    }
    std::uint32_t start = DSMilliseconds();
    std::uint32_t remaining = ms;
    for (;;) {
        pump->WaitForEvents(clock, remaining);
        std::uint32_t now = DSMilliseconds();
        if (now < start) start = now;  // the 32-bit clock wrapped: count again from here
        std::uint32_t elapsed = now - start;
        if (elapsed >= ms) return 0;
        remaining = ms - elapsed;
        pump->DispatchPending();
    }
}

std::uint32_t DSMilliseconds() {
    return static_cast<std::uint32_t>(platform::CurrentClock().NowMicros() / kMicrosPerMs);
}

std::int32_t DSUtcOffset() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    int dst = local.tm_isdst > 0 ? 3600 : 0;
    std::tm utc{};
    gmtime_r(&t, &utc);
    utc.tm_isdst = 0;
    std::time_t asLocal = std::mktime(&utc);
    return static_cast<std::int32_t>(t - asLocal + dst);
}

}  // namespace quor
