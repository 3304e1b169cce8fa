#pragma once
// The exit status of `quorbsl`: what kind of failure a script is told
// about. A pure function of what the update showed, so the table is tested
// without a device.

#include <string>
#include <vector>

#include "common/ResultCode.h"

namespace quor::cli {

enum class ExitStatus : int {
    kFinished = 0,             // the update finished, every setting back
    kFailed = 1,               // any other failure (battery, login, data erase, start-up)
    kUsage = 2,                // bad command line, unreadable option value
    kNoConnection = 3,         // cannot connect: port missing, busy, or no answer
    kWrongDevice = 4,          // wrong device, firmware too old or out of range, bad firmware file
    kLoaderFailed = 5,         // loader, erase, upload, restart or new-firmware check failed
    kCancelled = 6,            // a question was answered Cancel (always so without a terminal)
    kSettingsNotRestored = 7,  // finished, but some settings were not written back
    kBadAnswer = 8,            // the maker's host answered what cannot be read or used
};

struct ExitStatusRow {
    ExitStatus status;
    const char* name;  // the "result" word of the JSON output
    const char* meaning;
};

// Every status in number order, for the help text and README.
const std::vector<ExitStatusRow>& ExitStatusTable();
const char* ExitStatusName(ExitStatus status);

// One message the update showed, and whether it came once the loader had
// been started (from then on the old firmware is gone).
struct ShownMessage {
    std::string caption;
    bool afterLoaderStart = false;
    ResultCode errorNumber = 0;  // the error number the text names; 0 for none
};

// The last error number a message text names ("[Error -122]", "[Error: -5]",
// "Error -21"); 0 when it names none or the number is out of range.
ResultCode ErrorNumberInText(const std::string& text);

// What an update showed the user, as the front end saw it.
struct UpdateOutcome {
    bool finished = false;   // the success status was shown
    bool cancelled = false;  // a question was answered Cancel
    std::vector<ShownMessage> messages;
    // What the update sequence returned, when it ran: below 0 is never
    // finished, and it names the failure no message named.
    bool ran = false;
    ResultCode result = 0;
};

// The failure kind of a sequence's result code alone.
ExitStatus ExitStatusForResult(ResultCode result);

// The failure kind a message's caption stands for (kFailed when the
// caption is none the update sequences use for a kind of their own).
ExitStatus ExitStatusForCaption(const ShownMessage& message);
ExitStatus ExitStatusFor(const UpdateOutcome& outcome);

}  // namespace quor::cli
