#include <gtest/gtest.h>

#include <string>

#include "app/AppFixture.h"
#include "support/TempDir.h"

namespace quor::app::testing {
namespace {

using quor::testing::ReadFile;

// The product's image with a character sum that does not match its text.
EmbeddedImage CorruptImage() {
    EmbeddedImage image = ProductEmbeddedImage();
    image.recordedSum += 1;
    return image;
}

class StartupTimerTest : public AppFixture {
  protected:
    static ProductConfig Modes(DeviceType product, bool rep, bool factory) {
        ProductConfig config = InstrumentEdition();
        config.productType = product;
        config.repMode = rep;
        config.factoryMode = factory;
        return config;
    }
};

TEST_F(StartupTimerTest, ExactlyOneStartupTimerIsChosen) {
    static const EmbeddedImage corrupt = CorruptImage();
    struct Case {
        const char* what;
        ProductConfig config;
        AppTimer timer;
        std::uint32_t delayMs;
    } cases[] = {
        {"modes on", Modes(DeviceType::kTru, true, true), AppTimer::kVersionCheck, 500},
        {"modes off, no erase warning for the product", Modes(DeviceType::kTru, false, false),
         AppTimer::kVersionCheck, 500},
        {"modes off, erase warning", Modes(DeviceType::kRv7, false, false),
         AppTimer::kDataEraseWarning, 500},
        {"rep mode alone suppresses the warning", Modes(DeviceType::kRv7, true, false),
         AppTimer::kVersionCheck, 500},
        {"factory mode alone suppresses the warning", Modes(DeviceType::kRv7, false, true),
         AppTimer::kVersionCheck, 500},
        {"corrupt built-in image", Modes(DeviceType::kRv7, false, false),
         AppTimer::kConstructionError, 100},
        {"sensor edition", DigitalSensorEdition(), AppTimer::kVersionCheck, 500},
    };
    cases[5].config.image = &corrupt;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        timers.starts.clear();
        Start(c.config);
        ASSERT_EQ(timers.starts.size(), 1u);
        EXPECT_EQ(timers.starts[0].timer, c.timer);
        EXPECT_EQ(timers.starts[0].delayMs, c.delayMs);
        timers.Stop(c.timer);
    }
}

TEST_F(StartupTimerTest, VersionCheckRunsHalfASecondAfterStartWithoutWarning) {
    App& a = Start();
    RunMs(499);
    EXPECT_TRUE(versionCheck.calls.empty());
    RunMs(1);
    ASSERT_EQ(versionCheck.calls.size(), 1u);
    const auto& call = versionCheck.calls[0];
    EXPECT_EQ(call.currentVersion, 365);
    EXPECT_EQ(call.path, "/versionfinder/Tru-Firmware.txt");
    EXPECT_TRUE(call.quiet);
    EXPECT_EQ(call.productText, "Dewmark Tru Firmware Updater");
    EXPECT_TRUE(dialogs.messages.empty());
    RunMs(5000);
    EXPECT_EQ(versionCheck.calls.size(), 1u);
    EXPECT_EQ(a.ImageVersion(), 365);
}

TEST_F(StartupTimerTest, DataEraseWarningComesFirstThenTheVersionCheck) {
    ProductConfig config = Modes(DeviceType::kRv7, false, false);
    App& a = Start(config);
    RunMs(500);
    ExpectOneMessage("Data Erase Warning",
                     "WARNING: The Rv7 Firmware Updater will erase all measurement data\n stored "
                     "in your Rv7.\n\n"
                     " Please download any data you want to save before continuing.",
                     Icon::kWarning, Beep::kExclamation);
    EXPECT_TRUE(versionCheck.calls.empty());
    ASSERT_TRUE(timers.Pending(AppTimer::kVersionCheck));

    RunMs(500);
    ASSERT_EQ(versionCheck.calls.size(), 1u);
    EXPECT_EQ(versionCheck.calls[0].productText, "Rv7 Firmware Updater");
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(ReadFile(a.ErrorFile()).find("ErrorOK Told User:: WARNING: The Rv7"),
              std::string::npos);
}

TEST_F(StartupTimerTest, ConstructionErrorIsReportedAndClosesTheWindow) {
    static const EmbeddedImage corrupt = CorruptImage();
    ProductConfig config = InstrumentEdition();
    config.image = &corrupt;
    AddPort("ttyUSB0", "USB Serial Port (ttyUSB0)");
    App& a = Start(config);
    ASSERT_EQ(a.Host()->ConstructionStatus(), -101);
    RunMs(99);
    EXPECT_TRUE(dialogs.messages.empty());
    RunMs(1);
    ExpectOneMessage(
        "Application Launch Error",
        "The internal firware file for this Dewmark Tru Firmware Updater is corrupt.\n\n"
        "Please restart this application and try again.",
        Icon::kError, Beep::kHand);
    EXPECT_EQ(view.closeRequests, 1);
    const std::string log = ReadFile(a.ErrorFile());
    EXPECT_NE(log.find(" - QuorBSL frmMain: HostBSL class got an constructor error (-101)\r\n"),
              std::string::npos);
    // The error comes before the constructor line, as the user saw it first.
    EXPECT_LT(log.find("ErrorOK Told User:: The internal firware"), log.find("HostBSL class"));
    RunMs(5000);
    EXPECT_TRUE(versionCheck.calls.empty());
}

TEST(ConstructionErrorTextTest, ByStatus) {
    const std::string caption = "Dewmark Tru Firmware Updater";
    const std::string tail = "Please restart this application and try again.";
    EXPECT_EQ(
        ConstructionErrorText(caption, -60),
        "The " + caption + " ran out of memory while allocating internal buffers.\n\n" + tail);
    EXPECT_EQ(ConstructionErrorText(caption, -101),
              "The internal firware file for this " + caption + " is corrupt.\n\n" + tail);
    EXPECT_EQ(ConstructionErrorText(caption, -11),
              "The " + caption + " got an unexpected error starting up.\n[Error: -11]\n\n" + tail);
}

// --- ErrorOK ---
// The tag ends in its own colon, so its lines read "ErrorOK Told User:: ...".

TEST_F(StartupTimerTest, ErrorOKBeepsShowsAndLogsByKind) {
    struct Case {
        int kind;
        Beep beep;
        Icon icon;
    } cases[] = {
        {kKindWarning, Beep::kExclamation, Icon::kWarning},
        {kKindError, Beep::kHand, Icon::kError},
        {kKindInformation, Beep::kAsterisk, Icon::kInformation},
        {kKindConfirmation, Beep::kQuestion, Icon::kQuestion},
        {7, Beep::kExclamation, Icon::kWarning},
        {-1, Beep::kExclamation, Icon::kWarning},
    };
    App& a = Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        dialogs.beeps.clear();
        dialogs.messages.clear();
        const std::string text = "Kind " + std::to_string(c.kind) + " says 100% done\nsecond line";
        a.ErrorOK(text, "Some Caption", c.kind);
        EXPECT_EQ(dialogs.beeps, std::vector<Beep>{c.beep});
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, text);
        EXPECT_EQ(dialogs.messages[0].caption, "Some Caption");
        EXPECT_EQ(dialogs.messages[0].icon, c.icon);
        // The text goes into the log whole, "%" and line breaks included.
        const std::string log = ReadFile(a.ErrorFile());
        EXPECT_NE(log.find(" - ErrorOK Told User:: " + text + "\r\n"), std::string::npos);
    }
}

TEST_F(StartupTimerTest, ErrorOKIsLoggedAtFailureLevel) {
    App& a = Start();
    ASSERT_TRUE(a.Log()->SetLevel(QuorLog::kLevelFailure));
    a.ErrorOK("still logged", "C", kKindInformation);
    EXPECT_NE(ReadFile(a.ErrorFile()).find("ErrorOK Told User:: still logged"), std::string::npos);
    ASSERT_TRUE(a.Log()->SetLevel(0));
    a.ErrorOK("filtered", "C", kKindInformation);
    EXPECT_EQ(ReadFile(a.ErrorFile()).find("filtered"), std::string::npos);
}

}  // namespace
}  // namespace quor::app::testing
