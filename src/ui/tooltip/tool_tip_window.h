// The tooltip's window (object name "CVxToolTip"): a frameless, topmost tool
// window shown without activation, shaped to the balloon or rectangle and
// its shadow. It paints the tip image (background effect, pointer filled
// from the body's edge, markup text, border) over a blurred shadow, blended
// by the current transparency: with window opacity where a compositor
// exists, otherwise over the screen captured once when the tip is shown.
#pragma once

#include "ui/tooltip/tool_tip_geometry.h"
#include "ui/tooltip/tool_tip_types.h"

#include <QImage>
#include <QPainterPath>
#include <QWidget>

namespace dorvak {

class MarkupRenderer;

struct TipLook {
    TipSettings settings;
    ShapeSizes sizes = kBalloonSizes;
    QColor border; // invalid: no border
    int borderWidth = 1, borderHeight = 1;
    bool shadowOn = true;
    ShadowSettings shadow;
};

class ToolTipWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CVxToolTip";

    explicit ToolTipWindow(QWidget* host);

    // Builds the tip for `g` and shows it at g.windowPos with `transparency`.
    void present(const TipGeometry& g, const TipLook& look, MarkupRenderer* renderer,
                 int transparency);
    // Moves a shown tip so its pointer stays on `g` (same size).
    void moveTo(const TipGeometry& g);
    void setTransparency(int percent);
    // Redraws the text (after a hover change or an animation frame).
    void refreshText();
    void dismiss();

    int transparency() const { return transparency_; }
    const TipGeometry& geometryInfo() const { return geometry_; }
    const QImage& tipImage() const { return tip_; }
    // What the window shows: the backdrop with shadow and tip blended in.
    QImage composed() const;
    // A picture of the whole virtual screen (its top-left at 0, 0) used in
    // place of a screen capture, for pictures of tips made off-screen.
    void setBackdropOverride(const QImage& screen) { backdropOverride_ = screen; }
    static bool compositorAvailable();
    // The body rectangle inside which the text is drawn, window coordinates.
    QRect textRect() const;
    // Whether a global point lies on the tip's shape (body, pointer, shadow).
    bool containsGlobal(const QPoint& global) const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void buildBackground();
    void buildTip();
    void buildShadow();
    QImage captureBackdrop() const;

    TipGeometry geometry_;
    TipLook look_;
    MarkupRenderer* renderer_ = nullptr;
    QPainterPath outline_;
    QRegion region_;
    QImage background_; // effect and pointer, window size
    QImage tip_;        // background + text + border
    QImage shadowMask_; // alpha of the blurred silhouette, window size
    QImage backdrop_;
    QImage backdropOverride_;
    int transparency_ = 0;
    bool compositing_ = false;
};

} // namespace dorvak
