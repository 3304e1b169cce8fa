// The main window's menu commands, the dispatch of its buttons and menu
// items, and the comm-port selector.
//
// While an update runs the commands that would change the firmware image,
// the port, the log or the device are refused with one short message and
// change nothing; they read only the atomic busy flag before refusing, so
// they are safe on a thread other than the update's.

#include <filesystem>
#include <string>
#include <system_error>

#include "app/App.h"
#include "app/SensorMenu.h"
#include "device/DeviceType.h"

namespace quor::app {

namespace {

constexpr const char* kBusyCaption = "Update In Progress";
constexpr const char* kOpenDialogTitle = "Please select a firmware file";
constexpr const char* kOpenDialogFilter = "Firmware File (*.txt)|*.txt|Any File (*.*)|*.*";
constexpr const char* kSaveDialogTitle = "Save Firmware Image";
constexpr const char* kFirmwareFileExtension = ".txt";

// The name the messages give a chosen file: the part after its folder,
// cut where the loader host cuts it for the image's label.
std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CurrentFolder() {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    return ec ? std::string() : folder.string();
}

}  // namespace

std::string OpenFileErrorText(const std::string& windowCaption, const std::string& fileName,
                              ResultCode r) {
    if (r == rc::kNotTiText) {
        return "The file \"" + fileName + "\" is not a valid firmware file.\n" +
               "Please choose a new firmware file to open.";
    }
    if (r == rc::kOutOfMemory) {
        return "The " + windowCaption + " ran out of memory opening \"" + fileName + "\".\n" +
               "Please restart this application and try again.";
    }
    return "The " + windowCaption + " could not opening \"" + fileName + "\".\n" +
           "Please try again.\nError " + std::to_string(r);
}

float UploadStepFor(std::uint32_t textLength) {
    return textLength > 0 ? kUploadProgressSpan / static_cast<float>(textLength) : 0.0f;
}

bool App::RefuseWhileBusy() {
    if (!Busy()) return false;
    ErrorOK("The " + windowCaption_ + " is updating your " + productName_ +
                ".\nPlease wait until the update has finished.",
            kBusyCaption, kKindWarning);
    return true;
}

void App::OnOpenFirmwareFile() {
    // The item is enabled by rep mode only.
    if (!config_.repMode || RefuseWhileBusy()) return;
    FileDialogOptions options;
    options.title = kOpenDialogTitle;
    options.filter = kOpenDialogFilter;
    options.defaultExtension = kFirmwareFileExtension;
    options.initialFolder = CurrentFolder();
    std::string path;
    if (!fe_.dialogs.OpenFile(options, &path)) return;
    // An update may have started while the dialog was open.
    if (RefuseWhileBusy()) return;

    const std::string fileName = FileNameOf(path);
    const ResultCode r = host_->BSLLoadTIFile(path.c_str());
    if (r < 0) {
        ErrorOK(OpenFileErrorText(windowCaption_, fileName, r), "File Error", kKindError);
        return;
    }

    if (host_->ImageDeviceType() == static_cast<std::int8_t>(DeviceType::kUnknown)) {
        const DeviceType own = config_.DigitalSensor() ? DeviceType::kTru : config_.productType;
        host_->SetImageDeviceType(static_cast<std::int8_t>(own));
    }
    const std::string name = DeviceTypeName(static_cast<DeviceType>(host_->ImageDeviceType()));
    fe_.view.SetText(Control::userText2, host_->ImageLabel());
    fe_.view.SetText(Control::userText1, "This utility updates " + name + " firmware to");
    fe_.view.SetText(Control::commLabel, "Connect to " + name + " with Comm Port");
    productName_ = name;
    fe_.view.SetText(Control::lblConnect, "Connect " + productName_ + " to computer comm port.");
    imageVersion_ = host_->VersionNumber();
    // The settings file follows the product name; the start timer names it
    // before every update.
    eraseProgressStep_ = kEraseProgressStep;
    uploadStep_ = UploadStepFor(host_->TextLength());
    fe_.dialogs.SoundBeep(Beep::kAsterisk);
    fe_.view.SetEnabled(Control::btnStart, true);
    fe_.view.SetEnabled(Control::mnuUpdateFirmware, true);
}

void App::OnDumpFirmwareImage() {
    // Only reads the image, so it may run during an update.
    FileDialogOptions options;
    options.title = kSaveDialogTitle;
    options.defaultExtension = kFirmwareFileExtension;
    std::string path;
    if (!fe_.dialogs.SaveFile(options, &path)) return;
    const ResultCode r = host_->BSLWriteTIFile(path.c_str());
    if (r < 0) ErrorOK("Error saving firmware image: " + std::to_string(r), "Error", kKindWarning);
}

void App::OnVerboseErrorFile() {
    // The item only shows the log's level; it never changes it.
    fe_.view.SetChecked(Control::mnuVerboseErrorFile, verbose_);
}

void App::OnForceFindAllCommPorts() {
    if (!RefuseWhileBusy()) findAllPorts_ = !findAllPorts_;
    fe_.view.SetChecked(Control::mnuForceFindAllCommPorts, findAllPorts_);
}

void App::OnDontEraseData() {
    if (!config_.factoryMode) return;
    if (!RefuseWhileBusy()) dontErase_ = !dontErase_;
    fe_.view.SetChecked(Control::mnuDontEraseData, dontErase_);
}

void App::OnReplaceSerialNumber() {
    if (!config_.factoryMode) return;
    if (RefuseWhileBusy()) {
        fe_.view.SetChecked(Control::mnuReplaceSerialNumber, replaceSerialNumber_);
        return;
    }
    replaceSerialNumber_ = !replaceSerialNumber_;
    fe_.view.SetChecked(Control::mnuReplaceSerialNumber, replaceSerialNumber_);
    fe_.view.SetVisible(Control::newSN, replaceSerialNumber_);
    fe_.view.SetVisible(Control::newSNstr, replaceSerialNumber_);
    if (replaceSerialNumber_) fe_.view.SetFocus(Control::newSNstr);
}

std::string App::NewSerialNumber() const {
    if (!replaceSerialNumber_) return {};
    return fe_.view.Text(Control::newSNstr).substr(0, kNewSerialNumberChars);
}

void App::ResetReplaceSerialNumber() {
    replaceSerialNumber_ = false;
    fe_.view.SetChecked(Control::mnuReplaceSerialNumber, false);
    fe_.view.SetVisible(Control::newSN, false);
    fe_.view.SetVisible(Control::newSNstr, false);
    fe_.view.SetText(Control::newSNstr, "");
}

void App::OnCheckNewerVersion() {
    fe_.versionCheck.CheckForNewerVersion(imageVersion_, versionCheckPath_, false,
                                          productName_ + " Firmware Updater");
}

void App::OnCommand(Control item) {
    if (const SensorMenuItem* sensor = SensorMenuItemFor(item)) {
        // Only the items the sensor edition shows with factory mode.
        if (!digitalSensor_ || !config_.factoryMode || !sensor->shown) return;
        if (!RefuseWhileBusy()) {
            OnSensorTypeItem(item);
            return;
        }
        // A window may have checked the item itself; the selection stands.
        fe_.view.SetChecked(item, sensor->code == selectedSensorType_);
        return;
    }
    switch (item) {
        case Control::btnStart:
        case Control::mnuUpdateFirmware:
            // A second update must not start inside the first.
            if (!RefuseWhileBusy()) OnStartClick();
            return;
        case Control::btnClose:
            // The quit guard keeps the window open while an update runs.
            if (Busy()) {
                ConfirmQuit();
            } else {
                OnCloseClick();
            }
            return;
        case Control::mnuExit:
            ConfirmQuit();
            return;
        case Control::mnuOpenFirmwareFile:
            OnOpenFirmwareFile();
            return;
        case Control::mnuDumpFirmwareImage:
            OnDumpFirmwareImage();
            return;
        case Control::mnuVerboseErrorFile:
            OnVerboseErrorFile();
            return;
        case Control::mnuForceFindAllCommPorts:
            OnForceFindAllCommPorts();
            return;
        case Control::mnuDontEraseData:
            OnDontEraseData();
            return;
        case Control::mnuReplaceSerialNumber:
            OnReplaceSerialNumber();
            return;
        case Control::mnuHelp:
            OnHelp();
            return;
        case Control::mnuSendFeedback:
            // A front end opens its own feedback form; the core only keeps
            // it closed while an update writes the log it would cut.
            RefuseWhileBusy();
            return;
        case Control::mnuCheckNewerVersion:
            OnCheckNewerVersion();
            return;
        case Control::mnuAbout:
            OnAbout();
            return;
        default:
            // Labels, edits, the list and the headings have no command.
            return;
    }
}

void App::OnCommPortDropDown() {
    if (RefuseWhileBusy()) return;
    const std::uint32_t count = RefreshPortList();
    if (count == 0) {
        fe_.view.AddPortEntry(kNoCommPortsEntry);
        return;
    }
    // The entry at the remembered position, whichever port it is now; the
    // comm port itself changes only when the user picks an entry.
    const bool kept =
        selectedPortIndex_ >= 0 && static_cast<std::uint32_t>(selectedPortIndex_) < count;
    fe_.view.SelectPortEntry(kept ? selectedPortIndex_ : 0);
}

void App::OnCommPortChange(int index) {
    if (RefuseWhileBusy()) return;
    // A list being cleared reports -1; nothing was picked.
    if (index < 0 || static_cast<std::uint32_t>(index) >= kPortListCapacity) return;
    selectedPortIndex_ = index;
    commPort_ = ports_[static_cast<std::uint32_t>(index)].name;
    if (!commPort_.empty()) fe_.view.SetEnabled(Control::btnStart, true);
}

}  // namespace quor::app
