// ColorLabel and ColorCheckBox: static text and a check box with their own
// text and background colors, an optional transparent background (the
// default), bold and font setters. Both are one template over the widget
// they color; the settings themselves are ColorStyle's.
#pragma once

#include "ui/controls/color_style.h"

#include <QCheckBox>
#include <QLabel>

namespace dorvak {

template <class Widget> class ColoredWidget : public Widget {
public:
    explicit ColoredWidget(const QString& text = QString(), QWidget* parent = nullptr)
        : Widget(text, parent), style_(this) {}

    ColorStyle& colors() { return style_; }
    void setTextColor(const QColor& c) { style_.setTextColor(c); }
    void setBackgroundColor(const QColor& c) { style_.setBackgroundColor(c); }
    void setTransparent(bool on) { style_.setTransparent(on); }
    void setBold(bool on) { style_.setBold(on); }
    void setFontDescription(const QFont& f) { style_.setFontDescription(f); }
    void setToolTipText(const QString& t) { style_.setToolTipText(t); }

private:
    ColorStyle style_;
};

using ColorLabel = ColoredWidget<QLabel>;
using ColorCheckBox = ColoredWidget<QCheckBox>;

} // namespace dorvak
