// The frame around an update: the controls while it runs and after, the
// quit guard, the clean-up of a failed update, the post-update notice, and
// which settings file the restore may use.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/SimAppFixture.h"
#include "instrument/Quor_protocol.h"
#include "serial/QuorSerial.h"

namespace quor::app::testing {
namespace {

using quor::testing::ReadFile;

const std::string kQuitText =
    "The Dewmark Tru Firmware Updater is updating your Dewmark Tru!\nThis process should NOT be "
    "interrupted.\n\nYour Dewmark Tru may be unusable or have missing settings\nuntil you "
    "complete the firmware update process.\n\nClick OK to continue updating yourDewmark Tru.\n";

class UpdateControlTest : public SimAppFixture {
  protected:
    // Runs action once, the first time the status text becomes status.
    void AtStatus(const std::string& status, std::function<void()> action) {
        view.onPendingMessages = [this, status, action, done = false]() mutable {
            if (!done && !view.statusTexts.empty() && view.statusTexts.back() == status) {
                done = true;
                action();
            }
        };
    }

    // What a capture by an earlier run of the program left on disk: the
    // settings of the device now on SIM1, in the app's settings file.
    std::string CaptureToFileAsAnEarlierRun() {
        std::filesystem::create_directories(AppFolderPath());
        const std::string path = SettingsFilePath(AppFolderPath(), "Dewmark Tru");
        QuorLog log(dir.File("earlier-run.errors.txt").c_str());
        Quor_protocol earlier(&log);
        DeviceTypeInfo record;
        EXPECT_GE(earlier.DPConnect(kSimPort, 2, 3, &record), 0);
        EXPECT_GE(earlier.Login(), 0);
        EXPECT_GE(earlier.DPSaveInfo(path.c_str()), 0);
        earlier.Disconnect(true);
        return ReadFile(path);
    }
};

TEST_F(UpdateControlTest, StartDisablesTheControlsAndTheUpdateRunsAfterTheStartDelay) {
    Device("TRU 3.64", "TRU 3.65");
    Start();
    app->OnStartClick();
    EXPECT_FALSE(view[Control::btnStart].enabled);
    EXPECT_FALSE(view[Control::btnClose].enabled);
    EXPECT_FALSE(view[Control::mnuUpdateFirmware].enabled);
    ASSERT_TRUE(timers.Pending(AppTimer::kStart));
    EXPECT_EQ(timers.starts.back().delayMs, kStartDelayMs);
    EXPECT_FALSE(app->Busy());

    // While it runs.
    struct Seen {
        bool busy, start, close, update, ports, statusVisible;
        Cursor cursor;
        std::string hint;
    };
    std::vector<Seen> seen;
    view.onPendingMessages = [&] {
        seen.push_back({app->Busy(), view[Control::btnStart].enabled,
                        view[Control::btnClose].enabled, view[Control::mnuUpdateFirmware].enabled,
                        view[Control::cbCommPort].enabled, view[Control::statusText].visible,
                        view.cursor, view[Control::lblConnect].text});
    };
    view.SetVisible(Control::newSN, true);
    view.SetVisible(Control::newSNstr, true);
    view.SetText(Control::newSNstr, "TRU-NEW");
    ASSERT_TRUE(PressStart());
    ASSERT_GT(seen.size(), 10u);
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.busy);
        EXPECT_FALSE(s.start || s.close || s.update || s.ports);
        EXPECT_TRUE(s.statusVisible);
        EXPECT_EQ(s.cursor, Cursor::kHourglass);
    }
    EXPECT_EQ(seen.front().hint, "Do NOT disconnect Dewmark Tru until finished.");

    // After it.
    EXPECT_FALSE(app->Busy());
    EXPECT_TRUE(view[Control::btnStart].enabled);
    EXPECT_TRUE(view[Control::btnClose].enabled);
    EXPECT_TRUE(view[Control::mnuUpdateFirmware].enabled);
    EXPECT_TRUE(view[Control::cbCommPort].enabled);
    EXPECT_EQ(view.defaultButton, Control::btnClose);
    EXPECT_EQ(view.cursor, Cursor::kNormal);
    EXPECT_FALSE(view[Control::mnuReplaceSerialNumber].checked);
    EXPECT_FALSE(view[Control::newSN].visible);
    EXPECT_FALSE(view[Control::newSNstr].visible);
    EXPECT_EQ(view[Control::newSNstr].text, "");
    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
}

