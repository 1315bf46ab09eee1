#pragma once
// Realtime process and time-critical thread priority for as long as the guard lives, so
// that hand-driven line patterns keep their timing; the previous priorities come back on
// every path out of the scope, exceptions included. A priority that could not be read is
// not raised, since nothing sound could be put back.
#include "clock/win_time.h"

class RaisedPriority {
public:
    RaisedPriority()
        : m_process(GetCurrentProcess()),
          m_thread(GetCurrentThread()),
          m_oldClass(GetPriorityClass(m_process)),
          m_oldThreadPriority(GetThreadPriority(m_thread)) {
        m_classRaised = m_oldClass != 0 && SetPriorityClass(m_process, REALTIME_PRIORITY_CLASS);
        m_threadRaised = m_oldThreadPriority != THREAD_PRIORITY_ERROR_RETURN &&
                         SetThreadPriority(m_thread, THREAD_PRIORITY_TIME_CRITICAL);
    }
    ~RaisedPriority() {
        if (m_threadRaised) SetThreadPriority(m_thread, m_oldThreadPriority);
        if (m_classRaised) SetPriorityClass(m_process, m_oldClass);
    }
    RaisedPriority(const RaisedPriority&) = delete;
    RaisedPriority& operator=(const RaisedPriority&) = delete;

private:
    HANDLE m_process;
    HANDLE m_thread;
    DWORD m_oldClass;
    int m_oldThreadPriority;
    bool m_classRaised = false;
    bool m_threadRaised = false;
};
