#include "ui/controls/transparent_static.h"

namespace dorvak {

TransparentStatic::TransparentStatic(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAutoFillBackground(false);
}

void TransparentStatic::setText(const QString& text) {
    QLabel::setText(text);
    if (QWidget* parent = parentWidget(); parent && isVisible())
        parent->repaint(geometry());
    else
        update();
}

} // namespace dorvak
