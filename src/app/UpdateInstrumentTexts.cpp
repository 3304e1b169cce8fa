#include "app/UpdateInstrumentTexts.h"

#include <cstdio>

namespace quor::app {

namespace {

// A version number as the messages show it: 202 is "2.02".
std::string VersionWithTwoDecimals(std::uint32_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(v) / 100.0);
    return text;
}

std::string UnableToConnect(const MessageNames& n, const std::string& what) {
    return "The " + n.caption + " is unable to connect to your " + what + "\n on Comm Port \"" +
           n.port + "\".\n\nPlease check your serial cable and Comm Port choice.";
}

}  // namespace

std::string ConnectErrorText(const MessageNames& n, const DeviceTypeInfo& record, ResultCode r) {
    switch (r) {
        case rc::kPortInUse:
            return "Comm Port \"" + n.port + "\" is already in use by another application.\n" +
                   "Please choose a new Comm Port to use or quit the application using this port.";
        case rc::kPortNotAvailable:
            return "Comm Port \"" + n.port +
                   "\" isn't available.\nPlease choose a new Comm Port to use.";
        case rc::kNothingListening:
        case rc::kNoAnswer:
            return UnableToConnect(n, n.product);
        case rc::kNotSupported:
            if (record.type != DeviceType::kUnknown && record.firmwareVersion != 0) {
                return "The " + n.caption + " does not support your " + record.name.str() + "\n" +
                       "running version " +
                       std::to_string(static_cast<std::uint32_t>(record.firmwareVersion)) + ".";
            }
            return UnableToConnect(n, "unknown device") + "\n\n" +
                   "Please verify the device connected is a \"" + n.product +
                   "\" and has a version of\nfirmware that supports updates.";
        case rc::kLoginFailed:
            return "The " + n.caption + " is unable to log into to your " + n.product +
                   "\n on Comm Port \"" + n.port +
                   "\".\n\nPlease try again or contact your Karvell representative.";
        default:
            return UnableToConnect(n, n.product) + "\nError " + std::to_string(r);
    }
}

std::string VersionRangeText(const MessageNames& n, std::uint32_t v, std::uint32_t minVersion,
                             std::uint32_t maxVersion, bool ask) {
    std::uint32_t limit = 0;
    const char* direction = nullptr;
    if (v > maxVersion) {
        limit = maxVersion;
        direction = " (or older).";
    } else if (v < minVersion) {
        limit = minVersion;
        direction = " (or newer).";
    } else {
        return {};
    }
    std::string text = "The " + n.caption + " doesn't support this " + n.product +
                       "\nrunning version " + VersionWithTwoDecimals(v) +
                       ".\n\nThis updater only works with firmware version " +
                       VersionWithTwoDecimals(limit) + direction;
    if (ask)
        text += std::string("\n\nClick OK to force the update anyway.") +
                "\nClick CANCEL to quit the updater.";
    return text;
}

std::string LoaderStepErrorText(const MessageNames& n, ResultCode r) {
    return "The " + n.caption + " encountered an error working with your " + n.product +
           ".\n\nPlease try again.\n\n[Error " + std::to_string(r) + "]";
}

std::string ImageDoesNotFitText(const MessageNames& n) {
    return "The " + n.caption + " can not load this firmware into your " + n.product +
           ".\n\nThe firmware file does not fit this device; nothing was changed in it.\n\n" +
           "Please open a firmware file made for your " + n.product +
           " or contact Karvell for help.\n\n[Error " + std::to_string(rc::kImageDoesNotFit) + "]";
}

std::string DataEraseErrorText(const MessageNames& n, ResultCode r) {
    // The broken-chip text joins the product without a blank, as it always has.
    const std::string unable =
        "The " + n.caption + " was unable to erase the data in your " + n.product;
    if (r == rc::kDataMemoryBroken) {
        return unable + "because the data storage chip is reporting errors.\n\n" +
               "Please contact Karvell for help.";
    }
    return unable + ".\nPlease try again.\n[Error: " + std::to_string(r) + "]";
}

std::vector<Message> RestoreErrorMessages(const MessageNames& n, ResultCode r) {
    static constexpr const char* kCaption = "Settings Error";
    std::vector<Message> shown;
    if (r >= 0) return shown;
    if (r == rc::kSettingsFileMissing) {
        shown.push_back({"The " + n.caption + " couldn't find the settings file for your " +
                             n.product + ".\n\nPlease try again or contact Karvell for help.",
                         kCaption});
    }
    if (r == rc::kSettingsFileUnreadable || r == rc::kSettingsFileUnreadable2) {
        shown.push_back({"The " + n.caption + " failed to read the settings file for your " +
                             n.product + ".\n\nPlease try again or contact Karvell for help." +
                             "\n\nError: " + std::to_string(r),
                         kCaption});
    } else if (r == rc::kSomeSettingsFailed) {
        shown.push_back({"The " + n.caption + " failed to restore some of the settings for your " +
                             n.product +
                             ".\n\nPlease check the settings after this updater is finished.",
                         kCaption});
    } else {
        shown.push_back({"The " + n.caption + " failed to restore the settings for your " +
                             n.product + ".\n\nPlease try again.\n\n[Error " + std::to_string(r) +
                             "]",
                         kCaption});
    }
    return shown;
}

}  // namespace quor::app
