#include "web/ComputerInformation.h"

#include <charconv>
#include <sstream>

namespace quor::web {

namespace {

std::string Suffix(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    return " (Version " + std::to_string(major) + "." + std::to_string(minor) + " build " +
           std::to_string(build) + ")";
}

std::string Win9xName(const WindowsVersion& v) {
    if (v.major != 4) return "Unknown Win32 ";
    switch (v.minor) {
        case 0:
            return "Windows 95 ";
        case 10:
            return "Windows 98 ";
        case 90:
            return "Windows ME ";
        default:
            return "";
    }
}

std::string WinNtName(const WindowsVersion& v) {
    if (v.major <= 4) {
        return "Windows NT " + std::to_string(v.major) + "." + std::to_string(v.minor) + " ";
    }
    if (v.major == 5) {
        switch (v.minor) {
            case 0:
                return "Windows 2000 ";
            case 1:
                return "Windows XP ";
            case 2:
                return "Windows Server 2003 ";
            default:
                return "";
        }
    }
    if (v.major == 6) return "Windows Vista ";
    return "Unknown WinNT ";
}

// An os-release value: double or single quotes removed, backslash escapes
// inside double quotes resolved.
std::string Unquote(const std::string& raw) {
    if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') {
        return raw.substr(1, raw.size() - 2);
    }
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return raw;
    std::string value;
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 2 < raw.size()) ++i;
        value += raw[i];
    }
    return value;
}

}  // namespace

std::string WindowsComputerInformation(const WindowsVersion& v) {
    std::string name;
    std::uint32_t build = v.build;
    switch (v.platform) {
        case WindowsPlatform::kWin9x:
            name = Win9xName(v);
            build &= 0xFFFFu;
            break;
        case WindowsPlatform::kWinNt:
            name = WinNtName(v);
            break;
        case WindowsPlatform::kOther:
            name = "Unknown Windows Platform ";
            break;
    }
    return name + v.servicePack + Suffix(v.major, v.minor, build);
}

std::string OsReleaseName(const std::string& osReleaseText) {
    std::string pretty;
    std::string name;
    std::istringstream lines(osReleaseText);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        if (key == "PRETTY_NAME") pretty = Unquote(line.substr(eq + 1));
        if (key == "NAME") name = Unquote(line.substr(eq + 1));
    }
    if (!pretty.empty()) return pretty;
    if (!name.empty()) return name;
    return "Linux";
}

std::string LinuxComputerInformation(const std::string& osReleaseText,
                                     const std::string& kernelRelease) {
    // "6.1.0-18-amd64": up to three numbers split by dots; a missing or
    // unreadable one is 0.
    std::uint32_t numbers[3] = {0, 0, 0};
    const char* p = kernelRelease.data();
    const char* end = kernelRelease.data() + kernelRelease.size();
    for (std::uint32_t& n : numbers) {
        std::uint32_t value = 0;
        const auto [next, error] = std::from_chars(p, end, value);
        if (error != std::errc()) break;
        n = value;
        p = next;
        if (p == end || *p != '.') break;
        ++p;
    }
    std::string text = OsReleaseName(osReleaseText) + " ";
    if (!kernelRelease.empty()) text += kernelRelease;
    return text + Suffix(numbers[0], numbers[1], numbers[2]);
}

}  // namespace quor::web
