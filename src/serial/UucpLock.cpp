#include "serial/UucpLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>

namespace quor {

namespace {

constexpr const char* kLockPrefix = "LCK..";
// A lock file is eleven bytes; anything much longer is no lock file.
constexpr std::size_t kMaxLockFileBytes = 64;
constexpr mode_t kLockFileMode = 0644;
// Taking a lock that another program takes at the same moment may need a
// second look; more than this is a folder that keeps changing under us.
constexpr int kLockAttempts = 3;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads at most kMaxLockFileBytes; false with errno set when it cannot.
bool ReadLockFile(const std::string& path, std::string& text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char buf[kMaxLockFileBytes];
    ssize_t n = ::read(fd, buf, sizeof buf);
    int err = errno;
    ::close(fd);
    if (n < 0) {
        errno = err;
        return false;
    }
    text.assign(buf, static_cast<std::size_t>(n));
    return true;
}

// No lock file, and no lock folder either.
bool NoLockFile(int err) { return err == ENOENT || err == ENOTDIR; }

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

std::string LockPath(const std::string& dir, std::string_view devicePath) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + LockFileName(devicePath);
}

}  // namespace

std::string LockFileName(std::string_view devicePath) {
    std::size_t slash = devicePath.rfind('/');
    std::string_view base = slash == std::string_view::npos ? devicePath : devicePath.substr(slash + 1);
    return std::string(kLockPrefix) + std::string(base);
}

pid_t ParseLockPid(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return 0;
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return 0;
    if (value <= 0 || value > INT_MAX) return 0;
    return static_cast<pid_t>(value);
}

std::string LockFileText(pid_t pid) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%10d\n", static_cast<int>(pid));
    return buf;
}

LockHolder CheckLockFile(const std::string& path) {
    std::string text;
    if (!ReadLockFile(path, text)) {
        // A lock we may not read still says someone has the port.
        return NoLockFile(errno) ? LockHolder::kNone : LockHolder::kLiving;
    }
    pid_t pid = ParseLockPid(text);
    if (pid == 0) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return NoLockFile(errno) ? LockHolder::kNone : LockHolder::kLiving;
        std::time_t age = std::time(nullptr) - st.st_mtime;
        return age < kUnreadableLockGraceSeconds ? LockHolder::kLiving : LockHolder::kStale;
    }
    return ProcessAlive(pid) ? LockHolder::kLiving : LockHolder::kStale;
}

PortError UucpLock::Check(const std::string& dir, std::string_view devicePath) {
    return CheckLockFile(LockPath(dir, devicePath)) == LockHolder::kLiving ? kErrInUse : kPortOk;
}

PortError UucpLock::Acquire(const std::string& dir, std::string_view devicePath, std::unique_ptr<UucpLock>& out) {
    out.reset();
    const std::string path = LockPath(dir, devicePath);
    const std::string text = LockFileText(::getpid());
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        switch (CheckLockFile(path)) {
            case LockHolder::kLiving: return kErrInUse;
            case LockHolder::kStale:
                // Its program died without cleaning up. When we may not
                // remove it, its next reader will; the port is free.
                if (::unlink(path.c_str()) != 0 && errno != ENOENT) return kPortOk;
                break;
            case LockHolder::kNone: break;
        }
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
        if (fd < 0) {
            if (errno == EEXIST) continue;  // another program was quicker: look again
            // No lock folder, or not ours to write: go on without a file.
            return kPortOk;
        }
        ssize_t n = ::write(fd, text.data(), text.size());
        ::close(fd);
        if (n != static_cast<ssize_t>(text.size())) {
            ::unlink(path.c_str());
            return kPortOk;
        }
        out.reset(new UucpLock(path));
        return kPortOk;
    }
    return kErrInUse;
}

UucpLock::~UucpLock() {
    // Remove only our own lock: a file that names another process is theirs.
    std::string text;
    if (ReadLockFile(path_, text) && ParseLockPid(text) == ::getpid()) ::unlink(path_.c_str());
}

}  // namespace quor
