// Source preparation, tokens, colors, lengths and the style sheet: the parts
// of the markup that are plain values, checked without drawing.
#include <gtest/gtest.h>

#include "ui/markup/markup_colors.h"
#include "ui/markup/markup_text.h"
#include "ui/markup/style_sheet.h"

using namespace dorvak;

namespace {

QString TextOf(const MarkupDocument& doc, int sequence = 0) {
    QString out;
    for (const MarkupToken& t : doc.sequences.at(sequence))
        if (t.kind == MarkupToken::Text) out += t.text;
    return out;
}

QString Shown(const char* markup) {
    return TextOf(parseMarkup(prepareMarkupSource(markup, true), 16));
}

} // namespace

TEST(MarkupSource, EntitiesAndLiteralLessThan) {
    EXPECT_EQ(Shown("a &amp;lt; b"), QStringLiteral("a < b")); // &amp; first, then &lt;
    EXPECT_EQ(Shown("a << b"), QStringLiteral("a < b"));
    EXPECT_EQ(Shown("&lt;b&gt;"), QStringLiteral("<b>")); // escaped, not a tag
    EXPECT_EQ(Shown("&copy;&reg;&trade;&bull;&nbsp;&quot;"),
              QString::fromUtf16(u"\u00A9\u00AE\u2122\u2022 \""));
    EXPECT_EQ(Shown("&euro;&pound;&para;&iquest;"),
              QString::fromUtf16(u"\u20AC\u00A3\u00B6\u00BF"));
    EXPECT_EQ(Shown("&unknown; stays"), QStringLiteral("&unknown; stays"));
}

TEST(MarkupSource, NewlinesTabsAndCarriageReturns) {
    EXPECT_EQ(prepareMarkupSource("a\r\nb\tc", true), QByteArray("a<br>b<t>c"));
    EXPECT_EQ(prepareMarkupSource("a\r\nb\tc", false), QByteArray("abc"));
}

TEST(MarkupTokens, UnmatchedAndFinalLessThan) {
    EXPECT_EQ(Shown("x < y"), QStringLiteral("x  y")); // no later ">": the "<" is dropped
    EXPECT_EQ(Shown("x <"), QStringLiteral("x <"));    // a final "<" is shown
    EXPECT_EQ(Shown("a<B>b<unknown attr=1>c</zz>d"),
              QStringLiteral("abcd")); // names are lower case
}

TEST(MarkupTokens, BreakAndTabCountsAndAttributes) {
    const MarkupDocument doc = parseMarkup(
        "<br=3><br><t=2><font color = 'dark red' size=5 face=\"Courier New\" bare>", 16);
    const auto& seq = doc.sequences[0];
    ASSERT_EQ(seq.size(), 4u);
    EXPECT_EQ(seq[0].count, 3);
    EXPECT_EQ(seq[1].count, 1);
    EXPECT_EQ(seq[2].count, 2);
    const MarkupAttributes& a = seq[3].attrs;
    ASSERT_TRUE(a.has("color") && a.has("size") && a.has("face") && a.has("bare"));
    EXPECT_EQ(*a.find("color"), "dark red");
    EXPECT_EQ(*a.find("face"), "Courier New");
    EXPECT_EQ(*a.find("size"), "5");
    EXPECT_TRUE(a.find("bare")->isEmpty());
}

TEST(MarkupTokens, TablesSplitIntoRowsAndCells) {
    const MarkupDocument doc = parseMarkup(
        "before<table border=1>\n<tr><td>a<table><tr><td>inner</td></tr></table></td><td "
        "colspan=2>b</td></tr>"
        "<tr><td>c</td></tr></table>after",
        16);
    ASSERT_EQ(doc.tables.size(), 2u);
    const MarkupTable& outer = doc.tables[0];
    ASSERT_EQ(outer.rows.size(), 2u);
    ASSERT_EQ(outer.rows[0].cells.size(), 2u);
    EXPECT_EQ(*outer.rows[0].cells[1].attrs.find("colspan"), "2");
    EXPECT_EQ(TextOf(doc, outer.rows[0].cells[0].sequence), QStringLiteral("a"));
    EXPECT_EQ(TextOf(doc, doc.tables[1].rows[0].cells[0].sequence), QStringLiteral("inner"));
    EXPECT_EQ(TextOf(doc), QStringLiteral("beforeafter")); // text between cells is not shown
}

TEST(MarkupTokens, TableNestingIsBounded) {
    QByteArray deep;
    for (int i = 0; i < 100; ++i)
        deep += "<table><tr><td>";
    const MarkupDocument doc = parseMarkup(deep + "x", 16);
    EXPECT_EQ(doc.tables.size(), 16u);
}

