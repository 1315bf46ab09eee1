// Draws the tuning window's pictures (buttons with their pressed forms, the slider thumb, the
// two page backgrounds and the disclaimer's accept button) into PNG files. Everything is
// drawn from code with one bundled face, so every build produces the same pictures.
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "layout.h"
#include "skin/pictures.h"

namespace {

const QColor kInk(0xE8, 0xEA, 0xEE);
const QColor kAmber(0xFF, 0x9E, 0x2C);
const QColor kGreen(0x43, 0xD6, 0x7A);
const QColor kRed(0xF0, 0x55, 0x4A);
const QColor kCyan(0x3C, 0xC8, 0xE6);
const QColor kSteel(0xA8, 0xB0, 0xBC);

QString g_fontDir;

QFont Face(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setLetterSpacing(QFont::AbsoluteSpacing, pixels >= 12 ? 1.0 : 0.5);
    return font;
}

// Set close, without the spacing of Face: emblem labels keep a large size for long words.
QFont CloseFace(int pixels, bool bold) {
    QFont font = Face(pixels, bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    return font;
}

// Group captions, the legend and the status label: readable beside the printed texts.
const QColor kCaptionInk(0xB4, 0xBC, 0xC8);
constexpr int kCaptionPixels = 11;

QImage Canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A raised metal plate with a coloured rim light; pressed plates are darker and sunk.
void Plate(QPainter& p, const QRectF& r, qreal radius, const QColor& accent, bool pressed) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(r.topLeft(), r.bottomLeft());
    if (pressed) {
        body.setColorAt(0, QColor(0x12, 0x15, 0x1A));
        body.setColorAt(1, QColor(0x24, 0x29, 0x31));
    } else {
        body.setColorAt(0, QColor(0x3A, 0x41, 0x4C));
        body.setColorAt(0.5, QColor(0x25, 0x2A, 0x32));
        body.setColorAt(1, QColor(0x17, 0x1A, 0x1F));
    }
    p.setPen(QPen(QColor(0x05, 0x06, 0x08), 1));
    p.setBrush(body);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    QColor rim = accent;
    rim.setAlpha(pressed ? 230 : 150);
    p.setPen(QPen(rim, pressed ? 2 : 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(2, 2, -2, -2), radius - 1.5, radius - 1.5);
    if (!pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 40), 1));
        p.drawLine(QPointF(r.left() + radius, r.top() + 3.5),
                   QPointF(r.right() - radius, r.top() + 3.5));
    }
}

void Label(QPainter& p, const QRectF& r, const QString& text, const QFont& font,
           const QColor& color, bool pressed) {
    const QRectF at = pressed ? r.translated(1, 1) : r;
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 180));
    p.drawText(at.translated(1, 1), Qt::AlignCenter, text);
    p.setPen(pressed ? color.lighter(115) : color);
    p.drawText(at, Qt::AlignCenter, text);
}

QImage Button(int width, int height, const QString& text, const QColor& accent, bool pressed,
              int pixels = 13) {
    QImage image = Canvas(width, height);
    QPainter p(&image);
    const QRectF r(0, 0, width, height);
    Plate(p, r, std::min(8, height / 3), accent, pressed);
    Label(p, r, text, Face(pixels, true), pressed ? accent : kInk, pressed);
    return image;
}

// A large button with an emblem on the left and a label on the right: where each goes.
struct EmblemPlan {
    QRectF icon;
    QRectF text;
};

EmblemPlan PlanEmblemButton(int width, int height) {
    const qreal size = std::round(height * 0.38);
    const QRectF icon(10, (height - size) / 2, size, size);
    return EmblemPlan{icon, QRectF(icon.right() + 3, 0, width - icon.right() - 9, height)};
}

// The largest label size (at most 13 pixels) at which the widest line of every text fits the
// narrowest of the areas: buttons that replace each other in one place show one label size.
int SharedLabelPixels(const QStringList& texts, qreal width) {
    int pixels = 13;
    for (; pixels > 8; --pixels) {
        const QFontMetricsF metrics(CloseFace(pixels, true));
        qreal widest = 0;
        for (const QString& text : texts) {
            for (const QString& line : text.split('\n')) {
                widest = std::max(widest, metrics.horizontalAdvance(line));
            }
        }
        if (widest <= width - 4) break;
    }
    return pixels;
}

