#pragma once
// An app on the test front end: virtual time, a private data home for the
// error file, an in-memory settings store and a scripted port list.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/AppFrontEnd.h"
#include "app/SettingsStore.h"
#include "platform/Clock.h"
#include "sim/core/VirtualClock.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace quor::app::testing {

class AppFixture : public ::testing::Test {
  protected:
    AppFixture()
        : dataHome_(dir.Path().string() + "/data"), xdg_("XDG_DATA_HOME", dataHome_.c_str()) {}

    // A port as the enumeration reports it.
    void AddPort(const std::string& name, const std::string& description) {
        PortRecord p;
        p.name = name;
        p.description = description.c_str();
        ports.push_back(p);
    }

    App& Start(const ProductConfig& config = InstrumentEdition()) {
        AppEnvironment env;
        env.programFolder = dir.Path().string() + "/program";
        env.listPorts = [this](PortRecord* list, std::uint32_t* count, bool force) {
            listCalls.push_back(force);
            if (listResult < 0) return listResult;
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

    // The dialogs showed exactly this one message, with its beep.
    void ExpectOneMessage(const std::string& caption, const std::string& text, Icon icon,
                          Beep beep) {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].caption, caption);
        EXPECT_EQ(dialogs.messages[0].text, text);
        EXPECT_EQ(dialogs.messages[0].icon, icon);
        EXPECT_EQ(dialogs.beeps, std::vector<Beep>{beep});
    }

    std::string AppFolderPath() const { return dataHome_ + "/Karvell/QuorBSL"; }
    void RunMs(std::uint64_t ms) { clock.RunUntil(clock.NowMicros() + ms * 1000u); }

    quor::testing::TempDir dir;
    sim::VirtualClock clock;
    platform::ScopedClock clockGuard{clock};
    RecordingView view;
    ScriptedDialogs dialogs;
    MemorySettingsStore store;
    VirtualClockTimers timers{clock};
    RecordingVersionCheck versionCheck;
    std::vector<PortRecord> ports;
    ResultCode listResult = 0;    // below 0: the enumeration fails with it
    std::vector<bool> listCalls;  // the force flag of each enumeration
    std::unique_ptr<App> app;

  private:
    std::string dataHome_;
    quor::testing::ScopedEnv xdg_;
};

}  // namespace quor::app::testing
