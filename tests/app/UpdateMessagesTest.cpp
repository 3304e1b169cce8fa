// Every way the instrument update can end or ask, provoked on a simulated
// device: the fault, then the questions and messages the user saw (caption
// and exact text), the sequence's result and whether the device was
// programmed.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/SimAppFixture.h"
#include "serial/QuorSerial.h"

namespace quor::app::testing {
namespace {

struct Shown {
    std::string caption;
    std::string text;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
    return os << "[" << s.caption << "] \"" << s.text << "\"";
}

// What a case may touch before Start is pressed.
struct Bench {
    sim::InstrumentModel& device;
    std::vector<PortRecord>& ports;
    QuorSerial& portHolder;  // opens SIM1 to keep it busy
    std::string settingsPath;
};

enum class Product { kTru, kTq, kDm9 };

struct Case {
    const char* name;
    const char* device;      // version text of the simulated instrument
    const char* newVersion;  // what it reports once programmed
    Product product = Product::kTru;
    bool factory = true;
    bool rep = true;
    std::function<void(Bench&)> setup = {};
    // Runs once when the status text first becomes onStatusText.
    const char* onStatusText = nullptr;
    std::function<void(sim::InstrumentModel&)> atStatus = {};
    std::vector<bool> answers = {};
    std::vector<Shown> questions = {};
    std::vector<Shown> messages = {};
    ResultCode result = 0;
    int programmings = 0;
};

// A small Dewmark 9 image: code at the start of its flash, the reset
// vector pointing there.
const EmbeddedImage& Dm9Image() {
    static const char* text = "@0210031400024B240805A200131400031FF3F";
    static const std::uint16_t vectors[kVectorCount] = {
        0x2100, 0x2100, 0x2100, 0x2100, 0x2100, 0x2100, 0x2100, 0x2100,
        0x2100, 0x2100, 0x2100, 0x2100, 0x2100, 0x2100, 0x2100, 0x2100};
    static const EmbeddedImage image = [] {
        std::uint32_t sum = 0;
        for (const char* p = text; *p; ++p) sum += static_cast<unsigned char>(*p);
        return EmbeddedImage{"DM9 2.10", static_cast<std::int8_t>(DeviceType::kDm9),
                             text,       static_cast<std::uint32_t>(std::strlen(text)),
                             sum,        vectors};
    }();
    return image;
}

ProductConfig ConfigOf(const Case& c) {
    ProductConfig config = InstrumentEdition();
    config.factoryMode = c.factory;
    config.repMode = c.rep;
    if (c.product == Product::kTq) {
        config.productType = DeviceType::kTq;
        config.image = &ProductImageFor(DeviceType::kTq);
    } else if (c.product == Product::kDm9) {
        config.productType = DeviceType::kDm9;
        config.image = &Dm9Image();
    }
    return config;
}

const std::string C = "Dewmark Tru Firmware Updater";
const std::string P = "Dewmark Tru";
const std::string kPort = kSimPortDescription;

const std::string kUnableToConnect = "The " + C + " is unable to connect to your " + P +
                                     "\n on Comm Port \"" + kPort +
                                     "\".\n\nPlease check your serial cable and Comm Port choice.";
const std::string kWrongDevice =
    "The " + C + " expected to find a " + P +
    ";\nhowever, it found a PX7T.\n\nThis updater can not update a PX7T.";
const std::string kNewer = "The firmware in your " + P +
                           "\nis newer than the version in this updater.\n\nAre you sure you want "
                           "to load older firmware.";
const std::string kCouldNotRetrieve = "This " + C + " could not retrieve the settings from your " +
                                      P + ".\nPlease try again or contact Karvell for help.";
const std::string kRetrieveQuestion =
    "The " + C + " could not retrieve the settings from your " + P +
    ".\nThis can happen when an intrument is new or doesn't have a serial number set yet.\n\n"
    "Click OK to continue loading new firmware.\nClick CANCEL to try retrieving the settings "
    "again.";
const std::string kFileMissing = "The " + C + " couldn't find the settings file for your " + P +
                                 ".\n\nPlease try again or contact Karvell for help.";
const std::string kRestoreFailed102 = "The " + C + " failed to restore the settings for your " + P +
                                      ".\n\nPlease try again.\n\n[Error -102]";

std::string LoaderStepError(ResultCode r) {
    return "The " + C + " encountered an error working with your " + P +
           ".\n\nPlease try again.\n\n[Error " + std::to_string(r) + "]";
}

std::string Dm9RangeText(const std::string& caption, const std::string& product, bool ask) {
    std::string t = "The " + caption + " doesn't support this " + product +
                    "\nrunning version 2.01.\n\nThis updater only works with firmware version "
                    "2.02 (or newer).";
    if (ask) t += "\n\nClick OK to force the update anyway.\nClick CANCEL to quit the updater.";
    return t;
}

// The first get of the capture goes unanswered: the link counts as
// broken and nothing is saved.
void CaptureFails(Bench& b) {
    b.device.SetGetReply("sn", sim::GetReply::kSilent);
}

const std::string kDm9C = "Dewmark 9 Firmware Updater";
const std::string kDm9P = "Dewmark 9";
const std::string kTqC = "TQ9 Pro Firmware Updater";
const std::string kTqP = "TQ9 Pro";

const Case kCases[] = {
    // --- the first connection ---
    {.name = "PortNotAvailable",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { b.ports[0].name = "SIM9"; },
     .messages = {{"Connection Error",
                   "Comm Port \"" + kPort +
                       "\" isn't available.\nPlease choose a new Comm Port to use."}},
     .result = rc::kNothingListening,
     .programmings = 0},
    {.name = "PortInUse",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { ASSERT_EQ(b.portHolder.DSOpen(kSimPort, 9600), 1); },
     .messages =
         {{"Connection Error",
           "Comm Port \"" + kPort + "\" is already in use by another application.\n" +
               "Please choose a new Comm Port to use or quit the application using this port."}},
     .result = rc::kNothingListening,
     .programmings = 0},
    {.name = "SilentDevice",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { b.device.GoSilentAfterCommands(0); },
     .messages = {{"Connection Error", kUnableToConnect}},
     .result = rc::kNothingListening,
     .programmings = 0},
    {.name = "FirmwareTooOldForAnyUpdate",
     .device = "DMINI 1.17",
     .newVersion = "",
     .messages = {{"Connection Error",
                   "The " + C + " does not support your Dewmark Mini\nrunning version 117."}},
     .result = rc::kNothingListening,
     .programmings = 0},
    {.name = "UnknownDevice",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { b.device.Quirks().echo = true; },
     .messages = {{"Connection Error",
                   "The " + C + " is unable to connect to your unknown device\n on Comm Port \"" +
                       kPort + "\".\n\nPlease check your serial cable and Comm Port choice.\n\n" +
                       "Please verify the device connected is a \"" + P +
                       "\" and has a version of\nfirmware that supports updates."}},
     .result = rc::kNothingListening,
     .programmings = 0},

    // --- the device checks ---
    {.name = "WrongDeviceCancelled",
     .device = "PX7T 1.05",
     .newVersion = "",
     .answers = {false},
     .questions = {{"Wrong Device",
                    kWrongDevice + "\n\n[Factory Mode Override: Click OK to load FW anyway]"}},
     .result = rc::kWrongDeviceType,
     .programmings = 0},
    {.name = "WrongDeviceLoadedAnyway",
     .device = "PX7T 1.05",
     .newVersion = "",
     .answers = {true},
     .questions = {{"Wrong Device",
                    kWrongDevice + "\n\n[Factory Mode Override: Click OK to load FW anyway]"}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "WrongDeviceFactoryModeOff",
     .device = "PX7T 1.05",
     .newVersion = "",
     .factory = false,
     .messages = {{"Wrong Device", kWrongDevice}},
     .result = rc::kWrongDeviceType,
     .programmings = 0},
    {.name = "NewerFirmwareCancelled",
     .device = "TRU 3.70",
     .newVersion = "TRU 3.65",
     .factory = false,
     .answers = {false},
     .questions = {{"Newer Firmware", kNewer}},
     .result = rc::kCancelled,
     .programmings = 0},
    {.name = "NewerFirmwareLoadedAnyway",
     .device = "TRU 3.70",
     .newVersion = "TRU 3.65",
     .factory = false,
     .answers = {true},
     .questions = {{"Newer Firmware", kNewer}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "NewerFirmwareFactoryModeAsksNothing",
     .device = "TRU 3.70",
     .newVersion = "TRU 3.65",
     .result = rc::kOk,
     .programmings = 1},
    {.name = "EqualVersionPasses",
     .device = "TRU 3.65",
     .newVersion = "TRU 3.65",
     .factory = false,
     .result = rc::kOk,
     .programmings = 1},
    {.name = "OutOfRangeCancelled",
     .device = "DM9 2.01",
     .newVersion = "DM9 2.10",
     .answers = {true, false},
     .questions = {{"Wrong Device", "The " + C + " expected to find a " + P +
                                        ";\nhowever, it found a Dewmark 9.\n\nThis updater can not "
                                        "update a Dewmark 9.\n\n[Factory Mode Override: Click OK "
                                        "to load FW anyway]"},
                   {"Wrong Firmware Version", Dm9RangeText(C, P, true)}},
     .result = rc::kNotSupported,
     .programmings = 0},
    {.name = "OutOfRangeModesOff",
     .device = "DM9 2.01",
     .newVersion = "DM9 2.10",
     .product = Product::kDm9,
     .factory = false,
     .rep = false,
     .messages = {{"Wrong Firmware Version", Dm9RangeText(kDm9C, kDm9P, false)}},
     .result = rc::kNotSupported,
     .programmings = 0},
    {.name = "OutOfRangeRepModeAsks",
     .device = "DM9 2.01",
     .newVersion = "DM9 2.10",
     .product = Product::kDm9,
     .factory = false,
     .answers = {false},
     .questions = {{"Wrong Firmware Version", Dm9RangeText(kDm9C, kDm9P, true)}},
     .result = rc::kNotSupported,
     .programmings = 0},
    {.name = "OutOfRangeForced",
     .device = "DM9 2.01",
     .newVersion = "DM9 2.10",
     .product = Product::kDm9,
     .answers = {true},
     .questions = {{"Wrong Firmware Version", Dm9RangeText(kDm9C, kDm9P, true)}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "BatteryTooLow",
     .device = "TQ 2.31",
     .newVersion = "",
     .product = Product::kTq,
     .setup = [](Bench& b) { b.device.SetBattery(9); },
     .messages = {{"Batteries Too Low",
                   "The battery power is too low!\n\nPlease replace the "
                   "batteries before running this updater."}},
     .result = rc::kBatteryLow,
     .programmings = 0},
    {.name = "BatteryAtTenPercentPasses",
     .device = "TQ 2.31",
     .newVersion = "",
     .product = Product::kTq,
     .setup = [](Bench& b) { b.device.SetBattery(10); },
     .result = rc::kOk,
     .programmings = 1},

    // --- the image must fit before anything is touched ---
    {.name = "ImageDoesNotFit",
     .device = "DM9 2.07",
     .newVersion = "DM9 2.10",
     .answers = {true},
     .questions = {{"Wrong Device", "The " + C + " expected to find a " + P +
                                        ";\nhowever, it found a Dewmark 9.\n\nThis updater can not "
                                        "update a Dewmark 9.\n\n[Factory Mode Override: Click OK "
                                        "to load FW anyway]"}},
     .messages = {{"Firmware Upload Error",
                   "The " + C + " can not load this firmware into your " + P +
                       ".\n\nThe firmware file does not fit this device; nothing was changed in "
                       "it.\n\nPlease open a firmware file made for your " +
                       P + " or contact Karvell for help.\n\n[Error -122]"}},
     .result = rc::kImageDoesNotFit,
     .programmings = 0},

    // --- the settings capture ---
    {.name = "LoginRefusedBeforeCapture",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { b.device.Quirks().accessCode = "1111"; },
     .messages = {{"Login Error", kCouldNotRetrieve}},
     .result = rc::kLoginFailed,
     .programmings = 0},
    {.name = "CaptureFailedCancelled",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = CaptureFails,
     .answers = {false},
     .questions = {{"Settings Retrieve Error", kRetrieveQuestion}},
     .result = rc::kCancelled,
     .programmings = 0},
    {.name = "CaptureFailedGoOn",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = CaptureFails,
     .answers = {true},
     .questions = {{"Settings Retrieve Error", kRetrieveQuestion}},
     .messages = {{"Settings Error", kFileMissing}, {"Settings Error", kRestoreFailed102}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "CaptureFailedModesOff",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .factory = false,
     .rep = false,
     .setup = CaptureFails,
     .messages = {{"Settings Error", kCouldNotRetrieve}},
     .result = rc::kNoAnswer,
     .programmings = 0},
    {.name = "CapturePartlyModesOffGoesOnSilently",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .factory = false,
     .rep = false,
     .setup = [](Bench& b) { b.device.SetGetReply("config", sim::GetReply::kError); },
     .result = rc::kOk,
     .programmings = 1},
    {.name = "CapturePartlyModesOnAsks",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { b.device.SetGetReply("config", sim::GetReply::kError); },
     .answers = {true},
     .questions = {{"Settings Retrieve Error", kRetrieveQuestion}},
     .result = rc::kOk,
     .programmings = 1},

    // --- the loader ---
    {.name = "NoWorkingLoader",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup =
         [](Bench& b) {
             b.device.Loader().SetDefaultInvocationAnswer(sim::InvocationAnswer::kMissing);
         },
     .messages = {{"Firmware Loader Error", "This " + P +
                                                " does not have a working firmware loader.\n\n"
                                                "Please contact Karvell for help."}},
     .result = rc::kNoWorkingLoader,
     .programmings = 0},
    {.name = "LoaderSilent",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup =
         [](Bench& b) {
             b.device.Loader().SetDefaultInvocationAnswer(sim::InvocationAnswer::kError);
         },
     .messages = {{"Firmware Loader Error",
                   "The " + C + " is unable to connect to the firmware loader in your " + P +
                       ".\n\nPlease try again."}},
     .result = rc::kLoaderSilent,
     .programmings = 0},
    {.name = "InfoEraseFails",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Erasing firmware memory...",
     .atStatus =
         [](sim::InstrumentModel& m) { m.Loader().GoSilentAfterFrames(m.Loader().FramesSeen()); },
     .messages = {{"INFO Memory Erase Error", LoaderStepError(rc::kNoAnswer)}},
     .result = rc::kNoAnswer,
     .programmings = 0},
    {.name = "FlashEraseFails",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Erasing firmware memory...",
     .atStatus =
         [](sim::InstrumentModel& m) {
             m.Loader().GoSilentAfterFrames(m.Loader().FramesSeen() +
                                            m.Profile().loader.infoSegments + 3);
         },
     .messages = {{"Firmware Erase Error", LoaderStepError(rc::kNoAnswer)}},
     .result = rc::kNoAnswer,
     .programmings = 0},
    {.name = "UploadFails",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Uploading new firmware code...",
     .atStatus =
         [](sim::InstrumentModel& m) {
             m.Loader().GoSilentAfterFrames(m.Loader().FramesSeen() + 5);
         },
     .messages = {{"Firmware Upload Error", LoaderStepError(rc::kNoAnswer)}},
     .result = rc::kNoAnswer,
     .programmings = 0},
    {.name = "VectorsFail",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Restarting the Dewmark Tru, please wait...",
     .atStatus =
         [](sim::InstrumentModel& m) { m.Loader().GoSilentAfterFrames(m.Loader().FramesSeen()); },
     .messages = {{"Firmware Upload Error", LoaderStepError(rc::kNoAnswer)}},
     .result = rc::kNoAnswer,
     .programmings = 0},

    // --- after the restart ---
    {.name = "ReconnectFails",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Restarting the Dewmark Tru, please wait...",
     .atStatus = [](sim::InstrumentModel& m) { m.GoSilentAfterCommands(0); },
     .messages = {{"Connection Error", LoaderStepError(rc::kNothingListening)}},
     .result = rc::kNothingListening,
     .programmings = 1},
    {.name = "LoginAfterRestartFailsAndTheUpdateGoesOn",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Restarting the Dewmark Tru, please wait...",
     .atStatus = [](sim::InstrumentModel& m) { m.Quirks().accessCode = "1111"; },
     .messages = {{"Login Error", "This " + C + " failed to log into your " + P +
                                      ".\nPlease check the settings on your instrument or contact "
                                      "Karvell for help."},
                  // Without the login the firmware takes no setting.
                  {"Settings Error", "The " + C +
                                         " failed to restore some of the settings for your " + P +
                                         ".\n\nPlease check the settings after this updater is "
                                         "finished."}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "NewFirmwareCorrupt",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Restarting the Dewmark Tru, please wait...",
     .atStatus = [](sim::InstrumentModel& m) { m.SetCodeCorrupt(true); },
     .messages = {{"Firmware Error", "The new firmware for your " + P +
                                         " is corrupt!\n\nPlease try again or contact Karvell."}},
     .result = -1,
     .programmings = 1},  // the self-test's own number
    {.name = "RestoreOfSomeSettingsFails",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .onStatusText = "Restarting the Dewmark Tru, please wait...",
     .atStatus = [](sim::InstrumentModel& m) { m.RefuseSetting("config"); },
     .messages = {{"Settings Error", "The " + C +
                                         " failed to restore some of the settings for your " + P +
                                         ".\n\nPlease check the settings after this updater is "
                                         "finished."}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "DataChipBroken",
     .device = "TQ 2.31",
     .newVersion = "",
     .product = Product::kTq,
     .setup = [](Bench& b) { b.device.SetDataFlashBroken(true); },
     .messages = {{"Data Erase Error", "The " + kTqC + " was unable to erase the data in your " +
                                           kTqP +
                                           "because the data storage chip is reporting errors.\n\n"
                                           "Please contact Karvell for help."}},
     .result = rc::kDataMemoryBroken,
     .programmings = 1},

    // --- a device found in its loader ---
    {.name = "LoaderRunningWithoutSettingsFile",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup = [](Bench& b) { b.device.StartInLoader(); },
     .messages = {{"Settings Error", kFileMissing}, {"Settings Error", kRestoreFailed102}},
     .result = rc::kOk,
     .programmings = 1},
    {.name = "LoaderRunningWithUnreadableSettingsFile",
     .device = "TRU 3.64",
     .newVersion = "TRU 3.65",
     .setup =
         [](Bench& b) {
             b.device.StartInLoader();
             // A folder where the file should be: it opens, but reading it fails.
             std::filesystem::create_directories(b.settingsPath);
         },
     .messages = {{"Settings Error",
                   "The " + C + " failed to read the settings file for your " + P +
                       ".\n\nPlease try again or contact Karvell for help.\n\nError: -105"}},
     .result = rc::kOk,
     .programmings = 1},
};

class UpdateMessagesTest : public SimAppFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(UpdateMessagesTest, TheUserSeesExactlyThisAndTheUpdateEndsSo) {
    const Case& c = GetParam();
    sim::InstrumentModel& device = Device(c.device, c.newVersion);
    QuorSerial holder(nullptr);
    const ProductConfig config = ConfigOf(c);
    Bench bench{device, ports, holder,
                SettingsFilePath(AppFolderPath(), DeviceTypeName(config.productType))};
    if (c.setup) c.setup(bench);
    Start(config);
    bool hooked = false;
    view.onPendingMessages = [&] {
        if (!hooked && c.onStatusText && !view.statusTexts.empty() &&
            view.statusTexts.back() == c.onStatusText) {
            hooked = true;
            c.atStatus(device);
        }
    };
    for (bool a : c.answers) dialogs.okCancelAnswers.push_back(a);

    ASSERT_TRUE(PressStart());

    std::vector<Shown> questions, messages;
    for (const auto& q : dialogs.questions) questions.push_back({q.caption, q.text});
    for (const auto& m : dialogs.messages) messages.push_back({m.caption, m.text});
    EXPECT_EQ(questions, c.questions);
    EXPECT_EQ(messages, c.messages);
    for (const auto& m : dialogs.messages) EXPECT_EQ(m.icon, Icon::kError);
    EXPECT_EQ(app->LastUpdateResult(), c.result);
    EXPECT_EQ(device.Programmings(), c.programmings);
    EXPECT_TRUE(device.Loader().Violations().empty());
    if (c.onStatusText) {
        EXPECT_TRUE(hooked) << "never showed " << c.onStatusText;
    }
    // An update that fails before the loader leaves the device running its firmware.
    if (c.result < 0 && device.CommandsSeen("boot") == 0) {
        EXPECT_FALSE(device.InLoader());
    }
    // Every report is in the log as ErrorOK wrote it.
    const std::string log = LogText();
    for (const Shown& m : c.messages)
        EXPECT_NE(log.find("ErrorOK Told User:: " + m.text), std::string::npos) << m.text;
}

INSTANTIATE_TEST_SUITE_P(Paths, UpdateMessagesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) {
                             return std::string(p.param.name);
                         });

}  // namespace
}  // namespace quor::app::testing