QImage EmblemButton(int width, int height, const QString& text, int pixels, const QColor& accent,
                    bool pressed, void (*emblem)(QPainter&, const QRectF&, const QColor&)) {
    QImage image = Canvas(width, height);
    QPainter p(&image);
    Plate(p, QRectF(0, 0, width, height), 12, accent, pressed);
    const EmblemPlan plan = PlanEmblemButton(width, height);
    emblem(p, pressed ? plan.icon.translated(1, 1) : plan.icon, accent);
    Label(p, plan.text, text, CloseFace(pixels, true), pressed ? accent : kInk, pressed);
    return image;
}

void PowerEmblem(QPainter& p, const QRectF& r, const QColor& accent) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(accent, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(r.adjusted(3, 3, -3, -3), 120 * 16, -240 * 16);
    p.drawLine(QPointF(r.center().x(), r.top() + 1), QPointF(r.center().x(), r.center().y()));
}

void DropEmblem(QPainter& p, const QRectF& r, const QColor& accent) {
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath drop;
    const QPointF top(r.center().x(), r.top());
    const qreal radius = r.width() * 0.36;
    const QPointF centre(r.center().x(), r.bottom() - radius - 2);
    drop.moveTo(top);
    drop.cubicTo(QPointF(top.x() + radius * 0.6, top.y() + radius),
                 QPointF(centre.x() + radius, centre.y() - radius * 0.4),
                 QPointF(centre.x() + radius, centre.y()));
    drop.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 0, -180);
    drop.cubicTo(QPointF(centre.x() - radius, centre.y() - radius * 0.4),
                 QPointF(top.x() - radius * 0.6, top.y() + radius), top);
    p.setPen(QPen(accent, 2.5));
    QColor fill = accent;
    fill.setAlpha(70);
    p.setBrush(fill);
    p.drawPath(drop);
}

void GaugeEmblem(QPainter& p, const QRectF& r, const QColor& accent) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QRectF dial = r.adjusted(2, 4, -2, 0);
    p.drawArc(dial, 200 * 16, -220 * 16);
    p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(dial.center(), QPointF(dial.center().x() + dial.width() * 0.3,
                                      dial.center().y() - dial.height() * 0.22));
    p.setBrush(kInk);
    p.drawEllipse(dial.center(), 3, 3);
}

// One emblem button: its picture indexes, size, label, colour and emblem.
struct EmblemSpec {
    int normalIndex;
    int pressedIndex;
    int width;
    int height;
    QString text;
    QColor accent;
    void (*emblem)(QPainter&, const QRectF&, const QColor&);
};

QImage RoundButton(const QString& sign, bool pressed) {
    QImage image = Canvas(25, 25);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, 24, 24);
    QRadialGradient body(r.center() - QPointF(3, 4), 16);
    body.setColorAt(0, pressed ? QColor(0x1A, 0x1D, 0x22) : QColor(0x4A, 0x52, 0x5E));
    body.setColorAt(1, pressed ? QColor(0x0C, 0x0E, 0x11) : QColor(0x1B, 0x1F, 0x25));
    p.setPen(QPen(QColor(0x05, 0x06, 0x08), 1));
    p.setBrush(body);
    p.drawEllipse(r);
    p.setPen(QPen(pressed ? kAmber : QColor(0x6A, 0x72, 0x7E), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r.adjusted(2, 2, -2, -2));
    p.setPen(QPen(pressed ? kAmber : kInk, 2.6, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = r.center() + (pressed ? QPointF(0.5, 0.5) : QPointF(0, 0));
    p.drawLine(QPointF(c.x() - 5, c.y()), QPointF(c.x() + 5, c.y()));
    if (sign == "+") p.drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
    return image;
}

QImage Thumb() {
    QImage image = Canvas(18, 23);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(1, 0.5, 16, 18), 3, 3);
    QPainterPath point;
    point.moveTo(4, 17);
    point.lineTo(9, 22.5);
    point.lineTo(14, 17);
    point.closeSubpath();
    shape = shape.united(point);
    QLinearGradient body(0, 0, 18, 0);
    body.setColorAt(0, QColor(0xFF, 0xB8, 0x5C));
    body.setColorAt(0.5, kAmber);
    body.setColorAt(1, QColor(0xB8, 0x62, 0x10));
    p.setPen(QPen(QColor(0x2A, 0x16, 0x04), 1));
    p.setBrush(body);
    p.drawPath(shape);
    p.setPen(QPen(QColor(0x4A, 0x26, 0x06, 200), 1));
    for (int x : {6, 9, 12}) p.drawLine(QPointF(x, 4.5), QPointF(x, 14.5));
    return image;
}

// Backgrounds -------------------------------------------------------------------------

void Panel(QPainter& p, const QRectF& r, const QColor& accent, const QString& caption) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(r.topLeft(), r.bottomLeft());
    body.setColorAt(0, QColor(0x20, 0x24, 0x2B));
    body.setColorAt(1, QColor(0x16, 0x19, 0x1E));
    p.setPen(QPen(QColor(0x34, 0x3A, 0x44), 1));
    p.setBrush(body);
    p.drawRoundedRect(r, 7, 7);
    p.setPen(QPen(accent, 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(r.left() + 10, r.top() + 0.5), QPointF(r.left() + 26, r.top() + 0.5));
    if (!caption.isEmpty()) {
        p.setFont(CloseFace(kCaptionPixels, true));
        p.setPen(kCaptionInk);
        p.drawText(QRectF(r.left() + 32, r.top() - 8, r.width() - 38, 16),
                   Qt::AlignLeft | Qt::AlignVCenter, caption);
    }
}

// A sunk, calm strip for text that the window prints.
void Inset(QPainter& p, const QRectF& r, const QColor& fill) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x05, 0x06, 0x08), 1));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawLine(QPointF(r.left() + 3, r.bottom() - 0.5), QPointF(r.right() - 3, r.bottom() - 0.5));
}

