#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/FileOps.h"

namespace quor::platform {

namespace {

int Failed() { return errno ? -errno : -EIO; }

class PosixFileOps final : public FileOps {
public:
    int CreateTemp(const std::string& target, std::string* tempPath) override {
        std::string name = target + ".XXXXXX";
        int fd = mkstemp(name.data());
        if (fd < 0) return Failed();
        // mkstemp makes the file private to the user; the settings of a
        // device are no secret, and the file it replaces was made 0666 less
        // the umask, so it keeps those permissions.
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, static_cast<mode_t>(0666) & ~mask);
        *tempPath = name;
        return fd;
    }

    long Write(int handle, const char* data, std::size_t size) override {
        for (;;) {
            ssize_t n = ::write(handle, data, size);
            if (n >= 0) return static_cast<long>(n);
            if (errno != EINTR) return Failed();
        }
    }

    int Sync(int handle) override { return fsync(handle) == 0 ? 0 : Failed(); }

    int Close(int handle) override { return ::close(handle) == 0 ? 0 : Failed(); }

    int Rename(const std::string& from, const std::string& to) override {
        return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : Failed();
    }

    int Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : Failed(); }

    int SyncFolderOf(const std::string& path) override {
        std::string::size_type slash = path.rfind('/');
        std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) return Failed();
        int rc = fsync(fd) == 0 ? 0 : Failed();
        ::close(fd);
        return rc;
    }
};

}  // namespace

FileOps& SystemFileOps() {
    static PosixFileOps ops;
    return ops;
}

}  // namespace quor::platform
