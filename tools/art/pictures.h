// Picture builders of the artwork generator: skins, button strips, menu
// images, icons and the animated strip. Each returns a finished image.
#pragma once

#include "glyphs.h"

#include <QImage>
#include <QString>

namespace art {

// Calm dialog backgrounds. `kind` picks the decoration: 0 the main window
// (a header band for the toolbar), 1 a plain dialog, 2 the About box.
QImage skin(QSize size, int kind);

// A push-button strip of two equal frames, normal then pressed, as the hover
// button draws it. `hot` is the variant shown while the mouse is over it.
QImage toolbarStrip(Glyph glyph, const QString& label, bool hot);
QImage roundButtonStrip(Glyph glyph, const QString& label, const QColor& base, bool hot);
QImage helpStrip();
QImage homeStrip();
QImage buyStrip();

// The 32 x 32 animated strip (8 frames) on the magenta mask color.
QImage scanStrip();

// A glyph alone on a transparent square.
QImage glyphImage(Glyph glyph, int size);

// The program icon: the platter mark on a rounded blue tile.
QImage appIcon(int size);

} // namespace art
