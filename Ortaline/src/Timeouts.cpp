// The read timeouts every exchange routine and wake-up shares.
#include "BoschComms.h"

namespace {
constexpr DWORD kIntervalTimeoutMs = 60;
constexpr DWORD kNormalReadTimeoutMs = 1500;
}  // namespace

void BoschComms::PrepareLineForWakeUp() {
    m_pPort->TerminateOutstandingReads();
    m_pPort->TerminateOutstandingWrites();
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kIntervalTimeoutMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kNormalReadTimeoutMs;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    m_pPort->SetTimeouts(timeouts);
}

void BoschComms::EndPendingReadTimeout() {
    COMMTIMEOUTS timeouts{};
    m_pPort->GetTimeouts(timeouts);
    if (timeouts.ReadTotalTimeoutConstant == kPendingReadTimeoutMs) {
        timeouts.ReadTotalTimeoutConstant = kNormalReadTimeoutMs;
        m_pPort->SetTimeouts(timeouts);
    }
}
