// An update cut off in its loader phase is finished by the next run: a new
// App with fresh protocol objects, the same app folder and the same device
// programs the device and restores its settings from the settings file the
// cut-off run left behind.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "UpdateBench.h"
#include "app/App.h"
#include "app/AppFrontEnd.h"
#include "app/SettingsStore.h"
#include "support/ScopedEnv.h"

namespace quor::app::testing {
namespace {

constexpr std::uint32_t kStartTimerMs = 100;

// One start of the program: its front end and the app on it.
struct AppRun {
    explicit AppRun(sim::VirtualClock& clock) : timers(clock) {}
    RecordingView view;
    ScriptedDialogs dialogs;
    MemorySettingsStore store;
    VirtualClockTimers timers;
    RecordingVersionCheck versionCheck;
    std::unique_ptr<App> app;
};

class InterruptionTest : public UpdateBench {
  protected:
    InterruptionTest() : dataHome_(dir.File("data")), xdg_("XDG_DATA_HOME", dataHome_.c_str()) {}

    // Starts the program on the simulated port.
    std::unique_ptr<AppRun> StartApp() {
        auto run = std::make_unique<AppRun>(world->Clock());
        AppEnvironment env;
        env.programFolder = dir.File("program");
        env.listPorts = [](PortRecord* list, std::uint32_t* count, bool) {
            list[0].name = kBenchPort;
            list[0].description = "Simulated port (SIM1)";
            *count = 1;
            return ResultCode{1};
        };
        run->app = std::make_unique<App>(
            AppFrontEnd{run->view, run->dialogs, run->store, run->timers, run->versionCheck},
            InstrumentEdition(), std::move(env));
        run->app->OnWindowShown();
        EXPECT_EQ(run->app->CommPort(), kBenchPort);
        return run;
    }

    // Presses Start; the start timer's handler runs the whole update.
    void PressStart(AppRun& run) {
        run.app->OnStartClick();
        world->Clock().RunUntil(NowMicros() + std::uint64_t{kStartTimerMs} * 1000);
        EXPECT_FALSE(run.app->Busy());
    }

    static bool Succeeded(const AppRun& run) {
        return run.view.Text(Control::statusText).rfind("Successfully updated firmware in ", 0) == 0;
    }
    std::string AppSettingsFile(const AppRun& run) const {
        return SettingsFilePath(run.app->AppFolder(), run.app->ProductName());
    }

    // A TRU whose update is cut where cut says, which leaves the device in
    // its loader or in its old firmware, then started again. Returns whether
    // the second run left the new firmware and every setting.
    bool CutThenResume(const sim::SimLink::WriteMatch& cut, sim::SimLink::CutTiming timing,
                       bool leftInLoader) {
        sim::InstrumentModel& m = PutDevice("TRU");
        m.SetImageVersion("TRU 3.65");
        const sim::InstrumentState before = m.State();
        link->CutAtHostWrite(cut, timing);

        auto first = StartApp();
        PressStart(*first);
        EXPECT_TRUE(link->CutAtWriteFired());
        EXPECT_EQ(m.InLoader(), leftInLoader);
        EXPECT_FALSE(Succeeded(*first));
        // The run told the user once why it stopped.
        EXPECT_EQ(first->dialogs.messages.size(), 1u);
        const std::string file = AppSettingsFile(*first);
        EXPECT_TRUE(std::filesystem::exists(file));
        first.reset();
        link->Reconnect();

        auto second = StartApp();
        PressStart(*second);
        EXPECT_TRUE(Succeeded(*second)) << second->view.Text(Control::statusText) << "\n"
                                        << quor::testing::ReadFile(second->app->ErrorFile());
        EXPECT_TRUE(second->dialogs.messages.empty());
        EXPECT_EQ(m.VersionText(), "TRU 3.65");
        EXPECT_TRUE(SameSettings(m.State(), before)) << StateDiff(m.State(), before);
        EXPECT_TRUE(m.Loader().Violations().empty());
        EXPECT_FALSE(std::filesystem::exists(file));
        const bool survived = Succeeded(*second) && m.VersionText() == "TRU 3.65" &&
                              SameSettings(m.State(), before);
        // The next cut point starts from an empty app folder.
        std::filesystem::remove(second->app->ErrorFile());
        return survived;
    }

  private:
    std::string dataHome_;
    quor::testing::ScopedEnv xdg_;
};

TEST_F(InterruptionTest, EveryCutInTheLoaderPhaseIsFinishedByTheNextRun) {
    // An update without a cut shows how many frames of each kind there are.
    std::uint32_t erases = 0;
    std::uint32_t blocks = 0;
    {
        sim::InstrumentModel& m = PutDevice("TRU");
        m.SetImageVersion("TRU 3.65");
        auto run = StartApp();
        PressStart(*run);
        ASSERT_TRUE(Succeeded(*run)) << quor::testing::ReadFile(run->app->ErrorFile());
        erases = FramesOf(m.Loader(), 'X');
        blocks = FramesOf(m.Loader(), 'W');
        ASSERT_EQ(erases, 2u + 117u);
        ASSERT_GT(blocks, 100u);
        std::filesystem::remove(run->app->ErrorFile());
    }

    const std::vector<CutPoint> cuts = LoaderPhaseCutPoints(erases, blocks);

    int survived = 0;
    for (const CutPoint& cut : cuts) {
        SCOPED_TRACE(cut.name);
        survived += CutThenResume(cut.match(), cut.timing, cut.leftInLoader) ? 1 : 0;
    }
    RecordProperty("cut_points_tried", static_cast<int>(cuts.size()));
    RecordProperty("cut_points_survived", survived);
    std::printf("[ INFO     ] interruption: %zu cut points tried, %d survived\n", cuts.size(),
                survived);
}

// The vectors taken but their answer lost: the device restarts into the new
// image with the settings of a freshly programmed one while the run reports
// a failed upload. The next run finds the firmware running, captures those
// factory values and writes them over the settings file, so the device's own
// settings are gone. Kept disabled until the sequence guards the file.
TEST_F(InterruptionTest, DISABLED_VectorsTakenWithTheirAnswerLostKeepTheSettings) {
    EXPECT_TRUE(CutThenResume(NthFrame('V', 1), sim::SimLink::CutTiming::kAfterDelivery, false));
}

}  // namespace
}  // namespace quor::app::testing
