#pragma once
#include <string>

#include "win32/types.h"

// Per-thread last error code, as GetLastError / SetLastError keep it.
DWORD GetLastError();
void SetLastError(DWORD code);

namespace win32 {

// Maps a POSIX errno value to the nearest Win32 error code.
DWORD ErrorFromErrno(int err);

// The system's message text for a Win32 error code ("The system cannot find the file
// specified.\r\n" style); false and an empty text when the code has no message.
bool SystemMessage(DWORD code, std::string& text);

}  // namespace win32
