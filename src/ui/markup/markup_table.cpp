// Table layout: the grid from <tr>, colspan and rowspan, column widths and
// row heights from the measured cells, stretching in the draw pass, and the
// backgrounds and raised/sunken borders of tables and cells.
#include <QPainter>

#include <algorithm>
#include <numeric>

#include "ui/markup/background_effects.h"
#include "ui/markup/markup_colors.h"
#include "ui/markup/markup_layout.h"

namespace dorvak {

namespace {

constexpr int kMaxColumns = MarkupRenderer::kMaxTableColumns;
constexpr int kMaxRows = MarkupRenderer::kMaxTableRows;
constexpr int kGranularity = 5; // texture noise of table and cell backgrounds

int spanAttr(const MarkupAttributes& attrs, const char* name) {
    const QByteArray* v = attrs.find(name);
    return v ? std::clamp(parseDecimal(*v), 1, MarkupRenderer::kMaxSpan) : 1;
}

VAlign valignOf(QByteArrayView v, VAlign def) {
    if (v == "baseline") return VAlign::Baseline;
    if (v == "middle" || v == "vcenter") return VAlign::Middle;
    if (v == "top") return VAlign::Top;
    if (v == "bottom") return VAlign::Bottom;
    return def;
}

// Outer border of a table on each side: the width, 3 for a double frame.
int tableBorder(const StyleState& s) {
    if (s.borderStyle == BorderStyle::None || s.borderWidth <= 0) return 0;
    return s.borderStyle == BorderStyle::Double ? 3 : s.borderWidth;
}

// Shares `amount` over `count` slots as (remaining) / (remaining slots).
void share(std::vector<int>& sizes, int first, int count, int amount) {
    for (int k = 0; k < count && amount > 0; ++k) {
        const int add = amount / (count - k);
        sizes[first + k] += add;
        amount -= add;
    }
}

} // namespace

void MarkupLayout::applyBoxAttributes(const MarkupAttributes& attrs, bool isTable, bool isCell) {
    StyleState& s = state_;
    s.width = s.height = 0; // explicit sizes belong to one table, row or cell
    auto color = [&](const QByteArray& v, QRgb def) {
        return parseMarkupColor(v, def, *env_.colors, env_.enabled, env_.disabledColor);
    };
    // Backgrounds keep their colours while disabled: text, rules and borders
    // turn to the disabled colour, and a cell that did so too would hide the
    // text on it.
    auto background = [&](const QByteArray& v, QRgb def) {
        return parseMarkupColor(v, def, *env_.colors, true, env_.disabledColor);
    };
    for (const auto& [name, v] : attrs.list) {
        if (isTable && name == "cellpadding")
            s.padding = std::clamp(parseLength(v, s.padding, false, s, ctx_), 0, 1000);
        else if (isTable && name == "cellspacing")
            s.spacing = std::clamp(parseLength(v, s.spacing, false, s, ctx_), 0, 1000);
        else if (isTable && name == "background") {
            if (v.size() > 5) s.backgroundImage = v;
        } else if (name == "border")
            setBorderWidth(s, parseLength(v, s.borderWidth, false, s, ctx_));
        else if (name == "borderstyle")
            setBorderStyle(s, v);
        else if (name == "bordercolor")
            s.borderLight = s.borderDark = color(v, s.borderLight);
        else if (name == "bordercolorlight")
            s.borderLight = color(v, s.borderLight);
        else if (name == "bordercolordark")
            s.borderDark = color(v, s.borderDark);
        else if (name == "bgcolor") {
            s.backgroundColor = background(v, s.backgroundColor);
            if (int(s.effect) < 0) s.effect = Effect::Solid;
        } else if (name == "bgmidcolor")
            s.backgroundMiddle = background(v, s.backgroundMiddle);
        else if (name == "bgendcolor")
            s.backgroundEnd = background(v, s.backgroundEnd);
        else if (name == "bgeffect")
            s.effect = parseBackgroundEffect(v, s.effect);
        else if (name == "align") {
            if (v == "left")
                s.align = HAlign::Left;
            else if (v == "center")
                s.align = HAlign::Center;
            else if (v == "right")
                s.align = HAlign::Right;
        } else if (name == "valign")
            s.valign = valignOf(v, s.valign);
        else if (name == "width")
            s.width = std::clamp(parseLength(v, 0, false, s, ctx_), 0, kMaxLayoutExtent);
        else if (name == "height")
            s.height = std::clamp(parseLength(v, 0, false, s, ctx_), 0, kMaxLayoutExtent);
    }
    if (s.borderStyle == BorderStyle::None || s.borderWidth <= 0)
        s.borderStyle = BorderStyle::None, s.borderWidth = 0;
    else if (s.borderStyle != BorderStyle::Solid)
        s.borderWidth = 1;
    if (!isTable) s.borderWidth = std::min(s.borderWidth, 1);
    (void)isCell;
}

void MarkupLayout::placeCells(const MarkupTable& table, TableRecord& rec) const {
    const int rows = std::min<int>(static_cast<int>(table.rows.size()), kMaxRows);
    std::vector<std::vector<char>> occupied(rows);
    int columns = 0;
    for (int r = 0; r < static_cast<int>(table.rows.size()); ++r) {
        int c = 0;
        for (const MarkupCell& cell : table.rows[r].cells) {
            TableRecord::Place place;
            if (r < rows) {
                auto& row = occupied[r];
                while (c < static_cast<int>(row.size()) && row[c])
                    ++c;
                if (c < kMaxColumns) {
                    place.valid = true;
                    place.row = r;
                    place.col = c;
                    place.colSpan = std::min(spanAttr(cell.attrs, "colspan"), kMaxColumns - c);
                    place.rowSpan = std::min(spanAttr(cell.attrs, "rowspan"), rows - r);
                    for (int rr = r; rr < r + place.rowSpan; ++rr) {
                        auto& occ = occupied[rr];
                        if (static_cast<int>(occ.size()) < c + place.colSpan)
                            occ.resize(c + place.colSpan, 0);
                        std::fill(occ.begin() + c, occ.begin() + c + place.colSpan, 1);
                    }
                    c += place.colSpan;
                    columns = std::max(columns, c);
                }
            }
            rec.places.push_back(place);
        }
    }
    rec.colWidths.assign(columns, 0);
    rec.fixed.assign(columns, false);
    rec.rowHeights.assign(rows, 0);
}

void MarkupLayout::sizeGrid(TableRecord& rec, const std::vector<QSize>& cellSizes,
                            int spacing) const {
    const int gap = spacing + 1;
    // Single spans first, then wider spans take what their columns lack.
    std::vector<size_t> order(rec.places.size());
    std::iota(order.begin(), order.end(), 0);
    for (int pass = 0; pass < 2; ++pass) {
        const bool columns = pass == 0;
        auto span = [&](size_t i) {
            return columns ? rec.places[i].colSpan : rec.places[i].rowSpan;
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return span(a) < span(b); });
        std::vector<int>& sizes = columns ? rec.colWidths : rec.rowHeights;
        for (size_t i : order) {
            const TableRecord::Place& p = rec.places[i];
            if (!p.valid) continue;
            const int first = columns ? p.col : p.row, count = span(i);
            const int need = columns ? cellSizes[i].width() : cellSizes[i].height();
            long long have = static_cast<long long>(count - 1) * gap;
            for (int k = 0; k < count; ++k)
                have += sizes[first + k];
            if (have < need) share(sizes, first, count, static_cast<int>(need - have));
        }
    }
}

