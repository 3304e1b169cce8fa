#pragma once
// Test helper: runs a test in a chosen time zone of the computer.

#include <cstdlib>
#include <ctime>
#include <string>

namespace quor::testing {

// Runs with the computer's zone set to tz, restored afterwards.
class ScopedZone {
public:
    explicit ScopedZone(const char* tz) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedZone() {
        if (had_) setenv("TZ", old_.c_str(), 1); else unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

}  // namespace quor::testing
