#pragma once
// The small port interface that QuorSerial drives. It asks of the operating
// system exactly what the updater needs of a serial port; PosixPort
// implements it with termios and the simulator with an in-memory link.
//
// Errors are "system error numbers" as QuorSerial reports them (it logs e
// and returns -e): 0 is success, and a driver maps every OS error onto the
// four numbers the rest of the program tells apart (kErrNoSuchPort,
// kErrInUse, kErrPermission, kErrOutOfRange). A raw OS number would collide
// with the program's own codes (EISDIR 21 is "no answer", ELOOP 40
// "cancelled").

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace quor {

using PortError = int;
inline constexpr PortError kPortOk = 0;
inline constexpr PortError kErrNoSuchPort = 2;    // QuorSerial returns -2
inline constexpr PortError kErrInUse = 5;         // -5
inline constexpr PortError kErrPermission = 9;    // -9: see rc::kPortPermissionDenied
inline constexpr PortError kErrOutOfRange = 11;   // -11: a rate the port cannot run, a name too long

// The longest port name (a device path) that is kept: what the system
// allows for a path. A longer one is refused, never cut.
inline constexpr std::size_t kMaxPortNameChars = PATH_MAX - 1;

// e itself when it is one of the numbers above, else kErrNoSuchPort: what
// a driver reports always means something to the layers above.
constexpr PortError KnownPortError(PortError e) {
    return (e == kPortOk || e == kErrNoSuchPort || e == kErrInUse || e == kErrPermission || e == kErrOutOfRange)
               ? e
               : kErrNoSuchPort;
}

enum class Parity : std::uint8_t { kNone, kOdd, kEven };

// The line settings of an open port.
struct PortConfig {
    std::uint32_t baud = 9600;
    std::uint8_t dataBits = 8;
    Parity parity = Parity::kNone;
    std::uint8_t stopBits = 1;
    bool ctsFlow = false;    // hardware output flow control
    bool xonXoff = false;    // software flow control, both ways
    bool dtr = true;
    bool rts = true;
};

struct PortTimeouts {
    // A read returns at once with whatever has arrived; when nothing has,
    // it waits up to this long for the first byte and returns with it.
    std::uint32_t readFirstByteMs = 100;
    std::uint32_t writePerByteMs = 10;
    std::uint32_t writeConstantMs = 100;
};

// One open port. Destroying it closes the port.
class PortDriver {
public:
    virtual ~PortDriver() = default;
    // Sizes the driver's queues where the system has them.
    virtual PortError SetQueueSizes(std::size_t in, std::size_t out) = 0;
    virtual PortError GetConfig(PortConfig& config) = 0;
    virtual PortError ApplyConfig(const PortConfig& config) = 0;
    virtual PortError SetTimeouts(const PortTimeouts& timeouts) = 0;
    virtual PortError SetDtr(bool on) = 0;
    // Clears a pending line error state.
    virtual PortError ClearErrors() = 0;
    // Reads at most capacity bytes with the timeout behaviour above.
    virtual PortError Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) = 0;
    virtual PortError Write(const std::uint8_t* data, std::size_t count, std::size_t& written) = 0;
    // Discards everything waiting in the receive queue.
    virtual PortError PurgeReceive() = 0;
    // Closes the port; the driver is unusable afterwards.
    virtual PortError Close() = 0;
};

// Opens ports by name. The installed provider serves every QuorSerial.
class PortProvider {
public:
    virtual ~PortProvider() = default;
    // Opens name for exclusive use. On success out holds the open port.
    virtual PortError Open(const char* name, std::unique_ptr<PortDriver>& out) = 0;
    // Whether name can be opened exclusively right now (used for busy marks).
    virtual PortError Probe(const char* name) {
        std::unique_ptr<PortDriver> port;
        PortError e = Open(name, port);
        if (e == kPortOk && port) port->Close();
        return e;
    }
};

// The POSIX termios provider (PosixPort.cpp).
PortProvider& PosixPortProvider();

// The installed provider: POSIX unless a ScopedPortProvider is alive.
PortProvider& CurrentPortProvider();

// Installs a provider for its lifetime (borrowed) and restores the previous.
class ScopedPortProvider {
public:
    explicit ScopedPortProvider(PortProvider& provider);
    ~ScopedPortProvider();
    ScopedPortProvider(const ScopedPortProvider&) = delete;
    ScopedPortProvider& operator=(const ScopedPortProvider&) = delete;

private:
    PortProvider* previous_;
};

}  // namespace quor
