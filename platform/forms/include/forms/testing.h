#pragma once
// Seams for tests: scripted message-box and file-dialog answers, timers on a scripted time
// line, and mouse input sent at once or queued behind other window events.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forms/file_dialog.h"

namespace forms {
class Form;
}

namespace forms::testing {

struct MessageBoxCall {
    std::string prompt;
    int style = 0;
    std::string title;
};

// While installed, message boxes are not shown: each is recorded and answered by the
// answerer (which may also run timers, as a user would wait in front of the box).
class ScriptedMessageBoxes {
public:
    using Answerer = std::function<int(const MessageBoxCall&)>;
    // Without an answerer each box gets its default button.
    explicit ScriptedMessageBoxes(Answerer answerer = {});
    ~ScriptedMessageBoxes();
    ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
    ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

    const std::vector<MessageBoxCall>& Calls() const { return m_calls; }
    int Answer(const MessageBoxCall& call);

private:
    Answerer m_answerer;
    std::vector<MessageBoxCall> m_calls;
};

class ScriptedFileDialogs {
public:
    using Answerer = std::function<std::optional<std::string>(const FileDialogRequest&)>;
    explicit ScriptedFileDialogs(Answerer answerer);
    ~ScriptedFileDialogs();
    ScriptedFileDialogs(const ScriptedFileDialogs&) = delete;
    ScriptedFileDialogs& operator=(const ScriptedFileDialogs&) = delete;

    const std::vector<FileDialogRequest>& Calls() const { return m_calls; }
    std::optional<std::string> Answer(const FileDialogRequest& request);

private:
    Answerer m_answerer;
    std::vector<FileDialogRequest> m_calls;
};

// While installed, timers do not run on their own: time moves only through Advance, which
// fires every due tick in time order.
class ScriptedTimers {
public:
    ScriptedTimers();
    ~ScriptedTimers();
    ScriptedTimers(const ScriptedTimers&) = delete;
    ScriptedTimers& operator=(const ScriptedTimers&) = delete;

    void Advance(int ms);
    // Time the program spends in blocking work, away from the event loop: no tick fires
    // meanwhile; the ticks that fell due fire at the next Advance.
    void Block(std::int64_t ms);
    std::int64_t NowMs() const;
};

// While installed, End records the call and returns instead of ending the process.
class RecordedEnds {
public:
    RecordedEnds();
    ~RecordedEnds();
    RecordedEnds(const RecordedEnds&) = delete;
    RecordedEnds& operator=(const RecordedEnds&) = delete;

    int Count() const { return m_count; }
    void Record() { ++m_count; }

private:
    int m_count = 0;
};

enum class MouseAction { Press, Move, Release };

// Input events carry time stamps. By default every scripted press is stamped long after the
// one before it, as a person's separate clicks are. While an InputOnTimeLine is installed,
// input is stamped with the scripted time line (ScriptedTimers), so a test spaces presses as
// a person does, by advancing it between them. Its stamps are 32-bit, and the window system's
// clock may run driftPpm parts per million faster than the time line (slower if negative).
class InputOnTimeLine {
public:
    explicit InputOnTimeLine(std::int32_t driftPpm = 0);
    ~InputOnTimeLine();
    InputOnTimeLine(const InputOnTimeLine&) = delete;
    InputOnTimeLine& operator=(const InputOnTimeLine&) = delete;
};

// Mouse input at a point of the form's client area (pixels). button: kLeftButton etc.;
// for moves, the buttons held.
void SendMouse(Form& form, MouseAction action, int button, double x, double y, int shift = 0);
// The same input queued behind pending window events (it arrives at the next DoEvents).
void PostMouse(Form& form, MouseAction action, int button, double x, double y, int shift = 0);
// A key press and release (key: a capital letter or digit; shift: the shift mask) queued
// like PostMouse; the window's shortcuts get it first, as with a typed key.
void PostKey(Form& form, char key, int shift = 0);
// Press and release at once.
void ClickAt(Form& form, double x, double y, int button = 1);
// A fast second press as the window system delivers it (a double click), then its release.
void DoubleClickAt(Form& form, double x, double y);

}  // namespace forms::testing
