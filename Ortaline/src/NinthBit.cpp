// The MCMESS exchange: every byte carries a ninth bit, sent as the line's mark or space
// parity and received through the driver's line-status insertion.
#include <algorithm>
#include <optional>
#include <vector>

#include "BoschComms.h"
#include "LineStatusStream.h"
#include "SerialPort.h"
#include "UsbPort.h"
#include "clock/win_time.h"

namespace {

constexpr DWORD kReplySettleMs = 25;
constexpr std::int64_t kFirstByteWaitMs = 1500;
constexpr std::int64_t kRestWaitExtraMs = 2;
constexpr DWORD kMaxReadCount = 255;
constexpr std::int32_t kTwoStopBitsMode = 0xA6;

// Milliseconds since construction, on the performance counter (the tick count where there
// is none). Reading it is what a busy wait does between polls.
class BusyStopwatch {
public:
    BusyStopwatch() {
        LARGE_INTEGER frequency{};
        if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart >= 1000 && Read(m_start)) {
            m_ticksPerMs = frequency.QuadPart / 1000;
        } else {
            m_startTick = GetTickCount();
        }
    }
    std::int64_t ElapsedMs() {
        std::int64_t now = 0;
        if (m_ticksPerMs > 0 && Read(now)) return (now - m_start) / m_ticksPerMs;
        if (m_ticksPerMs > 0) {  // the counter went away: count from here on the tick count
            m_ticksPerMs = 0;
            m_startTick = GetTickCount();
        }
        // Without a counter nothing else moves time on; a millisecond's sleep does.
        Sleep(1);
        return static_cast<DWORD>(GetTickCount() - m_startTick);
    }

private:
    static bool Read(std::int64_t& ticks) {
        LARGE_INTEGER value{};
        if (!QueryPerformanceCounter(&value)) return false;
        ticks = value.QuadPart;
        return true;
    }

    std::int64_t m_ticksPerMs = 0;
    std::int64_t m_start = 0;
    DWORD m_startTick = 0;
};

}  // namespace

void BoschComms::SetMcMessLine(std::optional<PortParity> parity) {
    const bool twoStopBits = m_nFastInitMode == kTwoStopBitsMode;
    // Chosen by the port object rather than by the last fast initialisation's port number:
    // a port of the other kind kept open from before must still get calls it understands.
    if (auto* serial = dynamic_cast<CSerialPort*>(m_pPort)) {
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        serial->GetState(dcb);
        dcb.ByteSize = 8;
        dcb.StopBits = twoStopBits ? TWOSTOPBITS : ONESTOPBIT;
        if (parity) dcb.Parity = *parity == PortParity::Mark ? MARKPARITY : SPACEPARITY;
        serial->SetState(dcb);
        return;
    }
    m_pPort->SetDataCharacteristics(8, twoStopBits ? PortStopBits::Two : PortStopBits::One,
                                    parity.value_or(PortParity::Space));
}

void BoschComms::SetNinthBitParity(std::int32_t bit) {
    // The serial port sends any nonzero ninth bit as a 1; the cable sends values other than
    // 0 and 1 with odd parity.
    PortParity parity = PortParity::Mark;
    if (bit == 0) {
        parity = PortParity::Space;
    } else if (bit != 1 && dynamic_cast<CSerialPort*>(m_pPort) == nullptr) {
        parity = PortParity::Odd;
    }
    SetMcMessLine(parity);
}

// A parity change reaches the UART at once: the byte before it must be off the wire first.
void BoschComms::AwaitByteSent() {
    if (dynamic_cast<CSerialPort*>(m_pPort) != nullptr) {
        m_pPort->Flush();
    } else if (auto* usb = dynamic_cast<CUsbPort*>(m_pPort)) {
        usb->AwaitTransmitterEmpty();
    }
}

HRESULT BoschComms::ExchangeMessageNinthBit(const BYTE* frame, std::int32_t size, CByteArray& echo,
                                            CByteArray& reply, bool stamp) {
    echo.RemoveAll();
    reply.RemoveAll();
    // A request of the read count alone sends nothing: it collects what the ECU has sent
    // since, the bytes a request before it left beyond its count included.
    BeginExchange(size <= 1);

    const bool inserting = m_pPort->SetInsertChar(ortaline::kLineStatusEscape) == 0;
    if (!inserting) {
        FireStatusF(Info, "SetInsertChar() failed. W32 error code: %08x",
                    static_cast<unsigned>(GetLastError()));
    }
    StampCounterIfAsked(stamp);

    for (std::int32_t i = 1; i < size; i += 2) {
        // An even-sized request has no ninth bit for its last byte: it goes out as a 0.
        SetNinthBitParity(i + 1 < size ? frame[i + 1] : 0);
        m_pPort->Write(&frame[i], 1);
        AwaitByteSent();
        WaitInMS(m_nInterByteWritePause);
    }
    SetNinthBitParity(0);
    Sleep(kReplySettleMs);

    // Busy polls, so that the whole answer, echo and escapes included, is counted in the
    // receive queue before it is read.
    DWORD toRead = size > 0 ? frame[0] : 0;
    BusyStopwatch firstByte;
    while (m_pPort->BytesWaiting() == 0 && firstByte.ElapsedMs() <= kFirstByteWaitMs) {
    }
    BusyStopwatch rest;
    while (rest.ElapsedMs() < static_cast<std::int64_t>(toRead) + kRestWaitExtraMs) {
    }
    const DWORD queued = m_pPort->BytesWaiting();
    if (queued > toRead) toRead = std::min(queued, kMaxReadCount);
    m_pPort->ClearDTR();

    std::vector<BYTE> raw;
    raw.reserve(toRead);
    for (DWORD n = 0; n < toRead; ++n) {
        BYTE b = 0;
        if (m_pPort->Read(&b, 1) == 0) {
            FireStatusF(Warning, "Byte not received (buffer: %02x)", raw.empty() ? 0 : raw.back());
            break;
        }
        raw.push_back(b);
    }
    // A count that ends inside an escape sequence: the rest, once the driver has queued it,
    // belongs to this reply's last byte, not to the start of the next reply. Without
    // insertion there are no sequences, only bytes that look like them.
    std::size_t missing = inserting ? ortaline::MissingSequenceBytes(raw.data(), raw.size()) : 0;
    while (missing > 0 && m_pPort->BytesWaiting() >= missing) {
        BYTE b = 0;
        if (m_pPort->Read(&b, 1) == 0) break;
        raw.push_back(b);
        missing = ortaline::MissingSequenceBytes(raw.data(), raw.size());
    }

    std::vector<std::string> warnings;
    ortaline::DecodeLineStatusStream(raw.data(), raw.size(), reply, warnings);
    for (const std::string& text : warnings) Fire_Status(text, Warning);
    Fire_Status("Received Response: " + ortaline::FormatNinthBitTrace(reply, size), Info);

    EndPendingReadTimeout();
    return S_OK;
}
