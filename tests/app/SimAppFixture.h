#pragma once
// An app on the test front end with a simulated instrument on "SIM1": the
// world's virtual clock runs the app's timers and every device wait, a
// private data home holds the error and settings files, and the dialogs
// answer from a script.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AppFrontEnd.h"
#include "app/SettingsStore.h"
#include "sim/core/SimWorld.h"
#include "sim/instrument/InstrumentModel.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quor::app::testing {

inline constexpr const char* kSimPort = "SIM1";
inline constexpr const char* kSimPortDescription = "Simulated Instrument (SIM1)";

// The product's image labelled for another instrument type (one with the
// same memory map, or the fit check refuses it).
inline const EmbeddedImage& ProductImageFor(DeviceType type) {
    static std::map<DeviceType, EmbeddedImage> images;
    auto it = images.find(type);
    if (it == images.end()) {
        EmbeddedImage image = ProductEmbeddedImage();
        image.deviceType = static_cast<std::int8_t>(type);
        it = images.emplace(type, image).first;
    }
    return it->second;
}

class SimAppFixture : public ::testing::Test {
  protected:
    // Longest a whole update may take in virtual time before a test gives up.
    static constexpr std::uint64_t kUpdateLimitMs = 30u * 60u * 1000u;

    SimAppFixture()
        : dataHome_(dir.Path().string() + "/data"), xdg_("XDG_DATA_HOME", dataHome_.c_str()) {}

    // The instrument of versionText on SIM1; after programming it reports
    // newVersion (empty: what the flash says).
    sim::InstrumentModel& Device(const std::string& versionText,
                                 const std::string& newVersion = "") {
        model = sim::InstrumentModel::Create(versionText);
        EXPECT_NE(model, nullptr) << versionText;
        if (!newVersion.empty()) model->SetImageVersion(newVersion);
        world.AddDevice(kSimPort, *model);
        return *model;
    }

    App& Start(const ProductConfig& config = InstrumentEdition()) {
        AppEnvironment env;
        env.programFolder = dir.Path().string() + "/program";
        env.listPorts = [this](PortRecord* list, std::uint32_t* count, bool) {
            std::uint32_t n = 0;
            for (; n < ports.size() && n < *count; ++n) list[n] = ports[n];
            *count = n;
            return static_cast<ResultCode>(n);
        };
        app = std::make_unique<App>(AppFrontEnd{view, dialogs, store, timers, versionCheck}, config,
                                    std::move(env));
        app->OnWindowShown();
        return *app;
    }

    // Presses Start and runs the clock until the update has run; returns
    // whether it ended in time.
    bool PressStart() {
        const std::size_t firedBefore = StartTimerFirings();
        app->OnStartClick();
        sim::VirtualClock& clock = world.Clock();
        return clock.RunUntil(clock.NowMicros() + kUpdateLimitMs * 1000u,
                              [&] { return StartTimerFirings() > firedBefore && !app->Busy(); });
    }
    std::size_t StartTimerFirings() const {
        std::size_t n = 0;
        for (const auto& f : timers.fired) n += f.timer == AppTimer::kStart;
        return n;
    }

    std::string AppFolderPath() const { return dataHome_ + "/Karvell/QuorBSL"; }
    std::string SettingsPath() const {
        return SettingsFilePath(AppFolderPath(), app->ProductName());
    }
    bool SettingsFileExists() const { return std::filesystem::exists(SettingsPath()); }
    std::string LogText() const { return quor::testing::ReadFile(app->ErrorFile()); }

    // The bytes an image text puts at each address ("@" and five hex digits,
    // then words of four digits, low byte second pair).
    static std::map<std::uint32_t, std::uint8_t> ImageBytes(const char* text) {
        std::map<std::uint32_t, std::uint8_t> bytes;
        std::uint32_t address = 0;
        for (const char* p = text; *p;) {
            if (*p == '@') {
                address =
                    static_cast<std::uint32_t>(std::stoul(std::string(p + 1, 5), nullptr, 16));
                p += 6;
                continue;
            }
            const auto word =
                static_cast<std::uint32_t>(std::stoul(std::string(p, 4), nullptr, 16));
            bytes[address++] = static_cast<std::uint8_t>(word & 0xFF);
            bytes[address++] = static_cast<std::uint8_t>(word >> 8);
            p += 4;
        }
        return bytes;
    }

    quor::testing::TempDir dir;
    std::unique_ptr<sim::InstrumentModel> model;  // outlives the world that borrows it
    sim::SimWorld world;
    RecordingView view;
    ScriptedDialogs dialogs;
    MemorySettingsStore store;
    VirtualClockTimers timers{world.Clock()};
    RecordingVersionCheck versionCheck;
    std::vector<PortRecord> ports{[] {
        PortRecord p;
        p.name = kSimPort;
        p.description = kSimPortDescription;
        return p;
    }()};
    std::unique_ptr<App> app;

  private:
    std::string dataHome_;
    quor::testing::ScopedEnv xdg_;
};

}  // namespace quor::app::testing
