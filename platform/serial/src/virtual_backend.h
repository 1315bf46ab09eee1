#pragma once
// The tester's end of a virtual K-line of the simulator ("sim:<name>" devices). It runs on
// the process clock, so under a simulated clock seconds of line time pass in microseconds.
#include <memory>
#include <string>

#include "serial_backend.h"

namespace serial {

// ERROR_FILE_NOT_FOUND when no line has that name, ERROR_ACCESS_DENIED when another port
// holds the line's tester side.
DWORD OpenVirtualBackend(const std::string& lineName, std::unique_ptr<SerialBackend>& backend);

}  // namespace serial
