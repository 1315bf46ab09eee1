#include "ecusim/ecu_simulator.h"

#include <algorithm>
#include <cmath>

#include "simulator_impl.h"

namespace ecusim {

std::int64_t MsToNs(double ms) { return static_cast<std::int64_t>(std::llround(ms * 1e6)); }

namespace {
const kline::Framing kFraming{10400, 8, kline::Parity::None, kline::StopBits::One};
}  // namespace

EcuSimulator::Impl::Impl(EcuConfig c)
    : config(std::move(c)),
      channels(config.channels, config.outOfLimit),
      kw1281(config, channels),
      kwp(config, channels),
      mcmess(config),
      decoder(config.timing.wake.bitMinMs, config.timing.wake.bitMaxMs,
              config.timing.wake.bitNominalMs),
      fastInit(config.timing.fastInit) {
    bitNs = kFraming.BitNs();
    charNs = 10 * bitNs;
}

std::int64_t EcuSimulator::Impl::EndOf(std::int64_t startNs, std::size_t count) const {
    return startNs + static_cast<std::int64_t>(count) * charNs;
}

std::int64_t EcuSimulator::Impl::Transmit(const std::vector<std::uint8_t>& bytes,
                                          std::int64_t notBeforeNs) {
    const std::int64_t start = std::max(notBeforeNs, txEndNs);
    if (line != nullptr && !bytes.empty()) {
        line->PeerTransmit(bytes.data(), bytes.size(), notBeforeNs);
    }
    txEndNs = EndOf(start, bytes.size());
    return start;
}

void EcuSimulator::Impl::Arm() {
    const std::int64_t next = timers.NextNs();
    if (next < armedNs && line != nullptr) {
        armedNs = next;
        line->PeerWakeAt(next);
    }
}

void EcuSimulator::Impl::Note(std::int64_t nowNs, LogEntry::Kind kind,
                              std::vector<std::uint8_t> bytes, std::string text) {
    Keep(log, LogEntry{nowNs, kind, std::move(bytes), std::move(text)});
}

void EcuSimulator::Impl::GoAsleep(std::int64_t nowNs, const std::string& why) {
    timers.Cancel(sessionTimer);
    timers.Cancel(byteTimer);
    if (state != State::Dead) state = State::Asleep;
    phase = BlockPhase::Idle;
    reader.Reset();
    testerBytes.clear();
    rxBlock.clear();
    Note(nowNs, LogEntry::Kind::Event, {}, "asleep: " + why);
}

void EcuSimulator::Impl::BeginSession(std::int64_t nowNs) {
    state = State::Session;
    channels.BeginSession();
    kwp.Begin();
    blockCounter = 0;
    phase = BlockPhase::Idle;
    reader.Reset();
    testerBytes.clear();
    busyUntilNs = 0;
    Note(nowNs, LogEntry::Kind::Event, {}, "session begins");
    TouchSession(nowNs);
}

void EcuSimulator::Impl::TouchSession(std::int64_t nowNs) {
    timers.Cancel(sessionTimer);
    sessionTimer =
        timers.Add(nowNs + MsToNs(config.timing.sessionTimeoutMs), [this](std::int64_t t) {
            sessionTimer = 0;
            GoAsleep(t, "no request within the session timeout");
        });
}

bool EcuSimulator::Impl::LinkAlive(std::int64_t nowNs) {
    if (faults.dieAfterRequests == 0) {
        timers.Clear();
        decisionTimer = sessionTimer = byteTimer = 0;
        dead = true;
        state = State::Dead;
        Note(nowNs, LogEntry::Kind::Event, {}, "link died (fault)");
        return false;
    }
    if (faults.dieAfterRequests > 0) --faults.dieAfterRequests;
    return true;
}

void EcuSimulator::Impl::TesterByteStarts(std::int64_t nowNs) {
    testerByteUntilNs = nowNs + 19 * bitNs / 2;
    if (state != State::Session) return;
    std::size_t index = 0;
    if (config.protocol == EcuProtocol::Kw1281) {
        if (phase == BlockPhase::Sending) return;  // a complement, not a block byte
        index = phase == BlockPhase::Receiving ? rxBlock.size() : 0;
    } else if (config.protocol == EcuProtocol::Kwp2000) {
        index = reader.Size();
    } else if (config.protocol == EcuProtocol::McMess) {
        index = mcmessRequest.size();
    } else {
        index = testerBytes.size();
    }
    const auto at = static_cast<int>(index);
    if (faults.corruptEchoAt == at) {
        faults.corruptEchoAt = -1;
        Note(nowNs, LogEntry::Kind::Event, {}, "pulling the line during a tester byte (fault)");
        Transmit({0x00}, nowNs);
    } else if (faults.dropEchoAt == at) {
        faults.dropEchoAt = -1;
        Note(nowNs, LogEntry::Kind::Event, {}, "holding the line over a tester stop bit (fault)");
        Transmit({0x00}, nowNs + 7 * bitNs / 10);
    }
}

EcuSimulator::EcuSimulator(EcuConfig config) : m_impl(std::make_unique<Impl>(std::move(config))) {}
EcuSimulator::~EcuSimulator() = default;

void EcuSimulator::OnAttach(kline::KLine& line) {
    m_impl->line = &line;
    line.SetPeerFraming(kFraming);
}

void EcuSimulator::OnLineLevel(std::int64_t nowNs, bool high) {
    if (m_impl->dead) return;
    m_impl->OnFastInitLevel(nowNs, high);
    m_impl->OnLevel(nowNs, high);
    m_impl->Arm();
}

void EcuSimulator::OnByte(const kline::ReceivedByte& byte) {
    Impl& s = *m_impl;
    if (s.dead) return;
    if (s.state == State::AwaitingKeyComplement) {
        s.OnKeyComplement(byte);
    } else if (s.state == State::AwaitingStartRequest) {
        s.StartRequestOnByte(byte);
    } else if (s.state == State::Session) {
        if (s.config.protocol == EcuProtocol::Kw1281) {
            s.Kw1281OnByte(byte);
        } else if (s.config.protocol == EcuProtocol::McMess) {
            s.McMessOnByte(byte);
        } else {
            s.KwpOnByte(byte);
        }
    }
    s.Arm();
}

void EcuSimulator::OnWake(std::int64_t nowNs) {
    Impl& s = *m_impl;
    if (nowNs >= s.armedNs) s.armedNs = TimerQueue::kNever;
    s.timers.RunDue(nowNs);
    s.Arm();
}

void EcuSimulator::OnTimeShift(std::int64_t deltaNs) {
    Impl& s = *m_impl;
    s.timers.Shift(deltaNs);
    s.decoder.Shift(deltaNs);
    s.fastInit.Shift(deltaNs);
    for (std::int64_t* t : {&s.txEndNs, &s.testerByteUntilNs, &s.keyByte2EndNs, &s.busyUntilNs}) {
        *t += deltaNs;
    }
    if (s.armedNs != TimerQueue::kNever) s.armedNs += deltaNs;
}

const EcuConfig& EcuSimulator::Config() const { return m_impl->config; }

void EcuSimulator::SetFaults(const Faults& faults) {
    m_impl->faults = faults;
    if (m_impl->dead) {
        m_impl->dead = false;
        m_impl->state = State::Asleep;
    }
}

const Faults& EcuSimulator::PendingFaults() const { return m_impl->faults; }
EcuSimulator::State EcuSimulator::GetState() const { return m_impl->state; }

void EcuSimulator::SetRecording(bool on) {
    m_impl->recording = on;
    if (!on) ClearLog();
}

const std::vector<LogEntry>& EcuSimulator::Log() const { return m_impl->log; }
const std::vector<WakeReport>& EcuSimulator::WakeReports() const { return m_impl->wakeReports; }

const std::vector<FastInitReport>& EcuSimulator::FastInitReports() const {
    return m_impl->fastInitReports;
}

void EcuSimulator::ClearLog() {
    m_impl->log.clear();
    m_impl->wakeReports.clear();
    m_impl->fastInitReports.clear();
}

std::uint16_t EcuSimulator::ActiveValue(std::uint8_t channel) const {
    return m_impl->channels.Active(channel);
}

std::uint16_t EcuSimulator::StoredValue(std::uint8_t channel) const {
    return m_impl->channels.Stored(channel);
}

std::vector<std::uint8_t> EcuSimulator::LastStoreWorkshopCode() const {
    return m_impl->config.protocol == EcuProtocol::Kw1281 ? m_impl->kw1281.LastStoreWorkshopCode()
                                                          : m_impl->kwp.LastStoreWorkshopCode();
}

int EcuSimulator::RequestCount() const { return m_impl->requestCount; }

}  // namespace ecusim
