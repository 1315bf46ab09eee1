#include "comm_port.h"

#include <algorithm>

#include "dcb_rules.h"
#include "read_plan.h"

namespace serial {

namespace {
constexpr DWORD kPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
}

CommPort::CommPort(std::unique_ptr<SerialBackend> backend) : m_backend(std::move(backend)) {}

CommPort::~CommPort() { Close(); }

DWORD CommPort::Open(std::unique_ptr<SerialBackend> backend, std::shared_ptr<CommPort>& port) {
    std::shared_ptr<CommPort> p(new CommPort(std::move(backend)));
    p->m_dcb = InitialDcb(p->m_backend->CurrentSettings());
    DWORD err = p->m_backend->SetDtr(true);
    if (err == ERROR_SUCCESS) err = p->m_backend->SetRts(true);
    if (err != ERROR_SUCCESS) return err;
    p->m_dtr = p->m_rts = true;
    port = std::move(p);
    return ERROR_SUCCESS;
}

void CommPort::Close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_backend.reset();
}

DWORD CommPort::GetState(DCB& dcb) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    dcb = m_dcb;
    dcb.DCBlength = sizeof(DCB);
    return ERROR_SUCCESS;
}

DWORD CommPort::SetState(const DCB& dcb) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    if (DWORD err = ValidateDcb(dcb); err != ERROR_SUCCESS) return err;
    if (DWORD err = m_backend->ApplySettings(SettingsFromDcb(dcb)); err != ERROR_SUCCESS) {
        return err;
    }
    m_dcb = dcb;
    // Setting the state drives DTR and RTS as the control modes say, whatever
    // EscapeCommFunction did to them before.
    if (DWORD err = SetDtrLocked(DtrLevelFor(dcb)); err != ERROR_SUCCESS) return err;
    return SetRtsLocked(RtsLevelFor(dcb));
}

DWORD CommPort::SetDtrLocked(bool on) {
    if (on == m_dtr) return ERROR_SUCCESS;
    if (DWORD err = m_backend->SetDtr(on); err != ERROR_SUCCESS) return err;
    m_dtr = on;
    return ERROR_SUCCESS;
}

DWORD CommPort::SetRtsLocked(bool on) {
    if (on == m_rts) return ERROR_SUCCESS;
    if (DWORD err = m_backend->SetRts(on); err != ERROR_SUCCESS) return err;
    m_rts = on;
    return ERROR_SUCCESS;
}

DWORD CommPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    timeouts = m_timeouts;
    return ERROR_SUCCESS;
}

DWORD CommPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    if (timeouts.ReadIntervalTimeout == MAXDWORD &&
        timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
        return ERROR_INVALID_PARAMETER;
    }
    m_timeouts = timeouts;
    return ERROR_SUCCESS;
}

DWORD CommPort::Pull() {
    std::vector<RxByte> received;
    const DWORD err = m_backend->Receive(received);
    for (const RxByte& b : received) {
        m_queue.Accept(b);
        m_lastArrivalNs = std::max(m_lastArrivalNs, b.timeNs);
    }
    return err;
}

DWORD CommPort::Read(BYTE* buffer, DWORD count, DWORD& read) {
    read = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    if (count == 0) return ERROR_SUCCESS;

    const ReadPlan plan = PlanRead(m_timeouts, count);
    const std::int64_t start = m_backend->NowNs();
    const std::int64_t totalDeadline = plan.totalNs >= 0 ? start + plan.totalNs : kNoDeadline;
    for (;;) {
        const DWORD pullError = Pull();
        read += static_cast<DWORD>(m_queue.Take(buffer + read, count - read));
        if (read == count || plan.returnAtOnce || (plan.returnOnFirstByte && read > 0)) break;
        // A device that went away ends the read; bytes it delivered before are not lost.
        if (pullError != ERROR_SUCCESS) return read > 0 ? ERROR_SUCCESS : pullError;

        const std::int64_t now = m_backend->NowNs();
        std::int64_t intervalDeadline = kNoDeadline;
        if (plan.intervalNs >= 0 && read > 0) {
            intervalDeadline = std::max(start, m_lastArrivalNs) + plan.intervalNs;
        }
        const std::int64_t deadline = std::min(totalDeadline, intervalDeadline);
        if (now >= deadline) break;

        bool nothingCanArrive = false;
        const DWORD waitError = m_backend->WaitForInput(deadline, nothingCanArrive);
        if (waitError != ERROR_SUCCESS || nothingCanArrive) {
            Pull();
            read += static_cast<DWORD>(m_queue.Take(buffer + read, count - read));
            if (waitError != ERROR_SUCCESS && read == 0) return waitError;
            break;
        }
    }
    return ERROR_SUCCESS;
}

