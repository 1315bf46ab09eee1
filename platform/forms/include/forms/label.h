#pragma once
// A label: a child window that shows a caption in the label's font and colour, word-wrapped
// within its rectangle, on a transparent or an opaque background.
#include <memory>
#include <string>

#include "forms/color.h"
#include "forms/control.h"
#include "forms/font.h"

class QLabel;

namespace forms {

class Label final : public Control {
public:
    Label(Form& form, std::string name, int index, Rect design);
    ~Label() override;

    std::string Caption() const;
    void SetCaption(const std::string& caption);
    void SetFont(const Font& font);
    void SetForeColor(OleColor color);
    // False: the form's background shows through.
    void SetOpaque(bool opaque, OleColor backColor = 0xFFFFFF);
    void SetCentred(bool centred);

    std::optional<Rect> Geometry() const override { return m_rect; }
    bool Move(double left, double top) override;
    bool Move(double left, double top, double width, double height) override;
    std::optional<double> FontSize() const override { return m_font.size; }
    bool SetFontSize(double points) override;

private:
    void ApplyGeometry();
    void ApplyStyle();

    Rect m_rect;
    std::string m_caption;
    Font m_font;
    OleColor m_foreColor = 0;
    bool m_opaque = false;
    OleColor m_backColor = 0xFFFFFF;
    std::unique_ptr<QLabel> m_widget;
};

}  // namespace forms
