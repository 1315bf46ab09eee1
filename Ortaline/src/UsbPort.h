#pragma once
// The K-line cable built on an FTDI USB-serial chip. It always opens the first FTDI device,
// keeps its timeouts and gives them to the driver before each transfer, and after a failed
// transfer closes the device and reopens it with the last Open arguments until that works
// or the transfer's timeout, at least 4.5 s, has passed.
#include "Port.h"
#include "ftdi/driver.h"

class CUsbPort : public CPort {
public:
    CUsbPort();
    ~CUsbPort() override;

    void Open(std::int32_t port, std::int32_t baud, PortParity parity, std::uint8_t dataBits,
              PortStopBits stopBits, PortFlowControl flow, bool overlapped) override;
    bool Close() override;
    bool Flush() override { return false; }
    bool Purge(DWORD flags) override;
    bool TerminateOutstandingWrites() override;
    bool TerminateOutstandingReads() override;
    bool ClearWriteBuffer() override { return TerminateOutstandingWrites(); }
    bool ClearReadBuffer() override { return TerminateOutstandingReads(); }
    bool Setup(DWORD receiveQueue, DWORD transmitQueue) override;
    bool SetMask(DWORD) override { return false; }
    bool GetTimeouts(COMMTIMEOUTS& timeouts) override;
    // False when the cable refuses the rate; the stored rate of the last Open is kept.
    bool SetBaudRate(DWORD baud) override;
    const char* GetPortName() override { return "USB"; }
    bool IsOpen() override { return m_hDevice != 0; }
    DWORD Read(void* buffer, DWORD count) override;
    DWORD Write(const void* buffer, DWORD count) override;
    bool SetTimeouts(const COMMTIMEOUTS& timeouts) override;
    bool ClearError(DWORD& errors) override;
    bool ClearBreak() override;
    bool SetBreak() override;
    bool ClearDTR() override;
    // The cable has no use for RTS: the K-line is driven by the break alone.
    bool ClearRTS() override { return false; }
    bool SetDTR() override;
    bool SetRTS() override { return false; }
    int SetInsertChar(BYTE escape) override;
    DWORD BytesWaiting() override;

    // Data bits 7, 8 or 9, stop bits and parity between bytes; throws CSerialException when
    // a value is refused.
    void SetDataCharacteristics(std::uint8_t dataBits, PortStopBits stopBits,
                                PortParity parity) override;
    // Returns once the last byte written has left the wire: never before one character at
    // the rate and framing in force, and where the driver can ask the chip, not before it
    // reports its transmitter empty either.
    void AwaitTransmitterEmpty();

private:
    void Configure();
    void ApplyTimeouts(DWORD count);
    // Closes, then tries Open with the stored arguments until it works or limitMs passed.
    void Reopen(DWORD limitMs);

    ftdi::Handle m_hDevice = 0;
    COMMTIMEOUTS m_timeouts{};
    std::int32_t m_nPort = 0;
    std::int32_t m_nBaud = 0;
    PortParity m_parity = PortParity::None;
    std::uint8_t m_nDataBits = 0;
    PortStopBits m_stopBits = PortStopBits::One;
    PortFlowControl m_flow = PortFlowControl::None;
    // The line in force, which SetBaudRate and SetDataCharacteristics change between Opens.
    DWORD m_nLineBaud = 0;
    DWORD m_nCharacterBits = 10;
};
