#pragma once
// Serves a device model on a real pseudo-terminal in real time, so that a
// real port driver can talk to it by the slave's name ("/dev/pts/N").
//
// One thread owns the pty master: bytes the host writes are read there and
// handed to the model one at a time, the model's Send writes to the master,
// and its Schedule runs on the real monotonic clock. The model is only ever
// called on that thread (Attach excepted, which happens in the
// constructor); reach it from elsewhere through Call.
//
// A pty has no wire: bytes go out at once, whatever rate either end is
// set to. HostBaud() is the rate the host set on the terminal; Dtr() is whether
// the host has the slave open (opening a port raises DTR, closing drops it).
//
// Ownership: the bridge owns the master, the thread and the wake pipe; the
// model is borrowed and must outlive the bridge.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "serial/PortDriver.h"
#include "sim/core/DeviceModel.h"

namespace quor::sim {

class PtyBridge final : public DeviceSide {
public:
    // How often a closed slave is looked at for the host opening it again.
    static constexpr int kHangupCheckMs = 5;

    explicit PtyBridge(DeviceModel& model, std::uint32_t deviceBaud = 9600);
    ~PtyBridge() override;
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // Creates the pty and starts serving; 0 or the errno of what failed.
    PortError Start();
    // Stops the thread and closes the master; the slave's users see a hangup.
    void Stop();
    // The slave's path, for DSOpen; empty before Start.
    const std::string& SlavePath() const { return slavePath_; }

    // Runs fn on the bridge thread and waits for it (at once when the
    // bridge is not running, or when called from the bridge thread).
    void Call(const std::function<void()>& fn);

    // --- DeviceSide ---
    std::uint64_t NowMicros() override;
    EventId Schedule(std::uint64_t delayUs, std::function<void()> fn) override;
    void Cancel(EventId id) override;
    void Send(std::string_view bytes) override;
    void SetBaud(std::uint32_t baud) override { deviceBaud_ = baud; }
    // The rate in the terminal's settings; the device's own when unreadable.
    std::uint32_t Baud() const override { return deviceBaud_; }
    std::uint32_t HostBaud() const override;
    bool Dtr() const override { return hostOpen_.load(); }

private:
    void Run();
    void Wake();
    void RunDueEvents();
    // Reads what the host wrote and gives it to the model; false on hangup.
    bool DeliverInput();
    void FlushOutput();
    void HostOpenChanged(bool open);
    int PollTimeoutMs();

    DeviceModel& model_;
    std::atomic<std::uint32_t> deviceBaud_;
    const std::uint64_t originMicros_;
    int master_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string slavePath_;
    std::thread thread_;
    std::atomic<std::thread::id> threadId_{};
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hostOpen_{false};

    // Guarded by mutex_: what crosses from other threads to the bridge's.
    std::mutex mutex_;
    std::condition_variable callDone_;  // a Call finished, or the bridge stopped
    std::multimap<std::uint64_t, std::pair<EventId, std::function<void()>>> events_;  // by due time
    EventId nextEvent_ = 1;
    std::string output_;
};

}  // namespace quor::sim
