// IconMenu: item records, measurement, states and the style-3 colors.
#include "ui/controls/system_colors.h"
#include "ui/menu/icon_menu.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace dorvak;

TEST(IconMenuItems, TextSplitsAtTheFirstTabAndLabelsAreCut) {
    IconMenu menu;
    menu.setItemWidth(150);
    menu.setItemHeight(20);
    menu.setDrawStyle(IconMenu::BitmapAndText);
    menu.appendItem(0, 32806, "&Recover Selected...\tCtrl+R\tx", 201);
    menu.appendItem(0x800, 0, QString());
    menu.appendItem(0, 32774, QString(200, 'a'), 0);
    EXPECT_EQ(menu.item(0).label, "&Recover Selected...");
    EXPECT_EQ(menu.item(0).accelerator, "Ctrl+R\tx");
    EXPECT_EQ(menu.item(0).bitmap.size(), QSize(16, 16));
    EXPECT_TRUE(menu.item(1).isSeparator());
    EXPECT_EQ(menu.item(2).label.size(), IconMenu::kMaxLabel);
    EXPECT_TRUE(menu.item(2).bitmap.isNull());
    EXPECT_EQ(menu.measureItem(0), QSize(150, 20));
    EXPECT_EQ(menu.measureItem(1).height(), 6);
    ASSERT_EQ(menu.menu()->actions().size(), 3);
    // QMenu must not see the tab, or it adds its own accelerator column.
    EXPECT_FALSE(menu.menu()->actions().at(0)->text().contains('\t'));
}

TEST(IconMenuItems, StateAnswersOwnerDrawAloneOnlyWhenEnabled) {
    IconMenu menu;
    menu.appendItem(0, 1, "One");
    EXPECT_EQ(menu.itemState(1), 0x100u);
    menu.setItemEnabled(1, false);
    EXPECT_EQ(menu.itemState(1), 0x101u);
    EXPECT_FALSE(menu.menu()->actions().at(0)->isEnabled());
    menu.setItemEnabled(1, true);
    EXPECT_EQ(menu.itemState(1), 0x100u);
    EXPECT_EQ(menu.itemState(2), 0xFFFFFFFFu);
}

TEST(IconMenuPaint, CreamTextAreaButtonFaceSquareAndSelection) {
    IconMenu menu;
    menu.setItemWidth(150);
    menu.setItemHeight(20);
    menu.setDrawStyle(IconMenu::BitmapAndText);
    menu.appendItem(0, 1, "One");
    QImage canvas(150, 20, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter p(&canvas);
        menu.paintItem(p, menu.item(0).action, QRect(0, 0, 150, 20), false);
    }
    EXPECT_EQ(QColor(canvas.pixel(140, 2)), QColor(255, 255, 240));
    EXPECT_EQ(QColor(canvas.pixel(10, 10)), systemColor(SystemColor::ButtonFace));
    {
        QPainter p(&canvas);
        menu.paintItem(p, menu.item(0).action, QRect(0, 0, 150, 20), true);
    }
    EXPECT_EQ(QColor(canvas.pixel(140, 2)), systemColor(SystemColor::Highlight));
    EXPECT_EQ(QColor(canvas.pixel(21, 2)), QColor(255, 255, 240)); // 2 px gap by the square
}
