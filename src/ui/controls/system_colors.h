// The window system's named colors on Qt: each maps to a role of the
// application palette, read when asked so a palette change is followed.
// Also the 0x00BBGGRR color values the program's interfaces use.
#pragma once

#include <QColor>
#include <QtGlobal>

namespace dorvak {

enum class SystemColor {
    ButtonFace,      // dialog and button background
    ButtonHighlight, // light edge of 3-D frames
    ButtonShadow,    // dark edge of 3-D frames
    ButtonText,
    Window, // background of edit fields, lists and menus' text area
    WindowText,
    Highlight, // selection
    HighlightText,
    GrayText, // disabled text
    Menu,
    MenuText,
    InfoBackground, // tooltip background
    InfoText,
};

QColor systemColor(SystemColor which);

// 0x00BBGGRR (red in the low byte) to and from QColor.
inline QColor fromColorRef(quint32 ref) {
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}
inline quint32 toColorRef(const QColor& c) {
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

// Moves each channel `f` of the way toward white: c + f * (255 - c).
// Factors outside 0 < f <= 1 leave the color unchanged.
QColor lightened(const QColor& c, double f);

} // namespace dorvak
