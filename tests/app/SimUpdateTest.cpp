// Whole updates of the simulated instruments through the protocol objects,
// driven by hand: every type goes from its firmware into its loader, is
// programmed, restarts running the new image, passes its code check and gets
// its settings back; and a TRU cut off at a point of the loader phase is
// finished by a later run with fresh host objects from the settings file.

#include <string>
#include <vector>

#include "UpdateBench.h"

namespace quor::app::testing {
namespace {

// The next version of a version text: "DM9 2.07" gives "DM9 2.08".
std::string NextVersion(const std::string& text) {
    const std::int32_t v = sim::VersionNumberOf(text) + 1;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s %d.%02d", text.substr(0, text.find(' ')).c_str(),
                  static_cast<int>(v / 100), static_cast<int>(v % 100));
    return buf;
}

class EveryTypeUpdateTest : public UpdateBench, public ::testing::WithParamInterface<std::string> {};

TEST_P(EveryTypeUpdateTest, ProgrammedRestartedCheckedAndEverySettingBack) {
    sim::InstrumentModel& m = PutDevice(GetParam());
    const sim::InstrumentState before = m.State();
    const std::string next = NextVersion(m.VersionText());
    const DeviceType type = DeviceTypeFromCode(m.Profile().code.c_str());
    const DeviceTypeRow& row = DeviceTypeRowOf(type);
    const std::string image = dir.File("image.txt");
    quor::testing::WriteFile(image, TiTextImage(row.flashStart, next));

    auto run = NewRun();
    ASSERT_EQ(run->host.BSLLoadTIFile(image.c_str()), 1);
    const std::uint64_t t0 = NowMicros();
    ASSERT_EQ(UpdateByHand(*run, type), 1) << quor::testing::ReadFile(dir.File("run.log"));

    EXPECT_EQ(m.Programmings(), 1);
    EXPECT_FALSE(m.InLoader());
    EXPECT_EQ(m.VersionText(), next);
    EXPECT_TRUE(m.SelfTestGood());
    EXPECT_TRUE(m.Loader().Violations().empty());
    EXPECT_EQ(m.Loader().FrameLog().front().substr(0, 1), "g");
    // The loader ran at its own rate, the firmware at 9600.
    EXPECT_EQ(m.Loader().Restarts(), 1u);
    EXPECT_EQ(link->Baud(), 9600u);
    if (row.saveSettings) {
        EXPECT_TRUE(SameSettings(m.State(), before)) << StateDiff(m.State(), before);
    } else {
        EXPECT_TRUE(m.State() == m.FactoryState()) << StateDiff(m.State(), m.FactoryState());
    }
    EXPECT_EQ(m.CommandsSeen("yes"), row.eraseData ? 1 : 0);
    // The updater waits its restart delay; the device is back sooner.
    EXPECT_GE(NowMicros() - t0, std::uint64_t{row.restartDelayMs} * 1000);
    EXPECT_FALSE(SettingsFileExists());
}

INSTANTIATE_TEST_SUITE_P(Types, EveryTypeUpdateTest, ::testing::ValuesIn(sim::InstrumentCodes()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

// A device left in its loader is still there for the next connection, at
// whatever stage the cut left it: waiting, or connected.
TEST_F(UpdateBench, ALoaderLeftRunningAnswersTheNextRunsVersionQuery) {
    sim::InstrumentModel& m = PutDevice("TRU");
    for (bool connected : {false, true}) {
        SCOPED_TRACE(connected ? "connected" : "waiting");
        m.Loader().StartInLoader(connected);
        auto run = NewRun();
        DeviceTypeInfo rec;
        EXPECT_EQ(run->protocol.DPConnect(kBenchPort, kBaudIndex9600, kSerialRetries, &rec),
                  connected ? rc::kLoaderConnected : rc::kLoaderWaiting);
        run->protocol.Disconnect(false);
        EXPECT_TRUE(m.InLoader());
    }
}

TEST_F(UpdateBench, ATruCutInItsLoaderPhaseIsFinishedByTheNextRun) {
    // An update without a cut shows how many frames of each kind there are.
    {
        sim::InstrumentModel& m = PutDevice("TRU");
        auto run = NewRun();
        ASSERT_EQ(UpdateByHand(*run, DeviceType::kTru), 1);
        ASSERT_EQ(FramesOf(m.Loader(), 'X'), 2u + 117u);
    }
    const std::uint32_t blocks = FramesOf(model->Loader(), 'W');
    ASSERT_GT(blocks, 100u);
    // The app's interruption test tries every erase; here a few show that
    // the protocol objects alone take every path of the resume.
    const std::vector<CutPoint> points = LoaderPhaseCutPoints(2 + 117, blocks, false);
    int survived = 0;
    for (const CutPoint& cut : points) {
        SCOPED_TRACE(cut.name);
        sim::InstrumentModel& m = PutDevice("TRU");
        m.SetImageVersion("TRU 3.65");
        const sim::InstrumentState before = m.State();
        link->CutAtHostWrite(cut.match(), cut.timing);

        auto first = NewRun();
        EXPECT_LT(UpdateByHand(*first, DeviceType::kTru), 0);
        ASSERT_TRUE(link->CutAtWriteFired());
        EXPECT_EQ(m.InLoader(), cut.leftInLoader);
        EXPECT_TRUE(SettingsFileExists());
        first.reset();
        link->Reconnect();

        auto second = NewRun();
        const ResultCode r = UpdateByHand(*second, DeviceType::kTru);
        EXPECT_EQ(r, 1) << quor::testing::ReadFile(dir.File("run.log"));
        EXPECT_EQ(m.VersionText(), "TRU 3.65");
        EXPECT_TRUE(SameSettings(m.State(), before)) << StateDiff(m.State(), before);
        EXPECT_TRUE(m.Loader().Violations().empty());
        if (r == 1 && SameSettings(m.State(), before) && m.VersionText() == "TRU 3.65") ++survived;
        std::remove(dir.File("run.log").c_str());
    }
    RecordProperty("cut_points_tried", static_cast<int>(points.size()));
    RecordProperty("cut_points_survived", survived);
    std::printf("[ INFO     ] by hand: %zu cut points tried, %d survived\n", points.size(), survived);
}

}  // namespace
}  // namespace quor::app::testing
