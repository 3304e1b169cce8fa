#include "web/WebSystem.h"

#include <limits.h>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <sstream>

#include "web/ComputerInformation.h"

extern char** environ;

namespace quor::web {

namespace {

void SleepMs(std::uint32_t ms) {
    timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

std::string ReadText(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

XdgOpenLauncher::XdgOpenLauncher(std::string program, std::uint32_t waitMs)
    : program_(std::move(program)), waitMs_(waitMs) {}

XdgOpenLauncher::~XdgOpenLauncher() {
    ReapFinished();
}

void XdgOpenLauncher::ReapFinished() {
    std::vector<int> still;
    for (int pid : running_) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == 0) still.push_back(pid);
    }
    running_ = std::move(still);
}

bool XdgOpenLauncher::OpenLink(const std::string& link) {
    ReapFinished();
    std::string program = program_;
    std::string argument = link;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program_.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    for (std::uint32_t waited = 0;; waited += kXdgOpenPollMs) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0 && errno != EINTR) return false;
        if (waited >= waitMs_) {
            running_.push_back(pid);
            return true;
        }
        SleepMs(kXdgOpenPollMs);
    }
}

std::string ProgramPath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

std::string CurrentComputerInformation() {
    std::string osRelease = ReadText("/etc/os-release");
    if (osRelease.empty()) osRelease = ReadText("/usr/lib/os-release");
    utsname names{};
    const std::string kernel = ::uname(&names) == 0 ? names.release : "";
    return LinuxComputerInformation(osRelease, kernel);
}

FeedbackEnvironment CurrentFeedbackEnvironment() {
    FeedbackEnvironment env;
    env.programPath = ProgramPath();
    env.computerInformation = CurrentComputerInformation();
    return env;
}

}  // namespace quor::web
