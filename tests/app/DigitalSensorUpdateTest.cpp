// The digital-sensor edition's update on a simulated Palomet or AQVEN Comm
// Device with a sensor behind it: whole updates pressed through Start, the
// run that finds the sensor still in its loader, and every message the
// sequence shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/SimAppFixture.h"
#include "app/UpdateDigitalSensor.h"
#include "sim/sdi12/RelayDevices.h"

namespace quor::app::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kNewSensorVersion = 360;
constexpr std::int8_t kSensorDeviceType = static_cast<std::int8_t>(DeviceType::kAqvenHx);
constexpr std::int8_t kDm9DeviceType = static_cast<std::int8_t>(DeviceType::kDm9);

// A sensor firmware image: code below and above the loader's area of the
// sensors' processor, and its vectors.
struct SensorImage {
    explicit SensorImage(std::int8_t deviceType) {
        text = "@08000";
        for (std::uint32_t i = 0; i < 6000; ++i) text += Word(0x1234 + 7 * i);
        text += "@10000";
        for (std::uint32_t i = 0; i < 300; ++i) text += Word(0xA000 + 3 * i);
        std::uint32_t sum = 0;
        for (char c : text) sum += static_cast<unsigned char>(c);
        for (std::uint32_t i = 0; i < kVectorCount; ++i)
            vectors[i] = static_cast<std::uint16_t>(0x8000 + 2 * i);
        image = EmbeddedImage{
            "AQVEN-HX 3.60", deviceType, text.c_str(), static_cast<std::uint32_t>(text.size()), sum,
            vectors};
    }
    static std::string Word(std::uint32_t w) {
        char s[8];
        std::snprintf(s, sizeof s, "%04X", w & 0xFFFFu);
        return s;
    }
    std::string text;
    std::uint16_t vectors[kVectorCount] = {};
    EmbeddedImage image{};
};

const SensorImage& ImageFor(std::int8_t deviceType) {
    static const SensorImage sensor(kSensorDeviceType);
    static const SensorImage dm9(kDm9DeviceType);
    return deviceType == kDm9DeviceType ? dm9 : sensor;
}

ProductConfig SensorEdition(std::int8_t imageType = kSensorDeviceType) {
    ProductConfig config = DigitalSensorEdition();
    config.image = &ImageFor(imageType).image;
    return config;
}

// The relay's control characters, the loader traffic and the two sensor
// commands that mark the loader start and the new firmware's check.
std::vector<std::string> RelayPoints(const std::vector<std::string>& trace) {
    static const std::set<std::string> kept{
        "]", "[", "`", "P", sim::SdiRelayReader::kLoaderTraffic, "?B!", "?post!"};
    std::vector<std::string> points;
    for (const std::string& t : trace) {
        // A command asked again (the new firmware answers from address 0) counts once.
        if (kept.count(t) && (points.empty() || points.back() != t || t.size() == 1))
            points.push_back(t);
    }
    return points;
}

class DigitalSensorUpdateTest : public SimAppFixture {
  protected:
    ~DigitalSensorUpdateTest() override { app.reset(); }  // before the devices it holds open

    // A relaying device on SIM1 with a sensor of typeLetter behind it.
    void Bench(const sim::RelayFirmware& firmware, char typeLetter, std::uint32_t version) {
        relay = std::make_unique<sim::SdiRelayDevice>(firmware);
        sim::SdiSensorState state = sim::MakeSensorState(typeLetter, version);
        state.address = '3';
        sensor = std::make_unique<sim::LoaderSensor>(state, kNewSensorVersion);
        relay->reader.Plug(&sensor->sensor);
        link = &world.AddDevice(kSimPort, relay->reader);
    }
    void PalometBench(char typeLetter = ']', std::uint32_t version = 356) {
        Bench(sim::RelayFirmware{}, typeLetter, version);
    }

    // The sensor's flash holds exactly the image's bytes and vectors.
    void ExpectFlashIsTheImage() {
        const QuorBSLHost& host = *app->Host();
        const sim::SimLoaderDevice& loader = sensor->loader;
        EXPECT_TRUE(loader.Violations().empty());
        std::uint32_t mismatches = 0;
        for (const auto& [address, byte] : ImageBytes(host.ImageText()))
            mismatches += loader.Flash().Read(address) != byte;
        EXPECT_EQ(mismatches, 0u);
        ASSERT_EQ(loader.StoredVectors().size(), kVectorCount);
        for (std::uint32_t i = 0; i < kVectorCount; ++i)
            EXPECT_EQ(loader.StoredVectors()[i], host.Vectors()[i]) << i;
    }

