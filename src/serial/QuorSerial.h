#pragma once
// QuorSerial: the program's only way to a device. One serial port opened by
// name, run at 8N1, and read through a 2048-character receive buffer so
// that a caller can first wait for a reply's last character (DSWait) and
// then collect the whole reply (DSRead).
//
// Ownership: the port is owned by this object (closed by DSClose or the
// destructor) unless it was borrowed with AttachBorrowedPort, in which case
// it is never closed here. The read buffer is owned only when DSOpen had to
// allocate it; a buffer handed in with SetReadBuffer stays the caller's.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/FixedText.h"
#include "common/ResultCode.h"
#include "log/QuorLog.h"
#include "serial/PortDriver.h"

namespace quor {

// One entry of the port list (CommPortEnum).
struct PortRecord {
    std::string name;           // what DSOpen is given, e.g. "ttyUSB0"; kept whole
    FixedText<64> description;  // what the user sees, busy mark included
    std::int32_t portNumber = 0;
};

class QuorSerial {
public:
    static constexpr std::uint32_t kReadBufferSize = 2048;
    static constexpr std::uint32_t kDefaultBaud = 9600;
    static constexpr std::uint32_t kQueueSizeBytes = 2048;
    static constexpr std::uint32_t kReopenPauseMs = 100;
    static constexpr std::uint32_t kReadFirstByteTimeoutMs = 100;
    static constexpr std::uint32_t kLongWaitThresholdMs = 400;   // longer waits dispatch events
    // A long wait starts dispatching once it has lasted as long as six
    // empty reads take; from then on every read is followed by a
    // dispatching sleep, whether bytes came or not.
    static constexpr std::uint32_t kWaitDispatchStartMs = 6 * kReadFirstByteTimeoutMs;
    static constexpr std::uint32_t kWaitDispatchSleepMs = 200;

    explicit QuorSerial(QuorLog* log);
    virtual ~QuorSerial();
    QuorSerial(const QuorSerial&) = delete;
    QuorSerial& operator=(const QuorSerial&) = delete;

    ResultCode DSOpen(const char* portName, std::uint32_t baud);
    ResultCode DSClose();
    ResultCode DSRead(char* buffer, std::uint32_t capacity, std::uint32_t* count);
    ResultCode DSWrite(const char* data, std::uint32_t count, std::uint32_t* written);
    ResultCode DSPurge(int mode);
    ResultCode DSWait(std::uint32_t timeoutMs, char terminator);
    ResultCode DSHostBaud(std::uint32_t baud);

    // Lists the available ports (CommPortEnum.cpp). count: in, the list's
    // capacity; out, the records filled.
    ResultCode CommPortEnum(PortRecord* list, std::uint32_t* count, bool forceProbing);

    // Hands in the "gReadBuffer": kReadBufferSize characters that the caller
    // owns and keeps alive while this object uses it. DSOpen then uses it
    // instead of allocating its own.
    void SetReadBuffer(char* buffer);

    bool IsOpen() const { return port_ != nullptr; }
    std::uint32_t BaudRate() const { return baud_; }
    const char* PortName() const { return portName_.c_str(); }
    // The open port, for a borrower (see AttachBorrowedPort); null when closed.
    PortDriver* PortHandle() const { return port_; }
    char* ReadBuffer() const { return readBuffer_; }
    bool ReplyReady() const { return replyReady_; }
    QuorLog* Log() const { return log_; }

protected:
    // Uses a port that another QuorSerial holds open, with its read buffer
    // and name. Neither is closed or freed here; DetachBorrowedPort forgets
    // them again and the owner's port stays open.
    void AttachBorrowedPort(PortDriver* port, char* readBuffer, const char* portName);
    void DetachBorrowedPort();
    bool PortIsBorrowed() const { return port_ != nullptr && !ownedPort_; }

    QUOR_PRINTF(4, 5) void LogLine(std::uint32_t level, const char* tag, const char* format, ...) const;

    QuorLog* log_;                // not owned; may be null
    PortDriver* port_ = nullptr;  // the open port, owned or borrowed
    std::unique_ptr<PortDriver> ownedPort_;
    std::uint32_t baud_ = 0;
    std::string portName_;  // kept whole, at most kMaxPortNameChars
    char* readBuffer_ = nullptr;
    bool replyReady_ = false;
    bool ownsReadBuffer_ = false;

private:
    void ReleaseOwnedBuffer();
    // The trace line that counts the NUL bytes an operation dropped.
    void LogDroppedNuls(const char* op, std::uint32_t dropped) const;
    std::unique_ptr<char[]> ownedBuffer_;
};

// Removes the NUL bytes from data[0, count) in place, keeping the order of
// the rest; returns the count left. No device text holds a NUL, and one in
// the buffer would end the reply for every reader of it.
std::size_t DropNulBytes(char* data, std::size_t count);

// Sleeps ms milliseconds on the installed clock. From 170 ms on it keeps
// dispatching user-interface events while it waits.
ResultCode DSSleep(std::uint32_t ms);
inline constexpr std::uint32_t kDSSleepDispatchThresholdMs = 170;

// Milliseconds from an arbitrary origin, cut to 32 bits.
std::uint32_t DSMilliseconds();

// Seconds to add to UTC to get local time, daylight saving included.
std::int32_t DSUtcOffset();

}  // namespace quor
