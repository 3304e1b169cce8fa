#include <gtest/gtest.h>

#include <string>

#include "app/MenuFixture.h"

namespace quor::app::testing {
namespace {

class TextsTest : public MenuFixture {
  protected:
    static ProductConfig Product(DeviceType type) {
        ProductConfig config = InstrumentEdition();
        config.productType = type;
        config.maker.contact = "Maker Inc.\n1 Road\nTown\n555-1\n555-2\n555-3 fax\nm@x\nwww.x";
        config.maker.literatureAddress = "https://x/literature";
        return config;
    }
};

// --- help ---

TEST_F(TextsTest, HelpTextOfTheDewmarkTru) {
    App& a = Start(Product(DeviceType::kTru));
    const std::string expected =
        "The Dewmark Tru Firmware Updater replaces the firmware that operates your Dewmark Tru.\n"
        "Following the simple steps will help ensure a successful update.\n\n"
        "Before beginning these steps, please make sure your instrument is powered on.\n\n"
        "Step 1. Connect your Dewmark Tru to an available serial communication port on your "
        "computer.\n\n"
        "Step 2. Select the correct serial port from the Comm Port control.\n\n"
        "Step 3. Click the \"Start\" button. The updater shows progress in the Status area.\n\n"
        "WARNING: Do not disconnect your Dewmark Tru from the computer while the updater is "
        "running.\n"
        "An incomplete firmware update could leave your Dewmark Tru unusable.\n\n"
        "WARNING: Do not quit the Dewmark Tru Firmware Updater while the updater is running.\n"
        "An incomplete firmware update could leave your Dewmark Tru unusable.\n\n"
        "Step 4. Once the update is complete, you can disconnect your Dewmark Tru from the "
        "computer.\n"
        "Please verify your Dewmark Tru configuration is correct. "
        "Enjoy using the updated firmware version.\n\n"
        "If you have trouble with this Dewmark Tru Firmware Updater, Please contact VOREN or\n"
        "an authorized VOREN Group Distributor for help:\n\n"
        "Maker Inc.\n1 Road\nTown\n555-1\n555-2\n555-3 fax\nm@x\nwww.x";
    EXPECT_EQ(a.HelpText(), expected);
    EXPECT_EQ(a.HelpText().find("will erase"), std::string::npos);

    a.OnCommand(Control::mnuHelp);
    ExpectOneMessage("Help", expected, Icon::kNone, Beep::kExclamation);
    EXPECT_EQ(LoggedTimes(expected), 1);
}

TEST_F(TextsTest, HelpTextWarnsOfTheEraseWhereTheProductDoes) {
    App& a = Start(Product(DeviceType::kRv7));
    const std::string text = a.HelpText();
    const std::string head =
        "The Rv7 Firmware Updater replaces the firmware that operates your Rv7.\n"
        "Following the simple steps will help ensure a successful update.\n\n"
        "WARNING: Updating the firmware in your Rv7 will erase any stored measurement data.\n"
        "Please download any measurement data stored in yourRv7 that you want to save.\n\n"
        "Before beginning these steps";
    EXPECT_EQ(text.substr(0, head.size()), head);
}

TEST_F(TextsTest, HelpTextOfTheSensorEditionNamesThePalomet) {
    App& a = Start(DigitalSensorEdition());
    a.OnCommand(Control::mnuSensorRNQ5);
    const std::string text = a.HelpText();
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "The ZEPRA 51 Sensor Suite Firmware Updater replaces the firmware that operates "
              "your RNQ-5 Rain Gauge.");
    EXPECT_NE(text.find("Step 1. Connect your Palomet and RNQ-5 Rain Gauge to an available serial "
                        "communication port \non your computer.\n\nStep 2."),
              std::string::npos);
    EXPECT_EQ(text.find("will erase"), std::string::npos);
}

TEST_F(TextsTest, HelpTextFollowsAnOpenedFilesDevice) {
    dialogs.openPath = WriteFirmware("RV70 3-14.txt", TiText({{0x1100, 8}}));
    App& a = Start();
    a.OnOpenFirmwareFile();
    const std::string text = a.HelpText();
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "The Dewmark Tru Firmware Updater replaces the firmware that operates your Rv70.");
    EXPECT_NE(text.find("Do not quit the Rv70 Firmware Updater"), std::string::npos);
}

