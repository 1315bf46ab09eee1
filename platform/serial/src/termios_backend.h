#pragma once
// A real tty (serial port, USB-serial adapter, pseudo-terminal). It lives in real time:
// a cable does not wait for a simulated clock, so its waits are real even in tests.
#include <memory>
#include <string>

#include "serial_backend.h"

namespace serial {

// Opens the tty exclusively; ERROR_FILE_NOT_FOUND when there is no such tty,
// ERROR_ACCESS_DENIED when it is open already.
DWORD OpenTermiosBackend(const std::string& path, std::unique_ptr<SerialBackend>& backend);

}  // namespace serial
