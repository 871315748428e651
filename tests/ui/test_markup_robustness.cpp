// Hostile and random markup: nothing may crash, hang or grow without bound,
// and the main window's help texts measure and draw sensibly.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "markup_test_support.h"

using namespace dorvak;
using dorvak::test::CountNonWhite;

namespace {

const char kScanHelp[] = "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% "
                         "height=200% speed=1></td><td><h3>\r\n"
                         "<h3>Scan Control</h3><br><hr color=green><br><font color=black size=10pt "
                         ">Here select the disk area to scan. "
                         "Don't change <br></font><font color=black size=10pt >if you want to scan "
                         "the whole disk.</td></tr></table>";

const char* const kSeeds[] = {
    kScanHelp,
    "<b>bold <i>it<u>al</u></i></b> <font face=Arial size=5 color=#00ff00 style=bi-u+o "
    "bkgnd=yellow>x</font>",
    "<table border=2 cellpadding=3 bgeffect=metal bgcolor=red><tr><td rowspan=2 "
    "colspan=3>a</td><td>b</td></tr>"
    "<tr><td><table border=1><tr><td>nested</td></tr></table></td></tr></table>",
    "<a href=x>link</a> <a msg=y><ilst cx=8 speed=1></a> <hr "
    "width=50%><br=3><t=4><center>c</center>",
    "<justify>aaa bbb-ccc,ddd eee.fff</justify><string idres=5><bmp file=/nonexistent.png "
    "style=gs>",
};

// Draws into a small image so the test does not depend on what fits.
void Exercise(MarkupRenderer& r, const QByteArray& text) {
    QImage image(160, 120, QImage::Format_ARGB32_Premultiplied);
    const QSize size = r.Prepare(&image, text);
    ASSERT_GE(size.width(), 0);
    ASSERT_GE(size.height(), 0);
    QPainter p(&image);
    r.Draw(p, image.rect());
    p.end();
    r.OnMouseMove(QPoint(5, 5));
    r.AdvanceAnimations();
}

} // namespace

TEST(MarkupRobustness, RandomBytesAndMutationsNeverFail) {
    std::mt19937 rng(20240611);
    MarkupRenderer wrapped, plain;
    wrapped.SetWrapWidth(37);
    for (int i = 0; i < 3000; ++i) {
        QByteArray text;
        if (i % 3 == 0) {
            const int n = static_cast<int>(rng() % 300);
            for (int k = 0; k < n; ++k)
                text.append(static_cast<char>(rng() % 256));
        } else {
            // Mutate a valid text: flip, insert markup pieces, cut.
            text = kSeeds[rng() % std::size(kSeeds)];
            static const char* const kPieces[] = {"<",
                                                  ">",
                                                  "<<",
                                                  "</",
                                                  "<table>",
                                                  "<tr>",
                                                  "<td colspan=99999>",
                                                  "</table>",
                                                  "<br=999999999>",
                                                  "<t=-5>",
                                                  "=",
                                                  "\"",
                                                  "'",
                                                  "&amp;",
                                                  "<font size=99999>",
                                                  "<bmp width=999999 height=99999%>",
                                                  "%",
                                                  "<hr width=999999% size=-9>",
                                                  "<b><b><b>",
                                                  "\n\t\r",
                                                  "<i"};
            const int edits = 1 + static_cast<int>(rng() % 6);
            for (int e = 0; e < edits && !text.isEmpty(); ++e) {
                const qsizetype at = rng() % text.size();
                switch (rng() % 3) {
                case 0:
                    text[at] = static_cast<char>(rng() % 256);
                    break;
                case 1:
                    text.insert(at, kPieces[rng() % std::size(kPieces)]);
                    break;
                default:
                    text.truncate(at);
                    break;
                }
            }
        }
        Exercise(i % 2 ? wrapped : plain, text);
        if (HasFatalFailure()) return;
    }
}

