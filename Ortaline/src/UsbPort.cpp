#include "UsbPort.h"

#include <algorithm>

#include "clock/win_time.h"

namespace {

constexpr DWORD kReopenAtLeastMs = 4500;
constexpr BYTE kLatencyMs = 1;
// The rate of a chip that was never given one.
constexpr DWORD kChipDefaultBaud = 9600;
// Beyond one character, how long a chip may take to report its transmitter empty.
constexpr DWORD kTransmitterEmptySlackMs = 10;

BYTE DriverParity(PortParity parity) {
    switch (parity) {
        case PortParity::Even:
            return 2;
        case PortParity::Mark:
            return 3;
        case PortParity::None:
            return 0;
        case PortParity::Odd:
            return 1;
        case PortParity::Space:
            return 4;
    }
    ThrowSerialException(ERROR_INVALID_PARAMETER);
}

BYTE DriverStopBits(PortStopBits stopBits) {
    switch (stopBits) {
        case PortStopBits::One:
            return 0;
        case PortStopBits::Two:
            return 2;
        case PortStopBits::OnePointFive:
            break;
    }
    ThrowSerialException(ERROR_INVALID_PARAMETER);
}

WORD DriverFlow(PortFlowControl flow) {
    switch (flow) {
        case PortFlowControl::None:
            return ftdi::kFlowNone;
        case PortFlowControl::CtsRts:
            return ftdi::kFlowRtsCts;
        case PortFlowControl::DsrDtr:
            return ftdi::kFlowDtrDsr;
        default:
            break;
    }
    ThrowSerialException(ERROR_INVALID_PARAMETER);
}

// Start bit, data bits, parity bit and stop bits.
DWORD CharacterBits(std::uint8_t dataBits, PortStopBits stopBits, PortParity parity) {
    return 1 + dataBits + (parity == PortParity::None ? 0 : 1) +
           (stopBits == PortStopBits::Two ? 2 : 1);
}

void Check(ftdi::Status status) {
    if (status != ftdi::Status::Ok) ThrowSerialException(0);
}

DWORD PurgeMask(DWORD flags) {
    DWORD mask = 0;
    if (flags & (PURGE_TXABORT | PURGE_TXCLEAR)) mask |= ftdi::kPurgeTransmit;
    if (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) mask |= ftdi::kPurgeReceive;
    return mask;
}

// A driver call whose status the cable ignores; false when no device is open.
template <class Call>
bool IfOpen(ftdi::Handle handle, Call&& call) {
    if (handle == 0) return false;
    call(handle);
    return true;
}

}  // namespace

CUsbPort::CUsbPort() { m_timeouts.WriteTotalTimeoutConstant = 1000; }

CUsbPort::~CUsbPort() { Close(); }

void CUsbPort::Open(std::int32_t port, std::int32_t baud, PortParity parity, std::uint8_t dataBits,
                    PortStopBits stopBits, PortFlowControl flow, bool overlapped) {
    // Stored first, so that even a failing Open changes what a reopen uses.
    m_nPort = port;
    m_nBaud = baud;
    m_parity = parity;
    m_nDataBits = dataBits;
    m_stopBits = stopBits;
    m_flow = flow;
    if (overlapped) ThrowSerialException(ERROR_INVALID_PARAMETER);
    // An open cable is configured again, so that a line setting left behind by the last
    // session (a parity change between bytes, another baud rate) does not carry over.
    if (m_hDevice == 0 && ftdi::OpenByIndex(0, m_hDevice) != ftdi::Status::Ok) {
        m_hDevice = 0;
        ThrowSerialException(0);
    }
    Configure();
}

// A throw here leaves the device open but not fully configured.
void CUsbPort::Configure() {
    Check(ftdi::SetBaudRate(m_hDevice, static_cast<DWORD>(m_nBaud)));
    m_nLineBaud = static_cast<DWORD>(m_nBaud);
    const BYTE parity = DriverParity(m_parity);
    if (m_nDataBits != 7 && m_nDataBits != 8) ThrowSerialException(ERROR_INVALID_PARAMETER);
    const BYTE stopBits = DriverStopBits(m_stopBits);
    Check(ftdi::SetFlowControl(m_hDevice, DriverFlow(m_flow), 0, 0));
    Check(ftdi::SetDataCharacteristics(m_hDevice, m_nDataBits, stopBits, parity));
    m_nCharacterBits = CharacterBits(m_nDataBits, m_stopBits, m_parity);
    Check(ftdi::SetLatencyTimer(m_hDevice, kLatencyMs));
    Check(ftdi::ClearRts(m_hDevice));
}

bool CUsbPort::Close() {
    if (m_hDevice == 0) return false;
    ftdi::Close(m_hDevice);
    m_hDevice = 0;
    return true;
}

bool CUsbPort::Purge(DWORD flags) {
    return IfOpen(m_hDevice, [&](ftdi::Handle h) { ftdi::Purge(h, PurgeMask(flags)); });
}

bool CUsbPort::TerminateOutstandingWrites() { return Purge(PURGE_TXABORT); }

bool CUsbPort::TerminateOutstandingReads() { return Purge(PURGE_RXABORT); }

