#pragma once
// A bench for whole instrument updates on a simulated device: the device
// model lives for the whole test on "SIM1" of one simulated world, while
// each run brings its own host objects (log, instrument protocol object,
// loader host), as a new start of the program does. A cut at a chosen
// write of the host leaves the device wherever it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bsl/QuorBSLHost.h"
#include "device/DeviceType.h"
#include "instrument/Quor_protocol.h"
#include "log/QuorLog.h"
#include "serial/QuorSerial.h"
#include "sim/core/SimWorld.h"
#include "sim/instrument/InstrumentModel.h"
#include "support/TempDir.h"

namespace quor::app::testing {

inline constexpr const char* kBenchPort = "SIM1";

// The restore writes the record lists in the order their names sort, so
// whether a device has every setting back compares them as sets.
inline bool SameSettings(sim::InstrumentState a, sim::InstrumentState b) {
    for (sim::InstrumentState* s : {&a, &b}) {
        std::sort(s->equations.begin(), s->equations.end());
        std::sort(s->users.begin(), s->users.end());
    }
    return a == b;
}

// What differs between two device states, for failure messages.
inline std::string StateDiff(const sim::InstrumentState& a, const sim::InstrumentState& b) {
    std::string out;
    for (const auto& [key, value] : a.settings) {
        auto it = b.settings.find(key);
        const std::string other = it == b.settings.end() ? "(none)" : it->second;
        if (other != value) out += " " + key + ": " + value + " / " + other + ";";
    }
    auto lists = [&out](const char* name, const std::vector<std::string>& x,
                        const std::vector<std::string>& y) {
        if (x == y) return;
        out += std::string(" ") + name + ":";
        for (const std::string& v : x) out += " [" + v + "]";
        out += " /";
        for (const std::string& v : y) out += " [" + v + "]";
        out += ";";
    };
    lists("cal", a.calibration, b.calibration);
    lists("eqn", a.equations, b.equations);
    lists("user", a.users, b.users);
    return out;
}

// A host write that is a loader frame: "<letter>...<.XXXX>\r".
inline bool IsFrame(std::string_view write, char letter) {
    return write.size() >= 7 && write[0] == letter && write.back() == '\r' &&
           write[write.size() - 6] == '.';
}

// Matches the nth (1-based) frame of letter the host writes from now on.
inline sim::SimLink::WriteMatch NthFrame(char letter, int n) {
    auto seen = std::make_shared<int>(0);
    return [letter, n, seen](std::string_view w) { return IsFrame(w, letter) && ++*seen == n; };
}

// Matches the first write that is exactly text.
inline sim::SimLink::WriteMatch WriteOf(std::string text) {
    return [text = std::move(text)](std::string_view w) { return w == text; };
}

// Frames of letter the loader took.
inline std::uint32_t FramesOf(const sim::SimLoaderDevice& loader, char letter) {
    std::uint32_t n = 0;
    for (const std::string& f : loader.FrameLog()) n += f[0] == letter;
    return n;
}

// One place to cut the cable during the loader phase of an update.
struct CutPoint {
    std::string name;
    std::function<sim::SimLink::WriteMatch()> match;
    sim::SimLink::CutTiming timing;
    bool leftInLoader = true;  // else the device still runs its old firmware
};

// The run killed just after it wrote the settings file (at its first word
// to the loader, the invocation, and in the handshake after it), then the
// erases (every one, or the information segments and the first and last of
// the code flash), the first address, some upload blocks and the vectors;
// each lost, and taken with its answer lost. Not the vectors taken with
// their answer lost: the device then restarts into the new image with
// factory values, which the next run captures over the settings file.
inline std::vector<CutPoint> LoaderPhaseCutPoints(std::uint32_t erases, std::uint32_t blocks,
                                                  bool everyErase = true) {
    using T = sim::SimLink::CutTiming;
    std::vector<CutPoint> points;
    auto both = [&](const std::string& name, std::function<sim::SimLink::WriteMatch()> match) {
        points.push_back({name + " (lost)", match, T::kBeforeDelivery});
        points.push_back({name + " (taken, answer lost)", match, T::kAfterDelivery});
    };
    both("invocation", [] { return WriteOf("boot ZEPT\r"); });
    points[0].leftInLoader = false;  // the firmware never heard it
    both("handshake", [] { return WriteOf("P"); });
    both("version query", [] { return NthFrame('g', 1); });
    for (std::uint32_t n = 1; n <= erases; ++n) {
        if (everyErase || n <= 3 || n == erases)
            both("erase " + std::to_string(n), [n] { return NthFrame('X', static_cast<int>(n)); });
    }
    both("first address", [] { return NthFrame('@', 1); });
    for (std::uint32_t n : {1u, 2u, blocks / 2, blocks - 1, blocks})
        both("upload block " + std::to_string(n), [n] { return NthFrame('W', static_cast<int>(n)); });
    points.push_back({"vectors (lost)", [] { return NthFrame('V', 1); }, T::kBeforeDelivery});
    return points;
}

// The host objects one start of the program creates.
struct HostRun {
    explicit HostRun(const std::string& logPath)
        : log(logPath.c_str(), QuorLog::kLevelDetail), protocol(&log), host(&log) {}
    QuorLog log;
    Quor_protocol protocol;
    QuorBSLHost host;
};

// A small image for a type's code flash: a few instructions and the version
// text the firmware reports, the reset vector pointing at them.
inline std::string TiTextImage(std::uint32_t codeAddress, const std::string& versionText) {
    std::string out;
    char buf[16];
    std::snprintf(buf, sizeof buf, "@%04X\n", static_cast<unsigned>(codeAddress));
    out += buf;
    std::string bytes("\x31\x40\x00\x3C", 4);
    bytes += versionText;
    bytes.push_back('\0');
    if (bytes.size() % 2) bytes.push_back('\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, (i % 16 == 15 || i + 1 == bytes.size()) ? "%02X\n" : "%02X ",
                      static_cast<unsigned char>(bytes[i]));
        out += buf;
    }
    out += "@FFE0\n";
    for (int i = 0; i < 30; ++i) out += "FF ";
    std::snprintf(buf, sizeof buf, "%02X %02X\nq\n", static_cast<unsigned>(codeAddress & 0xFF),
                  static_cast<unsigned>((codeAddress >> 8) & 0xFF));
    out += buf;
    return out;
}