    // What the sensor keeps that a firmware update wipes.
    // A WPX-8's Xa calibration is read but never written back.
    static void ExpectSettingsOf(const sim::SdiSensorState& now,
                                 const sim::SdiSensorState& before) {
        EXPECT_EQ(now.address, before.address);
        EXPECT_EQ(now.serialNumber, before.serialNumber);
        EXPECT_EQ(now.x4, before.x4);
        EXPECT_EQ(now.xa, before.type == "l" ? before.factoryXa : before.xa);
        EXPECT_EQ(now.xg, before.xg);
        EXPECT_EQ(now.type, before.type);
    }

    std::unique_ptr<sim::SdiRelayDevice> relay;
    std::unique_ptr<sim::LoaderSensor> sensor;
    sim::SimLink* link = nullptr;
};

// --- whole updates ---

struct SensorCase {
    const char* name;
    Control menuItem;  // the sensor type chosen before Start
    char typeLetter;   // what the sensor reports
    std::uint32_t version;
    sim::SimLoggerKind relay;
};

void PrintTo(const SensorCase& c, std::ostream* os) {
    *os << c.name;
}

class SensorKinds : public DigitalSensorUpdateTest,
                    public ::testing::WithParamInterface<SensorCase> {};

TEST_P(SensorKinds, UpdatedThroughTheRelayWithEverySettingBack) {
    const SensorCase& c = GetParam();
    sim::RelayFirmware firmware;
    firmware.kind = c.relay;
    Bench(firmware, c.typeLetter, c.version);
    const sim::SdiSensorState before = sensor->sensor.State();
    Start(SensorEdition());
    app->OnSensorTypeItem(c.menuItem);

    ASSERT_TRUE(PressStart());

    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    EXPECT_TRUE(dialogs.questions.empty()) << dialogs.questions.front().text;
    EXPECT_EQ(sensor->sensor.Updates(), 1u);
    EXPECT_FALSE(sensor->sensor.InLoader());
    EXPECT_EQ(sensor->sensor.State().version, kNewSensorVersion);
    ExpectFlashIsTheImage();
    ExpectSettingsOf(sensor->sensor.State(), before);

    // The relay's characters at their points: the loader check, back to
    // SDI-12 for the capture, the loader start with the programming
    // pass-through, back to SDI-12 for the check, and the session's end.
    EXPECT_EQ(RelayPoints(relay->reader.Trace()),
              (std::vector<std::string>{"]", "[", "?B!", "]", "P",
                                        sim::SdiRelayReader::kLoaderTraffic, "[", "?post!", "`"}));
    EXPECT_FALSE(relay->reader.PassThroughOpen());

    const std::string product = app->ProductName();
    const std::string last = view.statusTexts.back();
    EXPECT_EQ(last.rfind("Successfully updated firmware in ", 0), 0u) << last;
    EXPECT_EQ(view.statusTexts,
              (std::vector<std::string>{
                  "Connecting to " + product + "...", "Checking Palomet battery power...",
                  "Saving settings for this digital sensor...", "Starting the firmware loader...",
                  "Erasing firmware memory...", "Uploading new firmware code...",
                  "Restarting the " + product + ", please wait...", "Checking new firmware...",
                  "Restoring settings...", last}));
    const std::vector<int>& bar = view.progress;
    ASSERT_GE(bar.size(), 5u);
    EXPECT_EQ(std::vector<int>(bar.begin(), bar.begin() + 5), (std::vector<int>{0, 2, 4, 6, 8}));
    const auto at21 = std::find(bar.begin(), bar.end(), 21);
    // The erase of the sensor's large flash runs the bar up past 92 itself.
    const auto at92 = std::find(bar.rbegin(), bar.rend(), 92).base() - 1;
    ASSERT_NE(at21, bar.end());
    ASSERT_GT(at92, at21);
    EXPECT_NEAR(*(at92 - 1), 90, 2);  // where the upload ended
    EXPECT_EQ(std::vector<int>(at92, bar.end()), (std::vector<int>{92, 94, 96, 98, 100}));
    EXPECT_FALSE(SettingsFileExists());
}