// --- about ---

TEST_F(TextsTest, AboutTextCarriesTheVersionOrUnknown) {
    struct Case {
        const char* version;
        const char* copyright;
        const char* text;
    } cases[] = {
        {"1.16.0.5", "(c) Maker", "QuorBSL Engine version 1.16.0.5\n\n(c) Maker"},
        {nullptr, "(c) Maker", "QuorBSL Engine version Unknown\n\n(c) Maker"},
        {"", "(c) Maker", "QuorBSL Engine version Unknown\n\n(c) Maker"},
        {"2.0", nullptr, "QuorBSL Engine version 2.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(AboutTextFor(c.version, c.copyright), c.text);
    }
}

TEST_F(TextsTest, TheBuildCarriesItsVersion) {
    EXPECT_STREQ(BuildFileVersion(), "1.16.0.5");
    EXPECT_STREQ(BuildProductVersion(), "1.16");
}

TEST_F(TextsTest, AboutBoxShowsTheBuildsVersion) {
    App& a = Start();
    a.OnCommand(Control::mnuAbout);
    const std::string text =
        std::string("QuorBSL Engine version 1.16.0.5\n\n") + a.Config().maker.copyright;
    EXPECT_EQ(a.AboutText(), text);
    ExpectOneMessage("About Dewmark Tru Firmware Updater", text, Icon::kInformation,
                     Beep::kAsterisk);
    EXPECT_EQ(LoggedTimes(text), 1);
}

// --- post-update notices ---

TEST_F(TextsTest, UpdateNoticesByDeviceType) {
    struct Case {
        DeviceType type;
        const char* caption;  // null: no notice
        const char* text;
    } cases[] = {
        {DeviceType::kTru, nullptr, nullptr},
        {DeviceType::kRv7, nullptr, nullptr},
        {DeviceType::kLg40, "Please Calibrate Your LG-40",
         "Updating the firmware in your Lumigrid LG-40 requires you to calibrate\n"
         "the internal sensors using the external sensor as a reference.\n\n"
         "Please see your LG-40 user manual for probe calibration instructions.\n\n"
         "Please also reset the Daylight Savings setting in your Lumigrid LG-40."},
        {DeviceType::kFg, "Please Calibrate Your Stomagraph",
         "Updating the firmware in your Frond Stomagraph requires you to calibrate\n"
         "the the sensor head using the Karvell-supplied calibration plate.\n\n"
         "Please see the Frond Stomagraph user manual (version 7 or newer) for\n"
         "calibration instructions. The latest user manual is available for download from:\n"
         "https://x/literature"},
        {DeviceType::kTq, "TQ9 Pro Calibration",
         "The calibration of your TQ9 Pro is outdated or missing.\n\n"
         "Please contact Karvell or your authorized Karvell representative\n"
         "to have your TQ9 Pro calibrated."},
    };
    App& a = Start(Product(DeviceType::kTru));
    // Shown texts are failures-level lines: still written at the lowest level.
    ASSERT_TRUE(a.Log()->SetLevel(QuorLog::kLevelFailure));
    for (const Case& c : cases) {
        SCOPED_TRACE(DeviceTypeName(c.type));
        ClearDialogs();
        a.ShowUpdateNotice(c.type);
        if (!c.caption) {
            EXPECT_TRUE(dialogs.messages.empty());
            EXPECT_TRUE(dialogs.beeps.empty());
            continue;
        }
        ExpectOneMessage(c.caption, c.text, Icon::kWarning, Beep::kExclamation);
        EXPECT_EQ(LoggedTimes(c.text), 1);
    }
}

}  // namespace
}  // namespace quor::app::testing
