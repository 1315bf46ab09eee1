// KW1281 blocks byte by byte: every byte but the block end is answered by the receiver's
// complement before the sender goes on.
#include <cstdio>

#include "simulator_impl.h"

namespace ecusim {
namespace {

constexpr std::uint8_t kBlockEnd = 0x03;
constexpr std::uint8_t kShortestBlockLength = 3;  // counter, title, block end

std::string Text(const char* format, unsigned a, unsigned b = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::uint8_t Complement(std::uint8_t b) { return static_cast<std::uint8_t>(~b); }

}  // namespace

void EcuSimulator::Impl::Kw1281Start(std::int64_t atNs) { Kw1281SendBlock(kw1281.Begin(), atNs); }

void EcuSimulator::Impl::Kw1281SendBlock(const Kw1281Block& block, std::int64_t atNs) {
    ++blockCounter;
    txBlock = {static_cast<std::uint8_t>(block.data.size() + 3), blockCounter, block.title};
    txBlock.insert(txBlock.end(), block.data.begin(), block.data.end());
    txBlock.push_back(kBlockEnd);
    if (faults.badBlockCounter) {
        faults.badBlockCounter = false;
        txBlock[1] = static_cast<std::uint8_t>(blockCounter + 0x10);
    }
    txStopAt = txBlock.size();
    if (faults.missingByteAt >= 0) {
        txStopAt = std::min(txStopAt, static_cast<std::size_t>(faults.missingByteAt));
        faults.missingByteAt = -1;
    }
    Note(
        atNs, LogEntry::Kind::Reply,
        [&] {
            std::vector<std::uint8_t> b{block.title};
            b.insert(b.end(), block.data.begin(), block.data.end());
            return b;
        }(),
        Kw1281Responder::Describe(block) + Text(" (counter %u)", txBlock[1]));
    phase = BlockPhase::Sending;
    txIndex = 0;
    timers.Cancel(sessionTimer);
    Kw1281SendByte(atNs);
}

void EcuSimulator::Impl::Kw1281SendByte(std::int64_t atNs) {
    if (txIndex >= txStopAt) {
        GoAsleep(atNs,
                 Text("block broken off before byte %u (fault)", static_cast<unsigned>(txIndex)));
        return;
    }
    const std::int64_t end = EndOf(Transmit({txBlock[txIndex]}, atNs), 1);
    if (txIndex + 1 == txBlock.size()) {
        phase = BlockPhase::Idle;
        rxBlock.clear();
        TouchSession(end);
        return;
    }
    byteTimer = timers.Add(end + MsToNs(config.timing.byteTimeoutMs), [this](std::int64_t t) {
        byteTimer = 0;
        GoAsleep(t, Text("no complement of block byte %u", static_cast<unsigned>(txIndex)));
    });
}

void EcuSimulator::Impl::Kw1281OnByte(const kline::ReceivedByte& byte) {
    const std::int64_t end = byte.timeNs + bitNs / 2;
    timers.Cancel(byteTimer);
    if (phase == BlockPhase::Sending) {
        const std::uint8_t expected = Complement(txBlock[txIndex]);
        if (byte.value != expected || byte.framingError) {
            GoAsleep(byte.timeNs, Text("wrong complement 0x%02X of block byte %u", byte.value,
                                       static_cast<unsigned>(txIndex)));
            return;
        }
        ++txIndex;
        Kw1281SendByte(end + MsToNs(config.timing.byteDelayMs));
        return;
    }
    if (phase == BlockPhase::Idle) {
        phase = BlockPhase::Receiving;
        rxBlock.clear();
        rxWrongComplementAt = faults.wrongComplementAt;
        rxMissingComplementAt = faults.missingComplementAt;
        faults.wrongComplementAt = faults.missingComplementAt = -1;
        timers.Cancel(sessionTimer);
    }
    rxBlock.push_back(byte.value);
    const std::size_t index = rxBlock.size() - 1;
    if (rxBlock[0] < kShortestBlockLength) {
        GoAsleep(byte.timeNs, Text("block length %u", rxBlock[0]));
        return;
    }
    if (index == rxBlock[0]) {
        Kw1281BlockReceived(end);
        return;
    }
    std::int64_t waitFrom = end;
    if (static_cast<int>(index) == rxMissingComplementAt) {
        Note(byte.timeNs, LogEntry::Kind::Event, {},
             Text("no complement of byte %u (fault)", static_cast<unsigned>(index)));
    } else {
        std::uint8_t complement = Complement(byte.value);
        if (static_cast<int>(index) == rxWrongComplementAt) {
            complement ^= 0x01;
            Note(byte.timeNs, LogEntry::Kind::Event, {},
                 Text("wrong complement of byte %u (fault)", static_cast<unsigned>(index)));
        }
        waitFrom = EndOf(Transmit({complement}, end + MsToNs(config.timing.complementDelayMs)), 1);
    }
    byteTimer = timers.Add(waitFrom + MsToNs(config.timing.byteTimeoutMs), [this](std::int64_t t) {
        byteTimer = 0;
        GoAsleep(t, Text("block byte %u did not come", static_cast<unsigned>(rxBlock.size())));
    });
}

void EcuSimulator::Impl::Kw1281BlockReceived(std::int64_t endNs) {
    phase = BlockPhase::Idle;
    const std::uint8_t expected = static_cast<std::uint8_t>(blockCounter + 1);
    if (rxBlock.back() != kBlockEnd) {
        GoAsleep(endNs, Text("block end 0x%02X", rxBlock.back()));
        return;
    }
    if (rxBlock[1] != expected) {
        GoAsleep(endNs, Text("block counter %u, expected %u", rxBlock[1], expected));
        return;
    }
    blockCounter = expected;
    Kw1281Block request{rxBlock[2],
                        std::vector<std::uint8_t>(rxBlock.begin() + 3, rxBlock.end() - 1)};
    rxBlock.clear();
    ++requestCount;
    std::vector<std::uint8_t> bytes{request.title};
    bytes.insert(bytes.end(), request.data.begin(), request.data.end());
    Note(endNs, LogEntry::Kind::Request, bytes,
         Kw1281Responder::Describe(request) + Text(" (counter %u)", expected));
    if (!LinkAlive(endNs)) return;
    if (faults.silence) {
        faults.silence = false;
        Note(endNs, LogEntry::Kind::Event, {}, "no answer (fault)");
        TouchSession(endNs);
        return;
    }
    const auto answer = kw1281.Answer(request);
    if (!answer) {
        GoAsleep(endNs, "end of communication");
        return;
    }
    Kw1281SendBlock(*answer, endNs + MsToNs(config.timing.blockDelayMs));
}

}  // namespace ecusim
