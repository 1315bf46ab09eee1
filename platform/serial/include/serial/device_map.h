#pragma once
// Which device a COM port number stands for. Port n is /dev/ttyS(n-1) unless the settings
// store names another device for it under HKEY_CURRENT_USER\Software\Ortaline\Devices,
// REG_SZ value "COM<n>" (a tty path such as /dev/ttyUSB0, or "sim:<name>" for a virtual
// K-line of the simulator).
#include <string>

#include "win32/types.h"

namespace serial {

inline constexpr const char* kDeviceMapKey = "Software\\Ortaline\\Devices";
inline constexpr const char* kVirtualDevicePrefix = "sim:";

// The device that the map names under `valueName` ("COM<n>", "USB"): ERROR_SUCCESS with
// `device` (empty when the map names none), or ERROR_REGISTRY_CORRUPT while the settings
// store cannot be read: then nothing is known about any port, and no default may be
// guessed. The system message of ERROR_REGISTRY_CORRUPT names the store file and what is
// wrong with it.
DWORD ReadDeviceMapEntry(const std::string& valueName, std::string& device);

// The device of COM port n, by the rule above; the error of ReadDeviceMapEntry.
DWORD DevicePathForPort(int n, std::string& path);

// The port number of "\\.\COM<n>" or "COM<n>" (n >= 1, case-insensitive "COM"); 0 when the
// name is not a COM port name.
int PortNumberFromName(const char* name);

}  // namespace serial
