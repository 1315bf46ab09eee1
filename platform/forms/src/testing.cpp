#include "forms/testing.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QWidget>

#include "forms/form.h"
#include "forms/msgbox.h"
#include "internal.h"

// Qt's route of a typed key through the shortcuts, the one its own test library takes.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k,
                                               Qt::KeyboardModifiers mods, const QString& text,
                                               bool autorep, ushort count);

namespace forms {
namespace {
testing::ScriptedMessageBoxes* g_messageBoxes = nullptr;
testing::ScriptedFileDialogs* g_fileDialogs = nullptr;
testing::RecordedEnds* g_ends = nullptr;
}  // namespace

testing::RecordedEnds* ActiveEndRecord() { return g_ends; }

testing::ScriptedMessageBoxes* ActiveMessageBoxScript() { return g_messageBoxes; }
testing::ScriptedFileDialogs* ActiveFileDialogScript() { return g_fileDialogs; }

namespace testing {

ScriptedMessageBoxes::ScriptedMessageBoxes(Answerer answerer) : m_answerer(std::move(answerer)) {
    g_messageBoxes = this;
}
ScriptedMessageBoxes::~ScriptedMessageBoxes() { g_messageBoxes = nullptr; }

int ScriptedMessageBoxes::Answer(const MessageBoxCall& call) {
    m_calls.push_back(call);
    return m_answerer ? m_answerer(call) : DefaultAnswer(call.style);
}

ScriptedFileDialogs::ScriptedFileDialogs(Answerer answerer) : m_answerer(std::move(answerer)) {
    g_fileDialogs = this;
}
ScriptedFileDialogs::~ScriptedFileDialogs() { g_fileDialogs = nullptr; }

std::optional<std::string> ScriptedFileDialogs::Answer(const FileDialogRequest& request) {
    m_calls.push_back(request);
    return m_answerer ? m_answerer(request) : std::nullopt;
}

RecordedEnds::RecordedEnds() { g_ends = this; }
RecordedEnds::~RecordedEnds() { g_ends = nullptr; }

ScriptedTimers::ScriptedTimers() { TimerLine::Instance().SetScripted(true); }
ScriptedTimers::~ScriptedTimers() { TimerLine::Instance().SetScripted(false); }
void ScriptedTimers::Advance(int ms) { TimerLine::Instance().Advance(ms); }
void ScriptedTimers::Block(std::int64_t ms) { TimerLine::Instance().Pass(ms); }
std::int64_t ScriptedTimers::NowMs() const { return TimerLine::Instance().NowMs(); }

namespace {

Qt::MouseButton ToQtButton(int button) {
    if (button & kLeftButton) return Qt::LeftButton;
    if (button & kRightButton) return Qt::RightButton;
    if (button & kMiddleButton) return Qt::MiddleButton;
    return Qt::NoButton;
}

Qt::MouseButtons ToQtButtons(int mask) {
    Qt::MouseButtons buttons;
    if (mask & kLeftButton) buttons |= Qt::LeftButton;
    if (mask & kRightButton) buttons |= Qt::RightButton;
    if (mask & kMiddleButton) buttons |= Qt::MiddleButton;
    return buttons;
}

Qt::KeyboardModifiers ToQtModifiers(int shift) {
    Qt::KeyboardModifiers modifiers;
    if (shift & kShiftMask) modifiers |= Qt::ShiftModifier;
    if (shift & kCtrlMask) modifiers |= Qt::ControlModifier;
    if (shift & kAltMask) modifiers |= Qt::AltModifier;
    return modifiers;
}

// Buttons held, as the window system tracks them across scripted input.
int g_held = 0;

bool g_onTimeLine = false;
std::int32_t g_stampDriftPpm = 0;
// Stamps of unhurried input: each press a minute after the one before.
std::uint64_t g_unhurriedMs = 0;

// press: the input starts a new click or key stroke.
std::uint64_t StampFor(bool press) {
    if (g_onTimeLine) {
        // The window system's clock, in milliseconds on 32 bits as its stamps are.
        const std::int64_t now = TimerLine::Instance().NowMs();
        return static_cast<std::uint32_t>(now + now * g_stampDriftPpm / 1'000'000);
    }
    if (press) g_unhurriedMs += 60000;
    return g_unhurriedMs;
}

QMouseEvent* MakeEvent(Form& form, MouseAction action, int button, double x, double y, int shift) {
    const QPointF local(x, y);
    const QPointF global = form.ClientWidget()->mapToGlobal(local);
    QEvent::Type type = QEvent::MouseMove;
    Qt::MouseButton changed = Qt::NoButton;
    int held = button;
    if (action == MouseAction::Press) {
        g_held |= button;
        type = QEvent::MouseButtonPress;
        changed = ToQtButton(button);
        held = g_held;
    } else if (action == MouseAction::Release) {
        g_held &= ~button;
        type = QEvent::MouseButtonRelease;
        changed = ToQtButton(button);
        held = g_held;
    }
    auto* event =
        new QMouseEvent(type, local, global, changed, ToQtButtons(held), ToQtModifiers(shift));
    event->setTimestamp(StampFor(action == MouseAction::Press));
    return event;
}

}  // namespace

InputOnTimeLine::InputOnTimeLine(std::int32_t driftPpm) {
    g_onTimeLine = true;
    g_stampDriftPpm = driftPpm;
    ForgetInputClock();
}
InputOnTimeLine::~InputOnTimeLine() {
    g_onTimeLine = false;
    g_stampDriftPpm = 0;
    ForgetInputClock();
}

void SendMouse(Form& form, MouseAction action, int button, double x, double y, int shift) {
    std::unique_ptr<QMouseEvent> event(MakeEvent(form, action, button, x, y, shift));
    QCoreApplication::sendEvent(form.ClientWidget(), event.get());
}

void PostMouse(Form& form, MouseAction action, int button, double x, double y, int shift) {
    QCoreApplication::postEvent(form.ClientWidget(), MakeEvent(form, action, button, x, y, shift));
}

void PostKey(Form& form, char key, int shift) {
    const std::uint64_t stamp = StampFor(true);
    QWidget* window = form.Window();
    QMetaObject::invokeMethod(
        window,
        [window, key, shift, stamp] {
            QWidget* target = window->focusWidget() != nullptr ? window->focusWidget() : window;
            const Qt::KeyboardModifiers modifiers = ToQtModifiers(shift);
            if (!qt_sendShortcutOverrideEvent(target, stamp, key, modifiers, QString(), false, 1)) {
                QKeyEvent press(QEvent::KeyPress, key, modifiers);
                press.setTimestamp(stamp);
                QCoreApplication::sendEvent(target, &press);
            }
            QKeyEvent release(QEvent::KeyRelease, key, modifiers);
            release.setTimestamp(stamp);
            QCoreApplication::sendEvent(target, &release);
        },
        Qt::QueuedConnection);
}

void ClickAt(Form& form, double x, double y, int button) {
    SendMouse(form, MouseAction::Press, button, x, y);
    SendMouse(form, MouseAction::Release, button, x, y);
}

void DoubleClickAt(Form& form, double x, double y) {
    const QPointF local(x, y);
    const QPointF global = form.ClientWidget()->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonDblClick, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(form.ClientWidget(), &press);
    SendMouse(form, MouseAction::Release, kLeftButton, x, y);
}

}  // namespace testing
}  // namespace forms
