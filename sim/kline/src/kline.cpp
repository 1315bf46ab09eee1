#include "kline/kline.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <queue>

#include "clock/clock.h"
#include "echo_faults.h"
#include "receiver.h"
#include "transmitter.h"

namespace kline {

namespace {
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kNotStarted = std::numeric_limits<std::int64_t>::min();
// Far enough out that character arithmetic after it cannot overflow.
constexpr std::int64_t kLatestScheduleNs = kNever / 4;
// Records drop their older half beyond this, so a test left running stays bounded.
constexpr std::size_t kRecordCap = std::size_t{1} << 20;
}  // namespace

struct KLine::Impl {
    // Callbacks run with the lock held and may call back in, hence recursive.
    mutable std::recursive_mutex mutex;

    std::shared_ptr<Peer> peer;
    Framing testerFraming;
    Framing peerFraming;
    bool testerBreak = false;
    bool testerDtr = false;
    bool testerRts = false;
    bool testerConnected = true;
    bool testerClaimed = false;

    detail::Transmitter testerTx;
    detail::Transmitter peerTx;
    detail::Receiver testerRx;
    detail::Receiver peerRx;
    std::deque<ReceivedByte> testerInbox;
    detail::EchoFaults echoFaults;
    std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>> wakes;

    bool lineHigh = true;
    std::int64_t processedNs = kNotStarted;  // everything up to here has happened
    bool advancing = false;

    bool recording = true;
    std::vector<WireByte> traffic;
    std::vector<LineEvent> events;
    std::vector<EchoFaultHit> echoFaultHits;

    template <typename T>
    void Append(std::vector<T>& record, const T& entry) {
        if (!recording) return;
        if (record.size() >= kRecordCap) {
            record.erase(record.begin(),
                         record.begin() + static_cast<std::ptrdiff_t>(kRecordCap / 2));
        }
        record.push_back(entry);
    }

    // When bytes the peer queues for notBeforeNs can start: not in the wire's past.
    std::int64_t PeerStart(std::int64_t notBeforeNs) const {
        notBeforeNs = std::min(notBeforeNs, kLatestScheduleNs);
        return processedNs != kNotStarted ? std::max(notBeforeNs, processedNs) : notBeforeNs;
    }

    // Time at which a call made now takes effect: the wire's present.
    std::int64_t EffectiveNow() const { return processedNs == kNotStarted ? 0 : processedNs; }

    void SyncTester() { AdvanceTo(platform::CurrentClock().NowNs()); }

    bool TesterDrivesLow() const {
        return testerConnected && (testerBreak || testerTx.DrivesLow());
    }

    void Record(Side side, LineEvent::Kind kind, bool on, const Framing& framing = {}) {
        Append(events, LineEvent{EffectiveNow(), side, kind, on, framing});
    }

    std::int64_t NextInternalNs() const {
        std::int64_t next = std::min(testerTx.NextChangeNs(), peerTx.NextChangeNs());
        next = std::min(next, std::min(testerRx.NextSampleNs(), peerRx.NextSampleNs()));
        if (!wakes.empty()) next = std::min(next, wakes.top());
        return next;
    }

    void AdvanceTo(std::int64_t targetNs) {
        if (advancing) return;  // a callback cannot move time under the running step
        advancing = true;
        for (;;) {
            const std::int64_t next = NextInternalNs();
            if (next > targetNs) break;
            if (processedNs == kNotStarted || next > processedNs) processedNs = next;
            StepAt(processedNs);
        }
        if (processedNs == kNotStarted || targetNs > processedNs) processedNs = targetNs;
        advancing = false;
    }

    // Everything due at timeNs, in this order: transmitters, the line level (and the
    // receivers' edge detection), receiver samples, peer wake-ups.
    void StepAt(std::int64_t timeNs) {
        WireByte started{};
        const bool testerStarted = testerTx.Step(timeNs, testerFraming, started);
        const std::uint8_t testerValue = started.value;
        if (testerStarted) {
            started.sender = Side::Tester;
            Append(traffic, started);
        }
        const bool peerLowBefore = peerTx.DrivesLow();
        if (peerTx.Step(timeNs, peerFraming, started)) {
            started.sender = Side::Peer;
            Append(traffic, started);
        }
        // The peer does not hear its own characters: its receiver ignores the line while its
        // start, data and parity bits go out, and listens again from its stop bit on (a tester
        // answering at once may start its byte there).
        if (peerTx.InFrame() == peerRx.Enabled()) peerRx.SetEnabled(!peerTx.InFrame(), lineHigh);
        UpdateLevel(timeNs, peerTx.DrivesLow() != peerLowBefore ? Side::Peer : Side::Tester);
        if (testerStarted) {
            // The tester hears its own byte as echo only when its start edge began a character.
            const bool echoDecoded = testerRx.Busy() && testerRx.StartNs() == timeNs;
            echoFaults.OnTesterByte(testerValue, echoDecoded ? &timeNs : nullptr);
        }

        ReceivedByte byte;
        if (testerRx.NextSampleNs() <= timeNs && testerRx.Sample(lineHigh, byte)) {
            byte.timeNs = timeNs;
            if (auto hit = echoFaults.Deliver(byte, testerRx.StartNs(), testerInbox)) {
                Append(echoFaultHits, *hit);
            }
        }
        if (peerRx.NextSampleNs() <= timeNs && peerRx.Sample(lineHigh, byte)) {
            byte.timeNs = timeNs;
            if (std::shared_ptr<Peer> p = peer) p->OnByte(byte);
        }
        while (!wakes.empty() && wakes.top() <= timeNs) {
            wakes.pop();
            if (std::shared_ptr<Peer> p = peer) p->OnWake(timeNs);
        }
    }

