// The two layout passes over a parsed markup document. The measure pass
// (no painter) computes sizes and leaves LineRecords, TableRecords and
// AnimationEntries; the draw pass walks the same tokens in the same order and
// reads those records back to place and paint everything.
#pragma once

#include <QImage>
#include <QRect>

#include <memory>
#include <vector>

#include "ui/markup/markup_images.h"
#include "ui/markup/markup_renderer.h"
#include "ui/markup/markup_text.h"
#include "ui/markup/style_sheet.h"

class QPainter;

namespace dorvak {

class ColorTable;
class FontCache;
struct MarkupFont;

// Grid facts of one table, from the measure pass.
struct TableRecord {
    struct Place {
        int row = 0, col = 0, rowSpan = 1, colSpan = 1;
        bool valid = false;
    };
    std::vector<int> colWidths;
    std::vector<int> rowHeights;
    std::vector<bool> fixed;
    std::vector<Place> places;   // one per cell, in document order
    std::vector<QSize> contents; // measured content size per cell
    int width = 0;
    int height = 0;
};

// Positions and sizes are capped here so sums of hostile values cannot overflow.
constexpr int kMaxLayoutExtent = 1 << 24;

// The records a measure pass fills and a draw pass reads, owned by the renderer.
struct LayoutRecords {
    std::vector<LineRecord>* lines;
    std::vector<TableRecord>* tables;
    std::vector<AnimationEntry>* animations;
};

// Everything a pass reads from the renderer.
struct LayoutEnv {
    const StyleSheet* sheet = nullptr;
    const ColorTable* colors = nullptr;
    FontCache* fonts = nullptr;
    MarkupResources* resources = nullptr;
    bool enabled = true;
    QRgb disabledColor = 0xFF808080;
    int wrapWidth = 0;
    int tabSize = 32;
    int dpiY = 96;
    int hoveredLink = -2;
    int shadowX = 4, shadowY = 4;
    QRgb shadowColor = 0xFF7F7F7F;
    bool shadowGradient = true;
    int blurX = 7, blurY = 7;
    QImage imageList;
    int imageListCellWidth = 0, imageListCellHeight = 0;
};

class MarkupLayout {
public:
    // `painter` null runs the measure pass (records are filled), otherwise the
    // draw pass (records are read, link areas filled).
    MarkupLayout(const MarkupDocument& doc, const LayoutEnv& env, LayoutRecords& records,
                 QPainter* painter, std::vector<LinkArea>* links);
    QSize run(const QRect& rect);

private:
    // The line of a paragraph being built (measure) or drawn (draw).
    struct Line {
        QRect box;
        int wrap = 0;
        bool open = false;
        int x = 0, y = 0, start = 0;
        int placed = 0;
        // measure pass
        int maxAscent = 0, maxDescent = 0, percent = 0, spaces = 0;
        HAlign align = HAlign::Left;
        // draw pass
        LineRecord rec;
        int extra = 0, spacesLeft = 0;
        // Pixels the draw pass adds that the measure pass did not (justify
        // shares, percentage rules); wrap and tab decisions leave them out so
        // both passes break lines at the same places.
        int drawExtra = 0;
        int measuredX() const { return x - drawExtra; }
    };

    bool measuring() const { return painter_ == nullptr; }
    QSize layoutSequence(int sequence, const QRect& box, int wrap, int depth);
    QSize layoutParagraph(const std::vector<MarkupToken>& tokens, size_t begin, size_t end,
                          const QRect& box, int wrap);
    QSize layoutTable(const MarkupTable& table, const QRect& box, int depth);

    // style stack
    bool push(StyleKey key);
    void popTo(size_t depth, const StyleState& state);
    void updateFont();
    void openTag(const MarkupToken& token, Line& line);
    void closeTag(const MarkupToken& token);
    void applyFontTag(const MarkupAttributes& attrs);
    void applyAnchor(const MarkupAttributes& attrs);
    void applyBoxAttributes(const MarkupAttributes& attrs, bool isTable, bool isCell);
    QRgb shown(QRgb color) const { return env_.enabled ? color : env_.disabledColor; }

    // paragraph items
    void openLine(Line& line);
    void endLine(Line& line, int count, bool wrapped);
    void placeText(Line& line, const QString& text, bool wrap);
    void emitText(Line& line, const QString& piece);
    void drawPiece(Line& line, const QString& piece, int top, int width);
    void placeTab(Line& line, int count);
    void placeRule(Line& line, const MarkupAttributes& attrs);
    void placeImage(Line& line, const MarkupToken& token);
    void placeItem(Line& line, int width, int height,
                   const std::function<void(int x, int top)>& draw);
    void placeString(Line& line, const MarkupAttributes& attrs);
    QString transformed(const QString& text) const;
    void recordLink(int left, int top, int width, int height);

    // table helpers (markup_table.cpp)
    void placeCells(const MarkupTable& table, TableRecord& rec) const;
    void sizeGrid(TableRecord& rec, const std::vector<QSize>& cellSizes, int spacing) const;
    void drawTableFrame(const StyleState& s, const QRect& r, bool cell);
    // The steps of layoutTable: the table's background and frame; one cell
    // (measured, or drawn in `r` with its measured content size); and, once
    // measured, the grid's sizes stored in the table's record.
    void paintTableBackground(const StyleState& s, const QRect& r);
    struct CellLayout {
        QSize size;    // with padding and borders
        QSize content; // of the cell's sequence alone
        bool explicitWidth = false;
    };
    CellLayout layoutCell(const MarkupCell& cell, const QRect& r, QSize measured, int depth);
    QSize finishTableRecord(TableRecord& out, std::vector<QSize> contents,
                            const std::vector<bool>& explicitWidth,
                            const std::vector<QSize>& cellSizes,
                            const StyleState& tableState) const;

    const MarkupDocument& doc_;
    const LayoutEnv& env_;
    LayoutRecords& records_;
    QPainter* painter_;
    std::vector<LinkArea>* links_;
    QRect visible_; // draw pass: the part of the surface that can show anything
    size_t lineCursor_ = 0, tableCursor_ = 0, animCursor_ = 0;
    int linkCounter_ = 0;

    StyleContext ctx_;
    StyleState state_;
    std::vector<StyleState> stack_;
    std::shared_ptr<const MarkupFont> font_;
};

} // namespace dorvak
