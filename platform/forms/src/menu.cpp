#include "forms/menu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QWidget>

#include "forms/form.h"

namespace forms {

Menu::Menu(Form& form, std::string name, int index, const std::string& caption, Menu* parent)
    : Control(form, std::move(name), index), m_caption(caption), m_parent(parent) {
    const QString text = QString::fromStdString(caption);
    if (parent == nullptr) {
        m_menu = std::make_unique<QMenu>(text);
        m_action = form.MenuBar()->addMenu(m_menu.get());
    } else if (caption == "-") {
        m_action = parent->SubMenu()->addSeparator();
    } else {
        m_action = parent->SubMenu()->addAction(text);
    }
    QObject::connect(m_action, &QAction::triggered, [this] {
        // A menu's check mark changes only when the program sets it, not by choosing.
        if (m_action->isCheckable()) {
            const QSignalBlocker blocker(m_action);
            m_action->setChecked(!m_action->isChecked());
        }
        // The menu has closed; its picture would stay over the window for as long as the
        // handler runs (seconds on the K-line) unless the window is drawn again first.
        if (QWidget* window = Parent().Window(); window->isVisible()) {
            for (QWidget* part : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (part->isVisible()) part->repaint();
            }
        }
        if (Click) Click();
    });
}

Menu::~Menu() {
    if (m_parent != nullptr) {
        // Items go before their parent (reverse creation order), so the parent menu that
        // owns the action still exists here.
        delete m_action;
    }
    m_menu.reset();
}

QMenu* Menu::SubMenu() {
    if (!m_menu) {
        m_menu = std::make_unique<QMenu>(QString::fromStdString(m_caption));
        m_action->setMenu(m_menu.get());
    }
    return m_menu.get();
}

void Menu::SetCaption(const std::string& caption) {
    m_caption = caption;
    m_action->setText(QString::fromStdString(caption));
    if (m_menu) m_menu->setTitle(QString::fromStdString(caption));
}

bool Menu::Checked() const { return m_action->isChecked(); }
void Menu::SetChecked(bool checked) {
    m_action->setCheckable(true);
    m_action->setChecked(checked);
}
bool Menu::Enabled() const { return m_action->isEnabled(); }
void Menu::SetEnabled(bool enabled) { m_action->setEnabled(enabled); }
bool Menu::Visible() const { return m_action->isVisible(); }
void Menu::SetVisible(bool visible) { m_action->setVisible(visible); }

void Menu::SetShortcut(const std::string& keys) {
    m_action->setShortcut(QKeySequence(QString::fromStdString(keys)));
    m_action->setShortcutContext(Qt::WindowShortcut);
    // The shortcut must work while the menu is closed, so the window carries the action too.
    if (QWidget* window = Parent().Window(); !window->actions().contains(m_action)) {
        window->addAction(m_action);
    }
}

std::string Menu::Shortcut() const {
    return m_action->shortcut().toString(QKeySequence::PortableText).toStdString();
}

void Menu::Choose() {
    if (m_action->isEnabled() && !m_action->isSeparator()) m_action->trigger();
}

}  // namespace forms
