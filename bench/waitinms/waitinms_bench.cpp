// Measures WaitInMS on the real clock: how far each wait overshoots its target (p50, p99,
// max over 200 waits) and how much CPU time a wait costs.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "BoschComms.h"
#include "clock/clock.h"

namespace {

std::int64_t CpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

double Percentile(std::vector<std::int64_t> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return static_cast<double>(values[index]);
}

}  // namespace

int main() {
    constexpr int kWaits = 200;
    auto* comms = new BoschComms;
    platform::Clock& clock = platform::CurrentClock();
    comms->WaitInMS(1);  // fetches the counter frequency

    std::printf("%8s %12s %12s %12s %14s %10s\n", "wait ms", "p50 over ms", "p99 over ms",
                "max over ms", "CPU ms/wait", "CPU %");
    for (const int ms : {1, 5, 25, 198}) {
        std::vector<std::int64_t> overshootNs;
        overshootNs.reserve(kWaits);
        const std::int64_t cpuStart = CpuNs();
        for (int i = 0; i < kWaits; ++i) {
            const std::int64_t start = clock.NowNs();
            comms->WaitInMS(ms);
            overshootNs.push_back(clock.NowNs() - start -
                                  static_cast<std::int64_t>(ms) * 1'000'000);
        }
        const double cpuPerWaitMs = static_cast<double>(CpuNs() - cpuStart) / kWaits / 1e6;
        std::printf(
            "%8d %12.4f %12.4f %12.4f %14.3f %9.1f%%\n", ms, Percentile(overshootNs, 0.50) / 1e6,
            Percentile(overshootNs, 0.99) / 1e6,
            static_cast<double>(*std::max_element(overshootNs.begin(), overshootNs.end())) / 1e6,
            cpuPerWaitMs, 100.0 * cpuPerWaitMs / ms);
    }
    comms->Release();
    return 0;
}
