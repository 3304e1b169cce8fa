#pragma once
// The one clock that every wait, sleep and time stamp in the core reads.
// Production uses the monotonic system clock; tests and the simulator
// install a virtual clock, so protocol waits cost no real time and every
// timeout is exact.

#include <cstdint>

namespace quor::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic microseconds from an arbitrary origin.
    virtual std::uint64_t NowMicros() = 0;
    // Blocks (or, on a virtual clock, advances time) for us microseconds.
    virtual void SleepMicros(std::uint64_t us) = 0;
};

// The system's monotonic clock.
class SystemClock final : public Clock {
public:
    std::uint64_t NowMicros() override;
    void SleepMicros(std::uint64_t us) override;
};

// The installed clock; the system clock unless a ScopedClock is alive.
Clock& CurrentClock();

// Installs a clock for its lifetime and restores the previous one after.
// The clock is borrowed: the caller keeps it alive longer than the guard.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

}  // namespace quor::platform