TEST_F(UpdateControlTest, TheQuitGuardKeepsTheWindowOpenWhileTheUpdateRuns) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    Start();
    int startTimers = 0;
    AtStatus("Uploading new firmware code...", [&] {
        app->ConfirmQuit();   // "&Exit", Alt+F4, the title bar
        app->OnCloseClick();  // a front end that lets Close through
        const std::size_t before = timers.starts.size();
        app->OnStartClick();  // a second Start is not taken
        startTimers = static_cast<int>(timers.starts.size() - before);
    });
    ASSERT_TRUE(PressStart());

    ASSERT_EQ(dialogs.messages.size(), 2u);
    for (const auto& m : dialogs.messages) {
        EXPECT_EQ(m.caption, "Don't Quit Now!");
        EXPECT_EQ(m.text, kQuitText);
        EXPECT_EQ(m.icon, Icon::kWarning);
    }
    EXPECT_EQ(startTimers, 0);
    EXPECT_EQ(view.closeRequests, 0);
    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_EQ(tru.Programmings(), 1);

    // Idle, the guard closes at once and tells the loader host to stop.
    app->ConfirmQuit();
    EXPECT_EQ(view.closeRequests, 1);
    EXPECT_FALSE(app->KeepGoing());
    EXPECT_FALSE(app->UpdateProgress(0, 0, 1, 'W'));
    EXPECT_EQ(dialogs.messages.size(), 2u);
    app->OnCloseClick();
    EXPECT_EQ(view.closeRequests, 2);
}

TEST_F(UpdateControlTest, AFailedUpdateFreesThePortAndKeepsTheSettingsFile) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    Start();
    AtStatus("Uploading new firmware code...",
             [&] { tru.Loader().GoSilentAfterFrames(tru.Loader().FramesSeen() + 20); });
    ASSERT_TRUE(PressStart());

    EXPECT_EQ(app->LastUpdateResult(), rc::kNoAnswer);
    EXPECT_FALSE(view[Control::statusText].visible);
    EXPECT_EQ(view.progress.back(), 0);
    EXPECT_EQ(view[Control::lblConnect].text, "Connect Dewmark Tru to computer comm port.");
    EXPECT_TRUE(SettingsFileExists());
    EXPECT_TRUE(tru.InLoader());
    EXPECT_TRUE(view[Control::btnStart].enabled);
    EXPECT_FALSE(app->Host()->Connected());
    // Both links are closed: the port opens for anyone.
    QuorSerial next(nullptr);
    EXPECT_EQ(next.DSOpen(kSimPort, 9600), 1);
}

struct NoticeCase {
    const char* adc;  // null: a Tru, whose capture reads no adc
    bool notice;
};

class CalibrationNoticeTest : public SimAppFixture,
                              public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(CalibrationNoticeTest, TheNoticeFollowsTheCapturedAdcSetting) {
    const NoticeCase& c = GetParam();
    ProductConfig config = InstrumentEdition();
    if (c.adc) {
        Device("TQ 2.31").SetSetting("adc", c.adc);
        config.productType = DeviceType::kTq;
        config.image = &ProductImageFor(DeviceType::kTq);
    } else {
        Device("TRU 3.64", "TRU 3.65");
    }
    Start(config);
    ASSERT_TRUE(PressStart());
    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_EQ(app->DeviceInfo().showNotice, c.notice);
}

INSTANTIATE_TEST_SUITE_P(Adc, CalibrationNoticeTest,
                         ::testing::Values(NoticeCase{nullptr, true},
                                           NoticeCase{"512 498 1", false},
                                           NoticeCase{"50.98 498 1", true}));

TEST_F(UpdateControlTest, AnotherDevicesSettingsFileIsSetAsideWhenThisCaptureFailed) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-OTHER1");
    const std::string stale = CaptureToFileAsAnEarlierRun();
    ASSERT_NE(stale.find("TRU-OTHER1"), std::string::npos);
    // Now a different Tru on the same port, whose settings cannot be read.
    tru.SetSetting("sn", "TRU-THIS01");
    tru.SetGetReply("sn", sim::GetReply::kSilent);
    Start();
    const std::string path = SettingsPath();
    std::ofstream(path + ".unused") << "set aside by an even earlier run\n";
    dialogs.okCancelAnswers = {true};

    ASSERT_TRUE(PressStart());

    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].caption, "Settings Retrieve Error");
    // The restore found no file, so the other device's serial number and
    // settings were not written into this one.
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[0].text.find("couldn't find the settings file"), std::string::npos);
    EXPECT_NE(dialogs.messages[1].text.find("[Error -102]"), std::string::npos);
    EXPECT_EQ(tru.Setting("sn"), tru.FactoryState().settings.at("sn"));
    EXPECT_EQ(tru.CommandsSeen("set -sn"), 0);
    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    // Nothing is lost: the file is kept under the next free name.
    EXPECT_EQ(ReadFile(path + ".unused.2"), stale);
    EXPECT_EQ(ReadFile(path + ".unused"), "set aside by an even earlier run\n");
    EXPECT_NE(
        LogText().find("set the settings file of an earlier update aside as " + path + ".unused.2"),
        std::string::npos);
}

TEST_F(UpdateControlTest, APartialCaptureReplacesAnOlderFileAndIsRestored) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-OTHER1");
    CaptureToFileAsAnEarlierRun();
    tru.SetSetting("sn", "TRU-THIS01");
    tru.SetGetReply("config", sim::GetReply::kError);  // -35: the serial number is read
    Start();
    dialogs.okCancelAnswers = {true};
    AtStatus("Starting the firmware loader...",
             [&] { EXPECT_NE(ReadFile(SettingsPath()).find("TRU-THIS01"), std::string::npos); });

    ASSERT_TRUE(PressStart());

    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_EQ(tru.Setting("sn"), "TRU-THIS01");
    EXPECT_FALSE(std::filesystem::exists(SettingsPath() + ".unused"));
}

