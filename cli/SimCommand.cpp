// `quorbsl sim TYPE`: a simulated device on a pseudo-terminal in real
// time, so that `quorbsl update --port /dev/pts/N` runs the real serial
// path against it.

#include <unistd.h>

#include <csignal>
#include <cstring>

#include "cli/Commands.h"
#include "cli/SimulatedDevice.h"
#include "sim/core/PtyBridge.h"

namespace quor::cli {

namespace {

volatile std::sig_atomic_t gStop = 0;
extern "C" void OnStopSignal(int) {
    gStop = 1;
}

}  // namespace

ExitStatus RunSim(const SimOptions& options, const Streams& io) {
    SimFault fault = SimFault::kNone;
    if (!options.simFault.empty() && !SimFaultFromName(options.simFault, &fault)) {
        std::fprintf(io.err, "Usage Error\n  No simulator fault \"%s\".\n",
                     options.simFault.c_str());
        return ExitStatus::kUsage;
    }
    if (fault == SimFault::kBusy || fault == SimFault::kCutUpload) {
        std::fprintf(io.err, "Usage Error\n  The fault \"%s\" needs update --simulate.\n",
                     options.simFault.c_str());
        return ExitStatus::kUsage;
    }
    std::unique_ptr<sim::InstrumentModel> model = MakeSimulatedDevice(options.type, fault);
    if (!model) {
        std::fprintf(io.err, "Usage Error\n  No simulated device of type \"%s\".\n",
                     options.type.c_str());
        return ExitStatus::kUsage;
    }
    // The signals are blocked before the bridge's thread starts, so that
    // thread inherits the mask and only the wait below takes them.
    sigset_t stopSignals, previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    gStop = 0;
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    ::sigprocmask(SIG_BLOCK, &stopSignals, &previous);
    sim::PtyBridge bridge(*model);
    if (PortError e = bridge.Start()) {
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        std::fprintf(io.err, "Simulator Error\n  No pseudo-terminal: %s\n", std::strerror(e));
        return ExitStatus::kFailed;
    }
    std::fprintf(io.out, "%s\n", bridge.SlavePath().c_str());
    std::fflush(io.out);
    std::fprintf(io.err, "Simulated %s on %s; Ctrl+C ends it.\n", model->VersionText().c_str(),
                 bridge.SlavePath().c_str());
    std::fflush(io.err);
    while (!gStop) ::sigsuspend(&previous);
    bridge.Stop();
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::fprintf(io.err, "Simulator stopped after %d programming(s).\n", model->Programmings());
    return ExitStatus::kFinished;
}

}  // namespace quor::cli
