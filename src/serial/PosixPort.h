#pragma once
// The termios port driver. "ttyUSB0" opens /dev/ttyUSB0; a name that begins
// with '/' is used as it stands (a /dev/serial/by-id link is followed to its
// device). Exclusive use takes three locks, one for each way other programs
// look: the UUCP lock file in the lock folder (minicom, cu), a non-blocking
// flock, and TIOCEXCL for the programs that do neither. Another program, or
// a second open in this one, finds the port in use.

#include <memory>
#include <string>

#include "serial/PortDriver.h"
#include "serial/UucpLock.h"

namespace quor {

// Opens ports with their lock files in lockDir (the production provider
// uses /var/lock; tests give a folder of their own).
class PosixPorts final : public PortProvider {
public:
    explicit PosixPorts(std::string lockDir = kDefaultLockDir) : lockDir_(std::move(lockDir)) {}
    PortError Open(const char* name, std::unique_ptr<PortDriver>& out) override;
    PortError Probe(const char* name) override;
    const std::string& LockDir() const { return lockDir_; }

private:
    std::string lockDir_;
};

class PosixPort final : public PortDriver {
public:
    // Opens and locks the device; out is null on failure.
    static PortError OpenDevice(const char* name, const std::string& lockDir, std::unique_ptr<PortDriver>& out);
    // Whether the device could be opened and locked now, leaving its
    // settings, exclusive mode and lock file alone (another program may
    // hold it).
    static PortError ProbeDevice(const char* name, const std::string& lockDir);
    static std::string DevicePath(const char* name);
    // Maps an errno from open/flock/ioctl/termios onto our port error numbers.
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
    PosixPort(int fd, std::unique_ptr<UucpLock> lock) : fd_(fd), lock_(std::move(lock)) {}
    PortError SetModemLine(int bit, bool on);

    int fd_;
    std::unique_ptr<UucpLock> lock_;  // null when the lock folder was not writable
    PortTimeouts timeouts_;
    bool dtr_ = false;
    bool rts_ = false;
};

}  // namespace quor
