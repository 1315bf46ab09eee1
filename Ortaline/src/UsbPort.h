#pragma once
#include "Port.h"

// The USB cable. Until its driver binding exists it behaves as a cable that is not plugged
// in: opening it fails with ERROR_DEVICE_NOT_CONNECTED and it never counts as open.
class CUsbPort : public CPort {
public:
    CUsbPort() = default;
    ~CUsbPort() override = default;

    void Open(std::int32_t port, std::int32_t baud, PortParity parity, std::uint8_t dataBits,
              PortStopBits stopBits, PortFlowControl flow, bool overlapped) override;
    const char* GetPortName() override { return "USB"; }
};
