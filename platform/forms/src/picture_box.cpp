#include "forms/picture_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "forms/chrome.h"
#include "forms/form.h"
#include "internal.h"

namespace forms {
namespace {

QImage BlankCanvas(const Rect& rect, OleColor back) {
    const int width = std::max(1, static_cast<int>(std::lround(rect.width)));
    const int height = std::max(1, static_cast<int>(std::lround(rect.height)));
    QImage canvas(width, height, QImage::Format_RGB32);
    canvas.fill(ToQColor(back));
    return canvas;
}

}  // namespace

PictureBoxWidget::PictureBoxWidget(PictureBox& box, QWidget* parent) : QWidget(parent), m_box(box) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBoxWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, m_box.Canvas());
}

PictureBox::PictureBox(Form& form, std::string name, int index, Rect design)
    : Control(form, std::move(name), index), m_rect(SingleRect(design)) {
    m_canvas = BlankCanvas(m_rect, m_backColor);
    m_widget = std::make_unique<PictureBoxWidget>(*this, form.ClientWidget());
    ApplyGeometry();
    m_widget->show();
}

PictureBox::~PictureBox() = default;

void PictureBox::SetBackColor(OleColor color) {
    m_backColor = color;
    Cls();
}

void PictureBox::Cls() {
    m_canvas.fill(ToQColor(m_backColor));
    SetCurrentX(0);
    SetCurrentY(0);
    PrintTargetChanged();
}

void PictureBox::Refresh() { m_widget->repaint(); }

bool PictureBox::Visible() const { return m_widget->isVisibleTo(m_widget->parentWidget()); }
void PictureBox::SetVisible(bool visible) { m_widget->setVisible(visible); }
std::string PictureBox::ToolTipText() const { return m_toolTipText; }
void PictureBox::SetToolTipText(const std::string& text) {
    m_toolTipText = text;
    m_widget->setToolTip(QString::fromStdString(WrapToolTip(text)));
}

bool PictureBox::Move(double left, double top) {
    return Move(left, top, m_rect.width, m_rect.height);
}

bool PictureBox::Move(double left, double top, double width, double height) {
    if (width < 0 || height < 0) return false;
    const Rect rect = SingleRect(Rect{left, top, width, height});
    const bool resized = rect.width != m_rect.width || rect.height != m_rect.height;
    m_rect = rect;
    if (resized) {
        // Keep what was drawn; new parts show the back colour.
        QImage grown = BlankCanvas(m_rect, m_backColor);
        QPainter painter(&grown);
        painter.drawImage(0, 0, m_canvas);
        painter.end();
        m_canvas = grown;
    }
    ApplyGeometry();
    return true;
}

bool PictureBox::SetFontSize(double points) {
    if (points <= 0) return false;
    Font font = GetFont();
    font.size = points;
    SetFont(font);
    return true;
}

void PictureBox::PrintTargetChanged() { m_widget->update(); }

void PictureBox::ApplyGeometry() {
    m_widget->setGeometry(static_cast<int>(std::lround(m_rect.left)),
                          static_cast<int>(std::lround(m_rect.top)), m_canvas.width(),
                          m_canvas.height());
}

}  // namespace forms
