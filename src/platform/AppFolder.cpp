#include "platform/AppFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quor::platform {

namespace fs = std::filesystem;

namespace {

// The user's data folder, or "" when the environment names none.
std::string DataHome(const char* xdgDataHome, const char* home) {
    if (xdgDataHome && xdgDataHome[0] == '/') return xdgDataHome;
    if (home && home[0] != '\0') return std::string(home) + "/.local/share";
    return {};
}

bool MakeFolderChain(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return false;
    return fs::is_directory(folder, ec) && !ec;
}

}  // namespace

std::string AppFolderFor(const char* xdgDataHome, const char* home,
                         const std::string& programFolder) {
    const std::string base = DataHome(xdgDataHome, home);
    if (base.empty()) return programFolder;
    const fs::path folder = fs::path(base) / kAppSubfolder;
    if (!MakeFolderChain(folder)) return programFolder;
    return folder.string();
}

std::string AppFolder(const std::string& programFolder) {
    return AppFolderFor(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"), programFolder);
}

std::string ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.has_parent_path()) return ".";
    return exe.parent_path().string();
}

}  // namespace quor::platform
