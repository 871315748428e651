// Records and settings of the markup tooltip: the tool record (one per
// registered area), the tooltip-wide defaults, the nine shape sizes and the
// pointer directions and behaviour flags.
#pragma once

#include <QAction>
#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

namespace dorvak {

namespace tip {
// Which tool fields replace the tooltip-wide defaults.
constexpr quint32 kOverrideSize = 0x01, kOverrideEffect = 0x02, kOverrideColors = 0x04,
                  kOverrideDirection = 0x08, kOverrideBehaviour = 0x10,
                  kOverrideTransparency = 0x20;
// Behaviour flags.
constexpr quint32 kForgetOnHide = 0x01, kFollowMouse = 0x02, kMoveRestartsHide = 0x04,
                  kOntoTipRestartsHide = 0x08, kNoAutoHide = 0x10;
// Pointer directions: the group (edge) is direction / 16, the position along
// the edge direction % 16 (0 from the left/top corner, 1 from the
// right/bottom corner, 2 centred on the tip).
enum Edge { Top = 0, Bottom = 1, Left = 2, Right = 3 };
constexpr int kDefaultDirection = 16;
// The notification code sent to the notify window before a tip shows, and
// the message on which the tip repaints when the hovered link changes.
constexpr quint32 kNotifyMessage = 0x004E; // WM_NOTIFY
constexpr quint32 kNotifyShowing = 0x464;
constexpr quint32 kHoverMessage = 0x465;
} // namespace tip

// Shape sizes, by index: 0/1 corner ellipse, 2/3 text margins, 4 pointer base
// width, 5 pointer length, 6 pointer offset from the corner, 7/8 offsets of
// the pointer tip.
using ShapeSizes = std::array<int, 9>;
constexpr ShapeSizes kBalloonSizes{16, 16, 12, 12, 12, 16, 16, 0, 0};
constexpr ShapeSizes kRectangleSizes{0, 0, 3, 1, 0, 0, 0, 0, 0};

struct ToolRecord {
    QPointer<QWidget> owner; // the owning window (for toolbar items: the toolbar)
    QPointer<QAction> item;  // toolbar item, or null
    QRect rect;              // owner's client coordinates; empty: the whole owner
    QString text;            // markup
    quint32 overrideMask = 0;
    int extra = 0; // taken with override bit 0x01
    int direction = tip::kDefaultDirection;
    int effect = 0;
    quint32 behaviour = 0;
    int granularity = 0;
    int transparency = 0; // percent, 0 opaque .. 100 invisible
    QColor start, middle, end;

    bool sameArea(const ToolRecord& o) const {
        return owner == o.owner && item == o.item && rect == o.rect;
    }
};

// The settings a shown tip uses: the defaults with a tool's overrides merged.
struct TipSettings {
    int effect = 0;
    int granularity = 0;
    QColor start, middle, end;
    int direction = tip::kDefaultDirection;
    quint32 behaviour = 0;
    int transparency = 0;
    int extra = 0;
};

struct ShadowSettings {
    int offsetX = 6, offsetY = 6;
    int darkness = 50; // percent
    bool gradient = true;
    int blurX = 7, blurY = 7;
};

// The notification a notify window receives (as the lParam of a
// WindowMessageEvent with message tip::kNotifyMessage) just before a tip
// shows; it may change the point, the text or the settings.
struct ToolTipNotify {
    quint32 code = tip::kNotifyShowing;
    QPoint* point = nullptr;
    ToolRecord* tool = nullptr;
};

} // namespace dorvak