void Groove(QPainter& p, const QRectF& track, const QColor& accent) {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal y = track.center().y() + 1;
    p.setPen(QPen(QColor(0x05, 0x06, 0x08), 1));
    p.setBrush(QColor(0x0B, 0x0D, 0x10));
    p.drawRoundedRect(QRectF(track.left(), y - 3, track.width(), 6), 3, 3);
    QColor glow = accent;
    glow.setAlpha(110);
    p.setPen(QPen(glow, 1));
    p.drawLine(QPointF(track.left() + 3, y), QPointF(track.right() - 3, y));
    p.setPen(QPen(QColor(0x4A, 0x52, 0x5E), 1));
    for (int i = 0; i <= 8; ++i) {
        const qreal x = track.left() + 4 + (track.width() - 8) * i / 8.0;
        p.drawLine(QPointF(x, y + 5), QPointF(x, y + (i % 4 == 0 ? 9 : 7)));
    }
}

QImage Background(bool advanced) {
    using namespace dravik::skin;
    const QColor accent = advanced ? kCyan : kAmber;
    QImage image(800, 600, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 600);
    sky.setColorAt(0, QColor(0x1A, 0x1E, 0x24));
    sky.setColorAt(1, QColor(0x0B, 0x0D, 0x10));
    p.fillRect(image.rect(), sky);
    // A fine diagonal weave over the whole face.
    p.setPen(QPen(QColor(255, 255, 255, 7), 1));
    for (int k = -600; k < 800; k += 6) p.drawLine(k, 600, k + 600, 0);

    // Header with the product mark and the identification strip.
    p.fillRect(QRectF(0, 0, 800, 36), QColor(0x0E, 0x10, 0x13));
    p.setPen(QPen(accent, 2));
    p.drawLine(QPointF(0, 36), QPointF(800, 36));
    p.setFont(Face(20, true));
    p.setPen(kInk);
    p.drawText(QRectF(22, 0, 200, 36), Qt::AlignLeft | Qt::AlignVCenter, "DRAVIK");
    p.setFont(Face(9, true));
    p.setPen(accent);
    p.drawText(QRectF(132, 2, 200, 36), Qt::AlignLeft | Qt::AlignVCenter, "ECU ADAPTATION");
    Inset(p, kBoxCodeStrip, QColor(0x07, 0x08, 0x0A));

    // Left column: session and settings-file panels.
    Panel(p, QRectF(34, 44, 330, 87), accent, "ECU SESSION");
    Panel(p, QRectF(34, 232, 130, 126), accent, "SETTINGS FILE");
    Panel(p, QRectF(34, 400, 234, 126), accent, "PAGE");

    // Status strip.
    p.setFont(CloseFace(kCaptionPixels, true));
    p.setPen(kCaptionInk);
    p.drawText(QRectF(kStatusStrip.left() - 70, kStatusStrip.top(), 62, kStatusStrip.height()),
               Qt::AlignRight | Qt::AlignVCenter, "STATUS");
    Inset(p, kStatusStrip.adjusted(-2, -2, 2, 2), QColor(0x07, 0x08, 0x0A));

    // Page heading over the channel rows.
    p.setFont(Face(15, true));
    p.setPen(kInk);
    p.drawText(QRectF(282, 172, 460, 30), Qt::AlignLeft | Qt::AlignVCenter,
               advanced ? "ADVANCED FUEL CONTROLS" : "BASE CONTROLS");
    p.setPen(QPen(accent, 2));
    p.drawLine(QPointF(282, 206), QPointF(740, 206));
    p.setFont(CloseFace(kCaptionPixels, false));
    p.setPen(kCaptionInk);
    p.drawText(QRectF(282, 207, 460, 18), Qt::AlignRight | Qt::AlignVCenter,
               "*  untested     **  tested, not stored");

    // The six channel rows.
    for (const RowPlan& row : kRowPlans) {
        Panel(p, row.panel, accent, QString());
        Inset(p, QRectF(row.panel.left() + 6, row.title.top() - 2, row.panel.width() - 12, 20),
              QColor(0x2C, 0x31, 0x39));
        Inset(p, row.value.adjusted(-2, -2, 2, 2), QColor(0x07, 0x08, 0x0A));
        Groove(p, row.track, accent);
    }
    return image;
}