TEST_F(UpdateControlTest, ADeviceFoundInItsLoaderIsRestoredFromTheFileOnDisk) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-282828");
    CaptureToFileAsAnEarlierRun();
    const sim::InstrumentState before = tru.State();
    tru.StartInLoader();
    Start();

    ASSERT_TRUE(PressStart());

    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(tru.Programmings(), 1);
    EXPECT_EQ(tru.State(), before);
    EXPECT_FALSE(SettingsFileExists());
    EXPECT_FALSE(std::filesystem::exists(SettingsPath() + ".unused"));
    // No device check ran: straight from the first connection to the loader.
    const std::vector<int> start(view.progress.begin(), view.progress.begin() + 3);
    EXPECT_EQ(start, (std::vector<int>{0, 2, 6}));
}

// How long one connection attempt takes against a device that hears nothing.
std::uint64_t FailedConnectMs(sim::SimWorld& world) {
    Quor_protocol probe(nullptr);
    DeviceTypeInfo record;
    const std::uint64_t start = world.NowMs();
    EXPECT_LT(probe.DPConnect(kSimPort, 2, 3, &record), 0);
    return world.NowMs() - start;
}

TEST_F(UpdateControlTest, TheThirdReconnectAttemptCompletesTheUpdate) {
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-313131");
    const sim::InstrumentState before = tru.State();
    tru.GoSilentAfterCommands(0);
    const std::uint64_t attemptMs = FailedConnectMs(world);
    tru.WakeUp();
    Start();
    // Deaf through two attempts and the 0 and 1500 ms waits after them.
    AtStatus("Restarting the Dewmark Tru, please wait...",
             [&] { tru.GoSilentAfterCommands(0, 2 * attemptMs + 750); });

    ASSERT_TRUE(PressStart());

    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(tru.State(), before);
    EXPECT_EQ(tru.VersionText(), "TRU 3.65");
    // Two attempts failed after the restart, the third connected.
    const std::string log = LogText();
    std::size_t at = log.find("BSLSendVectors successful");
    ASSERT_NE(at, std::string::npos);
    int failed = 0;
    while ((at = log.find("DPConnect couldn't connect.", at + 1)) != std::string::npos) ++failed;
    EXPECT_EQ(failed, 2);
}

struct SerialCase {
    const char* typed;
    const char* after;
};

class NewSerialNumberTest : public SimAppFixture,
                            public ::testing::WithParamInterface<SerialCase> {};

TEST_P(NewSerialNumberTest, ReplacesTheCapturedOneOnlyWhenTyped) {
    const SerialCase& c = GetParam();
    sim::InstrumentModel& tru = Device("TRU 3.64", "TRU 3.65");
    tru.SetSetting("sn", "TRU-640001");
    const std::string config = tru.Setting("config");
    Start();
    app->OnReplaceSerialNumber();
    ASSERT_TRUE(view[Control::newSNstr].visible);
    view.SetText(Control::newSNstr, c.typed);

    ASSERT_TRUE(PressStart());

    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_EQ(tru.Setting("sn"), c.after);
    EXPECT_EQ(tru.Setting("config"), config);
    // Every update ends with the item reset.
    EXPECT_FALSE(app->ReplaceSerialNumber());
    EXPECT_FALSE(view[Control::mnuReplaceSerialNumber].checked);
    EXPECT_EQ(view[Control::newSNstr].text, "");
}

INSTANTIATE_TEST_SUITE_P(Typed, NewSerialNumberTest,
                         ::testing::Values(SerialCase{"TRU-NEW-042", "TRU-NEW-042"},
                                           SerialCase{"", "TRU-640001"}));

class DataEraseTest : public SimAppFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(DataEraseTest, TheStoredDataIsErasedUnlessTheUserSaidNot) {
    const bool dontErase = GetParam();
    sim::InstrumentModel& tq = Device("TQ 2.31");
    ProductConfig config = InstrumentEdition();
    config.productType = DeviceType::kTq;
    config.image = &ProductImageFor(DeviceType::kTq);
    Start(config);
    if (dontErase) app->OnDontEraseData();
    ASSERT_EQ(app->DontEraseData(), dontErase);

    ASSERT_TRUE(PressStart());

    EXPECT_EQ(app->LastUpdateResult(), rc::kOk);
    EXPECT_EQ(tq.Erases(), dontErase ? 0 : 1);
    const bool told = std::find(view.statusTexts.begin(), view.statusTexts.end(),
                                "Erasing old data...") != view.statusTexts.end();
    EXPECT_EQ(told, !dontErase);
    EXPECT_GT(tq.CommandsSeen("set -sec") + tq.CommandsSeen("set -t"), 0);  // the clock is set
}

INSTANTIATE_TEST_SUITE_P(DontEraseData, DataEraseTest, ::testing::Bool());

}  // namespace
}  // namespace quor::app::testing
