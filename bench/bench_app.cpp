// Application core benchmark.
//
// BM_UpdateTruThroughTheApp: a whole update of a simulated TRU with the
// embedded image, from "Start" to the end of the start timer's handler,
// through the application core on the test front end, in virtual time.
// Counters:
//   sim_s        simulated duration of the update
//   bound_s      lower bound: every byte on the wire at 10 bits a byte at
//                its rate (not those that travel inside a prescribed pause:
//                the typed login characters, the invocation and the
//                handshake), the device's own processing time that the
//                models charge, and every pause the update prescribes, the
//                restart delay included (pauses_s)
//   ratio        sim_s / bound_s (goal: at most 1.01)
//   host_cpu_ms  process CPU time of the update (goal: under 50 ms)
//   wire_s, device_s, pauses_s  the three parts of the bound
#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <string>

#include "app/App.h"
#include "app/SettingsStore.h"
#include "instrument/Quor_protocol.h"
#include "serial/QuorSerial.h"
#include "sim/core/SimWorld.h"
#include "sim/instrument/InstrumentModel.h"
#include "tests/app/AppFrontEnd.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace {

using namespace quor;

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The pauses of a TRU update without retries, in milliseconds, as the
// update sequence and the protocols under it prescribe them.
constexpr std::uint32_t kStartTimerMs = 100;
constexpr std::uint32_t kConnectSettleMs = 100;     // each connection (twice)
constexpr std::uint32_t kLoginCharacters = 11;      // "login *3378", one at a time
constexpr std::uint32_t kLoginMs = 1000 + kLoginCharacters * 250 + 250 + 1000;  // each login (twice)
constexpr std::uint32_t kDisconnectMs = 100;        // each disconnection (twice)
constexpr std::uint32_t kLoaderConnectMs = 1000 + 750 + 100 + 100;  // settle, invocation, handshake
constexpr std::uint32_t kVectorsMs = 50;
constexpr std::uint32_t kLoaderDisconnectMs = 100;
constexpr std::uint32_t kTruRestartDelayMs = 2000;
constexpr std::uint32_t kPrescribedPausesMs = kStartTimerMs + 2 * kConnectSettleMs + 2 * kLoginMs +
                                              2 * kDisconnectMs + kLoaderConnectMs + kVectorsMs +
                                              kLoaderDisconnectMs + kTruRestartDelayMs;
// The loader's answers inside those pauses: "OK\r\n" to the invocation,
// "$" and "#" in the handshake.
constexpr std::uint64_t kDeviceBytesInPauses = 4 + 1 + 1;

// Host bytes that travel inside a pause that follows them: single
// characters (the typed login, the handshake) and the invocation.
std::uint64_t HostBytesInPauses(const sim::SimLink& link) {
    std::uint64_t n = 0;
    for (const std::string& w : link.HostWrites()) {
        if (w.size() == 1 || w == "boot ZEPT\r") n += w.size();
    }
    return n;
}

void BM_UpdateTruThroughTheApp(benchmark::State& state) {
    double simS = 0, boundS = 0, cpuMs = 0, wireS = 0, deviceS = 0;
    for (auto _ : state) {
        testing::TempDir dir;
        testing::ScopedEnv dataHome("XDG_DATA_HOME", dir.File("data").c_str());
        sim::SimWorld world;
        auto model = sim::InstrumentModel::ForCode("TRU");
        model->SetImageVersion("TRU 3.65");
        const sim::InstrumentState before = model->State();
        sim::SimLink& link = world.AddDevice("SIM1", *model);

        app::testing::RecordingView view;
        app::testing::ScriptedDialogs dialogs;
        app::MemorySettingsStore store;
        app::testing::VirtualClockTimers timers(world.Clock());
        app::testing::RecordingVersionCheck versionCheck;
        app::AppEnvironment env;
        env.programFolder = dir.File("program");
        env.listPorts = [](PortRecord* list, std::uint32_t* count, bool) {
            list[0].name = "SIM1";
            list[0].description = "Simulated Dewmark Tru (SIM1)";
            *count = 1;
            return ResultCode{1};
        };
        app::App app(app::AppFrontEnd{view, dialogs, store, timers, versionCheck},
                     app::InstrumentEdition(), env);
        app.OnWindowShown();
        link.ClearRecords();

        const double cpu0 = CpuMs();
        const std::uint64_t t0 = world.Clock().NowMicros();
        const std::uint64_t charged0 =
            model->ChargedProcessingUs() + model->Loader().ChargedProcessingUs();
        app.OnStartClick();
        // The start timer's handler runs the whole update inside this call.
        world.Clock().RunUntil(t0 + std::uint64_t{kStartTimerMs} * 1000);
        const std::uint64_t t1 = world.Clock().NowMicros();
        cpuMs = CpuMs() - cpu0;

        const bool done = view.Text(app::Control::statusText).rfind("Successfully updated", 0) == 0;
        if (!done || app.Busy() || model->Programmings() != 1 || !(model->State() == before) ||
            !model->Loader().Violations().empty()) {
            state.SkipWithError("the update failed");
            break;
        }
        const std::uint64_t byteUs = sim::ByteTimeMicros(9600);
        const std::uint64_t inPauses = (HostBytesInPauses(link) + kDeviceBytesInPauses) * byteUs;
        wireS = static_cast<double>(link.HostWireMicros() + link.DeviceWireMicros() - inPauses) / 1e6;
        deviceS = static_cast<double>(model->ChargedProcessingUs() +
                                      model->Loader().ChargedProcessingUs() - charged0) /
                  1e6;
        simS = static_cast<double>(t1 - t0) / 1e6;
        boundS = wireS + deviceS + kPrescribedPausesMs / 1000.0;
    }
    state.counters["sim_s"] = simS;
    state.counters["bound_s"] = boundS;
    state.counters["ratio"] = boundS > 0 ? simS / boundS : 0;
    state.counters["host_cpu_ms"] = cpuMs;
    state.counters["wire_s"] = wireS;
    state.counters["device_s"] = deviceS;
    state.counters["pauses_s"] = kPrescribedPausesMs / 1000.0;
}
BENCHMARK(BM_UpdateTruThroughTheApp)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
