// One update through the application core, on a real port or on a
// simulated device in virtual time.

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/App.h"
#include "app/ProductConfig.h"
#include "cli/CliFrontEnd.h"
#include "cli/Commands.h"
#include "cli/SideBySide.h"
#include "cli/SimulatedDevice.h"
#include "platform/AppFolder.h"
#include "qt/QtSettingsStore.h"
#include "serial/QuorSerial.h"
#include "sim/core/SimWorld.h"

namespace quor::cli {

namespace {

constexpr const char* kSimulatedPortName = "SIM1";
// The idle loop's longest sleep while it waits for a real-time timer.
constexpr std::uint32_t kIdleWaitMs = 50;
// A simulated update cannot take this long; the loop gives up after it.
constexpr std::uint64_t kSimulatedRunLimitMicros = 3'600ull * 1'000'000ull;

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
    gInterrupted = 1;
    // A second Ctrl+C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

// The user's store, with the comm port the command line names and, for a
// simulated run, nothing written back: a simulated port is never anyone's
// default.
class CommandLineSettings final : public app::SettingsStore {
  public:
    CommandLineSettings(app::SettingsStore& base, std::string port, bool writeBack)
        : base_(base), port_(std::move(port)), writeBack_(writeBack) {}

    bool ReadString(const std::string& section, const std::string& name,
                    std::string* value) override {
        if (!port_.empty() && section == app::kSettingsSection && name == app::kValueCommPort) {
            *value = port_;
            return true;
        }
        return base_.ReadString(section, name, value);
    }
    bool ReadInt(const std::string& section, const std::string& name,
                 std::int32_t* value) override {
        return base_.ReadInt(section, name, value);
    }
    void WriteString(const std::string& section, const std::string& name,
                     const std::string& value) override {
        if (writeBack_) base_.WriteString(section, name, value);
    }
    void WriteInt(const std::string& section, const std::string& name,
                  std::int32_t value) override {
        if (writeBack_) base_.WriteInt(section, name, value);
    }

  private:
    app::SettingsStore& base_;
    std::string port_;
    bool writeBack_;
};

bool IsTerminal(std::FILE* f) {
    return f && ::isatty(::fileno(f)) == 1;
}

// Sets XDG_DATA_HOME so that the app folder is folder/Karvell/QuorBSL.
void UseDataHome(const std::string& folder) {
    ::setenv("XDG_DATA_HOME", folder.c_str(), 1);
}

std::string UserDataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/share";
}

// A private folder for one simulated run, so its settings file and log
// never meet a real device's.
std::string MakeSimulationFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quorbsl-sim-XXXXXX").string();
    const char* made = ::mkdtemp(tmpl.data());
    return made ? made : std::string();
}

// The port list as the app asks for it: the real one (with the named port
// added when the list does not have it), or the simulated port alone.
app::PortLister MakePortLister(const std::string& namedPort, bool simulated, bool busy,
                               const std::string& simulatedCode) {
    return [=](PortRecord* list, std::uint32_t* count, bool force) -> ResultCode {
        if (simulated) {
            if (*count < 1) return rc::kOutOfRange;
            list[0] = PortRecord{};
            list[0].name = kSimulatedPortName;
            list[0].description.Format("%s Simulated %s%s", kSimulatedPortName,
                                       simulatedCode.c_str(), busy ? " (busy)" : "");
            *count = 1;
            return 1;
        }
        const std::uint32_t capacity = *count;
        ResultCode r = CommPortEnumIn(CommPortEnumPaths{}, list, count, force);
        if (r < 0) *count = 0;
        if (namedPort.empty()) return r;
        for (std::uint32_t i = 0; i < *count; ++i) {
            if (list[i].name == namedPort) return r;
        }
        // A port the list does not show (a pty, a by-id link) is offered as
        // it was named, in place of the last entry when the list is full.
        const std::uint32_t at = *count < capacity ? *count : capacity - 1;
        list[at] = PortRecord{};
        list[at].name = namedPort;
        list[at].description.Format("%s Communications Port", namedPort.c_str());
        *count = at + 1;
        return r < 1 ? 1 : r;
    };
}

}  // namespace

std::string ListedPortName(const std::string& port, const std::vector<std::string>& listed) {
    constexpr const char* kDev = "/dev/";
    if (port.rfind(kDev, 0) != 0) return port;
    const std::string shortName = port.substr(std::char_traits<char>::length(kDev));
    for (const std::string& name : listed) {
        if (name == shortName) return shortName;
    }
    return port;
}

