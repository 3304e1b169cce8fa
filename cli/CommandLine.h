#pragma once
// The command line of `quorbsl`, on CLI11: subcommands, options and their
// checks. Parsing is kept apart from running so the argument errors are
// tested without starting anything.

#include <string>
#include <variant>

#include "cli/Commands.h"

namespace quor::cli {

struct VersionRequest {};

using Command = std::variant<std::monostate, UpdateOptions, PortsOptions, ImageOptions, SimOptions,
                             VersionRequest, CheckVersionOptions, FeedbackOptions>;

struct ParsedCommandLine {
    Command command;
    // Set when parsing ends the program: --help (kFinished, with the help
    // text in output) or an argument error (kUsage, with the error).
    bool done = false;
    ExitStatus status = ExitStatus::kFinished;
    std::string output;
};

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv);

// The text of `quorbsl --version`.
std::string VersionText();

// Parses and runs; the program's exit status.
int RunCommandLine(int argc, const char* const* argv, const Streams& io);

}  // namespace quor::cli
