#include "ui/tooltip/tool_tip_geometry.h"

#include <QPainterPath>

namespace dorvak {

using namespace tip;

int mirrorDirection(int direction, bool horizontal) {
    const int edge = direction / 16, pos = direction % 16;
    const bool along =
        horizontal ? (edge == Top || edge == Bottom) : (edge == Left || edge == Right);
    if (along) return edge * 16 + (pos == 0 ? 1 : pos == 1 ? 0 : 2);
    // The pointer is on a side edge: swap the edge itself.
    if (horizontal) return (edge == Left ? Right : Left) * 16 + pos;
    return (edge == Top ? Bottom : Top) * 16 + pos;
}

namespace {

int clampDirection(int direction) {
    const int edge = direction / 16, pos = direction % 16;
    if (edge < 0 || edge > 3 || pos < 0 || pos > 2) return kDefaultDirection;
    return direction;
}

// The position of the pointer's tip along an edge of length `length`, and
// its base [from, to].
void alongEdge(int pos, int length, const ShapeSizes& s, int& tipAt, int& from, int& to) {
    const int base = s[4], offset = s[6];
    if (pos == 0) {
        tipAt = offset;
        from = offset;
        to = offset + base;
    } else if (pos == 1) {
        tipAt = length - offset;
        from = length - offset - base;
        to = length - offset;
    } else {
        tipAt = length / 2;
        from = length / 2 - base / 2;
        to = from + base;
    }
}

TipGeometry place(QSize textSize, const ShapeSizes& s, int direction, QPoint point, QSize shadow) {
    TipGeometry g;
    g.direction = direction;
    const QSize body(textSize.width() + 2 * s[2], textSize.height() + 2 * s[3]);
    const int len = s[5];
    const bool pointer = len > 0 && s[4] > 0;
    const int edge = direction / 16, pos = direction % 16;
    int tipAt = 0, from = 0, to = 0;
    if (edge == Top || edge == Bottom) {
        alongEdge(pos, body.width(), s, tipAt, from, to);
        const int bodyTop = edge == Top ? len : 0;
        g.body = QRect(QPoint(0, bodyTop), body);
        const int baseY = edge == Top ? bodyTop : g.body.bottom() + 1;
        g.tip = QPoint(tipAt, edge == Top ? 0 : baseY + len);
        if (pointer) g.pointer << QPoint(from, baseY) << g.tip << QPoint(to, baseY);
        g.windowSize = QSize(body.width(), body.height() + len);
    } else {
        alongEdge(pos, body.height(), s, tipAt, from, to);
        const int bodyLeft = edge == Left ? len : 0;
        g.body = QRect(QPoint(bodyLeft, 0), body);
        const int baseX = edge == Left ? bodyLeft : g.body.right() + 1;
        g.tip = QPoint(edge == Left ? 0 : baseX + len, tipAt);
        if (pointer) g.pointer << QPoint(baseX, from) << g.tip << QPoint(baseX, to);
        g.windowSize = QSize(body.width() + len, body.height());
    }
    g.windowPos = point + QPoint(s[7], s[8]) - g.tip;
    g.windowSize += shadow;
    return g;
}

// How many pixels of the window lie outside the screen, per axis.
int overflowX(const TipGeometry& g, const QRect& screen) {
    const int right = g.windowPos.x() + g.windowSize.width() - 1;
    return qMax(0, screen.left() - g.windowPos.x()) + qMax(0, right - screen.right());
}

int overflowY(const TipGeometry& g, const QRect& screen) {
    const int bottom = g.windowPos.y() + g.windowSize.height() - 1;
    return qMax(0, screen.top() - g.windowPos.y()) + qMax(0, bottom - screen.bottom());
}

} // namespace

TipGeometry layoutTip(QSize textSize, const ShapeSizes& sizes, int direction, QPoint point,
                      const QRect& screen, QSize shadow) {
    TipGeometry g = place(textSize, sizes, clampDirection(direction), point, shadow);
    if (screen.isEmpty()) return g;
    // Mirror left/right, then top/bottom, whenever the mirrored tip leaves
    // less of itself off the screen.
    if (overflowX(g, screen) > 0) {
        TipGeometry m = place(textSize, sizes, mirrorDirection(g.direction, true), point, shadow);
        if (overflowX(m, screen) < overflowX(g, screen)) g = m;
    }
    if (overflowY(g, screen) > 0) {
        TipGeometry m = place(textSize, sizes, mirrorDirection(g.direction, false), point, shadow);
        if (overflowY(m, screen) < overflowY(g, screen)) g = m;
    }
    // What still does not fit is pushed into the screen, so the text is
    // readable even if the pointer then misses the point a little.
    QPoint& p = g.windowPos;
    p.setX(qBound(screen.left(), p.x(),
                  qMax(screen.left(), screen.right() + 1 - g.windowSize.width())));
    p.setY(qBound(screen.top(), p.y(),
                  qMax(screen.top(), screen.bottom() + 1 - g.windowSize.height())));
    return g;
}

QPainterPath tipOutline(const TipGeometry& g, const ShapeSizes& s) {
    QPainterPath path;
    path.addRoundedRect(QRectF(g.body), s[0] / 2.0, s[1] / 2.0);
    if (!g.pointer.isEmpty()) {
        QPainterPath tri;
        tri.addPolygon(QPolygonF(g.pointer));
        tri.closeSubpath();
        path = path.united(tri);
    }
    return path.simplified();
}

QRegion tipRegion(const TipGeometry& g, const ShapeSizes& s, QSize shadow) {
    QRegion body(g.body);
    if (s[0] > 0 && s[1] > 0) {
        // A round rectangle as the union of a cross and four corner ellipses.
        const int rx = s[0] / 2, ry = s[1] / 2;
        const QRect b = g.body;
        body = QRegion(b.adjusted(rx, 0, -rx, 0)) + QRegion(b.adjusted(0, ry, 0, -ry));
        const QSize e(s[0], s[1]);
        body += QRegion(QRect(b.topLeft(), e), QRegion::Ellipse);
        body += QRegion(QRect(QPoint(b.right() + 1 - e.width(), b.top()), e), QRegion::Ellipse);
        body += QRegion(QRect(QPoint(b.left(), b.bottom() + 1 - e.height()), e), QRegion::Ellipse);
        body += QRegion(QRect(QPoint(b.right() + 1 - e.width(), b.bottom() + 1 - e.height()), e),
                        QRegion::Ellipse);
    }
    QRegion region = body;
    if (!g.pointer.isEmpty()) region += QRegion(g.pointer);
    if (!shadow.isEmpty()) region += region.translated(shadow.width(), shadow.height());
    return region;
}

} // namespace dorvak
