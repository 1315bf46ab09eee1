#include "forms/chrome.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleFactory>
#include <QToolTip>

namespace forms {
namespace {

Chrome& Current() {
    static Chrome chrome{};
    return chrome;
}

// A message box's icon drawn in the program's colours: the usual ones are white and light
// grey, made for light boxes. A warning is a triangle and an error a disc in the accent
// colour; information and a question are a raised disc with an accent rim.
QPixmap BoxIcon(QStyle::StandardPixmap which, int size) {
    const Chrome& chrome = Current();
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double rim = size / 16.0;
    const QRectF area = QRectF(0, 0, size, size).adjusted(rim, rim, -rim, -rim);
    QColor ink = ToQColor(chrome.accentText);
    QRectF markArea = area;
    if (which == QStyle::SP_MessageBoxWarning) {
        QPainterPath triangle;
        triangle.moveTo(area.center().x(), area.top());
        triangle.lineTo(area.bottomRight());
        triangle.lineTo(area.bottomLeft());
        triangle.closeSubpath();
        painter.setPen(
            QPen(ToQColor(chrome.accent), rim, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(ToQColor(chrome.accent));
        painter.drawPath(triangle);
        markArea.setTop(area.top() + area.height() / 4);  // the wide part of the triangle
    } else if (which == QStyle::SP_MessageBoxCritical) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(ToQColor(chrome.accent));
        painter.drawEllipse(area);
    } else {
        painter.setPen(QPen(ToQColor(chrome.accent), rim));
        painter.setBrush(ToQColor(chrome.raised));
        painter.drawEllipse(area);
        ink = ToQColor(chrome.text);
    }
    const char* mark = which == QStyle::SP_MessageBoxWarning       ? "!"
                       : which == QStyle::SP_MessageBoxCritical    ? "\xC3\x97"
                       : which == QStyle::SP_MessageBoxInformation ? "i"
                                                                   : "?";
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(size * 5 / 8);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(markArea, Qt::AlignCenter, QString::fromUtf8(mark));
    return pixmap;
}

// The program's style with its message-box icons; everything else is the style's own.
class ChromeStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        switch (which) {
            case SP_MessageBoxInformation:
            case SP_MessageBoxWarning:
            case SP_MessageBoxCritical:
            case SP_MessageBoxQuestion: {
                const int size = pixelMetric(PM_MessageBoxIconSize, option, widget);
                QIcon icon;
                for (int scale : {1, 2}) icon.addPixmap(BoxIcon(which, size * scale));
                return icon;
            }
            default:
                return QProxyStyle::standardIcon(which, option, widget);
        }
    }
};

QPalette PaletteOf(const Chrome& chrome) {
    const QColor back = ToQColor(chrome.back);
    const QColor raised = ToQColor(chrome.raised);
    const QColor text = ToQColor(chrome.text);
    const QColor dim = ToQColor(chrome.dimText);
    // Bevels and frames derive from the button colour, as the styles expect.
    QPalette palette(raised, back);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::ToolTipText, text);
    }
    palette.setColor(QPalette::Base, back.darker(130));
    palette.setColor(QPalette::AlternateBase, back);
    palette.setColor(QPalette::ToolTipBase, raised);
    palette.setColor(QPalette::Highlight, ToQColor(chrome.accent));
    palette.setColor(QPalette::HighlightedText, ToQColor(chrome.accentText));
    palette.setColor(QPalette::BrightText, text);
    palette.setColor(QPalette::Link, ToQColor(chrome.accent));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, dim);
    }
    return palette;
}

}  // namespace

void SetChrome(const Chrome& chrome) {
    Current() = chrome;
    // Before the palettes: a new style starts from the theme's palettes.
    if (dynamic_cast<ChromeStyle*>(QApplication::style()) == nullptr) {
        QApplication::setStyle(
            new ChromeStyle(QStyleFactory::create(QApplication::style()->name())));
    }
    const QPalette palette = PaletteOf(chrome);
    // Only these classes: the program's own drawing keeps its colours.
    QApplication::setPalette(palette, "QMenuBar");
    QApplication::setPalette(palette, "QMenu");
    QApplication::setPalette(palette, "QMessageBox");
    QApplication::setPalette(palette, "QFileDialog");
    QToolTip::setPalette(palette);
}

void SetAppIcon(const QImage& icon) { QApplication::setWindowIcon(QPixmap::fromImage(icon)); }

std::string WrapToolTip(const std::string& text) {
    const QFontMetricsF metrics(QToolTip::font());
    QStringList lines;
    for (const QString& paragraph : QString::fromStdString(text).split('\n')) {
        QString line;
        for (const QString& word : paragraph.split(' ', Qt::SkipEmptyParts)) {
            const QString longer = line.isEmpty() ? word : line + ' ' + word;
            if (!line.isEmpty() && metrics.horizontalAdvance(longer) > kToolTipWidth) {
                lines << line;
                line = word;
            } else {
                line = longer;
            }
        }
        lines << line;
    }
    return lines.join('\n').toStdString();
}

}  // namespace forms