TEST(MarkupRobustness, HostileCountsAreClamped) {
    MarkupRenderer r;
    QImage probe(1, 1, QImage::Format_RGB32);
    const QSize one = r.Prepare(&probe, "x");
    // <br=N> breaks at most 100 lines at once.
    const QSize breaks = r.Prepare(&probe, "x<br=2000000000>x");
    EXPECT_EQ(breaks.height() - 1, 101 * (one.height() - 1));
    // Deep nesting of styles stops pushing but still shows the text.
    QByteArray deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<font size=+1>";
    EXPECT_GT(r.Prepare(&probe, deep + "x").width(), 1);
    // Huge images and spans are cut to their limits.
    EXPECT_EQ(r.Prepare(&probe, "<hr width=99999999 size=99999999>").height(), 1000 + 8 + 1);
    QByteArray wide = "<table cellpadding=0><tr>";
    for (int i = 0; i < 400; ++i)
        wide += "<td colspan=1000 width=1></td>";
    const QSize table = r.Prepare(&probe, wide + "</tr></table>");
    EXPECT_LE(table.width(), 256 * 2 + 2);
    // A table tag never closed still lays out.
    EXPECT_GT(r.Prepare(&probe, "<table><tr><td>open").width(), 1);
}

// How the time grows with the text is bench/markup's to measure; here long
// texts, and one long unbreakable run, must lay out whole.
TEST(MarkupRobustness, LongTextsLayOutWhole) {
    QByteArray unit = "Some <b>bold</b> and <i>italic</i> words, a <font color=red>red</font> one; "
                      "more text here.<br>";
    QByteArray small, large;
    while (small.size() < 25 * 1024)
        small += unit;
    while (large.size() < 100 * 1024)
        large += unit;
    MarkupRenderer r;
    r.SetWrapWidth(300);
    QImage probe(1, 1, QImage::Format_RGB32);
    const int smallHeight = r.Prepare(&probe, small).height();
    const int largeHeight = r.Prepare(&probe, large).height();
    // Four times the lines, four times the height (within a line or two).
    EXPECT_NEAR(double(largeHeight) / smallHeight, 4.0, 0.1);
    const QByteArray run(100 * 1024, 'w');
    r.Prepare(&probe, run);
    EXPECT_GT(r.Lines().size(), 100u);
}

TEST(MarkupRobustness, HelpButtonTextLaysOutAsTwoCells) {
    MarkupRenderer r;
    const QImage img = dorvak::test::Render(r, kScanHelp);
    // Heading, rule and two text lines; the strip resource may be absent.
    EXPECT_GT(img.width(), 250);
    EXPECT_LT(img.width(), 500);
    EXPECT_GT(img.height(), 40);
    EXPECT_LT(img.height(), 120);
    EXPECT_GT(CountNonWhite(img), 500);
    EXPECT_GT(dorvak::test::CountPixels(img, 0x008000), 100); // the green rule
    ASSERT_EQ(r.Animations().size(), 1u); // the strip is animated even if absent
}

TEST(MarkupRobustness, DrawStaysWithinTheMeasuredHeight) {
    // If the draw pass broke lines differently from the measure pass, text
    // would spill below the measured height.
    const char* const texts[] = {
        "<justify>aaaa bbbbbbb cc ddddddddd eee ffffffffffff gg hhhhhhhh <b>iii</b> jj kkkkk llll "
        "mm nnnnnnn</justify>",
        "<center>one<t>two three<t>four five six seven</center> eight nine ten eleven twelve",
        "abc <hr width=30%> def ghi jkl mno pqr stu vwx yz abc def ghi",
        "<right>words <bmp handle=999> and more words <font size=6>bigger</font> small again "
        "here</right>",
        kSeeds[0],
        kSeeds[1],
        kSeeds[3],
        kSeeds[4],
    };
    for (const char* text : texts) {
        for (int wrap : {40, 90, 150, 230}) {
            MarkupRenderer r;
            r.SetWrapWidth(wrap);
            QImage probe(1, 1, QImage::Format_RGB32);
            const QSize size = r.Prepare(&probe, text);
            QImage img(size.width(), size.height() + 60, QImage::Format_RGB32);
            img.fill(Qt::white);
            QPainter p(&img);
            r.Draw(p, QRect(QPoint(0, 0), size));
            p.end();
            int spill = 0;
            for (int y = size.height() + 2; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    spill += (img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
            EXPECT_EQ(spill, 0) << text << " wrap " << wrap;
        }
    }
}
