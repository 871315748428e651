// QmMenu: the look choice, measurement, template loading (including damaged
// templates), disabled images and the flat-look selection color.
#include "ui/controls/system_colors.h"
#include "ui/menu/menu_look.h"
#include "ui/menu/qm_menu.h"

#include <QPainter>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace dorvak;

namespace {

// Builds a template: header, then items given as (flags, id, text).
struct T {
    QByteArray bytes = QByteArray(4, '\0');
    T& item(quint16 flags, quint16 id, const QString& text) {
        put(flags);
        if (!(flags & 0x10)) put(id);
        for (QChar c : text)
            put(c.unicode());
        put(0);
        return *this;
    }
    void put(quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
    }
};

} // namespace

TEST(MenuLookChoice, ClassicThemeOrOlderSystemsOrPaletteDisplaysGetTheClassicLook) {
    EXPECT_EQ(chooseMenuLook(SystemKind::XP, "C:\\WINDOWS\\Resources\\Themes\\Luna.theme", false),
              MenuLook::Flat);
    EXPECT_EQ(chooseMenuLook(SystemKind::XP, "C:\\Themes\\Windows Classic.theme", false),
              MenuLook::Classic);
    EXPECT_EQ(chooseMenuLook(SystemKind::XP, "c:\\themes\\WINDOWS CLASSIC.THEME", false),
              MenuLook::Classic);
    EXPECT_EQ(chooseMenuLook(SystemKind::Win2000, "", false), MenuLook::Classic);
    EXPECT_EQ(chooseMenuLook(SystemKind::XP, "", true), MenuLook::Classic);
}

TEST(QmMenuMeasure, SeparatorsTakeHalfTheMenuBarHeightOrHalfTheImageRow) {
    for (MenuLook look : {MenuLook::Flat, MenuLook::Classic}) {
        QmMenu menu;
        menu.setLook(look);
        menu.setImageSize(QSize(16, 4));
        for (int i = 0; i < 3; ++i)
            menu.appendItem(QmMenu::Separator, 0, QString());
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(menu.measureItem(i), QSize(0, systemMenuBarHeight() / 2));
        }
        menu.setImageSize(QSize(16, 60)); // a tall image row wins
        EXPECT_EQ(menu.measureItem(0).height(), (60 + lookPadding(look)) / 2);
    }
}

TEST(QmMenuMeasure, ItemWidthFollowsTheLook) {
    QmMenu menu;
    menu.appendItem(0, 1, "&Open");
    const int text = QFontMetrics(systemMenuFont()).horizontalAdvance("Open");
    menu.setLook(MenuLook::Flat);
    EXPECT_EQ(menu.measureItem(0), QSize(text + 16 + 7 + 8, qMax(systemMenuBarHeight(), 15 + 7)));
    menu.setLook(MenuLook::Classic);
    EXPECT_EQ(menu.measureItem(0), QSize(text + 2 * 16 + 1, qMax(systemMenuBarHeight(), 15 + 4)));
}

TEST(QmMenuLoad, TheListPaneMenuResourceLoadsWithItsSubmenu) {
    QmMenu bar;
    ASSERT_TRUE(bar.load(140));
    ASSERT_EQ(bar.itemCount(), 1);
    ASSERT_NE(bar.item(0).submenu, nullptr);
    QmMenu& popup = *bar.item(0).submenu;
    EXPECT_EQ(popup.itemCount(), 15);
    EXPECT_EQ(popup.item(0).text, "&Open");
    EXPECT_EQ(popup.item(0).command, 32819);
    EXPECT_TRUE(popup.item(2).isSeparator());
    QmMenu* view = bar.findSubmenuHolding(32826);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->item(0).text, "Ico&ns     "); // the five trailing spaces survive
    EXPECT_EQ(popup.item(14).command, 32839);
    EXPECT_EQ(popup.menu()->actions().size(), 15);
}

