#pragma once
// A private settings store for the test process, and COM port numbers mapped to devices.
#include <string>

#include "serial/comm.h"

namespace serialtest {

// Points XDG_CONFIG_HOME at a fresh temporary folder (once per process).
void UseTemporarySettingsStore();
// Makes "\\.\COM<n>" open device (a tty path or "sim:<name>").
void MapPort(int n, const std::string& device);
// Opens "\\.\COM<n>" the way the library does.
HANDLE OpenPort(int n);

}  // namespace serialtest
