#pragma once
// What the web services ask of the operating system: the browser started
// with xdg-open, the program's own path and the system's name and version.

#include <cstdint>
#include <string>
#include <vector>

#include "web/BrowserLauncher.h"
#include "web/FeedbackForm.h"

namespace quor::web {

// xdg-open usually hands the link over and ends at once; one still running
// after this long has started a browser in the foreground and counts as a
// success.
inline constexpr std::uint32_t kXdgOpenWaitMs = 5000;
inline constexpr std::uint32_t kXdgOpenPollMs = 20;

// Runs program (found on PATH) with the link as its one argument, no
// shell between. Success is an exit status of 0, or still running after
// waitMs; children still running then are reaped by later calls.
class XdgOpenLauncher final : public BrowserLauncher {
  public:
    explicit XdgOpenLauncher(std::string program = "xdg-open",
                             std::uint32_t waitMs = kXdgOpenWaitMs);
    ~XdgOpenLauncher() override;
    XdgOpenLauncher(const XdgOpenLauncher&) = delete;
    XdgOpenLauncher& operator=(const XdgOpenLauncher&) = delete;

    bool OpenLink(const std::string& link) override;

  private:
    void ReapFinished();

    std::string program_;
    std::uint32_t waitMs_;
    std::vector<int> running_;  // pids of launchers not yet reaped
};

// The running program's full path (from /proc/self/exe), "" when unknown.
std::string ProgramPath();
// "Computer Information" for this system (os-release and uname).
std::string CurrentComputerInformation();
// The feedback environment of this program on this system.
FeedbackEnvironment CurrentFeedbackEnvironment();

}  // namespace quor::web
