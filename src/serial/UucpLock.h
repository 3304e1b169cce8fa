#pragma once
// The lock files that Linux serial programs agree on (minicom, cu, picocom
// and others): while a program uses /dev/ttyUSB0 it keeps the file
// LCK..ttyUSB0 in the lock folder (/var/lock), holding its process id as ten
// ASCII digits, right-aligned, and a newline. A lock of a process that is
// still alive means the port is in use; one of a dead process is stale and
// may be removed.
//
// Ownership: a UucpLock owns the lock file it created and removes it when
// destroyed (only while the file still names this process).

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "serial/PortDriver.h"

namespace quor {

inline constexpr const char* kDefaultLockDir = "/var/lock";
// A lock file that holds no readable process id may be one that its
// program is writing right now; only an older one counts as stale.
inline constexpr std::time_t kUnreadableLockGraceSeconds = 10;

// "LCK.." and the last part of the device's path: "LCK..ttyUSB0".
std::string LockFileName(std::string_view devicePath);

// The process id a lock file's text gives: its ASCII decimal number, blanks
// around it allowed; 0 when the text is anything else or out of range.
pid_t ParseLockPid(std::string_view text);

// "%10d\n", as the other programs write it.
std::string LockFileText(pid_t pid);

enum class LockHolder { kNone, kLiving, kStale };

// Who holds the lock file at path: nobody (no file), a living process (or
// one whose file is being written), or a dead one.
LockHolder CheckLockFile(const std::string& path);

class UucpLock {
public:
    // Takes the lock of the device at devicePath (its resolved path) in dir.
    // kErrInUse while a living process holds it; a stale lock is removed
    // first. When the folder is missing or not writable no lock is taken
    // (out stays null) and the open goes on: the other checks still hold.
    static PortError Acquire(const std::string& dir, std::string_view devicePath, std::unique_ptr<UucpLock>& out);
    // kErrInUse when a living process holds the device's lock, else kPortOk;
    // touches nothing.
    static PortError Check(const std::string& dir, std::string_view devicePath);

    ~UucpLock();
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    const std::string& Path() const { return path_; }

private:
    explicit UucpLock(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

}  // namespace quor
