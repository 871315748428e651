// Background effects and frames shared by markup tables and cells, the markup
// tooltip and the markup message box: solid fills, 64-band gradients and
// generated textures drawn through an 8-bit palette.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>

class QPainter;

namespace dorvak {

// A background effect: the bgeffect attribute's names and numbers, and the
// hosts' background settings. A number in C notation may give any value:
// below 0 paints nothing, above Metal fills solid.
enum class Effect : int {
    Transparent = -1,
    Solid = 0,
    HGradient = 1,
    VGradient = 2,
    HCGradient = 3,
    VCGradient = 4,
    ThreeHGradient = 5,
    ThreeVGradient = 6,
    Noise = 7,
    DiagShade = 8,
    HShade = 9,
    VShade = 10,
    HBump = 11,
    VBump = 12,
    SoftBump = 13,
    HardBump = 14,
    Metal = 15,
};

// Border styles of tables, cells and drawFrame (the numbers are the
// renderer's own and show in no attribute).
enum class BorderStyle : int {
    None = 0,
    Solid = 1,
    Dashed = 2,
    Dotted = 3,
    Double = 6,
};

// Reads a bgeffect value: one of the effect names ("solid", "hgradient", ...)
// or a number in C notation. Returns `fallback` for an empty value.
Effect parseBackgroundEffect(const QByteArray& value, Effect fallback);

// Paints `effect` over `rect`. Numbers below 0 paint nothing, numbers above 15
// fill solid with `start`. `granularity` is the texture noise range g (tables
// and cells use 5, the message box 0); it is clamped to 0..63. Textures are
// deterministic for a given size and effect so repaints do not shimmer.
void drawBackgroundEffect(QPainter& painter, const QRect& rect, Effect effect, QColor start,
                          QColor middle, QColor end, int granularity);

// Renders the texture effects (7..15) into an image of the rect's size; the
// other effects are drawn straight by drawBackgroundEffect. Exposed for tests
// and for hosts that cache their backgrounds.
QImage renderTexture(QSize size, Effect effect, QColor start, QColor middle, QColor end,
                     int granularity);

// Draws a frame: left edge (bottom to top) and top edge in `first`, right edge
// (top to bottom) and bottom edge in `second`, each line `width` pixels wide
// and inset by half of it. Double draws a second frame 2 x width further in.
// Nothing is drawn for style none or width <= 0.
void drawFrame(QPainter& painter, const QRect& rect, QColor first, QColor second,
               BorderStyle borderStyle, int width);

} // namespace dorvak
