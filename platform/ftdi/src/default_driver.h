#pragma once
#include "ftdi/device.h"

namespace ftdi {

// Opens the cable the settings store chooses (see ftdi/device_choice.h).
Driver& DefaultDriver();

}  // namespace ftdi
