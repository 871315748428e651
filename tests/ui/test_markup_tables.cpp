// Markup tables (grid, sizes, stretching, borders) and the background effects
// (bands, textures, out-of-range numbers), checked on rendered pixels.
#include <gtest/gtest.h>

#include <set>

#include "markup_test_support.h"

using namespace dorvak;
using dorvak::test::CountPixels;
using dorvak::test::Render;

namespace {

QImage effectImage(Effect effect, QSize size, QColor a, QColor b, QColor c, int granularity = 5) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    drawBackgroundEffect(p, img.rect(), effect, a, b, c, granularity);
    return img;
}

QRgb Band(int k) { // red to blue in 64 steps, truncated per channel
    return qRgb(255 + k * (0 - 255) / 64, 0, 0 + k * (255 - 0) / 64) & 0xFFFFFF;
}

} // namespace

TEST(MarkupTables, BorderTwoTwoFiftyPixelColumnsIs105Wide) {
    // Each cell: 44 + 2 x (padding 2 + cell border 1) = 50.
    MarkupRenderer r;
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize size =
        r.Prepare(&probe, "<table border=2 cellspacing=0><tr><td width=44 height=44></td><td "
                          "width=44 height=44></td></tr></table>");
    EXPECT_EQ(size, QSize(106, 55)); // 105 x 54, each plus 1
    const QSize spaced = r.Prepare(
        &probe,
        "<table border=2 cellspacing=3><tr><td width=44></td><td width=44></td></tr></table>");
    EXPECT_EQ(spaced.width(), 50 + 50 + 3 * 3 + 1 + 4 + 1);
    const QSize doubled =
        r.Prepare(&probe, "<table border=5 borderstyle=double><tr><td width=44></td></tr></table>");
    EXPECT_EQ(doubled.width(), 50 + 6 + 1);
}

TEST(MarkupTables, SpansShareTheirShortfall) {
    MarkupRenderer r;
    QImage probe(1, 1, QImage::Format_RGB32);
    // A wide spanning cell over two narrow columns widens both equally.
    const QSize size =
        r.Prepare(&probe, "<table cellpadding=0><tr><td colspan=2 width=101></td></tr><tr><td "
                          "width=10></td><td width=10></td></tr></table>");
    EXPECT_EQ(size.width(), 50 + 1 + 50 + 1); // columns of 10 grow by 40 each; one gap; plus 1
    const QSize rows =
        r.Prepare(&probe, "<table cellpadding=0><tr><td rowspan=2 height=61></td><td "
                          "height=10></td></tr><tr><td height=10></td></tr></table>");
    EXPECT_EQ(rows.height(), 30 + 1 + 30 + 1);
    // A cell covered by a row span is skipped when placing the next one.
    const QSize grid = r.Prepare(&probe, "<table cellpadding=0><tr><td rowspan=2 width=10></td><td "
                                         "width=20></td></tr><tr><td width=30></td></tr></table>");
    EXPECT_EQ(grid.width(), 10 + 30 + 1 + 1);
}