    // Recomputes the wired AND of both drivers at timeNs; cause is the side whose driver moved.
    void UpdateLevel(std::int64_t timeNs, Side cause) {
        const bool high = !TesterDrivesLow() && !peerTx.DrivesLow();
        if (high == lineHigh) return;
        lineHigh = high;
        Append(events, LineEvent{timeNs, cause, LineEvent::Kind::Level, high, {}});
        testerRx.OnLevel(timeNs, high, testerFraming);
        peerRx.OnLevel(timeNs, high, peerFraming);
        if (std::shared_ptr<Peer> p = peer) p->OnLineLevel(timeNs, high);
    }

    void Shift(std::int64_t deltaNs) {
        testerTx.Shift(deltaNs);
        peerTx.Shift(deltaNs);
        testerRx.Shift(deltaNs);
        peerRx.Shift(deltaNs);
        std::vector<std::int64_t> moved;
        while (!wakes.empty()) {
            moved.push_back(wakes.top() + deltaNs);
            wakes.pop();
        }
        for (std::int64_t t : moved) wakes.push(t);
        for (ReceivedByte& byte : testerInbox) byte.timeNs += deltaNs;
        echoFaults.Shift(deltaNs);
        processedNs += deltaNs;
        if (std::shared_ptr<Peer> p = peer) p->OnTimeShift(deltaNs);
    }
};

KLine::KLine() : m_impl(std::make_unique<Impl>()) {}
KLine::~KLine() = default;

void KLine::AttachPeer(std::shared_ptr<Peer> peer) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->peer = std::move(peer);
    if (std::shared_ptr<Peer> p = m_impl->peer) p->OnAttach(*this);
}

Peer* KLine::GetPeer() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->peer.get();
}

// ---- tester side ----

void KLine::SetTesterFraming(const Framing& framing) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    if (framing == m_impl->testerFraming) return;
    m_impl->testerFraming = framing;
    m_impl->Record(Side::Tester, LineEvent::Kind::Framing, true, framing);
}

Framing KLine::TesterFraming() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerFraming;
}

void KLine::SetTesterBreak(bool on) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    if (on == m_impl->testerBreak) return;
    m_impl->testerBreak = on;
    m_impl->Record(Side::Tester, LineEvent::Kind::Break, on);
    m_impl->UpdateLevel(m_impl->EffectiveNow(), Side::Tester);
}

void KLine::SetTesterDtr(bool on) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    if (on == m_impl->testerDtr) return;
    m_impl->testerDtr = on;
    m_impl->Record(Side::Tester, LineEvent::Kind::Dtr, on);
}

void KLine::SetTesterRts(bool on) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    if (on == m_impl->testerRts) return;
    m_impl->testerRts = on;
    m_impl->Record(Side::Tester, LineEvent::Kind::Rts, on);
}

bool KLine::TesterBreak() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerBreak;
}

bool KLine::TesterDtr() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerDtr;
}

bool KLine::TesterRts() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerRts;
}

std::size_t KLine::TesterWrite(const std::uint8_t* bytes, std::size_t count) {
    std::lock_guard lock(m_impl->mutex);
    if (bytes == nullptr || count == 0 || !m_impl->testerConnected) return 0;
    m_impl->SyncTester();
    m_impl->testerTx.Queue(bytes, count, m_impl->EffectiveNow());
    // A byte due now starts now, not at the next touch of the wire.
    m_impl->AdvanceTo(m_impl->EffectiveNow());
    return count;
}

std::int64_t KLine::TesterTransmitDoneNs() const {
    std::lock_guard lock(m_impl->mutex);
    return std::max(m_impl->testerTx.DoneNs(m_impl->testerFraming), m_impl->EffectiveNow());
}

std::int64_t KLine::TesterLastByteEndNs() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerTx.LastEndNs();
}

std::size_t KLine::TesterAvailable() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    return m_impl->testerInbox.size();
}

bool KLine::TesterRead(ReceivedByte& out) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    if (m_impl->testerInbox.empty()) return false;
    out = m_impl->testerInbox.front();
    m_impl->testerInbox.pop_front();
    return true;
}

void KLine::TesterPurgeReceive() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    m_impl->testerInbox.clear();
}

void KLine::TesterAbortTransmit() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    m_impl->testerTx.DropPending();
}

void KLine::SetTesterConnected(bool connected) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();
    if (connected == m_impl->testerConnected) return;
    m_impl->testerConnected = connected;
    m_impl->testerRx.SetEnabled(false, m_impl->lineHigh);
    m_impl->echoFaults.ForgetPending();
    m_impl->UpdateLevel(m_impl->EffectiveNow(), Side::Tester);
    if (connected) m_impl->testerRx.SetEnabled(true, m_impl->lineHigh);
}

