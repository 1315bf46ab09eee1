#pragma once
// A windowless picture control: the form draws it above its own printing, in collection
// order (later controls on top). Assigning a picture sizes the control to it.
#include <QImage>
#include <string>

#include "forms/control.h"
#include "forms/mouse.h"

namespace forms {

using Picture = QImage;

class Image final : public Control {
public:
    Image(Form& form, std::string name, int index, Rect design);

    const Picture& GetPicture() const { return m_picture; }
    void SetPicture(const Picture& picture);

    double Left() const { return m_rect.left; }
    double Top() const { return m_rect.top; }
    double Width() const { return m_rect.width; }
    double Height() const { return m_rect.height; }
    void SetLeft(double left);
    void SetTop(double top);

    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    std::string ToolTipText;

    MouseHandler MouseDown;
    MouseHandler MouseMove;
    MouseHandler MouseUp;
    ClickHandler Click;
    ClickHandler DblClick;

    std::optional<Rect> Geometry() const override { return m_rect; }
    bool Move(double left, double top) override;
    bool Move(double left, double top, double width, double height) override;

    // Whether a point of the form's client area (pixels) lies on the control.
    bool Contains(double x, double y) const;
    // Whether the control was shown (hidden before) after the form's press number `press`.
    bool ShownAfterPress(int press) const { return m_shownAtPress >= press && press > 0; }

private:
    void Invalidate(const Rect& area);

    Picture m_picture;
    Rect m_rect;
    bool m_visible = true;
    bool m_enabled = true;
    int m_shownAtPress = -1;  // the form's press count when last shown; -1: never hidden
};

}  // namespace forms
