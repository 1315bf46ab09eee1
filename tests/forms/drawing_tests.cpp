// Printing on the form and on picture boxes, colours, fonts and the paint order.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include "forms/form.h"
#include "forms/screen.h"

namespace {

// Horizontal extent of pixels that differ from the background colour.
struct Extent {
    int left = -1;
    int right = -1;
    int count = 0;
};

Extent InkExtent(const QImage& image, QRgb background, int top = 0, int bottom = -1) {
    Extent e;
    if (bottom < 0) bottom = image.height();
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (background & 0xFFFFFF)) continue;
            ++e.count;
            if (e.left < 0 || x < e.left) e.left = x;
            if (x > e.right) e.right = x;
        }
    }
    return e;
}

TEST(Colors, WindowSystemValuesAreBlueGreenRed) {
    EXPECT_EQ(forms::ToQColor(0x8888AA), QColor(170, 136, 136));
    EXPECT_EQ(forms::ToQColor(0x404040), QColor(64, 64, 64));
    EXPECT_EQ(forms::Rgb(1, 2, 3), 0x030201u);
}

TEST(PictureBox, PrintKeepsItsInkUntilClsAndMovesToTheNextLine) {
    forms::Form form("Test", 200, 100);
    forms::PictureBox& box = form.AddPictureBox("pic", -1, forms::Rect{10, 10, 120, 40});
    box.SetBackColor(0x000000);
    box.SetForeColor(0x0000FF);  // red
    forms::Font font;
    font.size = 9.75;
    font.bold = true;
    box.SetFont(font);
    EXPECT_EQ(box.Canvas().size(), QSize(120, 40));

    box.SetCurrentX(5);
    box.SetCurrentY(2);
    box.Print("Hello");
    EXPECT_EQ(box.CurrentX(), 0);
    EXPECT_DOUBLE_EQ(box.CurrentY(), 2 + box.TextHeight("Hello"));
    // 13-pixel DejaVu Sans Bold at 96 dots per inch.
    EXPECT_GT(box.TextHeight("x"), 13);
    EXPECT_LT(box.TextHeight("x"), 18);
    const Extent ink = InkExtent(box.Canvas(), 0xFF000000);
    ASSERT_GT(ink.count, 0);
    EXPECT_NEAR(ink.left, 5, 1);
    EXPECT_NEAR(ink.right, 5 + box.TextWidth("Hello"), 2);
    bool red = false;
    for (int x = ink.left; x <= ink.right && !red; ++x) {
        for (int y = 0; y < 40 && !red; ++y) red = box.Canvas().pixel(x, y) == qRgb(255, 0, 0);
    }
    EXPECT_TRUE(red);

    // Growing keeps what was drawn; Cls clears it and resets the print position.
    box.Move(10, 10, 150, 50);
    EXPECT_EQ(InkExtent(box.Canvas(), 0xFF000000).count, ink.count);
    box.Cls();
    EXPECT_EQ(InkExtent(box.Canvas(), 0xFF000000).count, 0);
    EXPECT_EQ(box.CurrentY(), 0);
}

TEST(PictureBox, ItalicAndWiderFontsMeasureDifferently) {
    forms::Form form("Test", 10, 10);
    forms::PictureBox& box = form.AddPictureBox("pic", -1, forms::Rect{0, 0, 10, 10});
    const double regular = box.TextWidth("Main Fuel Scale");
    forms::Font font = box.GetFont();
    font.bold = true;
    box.SetFont(font);
    EXPECT_GT(box.TextWidth("Main Fuel Scale"), regular);
    box.SetFontSize(20);
    EXPECT_GT(box.TextWidth("Main Fuel Scale"), 2 * regular);
}

TEST(PictureBox, FontPointsFollowTheScreensTwipsPerPixel) {
    // 7.8 points at 12 twips per pixel (120 dots per inch) are the pixels of 9.75 points at 15.
    forms::Form form("Test", 10, 10);
    forms::PictureBox& box = form.AddPictureBox("pic", -1, forms::Rect{0, 0, 10, 10});
    box.SetFontSize(9.75);
    const double designHeight = box.TextHeight("Ag");
    forms::Screen::SetTwipsPerPixel(12, 12);
    EXPECT_GT(box.TextHeight("Ag"), designHeight);
    box.SetFontSize(7.8);
    const double scaledHeight = box.TextHeight("Ag");
    forms::Screen::SetTwipsPerPixel(15, 15);
    EXPECT_DOUBLE_EQ(scaledHeight, designHeight);
}

class PaintingForm : public forms::Form {
public:
    PaintingForm() : Form("Painter", 100, 50) {}
    int paints = 0;

protected:
    void OnPaint() override {
        ++paints;
        SetForeColor(0xFFFFFF);
        SetCurrentX(0);
        SetCurrentY(0);
        Print("WWWWWWWW");
    }
};

TEST(FormPainting, BackgroundThenPaintEventThenImages) {
    PaintingForm form;
    form.SetBackColor(0x000000);
    QImage background(100, 50, QImage::Format_RGB32);
    background.fill(QColor(0, 0, 255));
    form.SetPicture(background);
    forms::Image& image = form.AddImage("img", -1, forms::Rect{0, 0, 1, 1});
    QImage green(20, 50, QImage::Format_RGB32);
    green.fill(QColor(0, 255, 0));
    image.SetPicture(green);
    form.Show();
    form.Refresh();
    EXPECT_GE(form.paints, 1);

    const QImage shot = form.Grab();
    EXPECT_EQ(shot.pixel(10, 5), qRgb(0, 255, 0));   // the image lies over the printed text
    EXPECT_EQ(shot.pixel(90, 45), qRgb(0, 0, 255));  // background picture
    EXPECT_GT(InkExtent(shot.copy(20, 0, 80, 16), qRgb(0, 0, 255)).count, 0);  // printed text

    image.SetVisible(false);
    EXPECT_NE(form.Grab().pixel(10, 45), qRgb(0, 255, 0));
}

}  // namespace
