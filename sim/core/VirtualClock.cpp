#include "sim/core/VirtualClock.h"

namespace quor::sim {

VirtualClock::EventId VirtualClock::ScheduleAt(std::uint64_t at, std::function<void()> fn) {
    EventId id = nextId_++;
    queue_.push(Event{at < now_ ? now_ : at, id, std::move(fn)});
    return id;
}

void VirtualClock::Cancel(EventId id) { cancelled_.insert(id); }

std::uint64_t VirtualClock::NextEventTime() {
    while (!queue_.empty() && cancelled_.count(queue_.top().id)) {
        cancelled_.erase(queue_.top().id);
        queue_.pop();
    }
    return queue_.empty() ? kNever : queue_.top().at;
}

bool VirtualClock::RunOne(std::uint64_t limit) {
    std::uint64_t next = NextEventTime();
    if (next == kNever || next > limit) return false;
    // Move the event out before running it: it may schedule others.
    Event ev = std::move(const_cast<Event&>(queue_.top()));
    queue_.pop();
    if (ev.at > now_) now_ = ev.at;
    ++eventsRun_;
    ev.fn();
    return true;
}

void VirtualClock::RunUntil(std::uint64_t t) {
    while (RunOne(t)) {
    }
    if (t > now_) now_ = t;
}

bool VirtualClock::RunUntil(std::uint64_t t, const std::function<bool()>& pred) {
    if (pred()) return true;
    while (RunOne(t)) {
        if (pred()) return true;
    }
    if (t > now_) now_ = t;
    return pred();
}

}  // namespace quor::sim
