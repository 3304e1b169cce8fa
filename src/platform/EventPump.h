#pragma once
// Long waits keep the user interface alive by dispatching its pending
// events. The core has no event loop of its own: a front end installs a
// pump, and without one a wait simply sleeps.

#include <cstdint>

#include "platform/Clock.h"

namespace quor::platform {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Waits until an event is pending or timeoutMs has passed on clock.
    virtual void WaitForEvents(Clock& clock, std::uint32_t timeoutMs) = 0;
    // Runs every event that is pending now.
    virtual void DispatchPending() = 0;
};

// The installed pump, or null when none is.
EventPump* CurrentEventPump();

// Installs a pump for its lifetime (borrowed) and restores the previous one.
class ScopedEventPump {
public:
    explicit ScopedEventPump(EventPump& pump);
    ~ScopedEventPump();
    ScopedEventPump(const ScopedEventPump&) = delete;
    ScopedEventPump& operator=(const ScopedEventPump&) = delete;

private:
    EventPump* previous_;
};

}  // namespace quor::platform
