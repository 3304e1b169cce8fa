#pragma once
// Simulated time. Nothing moves until the host waits, sleeps or reads: then
// the clock runs the device events scheduled up to that point, in time
// order (ties in the order they were scheduled), and stops exactly there.

#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_set>
#include <vector>

#include "platform/Clock.h"

namespace quor::sim {

class VirtualClock final : public platform::Clock {
public:
    using EventId = std::uint64_t;
    static constexpr std::uint64_t kNever = UINT64_MAX;

    std::uint64_t NowMicros() override { return now_; }
    void SleepMicros(std::uint64_t us) override { RunUntil(now_ + us); }

    // Runs fn at time at (at once, on the next run, if at is already past).
    EventId ScheduleAt(std::uint64_t at, std::function<void()> fn);
    EventId ScheduleIn(std::uint64_t delayUs, std::function<void()> fn) {
        return ScheduleAt(now_ + delayUs, std::move(fn));
    }
    void Cancel(EventId id);

    // Time of the earliest pending event, or kNever.
    std::uint64_t NextEventTime();
    // Runs every event due by t, then sets the time to t (never backwards).
    void RunUntil(std::uint64_t t);
    // Runs events in order until pred holds (checked first and after each
    // event) or time t is reached. Returns whether pred held.
    bool RunUntil(std::uint64_t t, const std::function<bool()>& pred);
    std::uint64_t EventsRun() const { return eventsRun_; }

private:
    struct Event {
        std::uint64_t at;
        EventId id;
        std::function<void()> fn;
    };
    struct Later {
        bool operator()(const Event& a, const Event& b) const {
            return a.at != b.at ? a.at > b.at : a.id > b.id;
        }
    };
    bool RunOne(std::uint64_t limit);

    std::uint64_t now_ = 0;
    EventId nextId_ = 1;
    std::uint64_t eventsRun_ = 0;
    std::priority_queue<Event, std::vector<Event>, Later> queue_;
    std::unordered_set<EventId> cancelled_;
};

}  // namespace quor::sim
