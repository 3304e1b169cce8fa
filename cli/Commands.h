#pragma once
// The subcommands of `quorbsl`. Each returns its exit status; the
// streams are borrowed for the call.

#include <cstdio>
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

// A kernel port name or path as the port list names it: "/dev/ttyUSB0"
// is "ttyUSB0" when the list has that name; anything else stays.
std::string ListedPortName(const std::string& port, const std::vector<std::string>& listed);

// A file-name-safe form of a port name ("/dev/pts/3" is "dev_pts_3").
std::string PortFolderName(const std::string& port);

}  // namespace quor::cli
