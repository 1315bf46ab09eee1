#pragma once
// A small hand-written K-line tester for driving the simulated ECU through the wire: it
// bit-bangs the 5-baud address, reads and writes bytes with their echoes, and speaks KW1281
// blocks and ISO 14230 frames. Deliberately independent of the library.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "clock/clock.h"
#include "ecusim/ecu_simulator.h"
#include "kline/kline.h"

namespace ecusim::testing {

constexpr std::int64_t kMs = 1'000'000;
using Bytes = std::vector<std::uint8_t>;

class EcuTest : public ::testing::Test {
public:
    EcuTest() : clock(1'000'000'000), scoped(clock) {}

    void Make(EcuConfig config) {
        ecu = std::make_shared<EcuSimulator>(std::move(config));
        line.AttachPeer(ecu);
    }
    void Make(EcuProtocol protocol) { Make(DefaultConfig(protocol)); }
    // Lets whatever is still on the wire go out and forgets what was received.
    void Settle() {
        WaitMs(300);
        line.TesterPurgeReceive();
    }

    std::int64_t Now() { return clock.NowNs(); }
    void WaitNs(std::int64_t ns) {
        const std::int64_t until = clock.NowNs() + ns;
        while (clock.NowNs() < until) {
            const std::int64_t next = std::min(until, std::max(line.NextEventNs(), Now() + 1));
            clock.AdvanceNs(next - Now());
            line.AdvanceTo(Now());
        }
    }
    void WaitMs(double ms) { WaitNs(static_cast<std::int64_t>(ms * kMs)); }

    // ---- 5-baud senders ----
    // Each level held for its own time; the line is released afterwards.
    void Drive(const std::vector<std::pair<bool, double>>& levelsMs) {
        for (auto [high, ms] : levelsMs) {
            line.SetTesterBreak(!high);
            WaitMs(ms);
        }
        line.SetTesterBreak(false);
        line.TesterPurgeReceive();  // our own breaks read back as 0x00
    }
    static std::vector<std::pair<bool, double>> Frame(std::uint8_t lineByte, double bitMs) {
        std::vector<std::pair<bool, double>> v{{false, bitMs}};
        for (int i = 0; i < 8; ++i) v.push_back({((lineByte >> i) & 1) != 0, bitMs});
        v.push_back({true, bitMs});
        return v;
    }
    void BitBang8(std::uint8_t address, double bitMs = 198.0) {
        WaitMs(310);
        Drive(Frame(address, bitMs));
    }
    void BitBang7(std::uint8_t address, double bitMs = 198.0) {
        unsigned parity = 0;
        for (int i = 0; i < 7; ++i) parity ^= (address >> i) & 1u;
        WaitMs(310);
        Drive(Frame(static_cast<std::uint8_t>((address & 0x7F) | (parity << 7)), bitMs));
    }
    // The 11-bit word, bit 0 first: idle 1 (one millisecond short), start, 8 bits, stop.
    void Accurate(std::uint8_t address) {
        const unsigned word = (static_cast<unsigned>(address) << 2) | 0x401u;
        std::vector<std::pair<bool, double>> v;
        for (int i = 0; i < 11; ++i)
            v.push_back({((word >> i) & 1) != 0, i == 0 ? 199.05 : 200.05});
        Drive(v);
    }
    void Uart5Baud(std::uint8_t address) {
        line.SetTesterFraming({5, 8, kline::Parity::None, kline::StopBits::One});
        Write({address});
        WaitMs(2100);
        line.SetTesterFraming({});
        line.TesterPurgeReceive();
    }

    // ---- bytes ----
    std::optional<kline::ReceivedByte> Read(double timeoutMs = 1500) {
        const std::int64_t until = Now() + static_cast<std::int64_t>(timeoutMs * kMs);
        kline::ReceivedByte b;
        for (;;) {
            line.AdvanceTo(Now());
            if (line.TesterRead(b)) return b;
            if (Now() >= until) return std::nullopt;
            const std::int64_t next = std::min(until, std::max(line.NextEventNs(), Now() + 1));
            clock.AdvanceNs(next - Now());
        }
    }
    std::optional<std::uint8_t> ReadValue(double timeoutMs = 1500) {
        auto b = Read(timeoutMs);
        if (!b) return std::nullopt;
        return b->value;
    }
    void Write(const std::vector<std::uint8_t>& bytes) {
        ASSERT_EQ(line.TesterWrite(bytes.data(), bytes.size()), bytes.size());
    }
    // Writes one byte a moment after the last one heard and returns its echo.
    std::optional<std::uint8_t> WriteEchoed(std::uint8_t b) {
        WaitMs(1);
        Write({b});
        return ReadValue(50);
    }

    // ---- wake-up ----
    struct KeyBytes {
        std::optional<std::uint8_t> sync, kw1, kw2, addressComplement;
    };
    // After the address is out: 0x55, the key bytes, the complement of key byte 2 after
    // 25 ms and, when asked, the ECU's complement of the address.
    KeyBytes Handshake(bool expectAddressComplement) {
        KeyBytes k;
        k.sync = ReadValue(400);
        k.kw1 = ReadValue(100);
        k.kw2 = ReadValue(100);
        if (!k.kw2) return k;
        WaitMs(25);
        Write({static_cast<std::uint8_t>(~*k.kw2)});
        EXPECT_EQ(ReadValue(50), static_cast<std::uint8_t>(~*k.kw2)) << "echo";
        if (expectAddressComplement) k.addressComplement = ReadValue(100);
        return k;
    }

    // ---- KW1281 ----
    // Receives one block, answering each byte but the last with its complement.
    std::vector<std::uint8_t> ReceiveBlock(double firstTimeoutMs = 1500) {
        std::vector<std::uint8_t> block;
        auto length = ReadValue(firstTimeoutMs);
        if (!length) return block;
        block.push_back(*length);
        while (block.size() <= block[0]) {
            const auto complement = static_cast<std::uint8_t>(~block.back());
            if (WriteEchoed(complement) != complement) return {};
            auto b = ReadValue(100);
            if (!b) return block;
            block.push_back(*b);
        }
        return block;
    }
    // Sends a block; returns how many of its bytes the ECU acknowledged correctly.
    std::size_t SendBlock(std::uint8_t counter, std::uint8_t title,
                          const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> block{static_cast<std::uint8_t>(data.size() + 3), counter, title};
        block.insert(block.end(), data.begin(), data.end());
        block.push_back(0x03);
        return SendRaw(block);
    }
    std::size_t SendRaw(const std::vector<std::uint8_t>& block) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (WriteEchoed(block[i]) != block[i]) return i;
            if (i + 1 == block.size()) break;
            if (ReadValue(100) != static_cast<std::uint8_t>(~block[i])) return i;
        }
        return block.size();
    }

