#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/MenuFixture.h"
#include "app/SensorMenu.h"
#include "support/TempDir.h"

namespace quor::app::testing {
namespace {

namespace fs = std::filesystem;
using quor::testing::ReadFile;

class MenuTest : public MenuFixture {};

// --- "&Open Firmware File..." ---

TEST_F(MenuTest, OpenFileErrorTexts) {
    const std::string caption = "Dewmark Tru Firmware Updater";
    struct Case {
        ResultCode r;
        std::string text;
    } cases[] = {
        {-100,
         "The file \"x.txt\" is not a valid firmware file.\nPlease choose a new firmware file to "
         "open."},
        {-60, "The " + caption +
                  " ran out of memory opening \"x.txt\".\nPlease restart this application and try "
                  "again."},
        {-2, "The " + caption + " could not opening \"x.txt\".\nPlease try again.\nError -2"},
        {-21, "The " + caption + " could not opening \"x.txt\".\nPlease try again.\nError -21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.r);
        EXPECT_EQ(OpenFileErrorText(caption, "x.txt", c.r), c.text);
    }
}

TEST_F(MenuTest, OpenFileOutcomes) {
    const std::string valid = TiText({{0x1100, 40}});
    fs::create_directories(dir.Path() / "folder.txt");
    struct Case {
        const char* what;
        std::string name;     // file name in the test folder
        std::string content;  // written unless empty
        // Expected on success (message empty) or failure.
        std::string message;
        std::string label;
        std::string product;
        std::int8_t imageType;
        std::int32_t version;
    } cases[] = {
        {"a file named for another device", "RV70 3-14.txt", valid, "", "RV70 3.14", "Rv70", 3,
         314},
        {"a file that names no device is the product's", "Firmware.txt", valid, "", "Firmware",
         "Dewmark Tru", 20, 0},
        {"not TI-Text", "TRU 4-00.txt", "not a firmware file\nq\n",
         "The file \"TRU 4-00.txt\" is not a valid firmware file.\n"
         "Please choose a new firmware file to open.",
         "", "", 0, 0},
        {"a file that is gone", "gone.txt", "",
         "The Dewmark Tru Firmware Updater could not opening \"gone.txt\".\nPlease try "
         "again.\nError -2",
         "", "", 0, 0},
        {"a folder cannot be read", "folder.txt", "",
         "The Dewmark Tru Firmware Updater could not opening \"folder.txt\".\nPlease try "
         "again.\nError -21",
         "", "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view = RecordingView();
        ClearDialogs();
        App& a = Start();
        const std::string errorFile = a.ErrorFile();
        const float builtInStep = a.UploadStep();
        view.SetEnabled(Control::btnStart, false);
        view.SetEnabled(Control::mnuUpdateFirmware, false);
        dialogs.openPath = c.content.empty() ? dir.File(c.name) : WriteFirmware(c.name, c.content);

        a.OnCommand(Control::mnuOpenFirmwareFile);

        ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
        EXPECT_EQ(dialogs.fileDialogs[0].title, "Please select a firmware file");
        EXPECT_EQ(dialogs.fileDialogs[0].filter, "Firmware File (*.txt)|*.txt|Any File (*.*)|*.*");
        EXPECT_EQ(dialogs.fileDialogs[0].defaultExtension, ".txt");
        EXPECT_EQ(dialogs.fileDialogs[0].initialFolder, fs::current_path().string());
        if (c.message.empty()) {
            EXPECT_TRUE(dialogs.messages.empty());
            EXPECT_EQ(dialogs.beeps, std::vector<Beep>{Beep::kAsterisk});
            EXPECT_EQ(a.ProductName(), c.product);
            EXPECT_EQ(view[Control::userText2].text, c.label);
            EXPECT_EQ(view[Control::userText1].text,
                      "This utility updates " + c.product + " firmware to");
            EXPECT_EQ(view[Control::commLabel].text, "Connect to " + c.product + " with Comm Port");
            EXPECT_EQ(view[Control::lblConnect].text,
                      "Connect " + c.product + " to computer comm port.");
            EXPECT_EQ(a.Host()->ImageDeviceType(), c.imageType);
            EXPECT_EQ(a.ImageVersion(), c.version);
            EXPECT_EQ(SettingsFilePath(a.AppFolder(), a.ProductName()),
                      AppFolderPath() + "/" + c.product + ".settings.txt");
            EXPECT_EQ(a.EraseProgressStep(), 1);
            EXPECT_FLOAT_EQ(a.UploadStep(), 35328.0f / static_cast<float>(a.Host()->TextLength()));
            EXPECT_TRUE(view[Control::btnStart].enabled);
            EXPECT_TRUE(view[Control::mnuUpdateFirmware].enabled);
        } else {
            ExpectOneMessage("File Error", c.message, Icon::kError, Beep::kHand);
            EXPECT_EQ(LoggedTimes(c.message), 1);
            // The built-in image and everything derived from it stay.
            EXPECT_EQ(a.ProductName(), "Dewmark Tru");
            EXPECT_EQ(view[Control::userText2].text, "TRU 3.65");
            EXPECT_EQ(a.Host()->ImageDeviceType(), 20);
            EXPECT_EQ(a.ImageVersion(), 365);
            EXPECT_EQ(a.UploadStep(), builtInStep);
            EXPECT_FALSE(view[Control::btnStart].enabled);
        }
        // What start-up named keeps its name.
        EXPECT_EQ(view.caption, "Dewmark Tru Firmware Updater");
        EXPECT_EQ(view[Control::mnuAbout].text, "About Dewmark Tru Firmware Updater");
        EXPECT_EQ(a.ErrorFile(), errorFile);
    }
}

TEST_F(MenuTest, OpenFileCancelledChangesNothing) {
    App& a = Start();
    dialogs.openPath.clear();
    a.OnOpenFirmwareFile();
    EXPECT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.beeps.empty());
    EXPECT_EQ(view[Control::userText2].text, "TRU 3.65");
}

TEST_F(MenuTest, UploadStepOfA35328CharacterImageIsExactlyOne) {
    // 6 + 4 * 8000 and 6 + 4 * 829 characters of image text.
    dialogs.openPath = WriteFirmware("TRU 9-99.txt", TiText({{0x1100, 16000}, {0x5000, 1658}}));
    App& a = Start();
    a.OnOpenFirmwareFile();
    ASSERT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(a.Host()->TextLength(), 35328u);
    EXPECT_EQ(a.UploadStep(), 1.0f);
    EXPECT_EQ(a.ImageVersion(), 999);
}

TEST_F(MenuTest, RepModeOffLeavesOpenFileDisabledAndInert) {
    ProductConfig config = InstrumentEdition();
    config.repMode = false;
    dialogs.openPath = WriteFirmware("RV70 3-14.txt", TiText({{0x1100, 8}}));
    App& a = Start(config);
    EXPECT_FALSE(view[Control::mnuOpenFirmwareFile].enabled);
    a.OnCommand(Control::mnuOpenFirmwareFile);
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_EQ(a.ProductName(), "Dewmark Tru");
}

// --- "&Dump Firmware Image..." ---

TEST_F(MenuTest, DumpWorksFromItsCommandAlthoughHidden) {
    App& a = Start();
    EXPECT_FALSE(view[Control::mnuDumpFirmwareImage].visible);
    dialogs.savePath = dir.File("dump.txt");
    a.OnCommand(Control::mnuDumpFirmwareImage);
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].title, "Save Firmware Image");
    EXPECT_EQ(dialogs.fileDialogs[0].defaultExtension, ".txt");
    EXPECT_TRUE(dialogs.messages.empty());
    const std::string dump = ReadFile(dialogs.savePath);
    ASSERT_FALSE(dump.empty());
    // The first header line, then the vectors after their own header.
    EXPECT_EQ(dump.substr(0, 7), std::string(a.Host()->ImageText(), 6) + "\n");
    EXPECT_NE(dump.find("\n@FFE0\n"), std::string::npos);
}

TEST_F(MenuTest, DumpThatCannotBeWrittenWarns) {
    App& a = Start();
    dialogs.savePath = dir.File("no such folder/dump.txt");
    a.OnDumpFirmwareImage();
    ExpectOneMessage("Error", "Error saving firmware image: -2", Icon::kWarning,
                     Beep::kExclamation);
    EXPECT_EQ(LoggedTimes("Error saving firmware image: -2"), 1);
    ClearDialogs();
    dialogs.savePath.clear();
    a.OnDumpFirmwareImage();
    EXPECT_TRUE(dialogs.messages.empty());
}

// --- the toggles ---

TEST_F(MenuTest, TogglesFlipTheirFlagAndCheckMark) {
    AddPort("ttyS0", "Communications Port (ttyS0)");
    App& a = Start();

    a.OnCommand(Control::mnuForceFindAllCommPorts);
    EXPECT_TRUE(a.FindAllPorts());
    EXPECT_TRUE(view[Control::mnuForceFindAllCommPorts].checked);
    // It takes effect at the next drop-down and is saved on close.
    a.OnCommPortDropDown();
    EXPECT_EQ(listCalls, (std::vector<bool>{false, true}));
    a.OnWindowClose();
    bool saved = false;
    EXPECT_TRUE(store.ReadBool(kSettingsSection, kValueFindAllComms, &saved));
    EXPECT_TRUE(saved);
    a.OnCommand(Control::mnuForceFindAllCommPorts);
    EXPECT_FALSE(a.FindAllPorts());
    EXPECT_FALSE(view[Control::mnuForceFindAllCommPorts].checked);

    a.OnCommand(Control::mnuDontEraseData);
    EXPECT_TRUE(a.DontEraseData());
    EXPECT_TRUE(view[Control::mnuDontEraseData].checked);
    a.OnCommand(Control::mnuDontEraseData);
    EXPECT_FALSE(a.DontEraseData());
    EXPECT_FALSE(view[Control::mnuDontEraseData].checked);

    // The verbose item only shows the log's level.
    a.OnCommand(Control::mnuVerboseErrorFile);
    EXPECT_TRUE(a.Verbose());
    EXPECT_TRUE(view[Control::mnuVerboseErrorFile].checked);
    EXPECT_FALSE(view[Control::mnuVerboseErrorFile].enabled);
    EXPECT_EQ(a.Log()->Level(), QuorLog::kLevelDetail);

    // Only the find-all flag and the two start-up values are stored.
    a.OnWindowClose();
    EXPECT_EQ(store.Values().size(), 3u);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MenuTest, ReplaceSerialNumberShowsTheEditAndKeeps15Characters) {
    App& a = Start();
    a.OnCommand(Control::mnuReplaceSerialNumber);
    EXPECT_TRUE(a.ReplaceSerialNumber());
    EXPECT_TRUE(view[Control::mnuReplaceSerialNumber].checked);
    EXPECT_TRUE(view[Control::newSN].visible);
    EXPECT_TRUE(view[Control::newSNstr].visible);
    EXPECT_EQ(view.focus, Control::newSNstr);

    view.SetText(Control::newSNstr, "ABCDEFGHIJKLMNOP");  // 16 typed
    EXPECT_EQ(a.NewSerialNumber(), "ABCDEFGHIJKLMNO");
    view.SetText(Control::newSNstr, "SN-7");
    EXPECT_EQ(a.NewSerialNumber(), "SN-7");

    a.OnCommand(Control::mnuReplaceSerialNumber);
    EXPECT_FALSE(a.ReplaceSerialNumber());
    EXPECT_FALSE(view[Control::mnuReplaceSerialNumber].checked);
    EXPECT_FALSE(view[Control::newSN].visible);
    EXPECT_FALSE(view[Control::newSNstr].visible);
    // Unchecked, the typed number is not used.
    EXPECT_EQ(a.NewSerialNumber(), "");

    // What an update ends with.
    a.OnCommand(Control::mnuReplaceSerialNumber);
    a.ResetReplaceSerialNumber();
    EXPECT_FALSE(a.ReplaceSerialNumber());
    EXPECT_FALSE(view[Control::mnuReplaceSerialNumber].checked);
    EXPECT_FALSE(view[Control::newSNstr].visible);
    EXPECT_EQ(view[Control::newSNstr].text, "");
}

TEST_F(MenuTest, FactoryModeOffLeavesTheServiceItemsHiddenAndInert) {
    ProductConfig config = InstrumentEdition();
    config.factoryMode = false;
    App& a = Start(config);
    EXPECT_FALSE(view[Control::mnuReplaceSerialNumber].visible);
    a.OnCommand(Control::mnuReplaceSerialNumber);
    a.OnCommand(Control::mnuDontEraseData);
    EXPECT_FALSE(a.ReplaceSerialNumber());
    EXPECT_FALSE(a.DontEraseData());
    EXPECT_FALSE(view[Control::newSNstr].visible);
}

// --- sensor-type items ---

TEST_F(MenuTest, Rnq5ThenZepra51LeavesOnlyZepra51Checked) {
    App& a = Start(DigitalSensorEdition());
    a.OnCommand(Control::mnuSensorRNQ5);
    EXPECT_EQ(a.SelectedSensorType(), 94);
    EXPECT_EQ(a.ProductName(), "RNQ-5 Rain Gauge");
    a.OnCommand(Control::mnuSensorZEPRA51);
    for (const SensorMenuItem& m : kSensorMenu)
        EXPECT_EQ(view[m.item].checked, m.item == Control::mnuSensorZEPRA51) << ControlName(m.item);
    EXPECT_EQ(a.SelectedSensorType(), 93);
    EXPECT_EQ(a.ProductName(), "ZEPRA 51 Sensor Suite");
    EXPECT_EQ(a.VersionCheckPath(), "/versionfinder/ZEPRA51-Firmware.txt");

    // The two items that are never shown cannot be chosen.
    a.OnCommand(Control::mnuSensorHT7);
    EXPECT_EQ(a.SelectedSensorType(), 93);
}

TEST_F(MenuTest, SensorItemsDoNothingInTheInstrumentEdition) {
    App& a = Start();
    a.OnCommand(Control::mnuSensorRNQ5);
    EXPECT_EQ(a.ProductName(), "Dewmark Tru");
    EXPECT_EQ(a.VersionCheckPath(), "/versionfinder/Tru-Firmware.txt");
    EXPECT_FALSE(view[Control::mnuSensorRNQ5].checked);
}

// --- "Check for Newer Firmware Version" ---

TEST_F(MenuTest, CheckNewerVersionOnDemandIsNotQuiet) {
    App& a = Start();
    a.OnCommand(Control::mnuCheckNewerVersion);
    ASSERT_EQ(versionCheck.calls.size(), 1u);
    EXPECT_EQ(versionCheck.calls[0].currentVersion, 365);
    EXPECT_EQ(versionCheck.calls[0].path, "/versionfinder/Tru-Firmware.txt");
    EXPECT_FALSE(versionCheck.calls[0].quiet);
    EXPECT_EQ(versionCheck.calls[0].productText, "Dewmark Tru Firmware Updater");

    // An opened file's version is the one compared.
    dialogs.openPath = WriteFirmware("TRU 3-70.txt", TiText({{0x1100, 8}}));
    a.OnOpenFirmwareFile();
    a.OnCheckNewerVersion();
    ASSERT_EQ(versionCheck.calls.size(), 2u);
    EXPECT_EQ(versionCheck.calls[1].currentVersion, 370);
}

TEST_F(MenuTest, CommandsWithoutAHandlerDoNothing) {
    App& a = Start();
    for (Control c : {Control::userText1, Control::statusBar, Control::cbCommPort,
                      Control::newSNstr, Control::mnuSensorHeading}) {
        a.OnCommand(c);
    }
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(dialogs.fileDialogs.empty());
    EXPECT_TRUE(versionCheck.calls.empty());
    EXPECT_EQ(view.closeRequests, 0);
}

// --- the comm-port selector ---

TEST_F(MenuTest, DropDownRefreshKeepsThePositionNotThePort) {
    AddPort("ttyS0", "Communications Port (ttyS0)");
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    store.WriteString(kSettingsSection, kValueCommPort, "ttyUSB0");
    App& a = Start();
    ASSERT_EQ(a.SelectedPortIndex(), 1);

    // An adapter plugged in ahead of the chosen one.
    ports.insert(ports.begin() + 1, PortRecord{});
    ports[1].name = "ttyACM0";
    ports[1].description = "Palomet (ttyACM0)";
    a.OnCommPortDropDown();
    EXPECT_EQ(view.portEntries,
              (std::vector<std::string>{"Communications Port (ttyS0)", "Palomet (ttyACM0)",
                                        "USB Serial Port (ttyUSB0)"}));
    EXPECT_EQ(view.selectedEntry, 1);
    EXPECT_EQ(a.SelectedPortIndex(), 1);
    EXPECT_EQ(a.CommPort(), "ttyUSB0");
    EXPECT_EQ(a.PortCount(), 3u);

    // The user picks the entry: now the port follows.
    a.OnCommPortChange(1);
    EXPECT_EQ(a.CommPort(), "ttyACM0");
    a.OnCommPortChange(2);
    EXPECT_EQ(a.CommPort(), "ttyUSB0");

    // Fewer ports than the remembered position: the first entry.
    ports.resize(1);
    a.OnCommPortDropDown();
    EXPECT_EQ(view.portEntries, std::vector<std::string>{"Communications Port (ttyS0)"});
    EXPECT_EQ(view.selectedEntry, 0);
    EXPECT_EQ(a.SelectedPortIndex(), 2);
    EXPECT_EQ(a.CommPort(), "ttyUSB0");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MenuTest, SavedPortGoneAtStartAndBackLater) {
    AddPort("ttyS0", "Communications Port (ttyS0)");
    store.WriteString(kSettingsSection, kValueCommPort, "ttyUSB3");
    App& a = Start();
    EXPECT_EQ(a.CommPort(), "ttyS0");
    AddPort("ttyUSB3", "USB Serial Port (ttyUSB3)");
    a.OnCommPortDropDown();
    EXPECT_EQ(view.portEntries.size(), 2u);
    EXPECT_EQ(view.selectedEntry, 0);
    EXPECT_EQ(a.CommPort(), "ttyS0");
    a.OnCommPortChange(1);
    EXPECT_EQ(a.CommPort(), "ttyUSB3");
    a.OnWindowClose();
    std::string saved;
    EXPECT_TRUE(store.ReadString(kSettingsSection, kValueCommPort, &saved));
    EXPECT_EQ(saved, "ttyUSB3");
}

TEST_F(MenuTest, NoPortsWhenTheListOpens) {
    AddPort("ttyS0", "Communications Port (ttyS0)");
    App& a = Start();
    view.SetEnabled(Control::btnStart, false);
    for (ResultCode result : {0, -60}) {
        SCOPED_TRACE(result);
        ports.clear();
        listResult = result;
        a.OnCommPortDropDown();
        EXPECT_EQ(view.portEntries, std::vector<std::string>{"No Comm Ports Found"});
        EXPECT_EQ(a.PortCount(), 0u);
        // Neither the port nor "Start" change here.
        EXPECT_EQ(a.CommPort(), "ttyS0");
        EXPECT_FALSE(view[Control::btnStart].enabled);
    }
    // Picking the notice picks an empty port record: "Start" stays as it was.
    a.OnCommPortChange(0);
    EXPECT_EQ(a.CommPort(), "");
    EXPECT_FALSE(view[Control::btnStart].enabled);
}

TEST_F(MenuTest, PickingAPortEnablesStartAndOutOfRangeIndicesAreIgnored) {
    listResult = 0;
    App& a = Start();
    ASSERT_FALSE(view[Control::btnStart].enabled);
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    a.OnCommPortDropDown();
    a.OnCommPortChange(0);
    EXPECT_EQ(a.CommPort(), "ttyUSB0");
    EXPECT_TRUE(view[Control::btnStart].enabled);
    for (int index : {-1, 16, 1000}) {
        a.OnCommPortChange(index);
        EXPECT_EQ(a.SelectedPortIndex(), 0) << index;
        EXPECT_EQ(a.CommPort(), "ttyUSB0") << index;
    }
}

// --- while an update runs ---

TEST_F(MenuTest, CommandsThatWouldDisturbAnUpdateAreRefused) {
    const std::string refusal =
        "The Dewmark Tru Firmware Updater is updating your Dewmark Tru.\n"
        "Please wait until the update has finished.";
    struct Case {
        const char* what;
        std::function<void(App&)> command;
    } cases[] = {
        {"open file", [](App& a) { a.OnCommand(Control::mnuOpenFirmwareFile); }},
        {"force find all", [](App& a) { a.OnCommand(Control::mnuForceFindAllCommPorts); }},
        {"don't erase", [](App& a) { a.OnCommand(Control::mnuDontEraseData); }},
        {"replace serial number", [](App& a) { a.OnCommand(Control::mnuReplaceSerialNumber); }},
        {"drop-down", [](App& a) { a.OnCommPortDropDown(); }},
        {"port change", [](App& a) { a.OnCommPortChange(1); }},
        {"start", [](App& a) { a.OnCommand(Control::btnStart); }},
        {"update firmware", [](App& a) { a.OnCommand(Control::mnuUpdateFirmware); }},
        {"send feedback", [](App& a) { a.OnCommand(Control::mnuSendFeedback); }},
    };
    AddPort("ttyS0", "Communications Port (ttyS0)");
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    dialogs.openPath = WriteFirmware("RV70 3-14.txt", TiText({{0x1100, 8}}));
    App& a = Start();
    SetBusy(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearDialogs();
        listCalls.clear();
        AddPort("ttyUSB1", "USB Serial Port (ttyUSB1)");
        c.command(a);
        ExpectOneMessage("Update In Progress", refusal, Icon::kWarning, Beep::kExclamation);
        EXPECT_TRUE(dialogs.fileDialogs.empty());
        EXPECT_TRUE(listCalls.empty());
        EXPECT_FALSE(timers.Pending(AppTimer::kStart));
        EXPECT_EQ(a.ProductName(), "Dewmark Tru");
        EXPECT_EQ(a.Host()->ImageDeviceType(), 20);
        EXPECT_FALSE(a.FindAllPorts());
        EXPECT_FALSE(view[Control::mnuForceFindAllCommPorts].checked);
        EXPECT_FALSE(a.DontEraseData());
        EXPECT_FALSE(view[Control::mnuDontEraseData].checked);
        EXPECT_FALSE(a.ReplaceSerialNumber());
        EXPECT_FALSE(view[Control::mnuReplaceSerialNumber].checked);
        EXPECT_FALSE(view[Control::newSNstr].visible);
        EXPECT_EQ(a.PortCount(), 2u);
        EXPECT_EQ(view.portEntries.size(), 2u);
        EXPECT_EQ(a.SelectedPortIndex(), 0);
        EXPECT_EQ(a.CommPort(), "ttyS0");
    }
    EXPECT_EQ(LoggedTimes(refusal), static_cast<int>(std::size(cases)));

    // Once idle again the same commands work.
    SetBusy(false);
    ClearDialogs();
    a.OnCommand(Control::mnuDontEraseData);
    a.OnCommPortChange(1);
    EXPECT_TRUE(a.DontEraseData());
    EXPECT_EQ(a.CommPort(), "ttyUSB0");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MenuTest, AnUpdateStartedWhileTheOpenDialogIsUpRefusesTheFile) {
    App& a = Start();
    dialogs.openPath = WriteFirmware("RV70 3-14.txt", TiText({{0x1100, 8}}));
    dialogs.whileOpen = [this] { SetBusy(true); };
    a.OnOpenFirmwareFile();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Update In Progress");
    EXPECT_EQ(view[Control::userText2].text, "TRU 3.65");
    EXPECT_EQ(a.Host()->ImageDeviceType(), 20);
    EXPECT_EQ(a.ProductName(), "Dewmark Tru");
}

TEST_F(MenuTest, SensorItemsAreRefusedWhileBusy) {
    App& a = Start(DigitalSensorEdition());
    SetBusy(true);
    // A window's checkable item checks itself when chosen.
    view.SetChecked(Control::mnuSensorRNQ5, true);
    a.OnCommand(Control::mnuSensorRNQ5);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Update In Progress");
    EXPECT_EQ(a.SelectedSensorType(), 93);
    EXPECT_EQ(a.ProductName(), "ZEPRA 51 Sensor Suite");
    EXPECT_TRUE(view[Control::mnuSensorZEPRA51].checked);
    EXPECT_FALSE(view[Control::mnuSensorRNQ5].checked);
}

TEST_F(MenuTest, HarmlessCommandsRunWhileBusy) {
    App& a = Start();
    SetBusy(true);
    dialogs.savePath = dir.File("dump.txt");
    a.OnCommand(Control::mnuDumpFirmwareImage);
    EXPECT_FALSE(ReadFile(dialogs.savePath).empty());
    a.OnCommand(Control::mnuCheckNewerVersion);
    EXPECT_EQ(versionCheck.calls.size(), 1u);
    a.OnCommand(Control::mnuHelp);
    a.OnCommand(Control::mnuAbout);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].caption, "Help");
    EXPECT_EQ(dialogs.messages[1].caption, "About Dewmark Tru Firmware Updater");
}

}  // namespace
}  // namespace quor::app::testing
