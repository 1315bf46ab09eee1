#include "default_driver.h"

#include "ftdi/device_choice.h"
#include "libftdi_device.h"
#include "registry/registry.h"
#include "serial/device_map.h"
#include "virtual_device.h"

namespace ftdi {

std::string ConfiguredUsbDevice() {
    std::string configured;
    if (!registry::ReadString(HKEY_CURRENT_USER, serial::kDeviceMapKey, kUsbDeviceValue,
                              configured)) {
        return {};
    }
    const std::string prefix = serial::kVirtualDevicePrefix;
    return configured.compare(0, prefix.size(), prefix) == 0 ? configured : std::string();
}

namespace {

class SettingsDriver final : public Driver {
public:
    Status Open(int index, std::unique_ptr<Device>& device) override {
        const std::string configured = ConfiguredUsbDevice();
        if (configured.empty()) return OpenLibftdiDevice(index, device);
        // A virtual line has one cable on it.
        if (index != 0) return Status::DeviceNotFound;
        return OpenVirtualDevice(
            configured.substr(std::string(serial::kVirtualDevicePrefix).size()), device);
    }
};

}  // namespace

Driver& DefaultDriver() {
    static SettingsDriver driver;
    return driver;
}

}  // namespace ftdi
