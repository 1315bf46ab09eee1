#pragma once
// A real FTDI cable on the USB bus, through libftdi1.
#include <memory>

#include "ftdi/device.h"

namespace ftdi {

// Opens the index-th FTDI device of the usual vendor and product ids, taking it from the
// kernel's serial driver for as long as it is held (given back at close).
Status OpenLibftdiDevice(int index, std::unique_ptr<Device>& device);

}  // namespace ftdi