INSTANTIATE_TEST_SUITE_P(
    Types, SensorKinds,
    ::testing::Values(SensorCase{"Zepra51Palomet", Control::mnuSensorZEPRA51, ']', 356,
                                 sim::SimLoggerKind::kPalomet},
                      SensorCase{"Zepra51CommDevice", Control::mnuSensorZEPRA51, ']', 356,
                                 sim::SimLoggerKind::kCommDevice},
                      SensorCase{"SevenQAPalomet", Control::mnuSensor7QA, 'z', 350,
                                 sim::SimLoggerKind::kPalomet},
                      SensorCase{"SevenQACommDevice", Control::mnuSensor7QA, 'z', 350,
                                 sim::SimLoggerKind::kCommDevice},
                      SensorCase{"WpxFamilyWpx8Palomet", Control::mnuSensorWPX4, 'l', 356,
                                 sim::SimLoggerKind::kPalomet},
                      SensorCase{"WpxFamilySolra31CommDevice", Control::mnuSensorWPX4, 'k', 356,
                                 sim::SimLoggerKind::kCommDevice},
                      SensorCase{"SolraFamilyPalomet", Control::mnuSensorSOLRA1X, 'h', 356,
                                 sim::SimLoggerKind::kPalomet},
                      SensorCase{"WldFamilyCommDevice", Control::mnuSensorWLD, 't', 356,
                                 sim::SimLoggerKind::kCommDevice},
                      SensorCase{"Rnq5WithoutCalibrationPalomet", Control::mnuSensorRNQ5, '^', 356,
                                 sim::SimLoggerKind::kPalomet}),
    [](const ::testing::TestParamInfo<SensorCase>& p) { return p.param.name; });

// --- the sensor still in its loader ---

TEST_F(DigitalSensorUpdateTest, ASensorLeftInItsLoaderByACutLinkIsFinishedFromTheSettingsFile) {
    PalometBench();
    const sim::SdiSensorState before = sensor->sensor.State();
    Start(SensorEdition());

    // Cut the cable once the loader has erased a few segments.
    std::function<void()> watch = [&] {
        if (sensor->loader.FramesSeen() >= 20) {
            link->Cut();
            return;
        }
        world.Clock().ScheduleIn(1000, watch);
    };
    world.Clock().ScheduleIn(1000, watch);
    ASSERT_TRUE(PressStart());
    ASSERT_TRUE(link->IsCut());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Firmware Erase Error");
    ASSERT_TRUE(SettingsFileExists());
    EXPECT_TRUE(sensor->sensor.InLoader());
    EXPECT_EQ(sensor->loader.CurrentState(), sim::SimLoaderDevice::State::kLoaderConnected);
    EXPECT_EQ(sensor->sensor.Updates(), 0u);

    // The next run of the program: a fresh app on the same folder.
    link->Reconnect();
    const std::size_t traceBefore = relay->reader.Trace().size();
    app.reset();
    dialogs = ScriptedDialogs{};
    view = RecordingView{};
    Start(SensorEdition());
    ASSERT_TRUE(PressStart());

    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(sensor->sensor.Updates(), 1u);
    ExpectFlashIsTheImage();
    ExpectSettingsOf(sensor->sensor.State(), before);
    const std::vector<std::string> trace(relay->reader.Trace().begin() + traceBefore,
                                         relay->reader.Trace().end());
    // No capture and no loader start: the loader link goes on from the check.
    EXPECT_EQ(
        RelayPoints(trace),
        (std::vector<std::string>{"]", sim::SdiRelayReader::kLoaderTraffic, "[", "?post!", "`"}));
    const std::vector<int>& bar = view.progress;
    ASSERT_GE(bar.size(), 4u);
    EXPECT_EQ(std::vector<int>(bar.begin(), bar.begin() + 4), (std::vector<int>{0, 2, 4, 6}));
    EXPECT_EQ(std::count(view.statusTexts.begin(), view.statusTexts.end(),
                         "Saving settings for this digital sensor..."),
              0);
    EXPECT_NE(LogText().find("BSLCheck found the QuorBSL already active"), std::string::npos);
    EXPECT_FALSE(SettingsFileExists());
}

