#include "tty_driver.h"

#include <filesystem>
#include <mutex>

#include "ftdi/chip.h"

namespace serial {
namespace {

std::mutex g_rootMutex;
std::string g_sysfsRoot = "/sys";

std::string SysfsRoot() {
    std::lock_guard lock(g_rootMutex);
    return g_sysfsRoot;
}

}  // namespace

void SetSysfsRoot(const std::string& root) {
    std::lock_guard lock(g_rootMutex);
    g_sysfsRoot = root;
}

std::string TtyDriverName(const std::string& devicePath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path node = fs::canonical(devicePath, ec);
    if (ec) node = devicePath;
    // /dev/pts/3 is "3" in sysfs as well; every other tty is its node's name.
    const fs::path link =
        fs::path(SysfsRoot()) / "class" / "tty" / node.filename() / "device" / "driver";
    const fs::path driver = fs::read_symlink(link, ec);
    if (ec) return {};
    return driver.filename().string();
}

DWORD LowestBaudOfDriver(const std::string& driverName) {
    return driverName == "ftdi_sio" ? ftdi::kLowestBaud : 0;
}

}  // namespace serial
