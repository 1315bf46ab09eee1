#pragma once
// Base of every control of a form, in the form's ordered control collection. Geometry is in
// the form's scale unit (pixels); controls without geometry or font refuse those properties.
#include <optional>
#include <string>

namespace forms {

class Form;

struct Rect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// Control geometry is held in single precision, as the window system's properties are: a
// position computed in double precision (249 / 15 * 15) lands on the same value it came from.
inline Rect SingleRect(const Rect& r) {
    return Rect{static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.width),
                static_cast<float>(r.height)};
}

class Control {
public:
    Control(Form& form, std::string name, int index);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    Form& Parent() const { return m_form; }
    const std::string& Name() const { return m_name; }
    // Index within its control array, or -1 for a single control.
    int Index() const { return m_index; }

    virtual bool IsPictureBox() const { return false; }

    // Geometry; nullopt / false for controls that have none (timers, menus).
    virtual std::optional<Rect> Geometry() const { return std::nullopt; }
    virtual bool Move(double left, double top) { return false; }
    virtual bool Move(double left, double top, double width, double height) { return false; }
    virtual std::optional<double> FontSize() const { return std::nullopt; }
    virtual bool SetFontSize(double points) { return false; }

    std::string Tag;

private:
    Form& m_form;
    std::string m_name;
    int m_index;
};

}  // namespace forms
