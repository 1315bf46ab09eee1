#include "forms/surface.h"

#include <QFontMetricsF>
#include <QPainter>

namespace forms {

void Surface::Print(const std::string& text) {
    const QFont qfont = ToQFont(m_font);
    const QFontMetricsF metrics(qfont);
    const QString qtext = QString::fromStdString(text);
    if (QImage* target = PrintTarget(); target != nullptr && !target->isNull() && !text.empty()) {
        QPainter painter(target);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(qfont);
        painter.setPen(ToQColor(m_foreColor));
        painter.drawText(QPointF(m_currentX, m_currentY + metrics.ascent()), qtext);
        painter.end();
        PrintTargetChanged();
    }
    m_currentX = 0;
    m_currentY += metrics.height();
}

double Surface::TextWidth(const std::string& text) const {
    return QFontMetricsF(ToQFont(m_font)).horizontalAdvance(QString::fromStdString(text));
}

double Surface::TextHeight(const std::string& text) const {
    (void)text;  // one line: the font's height
    return QFontMetricsF(ToQFont(m_font)).height();
}

std::string Surface::ElidedText(const std::string& text, double width) const {
    return QFontMetricsF(ToQFont(m_font))
        .elidedText(QString::fromStdString(text), Qt::ElideRight, width)
        .toStdString();
}

}  // namespace forms
