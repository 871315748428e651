// Where images come from: files, a resource library folder (iddll, srcdll),
// table background tiles; and the link cursor on a host widget.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <QWidget>

#include "markup_test_support.h"

using namespace dorvak;
using dorvak::test::CountPixels;
using dorvak::test::Render;

namespace {

QString SaveSquare(const QString& path, QRgb color, int side) {
    QImage img(side, side, QImage::Format_RGB32);
    img.fill(color);
    EXPECT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    EXPECT_TRUE(img.save(path, "PNG"));
    return path;
}

} // namespace

TEST(MarkupResources, FilesAndLibraries) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray file = SaveSquare(dir.filePath("red.png"), qRgb(255, 0, 0), 6).toLocal8Bit();
    EXPECT_EQ(CountPixels(Render("<bmp file=\"" + file + "\">"), 0xFF0000), 36);

    // A library folder holds bitmaps/<id>.png and icons/<id>.png.
    const QString lib = dir.filePath("lib");
    SaveSquare(lib + "/bitmaps/7.png", qRgb(0, 0, 255), 5);
    SaveSquare(lib + "/icons/7.png", qRgb(0, 255, 0), 16);
    MarkupRenderer r;
    EXPECT_EQ(CountPixels(Render(r, "<bmp iddll=7>"), 0x0000FF), 0); // no library yet
    r.SetResourceLibrary(lib, false);
    EXPECT_EQ(CountPixels(Render(r, "<bmp iddll=7>"), 0x0000FF), 25);
    // Icons scale against the standard 32-pixel icon size.
    EXPECT_EQ(CountPixels(Render(r, "<icon iddll=7 width=50% height=50%>"), 0x00FF00), 256);
    // srcdll names a library for one tag.
    EXPECT_EQ(CountPixels(Render("<bmp iddll=7 srcdll=\"" + lib.toLocal8Bit() + "\">"), 0x0000FF),
              25);
    // idres wins over the other sources, and a missing program bitmap shows nothing.
    EXPECT_EQ(CountPixels(Render(r, "<bmp idres=424242 iddll=7>"), 0x0000FF), 0);
}

TEST(MarkupResources, TableBackgroundTiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage tile(2, 2, QImage::Format_RGB32);
    tile.fill(qRgb(0, 0, 255));
    tile.setPixel(0, 0, qRgb(255, 0, 0));
    const QString path = dir.filePath("tile.png");
    ASSERT_TRUE(tile.save(path, "PNG"));
    const QByteArray markup = "<table cellpadding=0 background=\"file:" + path.toLocal8Bit() +
                              "\"><tr><td width=10 height=10></td></tr></table>";
    const QImage img = Render(markup);
    EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0xFF0000u); // tiled from the top-left corner
    EXPECT_EQ(img.pixel(2, 2) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(img.pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
    // A short value is ignored; a solid effect wins over the tile.
    EXPECT_EQ(CountPixels(Render("<table cellpadding=0 background=\"f:x\"><tr><td width=10 "
                                 "height=10></td></tr></table>"),
                          0xFF0000),
              0);
    EXPECT_EQ(
        CountPixels(Render("<table cellpadding=0 bgcolor=lime background=\"file:" +
                           path.toLocal8Bit() + "\"><tr><td width=10 height=10></td></tr></table>"),
                    0xFF0000),
        0);
}

TEST(MarkupResources, LinkCursorOnTheHostWidget) {
    QWidget host;
    MarkupRenderer r;
    r.setCursorWidget(&host);
    Render(r, "<font size=20px>text <a href=x>link</a> <a href=\"\">no target</a>");
    ASSERT_EQ(r.linkAreas().size(), 2u);
    const LinkArea link = r.linkAreas()[0], bare = r.linkAreas()[1];
    EXPECT_TRUE(r.OnMouseMove(QPoint(link.left + 1, link.top + 1)));
    EXPECT_EQ(host.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(r.OnMouseMove(QPoint(bare.left + 1, bare.top + 1))); // hovered, but no target
    EXPECT_EQ(r.hoveredLink(), 1);
    EXPECT_EQ(host.cursor().shape(), Qt::ArrowCursor);
    r.SetLinkCursor(QCursor(Qt::CrossCursor));
    r.OnMouseMove(QPoint(link.left + 1, link.top + 1));
    EXPECT_EQ(host.cursor().shape(), Qt::CrossCursor);
    r.SetLinkCursor(std::nullopt);
    EXPECT_EQ(r.linkCursor().shape(), Qt::PointingHandCursor);
}
