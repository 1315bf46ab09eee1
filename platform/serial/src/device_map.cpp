#include "serial/device_map.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "registry/registry.h"

namespace serial {

DWORD ReadDeviceMapEntry(const std::string& valueName, std::string& device) {
    if (registry::ReadString(HKEY_CURRENT_USER, kDeviceMapKey, valueName, device)) {
        return ERROR_SUCCESS;
    }
    device.clear();
    return registry::StoreProblem().empty() ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
}

DWORD DevicePathForPort(int n, std::string& path) {
    const DWORD err = ReadDeviceMapEntry("COM" + std::to_string(n), path);
    if (err != ERROR_SUCCESS) return err;
    if (path.empty()) path = "/dev/ttyS" + std::to_string(n - 1);
    return ERROR_SUCCESS;
}

int PortNumberFromName(const char* name) {
    if (name == nullptr) return 0;
    if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
    if (std::strlen(name) < 4) return 0;
    if (std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M') {
        return 0;
    }
    const char* digits = name + 3;
    if (*digits == '0') return 0;  // no "COM0", no leading zeros
    long long n = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return 0;
        n = n * 10 + (*p - '0');
        if (n > INT_MAX) return 0;
    }
    return static_cast<int>(n);
}

}  // namespace serial
