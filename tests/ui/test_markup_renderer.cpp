// Drawing of styled text, breaks, wrapping, rules, images, animations, links
// and the disabled look, checked on the pixels and sizes of rendered QImages.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "markup_test_support.h"
#include "ui/markup/markup_fonts.h"

using namespace dorvak;
using dorvak::test::CountNonWhite;
using dorvak::test::CountPixels;
using dorvak::test::Render;

namespace {

// A strip of `frames` 8x8 cells in distinct colors, magenta in the corners.
QImage MakeStrip(int frames) {
    static const QRgb kColors[] = {qRgb(255, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 255),
                                   qRgb(0, 0, 0)};
    QImage strip(8 * frames, 8, QImage::Format_RGB32);
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                strip.setPixel(f * 8 + x, y,
                               (x == 0 && y == 0) ? qRgb(255, 0, 255) : kColors[f % 4]);
    return strip;
}

QSize Measure(const QByteArray& markup, int wrap = 0) {
    MarkupRenderer r;
    r.SetWrapWidth(wrap);
    QImage probe(1, 1, QImage::Format_RGB32);
    return r.Prepare(&probe, markup);
}

} // namespace

TEST(MarkupRender, EmptyAndInvisibleTextsMeasureZero) {
    EXPECT_EQ(Measure(""), QSize(0, 0));
    EXPECT_EQ(Measure("<b></b><unknown>"), QSize(0, 0));
    MarkupRenderer r;
    QImage probe(1, 1, QImage::Format_RGB32);
    r.Prepare(&probe, "<bmp idres=999999>"); // a missing image takes no room
    EXPECT_TRUE(r.preparedText().isEmpty());
    const QSize one = Measure("x");
    EXPECT_GT(one.width(), 1);
    EXPECT_EQ(Measure("x<bmp idres=999999><string idres=999999>"), one);
}

TEST(MarkupRender, StyleTogglesAndClosingRule) {
    // Italic toggles, so italic in italic draws upright.
    EXPECT_EQ(Render("<i><i>Slant</i></i>"), Render("Slant"));
    EXPECT_NE(Render("<i>Slant</i>"), Render("Slant"));
    // Bold doubles the weight up to 900: bold in bold is weight 900.
    EXPECT_EQ(Render("<b><b>Heavy</b></b>"), Render("<font weight=900>Heavy</font>"));
    EXPECT_NE(Render("<b>Heavy</b>"), Render("Heavy"));
    // A closing em closes an open i; a stray closing b changes nothing.
    EXPECT_EQ(Render("<i>a</em>b"), Render("<i>a</i>b"));
    EXPECT_EQ(Render("<i>a</b>b</i>"), Render("<i>a<u></u>b</i>"));
    // An unclosed tag stays in force to the end.
    EXPECT_EQ(Render("<u>ab"), Render("<u>ab</u>"));
}

TEST(MarkupRender, FontSizesOnTheOneToSevenScale) {
    EXPECT_EQ(Render("<font size=3>Size</font>"), Render("<font size=12px>Size</font>"));
    EXPECT_EQ(Render("<font size=+3>Size</font>"), Render("<font size=12px>Size</font>"));
    EXPECT_EQ(Render("<font size=10pt>Size</font>"), Render("<font size=13px>Size</font>"));
    EXPECT_EQ(Render("<font size=7>Size</font>"), Render("<font size=36px>Size</font>"));
    EXPECT_LT(Measure("<font size=1>Size</font>").height(),
              Measure("<font size=7>Size</font>").height());
}

TEST(MarkupRender, ColorsOfRulesAndText) {
    struct Case {
        const char* color;
        QRgb expect;
    } cases[] = {
        {"#ff0000", 0xFF0000}, {"255", 0xFF0000}, {"0xff00", 0x00FF00},
        {"lime", 0x00FF00},    {"Red", 0x000000},
    };
    for (const Case& c : cases) {
        const QImage img = Render("<hr width=40 size=4 color=" + QByteArray(c.color) + ">");
        EXPECT_EQ(CountPixels(img, c.expect), 160) << c.color;
    }
    const QImage text = Render("<font color=#0000ff size=30px>MW</font>");
    EXPECT_GT(CountPixels(text, 0x0000FF), 50);
    EXPECT_EQ(CountPixels(text, 0x000000), 0);
}

