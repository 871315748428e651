// The glyph set. Every glyph is drawn on a 16 x 16 grid with the palette's ink
// outline (0.9 units) so small and large renderings keep the same weight.
#include "glyphs.h"

#include "palette.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace art {
namespace {

constexpr double kLine = 0.9;

QPen outline(const QColor& c = palette().ink, double w = kLine) {
    QPen pen(c, w);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

QBrush vgrad(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

void shape(QPainter& p, const QPainterPath& path, const QBrush& fill,
           const QColor& line = palette().ink) {
    p.setPen(outline(line));
    p.setBrush(fill);
    p.drawPath(path);
}

QPainterPath roundRect(const QRectF& r, double radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A thick arrow pointing down (dir 0), up (1), left (2) or right (3),
// centred on (cx, cy) with the given half length.
QPainterPath arrow(double cx, double cy, double half, int dir) {
    const double shaft = half * 0.42, head = half * 0.95, headLen = half * 0.9;
    QPainterPath path;
    path.moveTo(-shaft, -half);
    path.lineTo(shaft, -half);
    path.lineTo(shaft, half - headLen);
    path.lineTo(head, half - headLen);
    path.lineTo(0, half);
    path.lineTo(-head, half - headLen);
    path.lineTo(-shaft, half - headLen);
    path.closeSubpath();
    QTransform t;
    t.translate(cx, cy);
    t.rotate(dir == 0 ? 0 : dir == 1 ? 180 : dir == 2 ? 90 : -90);
    return t.map(path);
}

void drawDisk(QPainter& p) {
    const Palette& c = palette();
    QRectF body(1, 4.5, 14, 8);
    shape(p, roundRect(body, 2), vgrad(body, QColor(0xF2, 0xF4, 0xF8), QColor(0xB9, 0xC2, 0xD0)));
    p.setPen(outline(c.grey, 0.8));
    p.drawLine(QPointF(2.8, 9.8), QPointF(9.5, 9.8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3C, 0xD0, 0x6E));
    p.drawEllipse(QPointF(12.4, 9.8), 1.0, 1.0);
    p.setPen(outline(QColor(255, 255, 255, 200), 0.7));
    p.drawLine(QPointF(2.6, 6.2), QPointF(13.4, 6.2));
}

void drawComputer(QPainter& p) {
    const Palette& c = palette();
    QRectF screen(1, 1.5, 14, 9.5);
    shape(p, roundRect(screen, 1.2), QBrush(QColor(0xE9, 0xED, 0xF3)));
    QRectF glass(2.6, 3.1, 10.8, 6.3);
    p.setPen(Qt::NoPen);
    p.setBrush(vgrad(glass, c.blueLight, c.blue));
    p.drawRect(glass);
    QPainterPath stand;
    stand.moveTo(6.5, 11);
    stand.lineTo(9.5, 11);
    stand.lineTo(10.2, 13.3);
    stand.lineTo(5.8, 13.3);
    stand.closeSubpath();
    shape(p, stand, QBrush(c.greyLight));
    shape(p, roundRect(QRectF(3.5, 13.3, 9, 1.6), 0.8), QBrush(c.grey));
}

void drawFolderBack(QPainter& p) {
    const Palette& c = palette();
    QPainterPath back;
    back.moveTo(1, 3.5);
    back.lineTo(5.8, 3.5);
    back.lineTo(7.3, 5);
    back.lineTo(15, 5);
    back.lineTo(15, 13.5);
    back.lineTo(1, 13.5);
    back.closeSubpath();
    shape(p, back, QBrush(c.folderDark));
}

void drawFolder(QPainter& p) {
    const Palette& c = palette();
    drawFolderBack(p);
    QRectF front(1, 6.3, 14, 7.2);
    shape(p, roundRect(front, 0.8), vgrad(front, QColor(0xFF, 0xDA, 0x7A), c.folder));
}

void drawFolderOpen(QPainter& p) {
    const Palette& c = palette();
    drawFolderBack(p);
    p.setPen(outline(c.grey, 0.6));
    p.setBrush(c.paper);
    p.drawRect(QRectF(3, 4.2, 10, 6));
    QPainterPath front;
    front.moveTo(3.2, 7.3);
    front.lineTo(15.6, 7.3);
    front.lineTo(13.6, 13.5);
    front.lineTo(1, 13.5);
    front.closeSubpath();
    shape(p, front, vgrad(front.boundingRect(), QColor(0xFF, 0xDA, 0x7A), c.folder));
}

void drawTray(QPainter& p) {
    const Palette& c = palette();
    QPainterPath tray;
    tray.moveTo(1.2, 10);
    tray.lineTo(4.5, 10);
    tray.lineTo(5.5, 11.6);
    tray.lineTo(10.5, 11.6);
    tray.lineTo(11.5, 10);
    tray.lineTo(14.8, 10);
    tray.lineTo(14.8, 14.8);
    tray.lineTo(1.2, 14.8);
    tray.closeSubpath();
    shape(p, tray, vgrad(tray.boundingRect(), c.blueLight, c.blue), c.blueDark);
}

void drawDocument(QPainter& p, const QRectF& r) {
    const Palette& c = palette();
    QPainterPath doc;
    const double fold = r.width() * 0.32;
    doc.moveTo(r.left(), r.top());
    doc.lineTo(r.right() - fold, r.top());
    doc.lineTo(r.right(), r.top() + fold);
    doc.lineTo(r.right(), r.bottom());
    doc.lineTo(r.left(), r.bottom());
    doc.closeSubpath();
    shape(p, doc, QBrush(c.paper), c.grey);
    p.setPen(outline(c.greyLight, 0.7));
    for (double y = r.top() + fold + 1.2; y < r.bottom() - 0.8; y += 1.6)
        p.drawLine(QPointF(r.left() + 1.2, y), QPointF(r.right() - 1.2, y));
}

void drawRecover(QPainter& p, bool all) {
    const Palette& c = palette();
    if (all) {
        drawDocument(p, QRectF(2.2, 0.8, 7, 8.5));
        drawDocument(p, QRectF(6.8, 0.8, 7, 8.5));
    } else {
        drawDocument(p, QRectF(4.5, 0.8, 7, 8.5));
    }
    drawTray(p);
    shape(p, arrow(8, 6.6, 4.2, 0), QBrush(c.green), QColor(0x1E, 0x6E, 0x3A));
}

void drawFloppy(QPainter& p) {
    const Palette& c = palette();
    QPainterPath body;
    body.moveTo(1.5, 1.5);
    body.lineTo(12.5, 1.5);
    body.lineTo(14.5, 3.5);
    body.lineTo(14.5, 14.5);
    body.lineTo(1.5, 14.5);
    body.closeSubpath();
    shape(p, body, vgrad(body.boundingRect(), c.blue, c.blueDark), c.blueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(c.paper);
    p.drawRect(QRectF(3.5, 8.5, 9, 6));
    p.setBrush(QColor(0xDD, 0xE3, 0xEC));
    p.drawRect(QRectF(4.5, 1.5, 7, 4.2));
    p.setBrush(c.blueDark);
    p.drawRect(QRectF(9, 2.2, 1.6, 2.8));
    p.setPen(outline(c.greyLight, 0.6));
    p.drawLine(QPointF(5, 10.5), QPointF(11, 10.5));
    p.drawLine(QPointF(5, 12.3), QPointF(11, 12.3));
}

void drawLoad(QPainter& p) {
    drawFolderOpen(p);
    shape(p, arrow(11.6, 6, 4, 1), QBrush(palette().green), QColor(0x1E, 0x6E, 0x3A));
}

void drawMagnifier(QPainter& p, const QPointF& centre, double radius) {
    const Palette& c = palette();
    const double k = radius / 4.6;
    p.setPen(QPen(c.ink, 2.2 * k, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(3.3, 3.3) * k, centre + QPointF(7.4, 7.4) * k);
    p.setPen(QPen(c.orange, 1.3 * k, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(4.2, 4.2) * k, centre + QPointF(7.0, 7.0) * k);
    QRadialGradient glass(centre - QPointF(1.4, 1.4) * k, radius * 1.4);
    glass.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    glass.setColorAt(1, QColor(0xB9, 0xD5, 0xF7));
    p.setPen(outline(c.ink, 1.1 * k));
    p.setBrush(glass);
    p.drawEllipse(centre, radius, radius);
}

void drawGear(QPainter& p) {
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const double a = (i * 2 * M_PI) / (teeth * 4) - M_PI / 2;
        const bool outer = (i % 4 == 1) || (i % 4 == 2);
        const double r = outer ? 7.2 : 5.4;
        const QPointF pt(8 + r * std::cos(a), 8 + r * std::sin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(8, 8), 2.3, 2.3);
    shape(p, gear.subtracted(hole),
          vgrad(QRectF(0, 0, 16, 16), QColor(0xA9, 0xB3, 0xC4), QColor(0x5E, 0x6A, 0x80)));
}

void drawUpdate(QPainter& p) {
    const Palette& c = palette();
    QRadialGradient globe(QPointF(6.5, 5.5), 9);
    globe.setColorAt(0, c.blueLight);
    globe.setColorAt(1, c.blue);
    p.setPen(outline(c.blueDark));
    p.setBrush(globe);
    p.drawEllipse(QPointF(8, 8), 6.8, 6.8);
    p.setPen(outline(QColor(255, 255, 255, 150), 0.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8, 8), 3, 6.8);
    p.drawLine(QPointF(1.4, 8), QPointF(14.6, 8));
    // Refresh arrow sweeping round the lower right.
    QPen sweep(c.green, 2.0, Qt::SolidLine, Qt::FlatCap);
    p.setPen(sweep);
    p.drawArc(QRectF(4.2, 4.2, 11.2, 11.2), -100 * 16, 150 * 16);
    QPainterPath head;
    head.moveTo(12.2, 3.4);
    head.lineTo(15.8, 6.6);
    head.lineTo(11.4, 7.6);
    head.closeSubpath();
    shape(p, head, QBrush(c.green), QColor(0x1E, 0x6E, 0x3A));
}

void drawExit(QPainter& p) {
    const Palette& c = palette();
    QRectF frame(2, 1.5, 8, 13);
    shape(p, roundRect(frame, 0.4),
          vgrad(frame, QColor(0xC9, 0x8B, 0x55), QColor(0x93, 0x5A, 0x2E)));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF6, 0xD3, 0x6B));
    p.drawEllipse(QPointF(8.2, 8.4), 0.8, 0.8);
    shape(p, arrow(11.5, 8, 4, 3), QBrush(c.red), QColor(0x8E, 0x22, 0x1C));
}

void drawBadge(QPainter& p, const QPointF& centre, double r, const QColor& fill,
               const QString& text) {
    QRadialGradient g(centre - QPointF(r * 0.3, r * 0.4), r * 1.5);
    g.setColorAt(0, fill.lighter(135));
    g.setColorAt(1, fill);
    p.setPen(outline(fill.darker(150)));
    p.setBrush(g);
    p.drawEllipse(centre, r, r);
    // Text is laid out at 100 pixels and scaled down, so hinting at tiny
    // sizes does not shift the letter off centre.
    QFont unit("Liberation Sans");
    unit.setBold(true);
    unit.setPixelSize(100);
    p.save();
    p.translate(centre);
    p.scale(r * 1.5 / 100, r * 1.5 / 100);
    p.setFont(unit);
    p.setPen(Qt::white);
    p.drawText(QRectF(-60, -62, 120, 120), Qt::AlignCenter, text);
    p.restore();
}

void drawCart(QPainter& p) {
    const Palette& c = palette();
    QPainterPath basket;
    basket.moveTo(3.5, 4);
    basket.lineTo(15, 4);
    basket.lineTo(13.5, 10);
    basket.lineTo(5, 10);
    basket.closeSubpath();
    shape(p, basket, vgrad(basket.boundingRect(), QColor(0xFF, 0xC9, 0x78), c.orange),
          QColor(0x9A, 0x56, 0x0E));
    p.setPen(outline(c.ink, 1.1));
    p.setBrush(Qt::NoBrush);
    QPainterPath handle;
    handle.moveTo(0.8, 1.8);
    handle.lineTo(2.8, 1.8);
    handle.lineTo(5, 12);
    handle.lineTo(13.5, 12);
    p.drawPath(handle);
    p.setBrush(c.ink);
    p.drawEllipse(QPointF(6, 14), 1.1, 1.1);
    p.drawEllipse(QPointF(12.5, 14), 1.1, 1.1);
}

void drawBook(QPainter& p) {
    const Palette& c = palette();
    QRectF cover(2.5, 1, 11.5, 14);
    shape(p, roundRect(cover, 1), vgrad(cover, c.teal.lighter(125), c.teal), c.teal.darker(160));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF4, 0xF1, 0xE6));
    p.drawRect(QRectF(4.2, 12.2, 9.8, 1.8));
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawRect(QRectF(2.9, 1.4, 1.3, 13.2));
    p.setPen(outline(QColor(255, 255, 255, 220), 1.0));
    p.drawLine(QPointF(6.5, 5), QPointF(11.5, 5));
    p.drawLine(QPointF(6.5, 7.2), QPointF(10.5, 7.2));
}

void drawViewDetails(QPainter& p) {
    const Palette& c = palette();
    shape(p, roundRect(QRectF(1, 1.5, 14, 13), 1), QBrush(c.paper), c.grey);
    for (int row = 0; row < 4; ++row) {
        const double y = 3.8 + row * 2.9;
        p.setPen(Qt::NoPen);
        p.setBrush(row == 0 ? c.blue : c.folder);
        p.drawRect(QRectF(2.8, y - 0.9, 1.8, 1.8));
        p.setPen(outline(row == 0 ? c.ink : c.grey, 0.8));
        p.drawLine(QPointF(5.8, y), QPointF(9.8, y));
        p.drawLine(QPointF(11, y), QPointF(13.2, y));
    }
}

void drawViewIcons(QPainter& p) {
    const Palette& c = palette();
    const QColor fills[] = {c.blue, c.folder, c.teal, c.orange};
    for (int i = 0; i < 4; ++i) {
        QRectF r(1.5 + (i % 2) * 7, 1.5 + (i / 2) * 7, 6, 6);
        shape(p, roundRect(r, 1.2), vgrad(r, fills[i].lighter(130), fills[i]),
              fills[i].darker(160));
    }
}

void drawViewList(QPainter& p) {
    const Palette& c = palette();
    for (int col = 0; col < 2; ++col)
        for (int row = 0; row < 4; ++row) {
            const double x = 1.2 + col * 7.6, y = 2.5 + row * 3.5;
            p.setPen(outline(c.blueDark, 0.5));
            p.setBrush(c.blueLight);
            p.drawRect(QRectF(x, y - 1, 2, 2));
            p.setPen(outline(c.ink, 0.9));
            p.drawLine(QPointF(x + 3.2, y), QPointF(x + 6.2, y));
        }
}

void drawFunnel(QPainter& p) {
    const Palette& c = palette();
    QPainterPath f;
    f.moveTo(1, 2);
    f.lineTo(15, 2);
    f.lineTo(9.6, 8.5);
    f.lineTo(9.6, 14);
    f.lineTo(6.4, 12.4);
    f.lineTo(6.4, 8.5);
    f.closeSubpath();
    shape(p, f, vgrad(f.boundingRect(), c.blueLight, c.blue), c.blueDark);
    p.setPen(outline(QColor(255, 255, 255, 190), 0.7));
    p.drawLine(QPointF(3.2, 3.2), QPointF(12.8, 3.2));
}

void drawProperties(QPainter& p) {
    const Palette& c = palette();
    QRectF card(1.5, 1.5, 13, 13);
    shape(p, roundRect(card, 1.4), QBrush(c.paper), c.grey);
    p.setPen(Qt::NoPen);
    p.setBrush(c.blue);
    p.drawRect(QRectF(2, 2, 12, 3));
    for (int i = 0; i < 3; ++i) {
        const double y = 7.5 + i * 2.4;
        p.setBrush(c.teal);
        p.drawEllipse(QPointF(4, y), 0.8, 0.8);
        p.setPen(outline(c.grey, 0.8));
        p.drawLine(QPointF(5.8, y), QPointF(12.4, y));
        p.setPen(Qt::NoPen);
    }
}

void drawRename(QPainter& p) {
    const Palette& c = palette();
    QRectF field(0.8, 5, 14.4, 7);
    shape(p, roundRect(field, 1), QBrush(c.paper), c.grey);
    p.setPen(outline(c.ink, 0.9));
    p.drawLine(QPointF(2.5, 8.5), QPointF(6.5, 8.5));
    p.setPen(outline(c.blue, 0.9));
    p.drawLine(QPointF(8, 6.3), QPointF(8, 10.7));
    // Pencil across the corner.
    QPainterPath pencil;
    pencil.moveTo(9.6, 13.8);
    pencil.lineTo(10.2, 11.4);
    pencil.lineTo(15.2, 6.4);
    pencil.lineTo(16.4, 7.6);
    pencil.lineTo(11.4, 12.6);
    pencil.closeSubpath();
    shape(p, pencil, QBrush(c.orange), QColor(0x9A, 0x56, 0x0E));
}

void drawStop(QPainter& p) {
    const Palette& c = palette();
    QRectF sq(3.5, 3.5, 9, 9);
    shape(p, roundRect(sq, 1.5), vgrad(sq, c.red.lighter(125), c.red), c.red.darker(160));
}

void drawHome(QPainter& p) {
    const Palette& c = palette();
    QPainterPath roof;
    roof.moveTo(8, 1);
    roof.lineTo(15.5, 7.8);
    roof.lineTo(13.4, 7.8);
    roof.lineTo(8, 3);
    roof.lineTo(2.6, 7.8);
    roof.lineTo(0.5, 7.8);
    roof.closeSubpath();
    QPainterPath walls;
    walls.moveTo(3.5, 7.2);
    walls.lineTo(8, 3.2);
    walls.lineTo(12.5, 7.2);
    walls.lineTo(12.5, 14.5);
    walls.lineTo(3.5, 14.5);
    walls.closeSubpath();
    shape(p, walls, QBrush(c.paper), c.grey);
    p.setPen(Qt::NoPen);
    p.setBrush(c.blue);
    p.drawRect(QRectF(6.6, 9.6, 2.8, 4.9));
    shape(p, roof, QBrush(c.orange), QColor(0x9A, 0x56, 0x0E));
}

void drawDriveInfo(QPainter& p) {
    drawDisk(p);
    drawBadge(p, QPointF(11.8, 4.2), 3.6, palette().blue, "i");
}

void drawAppMark(QPainter& p) {
    const Palette& c = palette();
    // Platter seen from above with the recovery arrow round it.
    QRadialGradient platter(QPointF(6.5, 6.5), 9);
    platter.setColorAt(0, QColor(0xFF, 0xFF, 0xFF));
    platter.setColorAt(0.7, QColor(0xD3, 0xDA, 0xE6));
    platter.setColorAt(1, QColor(0xA4, 0xAF, 0xC2));
    p.setPen(outline(c.ink, 0.8));
    p.setBrush(platter);
    p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
    p.setBrush(c.blue);
    p.drawEllipse(QPointF(8, 8), 1.6, 1.6);
    p.setPen(QPen(c.green, 1.6, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3.6, 3.6, 8.8, 8.8), 200 * 16, 230 * 16);
    QPainterPath head;
    head.moveTo(2.4, 4.6);
    head.lineTo(6.2, 5.0);
    head.lineTo(3.6, 7.9);
    head.closeSubpath();
    shape(p, head, QBrush(c.green), QColor(0x1E, 0x6E, 0x3A));
}

} // namespace

void drawGlyph(QPainter& p, Glyph glyph, const QRectF& box) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(box.topLeft());
    p.scale(box.width() / 16.0, box.height() / 16.0);
    const Palette& c = palette();
    switch (glyph) {
    case Glyph::Disk:
        drawDisk(p);
        break;
    case Glyph::Computer:
        drawComputer(p);
        break;
    case Glyph::Folder:
        drawFolder(p);
        break;
    case Glyph::FolderOpen:
        drawFolderOpen(p);
        break;
    case Glyph::Recover:
        drawRecover(p, false);
        break;
    case Glyph::RecoverAll:
        drawRecover(p, true);
        break;
    case Glyph::SaveScan:
        drawFloppy(p);
        break;
    case Glyph::LoadScan:
        drawLoad(p);
        break;
    case Glyph::Find:
        drawMagnifier(p, QPointF(6.4, 6.4), 4.6);
        break;
    case Glyph::Settings:
        drawGear(p);
        break;
    case Glyph::Update:
        drawUpdate(p);
        break;
    case Glyph::Exit:
        drawExit(p);
        break;
    case Glyph::About:
        drawBadge(p, QPointF(8, 8), 6.8, c.blue, "i");
        break;
    case Glyph::Buy:
        drawCart(p);
        break;
    case Glyph::Contents:
        drawBook(p);
        break;
    case Glyph::ViewDetails:
        drawViewDetails(p);
        break;
    case Glyph::ViewIcons:
        drawViewIcons(p);
        break;
    case Glyph::ViewList:
        drawViewList(p);
        break;
    case Glyph::DriveInfo:
        drawDriveInfo(p);
        break;
    case Glyph::Filter:
        drawFunnel(p);
        break;
    case Glyph::Open:
        drawFolderOpen(p);
        break;
    case Glyph::Properties:
        drawProperties(p);
        break;
    case Glyph::Rename:
        drawRename(p);
        break;
    case Glyph::Back:
        shape(p, arrow(8, 8, 5.5, 2), QBrush(c.paper), QColor(255, 255, 255, 0));
        break;
    case Glyph::Next:
        shape(p, arrow(8, 8, 5.5, 3), QBrush(c.paper), QColor(255, 255, 255, 0));
        break;
    case Glyph::Stop:
        drawStop(p);
        break;
    case Glyph::Home:
        drawHome(p);
        break;
    case Glyph::Help:
        drawBadge(p, QPointF(8, 8), 6.8, c.blue, "?");
        break;
    case Glyph::AppMark:
        drawAppMark(p);
        break;
    }
    p.restore();
}

} // namespace art
