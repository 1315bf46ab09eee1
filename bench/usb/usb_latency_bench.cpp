// What the FTDI chip's latency timer costs on the K-line: KW1281 and KWP2000 sessions over
// the virtual USB cable against the simulated ECU, with the 1 ms timer the library sets and
// with the chip's 16 ms default, on the simulated clock at N phases of the timer (argument 1,
// default 40). For each window of the ECU that the tester's answer must meet, prints the
// latest answer seen and the margin left, and how many sessions went through.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BoschComms.h"
#include "bench_line.h"
#include "clock/clock.h"
#include "ecusim/ecu_simulator.h"
#include "ecusim/line_directory.h"
#include "ftdi/device_choice.h"
#include "ftdi/virtual_cable.h"
#include "kline/kline.h"
#include "registry/registry.h"
#include "serial/device_map.h"

namespace {

using kline::Side;

constexpr const char* kLineName = "usb-latency-bench";

struct Window {
    const char* name;
    double limitMs;
    double latestMs = 0.0;
    double earliestMs = 1e9;
};

double Ms(std::int64_t ns) { return static_cast<double>(ns) / 1e6; }

// Gaps from the end of one byte to the start of the tester's next byte, after a byte of the
// given sender; the first tester byte (the key byte 2 complement) goes to its own window.
void Measure(const std::vector<kline::WireByte>& traffic, Side after, Window& complement,
             Window& answer) {
    bool first = true;
    for (std::size_t i = 1; i < traffic.size(); ++i) {
        if (traffic[i].sender != Side::Tester) continue;
        const double gap = Ms(traffic[i].startNs - traffic[i - 1].endNs);
        if (first) {
            first = false;
            complement.latestMs = std::max(complement.latestMs, gap);
            complement.earliestMs = std::min(complement.earliestMs, gap);
            continue;
        }
        if (traffic[i - 1].sender != after) continue;
        answer.latestMs = std::max(answer.latestMs, gap);
    }
}

void Run(ecusim::EcuProtocol protocol, std::uint8_t latencyMs, int phases) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    ftdi::ForceVirtualLatencyMs(latencyMs);
    const bool kw1281 = protocol == ecusim::EcuProtocol::Kw1281;
    const auto config = ecusim::DefaultConfig(protocol);
    Window complement{"key byte 2 complement", config.timing.wake.kw2ComplementMaxMs};
    Window answer{kw1281 ? "next byte after the ECU's (KW1281)" : "next request byte (P4)",
                  kw1281 ? config.timing.byteTimeoutMs : config.timing.p4MaxMs};
    int succeeded = 0;
    for (int phase = 0; phase < phases; ++phase) {
        // The ECU answers a little later each time (within its ranges), so that its bytes
        // meet the timer at every phase.
        auto shifted = config;
        const double shiftMs = std::fmod(phase * 0.409, 16.0);
        shifted.timing.wake.w1Ms += shiftMs;
        shifted.timing.p2Ms += shiftMs;
        shifted.timing.blockDelayMs += shiftMs;
        shifted.timing.complementDelayMs += shiftMs;
        auto line = std::make_shared<kline::KLine>();
        line->AttachPeer(std::make_shared<ecusim::EcuSimulator>(shifted));
        ecusim::RegisterLine(kLineName, line);
        clock.AdvanceNs(1'000'000'000);
        auto* comms = new BoschComms;
        VARIANT keys;
        VariantInit(&keys);
        bool ok = comms->Initialize(0, 10400, 0x01, &keys) == S_OK;
        VariantClear(&keys);
        if (kw1281) {
            ok = ok && bench::Send(*comms, {0x09});
            for (const auto& c : config.channels) ok = ok && bench::Send(*comms, {0x21, c.number});
        } else {
            for (int i = 0; i < 10 && ok; ++i)
                ok = bench::Send(*comms, {0x1A, 0x9B}) && bench::Send(*comms, {0x3E});
        }
        succeeded += ok ? 1 : 0;
        Measure(line->Traffic(), kw1281 ? Side::Peer : Side::Tester, complement, answer);
        comms->Close();
        comms->Release();
        ecusim::UnregisterLine(kLineName);
    }
    ftdi::ForceVirtualLatencyMs(0);
    for (const Window* w : {&complement, &answer}) {
        char earliest[16] = "-";
        if (w == &complement) std::snprintf(earliest, sizeof earliest, "%.2f", w->earliestMs);
        std::printf("%-8s %5u ms  %-36s %8s %8.2f %8.2f %8.2f   %3d/%d\n",
                    kw1281 ? "KW1281" : "KWP2000", latencyMs, w->name, earliest, w->latestMs,
                    w->limitMs, w->limitMs - w->latestMs, succeeded, phases);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int phases = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    char pattern[] = "/tmp/ortaline-usb-bench-XXXXXX";
    const std::string home = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey, ftdi::kUsbDeviceValue,
                          std::string(serial::kVirtualDevicePrefix) + kLineName);
    std::printf("ECU windows over the USB cable, %d phases of the latency timer, ms\n", phases);
    std::printf("%-8s %8s  %-36s %8s %8s %8s %8s   %s\n", "protocol", "latency", "window",
                "earliest", "latest", "limit", "margin", "sessions ok");
    for (std::uint8_t latency : {1, 16}) {
        Run(ecusim::EcuProtocol::Kw1281, latency, phases);
        Run(ecusim::EcuProtocol::Kwp2000, latency, phases);
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
