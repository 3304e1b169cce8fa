// A whole update of the simulated TRU that "--simulate TRU" serves on a
// pseudo-terminal, in real time through the real port driver, while a
// heartbeat timer on the window's thread measures the longest stretch in
// which the window's event loop did not run. The figure is printed and
// recorded as a test property; it is a measurement, not a pass mark.
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "GuiFixture.h"
#include "gui/SimulatedDevice.h"

namespace quor::gui::testing {
namespace {

using app::Control;

// A real-time TRU update takes about a minute and a half on the simulator.
constexpr int kRealTimeUpdateLimitMs = 400'000;
constexpr int kHeartbeatMs = 1;
// Gaps longer than this are counted separately in the report.
constexpr qint64 kGapGoalMs = 50;

// Ticks as often as the event loop lets it and keeps the time between two
// ticks.
class EventLoopGapMeter {
  public:
    EventLoopGapMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kHeartbeatMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double LongestGapMs() const { return static_cast<double>(longestNs_) / 1e6; }
    double GapPercentileMs(double p) const {
        if (gaps_.empty()) return 0;
        std::vector<qint64> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        const auto i = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1));
        return static_cast<double>(sorted[i]) / 1e6;
    }
    long Ticks() const { return ticks_; }
    long GapsOverGoal() const { return overGoal_; }
    double ElapsedS() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

  private:
    void Tick() {
        const qint64 now = clock_.nsecsElapsed();
        const qint64 gap = now - last_;
        last_ = now;
        ++ticks_;
        gaps_.push_back(gap);
        if (gap > longestNs_) longestNs_ = gap;
        if (gap > kGapGoalMs * 1'000'000) ++overGoal_;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longestNs_ = 0;
    std::vector<qint64> gaps_;
    long ticks_ = 0;
    long overGoal_ = 0;
};

class ResponsivenessTest : public GuiFixture {};

TEST_F(ResponsivenessTest, ARealTimeUpdateOverAPtyKeepsTheEventLoopRunning) {
    std::string error;
    std::unique_ptr<SimulatedDevice> device = SimulatedDevice::Start("tru", &error);
    ASSERT_TRUE(device) << error;
    AddPort(device->PortPath(), device->Description());
    BoxAnswerer boxes;
    MainWindow& w = Show();
    EXPECT_EQ(w.TextOf(Control::cbCommPort).toStdString(), device->Description());

    // A plain event loop, as the program runs: a polling wait would add
    // its own sleeps to the gaps.
    int finished = 0;
    QEventLoop loop;
    QObject::connect(&session->Worker(), &UpdateWorker::jobFinished, &loop, [&] {
        ++finished;
        loop.quit();
    });
    QTimer::singleShot(kRealTimeUpdateLimitMs, &loop, &QEventLoop::quit);
    EventLoopGapMeter meter;
    QTest::mouseClick(w.WidgetOf(Control::btnStart), Qt::LeftButton);
    loop.exec();
    meter.Stop();
    const bool ended = finished > 0;
    ASSERT_TRUE(ended);
    QCoreApplication::processEvents();

    for (const SeenBox& b : boxes.seen)
        ADD_FAILURE() << b.caption.toStdString() << ": " << b.text.toStdString();
    EXPECT_TRUE(w.TextOf(Control::statusText).startsWith("Successfully updated firmware in "))
        << w.TextOf(Control::statusText).toStdString();
    int programmings = 0;
    device->Bridge().Call([&] { programmings = device->Model().Programmings(); });
    EXPECT_EQ(programmings, 1);
    EXPECT_GT(meter.Ticks(), 0);

    std::printf(
        "[ window   ] real-time update over %s: %.1f s; longest event-loop gap %.1f ms, "
        "99th percentile %.1f ms, median %.1f ms (%ld heartbeats of %d ms, %ld gaps over "
        "%lld ms)\n",
        device->PortPath().c_str(), meter.ElapsedS(), meter.LongestGapMs(),
        meter.GapPercentileMs(0.99), meter.GapPercentileMs(0.5), meter.Ticks(), kHeartbeatMs,
        meter.GapsOverGoal(), static_cast<long long>(kGapGoalMs));
    RecordProperty("longest_event_loop_gap_ms", std::to_string(meter.LongestGapMs()));
    RecordProperty("update_seconds", std::to_string(meter.ElapsedS()));
}

}  // namespace
}  // namespace quor::gui::testing
