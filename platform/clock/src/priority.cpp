// Process and thread priorities. The Win32 values are remembered as set; on the real
// clock REALTIME + TIME_CRITICAL also puts the calling thread on SCHED_FIFO where the
// user may, and an unprivileged run quietly goes on as it was, as Windows quietly
// downgrades a realtime request it cannot grant. Leaving realtime puts back exactly the
// policy and priority the thread had before (a thread the user started at realtime stays
// there); a thread that was never raised keeps its scheduling untouched.
#include <pthread.h>
#include <sched.h>

#include <atomic>

#include "clock/clock.h"
#include "clock/win_time.h"
#include "win32/last_error.h"

namespace {

std::atomic<DWORD> g_priorityClass{NORMAL_PRIORITY_CLASS};
thread_local int t_threadPriority = THREAD_PRIORITY_NORMAL;

// The thread's own scheduling from before it was raised.
struct SavedScheduling {
    bool saved = false;
    int policy = SCHED_OTHER;
    sched_param param{};
};
thread_local SavedScheduling t_beforeRaise;

bool IsRealtimePolicy(int policy) { return policy == SCHED_FIFO || policy == SCHED_RR; }

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));

void ApplyScheduling() {
    if (!platform::CurrentClock().IsReal()) return;
    const bool realtime = g_priorityClass.load() == REALTIME_PRIORITY_CLASS &&
                          t_threadPriority >= THREAD_PRIORITY_HIGHEST;
    SavedScheduling& before = t_beforeRaise;
    if (!realtime) {
        if (before.saved) pthread_setschedparam(pthread_self(), before.policy, &before.param);
        before.saved = false;
        return;
    }
    if (before.saved) return;
    if (pthread_getschedparam(pthread_self(), &before.policy, &before.param) != 0) return;
    before.saved = true;
    // Never lower a thread that already runs at a higher realtime priority.
    sched_param raised{};
    raised.sched_priority = sched_get_priority_max(SCHED_FIFO) / 2;
    if (IsRealtimePolicy(before.policy) && before.param.sched_priority >= raised.sched_priority) {
        return;
    }
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &raised);
}

bool IsValidClass(DWORD c) {
    return c == NORMAL_PRIORITY_CLASS || c == IDLE_PRIORITY_CLASS || c == HIGH_PRIORITY_CLASS ||
           c == REALTIME_PRIORITY_CLASS;
}

}  // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }
HANDLE GetCurrentThread() { return kCurrentThread; }

DWORD GetPriorityClass(HANDLE process) {
    if (process != kCurrentProcess) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return g_priorityClass.load();
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
    if (process != kCurrentProcess || !IsValidClass(priorityClass)) {
        SetLastError(process != kCurrentProcess ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_priorityClass.store(priorityClass);
    ApplyScheduling();
    return TRUE;
}

int GetThreadPriority(HANDLE thread) {
    if (thread != kCurrentThread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return t_threadPriority;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (thread != kCurrentThread || priority < THREAD_PRIORITY_IDLE ||
        priority > THREAD_PRIORITY_TIME_CRITICAL) {
        SetLastError(thread != kCurrentThread ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t_threadPriority = priority;
    ApplyScheduling();
    return TRUE;
}
