#include "ui/controls/color_style.h"

#include "ui/controls/system_colors.h"

namespace dorvak {

ColorStyle::ColorStyle(QWidget* widget)
    : widget_(widget), text_(systemColor(SystemColor::WindowText)),
      background_(systemColor(SystemColor::Window)) {
    apply();
}

void ColorStyle::setTextColor(const QColor& c) {
    text_ = c;
    apply();
}

void ColorStyle::setBackgroundColor(const QColor& c) {
    background_ = c;
    apply();
}

void ColorStyle::setTransparent(bool on) {
    transparent_ = on;
    apply();
}

void ColorStyle::setBold(bool on) {
    QFont f = widget_->font();
    f.setWeight(on ? QFont::Bold : QFont::Normal);
    widget_->setFont(f);
    widget_->update();
}

void ColorStyle::setFontDescription(const QFont& font) {
    widget_->setFont(font);
    widget_->update();
}

void ColorStyle::setToolTipText(const QString& text) {
    widget_->setToolTip(text);
}

void ColorStyle::apply() {
    QPalette pal = widget_->palette();
    pal.setColor(QPalette::WindowText, text_);
    pal.setColor(QPalette::Text, text_);
    pal.setColor(QPalette::ButtonText, text_);
    pal.setColor(QPalette::Window, background_);
    widget_->setPalette(pal);
    // Transparent: the parent shows through; opaque: the background color.
    widget_->setAutoFillBackground(!transparent_);
    widget_->update();
}

} // namespace dorvak
