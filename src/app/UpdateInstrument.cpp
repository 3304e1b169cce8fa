// The instrument edition's update: from the first connection through the
// loader to the final logout. Every failure is explained to the user here;
// the start timer only tidies up.

#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/App.h"
#include "app/UpdateInstrumentTexts.h"

namespace quor::app {

namespace {

constexpr std::uint8_t kConnectBaudIndex = 2;  // 9600 baud
constexpr std::uint32_t kConnectSerialRetries = 3;
constexpr std::uint32_t kLoaderConnectTries = 3;
constexpr int kReconnectAttempts = 3;
// After the n-th failed reconnect (counting from 0) the wait is n times this.
constexpr std::uint32_t kReconnectPauseStepMs = 1500;
// The version a device found in its loader is recorded with; the checks
// that would read it are skipped on that path.
constexpr std::int32_t kLoaderRunningVersion = 999;
constexpr std::int32_t kLowBatteryPercent = 10;
constexpr int kLoaderStartBar = 6;
constexpr int kRestartedBar = 92;
// An older settings file set aside gets the first free of these names.
constexpr int kMaxSetAsideNames = 1000;
constexpr const char* kSetAsideSuffix = ".unused";

}  // namespace

std::string App::PortDescription() const {
    if (selectedPortIndex_ < 0 || static_cast<std::uint32_t>(selectedPortIndex_) >= portCount_)
        return {};
    return std::string(ports_[static_cast<std::uint32_t>(selectedPortIndex_)].description.str());
}

ResultCode App::UpdateInstrument() {
    bool loaderRunning = false;
    ResultCode r = ConnectInstrument(&loaderRunning);
    if (r < 0) return r;
    if (!loaderRunning) {
        r = CheckInstrument();
        if (r < 0) return r;
    }
    // Before anything is captured, invoked or erased: an image that does
    // not fit leaves the device as it was.
    r = CheckImageFitsDevice();
    if (r < 0) return r;
    if (!loaderRunning) {
        r = CaptureInstrumentSettings();
        if (r < 0) return r;
    }
    protocol_->Disconnect(false);
    r = ProgramInstrument();
    if (r < 0) return r;
    r = ReconnectInstrument();
    if (r < 0) return r;
    return FinishInstrument();
}

ResultCode App::ConnectInstrument(bool* loaderRunning) {
    const ResultCode r = protocol_->DPConnect(commPort_.c_str(), kConnectBaudIndex,
                                              kConnectSerialRetries, &deviceInfo_);
    *loaderRunning = r == rc::kLoaderConnected || r == rc::kLoaderWaiting;
    if (r < 0 && !*loaderRunning) {
        const MessageNames names{windowCaption_, productName_, PortDescription()};
        ErrorOK(ConnectErrorText(names, deviceInfo_, r), "Connection Error", kKindError);
        return rc::kNothingListening;
    }
    StepBar();
    if (*loaderRunning) {
        // An earlier update stopped in the loader: the device is the image's,
        // and its settings come back from the file that update left.
        BuildDeviceTypeInfo(static_cast<DeviceType>(host_->ImageDeviceType()),
                            kLoaderRunningVersion, deviceInfo_);
    }
    return rc::kOk;
}

ResultCode App::CheckInstrument() {
    const DeviceTypeInfo& d = deviceInfo_;
    const std::string deviceName(d.name.str());
    if (static_cast<int>(d.type) != host_->ImageDeviceType()) {
        std::string text = "The " + windowCaption_ + " expected to find a " + productName_ +
                           ";\nhowever, it found a " + deviceName +
                           ".\n\nThis updater can not update a " + deviceName + ".";
        if (!config_.factoryMode) {
            ErrorOK(text, "Wrong Device", kKindError);
            return rc::kWrongDeviceType;
        }
        text += "\n\n[Factory Mode Override: Click OK to load FW anyway]";
        if (!fe_.dialogs.AskOkCancel(text, "Wrong Device")) return rc::kWrongDeviceType;
    }
    if (!d.updatable) {
        ErrorOK("The firmware in the connected " + productName_ +
                    "\nis too old.\n\nThis updater can not update this device.",
                "Firmware Too Old", kKindError);
        return rc::kNotSupported;
    }
    if (!config_.factoryMode &&
        static_cast<std::uint32_t>(d.firmwareVersion) > static_cast<std::uint32_t>(imageVersion_)) {
        const std::string text = "The firmware in your " + productName_ +
                                 "\nis newer than the version in this updater.\n\n" +
                                 "Are you sure you want to load older firmware.";
        if (!fe_.dialogs.AskOkCancel(text, "Newer Firmware")) return rc::kCancelled;
    }
    if (const ResultCode range = CheckVersionRange(); range < 0) return range;
    if (d.checkBattery) {
        SetStatus("Checking battery power...");
        std::int32_t percent = 0;
        if (protocol_->DPCheckBattery(&percent) > 0 && percent < kLowBatteryPercent) {
            ErrorOK(std::string("The battery power is too low!\n\n") +
                        "Please replace the batteries before running this updater.",
                    "Batteries Too Low", kKindError);
            return rc::kBatteryLow;
        }
    }
    StepBar();
    return rc::kOk;
}

ResultCode App::CheckImageFitsDevice() {
    const ResultCode r = host_->BSLCheckImage(LoaderMemoryMapOf(deviceInfo_));
    if (r >= 0) return r;
    const MessageNames names{windowCaption_, productName_, PortDescription()};
    ErrorOK(r == rc::kImageDoesNotFit ? ImageDoesNotFitText(names) : LoaderStepErrorText(names, r),
            "Firmware Upload Error", kKindError);
    return r;
}

// A device whose image is only for some firmware versions: outside them
// the user is told, or asked when rep or factory mode lets them go on.
ResultCode App::CheckVersionRange() {
    const DeviceTypeInfo& d = deviceInfo_;
    if (!d.versionLimited) return rc::kOk;
    const bool ask = config_.repMode || config_.factoryMode;
    const MessageNames names{windowCaption_, productName_, PortDescription()};
    const std::string text = VersionRangeText(
        names, static_cast<std::uint32_t>(d.firmwareVersion), d.minVersion, d.maxVersion, ask);
    if (text.empty()) return rc::kOk;
    if (!ask) {
        ErrorOK(text, "Wrong Firmware Version", kKindError);
        return rc::kNotSupported;
    }
    if (!fe_.dialogs.AskOkCancel(text, "Wrong Firmware Version")) return rc::kNotSupported;
    return rc::kOk;
}

ResultCode App::CaptureInstrumentSettings() {
    if (!deviceInfo_.saveSettings) return rc::kOk;
    SetStatus("Saving settings for this " + productName_ + "...");
    const std::string couldNot = " could not retrieve the settings from your " + productName_;
    if (deviceInfo_.needsLogin) {
        const ResultCode login = protocol_->Login();
        if (login < 0) {
            ErrorOK("This " + windowCaption_ + couldNot +
                        ".\nPlease try again or contact Karvell for help.",
                    "Login Error", kKindError);
            return login;
        }
    }
    // A file on disk is an earlier run's: perhaps of another device, perhaps
    // the only copy of settings that a cut-off update already erased. The
    // new capture never overwrites it.
    SetAsideStaleSettingsFile();
    const ResultCode r = protocol_->DPSaveInfo(settingsFile_.c_str());
    if (r >= 0) return rc::kOk;
    if (config_.repMode || config_.factoryMode) {
        const std::string text =
            "The " + windowCaption_ + couldNot +
            ".\nThis can happen when an intrument is new or doesn't have " +
            "a serial number set yet.\n\nClick OK to continue loading new firmware." +
            "\nClick CANCEL to try retrieving the settings again.";
        if (!fe_.dialogs.AskOkCancel(text, "Settings Retrieve Error")) return rc::kCancelled;
    } else if (r != rc::kSomeSettingsFailed) {
        ErrorOK("This " + windowCaption_ + couldNot +
                    ".\nPlease try again or contact Karvell for help.",
                "Settings Error", kKindError);
        return r;
    }
    return rc::kOk;
}

void App::SetAsideStaleSettingsFile() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(settingsFile_);
    if (!fs::exists(file, ec)) return;
    for (int n = 1; n <= kMaxSetAsideNames; ++n) {
        fs::path aside(settingsFile_ + kSetAsideSuffix +
                       (n == 1 ? std::string() : "." + std::to_string(n)));
        if (fs::exists(aside, ec) || ec) continue;
        fs::rename(file, aside, ec);
        if (!ec) {
            log_->WriteLine(
                QuorLog::kLevelMilestone, kMainWindowTag,
                "The update set the settings file of an earlier update aside as %s",
                aside.string().c_str());
            return;
        }
        break;
    }
    log_->WriteLine(QuorLog::kLevelFailure, kMainWindowTag,
                    "Could not set the earlier settings file %s aside (%s)",
                    settingsFile_.c_str(), ec ? ec.message().c_str() : "no free name");
}