class UpdateBench : public ::testing::Test {
  protected:
    static constexpr std::uint8_t kBaudIndex9600 = 2;
    static constexpr std::uint32_t kSerialRetries = 3;
    static constexpr std::uint32_t kLoaderTries = 3;
    static constexpr std::uint32_t kReconnectAttempts = 3;
    static constexpr std::uint32_t kReconnectPauseStepMs = 1500;

    // Puts the model of code (at its usual version) on the port of a new
    // world; an earlier device and its world go.
    sim::InstrumentModel& PutDevice(const std::string& code) {
        link = nullptr;
        world.reset();
        model = sim::InstrumentModel::ForCode(code);
        EXPECT_NE(model, nullptr) << code;
        world = std::make_unique<sim::SimWorld>();
        link = &world->AddDevice(kBenchPort, *model);
        return *model;
    }
    std::uint64_t NowMicros() { return world->Clock().NowMicros(); }

    std::unique_ptr<HostRun> NewRun() { return std::make_unique<HostRun>(dir.File("run.log")); }
    std::string SettingsFile() const { return dir.File("Dewmark Tru.settings.txt"); }
    bool SettingsFileExists() const { return std::filesystem::exists(SettingsFile()); }

    // The instrument update by hand through the two protocol objects, in
    // the order the update sequence takes, with its clean-up on failure.
    // imageType is the image's device type (used when the loader already
    // runs). Returns 1 or the first failure.
    ResultCode UpdateByHand(HostRun& run, DeviceType imageType) {
        ResultCode r = Sequence(run, imageType);
        if (r < 0) {
            run.host.BSLDisconnect();
            run.protocol.Disconnect(false);
        } else {
            std::remove(SettingsFile().c_str());
        }
        return r;
    }

    quor::testing::TempDir dir;
    // The world goes before the model it carries.
    std::unique_ptr<sim::InstrumentModel> model;
    std::unique_ptr<sim::SimWorld> world;
    sim::SimLink* link = nullptr;

  private:
    ResultCode Sequence(HostRun& run, DeviceType imageType) {
        Quor_protocol& p = run.protocol;
        QuorBSLHost& h = run.host;
        const std::string file = SettingsFile();
        DeviceTypeInfo rec;
        ResultCode r = p.DPConnect(kBenchPort, kBaudIndex9600, kSerialRetries, &rec);
        const bool loaderRuns = r == rc::kLoaderConnected || r == rc::kLoaderWaiting;
        if (r < 0 && !loaderRuns) return r;
        if (loaderRuns) {
            BuildDeviceTypeInfo(imageType, 999, rec);
        } else if (rec.saveSettings) {
            if (rec.needsLogin && (r = p.Login()) < 0) return r;
            if ((r = p.DPSaveInfo(file.c_str())) < 0) return r;
        }
        p.Disconnect(false);
        if ((r = h.BSLConnect(kBenchPort, rec.loaderBaud, true, kLoaderTries)) < 0) return r;
        if ((r = h.BSLEraseINFO(rec.infoStart, rec.infoSegments, rec.infoSegmentSize,
                                rec.loaderOption)) < 0)
            return r;
        if ((r = h.BSLEraseFlash(rec.flashStart, rec.flashEnd, rec.loaderOption)) < 0) return r;
        if ((r = h.BSLSendFirmware(rec.loaderOption)) < 0) return r;
        if ((r = h.BSLSendVectors()) < 0) return r;
        h.BSLDisconnect();
        DSSleep(rec.restartDelayMs);
        for (std::uint32_t attempt = 0; attempt < kReconnectAttempts; ++attempt) {
            r = p.DPConnect(kBenchPort, kBaudIndex9600, kSerialRetries, &rec);
            if (r > 0) break;
            DSSleep(attempt * kReconnectPauseStepMs);
        }
        if (r < 0) return r;
        if (rec.needsLogin) p.Login();
        if ((r = p.DPCheckFirmware(rec.firmwareCheckMode)) < 0) return r;
        if (rec.saveSettings && (r = p.DPRestoreInfo(file.c_str(), nullptr)) < 0) return r;
        if (rec.setTime) p.DPSetTime();
        if (rec.eraseData && (r = p.DPEraseData()) < 0) return r;
        p.Disconnect(true);
        return rc::kOk;
    }
};

}  // namespace quor::app::testing
