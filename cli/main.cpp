// quorbsl: the command-line front end of the QuorBSL firmware updater.

#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    return quor::cli::RunCommandLine(argc, argv, quor::cli::Streams{});
}
