#include "ui/menu/menu_look.h"

#include "ui/controls/system_colors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

namespace dorvak {

bool isClassicThemeFile(const QString& themeFile) {
    return themeFile.endsWith(QLatin1String("Windows Classic.theme"), Qt::CaseInsensitive);
}

MenuLook chooseMenuLook(SystemKind kind, const QString& themeFile, bool paletteDisplay) {
    const bool themed = kind == SystemKind::XP && !isClassicThemeFile(themeFile);
    const int setting = themed ? kLookSettingThemed : kLookSettingOther;
    return setting == 1 && !paletteDisplay ? MenuLook::Flat : MenuLook::Classic;
}

bool isThemedDesktop() {
    return true;
}

MenuLook currentMenuLook() {
    static const MenuLook look = [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const bool palette = screen && screen->depth() <= 8;
        return chooseMenuLook(isThemedDesktop() ? SystemKind::XP : SystemKind::Other, QString(),
                              palette);
    }();
    return look;
}

QFont systemMenuFont() {
    return QApplication::font("QMenu");
}

int systemMenuBarHeight() {
    // The classic menu bar is the font's height plus 6 (19 pixels for an
    // 8-point font at 96 dpi).
    return QFontMetrics(systemMenuFont()).height() + 6;
}

QImage disabledMenuImage(const QImage& image, const QColor& buttonFace) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb face = buttonFace.rgb() & 0xFFFFFF;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == face || qAlpha(line[x]) == 0) continue;
            const QColor c = lightened(QColor::fromRgba(line[x]), 0.3);
            line[x] = qRgba(c.red(), c.green(), c.blue(), qAlpha(line[x]));
        }
    }
    return out;
}

} // namespace dorvak
