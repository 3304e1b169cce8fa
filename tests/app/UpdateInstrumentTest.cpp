// Whole instrument updates pressed through Start on a simulated device:
// what the device ends with, and what the window showed on the way.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/SimAppFixture.h"

namespace quor::app::testing {
namespace {

class UpdateInstrumentTest : public SimAppFixture {};

TEST_F(UpdateInstrumentTest, AWholeTruUpdateProgramsTheImageAndGivesEverySettingBack) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-777123");
    const sim::InstrumentState before = tru.State();
    ASSERT_NE(before, tru.FactoryState());
    Start();

    const std::uint64_t pressedMs = world.NowMs();
    ASSERT_TRUE(PressStart());
    const std::uint64_t tookMs = world.NowMs() - pressedMs;

    // The device: programmed once with exactly the image, back in its
    // firmware with the new version and every setting it had.
    EXPECT_EQ(tru.Programmings(), 1);
    EXPECT_TRUE(tru.Loader().Violations().empty());
    EXPECT_FALSE(tru.InLoader());
    EXPECT_EQ(tru.VersionText(), "TRU 3.65");
    EXPECT_EQ(tru.State(), before);
    EXPECT_FALSE(tru.LoggedIn());  // the last step logs out
    const QuorBSLHost& host = *app->Host();
    std::uint32_t mismatches = 0;
    for (const auto& [address, byte] : ImageBytes(host.ImageText()))
        mismatches += tru.Loader().Flash().Read(address) != byte;
    EXPECT_EQ(mismatches, 0u);
    ASSERT_EQ(tru.Loader().StoredVectors().size(), kVectorCount);
    for (std::uint32_t i = 0; i < kVectorCount; ++i)
        EXPECT_EQ(tru.Loader().StoredVectors()[i], host.Vectors()[i]) << i;

    // The window.
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.questions.empty());
    const std::vector<int>& bar = view.progress;
    const std::vector<int> start(bar.begin(), bar.begin() + 4);
    EXPECT_EQ(start, (std::vector<int>{0, 2, 4, 6}));
    EXPECT_EQ(bar[4], 8);
    // The erase moves the bar one point per callback, then the upload
    // starts at 21 and ends near 90.
    const auto at21 = std::find(bar.begin(), bar.end(), 21);
    ASSERT_NE(at21, bar.end());
    for (auto it = bar.begin() + 5; it != at21; ++it) EXPECT_EQ(*it, *(it - 1) + 1);
    EXPECT_GT(at21 - bar.begin(), 5);
    const auto at92 = std::find(bar.begin(), bar.end(), 92);
    ASSERT_NE(at92, bar.end());
    EXPECT_NEAR(*(at92 - 1), 90, 1);
    EXPECT_TRUE(std::is_sorted(at21, at92));
    EXPECT_EQ(std::vector<int>(at92, bar.end()), (std::vector<int>{92, 94, 96, 98, 100}));

    ASSERT_FALSE(view.statusTexts.empty());
    const std::string& last = view.statusTexts.back();
    EXPECT_EQ(last.rfind("Successfully updated firmware in ", 0), 0u) << last;
    EXPECT_EQ(last.substr(last.size() - 9), " seconds.");
    EXPECT_EQ(view.statusTexts,
              (std::vector<std::string>{
                  "Connecting to Dewmark Tru...", "Saving settings for this Dewmark Tru...",
                  "Starting the firmware loader...", "Erasing firmware memory...",
                  "Uploading new firmware code...", "Restarting the Dewmark Tru, please wait...",
                  "Checking new firmware...", "Restoring settings...", last}));
    EXPECT_TRUE(view[Control::statusText].visible);
    EXPECT_EQ(view[Control::lblConnect].text, "You may disconnect your Dewmark Tru now.");
    EXPECT_EQ(dialogs.beeps, std::vector<Beep>{Beep::kAsterisk});
    EXPECT_FALSE(SettingsFileExists());

    const std::string log = LogText();
    const std::size_t n = last.find_first_of("0123456789");
    const std::string elapsed = last.substr(n, last.find(' ', n) - n);
    // Counted from the start timer, 100 ms after the press, in whole seconds.
    EXPECT_EQ(elapsed, std::to_string((tookMs - kStartDelayMs) / 1000));
    EXPECT_NE(log.find("QuorBSL Host: Finished updating device in " + elapsed + " seconds"),
              std::string::npos);
    EXPECT_NE(log.find("DPSaveInfo successfully retrieved and saved device settings"),
              std::string::npos);
    EXPECT_NE(log.find("DPRestoreInfo successfully restored device setting"), std::string::npos);
}

}  // namespace
}  // namespace quor::app::testing
