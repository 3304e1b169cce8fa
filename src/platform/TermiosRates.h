#pragma once
// The line rates a termios terminal knows, as numbers and as speed_t, for
// the serial driver and the simulator's pty bridge alike.

#include <termios.h>

#include <cstdint>

namespace quor::platform {

struct TermiosRate {
    std::uint32_t baud;
    speed_t speed;
};

inline constexpr TermiosRate kTermiosRates[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

// false for a rate the table does not have.
inline bool TermiosSpeedFor(std::uint32_t baud, speed_t& speed) {
    for (const TermiosRate& r : kTermiosRates) {
        if (r.baud == baud) {
            speed = r.speed;
            return true;
        }
    }
    return false;
}

// 0 for a speed the table does not have.
inline std::uint32_t TermiosBaudFor(speed_t speed) {
    for (const TermiosRate& r : kTermiosRates) {
        if (r.speed == speed) return r.baud;
    }
    return 0;
}

}  // namespace quor::platform
