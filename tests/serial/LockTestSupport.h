#pragma once
// Other programs for the lock-file tests: a child process that writes a
// UUCP lock file with its own pid and stays alive until it is killed, and
// the pid of a process that has died.

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace quor::testing {

// The pid of a child that has exited and been reaped.
inline pid_t DeadPid() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

// A child that holds lockPath as minicom does. Only async-signal-safe
// calls run in the child: the parent may have threads (the pty bridge).
class LockHoldingChild {
public:
    explicit LockHoldingChild(const std::string& lockPath) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            char text[11];
            long pid = ::getpid();
            for (int i = 9; i >= 0; --i) {
                text[i] = (pid > 0 || i == 9) ? static_cast<char>('0' + pid % 10) : ' ';
                pid /= 10;
            }
            text[10] = '\n';
            int fd = ::open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            char ok = fd >= 0 && ::write(fd, text, sizeof text) == static_cast<ssize_t>(sizeof text) ? '1' : '0';
            if (fd >= 0) ::close(fd);
            if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
            for (;;) ::pause();
        }
        ::close(ready[1]);
        char ok = '0';
        if (pid_ > 0 && ::read(ready[0], &ok, 1) == 1) holding_ = ok == '1';
        ::close(ready[0]);
    }
    ~LockHoldingChild() { Kill(); }
    LockHoldingChild(const LockHoldingChild&) = delete;
    LockHoldingChild& operator=(const LockHoldingChild&) = delete;

    bool Holding() const { return holding_; }
    pid_t Pid() const { return pid_; }
    // Kills the child and reaps it: its lock file is left behind, stale.
    void Kill() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    bool holding_ = false;
};

}  // namespace quor::testing
