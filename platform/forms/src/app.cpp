#include "forms/app.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "internal.h"

namespace forms {
namespace {

// Drops the input that arrived while blocking work held the window. Input time stamps come
// from the window system's clock, which need not be ours: the lag between a stamp and the
// event's delivery relates the two, the least lag being the truest, as no event is delivered
// before it was given. The window system's clock may run slower than ours, so that the lag
// grows: a least lag seen long ago is trusted less the older it is. An event is stale when,
// on our clock, it was given before the end of the last blocking work; the hold ends with the
// first event given after it, as the window system hands input over in the order given.
// Stamps are 32-bit and wrap, so they are only ever compared as differences.
class StaleInputFilter final : public QObject {
public:
    using QObject::QObject;

    void EndOfBlockingWork() {
        m_heldUntil = InputClockMs();
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
    // How fast a least lag is let grow with its age: beyond any drift of a working clock.
    static constexpr std::int64_t kLagGrowthPerMs = 500;  // parts per million
    // Past this age the growth no longer matters; it keeps the sums far from wrapping.
    static constexpr std::int64_t kLagGrowthCapMs = std::int64_t{1} << 30;

    // Whether the event was given before the last blocking work ended; every stamped event
    // also tells the lag.
    bool Stale(const QInputEvent& event) {
        const auto stamp = static_cast<std::uint32_t>(event.timestamp());
        if (stamp == 0) return false;  // made by the program, not given by the user
        const std::int64_t now = InputClockMs();
        const std::uint32_t lag = static_cast<std::uint32_t>(now) - stamp;
        std::uint32_t trusted = TrustedLag(now);
        if (!m_lagKnown || static_cast<std::int32_t>(lag - trusted) < 0) {
            m_lag = trusted = lag;
            m_lagSeenAt = now;
            m_lagKnown = true;
        }
        if (!m_held) return false;
        // How long ago the event was given; small, unless the window was held meanwhile.
        const auto sinceGiven = static_cast<std::int32_t>(lag - trusted);
        if (now - sinceGiven < m_heldUntil) return true;
        m_held = false;
        return false;
    }

    // The least lag seen, grown by its age.
    std::uint32_t TrustedLag(std::int64_t now) const {
        const std::int64_t age =
            std::min(std::max<std::int64_t>(now - m_lagSeenAt, 0), kLagGrowthCapMs);
        return m_lag + static_cast<std::uint32_t>(age * kLagGrowthPerMs / 1'000'000);
    }

    bool m_lagKnown = false;
    std::uint32_t m_lag = 0;       // least delivery time minus stamp seen, on 32 bits
    std::int64_t m_lagSeenAt = 0;  // when it was seen, on our clock
    bool m_held = false;
    std::int64_t m_heldUntil = 0;  // end of the last blocking work, on our clock
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
