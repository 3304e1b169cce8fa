#include "platform/Clock.h"

#include <time.h>

#include <cerrno>

#include "platform/EventPump.h"

namespace quor::platform {

namespace {
SystemClock gSystemClock;
Clock* gClock = &gSystemClock;
EventPump* gPump = nullptr;
}  // namespace

std::uint64_t SystemClock::NowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

void SystemClock::SleepMicros(std::uint64_t us) {
    timespec req{static_cast<time_t>(us / 1000000u), static_cast<long>((us % 1000000u) * 1000u)};
    timespec rem{};
    while (nanosleep(&req, &rem) != 0 && errno == EINTR) req = rem;
}

Clock& CurrentClock() { return *gClock; }

ScopedClock::ScopedClock(Clock& clock) : previous_(gClock) { gClock = &clock; }
ScopedClock::~ScopedClock() { gClock = previous_; }

EventPump* CurrentEventPump() { return gPump; }

ScopedEventPump::ScopedEventPump(EventPump& pump) : previous_(gPump) { gPump = &pump; }
ScopedEventPump::~ScopedEventPump() { gPump = previous_; }

}  // namespace quor::platform
