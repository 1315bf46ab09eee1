#pragma once
// A simulated engine control unit on the virtual K-line. It wakes up on a 5-baud address
// byte, answers with 0x55 and its key bytes, and then speaks KW1281 blocks (every byte but
// the last acknowledged by its complement) or ISO 14230 frames, with the timing of a real
// unit. KWP2000 and MCMESS units also wake up on the fast initialisation (measured from the
// line levels) and answer its start request with their key bytes; an MCMESS unit then
// speaks bytes that carry a ninth bit. It only ever reacts to the wire's callbacks and their event
// times, so it runs the same on the simulated and on the real clock.
//
// Errors in a KW1281 session (a missing or wrong complement, a tester byte that does not
// come in time, a wrong block counter or block end, a block length under 3) end the
// session: the ECU goes quiet and waits for a new wake-up. A KWP2000 request with a wrong
// checksum, or one whose bytes stop coming, is dropped without an answer.
#include <cstdint>
#include <memory>
#include <vector>

#include "ecusim/config.h"
#include "ecusim/faults.h"
#include "ecusim/sim_log.h"
#include "kline/kline.h"

namespace ecusim {

class EcuSimulator : public kline::Peer {
public:
    enum class State {
        Asleep,
        WakingUp,
        AwaitingKeyComplement,
        AwaitingStartRequest,  // a fast initialisation woke it
        Session,
        Dead
    };

    explicit EcuSimulator(EcuConfig config = DefaultConfig(EcuProtocol::Kw1281));
    ~EcuSimulator() override;
    EcuSimulator(const EcuSimulator&) = delete;
    EcuSimulator& operator=(const EcuSimulator&) = delete;

    void OnAttach(kline::KLine& line) override;
    void OnLineLevel(std::int64_t nowNs, bool high) override;
    void OnByte(const kline::ReceivedByte& byte) override;
    void OnWake(std::int64_t nowNs) override;
    void OnTimeShift(std::int64_t deltaNs) override;

    const EcuConfig& Config() const;
    // Replaces every pending fault (and revives an ECU whose link died).
    void SetFaults(const Faults& faults);
    const Faults& PendingFaults() const;

    State GetState() const;
    // The log and the reports, for assertions. Kept from construction, each to its newest
    // 65536 entries at least (older ones are dropped in halves); a simulator nobody reads
    // (the program's own sim: devices) turns them off, which also drops what was kept.
    void SetRecording(bool on);
    const std::vector<LogEntry>& Log() const;
    const std::vector<WakeReport>& WakeReports() const;
    const std::vector<FastInitReport>& FastInitReports() const;
    void ClearLog();

    std::uint16_t ActiveValue(std::uint8_t channel) const;
    std::uint16_t StoredValue(std::uint8_t channel) const;
    // Workshop code given with the last store request (empty before one).
    std::vector<std::uint8_t> LastStoreWorkshopCode() const;
    // Requests (blocks or frames) the ECU has understood since it was made.
    int RequestCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace ecusim
