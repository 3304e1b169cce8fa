#pragma once
// Several devices updated side by side: one child `quorbsl update --json`
// per port or simulated device, their events shown with the device's name
// in front, and one summary line per device at the end. The exit status is
// that of the first device (in command-line order) that did not finish.

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace quor::cli {

struct ChildTarget {
    std::string label;              // what the summary line starts with
    std::vector<std::string> args;  // the child's arguments after the program
};

// The child command lines for options (pure, so it is tested alone).
std::vector<ChildTarget> SideBySideTargets(const UpdateOptions& options);

// The status of the side-by-side run from the children's statuses.
ExitStatus CombinedExitStatus(const std::vector<ExitStatus>& children);

ExitStatus RunSideBySide(const UpdateOptions& options, const Streams& io);

}  // namespace quor::cli
