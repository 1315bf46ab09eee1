#pragma once
// Process-wide services of the forms runtime.
namespace forms {

// Processes every pending window event (input included) before it returns.
void DoEvents();

// Marks work that holds the window: while it runs the event loop does not, and the window
// system queues whatever the user does meanwhile. That input was aimed at what the window
// showed then, so once the work ends it is dropped instead of acting late on whatever the
// window shows by then (a dropped press takes its moves and release along). Input given
// after the end works as usual.
class BlockingWork {
public:
    BlockingWork() = default;
    ~BlockingWork();
    BlockingWork(const BlockingWork&) = delete;
    BlockingWork& operator=(const BlockingWork&) = delete;
};

// Ends the program at once with exit status 0: no further window event runs and every
// window goes with the process. Returns only while a test records it (forms/testing.h).
void End();

}  // namespace forms