bool KLine::TesterConnected() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerConnected;
}

bool KLine::ClaimTester() {
    std::lock_guard lock(m_impl->mutex);
    if (m_impl->testerClaimed) return false;
    m_impl->testerClaimed = true;
    const std::int64_t now = platform::CurrentClock().NowNs();
    if (m_impl->processedNs != kNotStarted && now < m_impl->processedNs) {
        m_impl->Shift(now - m_impl->processedNs);
    }
    m_impl->SyncTester();
    m_impl->testerInbox.clear();
    return true;
}

void KLine::ReleaseTester() {
    std::lock_guard lock(m_impl->mutex);
    if (!m_impl->testerClaimed) return;
    m_impl->SyncTester();
    m_impl->testerTx.DropPending();
    if (m_impl->testerBreak) {
        m_impl->testerBreak = false;
        m_impl->Record(Side::Tester, LineEvent::Kind::Break, false);
        m_impl->UpdateLevel(m_impl->EffectiveNow(), Side::Tester);
    }
    m_impl->testerClaimed = false;
}

bool KLine::TesterClaimed() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->testerClaimed;
}

void KLine::InjectTesterEchoFault(const EchoFault& fault) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->SyncTester();  // bytes already started are not counted
    m_impl->echoFaults.Inject(fault);
}

void KLine::ClearTesterEchoFaults() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->echoFaults.Clear();
}

std::size_t KLine::ArmedTesterEchoFaults() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->echoFaults.Armed();
}

// ---- peer side ----

void KLine::SetPeerFraming(const Framing& framing) {
    std::lock_guard lock(m_impl->mutex);
    if (framing == m_impl->peerFraming) return;
    m_impl->peerFraming = framing;
    m_impl->Record(Side::Peer, LineEvent::Kind::Framing, true, framing);
}

Framing KLine::PeerFraming() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->peerFraming;
}

void KLine::PeerTransmit(const std::uint8_t* bytes, std::size_t count, std::int64_t notBeforeNs) {
    std::lock_guard lock(m_impl->mutex);
    if (bytes == nullptr || count == 0) return;
    m_impl->peerTx.Queue(bytes, count, m_impl->PeerStart(notBeforeNs));
}

void KLine::PeerTransmitNinthBit(const NinthBitByte* bytes, std::size_t count,
                                 std::int64_t notBeforeNs) {
    std::lock_guard lock(m_impl->mutex);
    if (bytes == nullptr || count == 0) return;
    m_impl->peerTx.QueueNinthBit(bytes, count, m_impl->PeerStart(notBeforeNs));
}

void KLine::PeerAbortTransmit() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->peerTx.DropPending();
}

void KLine::PeerWakeAt(std::int64_t timeNs) {
    std::lock_guard lock(m_impl->mutex);
    timeNs = std::min(timeNs, kLatestScheduleNs);
    if (m_impl->processedNs != kNotStarted) {
        // Asked from a callback for the present: just after it, so that a peer re-arming
        // its wake-up for "now" cannot hold time still.
        const std::int64_t earliest = m_impl->processedNs + (m_impl->advancing ? 1 : 0);
        timeNs = std::max(timeNs, earliest);
    }
    m_impl->wakes.push(timeNs);
}

// ---- time ----

void KLine::AdvanceTo(std::int64_t timeNs) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->AdvanceTo(timeNs);
}

std::int64_t KLine::NextEventNs() const {
    std::lock_guard lock(m_impl->mutex);
    const Impl& impl = *m_impl;
    std::int64_t next = std::min(impl.testerRx.CompletionNs(), impl.peerRx.CompletionNs());
    next = std::min(next, std::min(impl.testerTx.NextStartNs(), impl.peerTx.NextStartNs()));
    if (!impl.wakes.empty()) next = std::min(next, impl.wakes.top());
    // An idle receiver starts a character on any falling edge, even one inside a character
    // sent at another baud rate, so edges count as events until both receivers are busy.
    const bool receiverWaiting = (impl.testerRx.Enabled() && !impl.testerRx.Busy()) ||
                                 (impl.peerRx.Enabled() && !impl.peerRx.Busy());
    if (receiverWaiting) {
        next = std::min(next, std::min(impl.testerTx.NextChangeNs(), impl.peerTx.NextChangeNs()));
    }
    return next;
}

bool KLine::LineHigh() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->lineHigh;
}

// ---- records ----

void KLine::SetRecording(bool on) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->recording = on;
    if (!on) ClearRecords();
}

const std::vector<WireByte>& KLine::Traffic() const { return m_impl->traffic; }

const std::vector<LineEvent>& KLine::Events() const { return m_impl->events; }

const std::vector<EchoFaultHit>& KLine::EchoFaultHits() const { return m_impl->echoFaultHits; }

void KLine::ClearRecords() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->traffic.clear();
    m_impl->events.clear();
    m_impl->echoFaultHits.clear();
}

}  // namespace kline
