#pragma once
#include "Port.h"

// The K-line interface on a COM port.
class CSerialPort : public CPort {
public:
    CSerialPort() = default;
    ~CSerialPort() override;

    void Open(std::int32_t port, std::int32_t baud, PortParity parity, std::uint8_t dataBits,
              PortStopBits stopBits, PortFlowControl flow, bool overlapped) override;
    bool Close() override;
    bool Flush() override;
    bool Purge(DWORD flags) override;
    bool TerminateOutstandingWrites() override;
    bool TerminateOutstandingReads() override;
    bool ClearWriteBuffer() override;
    bool ClearReadBuffer() override;
    bool Setup(DWORD receiveQueue, DWORD transmitQueue) override;
    bool SetMask(DWORD mask) override;
    bool GetTimeouts(COMMTIMEOUTS& timeouts) override;
    bool SetBaudRate(DWORD baud) override;
    const char* GetPortName() override { return "SER"; }
    bool IsOpen() override;
    DWORD Read(void* buffer, DWORD count) override;
    DWORD Write(const void* buffer, DWORD count) override;
    bool SetTimeouts(const COMMTIMEOUTS& timeouts) override;
    bool ClearError(DWORD& errors) override;
    bool ClearBreak() override;
    bool SetBreak() override;
    bool ClearDTR() override;
    bool ClearRTS() override;
    bool SetDTR() override;
    bool SetRTS() override;
    int SetInsertChar(BYTE escape) override;
    DWORD BytesWaiting() override;

    // Serial-specific operations used by the library's own serial code.
    bool GetState(DCB& dcb);
    bool SetState(DCB& dcb);
    bool GetStatus(COMSTAT& stat);

private:
    HANDLE m_hDevice = INVALID_HANDLE_VALUE;
    bool m_bOverlapped = false;
    HANDLE m_hEvent = nullptr;
};
