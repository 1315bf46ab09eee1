#pragma once
// A picture box used as a drawing surface: a child window with a persistent canvas that keeps
// what was printed on it until Cls.
#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/surface.h"

namespace forms {

class PictureBoxWidget;

class PictureBox final : public Control, public Surface {
public:
    PictureBox(Form& form, std::string name, int index, Rect design);
    ~PictureBox() override;

    OleColor BackColor() const { return m_backColor; }
    void SetBackColor(OleColor color);

    // Clears the canvas to the back colour and puts the print position at (0, 0).
    void Cls();
    // Shows the canvas at once (without waiting for the event loop).
    void Refresh();

    double ScaleWidth() const { return m_rect.width; }
    double ScaleHeight() const { return m_rect.height; }
    double Left() const { return m_rect.left; }
    double Top() const { return m_rect.top; }
    double Width() const { return m_rect.width; }
    double Height() const { return m_rect.height; }

    bool Visible() const;
    void SetVisible(bool visible);
    std::string ToolTipText() const;
    void SetToolTipText(const std::string& text);

    const QImage& Canvas() const { return m_canvas; }

    bool IsPictureBox() const override { return true; }
    std::optional<Rect> Geometry() const override { return m_rect; }
    bool Move(double left, double top) override;
    bool Move(double left, double top, double width, double height) override;
    std::optional<double> FontSize() const override { return GetFont().size; }
    bool SetFontSize(double points) override;

protected:
    QImage* PrintTarget() override { return &m_canvas; }
    void PrintTargetChanged() override;

private:
    void ApplyGeometry();

    Rect m_rect;
    OleColor m_backColor = 0xFFFFFF;
    QImage m_canvas;
    std::string m_toolTipText;  // as given; shown wrapped
    std::unique_ptr<PictureBoxWidget> m_widget;
};

}  // namespace forms
