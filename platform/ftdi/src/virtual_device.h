#pragma once
// A virtual FTDI chip on the tester's end of a simulator K-line, on the process clock.
#include <memory>
#include <string>

#include "ftdi/device.h"

namespace ftdi {

// DeviceNotFound when no line has that name or its cable is unplugged, DeviceBusy when
// another port holds the line.
Status OpenVirtualDevice(const std::string& lineName, std::unique_ptr<Device>& device);

}  // namespace ftdi
