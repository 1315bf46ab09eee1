#include "SerialPort.h"

#include <cstdio>

namespace {

// The driver's parity and stop-bit codes for the port's enumerations; -1 leaves the
// driver's setting.
int DcbParity(PortParity parity) {
    switch (parity) {
        case PortParity::Even:
            return EVENPARITY;
        case PortParity::Mark:
            return MARKPARITY;
        case PortParity::None:
            return NOPARITY;
        case PortParity::Odd:
            return ODDPARITY;
        case PortParity::Space:
            return SPACEPARITY;
    }
    return -1;
}

int DcbStopBits(PortStopBits stopBits) {
    switch (stopBits) {
        case PortStopBits::One:
            return ONESTOPBIT;
        case PortStopBits::OnePointFive:
            return ONE5STOPBITS;
        case PortStopBits::Two:
            return TWOSTOPBITS;
    }
    return -1;
}

void ApplyFlowControl(DCB& dcb, PortFlowControl flow) {
    switch (flow) {
        case PortFlowControl::None:
            dcb.fOutxCtsFlow = 0;
            dcb.fOutxDsrFlow = 0;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            break;
        case PortFlowControl::CtsRts:
            dcb.fOutxCtsFlow = 1;
            dcb.fOutxDsrFlow = 0;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            break;
        case PortFlowControl::CtsDtr:
            dcb.fOutxCtsFlow = 1;
            dcb.fOutxDsrFlow = 0;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            break;
        case PortFlowControl::DsrRts:
            dcb.fOutxCtsFlow = 0;
            dcb.fOutxDsrFlow = 1;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            break;
        case PortFlowControl::DsrDtr:
            dcb.fOutxCtsFlow = 0;
            dcb.fOutxDsrFlow = 1;
            dcb.fOutX = 0;
            dcb.fInX = 0;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            break;
        case PortFlowControl::XonXoff:
            dcb.fOutxCtsFlow = 0;
            dcb.fOutxDsrFlow = 0;
            dcb.fOutX = 1;
            dcb.fInX = 1;
            dcb.XonChar = 0x11;
            dcb.XoffChar = 0x13;
            dcb.XonLim = 100;
            dcb.XoffLim = 100;
            break;
    }
}

inline void Check(BOOL ok) {
    if (!ok) ThrowSerialException(GetLastError());
}

}  // namespace

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::Open(std::int32_t port, std::int32_t baud, PortParity parity,
                       std::uint8_t dataBits, PortStopBits stopBits, PortFlowControl flow,
                       bool overlapped) {
    Close();

    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\COM%d", static_cast<int>(port));
    m_hDevice = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (m_hDevice == INVALID_HANDLE_VALUE) ThrowSerialException(GetLastError());

    m_hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (m_hEvent == nullptr) {
        const DWORD error = GetLastError();
        Close();
        ThrowSerialException(error);
    }
    m_bOverlapped = overlapped;

    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    GetState(dcb);
    dcb.BaudRate = static_cast<DWORD>(baud);
    if (const int p = DcbParity(parity); p >= 0) dcb.Parity = static_cast<BYTE>(p);
    dcb.ByteSize = dataBits;
    if (const int s = DcbStopBits(stopBits); s >= 0) dcb.StopBits = static_cast<BYTE>(s);

    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    ApplyFlowControl(dcb, flow);

    SetState(dcb);
}

bool CSerialPort::Close() {
    if (!IsOpen()) return false;
    CloseHandle(m_hDevice);
    m_hDevice = INVALID_HANDLE_VALUE;
    m_bOverlapped = false;
    BOOL closed = FALSE;
    if (m_hEvent != nullptr) {
        closed = CloseHandle(m_hEvent);
        m_hEvent = nullptr;
    }
    return closed != FALSE;
}

bool CSerialPort::IsOpen() { return m_hDevice != INVALID_HANDLE_VALUE; }

bool CSerialPort::Flush() {
    Check(FlushFileBuffers(m_hDevice));
    return true;
}

bool CSerialPort::Purge(DWORD flags) {
    Check(PurgeComm(m_hDevice, flags));
    return true;
}

bool CSerialPort::TerminateOutstandingWrites() { return Purge(PURGE_TXABORT); }
bool CSerialPort::TerminateOutstandingReads() { return Purge(PURGE_RXABORT); }
bool CSerialPort::ClearWriteBuffer() { return Purge(PURGE_TXCLEAR); }
bool CSerialPort::ClearReadBuffer() { return Purge(PURGE_RXCLEAR); }

bool CSerialPort::Setup(DWORD receiveQueue, DWORD transmitQueue) {
    Check(SetupComm(m_hDevice, receiveQueue, transmitQueue));
    return true;
}

bool CSerialPort::SetMask(DWORD mask) {
    Check(SetCommMask(m_hDevice, mask));
    return true;
}

bool CSerialPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    Check(GetCommTimeouts(m_hDevice, &timeouts));
    return true;
}

bool CSerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    COMMTIMEOUTS copy = timeouts;
    Check(SetCommTimeouts(m_hDevice, &copy));
    return true;
}

bool CSerialPort::SetBaudRate(DWORD baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    GetState(dcb);
    dcb.BaudRate = baud;
    return SetState(dcb);
}

DWORD CSerialPort::Read(void* buffer, DWORD count) {
    DWORD read = 0;
    Check(ReadFile(m_hDevice, buffer, count, &read, nullptr));
    return read;
}

DWORD CSerialPort::Write(const void* buffer, DWORD count) {
    DWORD written = 0;
    Check(WriteFile(m_hDevice, buffer, count, &written, nullptr));
    return written;
}

bool CSerialPort::ClearError(DWORD& errors) {
    Check(ClearCommError(m_hDevice, &errors, nullptr));
    return true;
}

bool CSerialPort::ClearBreak() {
    Check(ClearCommBreak(m_hDevice));
    return true;
}

bool CSerialPort::SetBreak() {
    Check(SetCommBreak(m_hDevice));
    return true;
}

bool CSerialPort::ClearDTR() {
    Check(EscapeCommFunction(m_hDevice, CLRDTR));
    return true;
}

bool CSerialPort::ClearRTS() {
    Check(EscapeCommFunction(m_hDevice, CLRRTS));
    return true;
}

bool CSerialPort::SetDTR() {
    Check(EscapeCommFunction(m_hDevice, SETDTR));
    return true;
}

bool CSerialPort::SetRTS() {
    Check(EscapeCommFunction(m_hDevice, SETRTS));
    return true;
}

int CSerialPort::SetInsertChar(BYTE escape) {
    DWORD returned = 0;
    return DeviceIoControl(m_hDevice, IOCTL_SERIAL_LSRMST_INSERT, &escape, 1, nullptr, 0, &returned,
                           nullptr)
               ? 0
               : 1;
}

DWORD CSerialPort::BytesWaiting() {
    COMSTAT stat{};
    GetStatus(stat);
    return stat.cbInQue;
}

bool CSerialPort::GetState(DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    Check(GetCommState(m_hDevice, &dcb));
    return true;
}

bool CSerialPort::SetState(DCB& dcb) {
    Check(SetCommState(m_hDevice, &dcb));
    return true;
}

bool CSerialPort::GetStatus(COMSTAT& stat) {
    DWORD errors = 0;
    Check(ClearCommError(m_hDevice, &errors, &stat));
    return true;
}
