#pragma once
// The command line's side of the application core: a view that keeps every
// control's state as the window would and passes the status text and the
// progress bar to a Reporter, dialogs that print messages and answer
// questions by the answer policy, one-shot timers on the real clock or on
// the simulator's virtual clock, and a version check that does nothing.
//
// Ownership: the reporter, the clock and the log follower are borrowed and
// outlive these objects.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/AppDialogs.h"
#include "app/AppTimers.h"
#include "app/AppView.h"
#include "app/VersionCheck.h"
#include "cli/ExitStatus.h"
#include "cli/Reporter.h"
#include "sim/core/VirtualClock.h"

namespace quor::cli {

// The status text that ends a successful update.
inline constexpr const char* kSuccessStatusPrefix = "Successfully updated firmware in ";
// The status text of the loader start: from here on the old firmware goes.
inline constexpr const char* kLoaderStartStatus = "Starting the firmware loader...";

// Prints the lines the diagnostic log gained since the last look.
class LogFollower {
  public:
    LogFollower(Reporter& reporter, bool enabled) : reporter_(reporter), enabled_(enabled) {}
    // Starts at the file's current end, so earlier runs' lines stay unshown.
    void Follow(const std::string& path);
    void Poll();

  private:
    Reporter& reporter_;
    bool enabled_;
    std::string path_;
    std::uint64_t offset_ = 0;
    std::string partial_;
};

class CliView final : public app::AppView {
  public:
    CliView(Reporter& reporter, LogFollower& log);

    void SetWindowCaption(const std::string& text) override { caption_ = text; }
    void SetApplicationTitle(const std::string&) override {}
    void SetText(app::Control c, const std::string& text) override;
    std::string Text(app::Control c) const override { return At(c).text; }
    void SetEnabled(app::Control c, bool enabled) override { At(c).enabled = enabled; }
    void SetChecked(app::Control c, bool checked) override { At(c).checked = checked; }
    void SetVisible(app::Control c, bool visible) override;
    void SetDefaultButton(app::Control) override {}
    void SetFocus(app::Control) override {}
    void SetProgress(int percent) override;
    void ClearPortList() override {}
    void AddPortEntry(const std::string&) override {}
    void SelectPortEntry(int) override {}
    void SetCursor(app::Cursor) override {}
    void CloseWindow() override { closeRequested_ = true; }
    void ProcessPendingMessages() override;

    bool Checked(app::Control c) const { return At(c).checked; }
    bool Visible(app::Control c) const { return At(c).visible; }
    bool Enabled(app::Control c) const { return At(c).enabled; }
    bool CloseRequested() const { return closeRequested_; }
    bool Finished() const { return finished_; }
    bool LoaderStarted() const { return loaderStarted_; }
    const std::string& LastStatus() const { return lastStatus_; }
    // Runs on every progress change (the simulator's faults hook in here).
    void OnProgress(std::function<void(int)> fn) { onProgress_ = std::move(fn); }
    // Runs whenever the core lets the front end look at its events.
    void OnPendingMessages(std::function<void()> fn) { onPending_ = std::move(fn); }

  private:
    struct State {
        std::string text;
        bool enabled = true;
        bool checked = false;
        bool visible = true;
    };
    State& At(app::Control c) { return controls_[static_cast<std::size_t>(c)]; }
    const State& At(app::Control c) const { return controls_[static_cast<std::size_t>(c)]; }
    double ElapsedS() const;

    Reporter& reporter_;
    LogFollower& log_;
    std::array<State, app::kControlCount> controls_;
    std::string caption_;
    std::string lastStatus_;
    int percent_ = 0;
    std::uint64_t startMicros_ = 0;
    bool started_ = false;
    bool finished_ = false;
    bool loaderStarted_ = false;
    bool closeRequested_ = false;
    std::function<void(int)> onProgress_;
    std::function<void()> onPending_;
};

// How questions are answered: OK with --yes; else asked on a terminal;
// else Cancel.
struct AnswerPolicy {
    bool yes = false;
    bool terminal = false;
};

class CliDialogs final : public app::AppDialogs {
  public:
    CliDialogs(Reporter& reporter, const CliView& view, AnswerPolicy policy)
        : reporter_(reporter), view_(view), policy_(policy) {}

    void SoundBeep(app::Beep) override {}
    void ShowMessage(const std::string& text, const std::string& caption, app::Icon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption) override;
    // The firmware file and the dump file come from the command line.
    bool OpenFile(const app::FileDialogOptions& options, std::string* path) override;
    bool SaveFile(const app::FileDialogOptions& options, std::string* path) override;

    void SetOpenPath(std::string path) { openPath_ = std::move(path); }
    void SetSavePath(std::string path) { savePath_ = std::move(path); }
    int OpenDialogs() const { return openDialogs_; }
    const UpdateOutcome& Outcome() const { return outcome_; }
    UpdateOutcome& Outcome() { return outcome_; }

  private:
    Reporter& reporter_;
    const CliView& view_;
    AnswerPolicy policy_;
    UpdateOutcome outcome_;
    std::string openPath_;
    std::string savePath_;
    int openDialogs_ = 0;
};

// The real-time timers: due handlers run from RunDue, which the command's
// loop and every pending-messages call reach.
class RealTimeTimers final : public app::AppTimers {
  public:
    void StartOneShot(app::AppTimer timer, std::uint32_t delayMs,
                      std::function<void()> handler) override;
    void Stop(app::AppTimer timer) override { pending_.erase(timer); }
    // Runs the handlers that are due; returns how many ran.
    int RunDue();
    bool Pending(app::AppTimer timer) const { return pending_.count(timer) != 0; }
    bool Any() const { return !pending_.empty(); }
    // Waits for the next timer (at most maxMs) and runs what is due.
    void WaitAndRun(std::uint32_t maxMs);

  private:
    struct Entry {
        std::uint64_t dueMicros;
        std::function<void()> handler;
    };
    std::map<app::AppTimer, Entry> pending_;
};

// Timers as events on the simulator's clock: they fire while the host
// waits in virtual time, as a window's timer fires while it dispatches.
class VirtualClockTimers final : public app::AppTimers {
  public:
    explicit VirtualClockTimers(sim::VirtualClock& clock) : clock_(clock) {}
    void StartOneShot(app::AppTimer timer, std::uint32_t delayMs,
                      std::function<void()> handler) override;
    void Stop(app::AppTimer timer) override;
    bool Pending(app::AppTimer timer) const { return pending_.count(timer) != 0; }

  private:
    sim::VirtualClock& clock_;
    std::map<app::AppTimer, sim::VirtualClock::EventId> pending_;
};

// An update on the command line checks for no newer version: that is
// `quorbsl check-version`, on demand.
class NoVersionCheck final : public app::VersionCheck {
  public:
    std::int32_t CheckForNewerVersion(std::int32_t, const std::string&, bool,
                                      const std::string&) override {
        return 0;
    }
};

}  // namespace quor::cli
