// ColourLabel: static text with its own text and background colours, an
// optional transparent background (the default), bold and font setters.
#pragma once

#include "ui/controls/colour_style.h"

#include <QLabel>

namespace dorvak {

class ColourLabel : public QLabel {
    Q_OBJECT
public:
    explicit ColourLabel(const QString& text = QString(), QWidget* parent = nullptr)
        : QLabel(text, parent), style_(this) {}

    ColourStyle& colours() { return style_; }
    void setTextColour(const QColor& c) { style_.setTextColour(c); }
    void setBackgroundColour(const QColor& c) { style_.setBackgroundColour(c); }
    void setTransparent(bool on) { style_.setTransparent(on); }
    void setBold(bool on) { style_.setBold(on); }
    void setFontDescription(const QFont& f) { style_.setFontDescription(f); }
    void setToolTipText(const QString& t) { style_.setToolTipText(t); }

private:
    ColourStyle style_;
};

} // namespace dorvak
