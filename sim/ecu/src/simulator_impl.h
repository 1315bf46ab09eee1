#pragma once
// Inner state of EcuSimulator, shared by its wake-up, KW1281 and KWP2000 parts.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel_store.h"
#include "ecusim/ecu_simulator.h"
#include "fast_init_detector.h"
#include "kw1281_responder.h"
#include "kwp_frame.h"
#include "kwp_responder.h"
#include "mcmess_responder.h"
#include "timer_queue.h"
#include "wake_decoder.h"

namespace ecusim {

std::int64_t MsToNs(double ms);

// The framing of every unit outside an MCMESS session.
inline constexpr kline::Framing kByteFraming{10400, 8, kline::Parity::None, kline::StopBits::One};

// The missing-byte fault: the frame stops before that byte. Used up either way.
template <class Byte>
void TakeMissingByteFault(int& missingByteAt, std::vector<Byte>& frame) {
    if (missingByteAt < 0) return;
    if (static_cast<std::size_t>(missingByteAt) < frame.size()) {
        frame.resize(static_cast<std::size_t>(missingByteAt));
    }
    missingByteAt = -1;
}

struct EcuSimulator::Impl {
    explicit Impl(EcuConfig c);

    // ---- plumbing (ecu_simulator.cpp) ----
    // Queues bytes; returns the start time of the first.
    std::int64_t Transmit(const std::vector<std::uint8_t>& bytes, std::int64_t notBeforeNs);
    std::int64_t EndOf(std::int64_t startNs, std::size_t count) const;
    void Arm();
    void Note(std::int64_t nowNs, LogEntry::Kind kind, std::vector<std::uint8_t> bytes,
              std::string text);
    void GoAsleep(std::int64_t nowNs, const std::string& why);
    void BeginSession(std::int64_t nowNs);
    void TouchSession(std::int64_t nowNs);
    // Counts a request toward a dying link; false when the link is dead from now on.
    bool LinkAlive(std::int64_t nowNs);
    void TesterByteStarts(std::int64_t nowNs);

    // ---- wake-up (wake_up.cpp) ----
    void OnLevel(std::int64_t nowNs, bool high);
    void DecideWake(std::int64_t nowNs);
    void StartWakeUp(const WakeReport& report);
    void OnKeyComplement(const kline::ReceivedByte& byte);

    // ---- KW1281 (kw1281_link.cpp) ----
    void Kw1281Start(std::int64_t atNs);
    void Kw1281SendBlock(const Kw1281Block& block, std::int64_t atNs);
    void Kw1281SendByte(std::int64_t atNs);
    void Kw1281OnByte(const kline::ReceivedByte& byte);
    void Kw1281BlockReceived(std::int64_t nowNs);

    // ---- KWP2000 / KWPtester (kwp_link.cpp) ----
    void KwpOnByte(const kline::ReceivedByte& byte);
    // Feeds a byte to the frame reader; true with the request once a whole frame for this
    // unit has come.
    bool KwpRequestByte(const kline::ReceivedByte& byte, KwpRequest& request);
    KwpReplyForm FormFor(const KwpRequest& request) const;
    void AnswerKwp(std::int64_t endNs, const std::vector<std::uint8_t>& payload,
                   const KwpReplyForm& form);
    // Sends the answer with the faults ordered for it; the answer's data as sent, nullopt
    // when nothing was sent.
    std::optional<std::vector<std::uint8_t>> SendKwpAnswer(std::int64_t endNs,
                                                           const std::vector<std::uint8_t>& payload,
                                                           std::optional<KwpAnswer> answer,
                                                           const KwpReplyForm& form);
    void ApplyAnswerFaults(std::uint8_t service, std::vector<std::uint8_t>& answer);
    double TakeLateFault();
    std::vector<std::uint8_t> KwpFrame(const std::vector<std::uint8_t>& payload,
                                       const KwpReplyForm& form) const;
    std::int64_t KwpSendFrame(std::vector<std::uint8_t> frame, std::int64_t atNs);

    // ---- fast initialisation (fast_init.cpp) ----
    void OnFastInitLevel(std::int64_t nowNs, bool high);
    void StartRequestOnByte(const kline::ReceivedByte& byte);
    std::optional<KwpAnswer> StartAnswer(const std::vector<std::uint8_t>& request) const;

    // ---- MCMESS (mcmess_link.cpp) ----
    void McMessOnByte(const kline::ReceivedByte& byte);
    void McMessAnswer(std::int64_t nowNs);

    EcuConfig config;
    ChannelStore channels;
    Kw1281Responder kw1281;
    KwpResponder kwp;
    McMessResponder mcmess;
    WakeDecoder decoder;
    FastInitDetector fastInit;
    TimerQueue timers;
    Faults faults;

    kline::KLine* line = nullptr;
    State state = State::Asleep;
    bool recording = true;
    std::vector<LogEntry> log;
    std::vector<WakeReport> wakeReports;
    std::vector<FastInitReport> fastInitReports;

    // Adds to the log or a report when recording, dropping the older half beyond the cap.
    template <class Entry>
    void Keep(std::vector<Entry>& record, Entry entry) {
        constexpr std::size_t kCap = std::size_t{1} << 16;
        if (!recording) return;
        if (record.size() >= kCap) {
            record.erase(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(kCap / 2));
        }
        record.push_back(std::move(entry));
    }

    int requestCount = 0;
    bool dead = false;

    std::int64_t bitNs = 0;    // at 10400 baud
    std::int64_t charNs = 0;   // one 8N1 character
    std::int64_t txEndNs = 0;  // when the ECU's queued bytes have left its UART
    std::int64_t armedNs = TimerQueue::kNever;
    std::int64_t testerByteUntilNs = 0;  // inside a tester byte that started before this
    std::size_t testerByteIndex = 0;     // index in the current request of the next byte

    TimerQueue::Id decisionTimer = 0;
    TimerQueue::Id sessionTimer = 0;
    TimerQueue::Id byteTimer = 0;  // KW1281 complement / next byte; KWP inter-byte

    // Wake-up.
    std::int64_t keyByte2EndNs = 0;

    // KW1281.
    enum class BlockPhase { Idle, Sending, Receiving };
    BlockPhase phase = BlockPhase::Idle;
    std::uint8_t blockCounter = 0;
    std::vector<std::uint8_t> txBlock;
    std::size_t txIndex = 0;
    std::size_t txStopAt = 0;  // a missing-byte fault stops the block here
    std::vector<std::uint8_t> rxBlock;
    int rxWrongComplementAt = -1;
    int rxMissingComplementAt = -1;

    // KWP2000.
    KwpFrameReader reader;
    std::vector<std::uint8_t> testerBytes;  // KWPtester request so far
    std::int64_t busyUntilNs = 0;           // replying: tester bytes before this are ignored

    // MCMESS.
    std::vector<std::uint8_t> mcmessRequest;  // command byte first
    std::int64_t ninthBitCharNs = 0;          // one character of the session's framing
};

}  // namespace ecusim
