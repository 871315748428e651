// MarkupRenderer measures and draws short rich texts written in the program's
// small HTML-like markup (styled runs, breaks and tabs, rules, bitmaps, icons,
// animated image strips, string resources, nested tables with borders and
// effect backgrounds, and links).
//
// Every layout runs twice over the same text: Prepare() measures and records a
// LineRecord per line, Draw() paints into a rectangle using those records. The
// host calls Prepare() when the text, the fonts or the width change and Draw()
// on every paint; both work on any QPaintDevice (widgets and QImages alike).
//
// Text is 8-bit (Windows-1252 bytes, as the program's texts are); the QString
// overloads convert to it. Lengths are device pixels of the drawing surface.
//
// Single-threaded: every call comes from the host's GUI thread.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ui/markup/background_effects.h"
#include "ui/markup/style_values.h"

class QPainter;
class QPaintDevice;
class QWidget;

namespace dorvak {
struct LayoutEnv;
}

namespace dorvak {

// One laid-out line: filled by the measure pass, read in order by the draw pass.
struct LineRecord {
    int width = 0;  // pixels, without the percentage part
    int height = 0; // max ascent, plus max descent once the line ended
    int maxDescent = 0;
    int percent = 0; // share of the box width still to add (percentage rules)
    HAlign align = HAlign::Left;
    int spaces = 0;       // spaces on the line, for justification
    bool wrapped = false; // the line ended because a run was split
};

// One drawn piece of a link. Edges are inclusive (right/bottom belong to it).
struct LinkArea {
    int left = 0, top = 0, right = 0, bottom = 0;
    LinkKind kind = LinkKind::None;
    int index = 0; // links numbered 0, 1, 2, ... in text order
    QByteArray target;
    bool contains(const QPoint& p) const {
        return p.x() >= left && p.x() <= right && p.y() >= top && p.y() <= bottom;
    }
};

// One animated image strip, in text order.
struct AnimationEntry {
    int currentFrame = 0;
    int frameCount = 0;
    int tick = 0;
    int speed = 1; // ticks per frame
};

class MarkupRenderer : public QObject {
    Q_OBJECT
public:
    // Called for `msg` links: the link target and the registered parameter.
    using LinkCallback = std::function<void(const QByteArray& target, qintptr param)>;
    // Called when the hovered link changes: the new link index (-2 for none)
    // and the registered parameter.
    using HoverCallback = std::function<void(int linkIndex, qintptr param)>;
    // Opens an `href` target; the default hands it to QDesktopServices and
    // falls back to xdg-open. Replaceable so tests and hosts can intercept.
    using OpenTargetFunction = std::function<bool(const QByteArray& target)>;

    explicit MarkupRenderer(QObject* parent = nullptr);
    ~MarkupRenderer() override;
    MarkupRenderer(const MarkupRenderer&) = delete;
    MarkupRenderer& operator=(const MarkupRenderer&) = delete;

    // --- settings -------------------------------------------------------
    // Replaces the style sheet; a null text loads the built-in sheet.
    void SetStyleSheet(const char* text);
    void SetStyleSheet(const QByteArray& text);
    void SetEnabled(bool on);
    void SetDisabledColor(QColor color);
    void SetWrapWidth(int pixels);   // 0: never wrap
    void SetTabSize(int pixels);     // default 32
    void SetNewlineAsBreak(bool on); // default on
    // darkness is limited to 0..100; shadow grey = 255 * (100 - darkness) / 100.
    void SetImageShadow(int offsetX, int offsetY, int darkness, bool gradient, int blurX,
                        int blurY);
    // Image list for <ilst> without a source: a grid of cells, numbered row by
    // row. A null image removes it.
    void SetImageList(const QImage& cells, int cellWidth, int cellHeight);
    // The library for `iddll` images: a directory or a Qt .rcc file holding
    // bitmaps/<id>.png and icons/<id>.png (<string> always reads the program's
    // own :/strings/<id>.txt). An owned .rcc is
    // unregistered when replaced or when the renderer is destroyed. An empty
    // path removes it.
    void SetResourceLibrary(const QString& path, bool owned);
    // A null cursor (std::nullopt) restores the default link cursor.
    void SetLinkCursor(std::optional<QCursor> cursor);
    // Widget whose cursor is switched to the link cursor over links (and
    // restored after); optional.
    void setCursorWidget(QWidget* widget);
    void SetLinkNotify(LinkCallback callback, qintptr param = 0);
    void SetHoverNotify(HoverCallback callback, qintptr param = 0);
    void setOpenTargetFunction(OpenTargetFunction open); // empty restores the default

