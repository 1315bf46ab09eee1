// Text the window prints: outlined lines, the "Box Code: " line, channel titles with their
// shadow, the status line and value texts wider than their box.
#include <QImage>
#include <cmath>

#include "skin/design.h"
#include "window_fixture.h"

namespace window_test {
namespace {

constexpr forms::OleColor kOutline = 0x8888AA;
constexpr forms::OleColor kWhite = 0xFFFFFF;

// A drawing surface that records every Print.
class RecordingSurface : public forms::Surface {
public:
    std::vector<PrintCall> prints;

protected:
    QImage* PrintTarget() override { return &m_image; }
    void PrintTargetChanged() override {
        prints.push_back(PrintCall{CurrentX(), CurrentY(), ForeColor(), FontItalic()});
    }

private:
    QImage m_image{200, 40, QImage::Format_RGB32};
};

// Columns [left, right] of a picture band that differ from the given colour.
std::pair<int, int> InkColumns(const QImage& image, QRgb back, int top, int bottom, int xBegin,
                               int xEnd) {
    int left = -1, right = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = xBegin; x < xEnd; ++x) {
            if (image.pixel(x, y) == back) continue;
            if (left < 0 || x < left) left = x;
            right = std::max(right, x);
        }
    }
    return {left, right};
}

// Checks the ten passes of an outlined text at (x, y): a 3 x 3 outline, then white on top,
// all upright.
void ExpectOutlined(const std::vector<PrintCall>& prints, std::size_t first, double x, double y) {
    ASSERT_GE(prints.size(), first + 10);
    std::size_t k = first;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy, ++k) {
            EXPECT_EQ(prints[k].x, x + dx) << k;
            EXPECT_EQ(prints[k].y, y + dy) << k;
            EXPECT_EQ(prints[k].color, kOutline) << k;
            EXPECT_FALSE(prints[k].italic) << k;
        }
    }
    EXPECT_EQ(prints[k].x, x);
    EXPECT_EQ(prints[k].y, y);
    EXPECT_EQ(prints[k].color, kWhite);
    EXPECT_FALSE(prints[k].italic);
}

TEST(PrintOutlined, NineOutlinePassesThenWhiteUprightAndItalicRestored) {
    RecordingSurface surface;
    forms::Font font;
    font.italic = true;
    surface.SetFont(font);
    dravik::MainWindow::PrintOutlined(surface, "Connecting...", 10, 5);
    ASSERT_EQ(surface.prints.size(), 10u);
    ExpectOutlined(surface.prints, 0, 10, 5);
    EXPECT_TRUE(surface.FontItalic());
    EXPECT_EQ(surface.ForeColor(), kWhite);
}

TEST_F(WindowTest, BoxCodeLineIsOutlinedUprightOnImage1AndALongOneEndsInsideTheWindow) {
    window.SetPicture(QImage());
    window.prints.clear();
    window.Refresh();
    // Six titles with their shadows, then the outlined line.
    ASSERT_EQ(window.prints.size(), 12u + 10u);
    const PrintCall& line = window.prints.back();
    EXPECT_EQ(line.x, window.Image1->Left());
    const double height = window.TextHeight("");
    EXPECT_LE(std::abs(line.y + height / 2 - (window.Image1->Top() + window.Image1->Height() / 2)),
              0.5);
    ExpectOutlined(window.prints, 12, line.x, line.y);
    EXPECT_TRUE(window.FontItalic());

    // Nothing follows the label: the ink ends where "Box Code:" does (plus the outline).
    window.SetFontItalic(false);
    const double labelWidth = window.TextWidth("Box Code:");
    window.SetFontItalic(true);
    const QRgb back = forms::ToQColor(window.BackColor()).rgb();
    auto [left, right] = InkColumns(window.Grab(), back, 0, 36, 300, 800);
    EXPECT_NEAR(left, line.x, 2);
    EXPECT_NEAR(right, line.x + labelWidth, 3);

    window.ecu = "4B0906018CE";
    window.Refresh();
    auto [left2, right2] = InkColumns(window.Grab(), back, 0, 36, 300, 800);
    EXPECT_GT(right2, right + 50);

    // A long one is cut at the end of its strip (plus the outline), using the room up to there.
    window.ecu = "0261207772 1037366536 038906019FP  1.9l R4 EDC G000SG  5437";
    window.Refresh();
    auto [left3, right3] = InkColumns(window.Grab(), back, 0, 36, 300, 800);
    EXPECT_NEAR(left3, window.Image1->Left(), 2);
    EXPECT_LE(right3, dravik::skin::kBoxCodeRight + 1);
    EXPECT_GT(right3, dravik::skin::kBoxCodeRight - 20);
}

