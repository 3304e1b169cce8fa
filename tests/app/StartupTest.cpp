#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/AppFixture.h"
#include "app/SensorMenu.h"
#include "support/TempDir.h"

namespace quor::app::testing {
namespace {

namespace fs = std::filesystem;
using quor::testing::ReadFile;

class StartupTest : public AppFixture {};

TEST_F(StartupTest, InstrumentEditionWindowTextsAndMenus) {
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    App& a = Start();

    EXPECT_EQ(a.ProductName(), "Dewmark Tru");
    EXPECT_FALSE(a.DigitalSensor());
    EXPECT_EQ(view.caption, "Dewmark Tru Firmware Updater");
    EXPECT_EQ(view.title, "Dewmark Tru Updater");
    EXPECT_EQ(view[Control::mnuAbout].text, "About Dewmark Tru Firmware Updater");
    EXPECT_EQ(view[Control::userText1].text, "This utility updates Dewmark Tru firmware to");
    EXPECT_EQ(view[Control::userText2].text, "TRU 3.65");
    EXPECT_EQ(view[Control::commLabel].text, "Connect to Dewmark Tru with Comm Port");
    EXPECT_EQ(view[Control::lblConnect].text, "Connect Dewmark Tru to computer comm port.");
    EXPECT_EQ(a.VersionCheckPath(), "/versionfinder/Tru-Firmware.txt");

    // Rep mode enables opening a file; factory mode shows the two service items.
    EXPECT_TRUE(view[Control::mnuOpenFirmwareFile].enabled);
    EXPECT_TRUE(view[Control::mnuReplaceSerialNumber].visible);
    EXPECT_TRUE(view[Control::mnuDontEraseData].visible);
    EXPECT_FALSE(view[Control::mnuSensorSeparator].visible);
    EXPECT_FALSE(view[Control::mnuSensorHeading].visible);
    for (const SensorMenuItem& m : kSensorMenu)
        EXPECT_FALSE(view[m.item].visible) << ControlName(m.item);
    EXPECT_FALSE(view[Control::mnuDumpFirmwareImage].visible);
    EXPECT_TRUE(view[Control::mnuVerboseErrorFile].checked);
    EXPECT_FALSE(view[Control::mnuVerboseErrorFile].enabled);
    EXPECT_TRUE(view[Control::btnStart].enabled);
    EXPECT_FALSE(view[Control::statusText].visible);

    // The built-in image's progress values.
    EXPECT_EQ(a.ImageVersion(), 365);
    EXPECT_EQ(a.EraseProgressStep(), 1);
    EXPECT_FLOAT_EQ(a.UploadStep(), 0.5649407f);
    EXPECT_FALSE(a.Busy());
    EXPECT_FALSE(a.KeepGoing());
}

TEST_F(StartupTest, DigitalSensorEditionStartsWithZepra51) {
    AddPort("ttyUSB0", "Palomet USB (ttyUSB0)");
    App& a = Start(DigitalSensorEdition());

    EXPECT_TRUE(a.DigitalSensor());
    EXPECT_EQ(a.SelectedSensorType(), 93);
    EXPECT_EQ(a.ProductName(), "ZEPRA 51 Sensor Suite");
    EXPECT_EQ(view.caption, "ZEPRA 51 Sensor Suite Firmware Updater");
    EXPECT_EQ(view.title, "ZEPRA 51 Sensor Suite Updater");
    EXPECT_EQ(view[Control::userText1].text,
              "This utility updates ZEPRA 51 Sensor Suite firmware to");
    EXPECT_EQ(view[Control::commLabel].text,
              "Connect to Palomet and Digital Sensor with Comm Port");
    EXPECT_EQ(view[Control::lblConnect].text, "Connect Palomet to computer comm port.");
    EXPECT_EQ(a.VersionCheckPath(), "/versionfinder/ZEPRA51-Firmware.txt");
    EXPECT_EQ(a.ErrorFile(),
              AppFolderPath() + "/ZEPRA 51 Sensor Suite Firmware Updater.errors.txt");

    EXPECT_TRUE(view[Control::mnuSensorSeparator].visible);
    EXPECT_TRUE(view[Control::mnuSensorHeading].visible);
    EXPECT_FALSE(view[Control::mnuSensorHeading].enabled);
    int shown = 0;
    for (const SensorMenuItem& m : kSensorMenu) {
        shown += view[m.item].visible ? 1 : 0;
        EXPECT_EQ(view[m.item].checked, m.item == Control::mnuSensorZEPRA51) << ControlName(m.item);
    }
    EXPECT_EQ(shown, 14);
    EXPECT_FALSE(view[Control::mnuSensorHT7].visible);
    EXPECT_FALSE(view[Control::mnuSensorWN3].visible);
}

TEST_F(StartupTest, SensorItemsCheckOneAndRenameTheProduct) {
    App& a = Start(DigitalSensorEdition());
    const std::string caption = view.caption;

    a.OnSensorTypeItem(Control::mnuSensorRNQ5);
    EXPECT_EQ(a.ProductName(), "RNQ-5 Rain Gauge");
    EXPECT_EQ(a.VersionCheckPath(), "/versionfinder/RNQ5-Firmware.txt");
    a.OnSensorTypeItem(Control::mnuSensorKR4);
    EXPECT_EQ(a.ProductName(), "Unknown Sensor (type 118)");
    EXPECT_EQ(view[Control::userText1].text,
              "This utility updates Unknown Sensor (type 118) firmware to");
    a.OnSensorTypeItem(Control::mnuSensorZEPRA51);
    for (const SensorMenuItem& m : kSensorMenu) {
        EXPECT_EQ(view[m.item].checked, m.item == Control::mnuSensorZEPRA51) << ControlName(m.item);
    }
    // Not a sensor item: nothing changes.
    a.OnSensorTypeItem(Control::btnStart);
    EXPECT_EQ(a.SelectedSensorType(), 93);
    // The caption keeps its start-up name.
    EXPECT_EQ(view.caption, caption);
}

TEST_F(StartupTest, LogAndErrorFileLiveInTheAppFolder) {
    App& a = Start();
    EXPECT_EQ(a.AppFolder(), AppFolderPath());
    EXPECT_TRUE(fs::is_directory(AppFolderPath()));
    EXPECT_EQ(a.ErrorFile(), AppFolderPath() + "/Dewmark Tru Firmware Updater.errors.txt");
    ASSERT_NE(a.Log(), nullptr);
    EXPECT_EQ(a.Log()->FileName(), a.ErrorFile());
    EXPECT_EQ(a.Log()->Level(), QuorLog::kLevelDetail);
    EXPECT_NE(a.Protocol(), nullptr);
    ASSERT_NE(a.Host(), nullptr);
    EXPECT_EQ(a.Host()->ConstructionStatus(), 0);
    EXPECT_EQ(SettingsFilePath(a.AppFolder(), a.ProductName()),
              AppFolderPath() + "/Dewmark Tru.settings.txt");
}

TEST_F(StartupTest, UncreatableDataHomeUsesTheProgramFolder) {
    quor::testing::WriteFile(dir.File("file"), "");
    quor::testing::ScopedEnv xdg("XDG_DATA_HOME", (dir.File("file") + "/below").c_str());
    fs::create_directories(dir.Path() / "program");
    App& a = Start();
    EXPECT_EQ(a.AppFolder(), dir.File("program"));
    a.ErrorOK("Written beside the program", "Caption", kKindError);
    EXPECT_NE(ReadFile(dir.File("program") + "/Dewmark Tru Firmware Updater.errors.txt")
                  .find("Written beside the program"),
              std::string::npos);
}

TEST_F(StartupTest, StartsOnlyOnce) {
    AddPort("ttyS0", "Communications Port (ttyS0)");
    App& a = Start();
    a.OnWindowShown();
    EXPECT_EQ(listCalls.size(), 1u);
    EXPECT_EQ(view.portEntries.size(), 1u);
    EXPECT_EQ(timers.starts.size(), 1u);
}

// --- the comm-port list ---

TEST_F(StartupTest, SavedCommPortIsSelectedByName) {
    struct Case {
        const char* what;
        const char* saved;  // null: no value stored
        int index;
        const char* port;
    } cases[] = {
        {"saved port present", "ttyUSB1", 2, "ttyUSB1"},
        {"saved port gone", "ttyUSB7", 0, "ttyS0"},
        {"nothing saved", nullptr, 0, "ttyS0"},
        {"empty saved name", "", 0, "ttyS0"},
        {"names compare exactly", "TTYUSB1", 0, "ttyS0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.Clear();
        view = RecordingView();
        ports.clear();
        AddPort("ttyS0", "Communications Port (ttyS0)");
        AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
        AddPort("ttyUSB1", "USB Serial Port (ttyUSB1)");
        if (c.saved) store.WriteString(kSettingsSection, kValueCommPort, c.saved);
        App& a = Start();
        EXPECT_EQ(a.SelectedPortIndex(), c.index);
        EXPECT_EQ(a.CommPort(), c.port);
        EXPECT_EQ(view.selectedEntry, c.index);
        EXPECT_EQ(view.portEntries, (std::vector<std::string>{"Communications Port (ttyS0)",
                                                              "USB Serial Port (ttyUSB0)",
                                                              "USB Serial Port (ttyUSB1)"}));
        EXPECT_TRUE(view[Control::btnStart].enabled);
    }
}

TEST_F(StartupTest, NoPortsListsTheNoticeAndDisablesStart) {
    for (ResultCode result : {0, -60}) {
        SCOPED_TRACE(result);
        view = RecordingView();
        listResult = result;
        store.WriteString(kSettingsSection, kValueCommPort, "ttyUSB0");
        App& a = Start();
        EXPECT_EQ(view.portEntries, std::vector<std::string>{"No Comm Ports Found"});
        EXPECT_EQ(view.selectedEntry, 0);
        EXPECT_EQ(a.PortCount(), 0u);
        EXPECT_EQ(a.CommPort(), "");
        EXPECT_FALSE(view[Control::btnStart].enabled);
        // And closing now stores the empty port name.
        a.OnWindowClose();
        std::string saved = "unchanged";
        EXPECT_TRUE(store.ReadString(kSettingsSection, kValueCommPort, &saved));
        EXPECT_EQ(saved, "");
    }
}

TEST_F(StartupTest, FindAllCommsDrivesTheEnumerationAndItsMenuItem) {
    struct Case {
        const char* what;
        int stored;  // -1: missing, -2: stored as text
        bool force;
    } cases[] = {
        {"stored true", 1, true},
        {"stored false", 0, false},
        {"missing", -1, false},
        {"stored as text, not a Boolean", -2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        store.Clear();
        view = RecordingView();
        listCalls.clear();
        if (c.stored >= 0) store.WriteBool(kSettingsSection, kValueFindAllComms, c.stored != 0);
        if (c.stored == -2) store.WriteString(kSettingsSection, kValueFindAllComms, "1");
        App& a = Start();
        EXPECT_EQ(listCalls, std::vector<bool>{c.force});
        EXPECT_EQ(a.FindAllPorts(), c.force);
        EXPECT_EQ(view[Control::mnuForceFindAllCommPorts].checked, c.force);
    }
}

TEST_F(StartupTest, StoredVerboseLogHasNoEffect) {
    store.WriteBool(kSettingsSection, kValueVerboseLog, false);
    App& a = Start();
    EXPECT_TRUE(a.Verbose());
    EXPECT_EQ(a.Log()->Level(), QuorLog::kLevelDetail);
    EXPECT_TRUE(view[Control::mnuVerboseErrorFile].checked);
}

// --- the close handler ---

TEST_F(StartupTest, CloseSavesTheThreeUserSettings) {
    AddPort("ttyS0", "Communications Port (ttyS0)");
    AddPort("ttyACM0", "Palomet (ttyACM0)");
    store.WriteString(kSettingsSection, kValueCommPort, "ttyACM0");
    store.WriteBool(kSettingsSection, kValueFindAllComms, true);
    store.WriteBool(kSettingsSection, kValueVerboseLog, false);
    store.WriteString(kFeedbackSection, "Name", "kept");
    App& a = Start();
    a.OnWindowClose();

    using Value = MemorySettingsStore::Value;
    const auto& v = store.Values();
    EXPECT_EQ(v.at({kSettingsSection, kValueFindAllComms}), Value{std::int32_t{1}});
    EXPECT_EQ(v.at({kSettingsSection, kValueVerboseLog}), Value{std::int32_t{1}});
    EXPECT_EQ(v.at({kSettingsSection, kValueCommPort}), Value{std::string("ttyACM0")});
    EXPECT_EQ(v.at({kFeedbackSection, "Name"}), Value{std::string("kept")});
    EXPECT_EQ(v.size(), 4u);
}

TEST_F(StartupTest, CloseStoresFalseAsZero) {
    App& a = Start();
    a.OnWindowClose();
    std::int32_t n = -1;
    EXPECT_TRUE(store.ReadInt(kSettingsSection, kValueFindAllComms, &n));
    EXPECT_EQ(n, 0);
}

}  // namespace
}  // namespace quor::app::testing
