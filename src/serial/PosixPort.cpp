#include "serial/PosixPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/TermiosRates.h"

namespace quor {

namespace {

bool SpeedFor(std::uint32_t baud, speed_t& speed) { return platform::TermiosSpeedFor(baud, speed); }
std::uint32_t BaudFor(speed_t speed) { return platform::TermiosBaudFor(speed); }

// The device behind name, links followed, so that the lock file names the
// device that other programs lock (ttyUSB0, not its by-id link).
PortError ResolveDevice(const char* name, std::string& device) {
    device.clear();
    if (!name || !name[0]) return kErrNoSuchPort;
    if (std::strlen(name) > kMaxPortNameChars) return kErrOutOfRange;
    std::string path = PosixPort::DevicePath(name);
    if (path.size() > kMaxPortNameChars) return kErrOutOfRange;
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return PosixPort::MapErrno(errno);
    device = resolved;
    return kPortOk;
}

// Opens the terminal and takes its flock. flock catches a second open in
// this process as well as other programs that lock. fd stays -1 on failure.
PortError OpenLocked(const std::string& device, int& fd) {
    fd = -1;
    int f = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) return PosixPort::MapErrno(errno);
    if (!::isatty(f)) {
        ::close(f);
        return kErrNoSuchPort;
    }
    if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(f);
        return PosixPort::MapErrno(err == EWOULDBLOCK ? EBUSY : err);
    }
    fd = f;
    return kPortOk;
}

// Pseudo-terminals and some adapters have no modem lines; that is no error.
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL || err == ENOTSUP || err == EIO; }

}  // namespace

PortError PosixPorts::Open(const char* name, std::unique_ptr<PortDriver>& out) {
    return PosixPort::OpenDevice(name, lockDir_, out);
}

PortError PosixPorts::Probe(const char* name) { return PosixPort::ProbeDevice(name, lockDir_); }

PortProvider& PosixPortProvider() {
    static PosixPorts provider;
    return provider;
}

std::string PosixPort::DevicePath(const char* name) {
    if (!name) return std::string();
    if (name[0] == '/') return name;
    return std::string("/dev/") + name;
}

PortError PosixPort::MapErrno(int err) {
    switch (err) {
        case EBUSY:
        case EWOULDBLOCK:
        case ETXTBSY:
            return kErrInUse;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrPermission;
        // A rate the terminal does not take, or a path longer than the system allows.
        case EINVAL:
        case ERANGE:
        case ENAMETOOLONG:
            return kErrOutOfRange;
        // Everything else leaves no port to use: missing nodes, directories,
        // link loops, a ttyS node with no UART behind it, a hung-up terminal
        // (unplugged adapter), a port gone from under us (EBADF).
        default:
            return kErrNoSuchPort;
    }
}

PortError PosixPort::OpenDevice(const char* name, const std::string& lockDir, std::unique_ptr<PortDriver>& out) {
    out.reset();
    std::string device;
    if (PortError e = ResolveDevice(name, device)) return e;
    // The lock file first: a port that another program has is not touched.
    std::unique_ptr<UucpLock> lock;
    if (PortError e = UucpLock::Acquire(lockDir, device, lock)) return e;
    int fd = -1;
    if (PortError e = OpenLocked(device, fd)) return e;
    // TIOCEXCL keeps out the programs that do not lock.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
        int err = errno;
        ::close(fd);
        return MapErrno(err);
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        int err = errno;
        ::close(fd);
        return MapErrno(err);
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
    out.reset(new PosixPort(fd, std::move(lock)));
    return kPortOk;
}

PortError PosixPort::ProbeDevice(const char* name, const std::string& lockDir) {
    std::string device;
    if (PortError e = ResolveDevice(name, device)) return e;
    if (PortError e = UucpLock::Check(lockDir, device)) return e;
    int fd = -1;
    PortError e = OpenLocked(device, fd);
    if (fd >= 0) ::close(fd);
    return e;
}

PosixPort::~PosixPort() {
    if (fd_ >= 0) Close();
}

PortError PosixPort::SetQueueSizes(std::size_t, std::size_t) {
    // The kernel's tty queues are fixed (4 KiB) and larger than asked.
    return kPortOk;
}

