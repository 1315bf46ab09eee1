#pragma once
// The session's side of OLE Automation: request bytes into a VARIANT, a reply VARIANT into
// a Reply, and a failed call into a run-time error carrying the server's message.
#include <cstdint>
#include <string>
#include <vector>

#include "com/com.h"
#include "dravik/reply.h"
#include "dravik/run_time_error.h"

namespace dravik {

// A VARIANT holding the bytes as a one-dimensional array of unsigned bytes, lower bound 0.
// The caller clears it. Out of memory is a run-time error.
VARIANT BytesToVariant(const std::vector<std::uint8_t>& bytes);

// The numbers of a one-dimensional array of integers (of any integer width, or of VARIANTs
// holding integers); anything else is "not an array".
Reply ReplyFromVariant(const VARIANT& value);

// Forgets the thread's error information, so that a later failure reports only its own.
void ClearErrorInfo();
// The error for a failed call: number = the result code, description = the thread's error
// information ("Automation error" when there is none).
RunTimeError AutomationError(HRESULT hr);
// Throws AutomationError(hr) when hr is a failure.
void CheckCall(HRESULT hr);

std::string Utf16ToUtf8(const char16_t* text, std::size_t length);

}  // namespace dravik
