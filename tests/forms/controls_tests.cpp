// Form life-cycle events, images as controls (mouse routing, capture, clicks, disabled
// controls), timers and menus.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QSize>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <string>
#include <vector>

#include "forms/app.h"
#include "forms/form.h"
#include "forms/screen.h"
#include "forms/testing.h"

namespace {

using forms::testing::MouseAction;

// A form that records its life-cycle events and may refuse to unload.
class LifeCycleForm : public forms::Form {
public:
    LifeCycleForm() : Form("frmTest", 120, 80) {}
    std::vector<std::string> events;
    bool refuse = false;

protected:
    void OnLoad() override { events.push_back("load"); }
    void OnQueryUnload(int& cancel, int unloadMode) override {
        events.push_back("query " + std::to_string(unloadMode));
        if (refuse) cancel = 1;
    }
    void OnUnload(int&) override { events.push_back("unload"); }
};

TEST(FormEvents, LoadThenQueryUnloadMayKeepTheFormBeforeUnload) {
    LifeCycleForm form;
    form.Load();
    form.Show();
    EXPECT_EQ(form.ClientWidget()->size(), QSize(120, 80));

    // The close box asks with the control-menu mode; a refusal keeps the window open.
    form.refuse = true;
    form.Window()->close();
    EXPECT_TRUE(form.Visible());
    EXPECT_FALSE(form.Close());
    EXPECT_TRUE(form.Visible());

    form.refuse = false;
    EXPECT_TRUE(form.Close());
    EXPECT_FALSE(form.Visible());
    form.Show();
    form.Window()->close();
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(form.events, (std::vector<std::string>{"load", "query 0", "query 1", "query 1",
                                                     "unload", "query 0", "unload"}));
}

struct Recorder {
    std::vector<std::string> events;
    void Attach(forms::Image& image) {
        const std::string name = image.Name();
        image.MouseDown = [this, name](int b, int s, float x, float y) {
            events.push_back(name + " down " + std::to_string(b) + " " + std::to_string(s) + " " +
                             std::to_string(static_cast<int>(x)) + "," +
                             std::to_string(static_cast<int>(y)));
        };
        image.MouseMove = [this, name](int b, int, float x, float) {
            events.push_back(name + " move " + std::to_string(b) + " " +
                             std::to_string(static_cast<int>(x)));
        };
        image.MouseUp = [this, name](int b, int, float, float) {
            events.push_back(name + " up " + std::to_string(b));
        };
        image.Click = [this, name] { events.push_back(name + " click"); };
    }
};

class ImageInput : public ::testing::Test {
protected:
    ImageInput()
        : form("Test", 200, 100),
          back(form.AddImage("back", -1, forms::Rect{10, 10, 50, 30})),
          front(form.AddImage("front", -1, forms::Rect{40, 20, 50, 30})) {
        recorder.Attach(back);
        recorder.Attach(front);
        form.Show();
    }
    forms::Form form;
    forms::Image& back;
    forms::Image& front;
    Recorder recorder;
};

TEST_F(ImageInput, EventsGoToTheTopmostVisibleImageInTwips) {
    forms::testing::SendMouse(form, MouseAction::Press, forms::kRightButton, 45, 25,
                              forms::kShiftMask);
    forms::testing::SendMouse(form, MouseAction::Release, forms::kRightButton, 45, 25);
    // Later controls lie on top; positions are twips relative to the control (15 per pixel).
    ASSERT_EQ(recorder.events.size(), 2u);
    EXPECT_EQ(recorder.events[0], "front down 2 1 75,75");
    EXPECT_EQ(recorder.events[1], "front up 2");  // no Click for the right button

    recorder.events.clear();
    front.SetVisible(false);
    forms::testing::ClickAt(form, 45, 25);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"back down 1 0 525,225", "back up 1", "back click"}));
}

TEST_F(ImageInput, PressCapturesTheMouseUntilRelease) {
    forms::testing::SendMouse(form, MouseAction::Press, forms::kLeftButton, 15, 15);
    forms::testing::SendMouse(form, MouseAction::Move, forms::kLeftButton, 150, 15);
    forms::testing::SendMouse(form, MouseAction::Release, forms::kLeftButton, 150, 15);
    // Moves and the release outside the control still reach it; released outside, no Click.
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"back down 1 0 75,75", "back move 1 2100", "back up 1"}));
    recorder.events.clear();
    forms::testing::SendMouse(form, MouseAction::Move, 0, 80, 30);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"front move 0 600"}));
}

