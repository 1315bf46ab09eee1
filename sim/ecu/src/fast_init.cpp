// The fast initialisation: the pattern measured from the line levels, then the start
// request (0x81 StartCommunication for a KWP2000 unit, 0xA0 with a mode byte for an MCMESS
// unit) answered with the key bytes.
#include <cstdio>

#include "simulator_impl.h"

namespace ecusim {
namespace {

constexpr std::uint8_t kStartCommunication = 0x81;
constexpr std::uint8_t kServiceNotSupported = 0x11;
constexpr std::uint8_t kInvalidFormat = 0x12;

bool KnowsFastInit(EcuProtocol protocol) {
    return protocol == EcuProtocol::Kwp2000 || protocol == EcuProtocol::McMess;
}

std::string Describe(const FastInitReport& report) {
    char text[160];
    std::snprintf(text, sizeof text, "fast initialisation: low %.3f ms, high %.3f ms",
                  static_cast<double>(report.lowNs) / 1e6,
                  static_cast<double>(report.highNs) / 1e6);
    std::string out = text;
    if (!report.woke) out += ", ignored: " + report.reason;
    return out;
}

}  // namespace

void EcuSimulator::Impl::OnFastInitLevel(std::int64_t nowNs, bool high) {
    FastInitReport report;
    const bool patternEnds = fastInit.OnLevel(nowNs, high, report);
    // The start request's first start bit is taken at the framing in force at its edge: a
    // unit that knows the pattern listens at 8N1 from the end of its low phase on.
    if (fastInit.LowPhaseInWindow() && KnowsFastInit(config.protocol) && line != nullptr) {
        line->SetPeerFraming(kByteFraming);
    }
    if (!patternEnds) return;
    if (report.valid && !KnowsFastInit(config.protocol)) {
        report.reason = "this unit wakes up on a 5-baud address only";
    }
    report.woke = report.valid && KnowsFastInit(config.protocol);
    Keep(fastInitReports, report);
    Note(nowNs, LogEntry::Kind::Wake, {}, Describe(report));
    if (!report.woke) return;

    // The falling edge that ended the pattern is the start bit of the start request.
    if (state == State::Session || state == State::AwaitingKeyComplement ||
        state == State::AwaitingStartRequest) {
        GoAsleep(nowNs, "woken again");
    }
    timers.Cancel(byteTimer);
    reader.Reset();
    busyUntilNs = 0;
    state = State::AwaitingStartRequest;
    TouchSession(nowNs);
}

std::optional<KwpAnswer> EcuSimulator::Impl::StartAnswer(
    const std::vector<std::uint8_t>& request) const {
    if (request.empty()) return std::nullopt;
    const std::uint8_t service = request[0];
    const std::uint8_t expected =
        config.protocol == EcuProtocol::McMess ? mcmess::kStart : kStartCommunication;
    const std::size_t length = config.protocol == EcuProtocol::McMess ? 2 : 1;
    if (service != expected) return KwpAnswer{{kwp::kNegative, service, kServiceNotSupported}};
    if (request.size() != length) return KwpAnswer{{kwp::kNegative, service, kInvalidFormat}};
    return KwpAnswer{
        {static_cast<std::uint8_t>(service + kwp::kPositiveOffset), config.kw1, config.kw2}};
}

void EcuSimulator::Impl::StartRequestOnByte(const kline::ReceivedByte& byte) {
    if (byte.breakCondition) return;  // the low phase of the pattern itself
    const std::int64_t end = byte.timeNs + bitNs / 2;
    timers.Cancel(byteTimer);
    timers.Cancel(sessionTimer);
    KwpRequest request;
    if (!KwpRequestByte(byte, request)) return;

    const std::optional<KwpAnswer> answer = StartAnswer(request.payload);
    if (!answer) {
        GoAsleep(end, "empty start request");
        return;
    }
    const auto positive = static_cast<std::uint8_t>(request.payload[0] + kwp::kPositiveOffset);
    // A session begins with a positive answer; it keeps the ECU deaf while it goes out.
    if (answer->payload[0] == positive) BeginSession(end);
    const auto sent = SendKwpAnswer(end, request.payload, answer, FormFor(request));
    if (!sent || sent->empty() || (*sent)[0] != positive) {
        if (state != State::Dead) GoAsleep(end, "start request not answered positively");
        return;
    }
    if (config.protocol != EcuProtocol::McMess) return;

    // From the end of the answer on, every byte carries a ninth bit.
    kline::Framing ninth = kByteFraming;
    ninth.parity = kline::Parity::Space;
    ninth.stopBits = request.payload[1] == mcmess::kTwoStopBitsMode ? kline::StopBits::Two
                                                                    : kline::StopBits::One;
    ninthBitCharNs = ninth.CharacterNs();
    timers.Add(txEndNs, [this, ninth](std::int64_t) {
        if (line != nullptr) line->SetPeerFraming(ninth);
    });
}

}  // namespace ecusim
