#pragma once
// The termios port driver. "ttyUSB0" opens /dev/ttyUSB0; a name that begins
// with '/' is used as it stands. Exclusive use is TIOCEXCL plus a
// non-blocking flock, so another program, or a second open in this one,
// finds the port in use.

#include <string>

#include "serial/PortDriver.h"

namespace quor {

class PosixPort final : public PortDriver {
public:
    // Opens and locks the device; out is null on failure.
    static PortError OpenDevice(const char* name, std::unique_ptr<PortDriver>& out);
    // Whether the device could be opened and locked now, leaving its
    // settings and exclusive mode alone (another program may hold it).
    static PortError ProbeDevice(const char* name);
    static std::string DevicePath(const char* name);
    // Maps an errno from open/flock/ioctl onto our port error numbers.
    static PortError MapErrno(int err);

    ~PosixPort() override;
    PortError SetQueueSizes(std::size_t in, std::size_t out) override;
    PortError GetConfig(PortConfig& config) override;
    PortError ApplyConfig(const PortConfig& config) override;
    PortError SetTimeouts(const PortTimeouts& timeouts) override;
    PortError SetDtr(bool on) override;
    PortError ClearErrors() override;
    PortError Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) override;
    PortError Write(const std::uint8_t* data, std::size_t count, std::size_t& written) override;
    PortError PurgeReceive() override;
    PortError Close() override;

private:
    explicit PosixPort(int fd) : fd_(fd) {}
    PortError SetModemLine(int bit, bool on);

    int fd_;
    PortTimeouts timeouts_;
    bool dtr_ = false;
    bool rts_ = false;
};

}  // namespace quor