TEST_F(ImageInput, DisabledControlDropsInputQueuedWhileDisabled) {
    front.SetEnabled(false);
    forms::testing::PostMouse(form, MouseAction::Press, forms::kLeftButton, 80, 30);
    forms::testing::PostMouse(form, MouseAction::Release, forms::kLeftButton, 80, 30);
    forms::DoEvents();
    front.SetEnabled(true);
    forms::DoEvents();
    EXPECT_TRUE(recorder.events.empty());
    // The disabled control still covers what lies below it.
    front.SetEnabled(false);
    forms::testing::ClickAt(form, 45, 25);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(ImageInput, PressBesideEveryControlKeepsTheMouseFromThemUntilReleased) {
    // Pressed on the bare form (and on a disabled control), the drag that follows and its
    // release belong to the form: the controls it crosses see nothing of it.
    for (bool onDisabled : {false, true}) {
        front.SetEnabled(!onDisabled);
        const double pressX = onDisabled ? 80 : 150;
        forms::testing::SendMouse(form, MouseAction::Press, forms::kLeftButton, pressX, 30);
        front.SetEnabled(true);
        forms::testing::SendMouse(form, MouseAction::Move, forms::kLeftButton, 20, 15);
        forms::testing::SendMouse(form, MouseAction::Move, forms::kLeftButton, 80, 30);
        forms::testing::SendMouse(form, MouseAction::Release, forms::kLeftButton, 80, 30);
        EXPECT_TRUE(recorder.events.empty()) << onDisabled;
    }
    // Afterwards the controls take input again.
    forms::testing::ClickAt(form, 80, 30);
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"front down 1 0 600,150", "front up 1", "front click"}));
}

TEST_F(ImageInput, TooltipIsTheTopmostVisibleImagesOwn) {
    back.ToolTipText = "under";
    front.ToolTipText = "over";
    // The text shown, or "(none)" when the form lets the request go (no tooltip there).
    auto tipAt = [&](int x, int y) {
        QHelpEvent help(QEvent::ToolTip, QPoint(x, y),
                        form.ClientWidget()->mapToGlobal(QPoint(x, y)));
        QApplication::sendEvent(form.ClientWidget(), &help);
        return help.isAccepted() ? QToolTip::text().toStdString() : std::string("(none)");
    };
    EXPECT_EQ(tipAt(15, 15), "under");
    EXPECT_EQ(tipAt(45, 25), "over");
    EXPECT_EQ(tipAt(150, 80), "(none)");
    front.SetVisible(false);
    EXPECT_EQ(tipAt(45, 25), "under");
}

TEST(ImagePicture, PictureSizesTheControl) {
    forms::Form form("Test", 100, 100);
    forms::Image& image = form.AddImage("img", 3, forms::Rect{5, 6, 10, 10});
    QImage picture(25, 17, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    image.SetPicture(picture);
    EXPECT_EQ(image.Width(), 25);
    EXPECT_EQ(image.Height(), 17);
    EXPECT_EQ(image.Index(), 3);
    ASSERT_EQ(form.Controls().size(), 1u);
    EXPECT_EQ(form.Controls()[0], &image);
}

class TimerTest : public ::testing::Test {
protected:
    TimerTest() : form("Test", 10, 10), timer(form.AddTimer("tmr", -1, 50)) {
        timer.OnTimer = [this] { ticks.push_back(scripted.NowMs() - start); };
        start = scripted.NowMs();
    }
    forms::testing::ScriptedTimers scripted;
    forms::Form form;
    forms::Timer& timer;
    std::int64_t start = 0;
    std::vector<std::int64_t> ticks;
};

TEST_F(TimerTest, TicksEveryIntervalWhileEnabled) {
    scripted.Advance(100);
    EXPECT_TRUE(ticks.empty());  // designed switched off
    timer.SetEnabled(true);
    scripted.Advance(175);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{150, 200, 250}));
    timer.SetEnabled(false);
    scripted.Advance(200);
    EXPECT_EQ(ticks.size(), 3u);
}

