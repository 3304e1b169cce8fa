#pragma once
// Test front end for the app core: a view that keeps the state of every
// control as a window would, dialogs that record what they showed and
// answer from a script, timers on the virtual clock and a recording
// version check.

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/AppDialogs.h"
#include "app/AppTimers.h"
#include "app/AppView.h"
#include "app/VersionCheck.h"
#include "sim/core/VirtualClock.h"

namespace quor::app::testing {

class RecordingView final : public AppView {
  public:
    struct State {
        std::string text;
        bool enabled = true;
        bool checked = false;
        bool visible = true;
    };

    RecordingView() {
        for (int i = 0; i < kControlCount; ++i) {
            const ControlState s = InitialControlState(static_cast<Control>(i));
            controls_[static_cast<std::size_t>(i)] = State{s.text, s.enabled, s.checked, s.visible};
        }
    }

    void SetWindowCaption(const std::string& text) override { caption = text; }
    void SetApplicationTitle(const std::string& text) override { title = text; }
    void SetText(Control c, const std::string& text) override {
        At(c).text = text;
        if (c == Control::statusText) statusTexts.push_back(text);
    }
    std::string Text(Control c) const override { return controls_[Index(c)].text; }
    void SetEnabled(Control c, bool enabled) override { At(c).enabled = enabled; }
    void SetChecked(Control c, bool checked) override { At(c).checked = checked; }
    void SetVisible(Control c, bool visible) override { At(c).visible = visible; }
    void SetDefaultButton(Control c) override { defaultButton = c; }
    void SetFocus(Control c) override { focus = c; }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void ClearPortList() override {
        portEntries.clear();
        selectedEntry = -1;
    }
    void AddPortEntry(const std::string& text) override { portEntries.push_back(text); }
    void SelectPortEntry(int index) override { selectedEntry = index; }
    void SetCursor(Cursor c) override { cursor = c; }
    void CloseWindow() override { ++closeRequests; }
    void ProcessPendingMessages() override {
        ++pendingMessageCalls;
        if (onPendingMessages) onPendingMessages();
    }

    const State& operator[](Control c) const { return controls_[Index(c)]; }

    std::string caption;
    std::string title;
    Control defaultButton = Control::btnStart;
    Control focus = Control::btnStart;
    std::vector<int> progress;
    std::vector<std::string> portEntries;
    int selectedEntry = -1;
    Cursor cursor = Cursor::kNormal;
    int closeRequests = 0;
    std::vector<std::string> statusTexts;  // every text statusText was given, in order
    int pendingMessageCalls = 0;
    // Runs inside ProcessPendingMessages, as a window's queued events would.
    std::function<void()> onPendingMessages;

  private:
    static std::size_t Index(Control c) { return static_cast<std::size_t>(c); }
    State& At(Control c) { return controls_[Index(c)]; }
    std::array<State, kControlCount> controls_;
};

class ScriptedDialogs final : public AppDialogs {
  public:
    struct Message {
        std::string text;
        std::string caption;
        Icon icon;
    };

    void SoundBeep(Beep beep) override { beeps.push_back(beep); }
    void ShowMessage(const std::string& text, const std::string& caption, Icon icon) override {
        messages.push_back({text, caption, icon});
    }
    // Answers from okCancelAnswers in order; Cancel once they run out.
    bool AskOkCancel(const std::string& text, const std::string& caption) override {
        questions.push_back({text, caption, Icon::kQuestion});
        if (okCancelAnswers.empty()) return false;
        bool ok = okCancelAnswers.front();
        okCancelAnswers.pop_front();
        return ok;
    }
    bool OpenFile(const FileDialogOptions& options, std::string* path) override {
        fileDialogs.push_back(options);
        if (whileOpen) whileOpen();
        if (openPath.empty()) return false;
        *path = openPath;
        return true;
    }
    bool SaveFile(const FileDialogOptions& options, std::string* path) override {
        fileDialogs.push_back(options);
        if (savePath.empty()) return false;
        *path = savePath;
        return true;
    }

    std::vector<Beep> beeps;
    std::vector<Message> messages;
    std::vector<Message> questions;
    std::deque<bool> okCancelAnswers;
    std::vector<FileDialogOptions> fileDialogs;
    std::string openPath;  // "" cancels the open dialog
    std::function<void()> whileOpen;  // runs while the open dialog is up
    std::string savePath;  // "" cancels the save dialog
};

// Each timer is an event on the virtual clock; it fires while host code
// waits or the test runs the clock, as a window's timer fires while the
// window dispatches its messages.
class VirtualClockTimers final : public AppTimers {
  public:
    struct Start {
        AppTimer timer;
        std::uint32_t delayMs;
        std::uint64_t atMicros;  // when it was started
    };

    explicit VirtualClockTimers(sim::VirtualClock& clock) : clock_(clock) {}

    void StartOneShot(AppTimer timer, std::uint32_t delayMs,
                      std::function<void()> handler) override {
        Stop(timer);
        starts.push_back({timer, delayMs, clock_.NowMicros()});
        pending_[timer] = clock_.ScheduleIn(std::uint64_t{delayMs} * 1000u, [this, timer, handler] {
            pending_.erase(timer);
            fired.push_back({timer, 0, clock_.NowMicros()});
            handler();
        });
    }
    void Stop(AppTimer timer) override {
        auto it = pending_.find(timer);
        if (it == pending_.end()) return;
        clock_.Cancel(it->second);
        pending_.erase(it);
    }
    bool Pending(AppTimer timer) const { return pending_.count(timer) != 0; }

    std::vector<Start> starts;
    std::vector<Start> fired;

  private:
    sim::VirtualClock& clock_;
    std::map<AppTimer, sim::VirtualClock::EventId> pending_;
};

class RecordingVersionCheck final : public VersionCheck {
  public:
    struct Call {
        std::int32_t currentVersion;
        std::string path;
        bool quiet;
        std::string productText;
    };
    std::int32_t CheckForNewerVersion(std::int32_t currentVersion, const std::string& path,
                                      bool quiet, const std::string& productText) override {
        calls.push_back({currentVersion, path, quiet, productText});
        return 0;
    }
    std::vector<Call> calls;
};

}  // namespace quor::app::testing
