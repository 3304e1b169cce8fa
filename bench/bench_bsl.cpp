// Loader host benchmarks.
//
// BM_LoadTIFile: BSLLoadTIFile on a TI-Text file of about 1 MiB.
// BM_ProgramEmbeddedTru: the whole loader part of an update of a TRU with
// the embedded image (connect, erase, upload, vectors, disconnect) against
// the simulated loader, in virtual time. Counters:
//   sim_s     simulated duration
//   bound_s   lower bound: every byte of every frame and answer on the wire
//             at 10 bits a byte, the device's own processing time that the
//             model charges, and the pauses the protocol prescribes (the
//             invocation and handshake bytes travel inside those pauses)
//   ratio     sim_s / bound_s (goal: at most 1.01)
//   host_cpu_ms  process CPU time of one run (goal: under 50 ms)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "bsl/QuorBSLHost.h"
#include "log/QuorLog.h"
#include "sim/bsl/SimLoaderDevice.h"
#include "sim/core/SimWorld.h"
#include "tests/bsl/DeviceMaps.h"
#include "tests/support/TempDir.h"

namespace {

using namespace quor;

double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// TI-Text as the usual tools write it: 16 bytes a line, sections of 48 KiB.
std::string MakeTiText(std::size_t targetBytes) {
    std::string out;
    out.reserve(targetBytes + 4096);
    std::uint32_t x = 0x12345;
    std::uint32_t address = 0x10000;
    char buf[16];
    while (out.size() < targetBytes) {
        std::snprintf(buf, sizeof buf, "@%X\n", static_cast<unsigned>(address));
        out += buf;
        for (int line = 0; line < 3072 && out.size() < targetBytes; ++line) {
            for (int i = 0; i < 16; ++i) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                std::snprintf(buf, sizeof buf, i == 15 ? "%02X\n" : "%02X ", static_cast<unsigned>(x & 0xFF));
                out += buf;
            }
            address += 16;
        }
        address += 0x100;
    }
    out += "@FFE0\n";
    for (int i = 0; i < 32; ++i) out += "00 ";
    out += "\nq\n";
    return out;
}

void BM_LoadTIFile(benchmark::State& state) {
    testing::TempDir dir;
    const std::string path = dir.File("big.txt");
    const std::string file = MakeTiText(1u << 20);
    testing::WriteFile(path, file);
    QuorBSLHost host(nullptr);
    for (auto _ : state) {
        ResultCode r = host.BSLLoadTIFile(path.c_str());
        if (r != 1) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(host.TextLength());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(file.size()));
    state.counters["file_bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_LoadTIFile)->Unit(benchmark::kMillisecond);

void BM_ProgramEmbeddedTru(benchmark::State& state) {
    testing::TempDir dir;
    const LoaderMemoryMap tru = bsltest::TruMap();

    double simS = 0, boundS = 0, cpuMs = 0;
    for (auto _ : state) {
        const double cpu0 = CpuMs();
        sim::SimWorld world;
        sim::SimLoaderConfig config;
        sim::SimLoaderDevice device(config);
        world.AddDevice("SIM1", device, config.applicationBaud);
        // The program's own log level, so the log's cost is in the figure.
        QuorLog log(dir.File("bench.log").c_str(), QuorLog::kLevelDetail);
        QuorBSLHost host(&log);
        const std::uint64_t t0 = world.Clock().NowMicros();
        ResultCode r = host.BSLConnect("SIM1", tru.loaderBaud, true, 3);
        if (r > 0) r = host.BSLProgramImage(tru);
        host.BSLDisconnect();
        const std::uint64_t t1 = world.Clock().NowMicros();
        cpuMs = CpuMs() - cpu0;
        if (r <= 0 || !device.Violations().empty()) state.SkipWithError("programming failed");

        const double wireS = static_cast<double>(device.FrameBytesIn() + device.FrameBytesOut()) * 10.0 /
                             static_cast<double>(tru.loaderBaud);
        const double pausesS = (QuorBSLHost::kConnectSettleMs + QuorBSLHost::kInvocationReplyPauseMs +
                                2 * QuorBSLHost::kHandshakeReplyPauseMs + QuorBSLHost::kVectorsPauseMs +
                                QuorBSLHost::kDisconnectPauseMs) / 1000.0;
        simS = static_cast<double>(t1 - t0) / 1e6;
        boundS = wireS + static_cast<double>(device.ChargedProcessingUs()) / 1e6 + pausesS;
        std::remove(log.FileName().c_str());
    }
    state.counters["sim_s"] = simS;
    state.counters["bound_s"] = boundS;
    state.counters["ratio"] = simS / boundS;
    state.counters["host_cpu_ms"] = cpuMs;
}
BENCHMARK(BM_ProgramEmbeddedTru)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
