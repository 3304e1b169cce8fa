// The digital-sensor edition's update: one SDI-12 sensor on the Palomet (or
// the AQVEN Comm Device), reached through that relaying device from the
// first connection to the last control character. The loader host borrows
// the relay's open port; every failure is explained to the user here and
// the start timer gives the port back.

#include "app/UpdateDigitalSensor.h"

#include <cctype>
#include <cstdio>

#include "app/App.h"
#include "app/UpdateInstrumentTexts.h"

namespace quor::app {

namespace {

constexpr std::uint8_t kConnectBaudIndex = 2;  // 9600 baud
constexpr std::uint32_t kConnectSerialRetries = 3;
constexpr std::uint32_t kRelayBaud = 9600;
constexpr std::uint32_t kHandOffTries = 10;

// The reader's hardware revision query and what a reader must have to
// pass a loader link through to a sensor.
constexpr const char* kHardwareRevisionCommand = "get -hver\r";
constexpr std::uint32_t kHardwareRevisionTimeoutMs = 1500;
constexpr std::uint32_t kHardwareRevisionChars = 32;
constexpr std::int32_t kMinReaderFirmware = 123;
constexpr char kMinReaderRevision = 'B';

constexpr std::int32_t kLowBatteryPercent = 9;  // this much or less stops the update

// The relaying device's control characters and the pauses that follow them.
constexpr char kRelayLoaderChar = ']';
constexpr char kRelaySdiChar = '[';
constexpr char kRelayResetChar = '`';
constexpr std::uint32_t kLoaderCheckPauseMs = 500;
constexpr std::uint32_t kWaitingLoaderPauseMs = 1000;
constexpr std::uint32_t kCapturePauseMs = 500;
constexpr std::uint32_t kUploadPauseMs = 100;
constexpr std::uint32_t kFirmwareCheckPauseMs = 1000;

// What the sensor is taken to run until its own version is known.
constexpr std::int32_t kUnknownSensorVersion = 999;
constexpr int kLoaderStartBar = 6;
constexpr int kRestartedBar = 92;

// The menu's family numbers and the sensor types each takes in.
struct SensorFamily {
    SensorType family;
    const char* members;
};
constexpr SensorFamily kSensorFamilies[] = {
    {260, "sron"},
    {261, "ylk"},
    {264, "hg"},
    {262, "tjie"},
};

std::string VersionText(std::int32_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(v) / 100.0);
    return text;
}

}  // namespace

char ReaderHardwareRevision(const char* answer, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length && i < kHardwareRevisionChars && answer[i]; ++i) {
        if (!std::isspace(static_cast<unsigned char>(answer[i]))) return answer[i];
    }
    return '\0';
}

bool SensorTypeMatches(SensorType selected, SensorType reported) {
    for (const SensorFamily& f : kSensorFamilies) {
        if (f.family != selected) continue;
        for (const char* m = f.members; *m; ++m) {
            if (reported == static_cast<unsigned char>(*m)) return true;
        }
        return false;
    }
    return reported == selected;
}

void App::WriteRelayControl(char c) {
    std::uint32_t written = 0;
    protocol_->Logger().DSWrite(&c, 1, &written);
}

ResultCode App::UpdateDigitalSensor() {
    ResultCode r = ConnectRelay();
    if (r < 0) return r;
    bool capture = true;
    r = FindSensorLoader(&capture);
    if (r < 0) return r;
    if (capture) {
        r = CaptureSensorSettings();
        if (r < 0) return r;
    }
    r = ProgramSensor();
    if (r < 0) return r;
    r = FinishSensor();
    if (r < 0) return r;
    return rc::kOk;
}

ResultCode App::ConnectRelay() {
    ResultCode r = protocol_->DPConnect(commPort_.c_str(), kConnectBaudIndex, kConnectSerialRetries,
                                        &deviceInfo_);
    if (r < 0) {
        const std::string port = PortDescription();
        std::string text;
        if (r == rc::kPortInUse) {
            text = "Comm Port \"" + port + "\" is already in use by another application.\n" +
                   "Please choose a new Comm Port to use or quit the application using this port.";
        } else if (r == rc::kPortNotAvailable) {
            text = "Comm Port \"" + port +
                   "\" isn't available.\nPlease choose a new Comm Port to use.";
        } else {
            text = "The " + windowCaption_ + " is unable to connect to your communication device" +
                   "\n on Comm Port \"" + port +
                   "\".\n\nPlease check your serial cable and Comm Port choice.";
            if (r != rc::kNothingListening) text += "\nError " + std::to_string(r);
        }
        ErrorOK(text, "Connection Error", kKindError);
        return rc::kNothingListening;
    }

    r = CheckRelayDevice();
    if (r < 0) return r;

    StepBar();
    SetStatus("Checking Palomet battery power...");
    std::int32_t percent = 0;
    if (protocol_->DPCheckBattery(&percent) >= rc::kOk && percent <= kLowBatteryPercent) {
        ErrorOK(std::string("The battery power in the Palomet is too low!\n\n") +
                    "Please replace the batteries before running this updater.",
                "Batteries Too Low", kKindError);
        return rc::kBatteryLow;
    }
    return rc::kOk;
}