TEST(MarkupRender, BreaksTabsAndLineRecords) {
    MarkupRenderer r;
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize one = r.Prepare(&probe, "x");
    const QSize three = r.Prepare(&probe, "x<br=2>x");
    ASSERT_EQ(r.Lines().size(), 2u); // one record per break, y advances twice
    EXPECT_EQ(three.height() - 1, 3 * (one.height() - 1));
    r.Prepare(&probe, "x\ny"); // a line feed is a break
    EXPECT_EQ(r.Lines().size(), 2u);
    r.SetNewlineAsBreak(false);
    r.Prepare(&probe, "x\ny");
    EXPECT_EQ(r.Lines().size(), 1u);

    EXPECT_EQ(Measure("<t>").width(), 33); // next multiple of 32, plus 1
    EXPECT_EQ(Measure("<t=3>").width(), 97);
    EXPECT_EQ(Measure("x<t>").width(), 33);
    MarkupRenderer tabs;
    tabs.SetTabSize(50);
    EXPECT_EQ(tabs.Prepare(&probe, "<t><t>"), QSize(101, one.height()));
}

TEST(MarkupRender, WordWrapAfterHyphenAndBetweenCharacters) {
    const QByteArray font = "<font size=30px>";
    const int whole = Measure(font + "abcd-efgh").width() - 1;
    const int head = Measure(font + "abcd").width() - 1;
    const int headHyphen = Measure(font + "abcd-").width() - 1;
    ASSERT_GT(whole, 100);
    ASSERT_LE(head, 100);
    MarkupRenderer r;
    r.SetWrapWidth(100);
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize size = r.Prepare(&probe, font + "abcd-efgh");
    ASSERT_EQ(r.Lines().size(), 2u);
    EXPECT_EQ(r.Lines()[0].width, headHyphen); // the hyphen stays on the first line
    EXPECT_TRUE(r.Lines()[0].wrapped);
    EXPECT_EQ(r.Lines()[1].width, Measure(font + "efgh").width() - 1);
    EXPECT_LE(size.width(), 101);

    // Spaces at the break vanish from both lines.
    r.Prepare(&probe, font + "abcd efgh");
    ASSERT_EQ(r.Lines().size(), 2u);
    EXPECT_EQ(r.Lines()[0].width, head);

    // A word wider than the line is cut between characters, each piece fitting.
    r.SetWrapWidth(50);
    r.Prepare(&probe, font + "abcdefghijklmnop");
    ASSERT_GE(r.Lines().size(), 4u);
    for (const LineRecord& l : r.Lines()) {
        EXPECT_GT(l.width, 0);
        EXPECT_LE(l.width, 50);
    }
    // Nothing fits a 1-pixel line, yet every character still gets placed.
    r.SetWrapWidth(1);
    r.Prepare(&probe, "abc");
    EXPECT_EQ(r.Lines().size(), 3u);
}

TEST(MarkupRender, JustifiedWrappedLinesFillTheBox) {
    MarkupRenderer r;
    r.SetWrapWidth(150);
    const QImage img =
        Render(r, "<justify>aaaa bbbbbbb cc ddddddddd eee ffffffffffff gg hhhhhhhh</justify>",
               QSize(151, 200));
    ASSERT_GE(r.Lines().size(), 2u);
    // The first line ends near the right edge although its text is narrower.
    ASSERT_LT(r.Lines()[0].width, 145);
    int rightmost = 0;
    for (int y = 0; y < r.Lines()[0].height; ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) rightmost = std::max(rightmost, x);
    EXPECT_GE(rightmost, 140);
}

TEST(MarkupRender, PercentageRuleResolvesAgainstTheBox) {
    MarkupRenderer r;
    const QImage img = Render(r, "<hr width=200 color=red><br><hr width=50% color=blue>");
    EXPECT_EQ(img.width(), 201);
    EXPECT_EQ(CountPixels(img, 0x0000FF), 100);
    EXPECT_EQ(CountPixels(img, 0xFF0000), 200);
    // A line that a percentage rule makes the widest still fits its text.
    MarkupRenderer t;
    const QImage wide = Render(t, "<hr width=40 color=red><br>abc<hr width=50% color=blue>def");
    EXPECT_GE(wide.width() - 1, 2 * t.Lines()[1].width);
}

TEST(MarkupRender, AlignmentTagsPlaceLines) {
    MarkupRenderer r;
    const QImage img = Render(
        r, "<center><hr width=20 color=red></center><br><right><hr width=20 color=blue></right>",
        QSize(201, 40));
    EXPECT_EQ(img.pixel(90, r.Lines()[0].height / 2) & 0xFFFFFF, 0xFF0000u);
    int blueLeft = 1000;
    for (int x = 0; x < img.width(); ++x)
        for (int y = 0; y < img.height(); ++y)
            if ((img.pixel(x, y) & 0xFFFFFF) == 0x0000FF) blueLeft = std::min(blueLeft, x);
    EXPECT_EQ(blueLeft, 181);
}

