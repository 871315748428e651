// The tip's pixels: the pointer continues the body's edge, transparency
// blends with what lies under the tip, the shadow darkens it; and the
// behaviour flags that move or keep a shown tip, and links in the tip.
#include "ui/markup/markup_renderer.h"
#include "ui/tooltip/markup_tool_tip.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

using namespace dorvak;

namespace {

QImage flatScreen(QColor c) {
    QImage img(800, 600, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

struct TipOnScreen {
    QWidget host;
    MarkupToolTip tip{&host};
    TipOnScreen(int direction, int transparency, bool shadow) {
        tip.setManualTimers(true);
        tip.setScreenRect(QRect(0, 0, 800, 600));
        tip.setBackgroundEffect(2, 0); // vertical gradient, red at the top to blue at the bottom
        tip.setColors(QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255));
        tip.setBorder(QColor(), 0, 0);
        tip.setDirection(direction);
        tip.setTransparency(transparency);
        tip.setShadow(shadow);
        tip.window()->setBackdropOverride(flatScreen(QColor(255, 255, 255)));
    }
};

} // namespace

TEST(ToolTipPaint, PointerRepeatsTheBodysEdgeRow) {
    TipOnScreen t(2, 0, false); // pointer on the top edge, centred
    ASSERT_TRUE(t.tip.showAt(QPoint(400, 300), t.tip.makeTool(&t.host, "Some tip text")));
    const TipGeometry& g = t.tip.window()->geometryInfo();
    const QImage img = t.tip.window()->composed();
    const QColor edge(img.pixel(g.tip.x(), g.body.top()));
    const QColor inPointer(img.pixel(g.tip.x(), g.body.top() - 6));
    EXPECT_EQ(inPointer, edge);
    EXPECT_GT(edge.red(), 200); // the top of a red-to-blue gradient
    const QColor bottom(img.pixel(g.body.center().x(), g.body.bottom() - 1));
    EXPECT_GT(bottom.blue(), 200);
}

TEST(ToolTipPaint, TransparencyBlendsWithTheScreenAndShadowDarkensIt) {
    TipOnScreen opaque(16, 0, true);
    ASSERT_TRUE(opaque.tip.showAt(QPoint(400, 300), opaque.tip.makeTool(&opaque.host, "Tip")));
    const TipGeometry& g = opaque.tip.window()->geometryInfo();
    const QPoint mid = g.body.center();
    const QImage solid = opaque.tip.window()->composed();
    const QColor tipColor(solid.pixel(mid));

    TipOnScreen half(16, 50, false); // no shadow under it, so only the screen shows through
    ASSERT_TRUE(half.tip.showAt(QPoint(400, 300), half.tip.makeTool(&half.host, "Tip")));
    const QColor blended(half.tip.window()->composed().pixel(mid));
    // Half of the tip over the white screen.
    EXPECT_NEAR(blended.red(), (tipColor.red() + 255) / 2, 3);
    EXPECT_NEAR(blended.blue(), (tipColor.blue() + 255) / 2, 3);

    // Just outside the body on the right, inside the shadow: darker than the
    // white screen, and the 50 % darkness gives about mid grey at its core.
    const QColor shade(solid.pixel(g.body.right() + 4, mid.y()));
    EXPECT_LT(shade.red(), 200);
    EXPECT_GT(shade.red(), 100);
    EXPECT_EQ(shade.red(), shade.blue());
}

TEST(ToolTipBehaviour, FollowMouseMovesTheTipAndNoAutoHideKeepsIt) {
    QWidget host;
    host.setGeometry(50, 50, 400, 300);
    host.show();
    MarkupToolTip tip(&host);
    tip.setManualTimers(true);
    tip.setScreenRect(QRect(0, 0, 1600, 1200));
    tip.setBehaviour(tip::kFollowMouse | tip::kNoAutoHide);
    tip.addTool(&host, "Follows");
    auto move = [&](QPoint local) {
        QMouseEvent e(QEvent::MouseMove, QPointF(local), QPointF(host.mapToGlobal(local)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&host, &e);
    };
    move(QPoint(100, 100));
    tip.fireTimer(MarkupToolTip::ShowTimer);
    ASSERT_EQ(tip.state(), MarkupToolTip::State::Shown);
    EXPECT_FALSE(tip.timerActive(MarkupToolTip::HideTimer));
    const QPoint before = tip.window()->pos();
    move(QPoint(130, 110));
    EXPECT_EQ(tip.window()->pos(), before + QPoint(30, 10));
    EXPECT_EQ(tip.state(), MarkupToolTip::State::Shown);
}

TEST(ToolTipBehaviour, ForgetOnHideLetsTheSameToolShowAgain) {
    QWidget host;
    host.setGeometry(50, 50, 400, 300);
    host.show();
    MarkupToolTip tip(&host);
    tip.setManualTimers(true);
    tip.setBehaviour(tip::kForgetOnHide);
    tip.addTool(&host, "Again");
    auto move = [&](QPoint local) {
        QMouseEvent e(QEvent::MouseMove, QPointF(local), QPointF(host.mapToGlobal(local)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&host, &e);
    };
    move(QPoint(100, 100));
    tip.fireTimer(MarkupToolTip::ShowTimer);
    tip.fireTimer(MarkupToolTip::HideTimer);
    EXPECT_EQ(tip.currentTool(), nullptr);
    move(QPoint(101, 100));
    EXPECT_TRUE(tip.timerActive(MarkupToolTip::ShowTimer));
}

TEST(ToolTipLinks, ALeftClickOnTheTipGoesToItsLinkAndHidesIt) {
    QWidget host;
    host.setGeometry(50, 50, 400, 300);
    host.show();
    MarkupToolTip tip(&host);
    tip.setManualTimers(true);
    tip.setScreenRect(QRect(0, 0, 1600, 1200));
    tip.setShadow(false);
    QByteArray clicked;
    tip.renderer()->SetLinkNotify([&](const QByteArray& target, qintptr) { clicked = target; });
    ASSERT_TRUE(tip.showAt(QPoint(300, 300), tip.makeTool(&host, "<a msg=\"open-help\">Help</a>")));
    QApplication::processEvents();
    const QRect text = tip.window()->textRect();
    const QPoint onLink = tip.window()->mapToGlobal(text.topLeft() + QPoint(5, 5));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(onLink), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    tip.relay(tip.window(), &press);
    EXPECT_EQ(clicked, "open-help");
    EXPECT_EQ(tip.state(), MarkupToolTip::State::Hidden);
}