ResultCode App::CheckRelayDevice() {
    const LoggerSettings& relay = protocol_->LoggerSettingsRecord();
    const std::string name(deviceInfo_.name.str());
    if (relay.kind == kKindHJD) return rc::kOk;
    if (relay.kind != kKindPalomet) {
        ErrorOK("The " + windowCaption_ + " expected to find a Palomet (or AQVEN Comm Device)" +
                    ";\nhowever, it found a " + name + ".\n\nThis updater can not work with a " +
                    name + ".",
                "Wrong Device", kKindError);
        return rc::kWrongDeviceType;
    }
    char answer[kHardwareRevisionChars + 1] = {};
    std::uint32_t capacity = sizeof answer;
    std::uint32_t ms = 0;
    const ResultCode r = protocol_->Logger().DeviceCommand(
        kHardwareRevisionCommand, '>', kHardwareRevisionTimeoutMs, answer, &capacity, &ms);
    const char revision = r > 0 ? ReaderHardwareRevision(answer, capacity) : '\0';
    if (r > 0 && relay.firmwareVersion >= kMinReaderFirmware && revision >= kMinReaderRevision)
        return rc::kOk;
    // A reader that named no revision is shown with none between the quotes.
    const std::string shown = revision ? std::string(1, revision) : std::string();
    ErrorOK("Your " + name + " version " + VersionText(relay.firmwareVersion) +
                " with hardware revision '" + shown + "' " +
                "doesn't\nsupport bootstrapping digital sensors.\n\n" +
                "Please use a supported Palomet (or AQVEN Comm Device)",
            "Wrong Device Version", kKindError);
    return rc::kNotSupported;
}

ResultCode App::FindSensorLoader(bool* capture) {
    StepBar();
    AQVEN_Protocol& relay = protocol_->Logger();
    ResultCode r = host_->BSLHandOff(relay.PortHandle(), relay.ReadBuffer(), relay.PortName(), true,
                                     kHandOffTries);
    if (r < 0) {
        ErrorOK("The " + windowCaption_ +
                    " is unable to start the QuorBSL engine.\n\nPlease try again.",
                "Firmware Loader Error", kKindError);
        return r;
    }

    WriteRelayControl(kRelayLoaderChar);
    DSSleep(kLoaderCheckPauseMs);
    r = host_->BSLCheck(commPort_.c_str(), kRelayBaud);
    *capture = true;
    if (r == rc::kLoaderWaiting) {
        WriteRelayControl(kRelayResetChar);
        DSSleep(kWaitingLoaderPauseMs);
    } else if (r == rc::kLoaderConnected) {
        // An earlier update stopped in the loader: the settings come back
        // from the file it left.
        *capture = false;
    }

    DeviceTypeInfo sensor;
    BuildDeviceTypeInfo(DeviceType::kAqvenHx, 0, sensor);
    protocol_->AdoptDevice(sensor);
    BuildDeviceTypeInfo(static_cast<DeviceType>(host_->ImageDeviceType()), kUnknownSensorVersion,
                        deviceInfo_);
    // Before the sensor's loader starts or anything is erased: an image
    // that does not fit leaves the sensor as it was.
    return CheckImageFitsDevice();
}

