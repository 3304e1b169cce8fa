#include "cli/ExitStatus.h"

#include <charconv>
#include <cstring>

namespace quor::cli {

namespace {

struct CaptionRow {
    const char* caption;
    ExitStatus beforeLoader;
    ExitStatus afterLoader;
};

// The update sequences' captions. A failed reconnection after the
// programming leaves a device mid-update, so it counts with the loader.
constexpr CaptionRow kCaptions[] = {
    {"Connection Error", ExitStatus::kNoConnection, ExitStatus::kLoaderFailed},
    {"Wrong Device", ExitStatus::kWrongDevice, ExitStatus::kWrongDevice},
    {"Firmware Too Old", ExitStatus::kWrongDevice, ExitStatus::kWrongDevice},
    {"Wrong Firmware Version", ExitStatus::kWrongDevice, ExitStatus::kWrongDevice},
    {"File Error", ExitStatus::kWrongDevice, ExitStatus::kWrongDevice},
    {"Firmware Loader Error", ExitStatus::kLoaderFailed, ExitStatus::kLoaderFailed},
    {"INFO Memory Erase Error", ExitStatus::kLoaderFailed, ExitStatus::kLoaderFailed},
    {"Firmware Erase Error", ExitStatus::kLoaderFailed, ExitStatus::kLoaderFailed},
    {"Firmware Upload Error", ExitStatus::kLoaderFailed, ExitStatus::kLoaderFailed},
    {"Firmware Error", ExitStatus::kLoaderFailed, ExitStatus::kLoaderFailed},
    // Before the loader it is the capture that failed; after, the restore.
    {"Settings Error", ExitStatus::kFailed, ExitStatus::kSettingsNotRestored},
};

// The quit guard tells the user the update goes on; it reports nothing
// about the update itself.
constexpr const char* kQuitGuardCaption = "Don't Quit Now!";

}  // namespace

const std::vector<ExitStatusRow>& ExitStatusTable() {
    static const std::vector<ExitStatusRow> table = {
        {ExitStatus::kFinished, "finished", "the update finished and every setting is back"},
        {ExitStatus::kFailed, "failed",
         "the update failed otherwise (battery too low, login, data erase, start-up)"},
        {ExitStatus::kUsage, "usage", "the command line is wrong"},
        {ExitStatus::kNoConnection, "no-connection",
         "cannot connect: the port is missing or busy, or the device does not answer (the "
         "maker's host, for check-version and feedback)"},
        {ExitStatus::kWrongDevice, "wrong-device",
         "wrong device, firmware too old or out of range, or not a firmware file"},
        {ExitStatus::kLoaderFailed, "loader-failed",
         "the loader, erase, upload, restart or new-firmware check failed"},
        {ExitStatus::kCancelled, "cancelled", "a question was answered Cancel"},
        {ExitStatus::kSettingsNotRestored, "settings-not-restored",
         "the new firmware runs, but some settings were not restored"},
        {ExitStatus::kBadAnswer, "bad-answer",
         "check-version, feedback: the maker's host answered with an unreadable version file, "
         "or without confirming the feedback"},
    };
    return table;
}

const char* ExitStatusName(ExitStatus status) {
    for (const ExitStatusRow& row : ExitStatusTable()) {
        if (row.status == status) return row.name;
    }
    return "failed";
}

ResultCode ErrorNumberInText(const std::string& text) {
    constexpr const char* kWord = "Error";
    const std::size_t wordLength = std::strlen(kWord);
    ResultCode found = 0;
    for (std::size_t at = text.find(kWord); at != std::string::npos;
         at = text.find(kWord, at + wordLength)) {
        std::size_t i = at + wordLength;
        if (i < text.size() && text[i] == ':') ++i;
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size() || text[i] != '-') continue;
        ResultCode n = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), n);
        if (ec == std::errc() && end != text.data() + i + 1) found = n;
    }
    return found;
}

ExitStatus ExitStatusForCaption(const ShownMessage& message) {
    // An image that does not fit is refused before anything is erased,
    // whatever step reports it: the firmware is wrong for the device.
    if (message.errorNumber == rc::kImageDoesNotFit) return ExitStatus::kWrongDevice;
    for (const CaptionRow& row : kCaptions) {
        if (message.caption == row.caption)
            return message.afterLoaderStart ? row.afterLoader : row.beforeLoader;
    }
    return ExitStatus::kFailed;
}

ExitStatus ExitStatusForResult(ResultCode result) {
    switch (result) {
        case rc::kCancelled:
            return ExitStatus::kCancelled;
        case rc::kPortNotAvailable:
        case rc::kPortInUse:
        case rc::kPortPermissionDenied:
        case rc::kNothingListening:
        case rc::kNoAnswer:
        case rc::kNoAnswerLastAttempt:
            return ExitStatus::kNoConnection;
        case rc::kNotSupported:
        case rc::kWrongDeviceType:
        case rc::kImageDoesNotFit:
        case rc::kNotTiText:
            return ExitStatus::kWrongDevice;
        case rc::kLoaderSilent:
        case rc::kNoWorkingLoader:
        case rc::kLoaderVersionUnreadable:
            return ExitStatus::kLoaderFailed;
        default:
            break;
    }
    return result >= 0 ? ExitStatus::kFinished : ExitStatus::kFailed;
}

ExitStatus ExitStatusFor(const UpdateOutcome& outcome) {
    const bool failedRun = outcome.ran && outcome.result < 0;
    if (outcome.finished && !failedRun) {
        for (const ShownMessage& m : outcome.messages) {
            if (ExitStatusForCaption(m) == ExitStatus::kSettingsNotRestored)
                return ExitStatus::kSettingsNotRestored;
        }
        return ExitStatus::kFinished;
    }
    if (outcome.cancelled) return ExitStatus::kCancelled;
    // The message that ended the update is the last one shown; the
    // failures the update goes on after are reported before it.
    for (auto m = outcome.messages.rbegin(); m != outcome.messages.rend(); ++m) {
        if (m->caption == kQuitGuardCaption) continue;
        const ExitStatus s = ExitStatusForCaption(*m);
        // A restore failure does not end an update: whatever ended it
        // afterwards was not reported, so it failed otherwise.
        return s == ExitStatus::kSettingsNotRestored ? ExitStatus::kFailed : s;
    }
    if (failedRun) return ExitStatusForResult(outcome.result);
    return ExitStatus::kFailed;
}

}  // namespace quor::cli
