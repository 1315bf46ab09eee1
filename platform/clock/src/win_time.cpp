#include "clock/win_time.h"

#include "clock/clock.h"
#include "win32/last_error.h"

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    std::int64_t f = 0;
    if (frequency == nullptr || !platform::CurrentClock().CounterFrequency(f)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    frequency->QuadPart = f;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    std::int64_t c = 0;
    if (count == nullptr || !platform::CurrentClock().Counter(c)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    count->QuadPart = c;
    return TRUE;
}

void Sleep(DWORD milliseconds) { platform::CurrentClock().SleepMs(milliseconds); }

DWORD GetTickCount() {
    return static_cast<DWORD>(static_cast<std::uint64_t>(platform::CurrentClock().NowNs() / 1'000'000));
}