TEST_F(DigitalSensorUpdateTest, AWaitingLoaderIsReleasedAndTheSensorCapturedAsUsual) {
    PalometBench();
    const sim::SdiSensorState before = sensor->sensor.State();
    sensor->sensor.StartLoader(false);
    Start(SensorEdition());

    ASSERT_TRUE(PressStart());

    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(sensor->sensor.Updates(), 1u);
    ExpectSettingsOf(sensor->sensor.State(), before);
    EXPECT_EQ(
        RelayPoints(relay->reader.Trace()),
        (std::vector<std::string>{"]", sim::SdiRelayReader::kLoaderTraffic, "`", "[", "?B!", "]",
                                  "P", sim::SdiRelayReader::kLoaderTraffic, "[", "?post!", "`"}));
    EXPECT_NE(LogText().find("BSLCheck found the QuorBSL waiting for a connection"),
              std::string::npos);
}

// --- messages ---

// One press of Start; the start timer keeps the sequence's result.
class SensorMessages : public DigitalSensorUpdateTest {
  public:
    void Open(const ProductConfig& config = SensorEdition()) { Start(config); }
    ResultCode Run() {
        dialogs.messages.clear();
        dialogs.questions.clear();
        dialogs.beeps.clear();
        EXPECT_TRUE(PressStart());
        return app->LastUpdateResult();
    }

    // --- benches and faults for the table ---
    void SensorBench(const sim::RelayFirmware& firmware, char typeLetter, std::uint32_t version) {
        Bench(firmware, typeLetter, version);
    }
    void PalometSensor() { PalometBench(); }
    sim::SdiSensor& Sensor() { return sensor->sensor; }
    sim::SimLoaderDevice& Loader() { return sensor->loader; }
    // Another program holds the port.
    void HoldPortOpen() {
        holder = std::make_unique<QuorSerial>(nullptr);
        ASSERT_EQ(holder->DSOpen(kSimPort, 9600), 1);
    }
    // A relay with no firmware of its own: nothing answers its commands.
    void SilentReader() {
        bareReader = std::make_unique<sim::SdiRelayReader>();
        world.AddDevice(kSimPort, *bareReader);
    }
    void LoggerOnPort() {
        logger = std::make_unique<sim::LoggerModel>(sim::SimLoggerKind::kRv70);
        world.AddDevice(kSimPort, *logger);
    }

  protected:
    ~SensorMessages() override {
        app.reset();
        holder.reset();
    }
    std::unique_ptr<QuorSerial> holder;
    std::unique_ptr<sim::SdiRelayReader> bareReader;
    std::unique_ptr<sim::LoggerModel> logger;
};

struct MessageCase {
    const char* name;
    std::function<void(SensorMessages&)> setUp;  // the bench and the fault
    std::vector<bool> answers;                   // to the questions, in order
    bool question;                               // what is shown: a question, or a report
    const char* caption;
    std::string text;
    ResultCode result;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageTable : public SensorMessages, public ::testing::WithParamInterface<MessageCase> {};

const std::string kCaption = "ZEPRA 51 Sensor Suite Firmware Updater";
const std::string kProduct = "ZEPRA 51 Sensor Suite";
const std::string kPort = kSimPortDescription;

sim::RelayFirmware Palomet(const char* version, char revision, int battery = 80) {
    sim::RelayFirmware f;
    f.versionLine = version;
    f.hardwareRevision = revision;
    f.batteryPercent = battery;
    return f;
}

const std::string kUnableToConnect = "The " + kCaption +
                                     " is unable to connect to your communication device\n on Comm "
                                     "Port \"" +
                                     kPort +
                                     "\".\n\nPlease check your serial cable and Comm Port choice.";
const std::string kUnableToReachLoader = "The " + kCaption +
                                         " is unable to connect to the firmware loader in your " +
                                         kProduct + ".\n\nPlease try again.";
std::string WorkingError(ResultCode r) {
    return "The " + kCaption + " encountered an error working with your " + kProduct +
           ".\n\nPlease try again.\n\n[Error " + std::to_string(r) + "]";
}
const std::string kWrongVersionTail =
    "doesn't\nsupport bootstrapping digital sensors.\n\nPlease use a supported Palomet (or AQVEN "
    "Comm Device)";

TEST_P(MessageTable, ShowsItsMessageAndReturnsItsResult) {
    const MessageCase& c = GetParam();
    Open();
    c.setUp(*this);
    for (bool a : c.answers) dialogs.okCancelAnswers.push_back(a);
    const ResultCode r = Run();
    EXPECT_EQ(r, c.result);
    if (c.question) {
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
        ASSERT_FALSE(dialogs.questions.empty());
        EXPECT_EQ(dialogs.questions.back().caption, c.caption);
        EXPECT_EQ(dialogs.questions.back().text, c.text);
    } else {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].caption, c.caption);
        EXPECT_EQ(dialogs.messages[0].text, c.text);
        EXPECT_EQ(dialogs.messages[0].icon, Icon::kError);
        EXPECT_EQ(dialogs.beeps, std::vector<Beep>{Beep::kHand});
    }
}