void MarkupLayout::drawTableFrame(const StyleState& s, const QRect& r, bool cell) {
    if (s.borderStyle == BorderStyle::None || s.borderWidth <= 0) return;
    // Tables are raised (light edge first), cells sunken (dark edge first).
    const QColor light = QColor::fromRgb(shown(s.borderLight)),
                 dark = QColor::fromRgb(shown(s.borderDark));
    drawFrame(*painter_, r, cell ? dark : light, cell ? light : dark, s.borderStyle,
              cell ? 1 : s.borderWidth);
}

namespace {

// Geometry of a table as drawn: column and row origins after stretching.
struct TableGeometry {
    QRect rect;
    std::vector<int> colX, colW, rowY, rowH;
    QRect cell(const TableRecord::Place& p, int gap) const {
        int w = (p.colSpan - 1) * gap, h = (p.rowSpan - 1) * gap;
        for (int k = 0; k < p.colSpan; ++k)
            w += colW[p.col + k];
        for (int k = 0; k < p.rowSpan; ++k)
            h += rowH[p.row + k];
        return {colX[p.col], rowY[p.row], w, h};
    }
};

TableGeometry placeTable(const TableRecord& rec, const StyleState& s, const QRect& box) {
    TableGeometry g;
    g.colW = rec.colWidths;
    g.rowH = rec.rowHeights;
    int width = rec.width, offset = 0;
    if (rec.width < box.width() && !g.colW.empty()) {
        const int diff = box.width() - rec.width;
        std::vector<int> open;
        for (size_t c = 0; c < g.colW.size(); ++c)
            if (!rec.fixed[c]) open.push_back(static_cast<int>(c));
        if (!open.empty()) {
            int left = diff;
            for (size_t k = 0; k < open.size(); ++k) {
                const int add = left / static_cast<int>(open.size() - k);
                g.colW[open[k]] += add;
                left -= add;
            }
            width = box.width();
        } else if (s.align == HAlign::Center) {
            offset = diff / 2;
        } else if (s.align == HAlign::Right) {
            offset = diff;
        }
    }
    g.rect = QRect(box.left() + offset, box.top(), width, rec.height);
    const int border = tableBorder(s), gap = s.spacing + 1;
    int x = g.rect.left() + border + s.spacing;
    for (int w : g.colW)
        g.colX.push_back(x), x += w + gap;
    int y = g.rect.top() + border + s.spacing;
    for (int h : g.rowH)
        g.rowY.push_back(y), y += h + gap;
    return g;
}

} // namespace