    // ---- KWP2000 ----
    static std::vector<std::uint8_t> KwpFrame(const std::vector<std::uint8_t>& payload) {
        std::vector<std::uint8_t> f;
        f.reserve(payload.size() + 2);
        f.push_back(static_cast<std::uint8_t>(payload.size()));
        for (std::uint8_t b : payload) f.push_back(b);
        unsigned sum = 0;
        for (auto b : f) sum += b;
        f.push_back(static_cast<std::uint8_t>(sum));
        return f;
    }
    // Writes the frame and checks its echo.
    void SendFrame(const std::vector<std::uint8_t>& frame) {
        WaitMs(1);
        Write(frame);
        for (std::uint8_t b : frame) ASSERT_EQ(ReadValue(50), b) << "echo";
    }
    // Reads one ISO 14230 frame; empty when nothing comes.
    std::vector<std::uint8_t> ReadFrame(double timeoutMs = 1500) {
        std::vector<std::uint8_t> f;
        auto first = ReadValue(timeoutMs);
        if (!first) return f;
        f.push_back(*first);
        std::size_t header = 1 + ((*first & 0xC0) ? 2 : 0) + ((*first & 0x3F) ? 0 : 1);
        while (f.size() < header) {
            auto b = ReadValue(50);
            if (!b) return f;
            f.push_back(*b);
        }
        const std::size_t n = (*first & 0x3F) ? (*first & 0x3F) : f.back();
        while (f.size() < header + n + 1) {
            auto b = ReadValue(50);
            if (!b) return f;
            f.push_back(*b);
        }
        return f;
    }
    // Payload of a frame without addresses, checksum verified.
    static std::vector<std::uint8_t> Payload(const std::vector<std::uint8_t>& f) {
        if (f.size() < 2) return {};
        unsigned sum = 0;
        for (std::size_t i = 0; i + 1 < f.size(); ++i) sum += f[i];
        EXPECT_EQ(static_cast<std::uint8_t>(sum), f.back()) << "checksum";
        const std::size_t header = 1 + ((f[0] & 0xC0) ? 2 : 0) + ((f[0] & 0x3F) ? 0 : 1);
        return {f.begin() + static_cast<std::ptrdiff_t>(header), f.end() - 1};
    }
    std::vector<std::uint8_t> Request(const std::vector<std::uint8_t>& payload) {
        SendFrame(KwpFrame(payload));
        return Payload(ReadFrame());
    }
    void KwpSession() {
        BitBang8(0x01);
        const KeyBytes k = Handshake(true);
        ASSERT_EQ(k.addressComplement, 0xFE);
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped;
    kline::KLine line;
    std::shared_ptr<EcuSimulator> ecu;
};

}  // namespace ecusim::testing
