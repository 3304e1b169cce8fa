#pragma once
// Runs the built quorbsl as a user would: a child process with its own
// settings, data and working folders, stdin from a pipe (so no terminal), and its
// exit status, standard output and standard error collected.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace quor::cli::testing {

// The updates tested run the instrument edition's Dewmark Tru; the
// simulated devices of the digital-sensor edition are not served here.
#define QUOR_SKIP_IN_SENSOR_EDITION()                                               \
    do {                                                                            \
        if (QUOR_EDITION_DIGITAL_SENSOR) GTEST_SKIP() << "instrument edition only"; \
    } while (0)

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct ProgramRun {
    int exit = -1;
    std::string out;
    std::string err;

    std::vector<std::string> OutLines() const { return Lines(out); }
    std::vector<std::string> ErrLines() const { return Lines(err); }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        return lines;
    }
    // Every standard output line as JSON; a line that is not JSON fails.
    std::vector<nlohmann::json> Json() const {
        std::vector<nlohmann::json> events;
        for (const std::string& line : OutLines()) events.push_back(nlohmann::json::parse(line));
        return events;
    }
};

// `quorbsl sim TYPE` in the background: the pty it serves, and how it ended.
class SimProcess {
  public:
    explicit SimProcess(const std::string& type) {
        int outPipe[2];
        if (::pipe(outPipe) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(outPipe[1], 1);
            const int devNull = ::open("/dev/null", O_WRONLY);
            if (devNull >= 0) ::dup2(devNull, 2);
            ::close(outPipe[0]);
            ::close(outPipe[1]);
            ::execl(QUORBSL_BINARY, QUORBSL_BINARY, "sim", type.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(outPipe[1]);
        out_ = outPipe[0];
        // The first line is the pty's path.
        char c = 0;
        while (::read(out_, &c, 1) == 1 && c != '\n') path_.push_back(c);
    }
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& Path() const { return path_; }
    // Ctrl+C; the simulator's exit status.
    int Stop() {
        if (pid_ <= 0) return exit_;
        ::kill(pid_, SIGINT);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        ::close(out_);
        return exit_;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int exit_ = -1;
    std::string path_;
};

// A TI-Text file made from an image dump (quorbsl image --dump): every
// word's low byte first, 16 bytes a line, "q" at the end.
inline std::string TiTextFromDump(const std::string& dump) {
    std::string out;
    std::istringstream lines(dump);
    std::string line;
    int onLine = 0;
    while (std::getline(lines, line)) {
        if (line.empty()) continue;
        if (line[0] == '@') {
            if (onLine) out += "\n";
            out += line + "\n";
            onLine = 0;
            continue;
        }
        for (std::size_t i = 0; i + 4 <= line.size(); i += 4) {
            for (const std::string& byte : {line.substr(i + 2, 2), line.substr(i, 2)}) {
                out += (onLine ? " " : "") + byte;
                if (++onLine == 16) {
                    out += "\n";
                    onLine = 0;
                }
            }
        }
    }
    if (onLine) out += "\n";
    return out + "q\n";
}

class QuorbslRunner {
  public:
    QuorbslRunner()
        : config_(home_.Path().string() + "/config"), data_(home_.Path().string() + "/data") {}

    // Sees the child's standard output so far after every read, with its pid.
    using Watcher = std::function<void(const std::string& out, pid_t pid)>;

    // args after the program name; input is what stdin holds.
    ProgramRun operator()(const std::vector<std::string>& args, const std::string& input = "",
                          const Watcher& watch = {}) const {
        int inPipe[2], outPipe[2], errPipe[2];
        if (::pipe(inPipe) || ::pipe(outPipe) || ::pipe(errPipe)) return {};
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(inPipe[0], 0);
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
                ::close(fd);
            ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
            ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
            ::setenv("TMPDIR", home_.Path().c_str(), 1);
            // The private folder is the working folder too: whatever the
            // program leaves in its working folder is seen there.
            if (::chdir(home_.Path().c_str()) != 0) ::_exit(126);
            std::vector<char*> argv{const_cast<char*>(QUORBSL_BINARY)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(QUORBSL_BINARY, argv.data());
            ::_exit(127);
        }
        ::close(inPipe[0]);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        if (!input.empty()) {
            ssize_t ignored = ::write(inPipe[1], input.data(), input.size());
            (void)ignored;
        }
        ::close(inPipe[1]);
        ProgramRun run;
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&run.out, &run.err};
        int open = 2;
        while (open > 0) {
            if (::poll(fds, 2, -1) < 0) break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                    if (watch && i == 0) watch(run.out, pid);
                }
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return run;
    }

    std::string ConfigHome() const { return config_; }
    std::string DataHome() const { return data_; }
    std::string File(const std::string& name) const { return home_.File(name); }

  private:
    quor::testing::TempDir home_;
    std::string config_;
    std::string data_;
};

}  // namespace quor::cli::testing
