// The settings file reader, for the device type the first byte picks, on
// the rest of the input as the file. What it takes from a file, written
// out again and read back by a fresh protocol object (as the next run of
// the program would), writes the very same file: nothing is lost,
// invented or changed on the way, and a file the program wrote is readable.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "instrument/Quor_protocol.h"
#include "platform/FileOps.h"

using namespace quor;

namespace {

constexpr DeviceType kTypes[] = {
    DeviceType::kRv70, DeviceType::kKl3,  DeviceType::kZrl,     DeviceType::kRv7b, DeviceType::kCk,
    DeviceType::kAqvenHx, DeviceType::kTru, DeviceType::kDm9,   DeviceType::kDMini, DeviceType::kTq,
    DeviceType::kLg40, DeviceType::kFg,   DeviceType::kDskt,    DeviceType::kS7k,  DeviceType::kHjd,
    DeviceType::kJq,   DeviceType::kHsr,  DeviceType::kPx7t,    DeviceType::kDm9Lsr, DeviceType::kTwi,
    DeviceType::kFlowPack,
};

// The file calls of WriteInfoFile, keeping the written text in memory.
class MemoryFileOps final : public platform::FileOps {
public:
    std::string text;
    int CreateTemp(const std::string& target, std::string* tempPath) override {
        text.clear();
        if (tempPath) *tempPath = target + ".tmp";
        return 3;
    }
    long Write(int, const char* data, std::size_t size) override {
        text.append(data, size);
        return static_cast<long>(size);
    }
    int Sync(int) override { return 0; }
    int Close(int) override { return 0; }
    int Rename(const std::string&, const std::string&) override { return 0; }
    int Remove(const std::string&) override { return 0; }
    int SyncFolderOf(const std::string&) override { return 0; }
};

// A file of this process for the reader to open.
const std::string& ScratchPath() {
    static const std::string path = [] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/quor_fuzz_settings_" + std::to_string(getpid()) + ".txt";
    }();
    return path;
}

bool PutFile(const std::string& text) {
    std::FILE* f = std::fopen(ScratchPath().c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

bool Took(ResultCode r) { return r == rc::kOk || r == rc::kSomeSettingsFailed; }

// Reads the scratch file for type with a fresh object; on success writes
// what it took into *written.
ResultCode ReadAndWrite(DeviceType type, std::string* written) {
    DeviceTypeInfo info;
    BuildDeviceTypeInfo(type, 100, info);
    Quor_protocol protocol(nullptr);
    protocol.AdoptDevice(info);
    const ResultCode r = protocol.ReadInfoFile(ScratchPath().c_str());
    if (!Took(r)) return r;
    MemoryFileOps ops;
    protocol.UseFileOps(&ops);
    const ResultCode w = protocol.WriteInfoFile("settings.txt");
    FUZZ_CHECK(w == rc::kOk, "writing what was read failed with %d", w);
    *written = ops.text;
    return r;
}

}  // namespace

void FuzzOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const DeviceType type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    if (!PutFile(std::string(reinterpret_cast<const char*>(data + 1), size - 1))) return;
    std::string first;
    if (!Took(ReadAndWrite(type, &first))) return;

    FUZZ_CHECK(PutFile(first), "cannot put the written file back");
    std::string second;
    const ResultCode again = ReadAndWrite(type, &second);
    FUZZ_CHECK(Took(again), "the file written from a read is unreadable (%d)", again);
    FUZZ_CHECK(first == second, "read back, the written file changes:\n--- first\n%s\n--- second\n%s", first.c_str(),
               second.c_str());
}

QUOR_FUZZ_TARGET(FuzzOne)
