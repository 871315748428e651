// TransparentStatic: static text over a skinned background. Setting a new
// text repaints the parent under the label at once, so nothing of a longer
// old text stays behind on the skin.
#pragma once

#include <QLabel>

namespace dorvak {

class TransparentStatic : public QLabel {
    Q_OBJECT
public:
    explicit TransparentStatic(const QString& text = QString(), QWidget* parent = nullptr);

    // Hides QLabel::setText so callers holding a TransparentStatic get the
    // parent repaint.
    void setText(const QString& text);
};

} // namespace dorvak