// The six titles of a page just painted: italic, with their shadow, top-aligned with their
// anchors and centred on them.
void ExpectTitles(const TestWindow& window, int pageOffset) {
    ASSERT_GE(window.prints.size(), 12u);
    for (int row = 0; row < 6; ++row) {
        const PrintCall& shadow = window.prints[static_cast<std::size_t>(2 * row)];
        const PrintCall& title = window.prints[static_cast<std::size_t>(2 * row + 1)];
        const forms::Image& anchor = window.imgTitles(row);
        EXPECT_EQ(shadow.color, 0x404040u);
        EXPECT_EQ(title.color, 0xB0B0B0u);
        EXPECT_EQ(shadow.x, title.x + 2);
        EXPECT_EQ(shadow.y, title.y + 2);
        EXPECT_TRUE(title.italic && shadow.italic);
        EXPECT_EQ(title.y, anchor.Top());
        const double width =
            window.TextWidth(dravik::ChannelName(static_cast<std::int16_t>(pageOffset + row)));
        EXPECT_LE(std::abs(title.x + width / 2 - (anchor.Left() + anchor.Width() / 2)), 1.0)
            << pageOffset + row;
    }
}

TEST_F(WindowTest, TitlesAreItalicWithAShadowAndCentredEvenWhenWiderThanTheirAnchor) {
    window.prints.clear();
    window.Refresh();
    ExpectTitles(window, 0);
    // The other page paints its own titles.
    window.btnAdvancedFuel_Click();
    window.prints.clear();
    window.Refresh();
    ExpectTitles(window, 6);
    window.btnBaseWindow_Click();

    // Wider than the 208-pixel anchor: the left edge lies left of it by half the excess,
    // rounded half to even.
    const std::string wide(30, 'W');
    const double width = std::nearbyint(window.TextWidth(wide));
    ASSERT_GT(width, 208);
    window.prints.clear();
    window.DrawChannelTitle(0, wide);
    ASSERT_EQ(window.prints.size(), 2u);
    EXPECT_EQ(window.prints[1].x, std::nearbyint(287 - (width - 208) / 2));
}

TEST_F(WindowTest, StatusLineIsUprightWhateverTheFontOfItsBox) {
    window.SetStatus("Lost communication with ECU");
    const QImage upright = window.lblStatus->Canvas().copy();
    window.lblStatus->SetFontItalic(true);
    window.SetStatus("Lost communication with ECU");
    EXPECT_EQ(window.lblStatus->Canvas(), upright);
    EXPECT_TRUE(window.lblStatus->FontItalic());
    // The outlined line begins at x = 1 (its outline one pixel further left).
    const QRgb back = forms::ToQColor(window.lblStatus->BackColor()).rgb();
    auto [left, right] = InkColumns(upright, back, 0, upright.height(), 0, upright.width());
    EXPECT_LE(left, 2);
    EXPECT_LT(right, upright.width() - 1);
}

TEST_F(WindowTest, ValueTextWiderThanItsBoxIsCutOffAtBothSides) {
    // Em dashes join into one unbroken line.
    std::string dashes;
    for (int i = 0; i < 12; ++i) dashes += "\u2014";
    window.DrawValueText(0, dashes);
    const QImage& canvas = window.lblValues(0).Canvas();
    const QRgb back = forms::ToQColor(window.lblValues(0).BackColor()).rgb();
    auto [left, right] = InkColumns(canvas, back, 0, canvas.height(), 0, canvas.width());
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, canvas.width() - 1);
    // Even a text far wider than any screen is drawn without an error.
    EXPECT_NO_THROW(window.DrawValueText(0, std::string(6000, '8')));
}

}  // namespace
}  // namespace window_test
