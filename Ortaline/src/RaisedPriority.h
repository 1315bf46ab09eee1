#pragma once
// Realtime process and time-critical thread priority for as long as the guard lives, so
// that hand-driven line patterns keep their timing; the previous priorities come back on
// every path out of the scope, exceptions included.
#include "clock/win_time.h"

class RaisedPriority {
public:
    RaisedPriority()
        : m_process(GetCurrentProcess()),
          m_thread(GetCurrentThread()),
          m_oldClass(GetPriorityClass(m_process)),
          m_oldThreadPriority(GetThreadPriority(m_thread)) {
        SetPriorityClass(m_process, REALTIME_PRIORITY_CLASS);
        SetThreadPriority(m_thread, THREAD_PRIORITY_TIME_CRITICAL);
    }
    ~RaisedPriority() {
        // A failed query gave 0 / THREAD_PRIORITY_ERROR_RETURN: nothing sound to restore.
        if (m_oldThreadPriority != THREAD_PRIORITY_ERROR_RETURN) {
            SetThreadPriority(m_thread, m_oldThreadPriority);
        }
        if (m_oldClass != 0) SetPriorityClass(m_process, m_oldClass);
    }
    RaisedPriority(const RaisedPriority&) = delete;
    RaisedPriority& operator=(const RaisedPriority&) = delete;

private:
    HANDLE m_process;
    HANDLE m_thread;
    DWORD m_oldClass;
    int m_oldThreadPriority;
};