ResultCode App::CaptureSensorSettings() {
    SetStatus("Saving settings for this digital sensor...");
    WriteRelayControl(kRelaySdiChar);
    DSSleep(kCapturePauseMs);
    // An earlier run's file is kept, never overwritten (see the instrument
    // sequence's capture).
    SetAsideStaleSettingsFile();
    ResultCode r = protocol_->DPSaveInfo(settingsFile_.c_str());
    if (r < 0) {
        const std::string couldNot =
            " could not retrieve the settings from your " + productName_ + ".";
        if (!config_.repMode && !config_.factoryMode) {
            ErrorOK("This " + windowCaption_ + couldNot +
                        "\nPlease try again or contact Karvell for help.",
                    "Settings Error", kKindError);
            return r;
        }
        const std::string text =
            "The " + windowCaption_ + couldNot +
            "\nThis can happen when an intrument is new or doesn't have " +
            "a serial number set yet.\n\nClick OK to continue loading new firmware." +
            "\nClick CANCEL to try retrieving the settings again.";
        if (!fe_.dialogs.AskOkCancel(text, "Settings Retrieve Error")) return rc::kCancelled;
        sensorSettingsMissing_ = true;
    }

    QuorSDI12& sdi = protocol_->Sdi12();
    BuildDeviceTypeInfo(static_cast<DeviceType>(host_->ImageDeviceType()),
                        static_cast<std::int32_t>(sdi.VersionNumber()), deviceInfo_);
    const DeviceTypeInfo& d = deviceInfo_;
    if (const ResultCode range = CheckVersionRange(); range < 0) return range;
    if (d.firmwareVersion > imageVersion_) {
        const std::string text = "The firmware in your " + productName_ +
                                 "\nis newer than the version in this updater.\n\n" +
                                 "Are you sure you want to load older firmware.";
        if (!fe_.dialogs.AskOkCancel(text, "Newer Firmware")) return rc::kCancelled;
    }
    const SensorType reported = sdi.SensorType();
    if (!SensorTypeMatches(selectedSensorType_, reported)) {
        const std::string text = "The attached sensor is claiming to be a \"" +
                                 std::string(SensorTypeName(reported).str()) + "\"\n\n" +
                                 "This firmware updater is for a \"" + productName_ + "\".\n\n" +
                                 "Are you sure you want to load the firmware for a " +
                                 productName_ + "?\n";
        if (!fe_.dialogs.AskOkCancel(text, "Wrong Sensor Type")) return rc::kCancelled;
    }

    SetBar(kLoaderStartBar);
    SetStatus("Starting the firmware loader...");
    r = sdi.SDIInvokeQuorBSL();
    if (r == rc::kSensorHasNoLoader) {
        ErrorOK(std::string("This digital sensor does not have a working firmware loader.") +
                    ".\n\nPlease contact Karvell for help.",
                "Firmware Loader Error", kKindError);
        return r;
    }
    if (r < 0) {
        ReportSensorLoaderUnreachable();
        return rc::kLoaderSilent;
    }
    return rc::kOk;
}

void App::ReportSensorLoaderUnreachable() {
    ErrorOK("The " + windowCaption_ + " is unable to connect to the firmware loader in your " +
                productName_ + ".\n\nPlease try again.",
            "Firmware Loader Error", kKindError);
}

ResultCode App::ProgramSensor() {
    ResultCode r = host_->BSLAttach();
    if (r < 0) {
        ReportSensorLoaderUnreachable();
        return rc::kLoaderSilent;
    }

    r = EraseAndProgramImage(kUploadPauseMs);
    if (r < 0) return r;

    SetBar(kRestartedBar);
    fe_.view.ProcessPendingMessages();
    host_->BSLHandBack();
    WriteRelayControl(kRelaySdiChar);
    return rc::kOk;
}

ResultCode App::FinishSensor() {
    QuorSDI12& sdi = protocol_->Sdi12();
    StepBar();
    SetStatus("Checking new firmware...");
    DSSleep(kFirmwareCheckPauseMs);
    ResultCode r = sdi.SDICheckBinary();
    if (r == sdi12::kFirmwareCorrupt) {
        ErrorOK("The new firmware for your " + productName_ +
                    " is corrupt!\n\nPlease try again or contact Karvell.",
                "Firmware Error", kKindError);
        return r;
    }
    if (r < 0) {
        ErrorOK("The " + windowCaption_ + " was unable to verify the new firmware in your " +
                    productName_ + ".\n\nPlease try again or contact Karvell.\n\n[Error " +
                    std::to_string(r) + "]",
                "Firmware Error", kKindError);
        return r;
    }

    // The new firmware runs: a failed restore or type is reported and the
    // update still ends well.
    StepBar();
    SetStatus("Restoring settings...");
    r = protocol_->DPRestoreInfo(settingsFile_.c_str(), nullptr);
    if (r < 0) {
        ErrorOK("The " + windowCaption_ + " failed to restore the calibration and address\n" +
                    "for your " + productName_ +
                    ".\n\nPlease calibrate this sensor and check the address.\n\n[Error " +
                    std::to_string(r) + "]",
                "Settings Error", kKindError);
    }
    r = sdi.SDISetSensorType(selectedSensorType_);
    if (r < 0) {
        ErrorOK("The " + windowCaption_ + " failed to set the sensor type for your " +
                    productName_ +
                    ".\n\nThe sensor type will be auto-determined by the firmware.\n\n[Error " +
                    std::to_string(r) + "]",
                "Settings Error", kKindError);
    }

    StepBar();
    WriteRelayControl(kRelayResetChar);
    protocol_->Disconnect(false);
    return rc::kOk;
}

}  // namespace quor::app
