// `quorbsl ports` and `quorbsl image`: what the window shows in its port
// list and its firmware labels, printed.

#include <unistd.h>

#include <cinttypes>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/App.h"
#include "bsl/QuorBSLHost.h"
#include "bsl/TiText.h"
#include "cli/Commands.h"
#include "cli/ImageInfo.h"
#include "device/DeviceType.h"
#include "log/QuorLog.h"

namespace quor::cli {

namespace {

constexpr const char* kBusyMark = " (busy)";

std::int8_t LookupDeviceCode(const char* upperCaseCode) {
    return static_cast<std::int8_t>(DeviceTypeFromCode(upperCaseCode));
}

void WriteJson(std::FILE* out, const nlohmann::json& j) {
    std::fprintf(out, "%s\n",
                 j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

bool EndsWith(const std::string& s, const char* tail) {
    const std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

}  // namespace

ExitStatus RunPorts(const PortsOptions& options, const Streams& io) {
    PortRecord list[app::kPortListCapacity];
    std::uint32_t count = app::kPortListCapacity;
    const ResultCode r = CommPortEnumIn(options.paths, list, &count, options.all);
    if (r < 1) count = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string description = list[i].description.str();
        if (options.json) {
            WriteJson(io.out, {{"port", list[i].name},
                               {"description", description},
                               {"busy", EndsWith(description, kBusyMark)}});
        } else {
            std::fprintf(io.out, "%-14s %s\n", list[i].name.c_str(), description.c_str());
        }
    }
    if (count == 0 && !options.json) std::fprintf(io.out, "%s\n", app::kNoCommPortsEntry);
    std::fflush(io.out);
    return ExitStatus::kFinished;
}

namespace {

// A log in a temporary file for one command: its lines say why a file was
// refused, and the file goes with the object.
class ScratchLog {
  public:
    ScratchLog() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quorbsl-log-XXXXXX").string();
        const int fd = ::mkstemp(tmpl.data());
        if (fd >= 0) {
            ::close(fd);
            path_ = tmpl;
        }
        log_ = std::make_unique<QuorLog>(path_.empty() ? "/dev/null" : path_.c_str(),
                                         QuorLog::kLevelDetail);
    }
    ~ScratchLog() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    ScratchLog(const ScratchLog&) = delete;
    ScratchLog& operator=(const ScratchLog&) = delete;
    QuorLog* Log() { return log_.get(); }
    // Every line it holds, indented, to f.
    void PrintTo(std::FILE* f) const {
        std::ifstream in(path_);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::fprintf(f, "  %s\n", line.c_str());
        }
    }

  private:
    std::string path_;
    std::unique_ptr<QuorLog> log_;
};

}  // namespace

ExitStatus RunImage(const ImageOptions& options, const Streams& io) {
    // Reading an image is no device work: its log is shown only when a
    // file is refused, and kept nowhere.
    ScratchLog log;
    QuorBSLHost host(log.Log());
    host.SetDeviceCodeLookup(LookupDeviceCode);
    if (host.ConstructionStatus() < 0) {
        std::fprintf(
            io.err,
            "Application Launch Error\n  The built-in firmware image is corrupt [Error: %d]\n",
            host.ConstructionStatus());
        return ExitStatus::kFailed;
    }
    if (!options.file.empty()) {
        const ResultCode r = host.BSLLoadTIFile(options.file.c_str());
        if (r < 0) {
            std::fprintf(
                io.err, "File Error\n  The file \"%s\" is not a valid firmware file.\n  Error %d\n",
                options.file.c_str(), r);
            log.PrintTo(io.err);
            return ExitStatus::kWrongDevice;
        }
    }
    if (!options.dump.empty()) {
        const ResultCode r = host.BSLWriteTIFile(options.dump.c_str());
        if (r < 0) {
            std::fprintf(io.err, "Error\n  Error saving firmware image: %d\n", r);
            log.PrintTo(io.err);
            return ExitStatus::kFailed;
        }
        if (!options.json) std::fprintf(io.out, "Wrote %s\n", options.dump.c_str());
    }

    const FirmwareImage& image = host.Image();
    const DeviceType type = static_cast<DeviceType>(image.deviceType);
    // The built-in image's record has no version number; its label, read
    // as a file name would be, gives it.
    const std::int32_t version =
        image.loadedFromFile
            ? image.versionNumber
            : ParseFirmwareName(image.label.c_str(), LookupDeviceCode).versionNumber;
    std::vector<ImageSection> sections;
    const bool readable = ImageSections(host.ImageText() ? host.ImageText() : "", &sections);
    std::uint32_t total = 0;
    for (const ImageSection& s : sections) total += s.bytes;

    if (options.json) {
        nlohmann::json j = {{"label", image.label.str()},
                            {"source", options.file.empty() ? "built-in" : options.file},
                            {"deviceType", DeviceTypeCode(type)},
                            {"deviceName", DeviceTypeName(type)},
                            {"textLength", image.textLength},
                            {"bytes", total}};
        if (version > 0) j["version"] = version;
        if (!options.dump.empty()) j["dump"] = options.dump;
        nlohmann::json list = nlohmann::json::array();
        for (const ImageSection& s : sections)
            list.push_back({{"address", s.address}, {"bytes", s.bytes}});
        j["sections"] = list;
        WriteJson(io.out, j);
    } else {
        std::fprintf(io.out, "Label:       %s\n", image.label.c_str());
        std::fprintf(io.out, "Source:      %s\n",
                     options.file.empty() ? "built-in image" : options.file.c_str());
        std::fprintf(io.out, "Device type: %s (%s)\n", DeviceTypeCode(type), DeviceTypeName(type));
        if (version > 0) std::fprintf(io.out, "Version:     %" PRId32 "\n", version);
        std::fprintf(io.out, "Image text:  %" PRIu32 " characters\n", image.textLength);
        std::fprintf(io.out, "Sections:    %zu, %" PRIu32 " bytes\n", sections.size(), total);
        for (const ImageSection& s : sections)
            std::fprintf(io.out, "  0x%05" PRIX32 "  %6" PRIu32 " bytes\n", s.address, s.bytes);
        if (!readable)
            std::fprintf(io.out, "  (the image text could not be split into sections)\n");
    }
    std::fflush(io.out);
    return ExitStatus::kFinished;
}

}  // namespace quor::cli
