#pragma once
// Shared set-up for the wire tests: a simulated clock in force and a line on it, plus a
// peer that records every callback and can react through hooks.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "clock/clock.h"
#include "kline/kline.h"

namespace kline::testing {

constexpr std::int64_t kStartNs = 1'000'000'000;
constexpr std::int64_t kMs = 1'000'000;

class RecordingPeer : public Peer {
public:
    struct Level {
        std::int64_t timeNs;
        bool high;
    };
    void OnAttach(KLine& line) override { this->line = &line; }
    void OnLineLevel(std::int64_t nowNs, bool high) override {
        levels.push_back({nowNs, high});
        if (onLevel) onLevel(nowNs, high);
    }
    void OnByte(const ReceivedByte& byte) override {
        bytes.push_back(byte);
        if (onByte) onByte(byte);
    }
    void OnWake(std::int64_t nowNs) override {
        wakes.push_back(nowNs);
        if (onWake) onWake(nowNs);
    }

    KLine* line = nullptr;
    std::vector<Level> levels;
    std::vector<ReceivedByte> bytes;
    std::vector<std::int64_t> wakes;
    std::function<void(std::int64_t, bool)> onLevel;
    std::function<void(const ReceivedByte&)> onByte;
    std::function<void(std::int64_t)> onWake;
};

class WireTest : public ::testing::Test {
protected:
    WireTest() : clock(kStartNs), scoped(clock) { line.AttachPeer(peer); }

    // Time passes and the wire catches up, as it would for a tester polling the port.
    void Wait(std::int64_t ns) {
        clock.AdvanceNs(ns);
        line.AdvanceTo(clock.NowNs());
    }
    void WaitMs(std::int64_t ms) { Wait(ms * kMs); }
    void Write(std::initializer_list<std::uint8_t> bytes) {
        std::vector<std::uint8_t> v(bytes);
        ASSERT_EQ(line.TesterWrite(v.data(), v.size()), v.size());
    }
    std::vector<ReceivedByte> ReadAll() {
        std::vector<ReceivedByte> out;
        ReceivedByte byte;
        while (line.TesterRead(byte)) out.push_back(byte);
        return out;
    }
    static std::vector<std::uint8_t> Values(const std::vector<ReceivedByte>& bytes) {
        std::vector<std::uint8_t> v;
        for (const ReceivedByte& b : bytes) v.push_back(b.value);
        return v;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped;
    KLine line;
    std::shared_ptr<RecordingPeer> peer = std::make_shared<RecordingPeer>();
};

}  // namespace kline::testing
