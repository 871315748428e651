// QMenu lays the owner-drawn items out with the owner's measurements, and a
// shown menu paints through the owner.
#include "ui/menu/icon_menu.h"
#include "ui/menu/qm_menu.h"

#include <QApplication>
#include <gtest/gtest.h>

using namespace dorvak;

TEST(OwnerDrawnMenu, ItemRectanglesUseTheOwnersHeights) {
    QmMenu menu;
    menu.setLook(MenuLook::Flat);
    menu.setImageSize(QSize(16, 40));
    menu.appendItem(0, 1, "Tall item");
    menu.appendItem(QmMenu::Separator, 0, QString());
    menu.appendItem(0, 2, "Another\tCtrl+A");
    menu.menu()->adjustSize();
    const QList<QAction*> actions = menu.menu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(menu.menu()->actionGeometry(actions[0]).height(), menu.measureItem(0).height());
    EXPECT_EQ(menu.menu()->actionGeometry(actions[1]).height(), menu.measureItem(1).height());
    EXPECT_GE(menu.menu()->actionGeometry(actions[2]).width(), menu.measureItem(2).width());
    // The separator is laid out even though its measured width is 0.
    EXPECT_TRUE(menu.menu()->actionGeometry(actions[1]).isValid());
}

TEST(OwnerDrawnMenu, IconMenuItemsAreTheGivenSizeAndPaintCream) {
    IconMenu menu;
    menu.setItemWidth(150);
    menu.setItemHeight(20);
    menu.setDrawStyle(IconMenu::BitmapAndText);
    menu.appendItem(0, 1, "One");
    menu.appendItem(0x800, 0, QString());
    menu.appendItem(0, 2, "Two");
    menu.menu()->popup(QPoint(0, 0));
    QApplication::processEvents();
    const QList<QAction*> actions = menu.menu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(menu.menu()->actionGeometry(actions[0]).size(), QSize(150, 20));
    EXPECT_EQ(menu.menu()->actionGeometry(actions[1]).height(), 6);
    const QImage img = menu.menu()->grab().toImage();
    const QRect two = menu.menu()->actionGeometry(actions[2]);
    EXPECT_EQ(QColor(img.pixel(two.right() - 3, two.top() + 2)), QColor(255, 255, 240));
    menu.menu()->hide();
}