TEST(MarkupRender, ImagesMaskStylesAndScale) {
    const int handle = MarkupRenderer::registerImageHandle(MakeStrip(1));
    const QByteArray h = QByteArray::number(handle);
    EXPECT_EQ(Measure("<bmp handle=" + h + ">"), QSize(9, 9));
    EXPECT_EQ(Measure("<bmp handle=" + h + " width=200% height=3>"), QSize(17, 4));
    const QImage plain = Render("<bmp handle=" + h + " mask>");
    EXPECT_EQ(CountPixels(plain, 0xFF0000), 63); // the magenta corner is left out
    EXPECT_EQ(CountPixels(plain, 0xFF00FF), 0);
    const QImage grey = Render("<bmp handle=" + h + " style=g>");
    EXPECT_EQ(CountPixels(grey, qRgb(76, 76, 76)), 63); // 0.299 x 255
    const QImage dark = Render("<bmp handle=" + h + " style=d>");
    EXPECT_EQ(CountPixels(dark, qRgb(191, 0, 0)), 63);
    // A drop shadow grows the box by the offsets and draws grey below-right.
    MarkupRenderer r;
    r.SetImageShadow(4, 4, 50, false, 0, 0);
    const QImage shadowed = Render(r, "<bmp handle=" + h + " style=s mask>");
    EXPECT_EQ(shadowed.size(), QSize(13, 13));
    EXPECT_EQ(shadowed.pixel(11, 11) & 0xFFFFFF, 0x7F7F7Fu);
    MarkupRenderer::releaseImageHandle(handle);
    EXPECT_EQ(Measure("<bmp handle=" + h + ">"), QSize(0, 0));
}

TEST(MarkupRender, AnimatedStripAdvancesAndWraps) {
    const int handle = MarkupRenderer::registerImageHandle(MakeStrip(3));
    MarkupRenderer r;
    const QByteArray text =
        "<ilst handle=" + QByteArray::number(handle) + " cx=8 speed=1 width=200% height=200%>";
    QImage img = Render(r, text);
    EXPECT_EQ(img.size(), QSize(17, 17));
    ASSERT_EQ(r.Animations().size(), 1u);
    EXPECT_EQ(r.Animations()[0].frameCount, 3);
    const QRgb expected[] = {0x00C800, 0x0000FF, 0xFF0000}; // frames 1, 2, then back to 0
    for (QRgb color : expected) {
        EXPECT_TRUE(r.AdvanceAnimations());
        img.fill(Qt::white);
        QPainter p(&img);
        r.Draw(p, img.rect());
        p.end();
        EXPECT_EQ(img.pixel(8, 8) & 0xFFFFFF, color);
    }
    // Slower strips change every `speed` ticks; no entries, no change.
    MarkupRenderer slow;
    Render(slow, "<ilst handle=" + QByteArray::number(handle) + " cx=8 speed=2>");
    EXPECT_FALSE(slow.AdvanceAnimations());
    EXPECT_TRUE(slow.AdvanceAnimations());
    MarkupRenderer none;
    Render(none, "text");
    EXPECT_FALSE(none.AdvanceAnimations());
    // An index past the last frame draws nothing.
    EXPECT_EQ(Measure("<ilst handle=" + QByteArray::number(handle) + " cx=8 index=3>"),
              QSize(0, 0));
    MarkupRenderer::releaseImageHandle(handle);
}

