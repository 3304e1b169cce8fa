#pragma once
// Where the program keeps its error file and the settings file: the user's
// data folder ($XDG_DATA_HOME, else ~/.local/share) + "Karvell/QuorBSL",
// created with its parents. When there is no such folder, or it cannot be
// made, the folder that holds the program is used instead, so the log is
// still written somewhere the user can find; nothing is reported.

#include <string>

namespace quor::platform {

inline constexpr const char* kAppSubfolder = "Karvell/QuorBSL";

// The rule itself, with the environment passed in (null or empty: unset).
// A relative XDG_DATA_HOME is ignored, as the XDG rules ask. Returns the
// folder without a trailing slash.
std::string AppFolderFor(const char* xdgDataHome, const char* home,
                         const std::string& programFolder);

// The rule with this process's XDG_DATA_HOME and HOME.
std::string AppFolder(const std::string& programFolder);

// The folder that holds the running program (from /proc/self/exe), without
// a trailing slash; "." when it cannot be read.
std::string ProgramFolder();

}  // namespace quor::platform
