// Where a tip goes: the body beside the point, the pointer from the body to
// the point, mirrored at the edges of the virtual screen, and the window
// region (round-rectangle body, pointer triangle, shadow copy).
#pragma once

#include "ui/tooltip/tool_tip_types.h"

#include <QPainterPath>
#include <QPolygon>
#include <QRegion>
#include <QSize>

namespace dorvak {

struct TipGeometry {
    int direction = tip::kDefaultDirection; // after mirroring
    QPoint windowPos;                       // global top-left of the window
    QSize windowSize;                       // including the shadow
    QRect body;                             // window coordinates
    QPolygon pointer;                       // window coordinates (empty for no pointer)
    QPoint tip;                             // the pointer's tip, window coordinates
};

// Lays a tip of `textSize` out for `direction` at the global `point`,
// mirroring left/right and then top/bottom when the window would leave
// `screen`, and clamping into it when no side fits.
TipGeometry layoutTip(QSize textSize, const ShapeSizes& sizes, int direction, QPoint point,
                      const QRect& screen, QSize shadow);

// Mirrors a direction across the vertical (horizontal = true) or the
// horizontal axis.
int mirrorDirection(int direction, bool horizontal);

// The window region: body round rectangle united with the pointer, and with
// a shadow, the same shifted by the shadow offset.
QRegion tipRegion(const TipGeometry& g, const ShapeSizes& sizes, QSize shadow);
QPainterPath tipOutline(const TipGeometry& g, const ShapeSizes& sizes);

} // namespace dorvak
