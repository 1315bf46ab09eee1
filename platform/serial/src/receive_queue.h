#pragma once
// The port's receive queue as a Windows driver keeps it: received bytes, the error flags
// that ClearCommError reports, and (once IOCTL_SERIAL_LSRMST_INSERT named an escape byte)
// line events written into the byte stream as escape sequences.
#include <cstddef>
#include <deque>

#include "serial_backend.h"

namespace serial {

class ReceiveQueue {
public:
    void Accept(const RxByte& byte);
    // Moves up to count bytes out; returns how many.
    std::size_t Take(BYTE* out, std::size_t count);
    std::size_t Size() const { return m_bytes.size(); }
    void Clear() { m_bytes.clear(); }

    // CE_* flags gathered since the last call, cleared by it.
    DWORD TakeErrors();
    void AddErrors(DWORD ceFlags) { m_errors |= ceFlags; }

    // 0 switches insertion off.
    void SetEscapeChar(BYTE escape) { m_escape = escape; }
    BYTE EscapeChar() const { return m_escape; }

private:
    std::deque<BYTE> m_bytes;
    DWORD m_errors = 0;
    BYTE m_escape = 0;
};

}  // namespace serial
