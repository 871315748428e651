#include "ui/controls/system_colours.h"

#include <QApplication>
#include <QPalette>

namespace dorvak {

QColor systemColour(SystemColour which) {
    const QPalette pal = QApplication::palette();
    switch (which) {
    case SystemColour::ButtonFace:
        return pal.color(QPalette::Button);
    case SystemColour::ButtonHighlight:
        return pal.color(QPalette::Light);
    case SystemColour::ButtonShadow:
        return pal.color(QPalette::Mid);
    case SystemColour::ButtonText:
        return pal.color(QPalette::ButtonText);
    case SystemColour::Window:
        return pal.color(QPalette::Base);
    case SystemColour::WindowText:
        return pal.color(QPalette::Text);
    case SystemColour::Highlight:
        return pal.color(QPalette::Highlight);
    case SystemColour::HighlightText:
        return pal.color(QPalette::HighlightedText);
    case SystemColour::GrayText:
        return pal.color(QPalette::Disabled, QPalette::Text);
    case SystemColour::Menu:
        return pal.color(QPalette::Window);
    case SystemColour::MenuText:
        return pal.color(QPalette::WindowText);
    case SystemColour::InfoBackground:
        return pal.color(QPalette::ToolTipBase);
    case SystemColour::InfoText:
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
