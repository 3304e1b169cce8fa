#include "cli/CliFrontEnd.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/Clock.h"

namespace quor::cli {

namespace {

const char* KindOfIcon(app::Icon icon) {
    switch (icon) {
        case app::Icon::kError:
            return "error";
        case app::Icon::kInformation:
            return "information";
        case app::Icon::kQuestion:
            return "question";
        case app::Icon::kNone:
            return "plain";
        case app::Icon::kWarning:
            break;
    }
    return "warning";
}

std::uint64_t SteadyMicros() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

void LogFollower::Follow(const std::string& path) {
    path_ = path;
    partial_.clear();
    std::ifstream in(path_, std::ios::binary | std::ios::ate);
    offset_ = in ? static_cast<std::uint64_t>(in.tellg()) : 0;
}

void LogFollower::Poll() {
    if (!enabled_ || path_.empty()) return;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    in.seekg(static_cast<std::streamoff>(offset_));
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    offset_ += chunk.size();
    partial_ += chunk;
    std::size_t end = 0;
    while ((end = partial_.find('\n')) != std::string::npos) {
        std::string line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        reporter_.Log(line);
    }
}

CliView::CliView(Reporter& reporter, LogFollower& log) : reporter_(reporter), log_(log) {
    for (int i = 0; i < app::kControlCount; ++i) {
        const app::ControlState s = app::InitialControlState(static_cast<app::Control>(i));
        controls_[static_cast<std::size_t>(i)] = State{s.text, s.enabled, s.checked, s.visible};
    }
}

double CliView::ElapsedS() const {
    if (!started_) return 0;
    return static_cast<double>(platform::CurrentClock().NowMicros() - startMicros_) / 1e6;
}

void CliView::SetText(app::Control c, const std::string& text) {
    At(c).text = text;
    if (c != app::Control::statusText || text.empty()) return;
    if (!started_) {
        // The first status of an update starts its clock.
        started_ = true;
        startMicros_ = platform::CurrentClock().NowMicros();
    }
    if (text == kLoaderStartStatus) loaderStarted_ = true;
    if (text.rfind(kSuccessStatusPrefix, 0) == 0) finished_ = true;
    if (text == lastStatus_) return;
    lastStatus_ = text;
    log_.Poll();
    reporter_.Status(text, percent_, ElapsedS());
}

void CliView::SetVisible(app::Control c, bool visible) {
    At(c).visible = visible;
    if (c == app::Control::statusText && !visible) reporter_.EndStatus();
}

void CliView::SetProgress(int percent) {
    if (percent == percent_) return;
    percent_ = percent;
    reporter_.Progress(percent, ElapsedS());
    if (onProgress_) onProgress_(percent);
}

void CliView::ProcessPendingMessages() {
    log_.Poll();
    if (onPending_) onPending_();
}

void CliDialogs::ShowMessage(const std::string& text, const std::string& caption, app::Icon icon) {
    outcome_.messages.push_back({caption, view_.LoaderStarted(), ErrorNumberInText(text)});
    reporter_.Message(caption, text, KindOfIcon(icon));
}

bool CliDialogs::AskOkCancel(const std::string& text, const std::string& caption) {
    AnsweredBy by = AnsweredBy::kNoTerminal;
    bool answer = false;
    if (policy_.yes) {
        by = AnsweredBy::kYesOption;
        answer = true;
    } else if (policy_.terminal) {
        by = AnsweredBy::kUser;
    }
    answer = reporter_.Question(caption, text, by, answer);
    if (!answer) outcome_.cancelled = true;
    return answer;
}

bool CliDialogs::OpenFile(const app::FileDialogOptions&, std::string* path) {
    ++openDialogs_;
    if (openPath_.empty()) return false;
    *path = openPath_;
    return true;
}

bool CliDialogs::SaveFile(const app::FileDialogOptions&, std::string* path) {
    if (savePath_.empty()) return false;
    *path = savePath_;
    return true;
}

void RealTimeTimers::StartOneShot(app::AppTimer timer, std::uint32_t delayMs,
                                  std::function<void()> handler) {
    pending_[timer] = Entry{SteadyMicros() + std::uint64_t{delayMs} * 1000u, std::move(handler)};
}

int RealTimeTimers::RunDue() {
    int ran = 0;
    for (;;) {
        const std::uint64_t now = SteadyMicros();
        auto due = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->second.dueMicros <= now &&
                (due == pending_.end() || it->second.dueMicros < due->second.dueMicros))
                due = it;
        }
        if (due == pending_.end()) return ran;
        // A handler may start timers, this one included, or run for minutes.
        std::function<void()> handler = std::move(due->second.handler);
        pending_.erase(due);
        handler();
        ++ran;
    }
}

void RealTimeTimers::WaitAndRun(std::uint32_t maxMs) {
    std::uint64_t wait = std::uint64_t{maxMs} * 1000u;
    const std::uint64_t now = SteadyMicros();
    for (const auto& [timer, entry] : pending_) {
        const std::uint64_t left = entry.dueMicros > now ? entry.dueMicros - now : 0;
        if (left < wait) wait = left;
    }
    if (wait > 0) std::this_thread::sleep_for(std::chrono::microseconds(wait));
    RunDue();
}

void VirtualClockTimers::StartOneShot(app::AppTimer timer, std::uint32_t delayMs,
                                      std::function<void()> handler) {
    Stop(timer);
    pending_[timer] = clock_.ScheduleIn(std::uint64_t{delayMs} * 1000u,
                                        [this, timer, handler = std::move(handler)] {
                                            pending_.erase(timer);
                                            handler();
                                        });
}

void VirtualClockTimers::Stop(app::AppTimer timer) {
    auto it = pending_.find(timer);
    if (it == pending_.end()) return;
    clock_.Cancel(it->second);
    pending_.erase(it);
}

}  // namespace quor::cli