TEST(QmMenuLoad, MissingOrDamagedTemplatesLeaveTheMenuEmpty) {
    QmMenu menu;
    EXPECT_FALSE(menu.load(9999));
    EXPECT_EQ(menu.itemCount(), 0);

    T good;
    good.item(0x10, 0, "File").item(0, 1, "One").item(0x80, 2, "Two").item(0x80, 3, "Three");
    ASSERT_TRUE(menu.loadTemplate(good.bytes));
    EXPECT_EQ(menu.itemCount(), 2);
    EXPECT_EQ(menu.item(0).submenu->itemCount(), 2);

    EXPECT_FALSE(menu.loadTemplate(good.bytes.left(good.bytes.size() - 3))); // cut text
    EXPECT_EQ(menu.itemCount(), 0);
    T noEnd;
    noEnd.item(0, 1, "One").item(0, 2, "Two"); // the last level never ends
    EXPECT_FALSE(menu.loadTemplate(noEnd.bytes));
    T deep;
    for (int i = 0; i < 100; ++i)
        deep.item(0x10, 0, "x");
    EXPECT_FALSE(menu.loadTemplate(deep.bytes));
    EXPECT_FALSE(menu.loadTemplate(QByteArray("\x01\x00\x00\x00", 4))); // unknown version
    T hugeHeader;
    hugeHeader.bytes[2] = char(0xFF);
    EXPECT_FALSE(menu.loadTemplate(hugeHeader.bytes));
    EXPECT_EQ(menu.itemCount(), 0);
}

TEST(QmMenuItems, InsertModifyRemoveAndFind) {
    QmMenu menu;
    menu.appendItem(0, 10, "Ten");
    menu.appendItem(0, 30, "Thirty");
    ASSERT_TRUE(menu.insertItem(1, 0, 20, "Twenty"));
    EXPECT_EQ(menu.item(1).command, 20);
    EXPECT_EQ(menu.menu()->actions().at(1)->text(), "Twenty");
    EXPECT_TRUE(menu.modifyItem(20, QmMenu::Grayed, "Twenty!", -1));
    EXPECT_FALSE(menu.menu()->actions().at(1)->isEnabled());
    EXPECT_TRUE(menu.setItemText(30, "Thirty!"));
    EXPECT_EQ(menu.menu()->actions().at(2)->text(), "Thirty!");
    EXPECT_TRUE(menu.removeItem(10));
    EXPECT_FALSE(menu.removeItem(10));
    EXPECT_EQ(menu.itemCount(), 2);
    EXPECT_EQ(menu.menu()->actions().size(), 2);
    EXPECT_FALSE(menu.insertItem(5, 0, 1, "x"));
}

TEST(MenuImages, DisabledImagesAreLightenedExceptButtonFacePixels) {
    QImage img(2, 1, QImage::Format_ARGB32);
    img.setPixel(0, 0, qRgb(100, 0, 200));
    img.setPixel(1, 0, qRgb(212, 208, 200));
    const QImage out = disabledMenuImage(img, QColor(212, 208, 200));
    EXPECT_EQ(QColor(out.pixel(0, 0)), QColor(146, 76, 216));
    EXPECT_EQ(QColor(out.pixel(1, 0)), QColor(212, 208, 200));
    EXPECT_EQ(lightened(QColor(10, 20, 30), 0.0), QColor(10, 20, 30));
    EXPECT_EQ(lightened(QColor(10, 20, 30), 1.5), QColor(10, 20, 30));
    EXPECT_EQ(lightened(QColor(10, 20, 30), 1.0), QColor(255, 255, 255));
}

TEST(MenuImages, LightGreyPixelsAreTransparent) {
    QmMenu menu;
    QImage img(2, 1, QImage::Format_RGB32);
    img.setPixel(0, 0, qRgb(192, 192, 192));
    img.setPixel(1, 0, qRgb(1, 2, 3));
    const int index = menu.addImage(img);
    menu.appendItem(0, 7, "Seven", index);
    // Painted over the image column, the keyed pixel shows the column.
    menu.setLook(MenuLook::Flat);
    QImage canvas(200, 30, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    menu.paintItem(p, menu.item(0).action, QRect(0, 0, 200, 30), false);
    p.end();
    const int colW = 16 + kFlatPadding;
    const QPoint at((colW - 2) / 2, (30 - 1) / 2);
    EXPECT_NE(QColor(canvas.pixel(at)), QColor(192, 192, 192));
    EXPECT_EQ(QColor(canvas.pixel(at + QPoint(1, 0))), QColor(1, 2, 3));
}

TEST(QmMenuPaint, FlatSelectionIsTheLightenedHighlightInsideAFrame) {
    QmMenu menu;
    menu.setLook(MenuLook::Flat);
    menu.appendItem(0, 1, "Item");
    QImage canvas(200, 30, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    menu.paintItem(p, menu.item(0).action, QRect(0, 0, 200, 30), true);
    p.end();
    const QColor hl = systemColor(SystemColor::Highlight);
    EXPECT_EQ(QColor(canvas.pixel(180, 15)), lightened(hl, 0.70));
    EXPECT_EQ(QColor(canvas.pixel(1, 15)), hl);
}
