#include "forms/app.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "internal.h"

namespace forms {
namespace {

// Drops the input that arrived while blocking work held the window. Input time stamps come
// from the window system's clock, which need not be ours: the least lag seen between a
// stamp and the event's delivery relates the two, as no event is delivered before it was
// given. An event is stale when, on our clock, it was given before the end of the last
// blocking work. Times wrap at 32 bits, as the window system's stamps do.
class StaleInputFilter final : public QObject {
public:
    using QObject::QObject;

    void EndOfBlockingWork() {
        m_heldUntil = static_cast<std::uint32_t>(InputClockMs());
        m_held = true;
    }
    void Forget() {
        m_lagKnown = false;
        m_held = false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::MouseButtonRelease:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
                break;
            default:
                return QObject::eventFilter(watched, event);
        }
        const bool stale = Stale(*static_cast<QInputEvent*>(event));
        if (type == QEvent::ShortcutOverride) {
            // Taken as the window's own key, so that no shortcut acts on it either.
            if (stale) event->accept();
            return stale;
        }
        if (type == QEvent::Wheel || type == QEvent::KeyPress || type == QEvent::KeyRelease) {
            return stale;
        }
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseMove) {
            if (mouse->buttons() == Qt::NoButton) m_droppedButtons = Qt::NoButton;
            return stale || (mouse->buttons() & m_droppedButtons) != 0;
        }
        // A release goes where its press went, delivered or dropped.
        const bool pressDropped = (m_droppedButtons & mouse->button()) != 0;
        m_droppedButtons &= ~mouse->button();
        if (type == QEvent::MouseButtonRelease) return pressDropped;
        if (stale) m_droppedButtons |= mouse->button();
        return stale;
    }

private:
    // Whether the event was given before the last blocking work ended; every stamped event
    // also tells the lag.
    bool Stale(const QInputEvent& event) {
        const auto stamp = static_cast<std::uint32_t>(event.timestamp());
        if (stamp == 0) return false;  // made by the program, not given by the user
        const std::uint32_t lag = static_cast<std::uint32_t>(InputClockMs()) - stamp;
        if (!m_lagKnown || static_cast<std::int32_t>(lag - m_lag) < 0) m_lag = lag;
        m_lagKnown = true;
        return m_held && static_cast<std::int32_t>(stamp + m_lag - m_heldUntil) < 0;
    }

    bool m_lagKnown = false;
    std::uint32_t m_lag = 0;  // least delivery time minus stamp seen
    bool m_held = false;
    std::uint32_t m_heldUntil = 0;  // end of the last blocking work, on our clock
    Qt::MouseButtons m_droppedButtons;
};

QPointer<StaleInputFilter> g_staleInput;

}  // namespace

std::int64_t InputClockMs() {
    const TimerLine& line = TimerLine::Instance();
    if (line.Scripted()) return line.NowMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void WatchInput() {
    if (g_staleInput != nullptr || QCoreApplication::instance() == nullptr) return;
    g_staleInput = new StaleInputFilter(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(g_staleInput);
}

void ForgetInputClock() {
    if (g_staleInput != nullptr) g_staleInput->Forget();
}

BlockingWork::~BlockingWork() {
    if (g_staleInput != nullptr) g_staleInput->EndOfBlockingWork();
}

void DoEvents() {
    if (QCoreApplication::instance() == nullptr) return;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void End() {
    if (testing::RecordedEnds* record = ActiveEndRecord(); record != nullptr) {
        record->Record();
        return;
    }
    // No destructor, unload or pending event may run any more: leave the process as it is.
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace forms
