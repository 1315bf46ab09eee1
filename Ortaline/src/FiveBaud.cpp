// The three senders of the 5-baud address byte. A 0 bit holds the K-line low (break and
// RTS set), a 1 bit releases it.
#include <string>

#include "BoschComms.h"
#include "RaisedPriority.h"
#include "clock/win_time.h"

namespace {

constexpr DWORD kIdleBeforeAddressMs = 310;
constexpr std::int32_t kBasicBitMs = 198;
constexpr std::int32_t kAccurateLeadInMs = 320;
constexpr double kAccurateBitMs = 200.05;
// The accurate sender sleeps until this close to a bit edge, then polls the counter.
constexpr std::int64_t kPollWindowMs = 20;
constexpr DWORD kUartByteMs = 2100;
constexpr LONG kFiveBaud = 5;
constexpr LONG kLineBaud = 10400;

// Bit edges of the accurate sender, scheduled on absolute deadlines from the first edge so
// that a late wake-up does not shift the edges after it. Runs on the performance counter;
// without a usable counter it runs on the millisecond tick count, sleeping throughout.
class BitSchedule {
public:
    explicit BitSchedule(std::int64_t counterFrequency) {
        m_msTicks = counterFrequency / 1000;
        m_bitTicks = static_cast<std::int64_t>(static_cast<double>(m_msTicks) * kAccurateBitMs);
        m_onCounter = m_msTicks > 0;
        if (!m_onCounter) UseTickCount();
    }

    bool OnCounter() const { return m_onCounter; }

    // The first edge: one millisecond short of a bit time from now.
    void Start() {
        std::int64_t t0 = 0;
        if (m_onCounter && !ReadCounter(t0)) UseTickCount();
        if (!m_onCounter) t0 = ReadTicks();
        m_lastGood = t0;
        m_deadline = t0 - m_msTicks + m_bitTicks;
    }

    void WaitForEdge() {
        if (m_onCounter) {
            WaitOnCounter();
        } else {
            while (ReadTicks() <= m_deadline) Sleep(1);
        }
        m_deadline += m_bitTicks;
    }

private:
    void UseTickCount() {
        m_onCounter = false;
        m_msTicks = 1;
        m_bitTicks = static_cast<std::int64_t>(kAccurateBitMs);
        m_tickBase = GetTickCount();
    }

    bool ReadCounter(std::int64_t& now) {
        LARGE_INTEGER count{};
        if (!QueryPerformanceCounter(&count)) return false;
        now = m_lastGood = count.QuadPart;
        return true;
    }

    // Milliseconds since the schedule switched to the tick count (wrap-safe).
    std::int64_t ReadTicks() const { return static_cast<DWORD>(GetTickCount() - m_tickBase); }

    void WaitOnCounter() {
        std::int64_t now = 0;
        do {
            Sleep(1);
            if (!ReadCounter(now)) return SleepOutBit();
        } while (now + kPollWindowMs * m_msTicks < m_deadline);
        while (now <= m_deadline) {
            if (!ReadCounter(now)) return SleepOutBit();
        }
    }

    // The counter failed mid-byte: sleep out the rest of this bit and carry on from there;
    // the next edge tries the counter again.
    void SleepOutBit() {
        const std::int64_t rest = m_deadline - m_lastGood;
        if (rest > 0) Sleep(static_cast<DWORD>((rest + m_msTicks - 1) / m_msTicks));
        m_lastGood = m_deadline + 1;
    }

    bool m_onCounter = true;
    std::int64_t m_msTicks = 0;
    std::int64_t m_bitTicks = 0;
    std::int64_t m_deadline = 0;
    std::int64_t m_lastGood = 0;
    DWORD m_tickBase = 0;
};

}  // namespace

