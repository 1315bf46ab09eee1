#pragma once
// Which device a COM port number stands for. Port n is /dev/ttyS(n-1) unless the settings
// store names another device for it under HKEY_CURRENT_USER\Software\Ortaline\Devices,
// REG_SZ value "COM<n>" (a tty path such as /dev/ttyUSB0, or "sim:<name>" for a virtual
// K-line of the simulator).
#include <string>

namespace serial {

inline constexpr const char* kDeviceMapKey = "Software\\Ortaline\\Devices";
inline constexpr const char* kVirtualDevicePrefix = "sim:";

std::string DevicePathForPort(int n);

// The port number of "\\.\COM<n>" or "COM<n>" (n >= 1, case-insensitive "COM"); 0 when the
// name is not a COM port name.
int PortNumberFromName(const char* name);

}  // namespace serial
