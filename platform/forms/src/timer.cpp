#include "forms/timer.h"

#include <QTimer>
#include <algorithm>

#include "internal.h"

namespace forms {

Timer::Timer(Form& form, std::string name, int index, int intervalMs)
    : Control(form, std::move(name), index), m_intervalMs(intervalMs) {
    TimerLine::Instance().Add(this);
}

Timer::~Timer() { TimerLine::Instance().Remove(this); }

void Timer::SetInterval(int ms) {
    m_intervalMs = ms;
    if (m_enabled) {
        Stop();
        Start();
    }
}

void Timer::SetEnabled(bool enabled) {
    if (m_enabled == enabled) return;  // a running timer keeps its period
    m_enabled = enabled;
    if (enabled) {
        Start();
    } else {
        Stop();
    }
}

void Timer::Tick() {
    if (OnTimer) OnTimer();
}

void Timer::Start() {
    if (m_intervalMs <= 0) return;
    TimerLine& line = TimerLine::Instance();
    if (line.Scripted()) {
        m_dueMs = line.NowMs() + m_intervalMs;
    } else {
        TimerLine::StartReal(*this);
    }
}

void Timer::Stop() { TimerLine::StopReal(*this); }

TimerLine& TimerLine::Instance() {
    static TimerLine line;
    return line;
}

void TimerLine::Add(Timer* timer) { m_timers.push_back(timer); }

void TimerLine::Remove(Timer* timer) {
    m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), timer), m_timers.end());
}

void TimerLine::StartReal(Timer& timer) {
    if (!timer.m_qtimer) {
        timer.m_qtimer = std::make_unique<QTimer>();
        timer.m_qtimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.m_qtimer.get(), &QTimer::timeout, [&timer] { timer.Tick(); });
    }
    timer.m_qtimer->start(timer.m_intervalMs);
}

void TimerLine::StopReal(Timer& timer) {
    if (timer.m_qtimer) timer.m_qtimer->stop();
}

void TimerLine::SetScripted(bool scripted) {
    if (m_scripted == scripted) return;
    m_scripted = scripted;
    ForgetInputClock();
    for (Timer* timer : m_timers) {
        if (!timer->Enabled()) continue;
        StopReal(*timer);
        timer->Start();
    }
}

void TimerLine::Pass(std::int64_t ms) { m_nowMs += std::max<std::int64_t>(0, ms); }

void TimerLine::Advance(int ms) {
    const std::int64_t target = m_nowMs + std::max(0, ms);
    for (;;) {
        // The earliest due tick; ties go to the timer created first.
        Timer* next = nullptr;
        for (Timer* timer : m_timers) {
            if (!timer->Enabled() || timer->Interval() <= 0 || timer->m_dueMs > target) continue;
            if (next == nullptr || timer->m_dueMs < next->m_dueMs) next = timer;
        }
        if (next == nullptr) break;
        m_nowMs = next->m_dueMs;
        next->m_dueMs += next->Interval();
        next->Tick();
    }
    m_nowMs = target;
}

}  // namespace forms