bool Save(const QImage& image, const std::string& folder, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "/image_%02d.png", index);
    const QString path = QString::fromStdString(folder + name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", path.toUtf8().constData());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <font folder> <output folder>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    g_fontDir = QString::fromUtf8(argv[1]);
    for (const char* file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
        if (QFontDatabase::addApplicationFont(g_fontDir + "/" + file) < 0) {
            std::fprintf(stderr, "cannot load %s/%s\n", argv[1], file);
            return 1;
        }
    }
    const std::string out = argv[2];
    bool ok = true;
    auto save = [&](int index, const QImage& image) { ok = Save(image, out, index) && ok; };
    // Connect and Disconnect, and the two page buttons, replace each other in one place.
    auto savePair = [&](const EmblemSpec& first, const EmblemSpec& second) {
        const int pixels =
            SharedLabelPixels({first.text, second.text},
                              std::min(PlanEmblemButton(first.width, first.height).text.width(),
                                       PlanEmblemButton(second.width, second.height).text.width()));
        for (const EmblemSpec* spec : {&first, &second}) {
            for (bool pressed : {false, true}) {
                save(pressed ? spec->pressedIndex : spec->normalIndex,
                     EmblemButton(spec->width, spec->height, spec->text, pixels, spec->accent,
                                  pressed, spec->emblem));
            }
        }
    };
    savePair({0, 19, 131, 68, "CONNECT", kGreen, PowerEmblem},
             {1, 20, 133, 70, "DISCONNECT", kRed, PowerEmblem});
    savePair({2, 21, 151, 81, "ADVANCED\nFUEL", kCyan, DropEmblem},
             {9, 22, 152, 83, "BASE\nCONTROLS", kAmber, GaugeEmblem});
    save(4, Button(94, 43, "LOAD", kSteel, false));
    save(3, Button(94, 43, "LOAD", kSteel, true));
    save(11, Button(96, 44, "SAVE", kSteel, false));
    save(10, Button(96, 44, "SAVE", kSteel, true));
    save(13, Button(94, 43, "SET", kAmber, false, 15));
    save(12, Button(94, 43, "SET", kAmber, true, 15));
    save(16, Button(69, 21, "TEST", kGreen, false, 10));
    save(15, Button(69, 21, "TEST", kGreen, true, 10));
    save(6, RoundButton("-", false));
    save(5, RoundButton("-", true));
    save(8, RoundButton("+", false));
    save(7, RoundButton("+", true));
    save(14, Thumb());
    save(17, Background(false));
    save(18, Background(true));
    // The program's icon, beside the title of the disclaimer window.
    QImage icon = Canvas(32, 32);
    {
        QPainter p(&icon);
        Plate(p, QRectF(0, 0, 32, 32), 7, kAmber, false);
        GaugeEmblem(p, QRectF(5, 5, 22, 20), kAmber);
    }
    ok = Save(icon, out, dravik::skin::kIconIndex) && ok;
    save(23, Button(94, 43, "ACCEPT", kGreen, false));
    save(24, Button(94, 43, "ACCEPT", kGreen, true));
    return ok ? 0 : 1;
}
