// Transparent label repaint, colored label background, group box drawing.
#include "ui/controls/color_widgets.h"
#include "ui/controls/transparent_static.h"
#include "ui/controls/xp_group_box.h"

#include <QApplication>
#include <QPainter>
#include <gtest/gtest.h>

using namespace dorvak;

namespace {

class Skin : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(250, 240, 200));
    }
};

int nonSkinPixels(const QImage& img, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (QColor(img.pixel(x, y)) != QColor(250, 240, 200)) ++n;
    return n;
}

} // namespace

TEST(TransparentStatic, ShorterTextLeavesNoRemnantOnTheSkin) {
    Skin skin;
    skin.resize(300, 40);
    TransparentStatic* label = new TransparentStatic("WWWWWWWWWWWWWWWWWWWWWWWWWW", &skin);
    label->setGeometry(0, 0, 300, 40);
    skin.show();
    QApplication::processEvents();
    const QRect tail(120, 0, 180, 40);
    ASSERT_GT(nonSkinPixels(skin.grab().toImage(), tail), 0);
    label->setText("W");
    QApplication::processEvents();
    EXPECT_EQ(nonSkinPixels(skin.grab().toImage(), tail), 0);
    EXPECT_EQ(label->text(), "W");
}

TEST(ColorLabel, OpaqueModePaintsTheBackgroundColorTransparentModeDoesNot) {
    Skin skin;
    skin.resize(100, 30);
    ColorLabel* label = new ColorLabel(QString(), &skin);
    label->setGeometry(0, 0, 100, 30);
    label->setBackgroundColor(QColor(0, 128, 0));
    EXPECT_EQ(QColor(skin.grab().toImage().pixel(50, 15)), QColor(250, 240, 200));
    label->setTransparent(false);
    EXPECT_EQ(QColor(skin.grab().toImage().pixel(50, 15)), QColor(0, 128, 0));
    label->setBold(true);
    EXPECT_EQ(label->font().weight(), QFont::Bold);
}

TEST(XPGroupBox, BandStyleFillsBandAndBodyAndFramedCaptionBreaksTheTopEdge) {
    XPGroupBox box("Options");
    box.resize(200, 100);
    box.setBorderColor(QColor(0, 0, 255));
    box.setCaptionBandColor(QColor(255, 0, 0));
    box.setBodyColor(QColor(0, 255, 0));
    box.setBoxStyle(XPGroupBox::Style::Band);
    QImage img = box.grab().toImage();
    EXPECT_EQ(QColor(img.pixel(150, 6)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(img.pixel(100, 80)), QColor(0, 255, 0));

    box.setBoxStyle(XPGroupBox::Style::Framed);
    img = box.grab().toImage();
    int lineY = -1;
    for (int y = 0; y < 30 && lineY < 0; ++y)
        if (QColor(img.pixel(190, y)) == QColor(0, 0, 255)) lineY = y;
    ASSERT_GE(lineY, 0);
    EXPECT_EQ(QColor(img.pixel(1, 60)), QColor(0, 0, 255)); // left edge
    int blueUnderCaption = 0;
    for (int x = 12; x < 50; ++x)
        if (QColor(img.pixel(x, lineY)) == QColor(0, 0, 255)) ++blueUnderCaption;
    EXPECT_EQ(blueUnderCaption, 0);
}
