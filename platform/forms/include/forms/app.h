#pragma once
// Process-wide services of the forms runtime.
namespace forms {

// Processes every pending window event (input included) before it returns.
void DoEvents();

}  // namespace forms
