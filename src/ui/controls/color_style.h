// The color settings shared by the colored label and the colored check
// box: text color, background color, transparency, weight and font, applied
// to the widget's palette and font (Qt's counterpart of answering the
// platform's color query).
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace dorvak {

class ColorStyle {
public:
    explicit ColorStyle(QWidget* widget);

    void setTextColor(const QColor& c);
    void setBackgroundColor(const QColor& c);
    void setTransparent(bool on);
    void setBold(bool on);
    void setFontDescription(const QFont& font);
    void setToolTipText(const QString& text);

    QColor textColor() const { return text_; }
    QColor backgroundColor() const { return background_; }
    bool isTransparent() const { return transparent_; }

private:
    void apply();

    QWidget* widget_;
    QColor text_;
    QColor background_;
    bool transparent_ = true;
};

} // namespace dorvak
