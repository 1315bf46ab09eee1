#include "UsbPort.h"

void CUsbPort::Open(std::int32_t, std::int32_t, PortParity, std::uint8_t, PortStopBits,
                    PortFlowControl, bool) {
    ThrowSerialException(ERROR_DEVICE_NOT_CONNECTED);
}