void MarkupLayout::paintTableBackground(const StyleState& s, const QRect& r) {
    if (int(s.effect) >= 0) {
        drawBackgroundEffect(*painter_, r, s.effect, QColor::fromRgb(s.backgroundColor),
                             QColor::fromRgb(s.backgroundMiddle), QColor::fromRgb(s.backgroundEnd),
                             kGranularity);
    } else if (!s.backgroundImage.isEmpty() && env_.enabled) {
        const QByteArray& v = s.backgroundImage;
        const qsizetype colon = v.indexOf(':');
        ImageSpec spec;
        const QByteArray key = v.left(std::max<qsizetype>(colon, 0)).trimmed(),
                         value = v.mid(colon + 1).trimmed();
        if (key == "idres")
            spec.idres = static_cast<int>(std::clamp<long long>(parseCInteger(value), 0, INT_MAX));
        else if (key == "iddll")
            spec.iddll = static_cast<int>(std::clamp<long long>(parseCInteger(value), 0, INT_MAX));
        else if (key == "file")
            spec.file = value;
        const QImage tile = env_.resources->load(spec, MarkupResources::Kind::Bitmap);
        if (!tile.isNull()) {
            painter_->save();
            painter_->setBrushOrigin(r.topLeft());
            painter_->fillRect(r, QBrush(tile));
            painter_->restore();
        }
    }
    drawTableFrame(s, r, false);
}

MarkupLayout::CellLayout MarkupLayout::layoutCell(const MarkupCell& cell, const QRect& r,
                                                  QSize measured, int depth) {
    const StyleState cellState = state_;
    const int inset = cellState.padding + cellState.borderWidth;
    // Content wraps at an explicit cell width when wrapping is on.
    const int wrap = env_.wrapWidth > 0 && cellState.width > 0 ? cellState.width : 0;
    if (measuring()) {
        const QSize content =
            layoutSequence(cell.sequence, QRect(0, 0, cellState.width, 0), wrap, depth + 1);
        return {QSize(std::max(content.width(), cellState.width) + 2 * inset,
                      std::max(content.height(), cellState.height) + 2 * inset),
                content, cellState.width > 0};
    }
    if (int(cellState.effect) >= 0)
        drawBackgroundEffect(*painter_, r, cellState.effect,
                             QColor::fromRgb(cellState.backgroundColor),
                             QColor::fromRgb(cellState.backgroundMiddle),
                             QColor::fromRgb(cellState.backgroundEnd), kGranularity);
    drawTableFrame(cellState, r, true);
    const QRect inner = r.adjusted(inset, inset, -inset, -inset);
    int top = inner.top();
    if (cellState.valign == VAlign::Middle)
        top += (inner.height() - measured.height()) / 2;
    else if (cellState.valign == VAlign::Bottom)
        top += inner.height() - measured.height();
    layoutSequence(cell.sequence, QRect(inner.left(), top, inner.width(), measured.height()), wrap,
                   depth + 1);
    return {};
}

