#include "app/App.h"

#include "app/SensorMenu.h"
#include "device/DeviceType.h"
#include "platform/AppFolder.h"

namespace quor::app {

namespace {

// The version of the image compiled into the program ("TRU 3.65").
constexpr std::int32_t kBuiltInImageVersion = 365;

std::int8_t LookupDeviceCode(const char* upperCaseCode) {
    return static_cast<std::int8_t>(DeviceTypeFromCode(upperCaseCode));
}

}  // namespace

std::string ErrorFilePath(const std::string& appFolder, const std::string& windowCaption) {
    return appFolder + "/" + windowCaption + ".errors.txt";
}

std::string SettingsFilePath(const std::string& appFolder, const std::string& productName) {
    return appFolder + "/" + productName + ".settings.txt";
}

std::string ConstructionErrorText(const std::string& windowCaption, ResultCode s) {
    std::string text;
    if (s == rc::kOutOfMemory) {
        text = "The " + windowCaption + " ran out of memory while allocating internal buffers.\n\n";
    } else if (s == rc::kBuiltInImageCorrupt) {
        text = "The internal firware file for this " + windowCaption + " is corrupt.\n\n";
    } else {
        text = "The " + windowCaption +
               " got an unexpected error starting up.\n[Error: " + std::to_string(s) + "]\n\n";
    }
    return text + "Please restart this application and try again.";
}

App::App(const AppFrontEnd& frontEnd, const ProductConfig& config, AppEnvironment environment)
    : fe_(frontEnd), config_(config), env_(std::move(environment)) {
    if (!config_.image) config_.image = &ProductEmbeddedImage();
}

App::~App() = default;

void App::OnWindowShown() {
    if (shown_) return;
    shown_ = true;

    SetUpProduct();
    windowCaption_ = productName_ + " Firmware Updater";
    fe_.view.SetWindowCaption(windowCaption_);
    fe_.view.SetApplicationTitle(productName_ + " Updater");
    fe_.view.SetText(Control::mnuAbout, "About " + productName_ + " Firmware Updater");
    ShowModes();

    std::string savedPort;
    ReadUserSettings(&savedPort);

    const std::string programFolder =
        env_.programFolder.empty() ? platform::ProgramFolder() : env_.programFolder;
    appFolder_ = platform::AppFolder(programFolder);
    errorFile_ = ErrorFilePath(appFolder_, windowCaption_);
    CreateObjects();

    SelectStartPort(savedPort);
    SetWindowTexts();
    SetImageProgress();
    StartStartupTimer();
}

void App::SetUpProduct() {
    if (config_.DigitalSensor()) {
        digitalSensor_ = true;
        const SensorMenuItem* item = SensorMenuItemFor(config_.startSensorType);
        if (item) {
            OnSensorTypeItem(item->item);
        } else {
            // A build may start with a type the menu has no item for.
            selectedSensorType_ = config_.startSensorType;
            productName_ = SensorTypeName(selectedSensorType_).str();
        }
        return;
    }
    digitalSensor_ = false;
    versionCheckPath_ = DeviceTypeVersionFinderPath(config_.productType);
    productName_ = DeviceTypeName(config_.productType);
}

void App::ShowModes() {
    if (config_.repMode) fe_.view.SetEnabled(Control::mnuOpenFirmwareFile, true);
    if (!config_.factoryMode) return;
    fe_.view.SetVisible(Control::mnuReplaceSerialNumber, true);
    fe_.view.SetVisible(Control::mnuDontEraseData, true);
    if (!config_.DigitalSensor()) return;
    fe_.view.SetVisible(Control::mnuSensorSeparator, true);
    fe_.view.SetVisible(Control::mnuSensorHeading, true);
    for (const SensorMenuItem& m : kSensorMenu) {
        if (m.shown) fe_.view.SetVisible(m.item, true);
    }
}

void App::ReadUserSettings(std::string* savedPort) {
    bool findAll = false;
    findAllPorts_ =
        fe_.settings.ReadBool(kSettingsSection, kValueFindAllComms, &findAll) && findAll;
    fe_.view.SetChecked(Control::mnuForceFindAllCommPorts, findAllPorts_);
    // The log always runs verbose at start; the stored "VerboseLog" is
    // written on close but never read.
    verbose_ = true;
    fe_.view.SetChecked(Control::mnuVerboseErrorFile, true);
    savedPort->clear();
    fe_.settings.ReadString(kSettingsSection, kValueCommPort, savedPort);
}

void App::CreateObjects() {
    log_ = std::make_unique<QuorLog>(errorFile_.c_str(),
                                     verbose_ ? QuorLog::kLevelDetail : QuorLog::kLevelFailure);
    protocol_ = std::make_unique<Quor_protocol>(log_.get());
    host_ = std::make_unique<QuorBSLHost>(log_.get(), *config_.image);
    host_->SetDeviceCodeLookup(LookupDeviceCode);
    portLister_ = std::make_unique<QuorSerial>(log_.get());
}

std::uint32_t App::RefreshPortList() {
    fe_.view.ClearPortList();
    for (PortRecord& p : ports_) p = PortRecord{};
    std::uint32_t count = kPortListCapacity;
    const ResultCode r = env_.listPorts
                             ? env_.listPorts(ports_.data(), &count, findAllPorts_)
                             : portLister_->CommPortEnum(ports_.data(), &count, findAllPorts_);
    portCount_ = r < 0 ? 0 : (count > kPortListCapacity ? kPortListCapacity : count);
    for (std::uint32_t i = 0; i < portCount_; ++i)
        fe_.view.AddPortEntry(ports_[i].description.str());
    return portCount_;
}

void App::SelectStartPort(const std::string& savedPort) {
    RefreshPortList();
    selectedPortIndex_ = 0;
    if (!savedPort.empty()) {
        for (std::uint32_t i = 0; i < portCount_; ++i) {
            if (ports_[i].name == savedPort) {
                selectedPortIndex_ = static_cast<int>(i);
                break;
            }
        }
    }
    if (portCount_ > 0) {
        commPort_ = ports_[static_cast<std::uint32_t>(selectedPortIndex_)].name;
    } else {
        fe_.view.AddPortEntry(kNoCommPortsEntry);
        commPort_.clear();
        fe_.view.SetEnabled(Control::btnStart, false);
    }
    fe_.view.SelectPortEntry(selectedPortIndex_);
}

std::string App::PortLabelName() const {
    return config_.portLabelName ? config_.portLabelName : productName_;
}

std::string App::ConnectHintName() const {
    return config_.connectHintName ? config_.connectHintName : productName_;
}

void App::SetWindowTexts() {
    fe_.view.SetText(Control::userText2, host_->ImageLabel());
    fe_.view.SetText(Control::userText1, "This utility updates " + productName_ + " firmware to");
    fe_.view.SetText(Control::commLabel, "Connect to " + PortLabelName() + " with Comm Port");
    fe_.view.SetText(Control::lblConnect,
                     "Connect " + ConnectHintName() + " to computer comm port.");
}

void App::SetImageProgress() {
    eraseProgressStep_ = kEraseProgressStep;
    uploadStep_ = UploadStepFor(host_->TextLength());
    imageVersion_ = kBuiltInImageVersion;
}

void App::StartStartupTimer() {
    // The construction-error report closes the program, so no other
    // start-up message follows it.
    if (host_->ConstructionStatus() < 0) {
        fe_.timers.StartOneShot(AppTimer::kConstructionError, kConstructionErrorDelayMs,
                                [this] { OnConstructionErrorTimer(); });
        return;
    }
    const bool warn = !digitalSensor_ && DeviceTypeEraseWarning(config_.productType);
    if (warn && !config_.repMode && !config_.factoryMode) {
        fe_.timers.StartOneShot(AppTimer::kDataEraseWarning, kDataEraseWarningDelayMs,
                                [this] { OnDataEraseWarningTimer(); });
        return;
    }
    StartVersionCheckTimer();
}

void App::StartVersionCheckTimer() {
    fe_.timers.StartOneShot(AppTimer::kVersionCheck, kVersionCheckDelayMs,
                            [this] { OnVersionCheckTimer(); });
}

void App::OnDataEraseWarningTimer() {
    ErrorOK("WARNING: The " + windowCaption_ +
                " will erase all measurement data\n stored in your " + productName_ +
                ".\n\n Please download any data you want to save before continuing.",
            "Data Erase Warning", kKindWarning);
    StartVersionCheckTimer();
}

void App::OnVersionCheckTimer() {
    fe_.versionCheck.CheckForNewerVersion(imageVersion_, versionCheckPath_, true,
                                          productName_ + " Firmware Updater");
}

void App::OnConstructionErrorTimer() {
    const ResultCode s = host_->ConstructionStatus();
    ErrorOK(ConstructionErrorText(windowCaption_, s), "Application Launch Error", kKindError);
    log_->WriteLine(QuorLog::kLevelFailure, kMainWindowTag,
                    "HostBSL class got an constructor error (%d)", s);
    fe_.view.CloseWindow();
}

void App::ErrorOK(const std::string& text, const std::string& caption, int kind) {
    fe_.dialogs.SoundBeep(BeepForKind(kind));
    fe_.dialogs.ShowMessage(text, caption, IconForKind(kind));
    if (log_) log_->WriteLine(QuorLog::kLevelFailure, kErrorOKTag, "%s", text.c_str());
}

void App::OnSensorTypeItem(Control item) {
    const SensorMenuItem* chosen = SensorMenuItemFor(item);
    if (!chosen) return;
    for (const SensorMenuItem& m : kSensorMenu) fe_.view.SetChecked(m.item, false);
    selectedSensorType_ = chosen->code;
    fe_.view.SetChecked(chosen->item, true);
    versionCheckPath_ = chosen->versionFinderPath;
    productName_ = SensorTypeName(selectedSensorType_).str();
    fe_.view.SetText(Control::userText1, "This utility updates " + productName_ + " firmware to");
}

void App::OnWindowClose() {
    fe_.settings.WriteBool(kSettingsSection, kValueFindAllComms, findAllPorts_);
    fe_.settings.WriteBool(kSettingsSection, kValueVerboseLog, verbose_);
    fe_.settings.WriteString(kSettingsSection, kValueCommPort, commPort_);
}

}  // namespace quor::app