TEST(MarkupTables, NarrowTableStretchesItsFreeColumns) {
    MarkupRenderer r;
    const QImage img = Render(r,
                              "<table cellpadding=0><tr><td width=20 bgcolor=red></td><td "
                              "bgcolor=blue>x</td></tr></table>",
                              QSize(300, 30));
    // The fixed red column keeps its width, the free blue one takes the rest.
    EXPECT_EQ(CountPixels(img, 0xFF0000, QRect(0, 2, 300, 1)), 20);
    EXPECT_EQ(img.pixel(299 - 1, 2) & 0xFFFFFF, 0x0000FFu);
    // All columns fixed: the table is placed by its alignment instead.
    MarkupRenderer fixed;
    const QImage centred = Render(fixed,
                                  "<table align=center cellpadding=0><tr><td width=100 height=10 "
                                  "bgcolor=red></td></tr></table>",
                                  QSize(300, 30));
    EXPECT_EQ(centred.pixel(99, 5) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(centred.pixel(100, 5) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(centred.pixel(199, 5) & 0xFFFFFF, 0xFF0000u);
}

TEST(MarkupTables, TableRaisedCellsSunken) {
    const QImage img =
        Render("<table border=1 bordercolorlight=#ff0000 bordercolordark=#0000ff cellspacing=2>"
               "<tr><td width=20 height=20></td></tr></table>");
    // Table: light on the left and top, dark on the right and bottom.
    EXPECT_EQ(img.pixel(0, 10) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(10, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(img.width() - 2, 10) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(img.pixel(10, img.height() - 2) & 0xFFFFFF, 0x0000FFu);
    // Cell (starting inside border 1 + spacing 2): dark on the left and top.
    EXPECT_EQ(img.pixel(3, 10) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(img.pixel(10, 3) & 0xFFFFFF, 0x0000FFu);
    const int cellRight = 3 + 26 - 1, cellBottom = 3 + 26 - 1;
    EXPECT_EQ(img.pixel(cellRight, 10) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(10, cellBottom) & 0xFFFFFF, 0xFF0000u);
}

TEST(MarkupTables, CellContentAlignsAndNests) {
    // Middle-aligned content sits in the vertical centre of a taller cell.
    const QImage img = Render("<table cellpadding=0><tr><td height=40 valign=middle><hr width=10 "
                              "color=red size=2></td></tr></table>");
    int top = -1;
    for (int y = 0; y < img.height() && top < 0; ++y)
        if ((img.pixel(3, y) & 0xFFFFFF) == 0xFF0000) top = y;
    EXPECT_GE(top, 15);
    EXPECT_LE(top, 25);
    // A nested table draws inside its cell.
    const QImage nested =
        Render("<table cellpadding=4><tr><td><table cellpadding=0><tr><td width=10 height=10 "
               "bgcolor=lime></td></tr></table></td></tr></table>");
    EXPECT_EQ(CountPixels(nested, 0x00FF00), 100);
}

TEST(MarkupEffects, SixtyFourBandsRedToBlue) {
    const QImage cell = Render("<table cellpadding=0><tr><td width=128 height=4 bgcolor=red "
                               "bgeffect=hgradient bgendcolor=blue></td></tr></table>");
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(cell.pixel(2 * k, 1) & 0xFFFFFF, Band(k)) << k;
        EXPECT_EQ(cell.pixel(2 * k + 1, 1) & 0xFFFFFF, Band(k)) << k;
    }
    // Vertical, centred and three-color gradients.
    const QImage v = effectImage(Effect::VGradient, QSize(4, 64), Qt::red, Qt::green, Qt::blue);
    EXPECT_EQ(v.pixel(0, 0) & 0xFFFFFF, Band(0));
    EXPECT_EQ(v.pixel(0, 63) & 0xFFFFFF, Band(63));
    const QImage hc = effectImage(Effect::HCGradient, QSize(128, 2), Qt::red, Qt::green, Qt::blue);
    EXPECT_EQ(hc.pixel(0, 0) & 0xFFFFFF, Band(0));
    EXPECT_EQ(hc.pixel(63, 0) & 0xFFFFFF, Band(63));
    EXPECT_EQ(hc.pixel(64, 0) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF); // end color runs back
    EXPECT_EQ(hc.pixel(127, 0) & 0xFFFFFF, qRgb(251, 0, 4) & 0xFFFFFF);
    const QImage three =
        effectImage(Effect::ThreeHGradient, QSize(128, 2), Qt::red, Qt::green, Qt::blue);
    EXPECT_EQ(three.pixel(64, 0) & 0xFFFFFF, 0x00FF00u);
    // Fewer pixels than bands: empty bands are skipped, every pixel gets a
    // band of its own and red still falls from left to right.
    const QImage small = effectImage(Effect::HGradient, QSize(10, 1), Qt::red, Qt::green, Qt::blue);
    std::set<QRgb> colors;
    for (int x = 0; x < 10; ++x) {
        colors.insert(small.pixel(x, 0));
        if (x > 0) {
            EXPECT_LT(qRed(small.pixel(x, 0)), qRed(small.pixel(x - 1, 0)));
        }
    }
    EXPECT_EQ(colors.size(), 10u);
}

TEST(MarkupEffects, OutOfRangeNumbersAndNames) {
    const QImage solid = effectImage(Effect(99), QSize(8, 8), Qt::red, Qt::green, Qt::blue);
    EXPECT_EQ(CountPixels(solid, 0xFF0000), 64);
    const QImage none = effectImage(Effect(-5), QSize(8, 8), Qt::red, Qt::green, Qt::blue);
    EXPECT_EQ(CountPixels(none, 0xFFFFFF), 64);
    EXPECT_EQ(CountPixels(Render("<table cellpadding=0><tr><td width=8 height=8 bgcolor=red "
                                 "bgeffect=99></td></tr></table>"),
                          0xFF0000),
              64);
    EXPECT_EQ(CountPixels(Render("<table cellpadding=0><tr><td width=8 height=8 bgcolor=red "
                                 "bgeffect=-5></td></tr></table>"),
                          0xFF0000),
              0);
    EXPECT_EQ(parseBackgroundEffect("metal", Effect::Transparent), Effect::Metal);
    EXPECT_EQ(parseBackgroundEffect("3vgradient", Effect::Transparent), Effect::ThreeVGradient);
    EXPECT_EQ(parseBackgroundEffect("", Effect::VCGradient), Effect::VCGradient);
    EXPECT_EQ(parseBackgroundEffect("12", Effect::Transparent), Effect::VBump);
}

TEST(MarkupEffects, TexturesStayInTheirNoiseRange) {
    // Palette: entry 0 the end color, 128 the middle, 255 the start color.
    const QColor start(255, 0, 0), middle(0, 255, 0), end(0, 0, 255);
    const QImage noise = renderTexture(QSize(64, 64), Effect::Noise, start, middle, end, 5);
    ASSERT_EQ(noise.format(), QImage::Format_Indexed8);
    int lo = 255, hi = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            lo = std::min(lo, noise.pixelIndex(x, y)), hi = std::max(hi, noise.pixelIndex(x, y));
    EXPECT_GE(lo, 123);
    EXPECT_LE(hi, 133);
    EXPECT_LT(lo, hi); // there is noise
    EXPECT_EQ(noise.color(0) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(noise.color(128) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(noise.color(255) & 0xFFFFFF, 0xFF0000u);
    // Without granularity the shades have no noise: hshade climbs from the end
    // color at the top to the start color at the bottom, vshade falls left to right.
    const QImage shade = renderTexture(QSize(4, 256), Effect::HShade, start, middle, end, 0);
    EXPECT_EQ(shade.pixelIndex(0, 0), 0);
    EXPECT_GE(shade.pixelIndex(0, 255), 254);
    for (int y = 1; y < 256; ++y)
        ASSERT_GE(shade.pixelIndex(0, y), shade.pixelIndex(0, y - 1));
    const QImage vshade = renderTexture(QSize(256, 4), Effect::VShade, start, middle, end, 0);
    EXPECT_EQ(vshade.pixelIndex(0, 0), 255);
    EXPECT_LE(vshade.pixelIndex(255, 0), 1);
    for (int x = 1; x < 256; ++x)
        ASSERT_LE(vshade.pixelIndex(x, 0), vshade.pixelIndex(x - 1, 0));
    // Every texture fills its whole rectangle within the palette.
    for (int effect = int(Effect::Noise); effect <= int(Effect::Metal); ++effect) {
        const QImage t = effectImage(Effect(effect), QSize(50, 30), start, middle, end);
        EXPECT_EQ(CountPixels(t, 0xFFFFFF), 0) << effect;
    }
}

TEST(MarkupEffects, FramesInTheirStyles) {
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    drawFrame(p, QRect(0, 0, 20, 20), Qt::red, Qt::blue, BorderStyle::Solid, 2);
    drawFrame(p, QRect(5, 5, 10, 10), Qt::red, Qt::blue, BorderStyle::None, 3);
    drawFrame(p, QRect(5, 5, 10, 10), Qt::red, Qt::blue, BorderStyle::Solid, 0);
    p.end();
    EXPECT_EQ(img.pixel(1, 10) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(18, 10) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(img.pixel(2, 10) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(CountPixels(img, 0xFFFFFF, QRect(2, 2, 16, 16)), 256);

    QImage dbl(20, 20, QImage::Format_RGB32);
    dbl.fill(Qt::white);
    QPainter q(&dbl);
    drawFrame(q, QRect(0, 0, 20, 20), Qt::red, Qt::blue, BorderStyle::Double, 1);
    q.end();
    EXPECT_EQ(dbl.pixel(0, 10) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(dbl.pixel(1, 10) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(dbl.pixel(2, 10) & 0xFFFFFF, 0xFF0000u); // the second frame, 2 x width inside
    EXPECT_EQ(dbl.pixel(17, 10) & 0xFFFFFF, 0x0000FFu);
}