TEST_F(TimerTest, EnablingARunningTimerKeepsItsPeriodButRestartingDoesNot) {
    timer.SetEnabled(true);
    scripted.Advance(30);
    timer.SetEnabled(true);  // already on: the period goes on
    scripted.Advance(20);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{50}));
    scripted.Advance(30);
    timer.SetEnabled(false);
    timer.SetEnabled(true);  // off and on: a new period from now (80)
    scripted.Advance(40);
    EXPECT_EQ(ticks.size(), 1u);
    scripted.Advance(10);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{50, 130}));
}

TEST_F(TimerTest, HandlerMaySwitchItsTimerOff) {
    timer.OnTimer = [this] {
        ticks.push_back(0);
        if (ticks.size() == 2) timer.SetEnabled(false);
    };
    timer.SetEnabled(true);
    scripted.Advance(1000);
    EXPECT_EQ(ticks.size(), 2u);
}

TEST(Menus, CaptionsSeparatorsChecksAndShortcuts) {
    forms::Form form("Test", 10, 10);
    forms::Menu& file = form.AddMenu("mnuMain", 0, "&File", nullptr);
    forms::Menu& open = form.AddMenu("mnuFile", 0, "&Open...", &file);
    forms::Menu& separator = form.AddMenu("mnuFile", 1, "-", &file);
    forms::Menu& port = form.AddMenu("mnuFile", 2, "COM&1", &file);
    int opened = 0;
    int ports = 0;
    open.Click = [&] { ++opened; };
    port.Click = [&] { ++ports; };
    separator.Click = [&] { ++opened; };
    open.SetShortcut("Ctrl+O");
    EXPECT_EQ(open.Shortcut(), "Ctrl+O");
    EXPECT_TRUE(separator.Action()->isSeparator());

    open.Choose();
    separator.Choose();
    EXPECT_EQ(opened, 1);
    // Choosing a checked item runs its handler but leaves the check mark to the program.
    port.SetChecked(true);
    port.Choose();
    EXPECT_EQ(ports, 1);
    EXPECT_TRUE(port.Checked());
    port.SetChecked(false);
    port.Choose();
    EXPECT_FALSE(port.Checked());
    port.SetEnabled(false);
    port.Choose();
    EXPECT_EQ(ports, 2);
}

TEST(Menus, ShortcutKeysChooseTheirItemsWhileTheMenuIsClosed) {
    forms::Form form("Test", 10, 10);
    forms::Menu& file = form.AddMenu("mnuMain", 0, "&File", nullptr);
    forms::Menu& load = form.AddMenu("mnuFile", 0, "&Load...", &file);
    forms::Menu& save = form.AddMenu("mnuFile", 1, "&Save...", &file);
    std::string chosen;
    load.Click = [&] { chosen += "O"; };
    save.Click = [&] { chosen += "S"; };
    load.SetShortcut("Ctrl+O");
    save.SetShortcut("Ctrl+S");
    form.Show();
    form.Window()->activateWindow();
    forms::DoEvents();
    for (auto [key, text] : {std::pair{Qt::Key_S, "\x13"}, std::pair{Qt::Key_O, "\x0f"}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier, text);
        QApplication::sendEvent(form.ClientWidget(), &press);
    }
    EXPECT_EQ(chosen, "SO");
}

// A handler may run for seconds; the menu it was chosen from must not stay drawn over the
// window meanwhile, so the window is drawn again before the handler starts.
TEST(Menus, WindowIsRedrawnBeforeTheHandlerRuns) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    forms::Form form("Test", 40, 30);
    forms::Menu& special = form.AddMenu("mnuMain", 0, "S&pecial", nullptr);
    forms::Menu& reset = form.AddMenu("mnuSpecial", 0, "&Reset", &special);
    form.Show();
    forms::DoEvents();
    form.ClientWidget()->installEventFilter(&counter);
    int paintsInHandler = -1;
    reset.Click = [&] { paintsInHandler = counter.paints; };
    reset.Choose();
    EXPECT_GE(paintsInHandler, 1);
}

TEST(FormEvents, ModalFormComesUpOverTheMiddleOfItsOwner) {
    forms::Form owner("frmOwner", 400, 300);
    forms::Form box("frmBox", 100, 60);
    owner.Window()->move(150, 120);
    owner.Show();
    box.Window()->move(0, 0);
    QPoint offset(-1, -1);
    QTimer::singleShot(0, [&] {
        offset = box.Window()->geometry().center() - owner.Window()->geometry().center();
        box.Hide();
    });
    box.ShowModal(&owner);
    EXPECT_LE(offset.manhattanLength(), 2);
}

}  // namespace