    bool isEnabled() const { return enabled_; }
    QColor disabledColor() const { return disabledColor_; }
    int wrapWidth() const { return wrapWidth_; }
    int tabSize() const { return tabSize_; }
    bool newlineAsBreak() const { return newlineAsBreak_; }
    QCursor linkCursor() const { return linkCursor_; }

    // --- operations -----------------------------------------------------
    // Prepares the source and measures it on `surface` (null: a 96-dpi
    // off-screen surface). Returns the size needed, each side plus 1; an empty
    // text (or one that measures 0 x 0) returns 0 x 0 and empties the stored
    // text. With a wrap width the width is limited to it before the 1 is added.
    QSize Prepare(const QPaintDevice* surface, const QByteArray& text);
    QSize Prepare(const QPaintDevice* surface, const char* text);
    QSize Prepare(const QPaintDevice* surface, const QString& text);
    // Draws the last prepared text into `rect`; replaces the linkAreas.
    void Draw(QPainter& painter, const QRect& rect);
    // Returns whether the point is over a link with a target; updates the
    // hovered index (notifying on change) and the cursor widget's cursor.
    bool OnMouseMove(const QPoint& point);
    // Opens (kind 1) or reports (kind 2) the link under the point. Returns
    // whether a link was activated.
    bool OnClick(const QPoint& point);
    // Advances every animated strip by one tick; true when a frame changed
    // (the host then redraws).
    bool AdvanceAnimations();

    // --- results of the last Prepare/Draw (for hosts and tests) -----------
    QSize measuredSize() const { return measured_; }
    const std::vector<LineRecord>& Lines() const { return lines_; }
    const std::vector<LinkArea>& linkAreas() const { return linkAreas_; }
    const std::vector<AnimationEntry>& Animations() const { return animations_; }
    int hoveredLink() const { return hoveredLink_; }
    const QByteArray& preparedText() const { return prepared_; }

    // --- image handles (the `handle` attribute) --------------------------
    // A process-wide table of images the host owns; the renderer only reads
    // them. Handles start at 1.
    static int registerImageHandle(const QImage& image);
    static void releaseImageHandle(int handle);

    // Limits that keep hostile markup bounded.
    static constexpr int kMaxNesting = 256;     // style stack depth
    static constexpr int kMaxTableNesting = 16; // tables inside cells
    static constexpr int kMaxRepeat = 100;      // <br=N>, <t=N>
    static constexpr int kMaxImageSide = 4096;  // scaled image width/height
    static constexpr int kMaxSpan = 64;         // rowspan/colspan
    static constexpr int kMaxTableColumns = 256;
    static constexpr int kMaxTableRows = 4096;
    static constexpr int kMaxFontPixels = 512;
    static constexpr int kMaxTextBytes = 4 * 1024 * 1024; // longer input is cut

signals:
    // Emitted for `msg` links (besides the callback).
    void linkMessage(const QByteArray& target, qintptr param);
    // Emitted when the hovered link changes (besides the callback).
    void hoverChanged(int linkIndex, qintptr param);

private:
    struct Settings;
    struct Resources;
    void fillEnv(LayoutEnv& env) const;

    bool enabled_ = true;
    QColor disabledColor_;
    int wrapWidth_ = 0;
    int tabSize_ = 32;
    bool newlineAsBreak_ = true;
    QCursor linkCursor_;
    QPointer<QWidget> cursorWidget_;
    bool cursorSet_ = false;
    LinkCallback linkCallback_;
    qintptr linkParam_ = 0;
    HoverCallback hoverCallback_;
    qintptr hoverParam_ = 0;
    OpenTargetFunction openTarget_;

    std::unique_ptr<Settings> settings_; // style sheet, colors, shadow, image list
    std::unique_ptr<Resources> resources_;

    QByteArray prepared_;
    QSize measured_;
    int measureDpiY_ = 96;
    std::vector<LineRecord> lines_;
    std::vector<LinkArea> linkAreas_;
    std::vector<AnimationEntry> animations_;
    int hoveredLink_ = -2;
};

} // namespace dorvak