ResultCode App::ProgramInstrument() {
    const DeviceTypeInfo& d = deviceInfo_;
    const MessageNames names{windowCaption_, productName_, PortDescription()};

    SetBar(kLoaderStartBar);
    SetStatus("Starting the firmware loader...");
    ResultCode r = host_->BSLConnect(commPort_.c_str(), d.loaderBaud, true, kLoaderConnectTries);
    if (r == rc::kNoWorkingLoader) {
        ErrorOK("This " + productName_ + " does not have a working firmware loader." +
                    "\n\nPlease contact Karvell for help.",
                "Firmware Loader Error", kKindError);
        return r;
    }
    if (r < 0) {
        ErrorOK("The " + windowCaption_ + " is unable to connect to the firmware loader in your " +
                    productName_ + ".\n\nPlease try again.",
                "Firmware Loader Error", kKindError);
        return rc::kLoaderSilent;
    }

    r = EraseAndProgramImage(0);
    if (r < 0) return r;

    host_->BSLDisconnect();
    DSSleep(d.restartDelayMs);
    SetBar(kRestartedBar);
    return rc::kOk;
}

ResultCode App::ReconnectInstrument() {
    ResultCode r = 0;
    for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
        r = protocol_->DPConnect(commPort_.c_str(), kConnectBaudIndex, kConnectSerialRetries,
                                 &deviceInfo_);
        if (r > 0) break;
        DSSleep(static_cast<std::uint32_t>(attempt) * kReconnectPauseStepMs);
    }
    if (r < 0) {
        const MessageNames names{windowCaption_, productName_, PortDescription()};
        ErrorOK(LoaderStepErrorText(names, r), "Connection Error", kKindError);
        return r;
    }
    return rc::kOk;
}