QSize MarkupLayout::finishTableRecord(TableRecord& out, std::vector<QSize> contents,
                                      const std::vector<bool>& explicitWidth,
                                      const std::vector<QSize>& cellSizes,
                                      const StyleState& tableState) const {
    out.contents = std::move(contents);
    for (size_t i = 0; i < out.places.size() && i < explicitWidth.size(); ++i) {
        const TableRecord::Place& p = out.places[i];
        if (!p.valid || !explicitWidth[i]) continue;
        // An explicit width fixes the cell's columns against stretching.
        for (int k = 0; k < p.colSpan; ++k)
            out.fixed[p.col + k] = true;
    }
    sizeGrid(out, cellSizes, tableState.spacing);
    const int cols = static_cast<int>(out.colWidths.size()),
              rows = static_cast<int>(out.rowHeights.size());
    if (cols == 0 || rows == 0) return {};
    const int border = 2 * tableBorder(tableState);
    long long w = static_cast<long long>(cols + 1) * tableState.spacing + (cols - 1) + border;
    long long h = static_cast<long long>(rows + 1) * tableState.spacing + (rows - 1) + border;
    for (int v : out.colWidths)
        w += v;
    for (int v : out.rowHeights)
        h += v;
    out.width = static_cast<int>(std::min<long long>(w, kMaxLayoutExtent));
    out.height = static_cast<int>(std::min<long long>(h, kMaxLayoutExtent));
    return {out.width, out.height};
}

QSize MarkupLayout::layoutTable(const MarkupTable& table, const QRect& box, int depth) {
    const size_t base = stack_.size();
    const StyleState outer = state_;
    // Structural pushes ignore the style depth limit: tables nest at most
    // kMaxTableNesting deep, so they stay bounded.
    auto pushStructural = [&](StyleKey key, const char* rule, const MarkupAttributes& attrs,
                              bool isTable) {
        stack_.push_back(state_);
        stack_.back().key = key;
        applyStyleRule(*env_.sheet, rule, state_, ctx_);
        applyBoxAttributes(attrs, isTable, key == StyleKey::Td);
        updateFont();
    };
    pushStructural(StyleKey::Table, "table", table.attrs, true);
    const StyleState tableState = state_;

    size_t recIndex = 0;
    if (measuring()) {
        recIndex = records_.tables->size();
        records_.tables->emplace_back();
        placeCells(table, (*records_.tables)[recIndex]);
    } else {
        if (tableCursor_ >= records_.tables->size()) {
            popTo(base, outer);
            return {};
        }
        recIndex = tableCursor_++;
    }
    // A copy: nested tables append records and may move the vector.
    const TableRecord rec = (*records_.tables)[recIndex];
    const int gap = tableState.spacing + 1;

    TableGeometry geo;
    if (!measuring() && !rec.colWidths.empty() && !rec.rowHeights.empty()) {
        geo = placeTable(rec, tableState, box);
        paintTableBackground(tableState, geo.rect);
    }
    const bool drawable = measuring() || !geo.colW.empty();

    std::vector<QSize> cellSizes;
    std::vector<QSize> contents;
    std::vector<bool> explicitWidth;
    size_t cellIndex = 0;
    for (const MarkupRow& row : table.rows) {
        popTo(base + 1, tableState);
        pushStructural(StyleKey::Tr, "tr", row.attrs, false);
        const StyleState rowState = state_;
        for (const MarkupCell& cell : row.cells) {
            const size_t ci = cellIndex++;
            const bool valid = ci < rec.places.size() && rec.places[ci].valid;
            if (!valid || !drawable) {
                cellSizes.emplace_back();
                contents.emplace_back();
                explicitWidth.push_back(false);
                continue;
            }
            popTo(base + 2, rowState);
            pushStructural(StyleKey::Td, "td", cell.attrs, false);
            const QSize measured = ci < rec.contents.size() ? rec.contents[ci] : QSize();
            const CellLayout done = layoutCell(
                cell, measuring() ? QRect() : geo.cell(rec.places[ci], gap), measured, depth);
            cellSizes.push_back(done.size);
            contents.push_back(done.content);
            explicitWidth.push_back(done.explicitWidth);
        }
    }
    popTo(base, outer);
    if (!measuring()) return drawable ? QSize(geo.rect.width(), rec.height) : QSize();

    return finishTableRecord((*records_.tables)[recIndex], std::move(contents), explicitWidth,
                             cellSizes, tableState);
}

} // namespace dorvak
