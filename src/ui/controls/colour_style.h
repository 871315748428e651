// The colour settings shared by the coloured label and the coloured check
// box: text colour, background colour, transparency, weight and font, applied
// to the widget's palette and font (Qt's counterpart of answering the
// platform's colour query).
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace dorvak {

class ColourStyle {
public:
    explicit ColourStyle(QWidget* widget);

    void setTextColour(const QColor& c);
    void setBackgroundColour(const QColor& c);
    void setTransparent(bool on);
    void setBold(bool on);
    void setFontDescription(const QFont& font);
    void setToolTipText(const QString& text);

    QColor textColour() const { return text_; }
    QColor backgroundColour() const { return background_; }
    bool isTransparent() const { return transparent_; }

private:
    void apply();

    QWidget* widget_;
    QColor text_;
    QColor background_;
    bool transparent_ = true;
};

} // namespace dorvak
