#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "registry/registry.h"
#include "serial/device_map.h"

namespace serialtest {

void UseTemporarySettingsStore() {
    static const bool done = [] {
        char dir[] = "/tmp/serial-tests-XXXXXX";
        if (mkdtemp(dir) == nullptr) return false;
        setenv("XDG_CONFIG_HOME", dir, 1);
        return true;
    }();
    ASSERT_TRUE(done);
}

void MapPort(int n, const std::string& device) {
    UseTemporarySettingsStore();
    ASSERT_TRUE(registry::WriteString(HKEY_CURRENT_USER, serial::kDeviceMapKey,
                                      "COM" + std::to_string(n), device));
}

HANDLE OpenPort(int n) {
    const std::string path = "\\\\.\\COM" + std::to_string(n);
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

}  // namespace serialtest
