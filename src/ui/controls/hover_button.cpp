#include "ui/controls/hover_button.h"

#include "ui/controls/resource_images.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

namespace dorvak {

HoverButton::HoverButton(QWidget* parent) : QAbstractButton(parent) {
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    hoverTimer_.setInterval(kHoverCheckMs);
    connect(&hoverTimer_, &QTimer::timeout, this, [this] { hoverTick(QCursor::pos()); });
}

void HoverButton::setBitmap(const QImage& strip, const QImage& hotStrip) {
    strip_ = strip;
    // A hot strip of another size would jump on hover; it is ignored then.
    hotStrip_ = hotStrip.size() == strip.size() ? hotStrip : QImage();
    frame_ = strip_.isNull() ? QSize() : QSize(strip_.width() / 2, strip_.height());
    updateGeometry();
    update();
}

void HoverButton::setBitmapResource(int normal, int hot) {
    setBitmap(loadBitmapResource(normal), hot ? loadBitmapResource(hot) : QImage());
}

void HoverButton::setToolTipText(const QString& text) {
    setToolTip(text.left(kMaxToolTip));
}

QSize HoverButton::sizeHint() const {
    return frame_.isValid() ? frame_ : QSize(16, 16);
}

void HoverButton::setHovered(bool on) {
    if (hovered_ == on) return;
    hovered_ = on;
    if (on)
        hoverTimer_.start();
    else
        hoverTimer_.stop();
    update();
}

void HoverButton::hoverTick(const QPoint& globalPos) {
    if (!rect().contains(mapFromGlobal(globalPos))) setHovered(false);
}

void HoverButton::mouseMoveEvent(QMouseEvent* e) {
    if (rect().contains(e->position().toPoint())) setHovered(true);
    QAbstractButton::mouseMoveEvent(e);
}

void HoverButton::enterEvent(QEnterEvent* e) {
    setHovered(true);
    QAbstractButton::enterEvent(e);
}

void HoverButton::leaveEvent(QEvent* e) {
    setHovered(false);
    QAbstractButton::leaveEvent(e);
}

void HoverButton::paintEvent(QPaintEvent*) {
    const QImage& strip = hovered_ && !hotStrip_.isNull() ? hotStrip_ : strip_;
    if (strip.isNull()) return;
    QPainter p(this);
    if (!isEnabled()) p.setOpacity(0.45);
    const int x = isDown() ? frame_.width() : 0;
    p.drawImage(QPoint(0, 0), strip, QRect(QPoint(x, 0), frame_));
    // The focus frame only when the focus came from the keyboard: a mouse
    // click on a picture button should not leave a dotted box behind.
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        p.setOpacity(1);
        QPen pen(palette().color(QPalette::WindowText), 1, Qt::DotLine);
        p.setPen(pen);
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

} // namespace dorvak
