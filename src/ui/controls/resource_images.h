// The program's pictures by number, from the generated resources.
#pragma once

#include <QImage>
#include <QString>

namespace dorvak {

// :/bitmaps/<number>.png, or a null image when there is none.
QImage loadBitmapResource(int number);
// :/icons/<number>.png (32 x 32) or, with small, :/icons/16/<number>.png.
QImage loadIconResource(int number, bool small = false);
// :/strings/<number>.txt as 8-bit text; empty when missing.
QByteArray loadStringResource(int number);

} // namespace dorvak