// Frames of a fault-free run before its first "W" and before its "V".
struct FrameMarks {
    std::uint64_t firstWrite = 0;
    std::uint64_t vectors = 0;
};
FrameMarks FrameMarksOf(const sim::SimLoaderDevice& loader) {
    FrameMarks m;
    const auto& frames = loader.FrameLog();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i][0] == 'W' && !m.firstWrite) m.firstWrite = i;
        if (frames[i][0] == 'V') m.vectors = i;
    }
    return m;
}
// The sensor bench's fault-free frame marks, from one whole update.
const FrameMarks& SensorFrameMarks() {
    static const FrameMarks marks = [] {
        sim::SimWorld world;
        sim::SdiRelayDevice relay;
        sim::LoaderSensor sensor(sim::MakeSensorState(']', 356), kNewSensorVersion);
        relay.reader.Plug(&sensor.sensor);
        world.AddDevice("SIM1", relay.reader);
        QuorSerial port(nullptr);
        quor::testing::TempDir dir;
        QuorLog log(dir.File("marks.log").c_str(), QuorLog::kLevelFailure);
        QuorBSLHost host(&log, ImageFor(kSensorDeviceType).image);
        sensor.sensor.StartLoader(true);
        DeviceTypeInfo d;
        BuildDeviceTypeInfo(DeviceType::kAqvenHx, 999, d);
        EXPECT_EQ(port.DSOpen("SIM1", 9600), 1);
        std::uint32_t n = 0;
        port.DSWrite("]", 1, &n);
        host.BSLHandOff(port.PortHandle(), port.ReadBuffer(), "SIM1", false, 3);
        host.BSLEraseINFO(d.infoStart, d.infoSegments, d.infoSegmentSize, d.loaderOption);
        host.BSLEraseFlash(d.flashStart, d.flashEnd, d.loaderOption);
        host.BSLSendFirmware(d.loaderOption);
        host.BSLSendVectors();
        host.BSLHandBack();
        return FrameMarksOf(sensor.loader);
    }();
    return marks;
}

