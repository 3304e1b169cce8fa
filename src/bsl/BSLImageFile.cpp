// The firmware image's files: loading a TI-Text file and writing the dump.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "bsl/QuorBSLHost.h"
#include "bsl/TiText.h"

namespace quor {

namespace {

constexpr std::size_t kReadChunkBytes = 64 * 1024;

// The whole file in one owned buffer, read in chunks so that no size taken
// in advance (a directory's, say) can mislead the allocation.
struct FileBytes {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
};

// Returns 1, -60 when memory runs out, or -errno when reading fails.
ResultCode ReadWholeFile(std::FILE* file, FileBytes& out) {
    std::size_t capacity = kReadChunkBytes;
    std::unique_ptr<char[]> data(new (std::nothrow) char[capacity]);
    if (!data) return rc::kOutOfMemory;
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {
            std::size_t bigger = capacity * 2;
            std::unique_ptr<char[]> grown(new (std::nothrow) char[bigger]);
            if (!grown) return rc::kOutOfMemory;
            std::memcpy(grown.get(), data.get(), size);
            data = std::move(grown);
            capacity = bigger;
        }
        errno = 0;
        std::size_t got = std::fread(data.get() + size, 1, capacity - size, file);
        size += got;
        if (size < capacity) {
            // A short read is the end of the file or an error.
            if (std::ferror(file)) return errno ? -errno : -EIO;
            break;
        }
    }
    out.data = std::move(data);
    out.size = size;
    return rc::kOk;
}

}  // namespace

ResultCode QuorBSLHost::BSLLoadTIFile(const char* path) {
    const std::uint32_t t0 = DSMilliseconds();
    if (!path || !*path) return rc::kMissingArgument;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        int e = errno ? errno : ENOENT;
        LogBSL(QuorLog::kLevelFailure, "BSLLoadTIFile got error %d trying to open datafile %s", e, path);
        return -e;
    }
    FileBytes bytes;
    ResultCode r = ReadWholeFile(file, bytes);
    std::fclose(file);
    if (r == rc::kOutOfMemory) return r;
    if (r < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLLoadTIFile failed with error %d (%d ms)", r,
               static_cast<int>(DSMilliseconds() - t0));
        return r;
    }
    if (bytes.size == 0 || bytes.data[0] != '@' || !std::memchr(bytes.data.get(), 'q', bytes.size)) {
        return rc::kNotTiText;
    }

    TiTextImage converted;
    TiTextFault fault;
    r = ConvertTiText(bytes.data.get(), bytes.size, converted, &fault);
    bytes.data.reset();
    const int ms = static_cast<int>(DSMilliseconds() - t0);
    if (r == rc::kNotTiText) {
        if (fault.line > 0) {
            LogBSL(QuorLog::kLevelMilestone, "BSLLoadTIFile refused line %u of file %s: %s",
                   static_cast<unsigned>(fault.line), path, fault.reason);
        } else {
            LogBSL(QuorLog::kLevelMilestone, "BSLLoadTIFile refused file %s: %s", path, fault.reason);
        }
        LogBSL(QuorLog::kLevelMilestone, "BSLLoadTIFile: file %s is not a valid TI-Text file (%d ms)", path, ms);
        return r;
    }
    if (r == rc::kOutOfMemory) return r;
    if (r < 0) {
        LogBSL(QuorLog::kLevelFailure, "BSLLoadTIFile failed with error %d (%d ms)", r, ms);
        return r;
    }

    // Only now does the new image replace the old one, as a whole.
    FirmwareName name = ParseFirmwareName(path, lookup_);
    image_.text = std::move(converted.text);
    image_.textLength = converted.textLength;
    std::memcpy(image_.vectors, converted.vectors, sizeof image_.vectors);
    image_.loadedFromFile = true;
    image_.label = name.label.view();
    image_.deviceType = name.deviceType;
    image_.versionNumber = name.versionNumber;
    LogBSL(QuorLog::kLevelMilestone, "BSLLoadTIFile loaded file %s (%d ms)", path, ms);
    return rc::kOk;
}

ResultCode QuorBSLHost::BSLWriteTIFile(const char* path) {
    const std::uint32_t t0 = DSMilliseconds();
    if (!path || !*path) return rc::kMissingArgument;
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        int e = errno ? errno : EACCES;
        LogBSL(QuorLog::kLevelFailure, "BSLWriteTIFile got error %d trying to open datafile %s", e, path);
        return -e;
    }
    errno = 0;
    bool ok = WriteImageDump(file, image_.text.get(), image_.textLength, image_.vectors);
    int e = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        e = errno;
    }
    if (!ok) {
        // A full disk must not pass for a written dump.
        if (e == 0) e = EIO;
        LogBSL(QuorLog::kLevelFailure, "BSLWriteTIFile got error %d writing datafile %s", e, path);
        return -e;
    }
    LogBSL(QuorLog::kLevelMilestone, "BSLWriteTIFile wrote file %s (%d ms)", path,
           static_cast<int>(DSMilliseconds() - t0));
    return rc::kOk;
}

}  // namespace quor
