#include "forms/msgbox.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <vector>

#include "forms/form.h"
#include "internal.h"

namespace forms {
namespace {

std::string& Title() {
    static std::string title;
    return title;
}

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int code;
};

std::vector<ButtonSpec> ButtonsOf(int style) {
    switch (style & 0xF) {
        case kOkCancel:
            return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
        case kAbortRetryIgnore:
            return {{QMessageBox::Abort, kIdAbort},
                    {QMessageBox::Retry, kIdRetry},
                    {QMessageBox::Ignore, kIdIgnore}};
        case kYesNoCancel:
            return {{QMessageBox::Yes, kIdYes},
                    {QMessageBox::No, kIdNo},
                    {QMessageBox::Cancel, kIdCancel}};
        case kYesNo:
            return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
        case kRetryCancel:
            return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
        default:
            return {{QMessageBox::Ok, kIdOk}};
    }
}

std::size_t DefaultIndex(int style, std::size_t count) {
    const std::size_t wanted = static_cast<std::size_t>((style >> 8) & 0xF);
    return wanted < count ? wanted : 0;
}

QMessageBox::Icon IconOf(int style) {
    switch (style & 0xF0) {
        case kCritical:
            return QMessageBox::Critical;
        case kQuestion:
            return QMessageBox::Question;
        case kExclamation:
            return QMessageBox::Warning;
        case kInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void WidenToTitle(QMessageBox& box) {
    // The box sizes itself to its text when shown and takes no minimum width; an item of
    // the title's width in its layout is one it keeps.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr || box.property("formsTitleRoom").isValid()) return;
    QFont font = box.font();
    font.setBold(true);
    const int width = QFontMetrics(font).horizontalAdvance(box.windowTitle()) + kTitleBarRoom;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
    box.setProperty("formsTitleRoom", width);
}

void SetAppTitle(const std::string& title) { Title() = title; }
const std::string& AppTitle() { return Title(); }

int DefaultAnswer(int style) {
    const std::vector<ButtonSpec> buttons = ButtonsOf(style);
    return buttons[DefaultIndex(style, buttons.size())].code;
}

int MsgBox(const std::string& prompt, int style, const std::string& title, Form* owner) {
    const std::string caption = title.empty() ? AppTitle() : title;
    if (testing::ScriptedMessageBoxes* script = ActiveMessageBoxScript(); script != nullptr) {
        return script->Answer(testing::MessageBoxCall{prompt, style, caption});
    }
    QMessageBox box(owner != nullptr ? owner->Window() : nullptr);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(prompt));
    box.setIcon(IconOf(style));
    const std::vector<ButtonSpec> buttons = ButtonsOf(style);
    for (const ButtonSpec& spec : buttons) box.addButton(spec.button);
    box.setDefaultButton(buttons[DefaultIndex(style, buttons.size())].button);
    WidenToTitle(box);
    // The event loop of the box keeps dispatching window timers.
    box.exec();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const ButtonSpec& spec : buttons) {
        if (spec.button == clicked) return spec.code;
    }
    // Closed without a button (Escape or the close box): the cancel answer when there is
    // one, else the last button.
    for (const ButtonSpec& spec : buttons) {
        if (spec.code == kIdCancel) return kIdCancel;
    }
    return buttons.back().code;
}

}  // namespace forms
