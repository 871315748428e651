#include "ui/controls/text_progress_bar.h"

#include "ui/controls/system_colors.h"

#include <QPainter>

namespace dorvak {
namespace {

std::optional<QColor> colorArg(quint32 ref) {
    if (ref == TextProgressBar::kDefaultColor) return std::nullopt;
    return fromColorRef(ref);
}

quint32 colorResult(const std::optional<QColor>& c) {
    return c ? toColorRef(*c) : TextProgressBar::kDefaultColor;
}

quint32 packRange(const TextProgressBar::Range& r) {
    return (quint32(quint16(r.low))) | (quint32(quint16(r.high)) << 16);
}

} // namespace

TextProgressBar::TextProgressBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

quint32 TextProgressBar::setRange(quint32 packed) {
    return setRange32(int(packed & 0xFFFF), int(packed >> 16));
}

quint32 TextProgressBar::setRange32(int low, int high) {
    range_ = {low, high};
    refreshBar(true);
    return packRange(range_);
}

int TextProgressBar::getRange(bool wantLow, Range* out) const {
    if (out) *out = range_;
    return wantLow ? range_.low : range_.high;
}

int TextProgressBar::setPos(int pos) {
    const int previous = pos_;
    pos_ = pos;
    refreshBar(false);
    return previous;
}

int TextProgressBar::setStep(int step) {
    const int previous = step_;
    step_ = step;
    return previous;
}

quint32 TextProgressBar::setBarColor(quint32 colorRef) {
    const quint32 previous = colorResult(bar_);
    bar_ = colorArg(colorRef);
    update();
    return previous;
}

quint32 TextProgressBar::setBkColor(quint32 colorRef) {
    const quint32 previous = colorResult(background_);
    background_ = colorArg(colorRef);
    update();
    return previous;
}

quint32 TextProgressBar::setTextColor(quint32 colorRef) {
    const quint32 previous = colorResult(textColor_);
    textColor_ = colorArg(colorRef);
    update();
    return previous;
}

void TextProgressBar::setShowText(bool on) {
    if (showText_ == on) return;
    showText_ = on;
    update();
}

void TextProgressBar::setText(const QString& text) {
    if (text_ == text) return;
    text_ = text;
    update();
}

void TextProgressBar::setVertical(bool on) {
    vertical_ = on;
    refreshBar(true);
}

qintptr TextProgressBar::sendMessage(quint32 message, quintptr wParam, qintptr lParam) {
    switch (message) {
    case SetRange:
        return setRange(quint32(lParam));
    case SetRange32:
        return setRange32(int(wParam), int(lParam));
    case GetRange:
        return getRange(wParam != 0, reinterpret_cast<Range*>(lParam));
    case SetPos:
        return setPos(int(wParam));
    case DeltaPos:
        return deltaPos(int(wParam));
    case SetStep:
        return setStep(int(wParam));
    case StepIt:
        return stepIt();
    case GetPos:
        return pos();
    case SetBarColor:
        return setBarColor(quint32(lParam));
    case SetBkColor:
        return setBkColor(quint32(lParam));
    case SetTextColor:
        return setTextColor(quint32(lParam));
    case ShowText:
        setShowText(wParam != 0);
        return 0;
    default:
        return 0;
    }
}

double TextProgressBar::fraction() const {
    if (range_.high <= range_.low) return 0.0;
    const double f = double(pos_ - range_.low) / double(range_.high - range_.low);
    return qBound(0.0, f, 1.0);
}

int TextProgressBar::computeBarLength() const {
    return int(fraction() * (vertical_ ? height() : width()));
}

void TextProgressBar::refreshBar(bool force) {
    const int length = computeBarLength();
    // Workers report often; a move that does not change a single pixel of the
    // bar is not worth a repaint.
    if (!force && length == barLength_) return;
    barLength_ = length;
    update();
}

void TextProgressBar::resizeEvent(QResizeEvent*) {
    refreshBar(true);
}

QString TextProgressBar::displayText() const {
    if (!text_.isEmpty()) return text_;
    return QStringLiteral("%1%").arg(int(fraction() * 100));
}

QColor TextProgressBar::barColor() const {
    return bar_.value_or(defaultBarColor());
}

QColor TextProgressBar::backgroundColor() const {
    return background_.value_or(systemColor(SystemColor::Window));
}

void TextProgressBar::paintEvent(QPaintEvent*) {
    if (range_.high <= range_.low) return;
    QPainter p(this);
    const QRect all = rect();
    const int length = computeBarLength();
    QRect filled, rest;
    if (vertical_) {
        filled = QRect(0, all.bottom() + 1 - length, all.width(), length);
        rest = QRect(0, 0, all.width(), all.height() - length);
    } else {
        filled = QRect(0, 0, length, all.height());
        rest = QRect(length, 0, all.width() - length, all.height());
    }
    p.fillRect(rest, backgroundColor());
    p.fillRect(filled, barColor());
    if (!showText_ || vertical_) return;
    const QString text = displayText();
    p.setFont(parentWidget() ? parentWidget()->font() : font());
    p.setClipRect(filled);
    p.setPen(textColor_.value_or(backgroundColor()));
    p.drawText(all, Qt::AlignCenter, text);
    p.setClipRect(rest);
    p.setPen(textColor_.value_or(barColor()));
    p.drawText(all, Qt::AlignCenter, text);
}

} // namespace dorvak
