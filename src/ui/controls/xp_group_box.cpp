#include "ui/controls/xp_group_box.h"

#include "ui/controls/system_colors.h"

#include <QPainter>
#include <QPainterPath>

namespace dorvak {

XPGroupBox::XPGroupBox(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption), border_(systemColor(SystemColor::ButtonShadow)),
      band_(systemColor(SystemColor::Highlight)), body_(systemColor(SystemColor::ButtonFace)) {
    updateMargins();
}

void XPGroupBox::setCaption(const QString& text) {
    caption_ = text;
    updateMargins();
    update();
}

void XPGroupBox::setCaptionAlignment(int alignment) {
    alignment_ = qBound(0, alignment, 2);
    update();
}

void XPGroupBox::setBoxStyle(Style style) {
    style_ = style;
    update();
}

void XPGroupBox::setBorderColor(const QColor& c) {
    border_ = c;
    update();
}

void XPGroupBox::setCaptionBandColor(const QColor& c) {
    band_ = c;
    update();
}

void XPGroupBox::setBodyColor(const QColor& c) {
    body_ = c;
    update();
}

void XPGroupBox::setCaptionFont(const QFont& f) {
    setFont(f);
    updateMargins();
    update();
}

int XPGroupBox::captionBandHeight() const {
    return fontMetrics().height() + 4;
}

void XPGroupBox::updateMargins() {
    setContentsMargins(6, captionBandHeight() + 4, 6, 6);
}

QRect XPGroupBox::captionRect(const QRect& box, int textWidth, int textHeight) const {
    // Two pixels inside the band (or the frame's corner), at the alignment.
    int x = box.left() + 2 + 6;
    if (alignment_ == Centre)
        x = box.left() + (box.width() - textWidth) / 2;
    else if (alignment_ == Right)
        x = box.right() - 2 - 6 - textWidth;
    return QRect(x, box.top() + 2, textWidth, textHeight);
}

void XPGroupBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect box = rect().adjusted(1, 1, -1, -1);
    // The caption is padded with a space on each side so the frame line
    // stops short of the letters.
    const QString text = caption_.isEmpty() ? QString() : QStringLiteral(" %1 ").arg(caption_);
    const QFontMetrics fm = fontMetrics();
    const int textWidth = text.isEmpty() ? 0 : fm.horizontalAdvance(text);
    const int bandHeight = captionBandHeight();
    const QRect capRect = captionRect(box, textWidth, fm.height());

    if (style_ == Style::Band) {
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        p.fillPath(outline, band_);
        p.save();
        p.setClipPath(outline);
        p.fillRect(
            QRect(box.left(), box.top() + bandHeight, box.width(), box.height() - bandHeight),
            body_);
        p.restore();
        p.setPen(QPen(border_, 1));
        p.drawPath(outline);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(systemColor(SystemColor::HighlightText));
        if (!text.isEmpty()) p.drawText(capRect, Qt::AlignLeft | Qt::AlignVCenter, text);
        return;
    }

    const int lineY = box.top() + fm.height() / 2 + 2;
    p.setPen(QPen(border_, 1));
    QRect frame(box.left(), lineY, box.width() - 1, box.bottom() - lineY);
    p.drawLine(frame.topLeft(), QPoint(frame.left(), frame.bottom()));
    p.drawLine(frame.bottomLeft(), frame.bottomRight());
    p.drawLine(frame.bottomRight(), frame.topRight());
    if (text.isEmpty()) {
        p.drawLine(frame.topLeft(), frame.topRight());
    } else {
        p.drawLine(frame.topLeft(), QPoint(capRect.left() - 1, lineY));
        p.drawLine(QPoint(capRect.right() + 1, lineY), frame.topRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(capRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

} // namespace dorvak
