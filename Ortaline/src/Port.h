#pragma once
// The abstract port every K-line operation goes through, whatever cable is plugged in.
#include <cstdint>

#include "framework/exceptions.h"
#include "serial/comm.h"

enum class PortParity : std::int32_t { Even = 0, Mark = 1, None = 2, Odd = 3, Space = 4 };
enum class PortStopBits : std::int32_t { One = 0, OnePointFive = 1, Two = 2 };
enum class PortFlowControl : std::int32_t {
    None = 0,
    CtsRts = 1,
    CtsDtr = 2,
    DsrRts = 3,
    DsrDtr = 4,
    XonXoff = 5,
};

// Every operation of the base does nothing and returns 0; it is never created by itself.
class CPort {
public:
    virtual ~CPort() = default;

    virtual void Open(std::int32_t port, std::int32_t baud, PortParity parity,
                      std::uint8_t dataBits, PortStopBits stopBits, PortFlowControl flow,
                      bool overlapped) {}
    virtual bool Close() { return false; }
    virtual bool Flush() { return false; }
    virtual bool Purge(DWORD flags) { return false; }
    virtual bool TerminateOutstandingWrites() { return false; }
    virtual bool TerminateOutstandingReads() { return false; }
    virtual bool ClearWriteBuffer() { return false; }
    virtual bool ClearReadBuffer() { return false; }
    virtual bool Setup(DWORD receiveQueue, DWORD transmitQueue) { return false; }
    virtual bool SetMask(DWORD mask) { return false; }
    virtual bool GetTimeouts(COMMTIMEOUTS& timeouts) { return false; }
    virtual bool SetBaudRate(DWORD baud) { return false; }
    virtual const char* GetPortName() { return ""; }
    virtual bool IsOpen() { return false; }
    virtual DWORD Read(void* buffer, DWORD count) { return 0; }
    virtual DWORD Write(const void* buffer, DWORD count) { return 0; }
    virtual bool SetTimeouts(const COMMTIMEOUTS& timeouts) { return false; }
    virtual bool ClearError(DWORD& errors) { return false; }
    virtual bool ClearBreak() { return false; }
    virtual bool SetBreak() { return false; }
    virtual bool ClearDTR() { return false; }
    virtual bool ClearRTS() { return false; }
    virtual bool SetDTR() { return false; }
    virtual bool SetRTS() { return false; }
    virtual int SetInsertChar(BYTE escape) { return 0; }
    virtual DWORD BytesWaiting() { return 0; }
    // Data bits (7, 8 or 9), stop bits and parity between bytes, as the USB cable's driver
    // sets them; throws CSerialException when refused. The serial port changes these
    // through its device control block instead.
    virtual void SetDataCharacteristics(std::uint8_t dataBits, PortStopBits stopBits,
                                        PortParity parity) {}

protected:
    CPort() = default;
};

// Drives the K-line through the cable: break and RTS hold it low, clearing both releases it.
inline void DriveKLine(CPort& port, bool high) {
    if (high) {
        port.ClearBreak();
        port.ClearRTS();
    } else {
        port.SetBreak();
        port.SetRTS();
    }
}

// A failing driver call, carrying its Win32 error code; thrown as a pointer, the catcher
// calls Delete().
class CSerialException : public CException {
public:
    explicit CSerialException(DWORD error) : m_error(error) {}
    DWORD Error() const { return m_error; }
    BOOL GetErrorMessage(char* text, UINT maxChars, UINT* helpContext = nullptr) const override;

private:
    DWORD m_error;
};

// A code of 0 is replaced by GetLastError().
[[noreturn]] void ThrowSerialException(DWORD error = 0);