std::int32_t BoschComms::SendFiveBaudByte(std::int32_t address) {
    RaisedPriority priority;
    m_pPort->ClearRTS();
    m_pPort->SetDTR();
    FireStatusF(Info, "Sending 5-baud Initialization byte: (0x%.2X)", address);

    DriveKLine(*m_pPort, true);
    Sleep(kIdleBeforeAddressMs);

    m_pPort->ClearDTR();
    DriveKLine(*m_pPort, false);  // start bit
    WaitInMS(kBasicBitMs);

    const bool sevenBit = m_nInitializationAddressingMode == SevenBit;
    const int dataBits = sevenBit ? 7 : 8;
    std::string bits;
    int parity = 0;
    for (int i = 0; i < dataBits; ++i) {
        const int bit = (address >> i) & 1;
        parity ^= bit;
        DriveKLine(*m_pPort, bit != 0);
        bits += bit != 0 ? '1' : '0';
        WaitInMS(kBasicBitMs);
    }
    if (sevenBit) {
        DriveKLine(*m_pPort, parity != 0);
        WaitInMS(kBasicBitMs);
    }
    DriveKLine(*m_pPort, true);  // stop bit
    WaitInMS(kBasicBitMs);

    m_pPort->ClearRTS();
    m_pPort->ClearBreak();
    m_pPort->SetDTR();
    if (sevenBit) {
        FireStatusF(Info, "7 BIT ADDRESSING: Sent:0:%s:%i:1", bits.c_str(), parity);
    } else {
        FireStatusF(Info, "8 BIT ADDRESSING: Sent:0:%s:1", bits.c_str());
    }
    return 0;
}

std::int32_t BoschComms::SendFiveBaudByteAccurate(std::int32_t address) {
    FireStatusF(Info, "Sending 5-baud Initialization byte (accurate): (0x%.2X)", address);
    RaisedPriority priority;
    WaitInMS(kAccurateLeadInMs);

    // WaitInMS has cached the frequency; below 1000 Hz it is no use for bit edges.
    BitSchedule schedule(m_nCounterFrequency >= 1000 ? m_nCounterFrequency : 0);
    FireStatusF(Info, "Hardware Counter Frequency: %i", static_cast<int>(m_nCounterFrequency));
    if (!schedule.OnCounter()) {
        Fire_Status("Hardware counter not available: timing the address bits on the tick count",
                    Warning);
    }

    // Idle, start, eight address bits, stop; sent bit 0 first.
    const std::uint32_t word = (static_cast<std::uint32_t>(address) << 2) | 0x401u;
    std::string bits;
    for (int i = 0; i < 8; ++i) bits += ((address >> i) & 1) != 0 ? '1' : '0';

    m_pPort->ClearDTR();
    schedule.Start();
    for (int i = 0; i < 11; ++i) {
        DriveKLine(*m_pPort, ((word >> i) & 1u) != 0);
        schedule.WaitForEdge();
    }
    DriveKLine(*m_pPort, true);
    m_pPort->SetDTR();
    FireStatusF(Info, "8 BIT ADDRESSING: Sent:0:%s:1", bits.c_str());
    return 0;
}

std::int32_t BoschComms::SendFiveBaudByteViaUart(std::int32_t address) {
    Fire_Status("K line initialisation using UART", Info);
    VARIANT_BOOL changed = VARIANT_FALSE;
    ChangeBaudRate(kFiveBaud, &changed);
    // A cable that cannot go down to 5 baud would send the address at line speed.
    if (changed != VARIANT_TRUE) return -1;
    m_pPort->SetDTR();
    m_pPort->ClearRTS();
    m_pPort->TerminateOutstandingReads();
    m_pPort->TerminateOutstandingWrites();
    const BYTE byte = static_cast<BYTE>(address & 0xFF);
    m_pPort->Write(&byte, 1);
    Sleep(kUartByteMs);
    // The line speed after the wake-up is the protocol's, whatever the port was opened with.
    ChangeBaudRate(kLineBaud, &changed);
    m_pPort->Flush();
    m_pPort->TerminateOutstandingReads();
    m_pPort->TerminateOutstandingWrites();
    m_pPort->SetDTR();
    return 0;
}
