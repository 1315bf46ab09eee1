#include "default_driver.h"

#include "ftdi/device_choice.h"
#include "libftdi_device.h"
#include "serial/device_map.h"
#include "virtual_device.h"

namespace ftdi {

namespace {

// The configured "sim:<name>" text, or empty for a real cable; false while the settings
// store cannot be read, when no cable may be guessed.
bool ReadUsbDevice(std::string& configured) {
    if (serial::ReadDeviceMapEntry(kUsbDeviceValue, configured) != ERROR_SUCCESS) return false;
    const std::string prefix = serial::kVirtualDevicePrefix;
    if (configured.compare(0, prefix.size(), prefix) != 0) configured.clear();
    return true;
}

}  // namespace

std::string ConfiguredUsbDevice() {
    std::string configured;
    ReadUsbDevice(configured);
    return configured;
}

namespace {

class SettingsDriver final : public Driver {
public:
    Status Open(int index, std::unique_ptr<Device>& device) override {
        std::string configured;
        if (!ReadUsbDevice(configured)) return Status::SettingsStoreDamaged;
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