PortError PosixPort::GetConfig(PortConfig& config) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return MapErrno(errno);
    config.baud = BaudFor(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5: config.dataBits = 5; break;
        case CS6: config.dataBits = 6; break;
        case CS7: config.dataBits = 7; break;
        default: config.dataBits = 8; break;
    }
    config.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? Parity::kOdd : Parity::kEven) : Parity::kNone;
    config.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    config.ctsFlow = (tio.c_cflag & CRTSCTS) != 0;
    config.xonXoff = (tio.c_iflag & (IXON | IXOFF)) != 0;
    config.dtr = dtr_;
    config.rts = rts_;
    return kPortOk;
}

PortError PosixPort::ApplyConfig(const PortConfig& config) {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) return MapErrno(errno);
    speed_t speed{};
    if (!SpeedFor(config.baud, speed)) return kErrOutOfRange;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (config.dataBits) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        default: tio.c_cflag |= CS8; break;
    }
    if (config.parity != Parity::kNone) tio.c_cflag |= PARENB;
    if (config.parity == Parity::kOdd) tio.c_cflag |= PARODD;
    if (config.stopBits == 2) tio.c_cflag |= CSTOPB;
    if (config.ctsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (config.xonXoff) tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return MapErrno(errno);
    SetModemLine(TIOCM_DTR, config.dtr);
    SetModemLine(TIOCM_RTS, config.rts);
    return kPortOk;
}

PortError PosixPort::SetTimeouts(const PortTimeouts& timeouts) {
    timeouts_ = timeouts;
    return kPortOk;
}

PortError PosixPort::SetModemLine(int bit, bool on) {
    int bits = bit;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !NoModemLines(errno)) return MapErrno(errno);
    if (bit == TIOCM_DTR) dtr_ = on;
    if (bit == TIOCM_RTS) rts_ = on;
    return kPortOk;
}

PortError PosixPort::SetDtr(bool on) { return SetModemLine(TIOCM_DTR, on); }

PortError PosixPort::ClearErrors() { return kPortOk; }

PortError PosixPort::Read(std::uint8_t* buffer, std::size_t capacity, std::size_t& got) {
    got = 0;
    if (capacity == 0) return kPortOk;
    ssize_t n = ::read(fd_, buffer, capacity);
    if (n > 0) {
        got = static_cast<std::size_t>(n);
        return kPortOk;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return MapErrno(errno);
    // Nothing has arrived: wait for the first byte, then take what came.
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(timeouts_.readFirstByteMs));
    if (r < 0) return errno == EINTR ? kPortOk : MapErrno(errno);
    if (r == 0) return kPortOk;
    if (p.revents & (POLLERR | POLLNVAL)) return kErrNoSuchPort;
    n = ::read(fd_, buffer, capacity);
    if (n > 0) {
        got = static_cast<std::size_t>(n);
        return kPortOk;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return MapErrno(errno);
    // POLLHUP with nothing to read: the other end is gone (a pty master closed).
    return kPortOk;
}

PortError PosixPort::Write(const std::uint8_t* data, std::size_t count, std::size_t& written) {
    written = 0;
    // The write may take as long as its bytes need on the wire plus a margin.
    int budgetMs = static_cast<int>(timeouts_.writeConstantMs + timeouts_.writePerByteMs * count);
    while (written < count) {
        ssize_t n = ::write(fd_, data + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return MapErrno(errno);
        if (budgetMs <= 0) break;
        pollfd p{fd_, POLLOUT, 0};
        int r = ::poll(&p, 1, 10);
        if (r < 0 && errno != EINTR) return MapErrno(errno);
        budgetMs -= 10;
    }
    return kPortOk;
}

PortError PosixPort::PurgeReceive() {
    if (::tcflush(fd_, TCIFLUSH) != 0) return MapErrno(errno);
    return kPortOk;
}

PortError PosixPort::Close() {
    if (fd_ < 0) return kPortOk;
    ::flock(fd_, LOCK_UN);
    int r = ::close(fd_);
    int err = errno;
    fd_ = -1;
    lock_.reset();
    return r == 0 ? kPortOk : MapErrno(err);
}

}  // namespace quor
