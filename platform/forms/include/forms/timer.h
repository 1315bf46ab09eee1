#pragma once
// A window timer: fires OnTimer every Interval milliseconds while enabled. Switching on a
// timer that already runs keeps its period. Ticks are dispatched by the event loop, so they
// go on inside modal message boxes. Tests may drive all timers on a scripted time line
// (forms/testing.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "forms/control.h"

class QTimer;

namespace forms {

class Timer final : public Control {
public:
    Timer(Form& form, std::string name, int index, int intervalMs);
    ~Timer() override;

    int Interval() const { return m_intervalMs; }
    void SetInterval(int ms);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);

    std::function<void()> OnTimer;

    // Scripted time line: the time of the next tick while running.
    std::int64_t DueMs() const { return m_dueMs; }
    void Tick();

private:
    void Start();
    void Stop();

    int m_intervalMs;
    bool m_enabled = false;
    std::int64_t m_dueMs = 0;
    std::unique_ptr<QTimer> m_qtimer;

    friend class TimerLine;
};

}  // namespace forms
