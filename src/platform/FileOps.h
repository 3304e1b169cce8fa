#pragma once
// The file calls that replace a file safely: a new file next to the old
// one, written, flushed to disk, then renamed over it, so that a crash, a
// full disk or a failed write leaves either the old file or the new one,
// never a cut one. Production uses the POSIX calls; tests install a double
// that fails any chosen call.

#include <cstddef>
#include <string>

namespace quor::platform {

// Every call returns 0 (or a count, or a handle) on success and the negated
// errno on failure.
class FileOps {
public:
    virtual ~FileOps() = default;
    // Creates a new, empty file for writing in target's folder, named target
    // plus a unique suffix (written to *tempPath). Returns a handle >= 0.
    virtual int CreateTemp(const std::string& target, std::string* tempPath) = 0;
    // Writes up to size bytes; returns how many were written (maybe fewer).
    virtual long Write(int handle, const char* data, std::size_t size) = 0;
    // Waits until the file's data is on the disk.
    virtual int Sync(int handle) = 0;
    virtual int Close(int handle) = 0;
    // Puts from in place of to in one step.
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    virtual int Remove(const std::string& path) = 0;
    // Makes a rename in path's folder last across a power loss.
    virtual int SyncFolderOf(const std::string& path) = 0;
};

// The POSIX calls; one instance for the process.
FileOps& SystemFileOps();

}  // namespace quor::platform
