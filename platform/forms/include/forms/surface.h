#pragma once
// A drawing surface that prints text at a current position in its font and fore colour,
// without filling the text background (the form and picture boxes).
#include <QFont>
#include <QImage>
#include <string>

#include "forms/color.h"
#include "forms/font.h"

namespace forms {

class Surface {
public:
    virtual ~Surface() = default;

    OleColor ForeColor() const { return m_foreColor; }
    void SetForeColor(OleColor color) { m_foreColor = color; }

    const Font& GetFont() const { return m_font; }
    void SetFont(const Font& font) { m_font = font; }
    bool FontItalic() const { return m_font.italic; }
    void SetFontItalic(bool italic) { m_font.italic = italic; }
    bool FontBold() const { return m_font.bold; }
    void SetFontBold(bool bold) { m_font.bold = bold; }

    double CurrentX() const { return m_currentX; }
    double CurrentY() const { return m_currentY; }
    void SetCurrentX(double x) { m_currentX = x; }
    void SetCurrentY(double y) { m_currentY = y; }

    // Prints text with its top left at the current position; afterwards the position is at
    // the start of the next line (CurrentX 0, CurrentY one text height lower).
    void Print(const std::string& text);
    double TextWidth(const std::string& text) const;
    double TextHeight(const std::string& text) const;
    // The text as far as it fits into width in the current font, cut with an ellipsis.
    std::string ElidedText(const std::string& text, double width) const;

protected:
    // The pixels that Print draws on, and the notice that they changed.
    virtual QImage* PrintTarget() = 0;
    virtual void PrintTargetChanged() = 0;

private:
    OleColor m_foreColor = 0;  // black
    Font m_font;
    double m_currentX = 0;
    double m_currentY = 0;
};

}  // namespace forms
