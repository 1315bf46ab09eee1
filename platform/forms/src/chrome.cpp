#include "forms/chrome.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPalette>
#include <QStringList>
#include <QToolTip>

namespace forms {
namespace {

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
    const QPalette palette = PaletteOf(chrome);
    // Only these classes: file dialogs and the program's own drawing keep theirs.
    QApplication::setPalette(palette, "QMenuBar");
    QApplication::setPalette(palette, "QMenu");
    QApplication::setPalette(palette, "QMessageBox");
    QToolTip::setPalette(palette);
}

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
