#include "cli/SideBySide.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

namespace quor::cli {

namespace {

constexpr std::size_t kReadChunkBytes = 4096;

// Ctrl+C reaches every child, whose quit guard answers it; the parent
// stays to read them (a parent gone would end them mid-update with
// SIGPIPE). A handler, not SIG_IGN, so the children start with the default.
extern "C" void OnParentInterrupt(int) {}

struct Child {
    ChildTarget target;
    pid_t pid = -1;
    int fd = -1;
    std::string partial;
    ExitStatus status = ExitStatus::kFailed;
    std::string result = "failed";
    std::string lastStatus;
};

std::string ProgramPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "quorbsl";
    buffer[n] = '\0';
    return buffer;
}

bool Spawn(const std::string& program, Child& child) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (pid == 0) {
        // No terminal for the child: it answers by --yes or Cancel.
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : child.target.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(static_cast<int>(ExitStatus::kFailed));
    }
    ::close(pipeFds[1]);
    child.pid = pid;
    child.fd = pipeFds[0];
    return true;
}

// One JSON line of a child, shown with its device's name.
void ShowLine(Child& child, const std::string& line, bool json, const Streams& io) {
    nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object()) return;
    const std::string kind = event.value("event", "");
    const std::string& label = child.target.label;
    if (kind == "result") {
        child.result = event.value("result", "failed");
        child.lastStatus = event.value("status", "");
        const int exitValue = event.value("exit", static_cast<int>(ExitStatus::kFailed));
        child.status = static_cast<ExitStatus>(exitValue);
    }
    if (json) {
        event["port"] = label;
        std::fprintf(io.out, "%s\n",
                     event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        std::fflush(io.out);
        return;
    }
    if (kind == "status") {
        std::fprintf(io.out, "%s: [%3d%%] %s\n", label.c_str(), event.value("progress", 0),
                     event.value("text", "").c_str());
    } else if (kind == "message" || kind == "question") {
        std::fprintf(io.err, "%s: %s\n", label.c_str(), event.value("caption", "").c_str());
        std::string text = event.value("text", "");
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            const std::string part = text.substr(start, end - start);
            std::fprintf(io.err, "%s:%s%s\n", label.c_str(), part.empty() ? "" : "   ",
                         part.c_str());
            start = end + 1;
        }
    } else if (kind == "answer") {
        std::fprintf(io.err, "%s: answered %s (%s)\n", label.c_str(),
                     event.value("answer", "").c_str(), event.value("by", "").c_str());
    } else if (kind == "log") {
        std::fprintf(io.err, "%s: log: %s\n", label.c_str(), event.value("line", "").c_str());
    } else if (kind == "note") {
        std::fprintf(io.out, "%s: %s\n", label.c_str(), event.value("text", "").c_str());
    }
    std::fflush(io.out);
    std::fflush(io.err);
}

// Reads what the child wrote; false once it closed its output.
bool Drain(Child& child, bool json, const Streams& io) {
    char buffer[kReadChunkBytes];
    const ssize_t n = ::read(child.fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) return false;
    child.partial.append(buffer, static_cast<std::size_t>(n));
    std::size_t end = 0;
    while ((end = child.partial.find('\n')) != std::string::npos) {
        ShowLine(child, child.partial.substr(0, end), json, io);
        child.partial.erase(0, end + 1);
    }
    return true;
}

}  // namespace

std::vector<ChildTarget> SideBySideTargets(const UpdateOptions& options) {
    std::vector<std::string> common = {"update", "--json"};
    if (options.yes) common.push_back("--yes");
    if (options.keepData) common.push_back("--keep-data");
    if (options.verbose) common.push_back("-v");
    if (!options.firmware.empty()) {
        common.push_back("--firmware");
        common.push_back(options.firmware);
    }
    if (!options.simFault.empty()) {
        common.push_back("--sim-fault");
        common.push_back(options.simFault);
    }
    std::vector<ChildTarget> targets;
    for (const std::string& port : options.ports) {
        ChildTarget t{port, common};
        t.args.insert(t.args.end(), {"--port", port, "--port-folder"});
        targets.push_back(std::move(t));
    }
    int n = 0;
    for (const std::string& type : options.simulate) {
        ChildTarget t{"sim" + std::to_string(++n) + ":" + type, common};
        t.args.insert(t.args.end(), {"--simulate", type});
        targets.push_back(std::move(t));
    }
    return targets;
}

ExitStatus CombinedExitStatus(const std::vector<ExitStatus>& children) {
    for (ExitStatus s : children) {
        if (s != ExitStatus::kFinished) return s;
    }
    return children.empty() ? ExitStatus::kUsage : ExitStatus::kFinished;
}

ExitStatus RunSideBySide(const UpdateOptions& options, const Streams& io) {
    if (!options.newSerial.empty()) {
        std::fprintf(io.err, "Usage Error\n  --new-serial names one device; give one port.\n");
        return ExitStatus::kUsage;
    }
    const std::string program = ProgramPath();
    struct sigaction interrupt {
    }, previous{};
    interrupt.sa_handler = OnParentInterrupt;
    sigemptyset(&interrupt.sa_mask);
    ::sigaction(SIGINT, &interrupt, &previous);
    std::vector<Child> children;
    for (ChildTarget& t : SideBySideTargets(options)) {
        Child c;
        c.target = std::move(t);
        children.push_back(std::move(c));
    }
    for (Child& c : children) {
        if (!Spawn(program, c))
            std::fprintf(io.err, "%s: could not start: %s\n", c.target.label.c_str(),
                         std::strerror(errno));
    }

    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        for (Child& c : children) {
            if (c.fd >= 0) fds.push_back({c.fd, POLLIN, 0});
        }
        if (fds.empty()) break;
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
        for (Child& c : children) {
            if (c.fd < 0) continue;
            for (const pollfd& p : fds) {
                if (p.fd != c.fd || p.revents == 0) continue;
                if (!Drain(c, options.json, io)) {
                    ::close(c.fd);
                    c.fd = -1;
                }
            }
        }
    }

    std::vector<ExitStatus> statuses;
    for (Child& c : children) {
        int wstatus = 0;
        pid_t waited = -1;
        do {
            waited = c.pid > 0 ? ::waitpid(c.pid, &wstatus, 0) : -1;
        } while (waited < 0 && errno == EINTR);
        if (c.pid > 0 && waited == c.pid) {
            // The child's own exit status wins over what it printed: a child
            // that died printed no result.
            const int code = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
            const bool known =
                code >= 0 && code <= static_cast<int>(ExitStatus::kSettingsNotRestored);
            c.status = known ? static_cast<ExitStatus>(code) : ExitStatus::kFailed;
        }
        c.result = ExitStatusName(c.status);
        statuses.push_back(c.status);
    }
    ::sigaction(SIGINT, &previous, nullptr);
    const ExitStatus combined = CombinedExitStatus(statuses);
    for (const Child& c : children) {
        if (options.json) {
            nlohmann::json j = {{"event", "summary"},
                                {"port", c.target.label},
                                {"result", c.result},
                                {"exit", static_cast<int>(c.status)},
                                {"status", c.lastStatus}};
            std::fprintf(io.out, "%s\n",
                         j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        } else {
            std::fprintf(io.out, "%s: %s (exit status %d) %s\n", c.target.label.c_str(),
                         c.result.c_str(), static_cast<int>(c.status), c.lastStatus.c_str());
        }
    }
    std::fflush(io.out);
    return combined;
}

}  // namespace quor::cli