TEST(MarkupRender, HostImageListWithoutSource) {
    MarkupRenderer r;
    r.SetImageList(MakeStrip(4), 8, 8);
    const QImage img = Render(r, "<ilst index=2>");
    EXPECT_EQ(img.size(), QSize(9, 9));
    EXPECT_EQ(img.pixel(4, 4) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(Measure("<ilst index=2>"), QSize(0, 0)); // no list, nothing
}

TEST(MarkupRender, LinksHoverAndClick) {
    MarkupRenderer r;
    std::vector<std::pair<int, qintptr>> hovers;
    QByteArray message, opened;
    qintptr messageParam = 0;
    r.SetHoverNotify([&](int index, qintptr p) { hovers.emplace_back(index, p); }, 7);
    r.SetLinkNotify([&](const QByteArray& t, qintptr p) { message = t, messageParam = p; }, 42);
    r.setOpenTargetFunction([&](const QByteArray& t) {
        opened = t;
        return true;
    });
    const QImage img = Render(r, "<font size=20px>go <a msg=\"do it\">first</a> and <a "
                                 "href=http://example.invalid/x>second</a>");
    ASSERT_EQ(r.linkAreas().size(), 2u);
    const LinkArea first = r.linkAreas()[0], second = r.linkAreas()[1];
    EXPECT_EQ(first.index, 0);
    EXPECT_EQ(second.index, 1);
    EXPECT_EQ(first.kind, LinkKind::SendMessage);
    EXPECT_EQ(second.kind, LinkKind::OpenTarget);
    EXPECT_GT(CountPixels(img, 0x0000FF), 20); // a:link is blue

    EXPECT_TRUE(r.OnMouseMove(QPoint(first.left, first.top))); // edges count
    EXPECT_TRUE(r.OnMouseMove(QPoint(first.right, first.bottom)));
    EXPECT_TRUE(r.OnMouseMove(QPoint(second.left + 1, second.top + 1)));
    EXPECT_FALSE(r.OnMouseMove(QPoint(0, 0)));
    EXPECT_FALSE(r.OnMouseMove(QPoint(1, 0)));
    const std::vector<std::pair<int, qintptr>> want = {{0, 7}, {1, 7}, {-2, 7}};
    EXPECT_EQ(hovers, want);

    EXPECT_TRUE(r.OnClick(QPoint(first.left + 1, first.top + 1)));
    EXPECT_EQ(message, "do it");
    EXPECT_EQ(messageParam, 42);
    EXPECT_TRUE(r.OnClick(QPoint(second.left + 1, second.top + 1)));
    EXPECT_EQ(opened, "http://example.invalid/x");
    EXPECT_FALSE(r.OnClick(QPoint(0, 0)));

    // The hovered link takes the a:hover rule (underlined) on the next draw.
    r.OnMouseMove(QPoint(first.left + 1, first.top + 1));
    QImage hovered(img.size(), QImage::Format_RGB32);
    hovered.fill(Qt::white);
    QPainter p(&hovered);
    r.Draw(p, hovered.rect());
    p.end();
    EXPECT_GT(CountPixels(hovered, 0x0000FF), CountPixels(img, 0x0000FF));
}

TEST(MarkupRender, DisabledDrawsEverythingInTheDisabledColor) {
    MarkupRenderer r;
    r.SetEnabled(false);
    r.SetDisabledColor(QColor(0, 128, 0));
    const QImage img = Render(r, "<font color=red bkgnd=yellow>red</font> <a href=x>link</a> "
                                 "<h3>head</h3><hr color=blue size=3>"
                                 "<table border=1><tr><td>cell</td></tr></table>");
    ASSERT_GT(CountNonWhite(img), 100);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            ASSERT_EQ(qRed(p), qBlue(p)) << x << "," << y; // only blends of white and green
        }
    EXPECT_GT(CountPixels(img, 0x008000), 50);
}

TEST(MarkupRender, DisabledTablesKeepTheirBackgroundsUnderDisabledText) {
    // Grey text on a cell turned grey would vanish: the backgrounds keep
    // their colours, text and borders take the disabled one.
    const QByteArray markup = "<table cellspacing=4 border=1 bordercolor=red bgcolor=yellow><tr>"
                              "<td bgcolor=blue><font color=red size=5>cell</font></td>"
                              "</tr></table>";
    MarkupRenderer enabled;
    const QImage normal = Render(enabled, markup);
    MarkupRenderer r;
    r.SetEnabled(false);
    r.SetDisabledColor(QColor(0, 128, 0));
    const QImage img = Render(r, markup);
    ASSERT_EQ(img.size(), normal.size());
    for (QRgb background : {0xFFFF00u, 0x0000FFu}) {
        EXPECT_GT(CountPixels(img, background), 20) << std::hex << background;
        EXPECT_EQ(CountPixels(img, background), CountPixels(normal, background))
            << std::hex << background;
    }
    EXPECT_EQ(CountPixels(img, 0xFF0000), 0);
    // The text is there, in the disabled colour, on the blue cell.
    EXPECT_GT(CountPixels(img, 0x008000), CountPixels(normal, 0x008000) + 20);
    // Gradients keep both their colours.
    const QByteArray gradient = "<table cellpadding=0><tr><td width=64 height=6 bgeffect=hgradient "
                                "bgcolor=lime bgendcolor=blue></td></tr></table>";
    EXPECT_EQ(Render(r, gradient), Render(enabled, gradient));
}

TEST(MarkupRender, TextTransformsThroughSheetClasses) {
    MarkupRenderer r;
    r.SetStyleSheet(
        "body {font-size:16px} .up {text-transform:uppercase} .cap {text-transform:capitalize}");
    MarkupRenderer plain;
    plain.SetStyleSheet("body {font-size:16px}");
    EXPECT_EQ(Render(r, "<span class=up>abc def</span>"), Render(plain, "ABC DEF"));
    EXPECT_EQ(Render(r, "<span class=cap>abc def</span>"), Render(plain, "Abc Def"));
    EXPECT_EQ(Render(r, "<span class=nothing>abc</span>"), Render(plain, "abc"));
}

TEST(MarkupRender, FontsResolveToInstalledFaces) {
    // The packaged metric-compatible faces stand in for the Windows names.
    EXPECT_EQ(resolveFontFamily("Arial"), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(resolveFontFamily("courier"), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(resolveFontFamily("Verdana"), QStringLiteral("DejaVu Sans"));
    // Courier is monospaced: every character has the same advance.
    EXPECT_EQ(Measure("<font face=Courier>iiii</font>"), Measure("<font face=Courier>WWWW</font>"));
}
