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

// Effect numbers (the bgeffect attribute and the host's background settings).
enum BackgroundEffectNumber : int {
    kEffectTransparent = -1,
    kEffectSolid = 0,
    kEffectHGradient = 1,
    kEffectVGradient = 2,
    kEffectHCGradient = 3,
    kEffectVCGradient = 4,
    kEffect3HGradient = 5,
    kEffect3VGradient = 6,
    kEffectNoise = 7,
    kEffectDiagShade = 8,
    kEffectHShade = 9,
    kEffectVShade = 10,
    kEffectHBump = 11,
    kEffectVBump = 12,
    kEffectSoftBump = 13,
    kEffectHardBump = 14,
    kEffectMetal = 15,
};

// Border styles of tables, cells and DrawFrame.
enum BorderStyle : int {
    kBorderNone = 0,
    kBorderSolid = 1,
    kBorderDashed = 2,
    kBorderDotted = 3,
    kBorderDouble = 6,
};

// Reads a bgeffect value: one of the effect names ("solid", "hgradient", ...)
// or a number in C notation. Returns `fallback` for an empty value.
int ParseBackgroundEffect(const QByteArray& value, int fallback);

// Paints `effect` over `rect`. Numbers below 0 paint nothing, numbers above 15
// fill solid with `start`. `granularity` is the texture noise range g (tables
// and cells use 5, the message box 0); it is clamped to 0..63. Textures are
// deterministic for a given size and effect so repaints do not shimmer.
void DrawBackgroundEffect(QPainter& painter, const QRect& rect, int effect, QColor start,
                          QColor middle, QColor end, int granularity);

// Renders the texture effects (7..15) into an image of the rect's size; the
// other effects are drawn straight by DrawBackgroundEffect. Exposed for tests
// and for hosts that cache their backgrounds.
QImage RenderTexture(QSize size, int effect, QColor start, QColor middle, QColor end,
                     int granularity);

// Draws a frame: left edge (bottom to top) and top edge in `first`, right edge
// (top to bottom) and bottom edge in `second`, each line `width` pixels wide
// and inset by half of it. Double draws a second frame 2 x width further in.
// Nothing is drawn for style none or width <= 0.
void DrawFrame(QPainter& painter, const QRect& rect, QColor first, QColor second, int borderStyle,
               int width);

} // namespace dorvak