TEST(MarkupColors, ValuesNamesAndDisabled) {
    const ColorTable table;
    EXPECT_EQ(table.size(), 168);
    const QRgb keep = qRgb(1, 2, 3);
    auto parse = [&](const char* v) {
        return parseMarkupColor(v, keep, table, true, 0) & 0xFFFFFF;
    };
    EXPECT_EQ(parse("#ff0000"), 0xFF0000u);
    EXPECT_EQ(parse("255"), 0xFF0000u);       // 0x00BBGGRR: red in the low byte
    EXPECT_EQ(parse("0xFF0000"), 0x0000FFu);  // ... so this is blue
    EXPECT_EQ(parse("Red"), keep & 0xFFFFFF); // names are case-sensitive
    EXPECT_EQ(parse(""), keep & 0xFFFFFF);
    EXPECT_EQ(parse("#ff00"), keep & 0xFFFFFF);
    EXPECT_EQ(parse("gray"), 0x808080u);
    EXPECT_EQ(parse("darkgray"), 0xA9A9A9u);
    EXPECT_EQ(parse("lightgrey"), 0xD3D3D3u);
    EXPECT_EQ(parse("green"), 0x008000u);
    EXPECT_EQ(parse("lime"), 0x00FF00u);
    EXPECT_EQ(parse("darkblue"), 0x00008Bu);
    EXPECT_EQ(parse("gold"), 0xFFD700u);
    EXPECT_EQ(parse("orange"), 0xFFA500u);
    EXPECT_EQ(parse("lightgray"), keep & 0xFFFFFF); // only one spelling of each exists
    EXPECT_EQ(parse("darkgrey"), keep & 0xFFFFFF);
    QRgb c;
    EXPECT_TRUE(table.lookup("buttonface", &c));
    EXPECT_TRUE(table.lookup("infobackground", &c));
    EXPECT_EQ(parseMarkupColor("red", keep, table, false, qRgb(9, 9, 9)) & 0xFFFFFF, 0x090909u);
}

TEST(MarkupLengths, UnitsScaleAndPercent) {
    StyleState s;
    s.fontHeight = 20;
    StyleContext ctx;
    ctx.dpiY = 96;
    ctx.exHeight = [](const StyleState&) { return 11; };
    EXPECT_EQ(parseLength("3", 0, true, s, ctx), 12);
    EXPECT_EQ(parseLength("+3", 0, true, s, ctx), 12);
    EXPECT_EQ(parseLength("3", 0, false, s, ctx), 3);
    EXPECT_EQ(parseLength("10pt", 0, true, s, ctx), 13);
    EXPECT_EQ(parseLength("1in", 0, false, s, ctx), 96);
    EXPECT_EQ(parseLength("2em", 0, false, s, ctx), 40);
    EXPECT_EQ(parseLength("2ex", 0, false, s, ctx), 22);
    EXPECT_EQ(parseLength("1pc", 0, false, s, ctx), 16);
    EXPECT_EQ(parseLength("10mm", 0, false, s, ctx), 37);
    EXPECT_EQ(parseLength("65%", 20, true, s, ctx), 13);
    EXPECT_EQ(parseLength("0x10", 0, false, s, ctx), 16);
    EXPECT_EQ(parseLength("", 7, true, s, ctx), 7);
}

TEST(MarkupStyleSheet, BuiltInRulesAndReplacement) {
    StyleSheet sheet;
    EXPECT_EQ(sheet.size(), 17);
    ColorTable colors;
    StyleContext ctx;
    ctx.colors = &colors;
    StyleState s;
    applyStyleRule(sheet, "h3", s, ctx);
    EXPECT_EQ(s.fontHeight, 16); // 12pt at 96 dpi
    EXPECT_EQ(s.weight, 700);
    EXPECT_EQ(s.face, "arial");
    EXPECT_EQ(s.textColor & 0xFFFFFF, 0xFF9900u);
    applyStyleRule(sheet, "pre", s, ctx);
    EXPECT_EQ(s.face, "courier"); // quotes stripped
    EXPECT_EQ(s.backgroundMode, BackgroundMode::Opaque);

    sheet.load("p {color:red}\r\nP {COLOR:Blue; text-decoration: underline, "
               "overline}\r\n.x{font-style:italic}");
    EXPECT_EQ(sheet.size(), 2);
    StyleState t;
    applyStyleRule(sheet, "p", t, ctx);
    EXPECT_EQ(t.textColor & 0xFFFFFF, 0x0000FFu); // the later rule replaced the earlier one
    EXPECT_TRUE(t.underline && t.overline && !t.strikeOut);
    applyStyleRule(sheet, ".x", t, ctx);
    EXPECT_TRUE(t.italic);
    applyStyleRule(sheet, "h1", t, ctx); // gone with the built-in sheet
    EXPECT_EQ(t.weight, 400);
}

TEST(MarkupStyleSheet, BordersFollowWidthAndStyle) {
    StyleState s;
    setBorderWidth(s, 2);
    EXPECT_EQ(s.borderStyle, BorderStyle::Solid);
    setBorderWidth(s, 0);
    EXPECT_EQ(s.borderStyle, BorderStyle::None);
    setBorderStyle(s, "dashed");
    EXPECT_EQ(s.borderWidth, 1);
}
