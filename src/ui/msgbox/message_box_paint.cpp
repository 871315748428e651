// Painting of the message box: area backgrounds with their effects (drawn
// without texture noise) and separators into a cached pixmap, then the three
// markup texts inset by the margin.
#include "ui/msgbox/markup_message_box_p.h"

#include "ui/controls/system_colors.h"
#include "ui/markup/background_effects.h"

#include <QPainter>

namespace dorvak {

namespace {

QColor orFace(const QColor& c) {
    return c.isValid() ? c : systemColor(SystemColor::ButtonFace);
}

} // namespace

void MarkupMessageBox::paintArea(QPainter& p, const QRect& r, const AreaStyle& style,
                                 bool separatorAtTop) {
    if (r.isEmpty()) return;
    drawBackgroundEffect(p, r, Effect(style.effect), orFace(style.start), orFace(style.middle),
                         orFace(style.end), 0);
    if (style.separator != 0)
        paintSeparator(p, style, separatorAtTop ? r.top() : r.bottom() - 1, r.left() + kIconPadding,
                       r.right() - kIconPadding);
}

void MarkupMessageBox::paintSeparator(QPainter& p, const AreaStyle& style, int y, int left,
                                      int right) {
    const QString caption =
        resolveText(style.caption, params_.stringModule, !(style_ & mb::kNoStringModule));
    const QFontMetrics fm = fontMetrics();
    const int textW = caption.isEmpty() ? 0 : fm.horizontalAdvance(caption);
    int textX = left + kIconPadding;
    if (style.captionAlign == 1)
        textX = right - kIconPadding - textW;
    else if (style.captionAlign == 2)
        textX = (left + right - textW) / 2;
    // The line is interrupted from one gap before the caption to one after.
    auto line = [&](int x1, int x2) {
        if (x2 < x1) return;
        switch (style.separator) {
        case 1:
            p.setPen(systemColor(SystemColor::ButtonShadow));
            p.drawLine(x1, y, x2, y);
            p.setPen(systemColor(SystemColor::ButtonHighlight));
            p.drawLine(x1, y + 1, x2, y + 1);
            break;
        case 2:
            p.setPen(Qt::black);
            p.drawLine(x1, y, x2, y);
            break;
        case 3:
            p.setPen(Qt::white);
            p.drawLine(x1, y, x2, y);
            break;
        default:
            break;
        }
    };
    if (caption.isEmpty()) {
        line(left, right);
        return;
    }
    line(left, textX - kIconPadding);
    line(textX + textW + kIconPadding, right);
    // The caption in the embossed look of disabled text, centred on the line.
    const QRect text(textX, y - fm.height() / 2, textW, fm.height());
    p.setFont(font());
    p.setPen(systemColor(SystemColor::ButtonHighlight));
    p.drawText(text.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, caption);
    p.setPen(systemColor(SystemColor::ButtonShadow));
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, caption);
}

void MarkupMessageBox::paintBackground(QPainter& p) {
    const AreaStyle& window = params_.windowStyle;
    if (window.effect == -1)
        p.fillRect(rect(), systemColor(SystemColor::ButtonFace));
    else
        drawBackgroundEffect(p, rect(), Effect(window.effect), orFace(window.start),
                             orFace(window.middle), orFace(window.end), 0);
    if (header_) paintArea(p, areaRect(HeaderArea), params_.headerStyle, false);
    paintArea(p, areaRect(ButtonArea), params_.controlsStyle, true);
    if (more_ && expanded_) paintArea(p, areaRect(MoreArea), params_.moreStyle, true);
}

void MarkupMessageBox::drawTexts(QPainter& p) {
    const QMargins inset(kMargin, kMargin, kMargin, kMargin);
    if (header_) header_->renderer->Draw(p, areaRect(HeaderArea) - inset);
    message_->renderer->Draw(p, areaRect(MessageArea) - inset);
    if (more_ && expanded_) more_->renderer->Draw(p, areaRect(MoreArea) - inset);
}

void MarkupMessageBox::paintEvent(QPaintEvent*) {
    if (background_.size() != size() * devicePixelRatio() || background_.isNull()) {
        background_ = QPixmap(size() * devicePixelRatio());
        background_.setDevicePixelRatio(devicePixelRatio());
        QPainter bp(&background_);
        paintBackground(bp);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
    drawTexts(p);
}

} // namespace dorvak
