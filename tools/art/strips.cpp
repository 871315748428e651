// Button strips, menu images, icons and the animated strip. A strip holds two
// frames side by side: normal at x = 0, pressed at x = frame width.
#include "pictures.h"

#include "palette.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace art {
namespace {

QImage transparent(QSize size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

QFont labelFont(int pixels, bool bold = false) {
    QFont f("Liberation Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// Rounded "card" behind a toolbar button when it is hot or pressed.
void card(QPainter& p, const QRectF& r, bool pressed) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    if (pressed) {
        g.setColorAt(0, QColor(0xCF, 0xDD, 0xF2));
        g.setColorAt(1, QColor(0xE3, 0xEC, 0xF8));
    } else {
        g.setColorAt(0, QColor(0xFB, 0xFD, 0xFF));
        g.setColorAt(1, QColor(0xE4, 0xEE, 0xFB));
    }
    p.setPen(QPen(pressed ? QColor(0x7E, 0x9F, 0xD2) : QColor(0xAE, 0xC6, 0xEA), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 6, 6);
}

void toolbarFrame(QPainter& p, const QRect& frame, Glyph glyph, const QString& label, bool hot,
                  bool pressed) {
    const Palette& c = palette();
    if (hot || pressed) card(p, QRectF(frame).adjusted(1.5, 1.5, -1.5, -1.5), pressed);
    const int shift = pressed ? 1 : 0;
    const double side = 36;
    drawGlyph(p, glyph,
              QRectF(frame.left() + (frame.width() - side) / 2 + shift, frame.top() + 6 + shift,
                     side, side));
    p.setFont(labelFont(11));
    p.setPen(c.ink);
    p.drawText(QRect(frame.left() + shift, frame.top() + 46 + shift, frame.width(), 16),
               Qt::AlignHCenter | Qt::AlignTop, label);
}

void roundFrame(QPainter& p, const QRect& frame, Glyph glyph, const QString& label,
                const QColor& base, bool hot, bool pressed) {
    const Palette& c = palette();
    const int shift = pressed ? 1 : 0;
    const QPointF centre(frame.left() + frame.width() / 2.0 + shift, frame.top() + 18.5 + shift);
    const double r = 15.5;
    if (hot && !pressed) {
        QColor glow = base;
        glow.setAlpha(60);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(centre, r + 2.5, r + 2.5);
    }
    QRadialGradient g(centre - QPointF(5, 7), r * 1.8);
    const QColor face = pressed ? base.darker(115) : hot ? base.lighter(112) : base;
    g.setColorAt(0, face.lighter(140));
    g.setColorAt(1, face);
    p.setPen(QPen(base.darker(150), 1));
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
    if (glyph == Glyph::Stop) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(centre.x() - 6, centre.y() - 6, 12, 12), 2, 2);
    } else {
        drawGlyph(p, glyph, QRectF(centre.x() - 11, centre.y() - 11, 22, 22));
    }
    p.setFont(labelFont(11, true));
    p.setPen(c.ink);
    p.drawText(QRect(frame.left() + shift, frame.top() + 35 + shift, frame.width(), 14),
               Qt::AlignHCenter | Qt::AlignTop, label);
}

template <typename Draw> QImage strip(QSize frame, Draw draw) {
    QImage img = transparent(QSize(frame.width() * 2, frame.height()));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p, QRect(QPoint(0, 0), frame), false);
    draw(p, QRect(QPoint(frame.width(), 0), frame), true);
    return img;
}

} // namespace

QImage toolbarStrip(Glyph glyph, const QString& label, bool hot) {
    return strip(QSize(68, 68), [&](QPainter& p, const QRect& f, bool pressed) {
        toolbarFrame(p, f, glyph, label, hot, pressed);
    });
}

QImage roundButtonStrip(Glyph glyph, const QString& label, const QColor& base, bool hot) {
    return strip(QSize(50, 49), [&](QPainter& p, const QRect& f, bool pressed) {
        roundFrame(p, f, glyph, label, base, hot, pressed);
    });
}

QImage helpStrip() {
    return strip(QSize(17, 20), [](QPainter& p, const QRect& f, bool pressed) {
        const int shift = pressed ? 1 : 0;
        p.save();
        if (pressed) p.setOpacity(0.8);
        drawGlyph(p, Glyph::Help, QRectF(f.left() + 0.5 + shift, f.top() + 2 + shift, 16, 16));
        p.restore();
    });
}

