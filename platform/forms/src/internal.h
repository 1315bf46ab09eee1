#pragma once
// Pieces shared by the forms runtime's sources; not part of its interface.
#include <QMessageBox>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "forms/file_dialog.h"
#include "forms/form.h"
#include "forms/testing.h"

namespace forms {

// Mouse event kinds handed from the widgets to the form.
inline constexpr int kMouseDown = 0;
inline constexpr int kMouseMove = 1;
inline constexpr int kMouseUp = 2;
inline constexpr int kMouseDblClick = 3;

int ToMouseButtons(Qt::MouseButtons buttons);
int ToShiftMask(Qt::KeyboardModifiers modifiers);

// The clock input is judged on, in milliseconds: the scripted time line while tests drive
// one, else steady time.
std::int64_t InputClockMs();
// From the first form on, input that blocking work held is dropped (BlockingWork).
void WatchInput();
// Input stamps or InputClockMs switch to another clock (tests): what was learnt of the
// relation between the two, and the end of the last blocking work, no longer hold.
void ForgetInputClock();

class FormWindow final : public QWidget {
public:
    explicit FormWindow(Form& form);

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Form& m_form;
};

class FormSurface final : public QWidget {
public:
    FormSurface(Form& form, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Forward(int kind, QMouseEvent* event);
    Form& m_form;
};

class PictureBoxWidget final : public QWidget {
public:
    PictureBoxWidget(PictureBox& box, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PictureBox& m_box;
};

// Makes a message box wide enough for its title (kTitleBarRoom); call before it is shown.
void WidenToTitle(QMessageBox& box);

// The scripted seams in force, or nullptr.
testing::ScriptedMessageBoxes* ActiveMessageBoxScript();
testing::ScriptedFileDialogs* ActiveFileDialogScript();
testing::RecordedEnds* ActiveEndRecord();

// Timers: the set of live timers and the scripted time line.
class TimerLine {
public:
    static TimerLine& Instance();
    bool Scripted() const { return m_scripted; }
    void SetScripted(bool scripted);
    std::int64_t NowMs() const { return m_nowMs; }
    void Advance(int ms);
    void Pass(std::int64_t ms);  // time goes by, no tick fires
    void Add(Timer* timer);
    void Remove(Timer* timer);
    static void StartReal(Timer& timer);
    static void StopReal(Timer& timer);

private:
    bool m_scripted = false;
    std::int64_t m_nowMs = 0;
    std::vector<Timer*> m_timers;  // in creation order
};

}  // namespace forms
