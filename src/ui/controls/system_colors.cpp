#include "ui/controls/system_colors.h"

#include <QApplication>
#include <QPalette>

namespace dorvak {

QColor systemColor(SystemColor which) {
    const QPalette pal = QApplication::palette();
    switch (which) {
    case SystemColor::ButtonFace:
        return pal.color(QPalette::Button);
    case SystemColor::ButtonHighlight:
        return pal.color(QPalette::Light);
    case SystemColor::ButtonShadow:
        return pal.color(QPalette::Mid);
    case SystemColor::ButtonText:
        return pal.color(QPalette::ButtonText);
    case SystemColor::Window:
        return pal.color(QPalette::Base);
    case SystemColor::WindowText:
        return pal.color(QPalette::Text);
    case SystemColor::Highlight:
        return pal.color(QPalette::Highlight);
    case SystemColor::HighlightText:
        return pal.color(QPalette::HighlightedText);
    case SystemColor::GrayText:
        return pal.color(QPalette::Disabled, QPalette::Text);
    case SystemColor::Menu:
        return pal.color(QPalette::Window);
    case SystemColor::MenuText:
        return pal.color(QPalette::WindowText);
    case SystemColor::InfoBackground:
        return pal.color(QPalette::ToolTipBase);
    case SystemColor::InfoText:
        return pal.color(QPalette::ToolTipText);
    }
    return pal.color(QPalette::Window);
}

QColor lightened(const QColor& c, double f) {
    if (!(f > 0.0 && f <= 1.0)) return c;
    auto up = [f](int v) { return int(v + f * (255 - v)); };
    return QColor(up(c.red()), up(c.green()), up(c.blue()), c.alpha());
}

} // namespace dorvak
