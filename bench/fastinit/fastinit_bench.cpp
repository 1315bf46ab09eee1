// Fast initialisation on the real clock over the virtual line, N runs per pass (argument
// 1, default 50): the low phase on the wire against 25.0 ms, and the high phase up to the
// first start bit against 25.0 ms, which is the gap from the nominal end of the high phase
// to the first start bit: first with the correction forced to 0 before every run, then with
// the correction each run stores for the next. Prints p50 / p99 / max of |error| and the
// signed mean per row, in ms.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_line.h"
#include "ecusim/ecu_simulator.h"

namespace {

constexpr const char* kCorrectionKey =
    "Software\\VB and VBA Program Settings\\GARVOLEX\\CONNECTION";
constexpr double kPhaseMs = 25.0;

struct Pattern {
    double lowMs = 0;
    double highMs = 0;  // rising edge to the first start bit
};

// The first three level changes since the records were cleared: the pattern's falling and
// rising edges and the start bit of the first request byte.
bool Measure(const kline::KLine& line, Pattern& out) {
    std::vector<std::int64_t> edges;
    for (const auto& e : line.Events()) {
        if (e.kind == kline::LineEvent::Kind::Level) edges.push_back(e.timeNs);
        if (edges.size() == 3) break;
    }
    if (edges.size() < 3) return false;
    out.lowMs = static_cast<double>(edges[1] - edges[0]) / 1e6;
    out.highMs = static_cast<double>(edges[2] - edges[1]) / 1e6;
    return true;
}

void ForgetCorrection() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kCorrectionKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "SER_CorrectionFactor");
        RegCloseKey(key);
    }
}

struct Row {
    const char* name;
    std::vector<double> values;
};

void Print(const Row& row) {
    std::vector<double> errors;
    double sum = 0;
    for (double v : row.values) {
        errors.push_back(std::fabs(v));
        sum += v;
    }
    const double mean = row.values.empty() ? 0.0 : sum / static_cast<double>(row.values.size());
    std::printf("%-40s %5zu %10.4f %10.4f %10.4f %10.4f\n", row.name, row.values.size(),
                bench::Percentile(errors, 50), bench::Percentile(errors, 99),
                bench::Percentile(errors, 100), mean);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 50;
    bench::BenchLine bench("fastinit-bench");
    bench.line->AttachPeer(std::make_shared<ecusim::EcuSimulator>(
        ecusim::DefaultConfig(ecusim::EcuProtocol::Kwp2000)));
    BoschComms& comms = *bench.comms;

    Row lowError{"low phase (both passes)", {}};
    Row highUncorrected{"high phase to start bit, correction 0", {}};
    Row highCorrected{"high phase to start bit, stored corr.", {}};
    int failures = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < runs; ++i) {
            if (pass == 0) ForgetCorrection();
            bench.line->ClearRecords();
            VARIANT keys;
            VariantInit(&keys);
            if (FAILED(comms.InitializeFast(bench::kPort, 0x01, &keys))) ++failures;
            VariantClear(&keys);
            Pattern p;
            if (!Measure(*bench.line, p)) continue;
            lowError.values.push_back(p.lowMs - kPhaseMs);
            (pass == 0 ? highUncorrected : highCorrected).values.push_back(p.highMs - kPhaseMs);
        }
    }

    std::printf(
        "Fast initialisation on the virtual line, real clock, %d runs per pass; "
        "|error| against 25.0 ms in ms, and its signed mean\n",
        runs);
    std::printf("%-40s %5s %10s %10s %10s %10s\n", "row", "n", "p50", "p99", "max", "mean");
    Print(lowError);
    Print(highUncorrected);
    Print(highCorrected);
    std::printf(
        "The high-phase rows are the gap from the nominal end of the high phase to the "
        "first start bit on the wire.\nfailed initialisations: %d of %d\n",
        failures, 2 * runs);
    return 0;
}
