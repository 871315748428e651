// Message box geometry and painting: button sizes from their labels, the
// check box above or below the row, area heights and the painted areas.
#include "ui/controls/system_colors.h"
#include "ui/msgbox/markup_message_box.h"

#include <QApplication>
#include <gtest/gtest.h>

using namespace dorvak;
using namespace dorvak::mb;

namespace {

MessageBoxParams paramsFor(const QString& text, quint32 style) {
    MessageBoxParams p;
    p.caption = "Layout";
    p.messageText = text;
    p.style = style;
    return p;
}

QColor pixel(MarkupMessageBox& box, QPoint at) {
    return QColor(box.grab().toImage().pixel(at));
}

} // namespace

TEST(MessageBoxLayout, ButtonsAreSizedFromTheWidestLabel) {
    MessageBoxParams p = paramsFor("x", 1);
    p.customLabels[IdCancel] = "A very long cancel label for the button";
    MarkupMessageBox box(p);
    const QFontMetrics fm = box.fontMetrics();
    const int expected = fm.horizontalAdvance(p.customLabels[IdCancel]) * 80 / 45;
    EXPECT_EQ(box.button(IdOk)->width(), expected); // all buttons share the size
    EXPECT_EQ(box.button(IdCancel)->width(), expected);
    EXPECT_EQ(box.button(IdOk)->height(), qMax(23, fm.height() * 23 / 13));
    EXPECT_GE(box.width(), 11 + 2 * (11 + expected));
}

TEST(MessageBoxLayout, TheBoxIsWideEnoughForItsWholeTitle) {
    MessageBoxParams p = paramsFor("x", 0);
    p.caption = "Tervolk Dorvak ReiserFS - a caption longer than the message and its button";
    MarkupMessageBox box(p);
    QFont bold = box.font();
    bold.setBold(true);
    EXPECT_GE(box.width(),
              QFontMetrics(bold).horizontalAdvance(box.caption()) + MarkupMessageBox::kTitleChrome);
    EXPECT_EQ(box.windowTitle(), box.caption());
}

TEST(MessageBoxLayout, CheckBoxSitsAboveTheRowOrBelowIt) {
    MarkupMessageBox above(paramsFor("x", kRememberBox));
    ASSERT_NE(above.checkBox(), nullptr);
    QPushButton* ok = above.button(IdOk);
    EXPECT_EQ(ok->y() + ok->height(), above.height() - 11);
    EXPECT_LT(above.checkBox()->geometry().bottom(), ok->y());
    EXPECT_EQ(above.checkBox()->x(), 10);

    MarkupMessageBox below(paramsFor("x", kRememberBox | kRememberBelow));
    QPushButton* ok2 = below.button(IdOk);
    EXPECT_EQ(ok2->y() + ok2->height(), below.height() - 11 - 13 - 11);
    EXPECT_GT(below.checkBox()->geometry().center().y(), ok2->geometry().bottom());
    // The area grows by the check box row either way.
    MarkupMessageBox none(paramsFor("x", 0));
    EXPECT_EQ(above.areaRect(MarkupMessageBox::ButtonArea).height(),
              none.areaRect(MarkupMessageBox::ButtonArea).height() + 13 + 11);
}

TEST(MessageBoxLayout, AreasStackHeaderMessageButtonsAndRespectTheHeaderMinimum) {
    MessageBoxParams p = paramsFor("Line one<br>Line two", 0);
    p.headerHeight = 90;
    p.headerText = "<b>Head</b>";
    MarkupMessageBox box(p);
    const QRect header = box.areaRect(MarkupMessageBox::HeaderArea);
    const QRect message = box.areaRect(MarkupMessageBox::MessageArea);
    const QRect buttons = box.areaRect(MarkupMessageBox::ButtonArea);
    EXPECT_EQ(header.height(), 90); // the text is shorter than the minimum
    EXPECT_EQ(message.top(), header.bottom() + 1);
    EXPECT_EQ(buttons.top(), message.bottom() + 1);
    EXPECT_EQ(buttons.bottom() + 1, box.height());
    EXPECT_GT(message.height(), 2 * 14); // text plus both margins
    // A separator or an effect on the button area doubles its top gap.
    MessageBoxParams q = paramsFor("x", 0);
    const int plain = MarkupMessageBox(q).areaRect(MarkupMessageBox::ButtonArea).height();
    q.controlsStyle.separator = 1;
    EXPECT_EQ(MarkupMessageBox(q).areaRect(MarkupMessageBox::ButtonArea).height(), plain + 11);
}

TEST(MessageBoxPaint, WindowHeaderAndButtonAreasTakeTheirEffects) {
    MessageBoxParams p = paramsFor("", 0);
    p.windowStyle.effect = 0;
    p.windowStyle.start = QColor(10, 200, 30);
    p.headerHeight = 40;
    p.headerStyle.effect = 0;
    p.headerStyle.start = QColor(200, 10, 10);
    p.controlsStyle.effect = 0;
    p.controlsStyle.start = QColor(10, 10, 200);
    p.controlsStyle.separator = 2;
    MarkupMessageBox box(p);
    box.resize(box.size());
    const QRect header = box.areaRect(MarkupMessageBox::HeaderArea);
    const QRect message = box.areaRect(MarkupMessageBox::MessageArea);
    const QRect buttons = box.areaRect(MarkupMessageBox::ButtonArea);
    EXPECT_EQ(pixel(box, QPoint(2, header.center().y())), QColor(200, 10, 10));
    EXPECT_EQ(pixel(box, QPoint(2, message.center().y())), QColor(10, 200, 30));
    EXPECT_EQ(pixel(box, QPoint(2, buttons.bottom() - 2)), QColor(10, 10, 200));
    // The black separator runs along the top of the button area, 5 in.
    EXPECT_EQ(pixel(box, QPoint(box.width() / 2, buttons.top())), QColor(Qt::black));
    EXPECT_EQ(pixel(box, QPoint(2, buttons.top())), QColor(10, 10, 200));
}

TEST(MessageBoxPaint, TransparentWindowStyleIsButtonFace) {
    MarkupMessageBox box(paramsFor("", 0));
    EXPECT_EQ(pixel(box, QPoint(2, 2)), systemColor(SystemColor::ButtonFace));
}
