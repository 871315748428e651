// TextProgressBar: the message table, the repaint rule for sub-pixel moves
// and the two-color painting.
#include "ui/controls/system_colors.h"
#include "ui/controls/text_progress_bar.h"

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <gtest/gtest.h>

using namespace dorvak;

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

bool isBar(QRgb px) {
    return qAbs(qRed(px) - 0) < 8 && qAbs(qGreen(px) - 0) < 8 && qAbs(qBlue(px) - 144) < 8;
}

} // namespace

TEST(ProgressBarMessages, RangePositionStepAndColorsAnswerLikeTheControl) {
    TextProgressBar bar;
    EXPECT_EQ(bar.sendMessage(TextProgressBar::SetRange, 0, (20 << 16) | 10), (20u << 16) | 10u);
    TextProgressBar::Range r;
    EXPECT_EQ(bar.sendMessage(TextProgressBar::GetRange, 1, reinterpret_cast<qintptr>(&r)), 10);
    EXPECT_EQ(r.low, 10);
    EXPECT_EQ(r.high, 20);
    EXPECT_EQ(bar.sendMessage(TextProgressBar::GetRange, 0, 0), 20);

    EXPECT_EQ(bar.sendMessage(TextProgressBar::SetPos, 12, 0), 0); // previous position
    EXPECT_EQ(bar.sendMessage(TextProgressBar::SetStep, 3, 0), 1); // previous step
    EXPECT_EQ(bar.sendMessage(TextProgressBar::StepIt, 0, 0), 12);
    EXPECT_EQ(bar.sendMessage(TextProgressBar::DeltaPos, 2, 0), 15);
    EXPECT_EQ(bar.sendMessage(TextProgressBar::GetPos, 0, 0), 17);

    EXPECT_EQ(quint32(bar.sendMessage(TextProgressBar::SetBarColor, 0, 0x0000FF)),
              TextProgressBar::kDefaultColor);
    EXPECT_EQ(bar.sendMessage(TextProgressBar::SetBarColor, 0, 0x00FF00), 0x0000FF);
    bar.sendMessage(TextProgressBar::ShowText, 0, 0);
    EXPECT_FALSE(bar.showsText());
    EXPECT_EQ(bar.sendMessage(0x9999, 1, 1), 0);
}

TEST(ProgressBarText, PercentIsTruncatedAndWindowTextWins) {
    TextProgressBar bar;
    bar.setRange32(0, 3);
    bar.setPos(2); // 66.6 %
    EXPECT_EQ(bar.displayText(), "66%");
    bar.setText("Saving...");
    EXPECT_EQ(bar.displayText(), "Saving...");
    bar.setText(QString());
    EXPECT_EQ(bar.displayText(), "66%");
    bar.setPos(10); // beyond the range: clamped, never above 100%
    EXPECT_EQ(bar.displayText(), "100%");
}

TEST(ProgressBarPaint, HalfwayShowsFiftyPercentWithTheLeftHalfInTheBarColor) {
    QWidget parent;
    TextProgressBar* bar = new TextProgressBar(&parent);
    bar->setGeometry(0, 0, 200, 20);
    bar->setRange32(0, 100);
    bar->setPos(50);
    EXPECT_EQ(bar->displayText(), "50%");
    const QImage img = bar->grab().toImage();
    ASSERT_EQ(img.width(), 200);
    EXPECT_TRUE(isBar(img.pixel(10, 10)));
    EXPECT_TRUE(isBar(img.pixel(98, 1)));
    EXPECT_FALSE(isBar(img.pixel(102, 1)));
    EXPECT_EQ(QColor(img.pixel(190, 10)), systemColor(SystemColor::Window));

    // The text straddles the boundary: light letters on the bar, bar-colored
    // letters on the background.
    int lightOnBar = 0, darkOnBackground = 0;
    for (int y = 2; y < 18; ++y)
        for (int x = 80; x < 120; ++x) {
            const QRgb px = img.pixel(x, y);
            if (x < 100 && qRed(px) > 128) ++lightOnBar;
            if (x >= 100 && qBlue(px) > qRed(px) + 60 && qRed(px) < 128) ++darkOnBackground;
        }
    EXPECT_GT(lightOnBar, 3);
    EXPECT_GT(darkOnBackground, 3);
}

TEST(ProgressBarPaint, MovesBelowOnePixelDoNotRepaint) {
    QWidget parent;
    TextProgressBar* bar = new TextProgressBar(&parent);
    bar->setGeometry(0, 0, 200, 20);
    bar->setRange32(0, 1000);
    parent.show();
    QApplication::processEvents();
    PaintCounter counter;
    bar->installEventFilter(&counter);

    bar->setPos(500);
    QApplication::processEvents();
    const int afterFirst = counter.paints;
    EXPECT_GE(afterFirst, 1);
    EXPECT_EQ(bar->barLength(), 100);

    bar->setPos(503); // 100.6 pixels: still 100
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, afterFirst);

    bar->setPos(510); // 102 pixels
    QApplication::processEvents();
    EXPECT_GT(counter.paints, afterFirst);
}

TEST(ProgressBarPaint, EmptyRangePaintsNothing) {
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(10, 200, 10));
    parent.setPalette(pal);
    TextProgressBar* bar = new TextProgressBar(&parent);
    bar->setGeometry(0, 0, 100, 20);
    bar->setRange32(50, 50);
    bar->setPos(50);
    const QImage img = parent.grab(QRect(0, 0, 100, 20)).toImage();
    EXPECT_EQ(QColor(img.pixel(5, 10)), QColor(10, 200, 10));
    EXPECT_EQ(QColor(img.pixel(95, 10)), QColor(10, 200, 10));
}
