#pragma once
// The virtual K-line: one wire shared by the tester (through the serial layer's virtual
// backend) and a peer (the ECU simulator), on the process clock (platform::CurrentClock()).
//
// The wire is the level of the line over time. The line is high unless one side drives it
// low: the tester by its break state or by the 0 bits of a byte its UART is sending, the
// peer by the 0 bits of its own bytes. Each side's UART decodes its received bytes by
// sampling that level at its own framing (start-bit edge, mid-bit samples), so the tester
// reads its own bytes back as echo, a break reads as one 0x00 with a framing error, and a
// byte sent at a baud rate the receiver does not use arrives as garbage.
//
// Nothing runs in the background: the wire works out what happened up to "now" whenever
// one side touches it (AdvanceTo), and a blocking reader sleeps on the clock until
// NextEventNs(). With a SimulatedClock that turns seconds of line time into microseconds.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kline {

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OnePointFive, Two };

struct Framing {
    std::uint32_t baud = 10400;
    int dataBits = 8;  // 5 to 8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;

    std::int64_t BitNs() const { return 1'000'000'000LL / (baud == 0 ? 1 : baud); }
    // Start + data + parity + stop bits, in nanoseconds.
    std::int64_t CharacterNs() const;
    bool operator==(const Framing&) const = default;
};

enum class Side { Tester, Peer };

struct ReceivedByte {
    std::uint8_t value = 0;
    bool framingError = false;  // stop bit sampled low
    bool parityError = false;
    bool breakCondition = false;  // all bits, parity and stop low
    bool parityBit = false;       // the parity bit's level, when the framing has one
    std::int64_t timeNs = 0;      // when the receiver's UART delivered it (mid stop bit)
};

// A byte of a ninth-bit protocol: eight data bits and a ninth bit carried in the parity
// bit's place (mark for 1, space for 0), at the sender's baud rate and stop bits.
struct NinthBitByte {
    std::uint8_t value = 0;
    bool ninthBit = false;
};

// Every byte a side's UART put on the wire, for assertions and benchmarks.
struct WireByte {
    Side sender;
    std::uint8_t value;
    std::int64_t startNs;  // leading edge of the start bit
    std::int64_t endNs;    // end of the last stop bit
    Framing framing;
};

// Every change a side made to its line driver or UART, with its time.
struct LineEvent {
    enum class Kind { Break, Dtr, Rts, Framing, Level };
    std::int64_t timeNs;
    Side side;
    Kind kind;
    bool on;          // Break / Dtr / Rts: new state; Level: line high after the change
                      // (a Level event's side is the side whose driver moved)
    Framing framing;  // Framing: the new framing
};

// A fault of the tester's interface in what its own UART receives for a byte it sent (its
// echo). The line and the peer are untouched: the peer still hears the byte as sent.
struct EchoFault {
    enum class Effect {
        Drop,        // the tester's UART receives nothing for the byte
        Replace,     // the tester receives `replacement` instead of the echo
        StrayZeros,  // `strayZeros` 0x00 bytes arrive just before the real echo
    };
    Effect effect = Effect::Drop;
    // The bytes it hits, counted from the next byte the tester's UART starts to send: only
    // bytes equal to `value` count when it is set; the first `skip` bytes that count are
    // passed over, the `times` after them are hit.
    std::optional<std::uint8_t> value;
    std::size_t skip = 0;
    int times = 1;
    std::uint8_t replacement = 0x00;
    int strayZeros = 1;
};

// One echo that a fault changed.
struct EchoFaultHit {
    std::int64_t timeNs;  // when the tester's UART delivered (or would have delivered) the echo
    std::uint8_t sent;    // the tester's byte
    EchoFault::Effect effect;
};

class KLine;

// The ECU side of the wire. All callbacks run inside KLine::AdvanceTo on the tester's
// thread, in time order; `now` is the time of the event, not the wall clock.
class Peer {
public:
    virtual ~Peer() = default;
    virtual void OnAttach(KLine& line) {}
    // The combined line level changed (high = released).
    virtual void OnLineLevel(std::int64_t nowNs, bool high) {}
    // The peer's UART decoded a byte sent by the tester (the peer hears no echo of its own).
    virtual void OnByte(const ReceivedByte& byte) {}
    // A time the peer asked for with KLine::PeerWakeAt.
    virtual void OnWake(std::int64_t nowNs) {}
    // The line's time base moved by deltaNs: a tester claimed the line under a clock with
    // another origin (a test installed a new SimulatedClock). Pending transmissions and
    // wake-ups have been moved already; a peer that keeps times of its own moves them too.
    virtual void OnTimeShift(std::int64_t deltaNs) {}
};

class KLine {
public:
    KLine();
    ~KLine();
    KLine(const KLine&) = delete;
    KLine& operator=(const KLine&) = delete;