void SilenceLoaderAfter(SensorMessages& t, std::uint64_t frames) {
    t.PalometSensor();
    t.Loader().GoSilentAfterFrames(frames);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MessageTable,
    ::testing::Values(
        MessageCase{
            "PortMissing",
            [](SensorMessages&) {},
            {},
            false,
            "Connection Error",
            "Comm Port \"" + kPort + "\" isn't available.\nPlease choose a new Comm Port to use.",
            rc::kNothingListening},
        MessageCase{
            "PortInUse",
            [](SensorMessages& b) {
                b.PalometSensor();
                b.HoldPortOpen();
            },
            {},
            false,
            "Connection Error",
            "Comm Port \"" + kPort + "\" is already in use by another application.\n" +
                "Please choose a new Comm Port to use or quit the application using this port.",
            rc::kNothingListening},
        MessageCase{"NothingAnswers",
                    [](SensorMessages& b) { b.SilentReader(); },
                    {},
                    false,
                    "Connection Error",
                    kUnableToConnect,
                    rc::kNothingListening},
        MessageCase{"ADataloggerOnThePort",
                    [](SensorMessages& b) { b.LoggerOnPort(); },
                    {},
                    false,
                    "Wrong Device",
                    "The " + kCaption +
                        " expected to find a Palomet (or AQVEN Comm Device);\nhowever, it found a "
                        "Rv70.\n\nThis updater can not work with a Rv70.",
                    rc::kWrongDeviceType},
        MessageCase{"PalometFirmware122",
                    [](SensorMessages& b) { b.SensorBench(Palomet("JQ 1.22", 'C'), ']', 356); },
                    {},
                    false,
                    "Wrong Device Version",
                    "Your Palomet version 1.22 with hardware revision 'C' " + kWrongVersionTail,
                    rc::kNotSupported},
        MessageCase{"PalometRevisionA",
                    [](SensorMessages& b) { b.SensorBench(Palomet("JQ 1.23", 'A'), ']', 356); },
                    {},
                    false,
                    "Wrong Device Version",
                    "Your Palomet version 1.23 with hardware revision 'A' " + kWrongVersionTail,
                    rc::kNotSupported},
        MessageCase{"BatteryAtNinePercent",
                    [](SensorMessages& b) { b.SensorBench(Palomet("JQ 1.23", 'B', 9), ']', 356); },
                    {},
                    false,
                    "Batteries Too Low",
                    "The battery power in the Palomet is too low!\n\nPlease replace the batteries "
                    "before running this updater.",
                    rc::kBatteryLow},
        MessageCase{"SensorWithoutLoader",
                    [](SensorMessages& b) {
                        b.PalometSensor();
                        b.Sensor().MutableState().hasLoader = false;
                    },
                    {},
                    false,
                    "Firmware Loader Error",
                    "This digital sensor does not have a working firmware loader..\n\nPlease "
                    "contact Karvell for help.",
                    rc::kSensorHasNoLoader},
        MessageCase{"LoaderNeverAnswers",
                    [](SensorMessages& b) {
                        b.PalometSensor();
                        b.Sensor().SetLoader(nullptr, 0);
                    },
                    {},
                    false,
                    "Firmware Loader Error",
                    kUnableToReachLoader,
                    rc::kLoaderSilent},
        MessageCase{"InfoEraseFails",
                    [](SensorMessages& b) { SilenceLoaderAfter(b, 0); },
                    {},
                    false,
                    "INFO Memory Erase Error",
                    WorkingError(rc::kNoAnswer),
                    rc::kNoAnswer},
        MessageCase{"FlashEraseFails",
                    [](SensorMessages& b) { SilenceLoaderAfter(b, 4); },
                    {},
                    false,
                    "Firmware Erase Error",
                    WorkingError(rc::kNoAnswer),
                    rc::kNoAnswer},
        MessageCase{
            "UploadFails",
            [](SensorMessages& b) { SilenceLoaderAfter(b, SensorFrameMarks().firstWrite + 1); },
            {},
            false,
            "Firmware Upload Error",
            WorkingError(rc::kNoAnswer),
            rc::kNoAnswer},
        MessageCase{"VectorsFail",
                    [](SensorMessages& b) { SilenceLoaderAfter(b, SensorFrameMarks().vectors); },
                    {},
                    false,
                    "Firmware Upload Error",
                    WorkingError(rc::kNoAnswer),
                    rc::kNoAnswer},
        MessageCase{"NewFirmwareCorrupt",
                    [](SensorMessages& b) {
                        b.PalometSensor();
                        b.Sensor().MutableState().codeGood = false;
                    },
                    {},
                    false,
                    "Firmware Error",
                    "The new firmware for your " + kProduct +
                        " is corrupt!\n\nPlease try again or contact Karvell.",
                    sdi12::kFirmwareCorrupt},
        MessageCase{"SelfTestAnswerUnknown",
                    [](SensorMessages& b) {
                        b.PalometSensor();
                        b.Sensor().Script("post", std::string("Code Maybe"));
                    },
                    {},
                    false,
                    "Firmware Error",
                    "The " + kCaption + " was unable to verify the new firmware in your " +
                        kProduct + ".\n\nPlease try again or contact Karvell.\n\n[Error -1]",
                    -1},
        MessageCase{
            "CaptureFailsCancel",
            [](SensorMessages& b) {
                b.PalometSensor();
                b.Sensor().Script("I", std::nullopt);
            },
            {false},
            true,
            "Settings Retrieve Error",
            "The " + kCaption + " could not retrieve the settings from your " + kProduct +
                ".\nThis can happen when an intrument is new or doesn't have a serial number "
                "set yet.\n\nClick OK to continue loading new firmware.\nClick CANCEL to try "
                "retrieving the settings again.",
            rc::kCancelled},
        MessageCase{"NewerSensorFirmwareCancel",
                    [](SensorMessages& b) { b.SensorBench(sim::RelayFirmware{}, ']', 370); },
                    {false},
                    true,
                    "Newer Firmware",
                    "The firmware in your " + kProduct +
                        "\nis newer than the version in this updater.\n\nAre you sure you want to "
                        "load older firmware.",
                    rc::kCancelled},
        MessageCase{
            "WrongSensorTypeCancel",
            [](SensorMessages& b) { b.SensorBench(sim::RelayFirmware{}, 'x', 356); },
            {false},
            true,
            "Wrong Sensor Type",
            "The attached sensor is claiming to be a \"7QM Sensor\"\n\nThis firmware updater "
            "is for a \"" +
                kProduct + "\".\n\nAre you sure you want to load the firmware for a " + kProduct +
                "?\n",
            rc::kCancelled}),
    [](const ::testing::TestParamInfo<MessageCase>& p) { return p.param.name; });

