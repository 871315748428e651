// Skins: soft vertical gradients with a little decoration kept to the edges,
// so dialog text and controls on top stay readable.
#include "pictures.h"

#include "palette.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace art {
namespace {

void cornerRings(QPainter& p, QSize size, double scale) {
    const Palette& c = palette();
    QColor ring = c.blue;
    p.setBrush(Qt::NoBrush);
    const QPointF centre(size.width() + 20 * scale, size.height() + 30 * scale);
    for (int i = 0; i < 4; ++i) {
        ring.setAlpha(22 - i * 4);
        p.setPen(QPen(ring, 10 * scale));
        const double r = (70 + i * 38) * scale;
        p.drawEllipse(centre, r, r);
    }
}

void headerBand(QPainter& p, QSize size, int height) {
    const Palette& c = palette();
    QLinearGradient band(0, 0, 0, height);
    band.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    band.setColorAt(1, QColor(0xEC, 0xF2, 0xFA));
    p.fillRect(QRect(0, 0, size.width(), height), band);
    p.setPen(QPen(QColor(0xC6, 0xD3, 0xE6), 1));
    p.drawLine(0, height, size.width(), height);
    QLinearGradient accent(0, 0, size.width(), 0);
    accent.setColorAt(0, c.blue);
    accent.setColorAt(1, c.teal);
    p.fillRect(QRect(0, 0, size.width(), 3), accent);
}

} // namespace

QImage skin(QSize size, int kind) {
    const Palette& c = palette();
    QImage img(size, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, size.height());
    g.setColorAt(0, c.skinTop);
    g.setColorAt(1, c.skinBottom);
    p.fillRect(img.rect(), g);
    if (kind == 0) {
        headerBand(p, size, 92);
        cornerRings(p, size, 1.0);
    } else if (kind == 1) {
        QLinearGradient accent(0, 0, size.width(), 0);
        accent.setColorAt(0, c.blue);
        accent.setColorAt(1, c.teal);
        p.fillRect(QRect(0, 0, size.width(), 2), accent);
        cornerRings(p, size, size.height() < 200 ? 0.45 : 0.8);
    } else {
        headerBand(p, size, 64);
        // The watermark is drawn as one layer so overlapping strokes do not
        // show through each other.
        p.setOpacity(0.10);
        p.drawImage(QPoint(size.width() - 190, size.height() - 190),
                    glyphImage(Glyph::AppMark, 220));
        p.setOpacity(1);
        drawGlyph(p, Glyph::AppMark, QRectF(16, 12, 42, 42));
    }
    return img;
}

} // namespace art
