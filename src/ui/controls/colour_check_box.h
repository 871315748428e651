// ColourCheckBox: a check box with the coloured label's colour settings.
#pragma once

#include "ui/controls/colour_style.h"

#include <QCheckBox>

namespace dorvak {

class ColourCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit ColourCheckBox(const QString& text = QString(), QWidget* parent = nullptr)
        : QCheckBox(text, parent), style_(this) {}

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
