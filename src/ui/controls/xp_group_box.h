// XPGroupBox: a group box drawn either as a plain frame whose top edge the
// caption interrupts, or as a rounded panel with a colored caption band over
// a body color.
#pragma once

#include <QColor>
#include <QWidget>

namespace dorvak {

class XPGroupBox : public QWidget {
    Q_OBJECT
public:
    enum class Style { Framed, Band };
    enum Alignment { Left = 0, Centre = 1, Right = 2 };

    explicit XPGroupBox(const QString& caption = QString(), QWidget* parent = nullptr);

    void setCaption(const QString& text);
    void setCaptionAlignment(int alignment);
    void setBoxStyle(Style style);
    void setBorderColor(const QColor& c);
    void setCaptionBandColor(const QColor& c);
    void setBodyColor(const QColor& c);
    void setCaptionFont(const QFont& f);

    QString caption() const { return caption_; }
    Style boxStyle() const { return style_; }
    // Height of the caption band (caption height + 4); children are laid out
    // below it through the contents margins.
    int captionBandHeight() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void updateMargins();
    QRect captionRect(const QRect& box, int textWidth, int textHeight) const;

    QString caption_;
    int alignment_ = Left;
    Style style_ = Style::Framed;
    QColor border_;
    QColor band_;
    QColor body_;
};

} // namespace dorvak
