// What the window system draws for the program (menu bar, menus, message boxes and their
// icons, file dialogs, tooltips) takes the program's colours and keeps its keyboard use; long
// tooltips wrap.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <algorithm>

#include "forms/chrome.h"
#include "forms/file_dialog.h"
#include "forms/form.h"
#include "forms/msgbox.h"

namespace {

const forms::Chrome kDark{forms::Rgb(0x1C, 0x20, 0x26), forms::Rgb(0x2F, 0x36, 0x3E),
                          forms::Rgb(0xE8, 0xEA, 0xEE), forms::Rgb(0x7C, 0x85, 0x92),
                          forms::Rgb(0xFF, 0x9E, 0x2C), forms::Rgb(0x0B, 0x0D, 0x10)};

const std::string kLongTip =
    "Store the current values to the ECU so they will be used whenever you start the car. "
    "Note that untested items (ones marked with *) will not be set.";

TEST(Chrome, MenuBarMenusAndMessageBoxesTakeTheProgramsColours) {
    forms::SetChrome(kDark);
    forms::Form form("Owner", 100, 100);
    forms::Menu& file = form.AddMenu("mnuMain", 0, "&File", nullptr);
    form.AddMenu("mnuFile", 0, "&Open", &file);
    form.Show();
    auto expectChrome = [](const QPalette& palette, const char* what) {
        EXPECT_EQ(palette.color(QPalette::Window), forms::ToQColor(kDark.back)) << what;
        EXPECT_EQ(palette.color(QPalette::WindowText), forms::ToQColor(kDark.text)) << what;
    };
    expectChrome(form.MenuBar()->palette(), "menu bar");
    QMenu* menu = file.Action()->menu<QMenu*>();
    menu->ensurePolished();  // as it is when it pops up
    expectChrome(menu->palette(), "menu");

    // A real box: in the program's colours, its buttons too, and Enter still answers the
    // default button.
    QPalette box, button;
    QImage icon;
    QTimer::singleShot(0, [&] {
        QWidget* shown = QApplication::activeModalWidget();
        ASSERT_NE(shown, nullptr);
        box = shown->palette();
        button = shown->findChild<QPushButton*>()->palette();
        icon = static_cast<QMessageBox*>(shown)->iconPixmap().toImage();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(shown, &enter);
    });
    EXPECT_EQ(forms::MsgBox("Are you sure?", 292, {}, &form), forms::kIdNo);
    expectChrome(box, "message box");
    EXPECT_EQ(button.color(QPalette::Button), forms::ToQColor(kDark.raised));
    EXPECT_EQ(button.color(QPalette::ButtonText), forms::ToQColor(kDark.text));
    EXPECT_EQ(button.color(QPalette::Highlight), forms::ToQColor(kDark.accent));
    // Its icon is no bright patch on the dark box.
    ASSERT_FALSE(icon.isNull());
    int lightest = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            if (qAlpha(icon.pixel(x, y)) > 0)
                lightest = std::max(lightest, qGray(icon.pixel(x, y)));
        }
    }
    EXPECT_LE(lightest, qGray(forms::ToQColor(kDark.text).rgb()));

    // The file dialogs too, with the name field's completion list (a window of its own).
    QPalette dialog, completion;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr);
        dialog = shown->palette();
        completion = shown->findChild<QCompleter*>()->popup()->palette();
        shown->reject();
    });
    EXPECT_EQ(forms::ShowFileDialog(forms::FileDialogRequest{}, &form), std::nullopt);
    expectChrome(dialog, "file dialog");
    expectChrome(completion, "completion list");
}

TEST(Chrome, LongTooltipsWrapAtWordBreaksAndShortOnesStayOnOneLine) {
    const QFontMetricsF metrics(QToolTip::font());
    const QStringList lines = QString::fromStdString(forms::WrapToolTip(kLongTip)).split('\n');
    EXPECT_GE(lines.size(), 2);
    for (const QString& line : lines)
        EXPECT_LE(metrics.horizontalAdvance(line), forms::kToolTipWidth);
    EXPECT_EQ(lines.join(' ').toStdString(), kLongTip);
    EXPECT_EQ(forms::WrapToolTip("Load settings from a file."), "Load settings from a file.");

    // Shown wrapped by images and picture boxes; a picture box keeps the text it was given.
    forms::Form form("Tips", 200, 100);
    forms::Image& image = form.AddImage("img", -1, forms::Rect{0, 0, 50, 50});
    image.ToolTipText = kLongTip;
    QHelpEvent help(QEvent::ToolTip, QPoint(10, 10),
                    form.ClientWidget()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(form.ClientWidget(), &help);
    EXPECT_EQ(QToolTip::text(), lines.join('\n'));
    forms::PictureBox& box = form.AddPictureBox("box", -1, forms::Rect{60, 0, 50, 20});
    box.SetToolTipText(kLongTip);
    EXPECT_EQ(box.ToolTipText(), kLongTip);
}

}  // namespace