DWORD CommPort::Write(const BYTE* buffer, DWORD count, DWORD& written) {
    written = 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    if (count == 0) return ERROR_SUCCESS;
    const std::int64_t total = WriteTotalNs(m_timeouts, count);
    const std::int64_t deadline = total >= 0 ? m_backend->NowNs() + total : kNoDeadline;
    return m_backend->Write(buffer, count, deadline, written);
}

DWORD CommPort::Flush() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    return m_backend->DrainOutput();
}

DWORD CommPort::Purge(DWORD flags) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    if ((flags & ~kPurgeFlags) != 0) return ERROR_INVALID_PARAMETER;
    // The abort flags only end pending overlapped operations; there are none here.
    if (flags & PURGE_TXCLEAR) {
        if (DWORD err = m_backend->PurgeTransmit(); err != ERROR_SUCCESS) return err;
    }
    if (flags & PURGE_RXCLEAR) {
        if (DWORD err = m_backend->PurgeReceive(); err != ERROR_SUCCESS) return err;
        m_queue.Clear();
    }
    return ERROR_SUCCESS;
}

DWORD CommPort::Setup(DWORD, DWORD) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_backend ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

DWORD CommPort::SetMask(DWORD mask) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    m_mask = mask;
    return ERROR_SUCCESS;
}

DWORD CommPort::ClearError(DWORD* errors, COMSTAT* stat) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    // A device that went away still reports what it delivered before; reads tell the loss.
    Pull();
    const DWORD e = m_queue.TakeErrors();
    if (errors != nullptr) *errors = e;
    if (stat != nullptr) {
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(m_queue.Size());
        DWORD out = 0;
        if (m_backend->OutputQueued(out) == ERROR_SUCCESS) stat->cbOutQue = out;
    }
    return ERROR_SUCCESS;
}

DWORD CommPort::Escape(DWORD function) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    const bool dtrByHand = m_dcb.fDtrControl != DTR_CONTROL_HANDSHAKE;
    const bool rtsByHand =
        m_dcb.fRtsControl != RTS_CONTROL_HANDSHAKE && m_dcb.fRtsControl != RTS_CONTROL_TOGGLE;
    DWORD err = ERROR_SUCCESS;
    switch (function) {
        case SETDTR:
        case CLRDTR:
            if (!dtrByHand) return ERROR_INVALID_PARAMETER;
            err = m_backend->SetDtr(function == SETDTR);
            if (err == ERROR_SUCCESS) m_dtr = function == SETDTR;
            return err;
        case SETRTS:
        case CLRRTS:
            if (!rtsByHand) return ERROR_INVALID_PARAMETER;
            err = m_backend->SetRts(function == SETRTS);
            if (err == ERROR_SUCCESS) m_rts = function == SETRTS;
            return err;
        case SETBREAK:
            return m_backend->SetBreak(true);
        case CLRBREAK:
            return m_backend->SetBreak(false);
        case SETXON:
        case SETXOFF:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

DWORD CommPort::SetInsertion(BYTE escape) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_backend) return ERROR_INVALID_HANDLE;
    // Bytes already received keep the form they were queued in.
    Pull();
    m_queue.SetEscapeChar(escape);
    return ERROR_SUCCESS;
}

}  // namespace serial
