// Colour values of the markup: "#rrggbb", C-notation numbers laid out
// 0x00BBGGRR, and a table of named colours (the web names and the desktop's
// own colours, read from the application palette when the table is built).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRgb>

namespace dorvak {

class ColorTable {
public:
    ColorTable(); // builds the names; system colours come from the current palette
    // Looks a name up case-sensitively.
    bool lookup(const QByteArray& name, QRgb* out) const;
    int size() const { return static_cast<int>(names_.size()); }

private:
    QHash<QByteArray, QRgb> names_;
};

// Converts a 0x00BBGGRR value to QRgb.
inline QRgb RgbFromBgr(unsigned long long value) {
    return qRgb(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

// Parses a colour value. Empty values and unknown names keep `fallback`.
// While `enabled` is false every lookup returns `disabled`.
QRgb ParseMarkupColor(const QByteArray& value, QRgb fallback, const ColorTable& table, bool enabled,
                      QRgb disabled);

// The palette colour that stands for the desktop's button-shadow colour.
QRgb SystemButtonShadowColor();

} // namespace dorvak
