#pragma once
// What the kernel says about the driver behind a tty, from sysfs. USB-serial chips under
// their kernel driver accept baud rates they cannot produce (the FTDI driver takes 5 baud,
// reports it back and programs another divisor), so such a rate is refused here by driver.
#include <string>

#include "win32/types.h"

namespace serial {

// The driver's name ("ftdi_sio", "pl2303", "serial8250"...) of the tty at devicePath,
// following symbolic links to the device node; empty when sysfs does not tell.
std::string TtyDriverName(const std::string& devicePath);
// The slowest rate the driver's chip can really make; 0 when the driver is not known to
// misreport any rate.
DWORD LowestBaudOfDriver(const std::string& driverName);

// Where sysfs is looked up ("/sys"); tests point it at a tree of their own.
void SetSysfsRoot(const std::string& root);

}  // namespace serial
