// The markup tooltip driven off-screen with manual timers: delays, hiding on
// keys, re-showing rules, fading, the notification, flipping at the screen
// edge and the inspection text.
#include "ui/controls/window_message.h"
#include "ui/tooltip/inspection_text.h"
#include "ui/tooltip/markup_tool_tip.h"
#include "ui/tooltip/tool_tip_geometry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dorvak;
using State = MarkupToolTip::State;

namespace {

struct Fixture {
    QWidget host;
    QPushButton* button;
    QPushButton* other;
    MarkupToolTip tip{&host};
    Fixture() {
        host.setGeometry(100, 100, 400, 300);
        button = new QPushButton("Scan", &host);
        button->setGeometry(10, 10, 100, 30);
        other = new QPushButton("Other", &host);
        other->setGeometry(10, 100, 100, 30);
        host.show();
        tip.setManualTimers(true);
        tip.setScreenRect(QRect(0, 0, 1600, 1200));
        tip.addTool(button, "<b>Scan Control</b><br>Select the disk area to scan.");
        tip.addTool(other, "Other tip");
    }
    void move(QWidget* w, QPoint local) {
        const QPoint global = w->mapToGlobal(local);
        QMouseEvent e(QEvent::MouseMove, QPointF(local), QPointF(global), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
};

} // namespace

TEST(ToolTipTimers, ShowsAfterTheDelayAndHidesAfterFiveSeconds) {
    Fixture f;
    f.move(f.button, QPoint(20, 15));
    EXPECT_EQ(f.tip.state(), State::Hidden);
    ASSERT_TRUE(f.tip.timerActive(MarkupToolTip::ShowTimer));
    EXPECT_EQ(f.tip.timerInterval(MarkupToolTip::ShowTimer), 500);
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_EQ(f.tip.state(), State::Shown);
    EXPECT_TRUE(f.tip.window()->isVisible());
    EXPECT_EQ(f.tip.window()->objectName(), "CVxToolTip");
    ASSERT_TRUE(f.tip.timerActive(MarkupToolTip::HideTimer));
    EXPECT_EQ(f.tip.timerInterval(MarkupToolTip::HideTimer), 5000);
    f.tip.fireTimer(MarkupToolTip::HideTimer);
    EXPECT_EQ(f.tip.state(), State::Hidden);
    EXPECT_FALSE(f.tip.window()->isVisible());
}

TEST(ToolTipTimers, MovingBeforeTheDelayEndsDropsThePendingShow) {
    Fixture f;
    f.move(f.button, QPoint(20, 15));
    ASSERT_TRUE(f.tip.timerActive(MarkupToolTip::ShowTimer));
    QEvent leave(QEvent::Leave); // the mouse leaves the host window
    QApplication::sendEvent(&f.host, &leave);
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_EQ(f.tip.state(), State::Hidden);
}

TEST(ToolTipRelay, KeyPressHidesAtOnce) {
    Fixture f;
    f.tip.setFadeOutStep(50); // even with fading, a key hides at once
    f.move(f.button, QPoint(20, 15));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    ASSERT_EQ(f.tip.state(), State::Shown);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(f.button, &key);
    EXPECT_EQ(f.tip.state(), State::Hidden);
    EXPECT_FALSE(f.tip.window()->isVisible());
    EXPECT_FALSE(f.tip.timerActive(MarkupToolTip::HideTimer));
}

TEST(ToolTipRelay, SameToolDoesNotReshowButLeavingAndReenteringDoes) {
    Fixture f;
    f.move(f.button, QPoint(20, 15));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    f.tip.fireTimer(MarkupToolTip::HideTimer);
    ASSERT_EQ(f.tip.state(), State::Hidden);
    f.move(f.button, QPoint(30, 16));
    EXPECT_FALSE(f.tip.timerActive(MarkupToolTip::ShowTimer));
    f.move(&f.host, QPoint(300, 250)); // no tool here
    f.move(f.button, QPoint(40, 16));
    EXPECT_TRUE(f.tip.timerActive(MarkupToolTip::ShowTimer));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_EQ(f.tip.state(), State::Shown);
}

TEST(ToolTipRelay, MoveRestartsHideWithBehaviourFourAndAnotherToolSwitches) {
    Fixture f;
    f.tip.setBehaviour(tip::kMoveRestartsHide);
    f.move(f.button, QPoint(20, 15));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    f.tip.setHideDelay(1234);
    f.move(f.button, QPoint(25, 15));
    EXPECT_EQ(f.tip.timerInterval(MarkupToolTip::HideTimer), 1234);
    f.move(f.other, QPoint(20, 15));
    EXPECT_EQ(f.tip.state(), State::Hidden);
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_EQ(f.tip.shownText(), "Other tip");
}

TEST(ToolTipRelay, DisabledChildrenAndDeletedOwnersGiveNoTool) {
    Fixture f;
    f.button->setEnabled(false); // its parent (the host) has no tool
    f.move(f.button, QPoint(20, 15));
    EXPECT_FALSE(f.tip.timerActive(MarkupToolTip::ShowTimer));
    delete f.other;
    f.other = nullptr;
    EXPECT_EQ(f.tip.toolCount(nullptr), 0);
}

TEST(ToolTipFading, FadesInAndOutInStepsOfTwenty) {
    Fixture f;
    f.tip.setFadeInStep(30);
    f.tip.setFadeOutStep(30);
    f.move(f.button, QPoint(20, 15));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_EQ(f.tip.state(), State::FadingIn);
    EXPECT_EQ(f.tip.currentTransparency(), 100);
    for (int i = 0; i < 4; ++i)
        f.tip.fireTimer(MarkupToolTip::FadeInTimer);
    EXPECT_EQ(f.tip.currentTransparency(), 20);
    EXPECT_FALSE(f.tip.timerActive(MarkupToolTip::HideTimer));
    f.tip.fireTimer(MarkupToolTip::FadeInTimer);
    EXPECT_EQ(f.tip.state(), State::Shown);
    EXPECT_TRUE(f.tip.timerActive(MarkupToolTip::HideTimer));

    f.tip.fireTimer(MarkupToolTip::HideTimer);
    EXPECT_EQ(f.tip.state(), State::FadingOut);
    for (int i = 0; i < 3; ++i)
        f.tip.fireTimer(MarkupToolTip::FadeOutTimer);
    EXPECT_EQ(f.tip.currentTransparency(), 60);
    EXPECT_TRUE(f.tip.window()->isVisible());
    f.tip.fireTimer(MarkupToolTip::FadeOutTimer); // 80 and on: gone
    EXPECT_EQ(f.tip.state(), State::Hidden);
    EXPECT_FALSE(f.tip.window()->isVisible());
}

TEST(ToolTipNotify, TheNotifyWindowSeesTheToolFirstAndCanChangeIt) {
    Fixture f;
    struct Notify : QObject {
        int calls = 0;
        QString replaceWith;
        bool event(QEvent* e) override {
            if (e->type() != WindowMessageEvent::eventType()) return QObject::event(e);
            auto* m = static_cast<WindowMessageEvent*>(e);
            auto* n = reinterpret_cast<ToolTipNotify*>(m->lParam());
            EXPECT_EQ(m->message(), tip::kNotifyMessage);
            EXPECT_EQ(n->code, tip::kNotifyShowing);
            ++calls;
            n->tool->text = replaceWith;
            return true;
        }
    } notify;
    f.tip.setNotifyWindow(&notify);
    notify.replaceWith = "Changed";
    f.move(f.button, QPoint(20, 15));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_EQ(notify.calls, 1);
    EXPECT_EQ(f.tip.shownText(), "Changed");
    f.tip.hideNow();
    notify.replaceWith.clear(); // an empty text shows nothing
    EXPECT_FALSE(f.tip.showAt(QPoint(200, 200), f.tip.makeTool(f.button, "x")));
    EXPECT_EQ(f.tip.state(), State::Hidden);
}

TEST(ToolTipGeometry, NearTheRightEdgeDirectionSixteenFlipsTheBodyLeft) {
    const QRect screen(0, 0, 800, 600);
    // Right at the edge the mirrored tip still sticks out by its corner
    // offset, but less than the original: it flips and is pushed in.
    EXPECT_EQ(layoutTip(QSize(150, 40), kBalloonSizes, 16, QPoint(795, 300), screen, QSize(6, 6))
                  .direction,
              17);
    const QPoint point(770, 300);
    const TipGeometry g = layoutTip(QSize(150, 40), kBalloonSizes, 16, point, screen, QSize(6, 6));
    EXPECT_EQ(g.direction, 17);
    const QRect body = g.body.translated(g.windowPos);
    EXPECT_LE(body.right(), point.x() + kBalloonSizes[6]);
    EXPECT_LT(body.left(), point.x() - 100);
    EXPECT_EQ(g.windowPos + g.tip, point); // the pointer still touches the point
    EXPECT_LT(body.bottom(), point.y());   // direction 16: body above the point

    // Far from the edges nothing flips; near the top, 16 turns into 0.
    EXPECT_EQ(
        layoutTip(QSize(150, 40), kBalloonSizes, 16, QPoint(300, 300), screen, QSize()).direction,
        16);
    EXPECT_EQ(
        layoutTip(QSize(150, 40), kBalloonSizes, 16, QPoint(300, 10), screen, QSize()).direction,
        0);
}

TEST(ToolTipGeometry, MirroringTableAndClampingWhenNothingFits) {
    EXPECT_EQ(mirrorDirection(0, true), 1);
    EXPECT_EQ(mirrorDirection(2, true), 2);
    EXPECT_EQ(mirrorDirection(32, true), 48);
    EXPECT_EQ(mirrorDirection(49, false), 48);
    EXPECT_EQ(mirrorDirection(18, false), 2);
    const QRect screen(0, 0, 100, 100);
    const TipGeometry g =
        layoutTip(QSize(300, 20), kBalloonSizes, 16, QPoint(50, 50), screen, QSize());
    EXPECT_EQ(g.windowPos.x(), 0); // wider than the screen: pinned to its left edge
}

TEST(ToolTipShape, BodyIsTextPlusMarginsAndShadowGrowsTheWindow) {
    const TipGeometry g = layoutTip(QSize(100, 20), kBalloonSizes, 2, QPoint(400, 400),
                                    QRect(0, 0, 1000, 1000), QSize(6, 6));
    EXPECT_EQ(g.body.size(), QSize(100 + 24, 20 + 24));
    EXPECT_EQ(g.windowSize, QSize(124 + 6, 44 + 16 + 6));
    EXPECT_EQ(g.tip, QPoint(62, 0)); // centred on the top edge
    const QRegion r = tipRegion(g, kBalloonSizes, QSize(6, 6));
    EXPECT_TRUE(r.contains(g.tip + QPoint(0, 8)));
    EXPECT_FALSE(r.contains(g.body.topLeft())); // the round corner is cut
    EXPECT_TRUE(r.contains(QPoint(g.body.right() + 4, g.body.center().y()))); // shadow copy
    EXPECT_FALSE(tipRegion(g, kBalloonSizes, QSize())
                     .contains(QPoint(g.body.right() + 4, g.body.center().y())));
    const TipGeometry rect = layoutTip(QSize(100, 20), kRectangleSizes, 16, QPoint(400, 400),
                                       QRect(0, 0, 1000, 1000), QSize());
    EXPECT_TRUE(rect.pointer.isEmpty());
    EXPECT_EQ(rect.body.size(), QSize(106, 22));
}

TEST(ToolTipInspection, ValuesAreEscapedAndLongOnesCut) {
    EXPECT_EQ(inspectionValue(QString(30, 'T')), QString(21, 'T') + " ...");
    EXPECT_EQ(inspectionValue(QString(25, 'T')), QString(25, 'T'));
    EXPECT_EQ(inspectionValue("a<b"), "a?b");
    InspectedWindow w;
    w.className = "QPushButton";
    w.title = "Search Partition with a long title";
    w.handle = 0xABC;
    w.controlId = 1001;
    w.screenRect = QRect(10, 20, 30, 40);
    const QString text = inspectionText(w, std::nullopt, QPoint(5, 6));
    EXPECT_TRUE(
        text.startsWith("<table><tr><td><font color=darkblue>Window</font><table border=1>"));
    EXPECT_TRUE(text.contains("<tr><td width=70 bgcolor=buttonface>Title</td>"
                              "<td width=130 bgcolor=window>Search Partition with ...</td></tr>"));
    EXPECT_TRUE(text.contains(">0x00000ABC<"));
    EXPECT_TRUE(text.contains(">(10, 20)-(40, 60)<"));
    EXPECT_TRUE(text.contains(">N/A<"));
    EXPECT_TRUE(text.endsWith("</table></td></tr></table>"));
}

TEST(ToolTipInspection, InspectionModeShowsTheTableForTheWidgetUnderTheMouse) {
    Fixture f;
    f.tip.setInspectionMode(true);
    f.move(f.other, QPoint(20, 15));
    f.tip.fireTimer(MarkupToolTip::ShowTimer);
    EXPECT_TRUE(f.tip.shownText().contains(">QPushButton<"));
    EXPECT_TRUE(f.tip.shownText().contains(">Other<"));
    EXPECT_TRUE(f.tip.shownText().contains("Has Tooltip</td><td width=130 bgcolor=window>Yes"));
}
