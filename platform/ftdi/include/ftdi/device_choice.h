#pragma once
// Which cable the USB port number stands for. The first real FTDI device on the USB bus,
// unless the settings store names a virtual K-line for it under
// HKEY_CURRENT_USER\Software\Ortaline\Devices, REG_SZ value "USB" ("sim:<name>", as the COM
// ports are mapped).
#include <string>

namespace ftdi {

inline constexpr const char* kUsbDeviceValue = "USB";

// The configured "sim:<name>" text, or empty for a real cable.
std::string ConfiguredUsbDevice();

}  // namespace ftdi
