#pragma once
// The main window's one-shot timers. Each fires once, on the thread that
// runs the app core, after its delay; starting a timer that is still
// pending starts it over with the new handler.

#include <cstdint>
#include <functional>

namespace quor::app {

enum class AppTimer : std::uint8_t {
    kDataEraseWarning,
    kStart,
    kConstructionError,
    kVersionCheck,
};

inline constexpr std::uint32_t kDataEraseWarningDelayMs = 500;
inline constexpr std::uint32_t kStartDelayMs = 100;
inline constexpr std::uint32_t kConstructionErrorDelayMs = 100;
inline constexpr std::uint32_t kVersionCheckDelayMs = 500;

class AppTimers {
  public:
    virtual ~AppTimers() = default;
    virtual void StartOneShot(AppTimer timer, std::uint32_t delayMs,
                              std::function<void()> handler) = 0;
    virtual void Stop(AppTimer timer) = 0;
};

}  // namespace quor::app
