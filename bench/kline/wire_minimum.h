#pragma once
// The least time a 5-baud wake-up and the exchanges that followed it can take on the wire:
// the mandated tester waits (320 ms lead-in, eleven 200.05 ms bit slots less 1 ms, 25 ms
// before the complement of key byte 2), every byte's time on the wire at 10400 baud, and
// the gap the simulator leaves before each of its bytes (its configured delays).
#include <cstdint>

#include "kline/kline.h"

namespace bench {

inline double WireMinimumMs(const kline::KLine& line) {
    constexpr double kLeadInMs = 320.0;
    constexpr double kBitMs = 200.05;
    constexpr double kKeyword2InverseMs = 25.0;
    // The first falling edge is the start bit; the address byte ends ten bit slots later.
    std::int64_t startEdge = -1;
    for (const auto& e : line.Events()) {
        if (e.kind == kline::LineEvent::Kind::Level && !e.on) {
            startEdge = e.timeNs;
            break;
        }
    }
    double ms = kLeadInMs + 11 * kBitMs - 1.0;
    std::int64_t previousEnd = startEdge + static_cast<std::int64_t>(10 * kBitMs * 1e6);
    bool firstTesterByte = true;
    for (const auto& b : line.Traffic()) {
        if (b.framing.baud != 10400) continue;
        ms += static_cast<double>(b.endNs - b.startNs) / 1e6;
        if (b.sender == kline::Side::Peer) {
            ms += static_cast<double>(b.startNs - previousEnd) / 1e6;
        } else if (firstTesterByte) {
            ms += kKeyword2InverseMs;
            firstTesterByte = false;
        }
        previousEnd = b.endNs;
    }
    return ms;
}

}  // namespace bench
