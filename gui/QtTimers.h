#pragma once
// The main window's one-shot timers on QTimer, and the worker thread that
// the start timer's handler (the whole update) runs on. The other handlers
// run on the window's thread, as the core expects.
//
// Ownership: QtTimers owns its QTimers and the UpdateWorker; the worker
// owns the thread of the job it runs and is destroyed only once that job
// has ended (its destructor waits, dispatching the window's events, so a
// question the job asks can still be answered).

#include <QObject>
#include <QTimer>
#include <array>
#include <deque>
#include <functional>

#include "app/AppTimers.h"

class QThread;

namespace quor::gui {

class UpdateWorker final : public QObject {
    Q_OBJECT
  public:
    explicit UpdateWorker(QObject* parent = nullptr) : QObject(parent) {}
    ~UpdateWorker() override;

    // Runs job on a thread of its own; a job given while one runs waits
    // for it. Call on the owner's thread.
    void Run(std::function<void()> job);
    bool Running() const { return thread_ != nullptr; }
    // Returns once no job runs, dispatching events meanwhile.
    void WaitIdle();

  signals:
    void jobStarted();
    void jobFinished();

  private:
    void StartNext();
    QThread* thread_ = nullptr;
    std::deque<std::function<void()>> pending_;
};

class QtTimers final : public QObject, public app::AppTimers {
    Q_OBJECT
  public:
    explicit QtTimers(QObject* parent = nullptr);
    ~QtTimers() override;

    void StartOneShot(app::AppTimer timer, std::uint32_t delayMs,
                      std::function<void()> handler) override;
    void Stop(app::AppTimer timer) override;

    bool Active(app::AppTimer timer) const;
    int IntervalMs(app::AppTimer timer) const;
    UpdateWorker& Worker() { return *worker_; }

  signals:
    // A timer started or fired (timer: the AppTimer's number), for tests.
    void timerStarted(int timer, int delayMs);
    void timerFired(int timer);

  private:
    static constexpr std::size_t kTimers = 4;
    void Fire(std::size_t i);

    std::array<QTimer*, kTimers> timers_{};
    std::array<std::function<void()>, kTimers> handlers_{};
    UpdateWorker* worker_;
};

}  // namespace quor::gui
