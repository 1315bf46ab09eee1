#include "receive_queue.h"

#include "serial/comm.h"

namespace serial {

namespace {

constexpr BYTE kLsrErrorBits = SERIAL_LSR_OE | SERIAL_LSR_PE | SERIAL_LSR_FE | SERIAL_LSR_BI;

BYTE LineStatusOf(const RxByte& byte) {
    BYTE lsr = 0;
    if (byte.overrun) lsr |= SERIAL_LSR_OE;
    if (byte.parityError) lsr |= SERIAL_LSR_PE;
    // A UART reports a break as a framing error too: the stop bit was low.
    if (byte.framingError || byte.breakCondition) lsr |= SERIAL_LSR_FE;
    if (byte.breakCondition) lsr |= SERIAL_LSR_BI;
    if (byte.transmitterIdle) lsr |= SERIAL_LSR_THRE | SERIAL_LSR_TEMT;
    return lsr;
}

}  // namespace

void ReceiveQueue::Accept(const RxByte& byte) {
    const BYTE lsr = LineStatusOf(byte);
    if (lsr & SERIAL_LSR_OE) m_errors |= CE_OVERRUN;
    if (lsr & SERIAL_LSR_PE) m_errors |= CE_RXPARITY;
    if (lsr & SERIAL_LSR_FE) m_errors |= CE_FRAME;
    if (lsr & SERIAL_LSR_BI) m_errors |= CE_BREAK;

    if (m_escape == 0) {
        m_bytes.push_back(byte.value);
    } else if (lsr & kLsrErrorBits) {
        m_bytes.insert(m_bytes.end(), {m_escape, SERIAL_LSRMST_LSR_DATA, lsr, byte.value});
    } else if (byte.value == m_escape) {
        m_bytes.insert(m_bytes.end(), {m_escape, SERIAL_LSRMST_ESCAPE});
    } else {
        m_bytes.push_back(byte.value);
    }
}

std::size_t ReceiveQueue::Take(BYTE* out, std::size_t count) {
    std::size_t n = 0;
    while (n < count && !m_bytes.empty()) {
        out[n++] = m_bytes.front();
        m_bytes.pop_front();
    }
    return n;
}

DWORD ReceiveQueue::TakeErrors() {
    const DWORD e = m_errors;
    m_errors = 0;
    return e;
}

}  // namespace serial
