#include "ui/controls/colour_style.h"

#include "ui/controls/system_colours.h"

namespace dorvak {

ColourStyle::ColourStyle(QWidget* widget)
    : widget_(widget), text_(systemColour(SystemColour::WindowText)),
      background_(systemColour(SystemColour::Window)) {
    apply();
}

void ColourStyle::setTextColour(const QColor& c) {
    text_ = c;
    apply();
}

void ColourStyle::setBackgroundColour(const QColor& c) {
    background_ = c;
    apply();
}

void ColourStyle::setTransparent(bool on) {
    transparent_ = on;
    apply();
}

void ColourStyle::setBold(bool on) {
    QFont f = widget_->font();
    f.setWeight(on ? QFont::Bold : QFont::Normal);
    widget_->setFont(f);
    widget_->update();
}

void ColourStyle::setFontDescription(const QFont& font) {
    widget_->setFont(font);
    widget_->update();
}

void ColourStyle::setToolTipText(const QString& text) {
    widget_->setToolTip(text);
}

void ColourStyle::apply() {
    QPalette pal = widget_->palette();
    pal.setColor(QPalette::WindowText, text_);
    pal.setColor(QPalette::Text, text_);
    pal.setColor(QPalette::ButtonText, text_);
    pal.setColor(QPalette::Window, background_);
    widget_->setPalette(pal);
    // Transparent: the parent shows through; opaque: the background colour.
    widget_->setAutoFillBackground(!transparent_);
    widget_->update();
}

} // namespace dorvak
