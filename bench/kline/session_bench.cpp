// Initialize (timer-accurate 5-baud wake-up) plus the ECU's first block and twelve KW1281
// adaptation reads, against the simulated ECU on the virtual line, on the real clock.
// Compares the wall time with the least the protocol allows (wire_minimum.h).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench_line.h"
#include "ecusim/ecu_simulator.h"
#include "wire_minimum.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    std::printf("Initialize + first block + 12 KW1281 adaptation reads, real clock\n");
    std::printf("%4s %12s %12s %8s\n", "run", "wall ms", "minimum ms", "ratio");
    double worst = 0.0;
    for (int run = 0; run < runs; ++run) {
        bench::BenchLine bench("session-bench");
        auto ecu = std::make_shared<ecusim::EcuSimulator>(
            ecusim::DefaultConfig(ecusim::EcuProtocol::Kw1281));
        bench.line->AttachPeer(ecu);
        BoschComms& comms = *bench.comms;

        const auto start = std::chrono::steady_clock::now();
        VARIANT keys;
        VariantInit(&keys);
        bool ok = comms.Initialize(bench::kPort, 10400, 1, &keys) == S_OK;
        VariantClear(&keys);
        ok = ok && bench::Send(comms, {0x09});  // the ECU speaks first
        for (const auto& channel : ecu->Config().channels) {
            ok = ok && bench::Send(comms, {0x21, channel.number});
        }
        const double wallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (!ok) {
            std::fprintf(stderr, "run %d failed\n", run);
            return 1;
        }
        const double minimumMs = bench::WireMinimumMs(*bench.line);
        const double ratio = wallMs / minimumMs;
        worst = std::max(worst, ratio);
        std::printf("%4d %12.1f %12.1f %8.4f\n", run, wallMs, minimumMs, ratio);
    }
    std::printf("worst ratio %.4f\n", worst);
    return 0;
}
