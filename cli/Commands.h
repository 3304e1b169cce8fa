#pragma once
// The subcommands of `quorbsl`. Each returns its exit status; the
// streams are borrowed for the call.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "serial/CommPortEnum.h"

namespace quor::cli {

struct Streams {
    std::FILE* in = stdin;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};

struct UpdateOptions {
    std::vector<std::string> ports;     // kernel names or paths
    std::vector<std::string> simulate;  // device codes of simulated devices
    std::string firmware;               // a TI-Text file; "" for the built-in image
    std::string newSerial;              // "" keeps the serial number
    bool keepData = false;
    bool yes = false;
    bool json = false;
    bool verbose = false;
    std::string simFault;  // a test option: the simulated device's fault
    // Side-by-side children keep their settings file in a folder of their
    // port's own, so two devices of one type never share one.
    bool portFolder = false;
};

// One update, or with several ports or simulated devices one child
// process each and a summary line per device.
ExitStatus RunUpdate(const UpdateOptions& options, const Streams& io);

struct PortsOptions {
    bool all = false;  // also probe ttyS0 .. ttyS15
    bool json = false;
    CommPortEnumPaths paths;  // hidden options point them at a fixture
};
ExitStatus RunPorts(const PortsOptions& options, const Streams& io);

struct ImageOptions {
    std::string file;  // "" for the built-in image
    std::string dump;  // "" prints; otherwise the image is written here
    bool json = false;
};
ExitStatus RunImage(const ImageOptions& options, const Streams& io);

struct SimOptions {
    std::string type = "TRU";
    std::string simFault;
};
// Serves the simulated device on a pseudo-terminal until SIGINT or SIGTERM.
ExitStatus RunSim(const SimOptions& options, const Streams& io);

struct CheckVersionOptions {
    bool yes = false;  // open the newer version's link without asking
};
// The newer-version check on demand; its messages go to standard error.
ExitStatus RunCheckVersion(const CheckVersionOptions& options, const Streams& io);
// The exit status of a check's outcome (VersionChecker::LastOutcome).
ExitStatus ExitStatusForWebOutcome(ResultCode outcome);

struct FeedbackOptions {
    // Unset: the value the last feedback stored, as the form shows it.
    std::optional<std::string> name;
    std::optional<std::string> company;
    std::optional<std::string> email;
    std::optional<std::string> phone;
    std::optional<std::string> to;  // the representative's address
    std::string message;
    int type = 0;        // the index of "General Feedback", "Feature Suggestion", ...
    int respondVia = 1;  // the index of "No response necessary", "Email", ...
    std::string file;    // "" sends none
};
// The feedback form's send checks and submission; messages go to
// standard error.
ExitStatus RunFeedback(const FeedbackOptions& options, const Streams& io);

// A kernel port name or path as the port list names it: "/dev/ttyUSB0"
// is "ttyUSB0" when the list has that name; anything else stays.
std::string ListedPortName(const std::string& port, const std::vector<std::string>& listed);

// A file-name-safe form of a port name ("/dev/pts/3" is "dev_pts_3").
std::string PortFolderName(const std::string& port);

}  // namespace quor::cli