QImage homeStrip() {
    return strip(QSize(137, 57), [](QPainter& p, const QRect& f, bool pressed) {
        const Palette& c = palette();
        const int shift = pressed ? 1 : 0;
        card(p, QRectF(f).adjusted(1.5, 4.5, -1.5, -4.5), pressed);
        drawGlyph(p, Glyph::Home, QRectF(f.left() + 10 + shift, f.top() + 13 + shift, 30, 30));
        p.setPen(c.ink);
        p.setFont(labelFont(11));
        p.drawText(QRect(f.left() + 46 + shift, f.top() + 14 + shift, 86, 14), Qt::AlignLeft,
                   "Visit our");
        p.setFont(labelFont(13, true));
        p.setPen(c.blueDark);
        p.drawText(QRect(f.left() + 46 + shift, f.top() + 28 + shift, 88, 16), Qt::AlignLeft,
                   "home page");
    });
}

QImage buyStrip() {
    return strip(QSize(116, 23), [](QPainter& p, const QRect& f, bool pressed) {
        const Palette& c = palette();
        const int shift = pressed ? 1 : 0;
        QRectF pill = QRectF(f).adjusted(0.5, 0.5, -0.5, -0.5);
        QLinearGradient g(pill.topLeft(), pill.bottomLeft());
        const QColor base = pressed ? c.orange.darker(112) : c.orange;
        g.setColorAt(0, base.lighter(125));
        g.setColorAt(1, base);
        p.setPen(QPen(c.orange.darker(150), 1));
        p.setBrush(g);
        p.drawRoundedRect(pill, 11, 11);
        drawGlyph(p, Glyph::Buy, QRectF(f.left() + 9 + shift, f.top() + 3.5 + shift, 16, 16));
        p.setPen(Qt::white);
        p.setFont(labelFont(12, true));
        p.drawText(QRect(f.left() + 28 + shift, f.top() + shift, f.width() - 34, f.height()),
                   Qt::AlignCenter, "Buy Online");
    });
}

QImage scanStrip() {
    const Palette& c = palette();
    const int frames = 8;
    QImage art = transparent(QSize(32 * frames, 32));
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < frames; ++i) {
            const QPointF centre(32 * i + 16, 16);
            QRadialGradient platter(centre - QPointF(4, 4), 16);
            platter.setColorAt(0, Qt::white);
            platter.setColorAt(1, QColor(0xAE, 0xB9, 0xCB));
            p.setPen(QPen(c.ink, 1.2));
            p.setBrush(platter);
            p.drawEllipse(centre, 14, 14);
            // The lit sector sweeps round once over the eight frames.
            QColor lit = c.blue;
            lit.setAlpha(200);
            p.setPen(Qt::NoPen);
            p.setBrush(lit);
            p.drawPie(QRectF(centre.x() - 12.5, centre.y() - 12.5, 25, 25), (90 - i * 45) * 16,
                      -50 * 16);
            p.setBrush(Qt::white);
            p.setPen(QPen(c.ink, 1));
            p.drawEllipse(centre, 3.2, 3.2);
            const double a = (i * 45 - 90 + 25) * M_PI / 180;
            p.setPen(QPen(c.orange, 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(centre + QPointF(std::cos(a), std::sin(a)) * 5,
                       centre + QPointF(std::cos(a), std::sin(a)) * 11);
        }
    }
    // The renderer keys out magenta; edges are thresholded so no pink fringe
    // survives the mask.
    QImage out(art.size(), QImage::Format_RGB32);
    for (int y = 0; y < art.height(); ++y)
        for (int x = 0; x < art.width(); ++x) {
            const QColor px = QColor::fromRgba(art.pixel(x, y));
            const QColor flat = QColor::fromRgb(qUnpremultiply(art.pixel(x, y)));
            out.setPixel(x, y, px.alpha() >= 128 ? flat.rgb() : qRgb(255, 0, 255));
        }
    return out;
}

QImage glyphImage(Glyph glyph, int size) {
    QImage img = transparent(QSize(size, size));
    QPainter p(&img);
    drawGlyph(p, glyph, QRectF(0, 0, size, size));
    return img;
}

QImage appIcon(int size) {
    const Palette& c = palette();
    QImage img = transparent(QSize(size, size));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double k = size / 32.0;
    QRectF tile(1 * k, 1 * k, 30 * k, 30 * k);
    QLinearGradient g(tile.topLeft(), tile.bottomLeft());
    g.setColorAt(0, c.blue.lighter(120));
    g.setColorAt(1, c.blueDark);
    p.setPen(QPen(c.blueDark.darker(130), k));
    p.setBrush(g);
    p.drawRoundedRect(tile, 6 * k, 6 * k);
    drawGlyph(p, Glyph::AppMark, QRectF(3 * k, 3 * k, 26 * k, 26 * k));
    return img;
}

} // namespace art