std::string PortFolderName(const std::string& port) {
    std::string out;
    for (char c : port) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (c == '/' && out.empty()) continue;
        out.push_back(plain ? c : '_');
    }
    return out.empty() ? "port" : out;
}

namespace {

// The port the user named, as the port list names it.
std::string ResolvePort(const std::string& port) {
    if (port.empty()) return port;
    PortRecord list[app::kPortListCapacity];
    std::uint32_t count = app::kPortListCapacity;
    std::vector<std::string> names;
    if (CommPortEnumIn(CommPortEnumPaths{}, list, &count, false) >= 0) {
        for (std::uint32_t i = 0; i < count; ++i) names.push_back(list[i].name);
    }
    return ListedPortName(port, names);
}

ExitStatus RunOneUpdate(const UpdateOptions& options, const Streams& io) {
    const bool simulated = !options.simulate.empty();
    const OutputMode mode = options.json                              ? OutputMode::kJson
                            : IsTerminal(io.in) && IsTerminal(io.out) ? OutputMode::kTerminal
                                                                      : OutputMode::kPlain;
    std::unique_ptr<Reporter> reporter = MakeReporter(mode, io.in, io.out, io.err);
    auto usage = [&](const std::string& text) {
        reporter->Message("Usage Error", text, "error");
        reporter->Result(ExitStatusName(ExitStatus::kUsage), static_cast<int>(ExitStatus::kUsage),
                         "");
        return ExitStatus::kUsage;
    };

    SimFault fault = SimFault::kNone;
    std::string code;
    if (simulated) {
        code = SimulatedCode(options.simulate.front());
        if (code.empty())
            return usage("No simulated device of type \"" + options.simulate.front() + "\".");
    }
    if (!options.simFault.empty() && !SimFaultFromName(options.simFault, &fault))
        return usage("No simulator fault \"" + options.simFault + "\".");
    if (!options.simFault.empty() && !simulated) return usage("--sim-fault needs --simulate.");
    if (options.newSerial.size() > app::kNewSerialNumberChars)
        return usage("A new serial number has at most " +
                     std::to_string(app::kNewSerialNumberChars) + " characters.");

    // Where the log and the settings file go.
    std::string simulationFolder;
    if (simulated) {
        simulationFolder = MakeSimulationFolder();
        if (simulationFolder.empty()) return usage("No temporary folder for the simulation.");
        UseDataHome(simulationFolder);
    } else if (options.portFolder && !options.ports.empty()) {
        UseDataHome(UserDataHome() + "/" + platform::kAppSubfolder + "/by-port/" +
                    PortFolderName(options.ports.front()));
    }

    // The simulated bench: it installs the virtual clock and its ports
    // for as long as it lives, so it is made before the app.
    std::optional<sim::SimWorld> world;
    std::unique_ptr<PortDriver> holder;
    sim::SimLink* link = nullptr;
    if (simulated) {
        world.emplace();
        std::unique_ptr<sim::InstrumentModel> model = MakeSimulatedDevice(code, fault);
        link = &world->AddDevice(kSimulatedPortName, std::move(model));
        if (fault == SimFault::kBusy) link->OpenHost(holder);
    }

    frontend::QtSettingsStore userSettings;
    const std::string port = simulated               ? kSimulatedPortName
                             : options.ports.empty() ? std::string()
                                                     : ResolvePort(options.ports.front());
    CommandLineSettings settings(userSettings, port, !simulated);

    LogFollower logFollower(*reporter, options.verbose);
    CliView view(*reporter, logFollower);
    CliDialogs dialogs(*reporter, view, AnswerPolicy{options.yes, mode == OutputMode::kTerminal});
    RealTimeTimers realTimers;
    std::optional<VirtualClockTimers> virtualTimers;
    if (simulated) virtualTimers.emplace(world->Clock());
    app::AppTimers& timers = simulated ? static_cast<app::AppTimers&>(*virtualTimers)
                                       : static_cast<app::AppTimers&>(realTimers);
    NoVersionCheck versionCheck;

    app::AppEnvironment env;
    env.listPorts = MakePortLister(port, simulated, fault == SimFault::kBusy, code);
    app::App app(app::AppFrontEnd{view, dialogs, settings, timers, versionCheck},
                 app::BuildProductConfig(), std::move(env));

    if (fault == SimFault::kCutUpload) {
        view.OnProgress([link](int percent) {
            if (percent >= 50 && !link->IsCut()) link->Cut();
        });
    }
    gInterrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    view.OnPendingMessages([&] {
        if (!simulated) realTimers.RunDue();
        if (gInterrupted) {
            gInterrupted = 0;
            app.ConfirmQuit();
        }
    });

    app.OnWindowShown();
    logFollower.Follow(app.ErrorFile());
    if (options.verbose) reporter->Log("error file: " + app.ErrorFile());

    auto finish = [&](ExitStatus status) {
        logFollower.Poll();
        app.OnWindowClose();
        userSettings.Sync();
        std::signal(SIGINT, SIG_DFL);
        if (simulated) {
            std::error_code ec;
            if (status == ExitStatus::kFinished) {
                std::filesystem::remove_all(simulationFolder, ec);
            } else {
                reporter->Note("The simulated run's log and settings file are in " +
                               simulationFolder);
            }
        }
        reporter->Result(ExitStatusName(status), static_cast<int>(status), view.LastStatus());
        return status;
    };
    auto unsupported = [&](const std::string& what) {
        reporter->Message("Not Available", "This build of quorbsl cannot " + what + " yet.",
                          "error");
        return finish(ExitStatus::kFailed);
    };

    // What the user would do in the window before pressing Start.
    if (!options.firmware.empty()) {
        dialogs.SetOpenPath(options.firmware);
        app.OnOpenFirmwareFile();
        if (dialogs.OpenDialogs() == 0) return unsupported("open a firmware file");
        if (!dialogs.Outcome().messages.empty()) {
            return finish(ExitStatusFor(dialogs.Outcome()));
        }
    }
    if (options.keepData) {
        if (!view.Checked(app::Control::mnuDontEraseData)) app.OnDontEraseData();
        if (!view.Checked(app::Control::mnuDontEraseData)) return unsupported("keep the data");
    }
    if (!options.newSerial.empty()) {
        if (!view.Checked(app::Control::mnuReplaceSerialNumber)) app.OnReplaceSerialNumber();
        if (!view.Checked(app::Control::mnuReplaceSerialNumber))
            return unsupported("replace the serial number");
        view.SetText(app::Control::newSNstr, options.newSerial);
    }
    if (app.PortCount() == 0 || !view.Enabled(app::Control::btnStart)) {
        reporter->Message("No Comm Port",
                          "No comm port found. Name one with --port, or list them with "
                          "\"quorbsl ports --all\".",
                          "error");
        return finish(ExitStatus::kNoConnection);
    }

    // What the window would show before Start: the product, the image and
    // the port.
    const int selected = app.SelectedPortIndex();
    const std::string portText =
        selected >= 0 && static_cast<std::uint32_t>(selected) < app.PortCount()
            ? app.Port(static_cast<std::uint32_t>(selected)).description.str()
            : app.CommPort();
    reporter->Note(view.Text(app::Control::userText1) + " " + view.Text(app::Control::userText2) +
                   " on \"" + portText + "\".");

    // Start is pressed once the start-up messages are out of the way.
    app.OnStartClick();
    auto startPending = [&] {
        return simulated ? virtualTimers->Pending(app::AppTimer::kStart)
                         : realTimers.Pending(app::AppTimer::kStart);
    };
    if (!startPending()) return unsupported("start an update");
    // The start timer's handler runs the whole update: the run is over
    // once that timer has fired and the app is no longer busy.
    if (simulated) {
        sim::VirtualClock& clock = world->Clock();
        while ((startPending() || app.Busy()) && !view.CloseRequested() &&
               clock.NowMicros() < kSimulatedRunLimitMicros)
            clock.RunUntil(clock.NowMicros() + app::kStartDelayMs * 1000u);
    } else {
        while ((startPending() || app.Busy()) && !view.CloseRequested())
            realTimers.WaitAndRun(kIdleWaitMs);
    }

    UpdateOutcome outcome = dialogs.Outcome();
    outcome.finished = view.Finished();
    outcome.ran = !startPending() && !app.Busy();
    outcome.result = app.LastUpdateResult();
    return finish(ExitStatusFor(outcome));
}

}  // namespace

ExitStatus RunUpdate(const UpdateOptions& options, const Streams& io) {
    if (options.ports.size() + options.simulate.size() > 1) return RunSideBySide(options, io);
    if (!options.ports.empty() && !options.simulate.empty()) return RunSideBySide(options, io);
    return RunOneUpdate(options, io);
}

}  // namespace quor::cli