    void AttachPeer(std::shared_ptr<Peer> peer);
    Peer* GetPeer() const;

    // ---- tester side (serial layer) ----
    void SetTesterFraming(const Framing& framing);
    Framing TesterFraming() const;
    void SetTesterBreak(bool on);
    void SetTesterDtr(bool on);
    void SetTesterRts(bool on);
    bool TesterBreak() const;
    bool TesterDtr() const;
    bool TesterRts() const;
    // Queues bytes behind whatever the tester's UART is still sending; returns the count.
    std::size_t TesterWrite(const std::uint8_t* bytes, std::size_t count);
    // Time at which the tester's last queued byte has left the UART.
    std::int64_t TesterTransmitDoneNs() const;
    // End of the last stop bit of the newest byte the tester's UART has started to send;
    // the lowest int64_t before its first byte.
    std::int64_t TesterLastByteEndNs() const;
    // Bytes the tester's UART has received up to now (advances the wire to the clock's now).
    std::size_t TesterAvailable();
    bool TesterRead(ReceivedByte& out);
    void TesterPurgeReceive();   // drop received bytes not yet read
    void TesterAbortTransmit();  // drop queued bytes whose start bit has not begun
    // Cable state: a disconnected tester's operations fail in the serial layer; on the wire
    // it neither drives nor hears the line, and TesterWrite takes nothing.
    void SetTesterConnected(bool connected);
    bool TesterConnected() const;
    // Exclusive open by one tester at a time. Claiming starts with an empty receive queue
    // (as a freshly opened port does) and, when the clock in force is behind the line's time,
    // moves the line's time base to the clock (see Peer::OnTimeShift). Releasing clears the
    // tester's break and drops its unsent bytes, so a closed port leaves the line released.
    bool ClaimTester();
    void ReleaseTester();
    bool TesterClaimed() const;
    // Arms a fault of the tester's receiver (see EchoFault). Faults stay armed across port
    // closes and opens until they have hit all their bytes; when two armed faults pick the
    // same byte, the one armed first takes it and the other waits for its next byte. A byte
    // whose echo the tester's receiver does not decode on its own (the line was already low
    // when it started) uses its pick up without a hit.
    void InjectTesterEchoFault(const EchoFault& fault);
    void ClearTesterEchoFaults();
    // Bytes still to be hit by the armed faults.
    std::size_t ArmedTesterEchoFaults() const;

    // ---- peer side (ECU simulator) ----
    void SetPeerFraming(const Framing& framing);
    Framing PeerFraming() const;
    // Queues bytes behind the peer's pending bytes, the first start bit not before notBeforeNs
    // (a time already past means the wire's present).
    void PeerTransmit(const std::uint8_t* bytes, std::size_t count, std::int64_t notBeforeNs);
    // The same for ninth-bit bytes: each goes out with 8 data bits and its own parity bit.
    void PeerTransmitNinthBit(const NinthBitByte* bytes, std::size_t count,
                              std::int64_t notBeforeNs);
    void PeerAbortTransmit();  // drop queued bytes whose start bit has not begun
    // Peer::OnWake at timeNs; a time already past means the wire's present (from inside a
    // callback: just after the event being handled). Each request gives one OnWake.
    void PeerWakeAt(std::int64_t timeNs);

    // ---- time ----
    // Runs everything that happens up to timeNs (decoding, peer callbacks, deliveries).
    // Ignored when called from inside a peer callback: time moves only from the outside.
    void AdvanceTo(std::int64_t timeNs);
    // The earliest time after the last AdvanceTo at which something may happen on the wire
    // (a byte completes at a receiver, a peer wake-up, a queued transmission starts);
    // std::numeric_limits<int64_t>::max() when nothing is pending.
    std::int64_t NextEventNs() const;
    bool LineHigh() const;

    // ---- records ----
    // For assertions on the tester's thread. Each record keeps its newest million entries
    // at least (older ones are dropped in halves), so a long run stays bounded.
    // Recording is on from construction; a line nobody reads the records of (the program's
    // own sim: devices) turns it off, which also drops what was kept.
    void SetRecording(bool on);
    const std::vector<WireByte>& Traffic() const;
    const std::vector<LineEvent>& Events() const;
    const std::vector<EchoFaultHit>& EchoFaultHits() const;
    void ClearRecords();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace kline