// --- what goes on ---

struct ReaderCase {
    const char* name;
    sim::RelayFirmware firmware;
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

class AcceptedReaders : public DigitalSensorUpdateTest,
                        public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(AcceptedReaders, TheUpdateGoesOn) {
    Bench(GetParam().firmware, ']', 356);
    Start(SensorEdition());
    ASSERT_TRUE(PressStart());
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text;
    EXPECT_EQ(sensor->sensor.Updates(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Readers, AcceptedReaders,
    ::testing::Values(ReaderCase{"Firmware123RevisionB", Palomet("JQ 1.23", 'B')},
                      ReaderCase{"TenPercentBattery", Palomet("JQ 3.10", 'C', 10)},
                      ReaderCase{"BatteryQueryFails", Palomet("JQ 3.10", 'C', -1)}),
    [](const ::testing::TestParamInfo<ReaderCase>& p) { return p.param.name; });

TEST_F(SensorMessages, AFailedRestoreAndTypeAreReportedAndTheUpdateStillSucceeds) {
    Open();
    PalometSensor();
    Sensor().Script("X5", std::string("ERROR"));
    Sensor().Script("X9", std::string("ERROR"));
    EXPECT_EQ(Run(), rc::kOk);
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].caption, "Settings Error");
    EXPECT_EQ(dialogs.messages[0].text,
              "The " + kCaption + " failed to restore the calibration and address\nfor your " +
                  kProduct + ".\n\nPlease calibrate this sensor and check the address.\n\n[Error " +
                  std::to_string(rc::kDeviceError) + "]");
    EXPECT_EQ(dialogs.messages[1].caption, "Settings Error");
    EXPECT_EQ(dialogs.messages[1].text,
              "The " + kCaption + " failed to set the sensor type for your " + kProduct +
                  ".\n\nThe sensor type will be auto-determined by the firmware.\n\n[Error " +
                  std::to_string(rc::kUnreadableAnswer) + "]");
    EXPECT_EQ(Sensor().Updates(), 1u);
}

TEST_F(SensorMessages, WithBothModesOffAFailedCaptureIsReportedAndStops) {
    ProductConfig config = SensorEdition();
    config.repMode = false;
    config.factoryMode = false;
    Open(config);
    PalometSensor();
    Sensor().Script("I", std::nullopt);
    const ResultCode r = Run();
    EXPECT_LT(r, 0);
    EXPECT_TRUE(dialogs.questions.empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Settings Error");
    EXPECT_EQ(dialogs.messages[0].text,
              "This " + kCaption + " could not retrieve the settings from your " + kProduct +
                  ".\nPlease try again or contact Karvell for help.");
    EXPECT_FALSE(Sensor().LoaderStarted());
}

TEST_F(SensorMessages, AnImageLimitedToARangeAsksAboutTheSensorsVersion) {
    // A DM9 image takes firmware 2.02 to 9.99 only; this sensor runs 1.50.
    Open(SensorEdition(kDm9DeviceType));
    SensorBench(sim::RelayFirmware{}, ']', 150);
    dialogs.okCancelAnswers = {false};
    EXPECT_EQ(Run(), rc::kNotSupported);
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].caption, "Wrong Firmware Version");
    EXPECT_EQ(dialogs.questions[0].text,
              "The " + kCaption + " doesn't support this " + kProduct +
                  "\nrunning version 1.50.\n\nThis updater only works with firmware version 2.02 "
                  "(or newer).\n\nClick OK to force the update anyway.\nClick CANCEL to quit the "
                  "updater.");
    EXPECT_FALSE(Sensor().LoaderStarted());
}

