// How fast the virtual K-line processes a long KW1281-style session on a simulated clock:
// every byte is answered by its complement, the tester waiting the way the serial layer
// does (sleep until NextEventNs, then look). Prints wall time per byte on the wire.
#include <chrono>
#include <cstdio>
#include <memory>

#include "clock/clock.h"
#include "kline/kline.h"

namespace {

constexpr std::int64_t kMs = 1'000'000;

// Complements every byte it hears, and after each tester block sends a block of its own.
class ComplementingEcu : public kline::Peer {
public:
    void OnAttach(kline::KLine& line) override { m_line = &line; }
    void OnByte(const kline::ReceivedByte& byte) override {
        const std::uint8_t inverse = static_cast<std::uint8_t>(~byte.value);
        m_line->PeerTransmit(&inverse, 1, byte.timeNs + 2 * kMs);
    }

private:
    kline::KLine* m_line = nullptr;
};

bool WaitForBytes(kline::KLine& line, platform::Clock& clock, std::size_t count,
                  std::int64_t timeoutNs) {
    const std::int64_t deadline = clock.NowNs() + timeoutNs;
    while (line.TesterAvailable() < count) {
        if (clock.NowNs() >= deadline) return false;
        const std::int64_t next = line.NextEventNs();
        clock.SleepUntilNs(next < deadline ? next : deadline);
    }
    return true;
}

struct Result {
    std::size_t wireBytes;
    double wallMs;
    double simulatedS;
};

Result RunSession(std::size_t testerBytes, std::uint32_t baud) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    kline::KLine line;
    line.AttachPeer(std::make_shared<ComplementingEcu>());
    kline::Framing framing;
    framing.baud = baud;
    line.SetTesterFraming(framing);
    line.SetPeerFraming(framing);
    line.ClaimTester();

    const std::int64_t simStart = clock.NowNs();
    const auto wallStart = std::chrono::steady_clock::now();
    kline::ReceivedByte byte;
    for (std::size_t i = 0; i < testerBytes; ++i) {
        const std::uint8_t value = static_cast<std::uint8_t>(i * 37);
        line.TesterWrite(&value, 1);
        // Echo, then the complement.
        if (!WaitForBytes(line, clock, 2, 100 * kMs)) {
            std::fprintf(stderr, "byte %zu: no answer\n", i);
            break;
        }
        line.TesterRead(byte);
        line.TesterRead(byte);
        if (byte.value != static_cast<std::uint8_t>(~value)) {
            std::fprintf(stderr, "byte %zu: wrong complement\n", i);
            break;
        }
        clock.SleepMs(1);
    }
    const auto wallEnd = std::chrono::steady_clock::now();
    line.ReleaseTester();
    return {line.Traffic().size(),
            std::chrono::duration<double, std::milli>(wallEnd - wallStart).count(),
            static_cast<double>(clock.NowNs() - simStart) / 1e9};
}

}  // namespace

int main() {
    std::printf("%10s %8s %12s %12s %14s\n", "bytes", "baud", "wall ms", "sim s", "us/byte");
    for (std::size_t n : {1000u, 10000u, 50000u}) {
        for (std::uint32_t baud : {10400u, 9600u}) {
            const Result r = RunSession(n, baud);
            std::printf("%10zu %8u %12.2f %12.2f %14.3f\n", r.wireBytes, baud, r.wallMs,
                        r.simulatedS, 1000.0 * r.wallMs / static_cast<double>(r.wireBytes));
        }
    }
    return 0;
}