ResultCode App::FinishInstrument() {
    const DeviceTypeInfo& d = deviceInfo_;
    if (d.needsLogin && protocol_->Login() < 0) {
        // The new firmware runs: the user is told and the update goes on.
        ErrorOK("This " + windowCaption_ + " failed to log into your " + productName_ +
                    ".\nPlease check the settings on your instrument or contact Karvell for help.",
                "Login Error", kKindError);
    }

    StepBar();
    SetStatus("Checking new firmware...");
    ResultCode r = protocol_->DPCheckFirmware(d.firmwareCheckMode);
    if (r < 0) {
        ErrorOK("The new firmware for your " + productName_ +
                    " is corrupt!\n\nPlease try again or contact Karvell.",
                "Firmware Error", kKindError);
        return r;
    }

    StepBar();
    SetStatus("Restoring settings...");
    if (d.saveSettings) {
        const std::string newSerial = NewSerialNumber();
        r = protocol_->DPRestoreInfo(settingsFile_.c_str(),
                                     newSerial.empty() ? nullptr : newSerial.c_str());
        const MessageNames names{windowCaption_, productName_, PortDescription()};
        for (const Message& m : RestoreErrorMessages(names, r))
            ErrorOK(m.text, m.caption, kKindError);
    }
    if (d.setTime) protocol_->DPSetTime();
    StepBar();

    if (d.eraseData && !DontEraseData()) {
        SetStatus("Erasing old data...");
        r = protocol_->DPEraseData();
        if (r < 0) {
            const MessageNames names{windowCaption_, productName_, PortDescription()};
            ErrorOK(DataEraseErrorText(names, r), "Data Erase Error", kKindError);
            return r;
        }
    }

    const char* adc = protocol_->Instrument().adc.c_str();
    if (*adc == '\0' || std::strstr(adc, "50.98")) deviceInfo_.showNotice = true;

    protocol_->Disconnect(true);
    return rc::kOk;
}

}  // namespace quor::app