// An earlier run captured one sensor and stopped; this run cannot read the
// next one's settings, and the user goes on.
TEST_F(SensorMessages, AnEarlierSensorsSettingsFileIsSetAsideNotRestored) {
    Open();
    PalometSensor();
    Sensor().SetLoader(nullptr, 0);  // its loader never answers: the run stops after the capture
    ASSERT_EQ(Run(), rc::kLoaderSilent);
    ASSERT_TRUE(SettingsFileExists());
    const std::string earlier = quor::testing::ReadFile(SettingsPath());

    // The next sensor, with a serial number of its own, answers no identification.
    sim::SdiSensorState next = sim::MakeSensorState(']', 356);
    next.serialNumber = "KD-]-99999";
    auto other = std::make_unique<sim::LoaderSensor>(next, kNewSensorVersion);
    relay->reader.Plug(&other->sensor);
    other->sensor.Script("I", std::nullopt);
    dialogs.okCancelAnswers = {true, true};  // go on without settings; and with its unknown type
    EXPECT_EQ(Run(), rc::kOk);
    relay->reader.Plug(nullptr);

    ASSERT_GE(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].caption, "Settings Retrieve Error");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "The " + kCaption + " failed to restore the calibration and address\nfor your " +
                  kProduct + ".\n\nPlease calibrate this sensor and check the address.\n\n[Error " +
                  std::to_string(rc::kSettingsFileMissing) + "]");
    EXPECT_NE(other->sensor.State().serialNumber, sensor->sensor.State().serialNumber);
    EXPECT_TRUE(other->sensor.State().serialNumber.empty());
    // Nothing is lost: the earlier file is kept under another name.
    EXPECT_FALSE(SettingsFileExists());
    ASSERT_TRUE(fs::exists(SettingsPath() + ".unused"));
    EXPECT_EQ(quor::testing::ReadFile(SettingsPath() + ".unused"), earlier);
}

// --- the judgements ---

TEST(ReaderHardwareRevision, IsTheFirstCharacterThatIsNotBlank) {
    struct Case {
        std::string answer;
        char revision;
    };
    const Case cases[] = {
        {"\rB\r>", 'B'}, {"  \t C", 'C'},
        {"A", 'A'},      {"\r\r>", '>'},
        {"", '\0'},      {std::string(32, ' ') + "B", '\0'},  // beyond the first 32 characters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            ReaderHardwareRevision(c.answer.c_str(), static_cast<std::uint32_t>(c.answer.size())),
            c.revision)
            << c.answer;
    }
}

TEST(SensorTypeMatches, FamiliesTakeTheirMembersOtherTypesOnlyThemselves) {
    struct Case {
        SensorType selected;
        char reported;
        bool matches;
    };
    const Case cases[] = {
        {260, 's', true}, {260, 'n', true},  {260, 'z', false}, {261, 'y', true}, {261, 'l', true},
        {261, 'k', true}, {261, 'h', false}, {264, 'h', true},  {264, 'g', true}, {264, 'k', false},
        {262, 't', true}, {262, 'e', true},  {262, 's', false}, {122, 'z', true}, {122, 'x', false},
        {93, ']', true},  {93, '^', false},  {263, 'p', false},  // no family check for 263
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SensorTypeMatches(c.selected, static_cast<unsigned char>(c.reported)), c.matches)
            << c.selected << " " << c.reported;
    }
}

}  // namespace
}  // namespace quor::app::testing
