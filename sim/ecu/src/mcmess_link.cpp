// MCMESS requests and answers on the line: a byte with the ninth bit set begins a request,
// a gap ends it, and the answer's bytes go out with their own ninth bits.
#include "simulator_impl.h"

namespace ecusim {

void EcuSimulator::Impl::McMessOnByte(const kline::ReceivedByte& byte) {
    const std::int64_t end = byte.timeNs + bitNs / 2;
    if (byte.timeNs < busyUntilNs) return;  // half duplex: the ECU is still answering
    timers.Cancel(byteTimer);
    timers.Cancel(sessionTimer);
    if (byte.parityBit) {
        mcmessRequest.clear();
    } else if (mcmessRequest.empty()) {
        Note(byte.timeNs, LogEntry::Kind::Event, {byte.value},
             "byte without the ninth bit outside a request ignored");
        TouchSession(end);
        return;
    }
    mcmessRequest.push_back(byte.value);
    const std::int64_t gap = MsToNs(config.timing.mcmessFrameGapMs);
    byteTimer = timers.Add(end + gap, [this](std::int64_t t) {
        byteTimer = 0;
        McMessAnswer(t);
    });
}

void EcuSimulator::Impl::McMessAnswer(std::int64_t nowNs) {
    const std::vector<std::uint8_t> request = std::move(mcmessRequest);
    mcmessRequest.clear();
    ++requestCount;
    Note(nowNs, LogEntry::Kind::Request, request, McMessResponder::Describe(request));
    if (!LinkAlive(nowNs)) return;
    if (faults.silence) {
        faults.silence = false;
        Note(nowNs, LogEntry::Kind::Event, {}, "no answer (fault)");
        TouchSession(nowNs);
        return;
    }
    std::vector<std::uint8_t> payload = mcmess.Answer(request);
    ApplyAnswerFaults(request[0], payload);
    std::vector<kline::NinthBitByte> frame = McMessResponder::Frame(payload);
    if (faults.badChecksum) {
        faults.badChecksum = false;
        frame.back().value = static_cast<std::uint8_t>(frame.back().value + 1);
    }
    TakeMissingByteFault(faults.missingByteAt, frame);
    const std::int64_t at = nowNs + MsToNs(config.timing.mcmessReplyMs + TakeLateFault());
    const std::int64_t start = std::max(at, txEndNs);
    if (line != nullptr && !frame.empty())
        line->PeerTransmitNinthBit(frame.data(), frame.size(), at);
    txEndNs = start + static_cast<std::int64_t>(frame.size()) * ninthBitCharNs;
    Note(start, LogEntry::Kind::Reply, payload, McMessResponder::Describe(payload));
    busyUntilNs = txEndNs;
    TouchSession(txEndNs);
}

}  // namespace ecusim
