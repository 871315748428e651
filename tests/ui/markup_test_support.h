// Helpers shared by the markup tests: render a text into a white QImage and
// look at its pixels.
#pragma once

#include <QImage>
#include <QPainter>

#include "ui/markup/markup_renderer.h"

namespace dorvak::test {

// Prepares `markup` on an image surface and draws it at the measured size
// (or into `size` when given) over white.
inline QImage Render(MarkupRenderer& r, const QByteArray& markup, QSize size = QSize()) {
    QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
    const QSize measured = r.Prepare(&probe, markup);
    if (!size.isValid()) size = measured;
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    r.Draw(p, QRect(QPoint(0, 0), size));
    return image;
}

inline QImage Render(const QByteArray& markup, QSize size = QSize()) {
    MarkupRenderer r;
    return Render(r, markup, size);
}

inline int CountPixels(const QImage& image, QRgb color, const QRect& area = QRect()) {
    const QRect a = area.isNull() ? image.rect() : area.intersected(image.rect());
    int n = 0;
    for (int y = a.top(); y <= a.bottom(); ++y)
        for (int x = a.left(); x <= a.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) ++n;
    return n;
}

inline int CountNonWhite(const QImage& image) {
    return image.width() * image.height() - CountPixels(image, 0xFFFFFF);
}

} // namespace dorvak::test
