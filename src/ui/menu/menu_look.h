// Which of the two menu looks is used, and the measurements both share.
//
// The program has a look setting for a themed desktop (1, the flat look) and
// one for every other case (0, the classic look); it never changes them. A
// desktop counts as themed when it is the XP generation with a theme other
// than "Windows Classic". On Linux the desktop is always a themed one, so
// the flat look is used unless the display is palette-based.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>

namespace dorvak {

enum class MenuLook { Classic = 0, Flat = 1 };

enum class SystemKind { Win95, Win98, WinME, NT4, Win2000, XP, Other };

constexpr int kLookSettingThemed = 1; // XP with a visual theme
constexpr int kLookSettingOther = 0;  // everything else
// The program-wide "wide image column" option is on: the flat look pads the
// image column and the item height by 7 instead of 4.
constexpr int kFlatPadding = 7;
constexpr int kClassicPadding = 4;

// True when the theme file name ends, case-insensitively, in
// "Windows Classic.theme".
bool isClassicThemeFile(const QString& themeFile);

// The look for a system kind, its current theme file and the display.
MenuLook chooseMenuLook(SystemKind kind, const QString& themeFile, bool paletteDisplay);

// The look of this process, worked out once and kept.
MenuLook currentMenuLook();
// True when the current system counts as a themed desktop (XP with a theme).
bool isThemedDesktop();

inline int lookPadding(MenuLook look) {
    return look == MenuLook::Flat ? kFlatPadding : kClassicPadding;
}

// The system's menu font and the height of the menu bar in it.
QFont systemMenuFont();
int systemMenuBarHeight();

// Derives the image of a disabled item: every pixel that is not the
// button-face color is lightened 30 percent toward white.
QImage disabledMenuImage(const QImage& image, const QColor& buttonFace);

} // namespace dorvak
