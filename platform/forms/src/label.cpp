#include "forms/label.h"

#include <QLabel>
#include <cmath>

#include "forms/form.h"

namespace forms {

Label::Label(Form& form, std::string name, int index, Rect design)
    : Control(form, std::move(name), index), m_rect(SingleRect(design)) {
    m_widget = std::make_unique<QLabel>(form.ClientWidget());
    m_widget->setWordWrap(true);
    m_widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_widget->setTextFormat(Qt::PlainText);
    ApplyGeometry();
    ApplyStyle();
    SetFont(m_font);
    m_widget->show();
}

Label::~Label() = default;

std::string Label::Caption() const { return m_caption; }
void Label::SetCaption(const std::string& caption) {
    m_caption = caption;
    // A line break is CR LF in a caption; the widget wants LF alone.
    m_widget->setText(QString::fromStdString(caption).remove(QLatin1Char('\r')));
}

void Label::SetFont(const Font& font) {
    m_font = font;
    m_widget->setFont(ToQFont(font));
}

void Label::SetForeColor(OleColor color) {
    m_foreColor = color;
    ApplyStyle();
}

void Label::SetOpaque(bool opaque, OleColor backColor) {
    m_opaque = opaque;
    m_backColor = backColor;
    ApplyStyle();
}

void Label::SetCentred(bool centred) {
    m_widget->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
}

bool Label::Move(double left, double top) { return Move(left, top, m_rect.width, m_rect.height); }

bool Label::Move(double left, double top, double width, double height) {
    m_rect = SingleRect(Rect{left, top, width, height});
    ApplyGeometry();
    return true;
}

bool Label::SetFontSize(double points) {
    Font font = m_font;
    font.size = points;
    SetFont(font);
    return true;
}

void Label::ApplyGeometry() {
    m_widget->setGeometry(
        static_cast<int>(std::lround(m_rect.left)), static_cast<int>(std::lround(m_rect.top)),
        static_cast<int>(std::lround(m_rect.width)), static_cast<int>(std::lround(m_rect.height)));
}

void Label::ApplyStyle() {
    QPalette palette = m_widget->palette();
    palette.setColor(QPalette::WindowText, ToQColor(m_foreColor));
    palette.setColor(QPalette::Window, ToQColor(m_backColor));
    m_widget->setPalette(palette);
    m_widget->setAutoFillBackground(m_opaque);
}

}  // namespace forms
