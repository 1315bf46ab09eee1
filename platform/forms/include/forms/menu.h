#pragma once
// Menus as controls: a top-level menu of the menu bar, or an item of its parent menu. A
// caption "-" makes a separator; "&" marks the access key. An item that receives items
// becomes a submenu.
#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/mouse.h"

class QAction;
class QMenu;

namespace forms {

class Menu final : public Control {
public:
    // parent nullptr: a top-level menu of the form's menu bar.
    Menu(Form& form, std::string name, int index, const std::string& caption, Menu* parent);
    ~Menu() override;

    std::string Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);
    bool Checked() const;
    void SetChecked(bool checked);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    bool Visible() const;
    void SetVisible(bool visible);
    // "Ctrl+O" style; empty for none.
    void SetShortcut(const std::string& keys);
    std::string Shortcut() const;

    ClickHandler Click;

    // Runs the item as a user's choice would (tests, keyboard shortcuts).
    void Choose();

    QAction* Action() const { return m_action; }

private:
    QMenu* SubMenu();

    std::string m_caption;
    Menu* m_parent;
    QAction* m_action = nullptr;  // owned by the parent's QMenu or the menu bar
    std::unique_ptr<QMenu> m_menu;
};

}  // namespace forms
