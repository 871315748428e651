// Color values of the markup: "#rrggbb", C-notation numbers laid out
// 0x00BBGGRR, and a table of named colors (the web names and the desktop's
// own colors, read from the application palette when the table is built).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRgb>

namespace dorvak {

class ColorTable {
public:
    ColorTable(); // builds the names; system colors come from the current palette
    // Looks a name up case-sensitively.
    bool lookup(const QByteArray& name, QRgb* out) const;
    int size() const { return static_cast<int>(names_.size()); }

private:
    QHash<QByteArray, QRgb> names_;
};

// Converts a 0x00BBGGRR value to QRgb.
inline QRgb rgbFromBgr(unsigned long long value) {
    return qRgb(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

// Parses a color value. Empty values and unknown names keep `fallback`.
// While `enabled` is false every lookup returns `disabled`.
QRgb parseMarkupColor(const QByteArray& value, QRgb fallback, const ColorTable& table, bool enabled,
                      QRgb disabled);

// The palette color that stands for the desktop's button-shadow color.
QRgb systemButtonShadowColor();

} // namespace dorvak
