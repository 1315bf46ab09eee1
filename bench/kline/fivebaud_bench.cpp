// Bit-edge error of the three 5-baud address senders on the real clock: each sender wakes
// the virtual line N times (argument 1, default 50); every line edge after the start bit's
// falling edge is compared with the nearest edge of an ideal grid anchored at that falling
// edge. Prints p50 / p99 / max of the absolute error per sender and grid. Argument 2
// ("basic", "accurate" or "uart") runs one sender only.
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_line.h"
#include "clock/win_time.h"

namespace {

using Sender = std::int32_t (BoschComms::*)(std::int32_t);

struct Errors {
    std::vector<double> nominal;  // against 200 ms
    std::vector<double> own;      // against the sender's own bit time
};

void Collect(const std::vector<kline::LineEvent>& events, std::size_t from, double ownBitMs,
             Errors& errors) {
    std::int64_t anchor = -1;
    for (std::size_t i = from; i < events.size(); ++i) {
        const auto& e = events[i];
        if (e.kind != kline::LineEvent::Kind::Level) continue;
        if (anchor < 0) {
            if (!e.on) anchor = e.timeNs;  // falling edge of the start bit
            continue;
        }
        const double ms = static_cast<double>(e.timeNs - anchor) / 1e6;
        for (auto [grid, out] : {std::pair{200.0, &errors.nominal}, {ownBitMs, &errors.own}}) {
            const double k = std::round(ms / grid);
            out->push_back(std::fabs(ms - k * grid));
        }
    }
}

void Print(const char* name, const char* grid, const std::vector<double>& values) {
    std::printf("%-22s %-16s %6zu %10.4f %10.4f %10.4f\n", name, grid, values.size(),
                bench::Percentile(values, 50), bench::Percentile(values, 99),
                bench::Percentile(values, 100));
}

// Whether the raised priority of the wake-ups really takes effect for this user.
bool RealtimeGranted() {
    const DWORD oldClass = GetPriorityClass(GetCurrentProcess());
    const int oldThread = GetThreadPriority(GetCurrentThread());
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    const bool granted = sched_getscheduler(0) == SCHED_FIFO;
    SetThreadPriority(GetCurrentThread(), oldThread);
    SetPriorityClass(GetCurrentProcess(), oldClass);
    return granted;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    const char* only = argc > 2 ? argv[2] : nullptr;
    bench::BenchLine bench("fivebaud-bench");
    BoschComms& comms = *bench.comms;
    comms.put_CableType(SerialPortConnection);
    if (!comms.OpenPort(bench::kPort, 10400)) {
        std::fprintf(stderr, "cannot open the virtual line\n");
        return 1;
    }

    struct Case {
        const char* key;
        const char* name;
        Sender sender;
        double ownBitMs;
    };
    // 0x55 changes the line level at every bit boundary.
    const Case cases[] = {
        {"basic", "basic (method 1)", &BoschComms::SendFiveBaudByte, 198.0},
        {"accurate", "accurate (method 2)", &BoschComms::SendFiveBaudByteAccurate, 200.05},
        {"uart", "UART (method 3)", &BoschComms::SendFiveBaudByteViaUart, 200.0},
    };
    std::printf("5-baud bit-edge error, address 0x55, %d wake-ups per sender, ms\n", runs);
    std::printf("uid %d, realtime scheduling %s\n", static_cast<int>(getuid()),
                RealtimeGranted() ? "granted" : "refused");
    std::printf("%-22s %-16s %6s %10s %10s %10s\n", "sender", "grid", "edges", "p50", "p99", "max");
    for (const auto& c : cases) {
        if (only != nullptr && std::strcmp(only, c.key) != 0) continue;
        Errors errors;
        for (int i = 0; i < runs; ++i) {
            bench.line->ClearRecords();
            (comms.*c.sender)(0x55);
            Collect(bench.line->Events(), 0, c.ownBitMs, errors);
        }
        Print(c.name, "200 ms", errors.nominal);
        char own[32];
        std::snprintf(own, sizeof own, "own %.2f ms", c.ownBitMs);
        Print(c.name, own, errors.own);
    }
    return 0;
}
