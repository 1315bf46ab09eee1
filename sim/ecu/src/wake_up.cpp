// The 5-baud wake-up: address decoding, 0x55 and key bytes, the complement handshake.
#include <algorithm>
#include <cstdio>

#include "simulator_impl.h"

namespace ecusim {
namespace {

const kline::Framing kFraming{10400, 8, kline::Parity::None, kline::StopBits::One};

// Bit 7 of the 7-bit address form: the exclusive or of the seven address bits.
bool SevenBitForm(std::uint8_t lineByte, std::uint8_t address) {
    if (address >= 0x80 || (lineByte & 0x7F) != address) return false;
    unsigned parity = 0;
    for (int i = 0; i < 7; ++i) parity ^= (address >> i) & 1u;
    return (lineByte >> 7) == parity;
}

std::string Hex(const char* format, unsigned a, double b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

void EcuSimulator::Impl::OnLevel(std::int64_t nowNs, bool high) {
    if (!high && nowNs >= txEndNs && nowNs >= testerByteUntilNs) TesterByteStarts(nowNs);
    decoder.OnLevel(nowNs, high);
    timers.Cancel(decisionTimer);
    const std::int64_t decideAt = decoder.DecisionTimeNs();
    if (decideAt != WakeDecoder::kNever) {
        decisionTimer = timers.Add(std::max(decideAt, nowNs + 1), [this](std::int64_t t) {
            decisionTimer = 0;
            DecideWake(t);
        });
    }
}

void EcuSimulator::Impl::DecideWake(std::int64_t nowNs) {
    WakeReport report;
    if (!decoder.Decide(nowNs, report)) return;
    if (report.valid) {
        if (report.lineByte == config.address) {
            report.matched = true;
        } else if (config.acceptSevenBitAddress && SevenBitForm(report.lineByte, config.address)) {
            report.matched = report.sevenBit = true;
        } else {
            report.reason = "another address";
        }
    }
    Keep(wakeReports, report);
    Note(nowNs, LogEntry::Kind::Wake, {report.lineByte},
         Hex("5-baud byte 0x%02X, bit time %.3f ms", report.lineByte,
             static_cast<double>(report.bitNs) / 1e6) +
             (report.matched ? (report.sevenBit ? ", 7-bit address" : ", 8-bit address")
                             : ", ignored: " + report.reason));
    if (report.matched) StartWakeUp(report);
}

void EcuSimulator::Impl::StartWakeUp(const WakeReport& report) {
    const WakeTiming& w = config.timing.wake;
    if (state == State::Session || state == State::AwaitingKeyComplement) {
        GoAsleep(report.endNs, "woken again");
    }
    timers.Cancel(byteTimer);
    state = State::WakingUp;
    if (line != nullptr) line->SetPeerFraming(kFraming);

    Faults f = faults;  // the wake-up faults are used up here
    faults.noSyncByte = faults.noKeyByte1 = faults.noKeyByte2 = false;
    faults.noiseBeforeSync.clear();
    faults.lateSyncMs = 0;

    const std::int64_t syncAt = report.endNs + MsToNs(w.w1Ms + f.lateSyncMs);
    if (f.noSyncByte) {
        state = State::Asleep;
        Note(syncAt, LogEntry::Kind::Event, {}, "no sync byte (fault)");
        return;
    }
    if (!f.noiseBeforeSync.empty()) {
        const std::int64_t noiseAt = syncAt - EndOf(0, f.noiseBeforeSync.size()) - MsToNs(2);
        Transmit(f.noiseBeforeSync, std::max(noiseAt, report.endNs));
    }
    const std::int64_t syncEnd = EndOf(Transmit({0x55}, syncAt), 1);
    std::int64_t kw1End = syncEnd + MsToNs(w.w2Ms) + charNs;
    if (!f.noKeyByte1) kw1End = EndOf(Transmit({config.kw1}, syncEnd + MsToNs(w.w2Ms)), 1);
    keyByte2EndNs = kw1End + MsToNs(w.w3Ms) + charNs;
    if (!f.noKeyByte2) {
        keyByte2EndNs = EndOf(Transmit({config.kw2}, kw1End + MsToNs(w.w3Ms)), 1);
    }
    state = State::AwaitingKeyComplement;
    byteTimer =
        timers.Add(keyByte2EndNs + MsToNs(w.kw2ComplementMaxMs) + charNs, [this](std::int64_t t) {
            byteTimer = 0;
            GoAsleep(t, "no complement of key byte 2");
        });
}

void EcuSimulator::Impl::OnKeyComplement(const kline::ReceivedByte& byte) {
    const WakeTiming& w = config.timing.wake;
    timers.Cancel(byteTimer);
    const std::int64_t now = byte.timeNs;
    const std::int64_t start = now - 19 * bitNs / 2;
    const std::int64_t end = now + bitNs / 2;
    const double afterMs = static_cast<double>(start - keyByte2EndNs) / 1e6;
    const auto expected = static_cast<std::uint8_t>(~config.kw2);
    if (byte.value != expected || byte.framingError) {
        GoAsleep(now, Hex("wrong complement of key byte 2: 0x%02X", byte.value));
        return;
    }
    if (afterMs < w.kw2ComplementMinMs || afterMs > w.kw2ComplementMaxMs) {
        GoAsleep(now, Hex("complement of key byte 2 (0x%02X) %.3f ms after it, outside the window",
                          byte.value, afterMs));
        return;
    }
    Note(now, LogEntry::Kind::Event, {byte.value}, "complement of key byte 2 accepted");
    if (config.protocol == EcuProtocol::Kw1281) {
        BeginSession(now);
        Kw1281Start(end + MsToNs(config.timing.firstBlockDelayMs));
        return;
    }
    std::uint8_t reply = static_cast<std::uint8_t>(~config.address);
    if (faults.addressComplement) reply = *faults.addressComplement;
    const bool answer = !faults.noAddressComplement;
    faults.addressComplement.reset();
    faults.noAddressComplement = false;
    if (answer) {
        Transmit({reply}, end + MsToNs(w.w4Ms));
    } else {
        Note(now, LogEntry::Kind::Event, {}, "no complement of the address (fault)");
    }
    BeginSession(now);
}

}  // namespace ecusim
