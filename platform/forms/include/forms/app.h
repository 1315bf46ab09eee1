#pragma once
// Process-wide services of the forms runtime.
namespace forms {

// Processes every pending window event (input included) before it returns.
void DoEvents();

// Ends the program at once with exit status 0: no further window event runs and every
// window goes with the process. Returns only while a test records it (forms/testing.h).
void End();

}  // namespace forms
