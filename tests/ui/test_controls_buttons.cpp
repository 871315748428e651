// HoverButton frames and hot state; ImageButton clicks with a drop menu.
#include "ui/controls/hover_button.h"
#include "ui/controls/image_button.h"
#include "ui/controls/window_message.h"
#include "ui/menu/qm_menu.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <gtest/gtest.h>

using namespace dorvak;

namespace {

// A strip of two 20 x 10 frames in two flat colors.
QImage strip(QColor normal, QColor pressed) {
    QImage img(40, 10, QImage::Format_ARGB32);
    QPainter p(&img);
    p.fillRect(0, 0, 20, 10, normal);
    p.fillRect(20, 0, 20, 10, pressed);
    return img;
}

QColor shown(HoverButton& b) {
    return QColor(b.grab().toImage().pixel(10, 5));
}

class MessageSink : public QObject {
public:
    std::vector<std::pair<quint32, quintptr>> got;
    bool event(QEvent* e) override {
        if (e->type() == WindowMessageEvent::eventType()) {
            auto* m = static_cast<WindowMessageEvent*>(e);
            got.emplace_back(m->message(), m->wParam());
            return true;
        }
        return QObject::event(e);
    }
};

} // namespace

TEST(HoverButton, DrawsNormalPressedAndHotFrames) {
    HoverButton b;
    b.setBitmap(strip(Qt::red, Qt::green), strip(Qt::blue, Qt::yellow));
    EXPECT_EQ(b.frameSize(), QSize(20, 10));
    EXPECT_EQ(b.sizeHint(), QSize(20, 10));
    b.resize(b.sizeHint());
    EXPECT_EQ(shown(b), QColor(Qt::red));
    b.setDown(true);
    EXPECT_EQ(shown(b), QColor(Qt::green));
    b.setDown(false);

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&b, &enter);
    EXPECT_TRUE(b.isHovered());
    EXPECT_EQ(shown(b), QColor(Qt::blue));
}

TEST(HoverButton, TimerTickOutsideRestoresTheNormalFrame) {
    HoverButton b;
    b.setBitmap(strip(Qt::red, Qt::green), strip(Qt::blue, Qt::yellow));
    b.resize(20, 10);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&b, &enter);
    ASSERT_TRUE(b.isHovered());
    b.hoverTick(b.mapToGlobal(QPoint(5, 5))); // still inside
    EXPECT_TRUE(b.isHovered());
    b.hoverTick(b.mapToGlobal(QPoint(30, 5))); // left without a leave event
    EXPECT_FALSE(b.isHovered());
    EXPECT_EQ(shown(b), QColor(Qt::red));
}

TEST(HoverButton, MissingBitmapDrawsNothingAndTipIsCut) {
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(1, 2, 3));
    parent.setPalette(pal);
    HoverButton* b = new HoverButton(&parent);
    b->setBitmapResource(99999);
    b->setGeometry(0, 0, 16, 16);
    EXPECT_EQ(QColor(parent.grab(QRect(0, 0, 16, 16)).toImage().pixel(8, 8)), QColor(1, 2, 3));
    b->setToolTipText(QString(300, 'x'));
    EXPECT_EQ(b->toolTip().size(), HoverButton::kMaxToolTip);
}

TEST(HoverButton, GeneratedToolbarStripsHaveTwoFrames) {
    HoverButton b;
    b.setBitmapResource(163, 171);
    EXPECT_EQ(b.frameSize(), QSize(68, 68));
}

TEST(ImageButton, ClickDropsTheMenuAndPostsTheChosenCommand) {
    QmMenu menu;
    menu.appendItem(0, 4711, "&Open");
    MessageSink commands, notify;
    ImageButton button;
    button.setText("Menu");
    button.setDropMenu(&menu, &commands, &notify);
    QPoint shownAt;
    button.setMenuRunner([&](QmMenu& m, const QPoint& at) {
        shownAt = at;
        EXPECT_EQ(notify.got.size(), 1u); // the registered window hears first
        return m.item(0).command;
    });
    int sounds = 0;
    button.setSound("click.wav");
    button.setSoundPlayer([&](const QString&) { ++sounds; });
    button.resize(80, 24);
    button.click();
    QApplication::processEvents();
    ASSERT_EQ(commands.got.size(), 1u);
    EXPECT_EQ(commands.got[0].first, kCommandMessage);
    EXPECT_EQ(commands.got[0].second, 4711u);
    EXPECT_EQ(shownAt, button.mapToGlobal(QPoint(0, 23))); // below, left-aligned
    EXPECT_EQ(sounds, 1);
}

TEST(ImageButton, CheckBoxModeTogglesAndDerivesImages) {
    ImageButton button;
    QImage img(8, 8, QImage::Format_ARGB32);
    img.fill(QColor(200, 100, 50));
    button.setImages(img);
    button.setCheckBoxMode(true);
    EXPECT_EQ(button.state(), ImageButton::Normal);
    button.click();
    EXPECT_TRUE(button.isChecked());
    EXPECT_EQ(button.state(), ImageButton::Pressed);
    EXPECT_EQ(QColor(button.currentImage().pixel(1, 1)), QColor(160, 80, 40)); // darkened
    button.setEnabled(false);
    const QRgb grey = button.currentImage().pixel(1, 1);
    EXPECT_EQ(qRed(grey), qGreen(grey));
    EXPECT_EQ(qGreen(grey), qBlue(grey));
}