bool CUsbPort::Setup(DWORD receiveQueue, DWORD transmitQueue) {
    return IfOpen(m_hDevice,
                  [&](ftdi::Handle h) { ftdi::SetTransferSizes(h, receiveQueue, transmitQueue); });
}

bool CUsbPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    timeouts = m_timeouts;
    return true;
}

bool CUsbPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    m_timeouts = timeouts;
    return true;
}

bool CUsbPort::SetBaudRate(DWORD baud) {
    if (m_hDevice == 0 || ftdi::SetBaudRate(m_hDevice, baud) != ftdi::Status::Ok) return false;
    m_nLineBaud = baud;
    return true;
}

void CUsbPort::ApplyTimeouts(DWORD count) {
    ftdi::SetTimeouts(
        m_hDevice,
        m_timeouts.ReadTotalTimeoutMultiplier * count + m_timeouts.ReadTotalTimeoutConstant,
        m_timeouts.WriteTotalTimeoutMultiplier * count + m_timeouts.WriteTotalTimeoutConstant);
}

DWORD CUsbPort::Read(void* buffer, DWORD count) {
    if (m_hDevice == 0) return 0;
    ApplyTimeouts(count);
    DWORD read = 0;
    if (ftdi::Read(m_hDevice, buffer, count, read) != ftdi::Status::Ok) {
        Reopen(m_timeouts.ReadTotalTimeoutMultiplier * count + m_timeouts.ReadTotalTimeoutConstant);
    }
    return read;
}

DWORD CUsbPort::Write(const void* buffer, DWORD count) {
    if (m_hDevice == 0) return 0;
    ApplyTimeouts(count);
    DWORD written = 0;
    if (ftdi::Write(m_hDevice, buffer, count, written) != ftdi::Status::Ok) {
        Reopen(m_timeouts.WriteTotalTimeoutMultiplier * count +
               m_timeouts.WriteTotalTimeoutConstant);
    }
    return written;
}

void CUsbPort::Reopen(DWORD limitMs) {
    Close();
    const DWORD limit = std::max(limitMs, kReopenAtLeastMs);
    const DWORD t0 = GetTickCount();
    for (;;) {
        try {
            Open(m_nPort, m_nBaud, m_parity, m_nDataBits, m_stopBits, m_flow, false);
            return;
        } catch (CSerialException* e) {
            e->Delete();
            // A device that opened but refused its settings is opened afresh next time.
            Close();
        }
        if (GetTickCount() - t0 >= limit) return;
    }
}

bool CUsbPort::ClearError(DWORD& errors) {
    COMSTAT status{};
    return ftdi::ClearCommError(m_hDevice, &errors, &status) != FALSE;
}

bool CUsbPort::ClearBreak() { return IfOpen(m_hDevice, ftdi::SetBreakOff); }

bool CUsbPort::SetBreak() { return IfOpen(m_hDevice, ftdi::SetBreakOn); }

bool CUsbPort::ClearDTR() { return IfOpen(m_hDevice, ftdi::ClearDtr); }

bool CUsbPort::SetDTR() { return IfOpen(m_hDevice, ftdi::SetDtr); }

int CUsbPort::SetInsertChar(BYTE escape) {
    if (m_hDevice == 0) return 0;
    DWORD returned = 0;
    return static_cast<int>(ftdi::DeviceIoControl(m_hDevice, IOCTL_SERIAL_LSRMST_INSERT, &escape, 1,
                                                  nullptr, 0, &returned));
}

DWORD CUsbPort::BytesWaiting() {
    if (m_hDevice == 0) return 0;
    DWORD count = 0;
    return ftdi::GetQueueStatus(m_hDevice, count) == ftdi::Status::Ok ? count : 0;
}

void CUsbPort::SetDataCharacteristics(std::uint8_t dataBits, PortStopBits stopBits,
                                      PortParity parity) {
    const BYTE stop = DriverStopBits(stopBits);
    const BYTE driverParity = DriverParity(parity);
    if (dataBits < 7 || dataBits > 9) ThrowSerialException(ERROR_INVALID_PARAMETER);
    Check(ftdi::SetDataCharacteristics(m_hDevice, dataBits, stop, driverParity));
    m_nCharacterBits = CharacterBits(dataBits, stopBits, parity);
}

void CUsbPort::AwaitTransmitterEmpty() {
    if (m_hDevice == 0) return;
    const DWORD baud = m_nLineBaud != 0 ? m_nLineBaud : kChipDefaultBaud;
    const DWORD characterMs = (m_nCharacterBits * 1000 + baud - 1) / baud;
    // A byte just handed over may still be on its way to the chip's transmitter, which then
    // reports empty before it started: a whole character is always waited. The chip's own
    // status then also covers the byte's way over USB; a chip that never reports empty is
    // not waited for beyond the slack.
    const DWORD t0 = GetTickCount();
    Sleep(characterMs);
    DWORD status = 0;
    while (ftdi::GetModemStatus(m_hDevice, status) == ftdi::Status::Ok &&
           (status & ftdi::kTransmitterEmpty) == 0 &&
           GetTickCount() - t0 < characterMs + kTransmitterEmptySlackMs) {
    }
}
