// The main window's fixed texts: help, about and the calibration notices
// after an update. Each is built when it is shown, from the current product
// name, and shown with ErrorOK, which also logs it.

#include <string>

#include "app/App.h"
#include "device/DeviceType.h"

// The build passes the project's version; without it the about box says
// "Unknown".
#ifndef QUOR_FILE_VERSION
#define QUOR_FILE_VERSION ""
#endif
#ifndef QUOR_PRODUCT_VERSION
#define QUOR_PRODUCT_VERSION ""
#endif

namespace quor::app {

namespace {

constexpr const char* kUnknownVersion = "Unknown";

}  // namespace

const char* BuildFileVersion() {
    return QUOR_FILE_VERSION;
}
const char* BuildProductVersion() {
    return QUOR_PRODUCT_VERSION;
}

std::string AboutTextFor(const char* fileVersion, const char* copyright) {
    const std::string version = fileVersion && *fileVersion ? fileVersion : kUnknownVersion;
    std::string text = "QuorBSL Engine version " + version;
    if (copyright && *copyright) text += std::string("\n\n") + copyright;
    return text;
}

std::string App::HelpText() const {
    const std::string& product = productName_;
    std::string text = "The " + windowCaption_ + " replaces the firmware that operates your " +
                       product + ".\n" +
                       "Following the simple steps will help ensure a successful update.\n\n";
    if (!digitalSensor_ && DeviceTypeEraseWarning(config_.productType)) {
        text += "WARNING: Updating the firmware in your " + product +
                " will erase any stored measurement data.\n" +
                "Please download any measurement data stored in your" + product +
                " that you want to save.\n\n";
    }
    text += "Before beginning these steps, please make sure your instrument is powered on.\n\n";
    if (digitalSensor_) {
        text += "Step 1. Connect your Palomet and " + product +
                " to an available serial communication port \non your computer.\n\n";
    } else {
        text += "Step 1. Connect your " + product +
                " to an available serial communication port on your computer.\n\n";
    }
    text += "Step 2. Select the correct serial port from the Comm Port control.\n\n";
    text +=
        "Step 3. Click the \"Start\" button. The updater shows progress in the Status area.\n\n";
    text += "WARNING: Do not disconnect your " + product +
            " from the computer while the updater is running.\n";
    text += "An incomplete firmware update could leave your " + product + " unusable.\n\n";
    text +=
        "WARNING: Do not quit the " + product + " Firmware Updater while the updater is running.\n";
    text += "An incomplete firmware update could leave your " + product + " unusable.\n\n";
    text += "Step 4. Once the update is complete, you can disconnect your " + product +
            " from the computer.\n";
    text += "Please verify your " + product + " configuration is correct. ";
    text += "Enjoy using the updated firmware version.\n\n";
    text +=
        "If you have trouble with this " + product + " Firmware Updater, Please contact VOREN or\n";
    text += "an authorized VOREN Group Distributor for help:\n\n";
    if (config_.maker.contact) text += config_.maker.contact;
    return text;
}

std::string App::AboutText() const {
    return AboutTextFor(BuildFileVersion(), config_.maker.copyright);
}

void App::OnHelp() {
    ErrorOK(HelpText(), "Help", kKindPlain);
}

void App::OnAbout() {
    ErrorOK(AboutText(), "About " + productName_ + " Firmware Updater", kKindInformation);
}

void App::ShowUpdateNotice(DeviceType type) {
    switch (type) {
        case DeviceType::kTq:
            ErrorOK(std::string("The calibration of your TQ9 Pro is outdated or missing.\n\n") +
                        "Please contact Karvell or your authorized Karvell representative\n" +
                        "to have your TQ9 Pro calibrated.",
                    "TQ9 Pro Calibration", kKindWarning);
            return;
        case DeviceType::kLg40:
            ErrorOK(
                std::string("Updating the firmware in your Lumigrid LG-40 requires you to "
                            "calibrate\n") +
                    "the internal sensors using the external sensor as a reference.\n\n" +
                    "Please see your LG-40 user manual for probe calibration instructions.\n\n" +
                    "Please also reset the Daylight Savings setting in your Lumigrid LG-40.",
                "Please Calibrate Your LG-40", kKindWarning);
            return;
        case DeviceType::kFg:
            ErrorOK(std::string("Updating the firmware in your Frond Stomagraph requires you to "
                                "calibrate\n") +
                        "the the sensor head using the Karvell-supplied calibration plate.\n\n" +
                        "Please see the Frond Stomagraph user manual (version 7 or newer) for\n" +
                        "calibration instructions. The latest user manual is available for "
                        "download from:\n" +
                        (config_.maker.literatureAddress ? config_.maker.literatureAddress : ""),
                    "Please Calibrate Your Stomagraph", kKindWarning);
            return;
        default:
            // The other types have no notice.
            return;
    }
}

}  // namespace quor::app
