// ISO 14230 requests and replies on the line: P2 before the answer, P4 between tester
// bytes, response-pending chains.
#include <optional>

#include "simulator_impl.h"

namespace ecusim {
namespace {

constexpr std::uint8_t kAddressModeBits = 0xC0;
constexpr std::uint8_t kPhysical = 0x80;

}  // namespace

void EcuSimulator::Impl::KwpOnByte(const kline::ReceivedByte& byte) {
    const std::int64_t end = byte.timeNs + bitNs / 2;
    if (byte.timeNs < busyUntilNs) return;  // half duplex: the ECU is still answering
    timers.Cancel(byteTimer);
    timers.Cancel(sessionTimer);
    if (config.protocol == EcuProtocol::KwpTester) {
        testerBytes.push_back(byte.value);
        const std::int64_t gap = MsToNs(config.timing.testerFrameGapMs);
        byteTimer = timers.Add(end + gap, [this, gap](std::int64_t t) {
            byteTimer = 0;
            const std::int64_t end = t - gap;  // the wire may have moved its time base
            std::vector<std::uint8_t> payload;
            const bool ok = ParseTesterRequest(testerBytes, payload);
            testerBytes.clear();
            if (!ok) {
                Note(t, LogEntry::Kind::Event, {}, "request with a wrong sum dropped");
                TouchSession(t);
                return;
            }
            AnswerKwp(end, payload, KwpReplyForm{});
        });
        return;
    }
    KwpRequest request;
    if (!KwpRequestByte(byte, request)) return;
    AnswerKwp(end, request.payload, FormFor(request));
}

bool EcuSimulator::Impl::KwpRequestByte(const kline::ReceivedByte& byte, KwpRequest& request) {
    const std::int64_t end = byte.timeNs + bitNs / 2;
    switch (reader.Add(byte.value)) {
        case KwpFrameReader::Status::NeedMore:
            byteTimer = timers.Add(end + MsToNs(config.timing.p4MaxMs), [this](std::int64_t t) {
                byteTimer = 0;
                reader.Reset();
                Note(t, LogEntry::Kind::Event, {}, "request broken off, dropped");
                TouchSession(t);
            });
            return false;
        case KwpFrameReader::Status::BadChecksum:
            reader.Reset();
            Note(byte.timeNs, LogEntry::Kind::Event, {}, "request with a wrong checksum dropped");
            TouchSession(end);
            return false;
        case KwpFrameReader::Status::Complete:
            break;
    }
    request = reader.Request();
    reader.Reset();
    if ((request.format & kAddressModeBits) == kPhysical && request.target != config.address) {
        Note(byte.timeNs, LogEntry::Kind::Event, {}, "request for another address ignored");
        TouchSession(end);
        return false;
    }
    return true;
}

KwpReplyForm EcuSimulator::Impl::FormFor(const KwpRequest& request) const {
    KwpReplyForm form;
    form.lengthInFormat = (config.kw1 & 0x01) != 0;
    form.lengthByte = (config.kw1 & 0x02) != 0;
    form.addressed = request.addressed;
    form.target = request.source;
    form.source = config.address;
    return form;
}

std::vector<std::uint8_t> EcuSimulator::Impl::KwpFrame(const std::vector<std::uint8_t>& payload,
                                                       const KwpReplyForm& form) const {
    return config.protocol == EcuProtocol::KwpTester ? BuildTesterReply(payload)
                                                     : BuildKwpReply(form, payload);
}

std::int64_t EcuSimulator::Impl::KwpSendFrame(std::vector<std::uint8_t> frame, std::int64_t atNs) {
    const std::int64_t p1 = MsToNs(config.timing.p1Ms);
    if (p1 == 0) return Transmit(frame, atNs);
    std::int64_t first = -1;
    std::int64_t t = atNs;
    for (std::uint8_t b : frame) {
        const std::int64_t start = Transmit({b}, t);
        if (first < 0) first = start;
        t = EndOf(start, 1) + p1;
    }
    return first < 0 ? atNs : first;
}

void EcuSimulator::Impl::AnswerKwp(std::int64_t endNs, const std::vector<std::uint8_t>& payload,
                                   const KwpReplyForm& form) {
    SendKwpAnswer(endNs, payload, kwp.Answer(payload), form);
}

std::optional<std::vector<std::uint8_t>> EcuSimulator::Impl::SendKwpAnswer(
    std::int64_t endNs, const std::vector<std::uint8_t>& payload, std::optional<KwpAnswer> answer,
    const KwpReplyForm& form) {
    ++requestCount;
    Note(endNs, LogEntry::Kind::Request, payload, KwpResponder::Describe(payload));
    if (!LinkAlive(endNs)) return std::nullopt;
    if (faults.silence) {
        faults.silence = false;
        Note(endNs, LogEntry::Kind::Event, {}, "no answer (fault)");
        TouchSession(endNs);
        return std::nullopt;
    }
    if (!answer) {
        TouchSession(endNs);
        return std::nullopt;
    }
    ApplyAnswerFaults(payload[0], answer->payload);
    std::int64_t at = endNs + MsToNs(config.timing.p2Ms + TakeLateFault());
    const int pending = faults.pendingCount;
    if (!faults.pendingEveryRequest) faults.pendingCount = 0;
    for (int i = 0; i < pending; ++i) {
        const std::vector<std::uint8_t> wait{kwp::kNegative, payload[0], kwp::kResponsePending};
        Note(KwpSendFrame(KwpFrame(wait, form), at), LogEntry::Kind::Reply, wait,
             KwpResponder::Describe(wait));
        at = txEndNs + MsToNs(faults.pendingGapMs);
    }
    std::vector<std::uint8_t> frame = KwpFrame(answer->payload, form);
    if (faults.badChecksum) {
        faults.badChecksum = false;
        frame.back() = static_cast<std::uint8_t>(frame.back() + 1);
    }
    TakeMissingByteFault(faults.missingByteAt, frame);
    Note(KwpSendFrame(frame, at), LogEntry::Kind::Reply, answer->payload,
         KwpResponder::Describe(answer->payload));
    busyUntilNs = txEndNs;
    if (answer->endsSession) {
        GoAsleep(txEndNs, "stop communication");
    } else {
        TouchSession(txEndNs);
    }
    return answer->payload;
}

void EcuSimulator::Impl::ApplyAnswerFaults(std::uint8_t service,
                                           std::vector<std::uint8_t>& answer) {
    if (faults.negativeCode) {
        answer = {kwp::kNegative, service, *faults.negativeCode};
        faults.negativeCode.reset();
    }
    if (faults.shortAnswerBytes >= 0) {
        if (static_cast<std::size_t>(faults.shortAnswerBytes) < answer.size()) {
            answer.resize(static_cast<std::size_t>(faults.shortAnswerBytes));
        }
        faults.shortAnswerBytes = -1;
    }
}

double EcuSimulator::Impl::TakeLateFault() {
    const double late = faults.lateMs;
    faults.lateMs = 0.0;
    return late;
}

}  // namespace ecusim
