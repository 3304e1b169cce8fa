#include "gui/QtTimers.h"

#include <QCoreApplication>
#include <QThread>

#include "gui/WindowFrontEnd.h"

namespace quor::gui {

namespace {
// How long one pass of WaitIdle dispatches events before it looks again.
constexpr int kWaitIdleSliceMs = 10;
}  // namespace

UpdateWorker::~UpdateWorker() {
    pending_.clear();
    WaitIdle();
}

void UpdateWorker::Run(std::function<void()> job) {
    pending_.push_back(std::move(job));
    if (!thread_) StartNext();
}

void UpdateWorker::StartNext() {
    if (pending_.empty()) return;
    std::function<void()> job = std::move(pending_.front());
    pending_.pop_front();
    thread_ = QThread::create(std::move(job));
    connect(thread_, &QThread::finished, this, [this] {
        thread_->deleteLater();
        thread_ = nullptr;
        emit jobFinished();
        StartNext();
    });
    emit jobStarted();
    thread_->start();
}

void UpdateWorker::WaitIdle() {
    while (thread_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kWaitIdleSliceMs);
        if (thread_ && thread_->wait(kWaitIdleSliceMs)) {
            // Finished: let the finished signal tidy up.
            QCoreApplication::sendPostedEvents(this);
            QCoreApplication::processEvents();
        }
    }
}

QtTimers::QtTimers(QObject* parent) : QObject(parent), worker_(new UpdateWorker(this)) {
    for (std::size_t i = 0; i < kTimers; ++i) {
        timers_[i] = new QTimer(this);
        timers_[i]->setSingleShot(true);
        connect(timers_[i], &QTimer::timeout, this, [this, i] { Fire(i); });
    }
}

QtTimers::~QtTimers() = default;

void QtTimers::StartOneShot(app::AppTimer timer, std::uint32_t delayMs,
                            std::function<void()> handler) {
    const auto i = static_cast<std::size_t>(timer);
    if (i >= kTimers) return;
    RunOnThreadOf(
        this,
        [this, i, delayMs, handler = std::move(handler)]() mutable {
            handlers_[i] = std::move(handler);
            timers_[i]->start(static_cast<int>(delayMs));
            emit timerStarted(static_cast<int>(i), static_cast<int>(delayMs));
        },
        false);
}

void QtTimers::Stop(app::AppTimer timer) {
    const auto i = static_cast<std::size_t>(timer);
    if (i >= kTimers) return;
    RunOnThreadOf(
        this,
        [this, i] {
            timers_[i]->stop();
            handlers_[i] = nullptr;
        },
        false);
}

bool QtTimers::Active(app::AppTimer timer) const {
    const auto i = static_cast<std::size_t>(timer);
    return i < kTimers && timers_[i]->isActive();
}

int QtTimers::IntervalMs(app::AppTimer timer) const {
    const auto i = static_cast<std::size_t>(timer);
    return i < kTimers ? timers_[i]->interval() : 0;
}

void QtTimers::Fire(std::size_t i) {
    std::function<void()> handler = std::move(handlers_[i]);
    handlers_[i] = nullptr;
    emit timerFired(static_cast<int>(i));
    if (!handler) return;
    // The whole update runs off the window's thread, so the window keeps
    // painting and answering through the longest device wait.
    if (i == static_cast<std::size_t>(app::AppTimer::kStart)) {
        worker_->Run(std::move(handler));
    } else {
        handler();
    }
}

}  // namespace quor::gui
