#pragma once
// The "Computer Information" line of a feedback: the system's name, its
// service-pack (or kernel) text and " (Version major.minor build N)".

#include <cstdint>
#include <string>

namespace quor::web {

enum class WindowsPlatform : std::uint8_t { kWin9x, kWinNt, kOther };

struct WindowsVersion {
    WindowsPlatform platform = WindowsPlatform::kOther;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;  // on the 9x family only its low 16 bits count
    std::string servicePack;  // "Service Pack 3", or ""
};

// The Windows table: "Windows XP Service Pack 3 (Version 5.1 build 2600)".
std::string WindowsComputerInformation(const WindowsVersion& v);

// The system's name from os-release text (PRETTY_NAME, else NAME, else
// "Linux"), values unquoted as the os-release rules say.
std::string OsReleaseName(const std::string& osReleaseText);

// The Linux line: name, the kernel release in the service pack's place,
// and its first three numbers as major, minor and build:
// "Debian GNU/Linux 12 (bookworm) 6.1.0-18-amd64 (Version 6.1 build 0)".
std::string LinuxComputerInformation(const std::string& osReleaseText,
                                     const std::string& kernelRelease);

}  // namespace quor::web
