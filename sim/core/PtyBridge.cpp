#include "sim/core/PtyBridge.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "platform/TermiosRates.h"

namespace quor::sim {

namespace {

constexpr std::size_t kReadChunkBytes = 256;
constexpr std::size_t kSlaveNameBytes = 128;

speed_t SpeedOf(std::uint32_t baud) {
    speed_t speed = B9600;
    platform::TermiosSpeedFor(baud, speed);
    return speed;
}

std::uint64_t MonotonicMicros() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PtyBridge::PtyBridge(DeviceModel& model, std::uint32_t deviceBaud)
    : model_(model), deviceBaud_(deviceBaud), originMicros_(MonotonicMicros()) {
    model_.Attach(*this);
}

PtyBridge::~PtyBridge() { Stop(); }

PortError PtyBridge::Start() {
    if (running_) return kPortOk;
    int err = 0;
    char name[kSlaveNameBytes] = {};
    int fds[2] = {-1, -1};
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0 || ::fcntl(master_, F_SETFL, O_NONBLOCK) != 0) {
        err = errno;
    }
    if (!err) {
        // Raw from the start, so nothing the device sends is echoed back to it
        // before the host has set the terminal up. Closing again leaves the
        // master in the hung-up state that tells us no host is connected.
        int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (slave < 0 || ::tcgetattr(slave, &tio) != 0) {
            err = errno;
        } else {
            ::cfmakeraw(&tio);
            tio.c_cflag |= CLOCAL | CREAD;
            ::cfsetispeed(&tio, SpeedOf(deviceBaud_));
            ::cfsetospeed(&tio, SpeedOf(deviceBaud_));
            if (::tcsetattr(slave, TCSANOW, &tio) != 0) err = errno;
        }
        if (slave >= 0) ::close(slave);
    }
    if (!err && ::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) err = errno;
    if (err) {
        CloseFd(master_);
        return err;
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    slavePath_ = name;
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&PtyBridge::Run, this);
    return kPortOk;
}

void PtyBridge::Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    Wake();
    thread_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
        events_.clear();
        output_.clear();
    }
    callDone_.notify_all();
    hostOpen_ = false;
    CloseFd(master_);
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
}

void PtyBridge::Call(const std::function<void()>& fn) {
    if (!running_ || std::this_thread::get_id() == threadId_.load()) {
        fn();
        return;
    }
    bool done = false;
    Schedule(0, [this, &fn, &done] {
        fn();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done = true;
        }
        callDone_.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex_);
    callDone_.wait(lock, [this, &done] { return done || !running_; });
}

std::uint64_t PtyBridge::NowMicros() { return MonotonicMicros() - originMicros_; }

DeviceSide::EventId PtyBridge::Schedule(std::uint64_t delayUs, std::function<void()> fn) {
    EventId id;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        id = nextEvent_++;
        events_.emplace(NowMicros() + delayUs, std::make_pair(id, std::move(fn)));
    }
    if (std::this_thread::get_id() != threadId_.load()) Wake();
    return id;
}

void PtyBridge::Cancel(EventId id) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = events_.begin(); it != events_.end(); ++it) {
        if (it->second.first == id) {
            events_.erase(it);
            return;
        }
    }
}

void PtyBridge::Send(std::string_view bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(bytes);
    }
    if (std::this_thread::get_id() != threadId_.load()) Wake();
}

std::uint32_t PtyBridge::HostBaud() const {
    // The master reads the slave's settings, which the host sets.
    termios tio{};
    if (master_ >= 0 && ::tcgetattr(master_, &tio) == 0) {
        if (std::uint32_t baud = platform::TermiosBaudFor(::cfgetospeed(&tio))) return baud;
    }
    return deviceBaud_;
}

void PtyBridge::Wake() {
    if (wakeWrite_ < 0) return;
    const char one = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &one, 1);
}

void PtyBridge::RunDueEvents() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (events_.empty() || events_.begin()->first > NowMicros()) return;
            fn = std::move(events_.begin()->second.second);
            events_.erase(events_.begin());
        }
        fn();
    }
}

int PtyBridge::PollTimeoutMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (events_.empty()) return -1;
    std::uint64_t now = NowMicros();
    std::uint64_t due = events_.begin()->first;
    if (due <= now) return 0;
    std::uint64_t ms = (due - now + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

bool PtyBridge::DeliverInput() {
    std::uint8_t buffer[kReadChunkBytes];
    for (;;) {
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i) model_.OnReceive(buffer[i]);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // EAGAIN: all read; EIO or end of file: the slave was closed.
        return n < 0 && errno == EAGAIN;
    }
}

void PtyBridge::FlushOutput() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hostOpen_) {
        // Nobody listens on a closed port: the bytes are lost, as on a wire.
        output_.clear();
        return;
    }
    while (!output_.empty()) {
        ssize_t n = ::write(master_, output_.data(), output_.size());
        if (n > 0) {
            output_.erase(0, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // full (poll waits for room) or hung up (noticed on reading)
        }
    }
}

void PtyBridge::HostOpenChanged(bool open) {
    if (hostOpen_ == open) return;
    hostOpen_ = open;
    model_.OnDtrChange(open);
}

void PtyBridge::Run() {
    threadId_ = std::this_thread::get_id();
    while (!stop_) {
        RunDueEvents();
        FlushOutput();
        int timeoutMs = PollTimeoutMs();
        bool outputWaiting;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            outputWaiting = !output_.empty();
        }
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {master_, POLLIN, 0}};
        nfds_t count = 1;
        if (hostOpen_) {
            if (outputWaiting) fds[1].events |= POLLOUT;
            count = 2;
        } else if (timeoutMs < 0 || timeoutMs > kHangupCheckMs) {
            // A hung-up master polls as ready at once: look at it now and then instead.
            timeoutMs = kHangupCheckMs;
        }
        if (::poll(fds, count, timeoutMs) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        if (!hostOpen_) {
            pollfd master{master_, POLLIN, 0};
            if (::poll(&master, 1, 0) < 0) continue;
            // Whatever the host wrote before it closed still reaches the device.
            if (master.revents & POLLIN) DeliverInput();
            if (!(master.revents & POLLHUP)) HostOpenChanged(true);
        } else if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!DeliverInput()) HostOpenChanged(false);
        }
    }
    threadId_ = std::thread::id();
}

}  // namespace quor::sim
