// The items of the paragraph layout: text runs with word wrap, tabs, rules,
// images and string resources. Both passes go through the same functions; the
// measure pass raises the line's ascent and descent, the draw pass places each
// item by the vertical alignment against the line's recorded height.
#include <QPainter>
#include <QStringDecoder>

#include <algorithm>
#include <cstdlib>

#include "ui/markup/markup_colors.h"
#include "ui/markup/markup_fonts.h"
#include "ui/markup/markup_layout.h"

namespace dorvak {

namespace {

constexpr int kStandardIconSize = 32;
constexpr size_t kMaxLinkAreas = 100000;

bool isBreakChar(QChar c) {
    switch (c.unicode()) {
    case ' ':
    case '-':
    case '.':
    case ',':
    case '!':
    case ':':
    case ';':
    case ')':
    case '}':
    case ']':
    case '?':
        return true;
    default:
        return false;
    }
}

// A view of the tail of `s` without copying it; `s` outlives the view.
QString tailView(const QString& s, int from) {
    return from == 0 ? s : QString::fromRawData(s.constData() + from, s.size() - from);
}

// Width of the first `len` characters. The prefix is passed as a view of just
// those characters: the metrics scan and itemize the whole string they get,
// which on the tail of a long run would make wrapping quadratic.
int prefixWidth(const QFontMetrics& fm, const QString& text, int len) {
    return len <= 0 ? 0 : fm.horizontalAdvance(QString::fromRawData(text.constData(), len));
}

// Whether `text` fits in `avail` pixels. Measures growing prefixes so a long
// run costs about twice what fits, not its whole length, on every line.
// When it does not fit, `bound` is a prefix length known to be too wide.
bool fitsIn(const QFontMetrics& fm, const QString& text, int avail, int* bound) {
    const int n = static_cast<int>(text.size());
    if (avail < 0) {
        *bound = std::min(n, 1);
        return n == 0;
    }
    int len = std::min(n, 32);
    for (;;) {
        if (prefixWidth(fm, text, len) > avail) {
            *bound = len;
            return false;
        }
        if (len == n) return true;
        len = static_cast<int>(std::min<long long>(n, 2LL * len));
    }
}

// Splits a run that does not fit: `keep` characters stay on this line and
// `consumed` are used up; keep < 0 means the whole run moves to the next line.
void splitRun(const QFontMetrics& fm, const QString& text, int avail, int bound, bool lineEmpty,
              int* keep, int* consumed) {
    std::vector<int> candidates;
    for (int i = 0; i < bound; ++i)
        if (isBreakChar(text[i])) candidates.push_back(i);
    // Prefix widths grow with the length (kerning is off), so search.
    int lo = 0, hi = static_cast<int>(candidates.size()) - 1, best = -1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        if (prefixWidth(fm, text, candidates[mid]) <= avail)
            best = mid, lo = mid + 1;
        else
            hi = mid - 1;
    }
    if (best >= 0) {
        const int at = candidates[best];
        int k = at + 1; // the break character stays on this line
        while (k > 0 && text[k - 1] == QLatin1Char(' '))
            --k;
        if (k > 0 || !lineEmpty) {
            *keep = k;
            *consumed = at + 1;
            return;
        }
    }
    if (!lineEmpty) {
        *keep = -1;
        *consumed = 0;
        return;
    }
    // An unbreakable word on an empty line is cut between characters.
    int l = 1, h = bound - 1, fit = 1;
    while (l <= h) {
        const int mid = (l + h) / 2;
        if (prefixWidth(fm, text, mid) <= avail)
            fit = mid, l = mid + 1;
        else
            h = mid - 1;
    }
    *keep = *consumed = std::max(1, fit);
}

} // namespace

void MarkupLayout::placeText(Line& line, const QString& text, bool wrap) {
    const int n = static_cast<int>(text.size());
    int pos = 0;
    while (pos < n) {
        const QString view = tailView(text, pos);
        openLine(line);
        if (wrap) {
            const int avail = line.start + line.wrap - line.measuredX();
            int bound = 0;
            if (!fitsIn(font_->metrics, view, avail, &bound)) {
                int keep = 0, consumed = 0;
                splitRun(font_->metrics, view, avail, bound, line.placed == 0, &keep, &consumed);
                if (keep > 0) emitText(line, view.left(keep));
                if (keep >= 0) {
                    pos += consumed;
                    while (pos < n && text[pos] == QLatin1Char(' '))
                        ++pos;
                }
                endLine(line, 1, true);
                continue;
            }
        }
        emitText(line, view);
        break;
    }
}

void MarkupLayout::emitText(Line& line, const QString& piece) {
    const MarkupFont& f = *font_;
    const int width = f.metrics.horizontalAdvance(piece);
    openLine(line);
    ++line.placed;
    if (measuring()) {
        line.maxAscent = std::max(line.maxAscent, f.ascent);
        line.maxDescent = std::max(line.maxDescent, f.height - f.ascent);
        line.spaces += static_cast<int>(piece.count(QLatin1Char(' ')));
        line.x = std::min(line.x + width, kMaxLayoutExtent);
        return;
    }
    const int H = line.rec.height, D = line.rec.maxDescent;
    int top = line.y + H - f.ascent - D; // baseline
    if (state_.valign == VAlign::Top)
        top = line.y;
    else if (state_.valign == VAlign::Middle)
        top = line.y + (H - f.height) / 2;
    else if (state_.valign == VAlign::Bottom)
        top = line.y + H - f.ascent;
    drawPiece(line, piece, top, width);
}

void MarkupLayout::drawPiece(Line& line, const QString& piece, int top, int width) {
    const MarkupFont& f = *font_;
    QPainter& p = *painter_;
    // Justified lines spread their spare width over the spaces, one share at a time.
    std::vector<int> shares;
    if (line.spacesLeft > 0) {
        for (QChar c : piece) {
            if (c != QLatin1Char(' ') || line.spacesLeft == 0) continue;
            const int share = line.extra / line.spacesLeft;
            line.extra -= share;
            --line.spacesLeft;
            shares.push_back(share);
            width += share;
            line.drawExtra += share;
        }
    }
    const QColor color = QColor::fromRgb(shown(state_.textColor));
    if (state_.backgroundMode == BackgroundMode::Opaque && env_.enabled)
        p.fillRect(line.x, top, width, f.height, QColor::fromRgb(state_.backgroundColor));
    p.setFont(f.font);
    p.setPen(color);
    if (shares.empty()) {
        p.drawText(QPoint(line.x, top + f.ascent), piece);
    } else {
        int x = line.x, from = 0;
        size_t next = 0;
        for (int i = 0; i <= piece.size(); ++i) {
            if (i < piece.size() && (piece[i] != QLatin1Char(' ') || next >= shares.size()))
                continue;
            const int end = i < piece.size() ? i + 1 : i;
            const QString chunk = piece.mid(from, end - from);
            p.drawText(QPoint(x, top + f.ascent), chunk);
            x += f.metrics.horizontalAdvance(chunk) + (i < piece.size() ? shares[next++] : 0);
            from = end;
        }
    }
    if (state_.overline) p.fillRect(line.x, top, width, state_.weight >= 700 ? 2 : 1, color);
    recordLink(line.x, top, width, f.height);
    line.x = std::min(line.x + width, kMaxLayoutExtent);
}

void MarkupLayout::recordLink(int left, int top, int width, int height) {
    if (!links_ || state_.linkKind == LinkKind::None || width <= 0 || height <= 0 ||
        links_->size() >= kMaxLinkAreas)
        return;
    links_->push_back(LinkArea{left, top, left + width - 1, top + height - 1, state_.linkKind,
                               state_.linkIndex, state_.linkTarget});
}

void MarkupLayout::placeTab(Line& line, int count) {
    openLine(line);
    ++line.placed;
    // Stops count from the box's left edge; a line shifted by its alignment
    // keeps the stops it had when measured.
    const int tab = std::max(1, env_.tabSize);
    const long long rel = std::max(0, line.measuredX() - line.start);
    const long long next = (rel / tab + 1) * tab + static_cast<long long>(count - 1) * tab;
    line.x =
        static_cast<int>(std::min<long long>(line.start + line.drawExtra + next, kMaxLayoutExtent));
}

void MarkupLayout::placeRule(Line& line, const MarkupAttributes& attrs) {
    StyleState rule = state_; // the "hr" rule applies to a private copy
    applyStyleRule(*env_.sheet, "hr", rule, ctx_);
    bool percent = true;
    int amount = 100;
    if (const QByteArray* v = attrs.find("width"); v && !v->trimmed().isEmpty()) {
        const QByteArray w = v->trimmed();
        percent = w.endsWith('%');
        amount = percent ? std::clamp(parseDecimal(w.left(w.size() - 1)), 0, 1000)
                         : std::clamp(parseLength(w, 0, false, rule, ctx_), 0, kMaxLayoutExtent);
    }
    const QByteArray* size = attrs.find("size");
    const int thickness = std::clamp(size ? parseLength(*size, 1, false, rule, ctx_) : 1, 1, 1000);
    const QByteArray* colorValue = attrs.find("color");
    const QRgb color = colorValue ? parseMarkupColor(*colorValue, rule.textColor, *env_.colors,
                                                     env_.enabled, env_.disabledColor)
                                  : rule.textColor;
    openLine(line);
    ++line.placed;
    if (measuring()) {
        line.maxAscent = std::max(line.maxAscent, thickness + 8);
        if (percent)
            line.percent = std::min(line.percent + amount, 100000);
        else
            line.x = std::min(line.x + amount, kMaxLayoutExtent);
        return;
    }
    const int width =
        percent ? static_cast<int>(static_cast<long long>(amount) * line.box.width() / 100)
                : amount;
    const int top = line.y + (line.rec.height - thickness) / 2;
    painter_->fillRect(line.x, top, width, thickness, QColor::fromRgb(shown(color)));
    line.x = std::min(line.x + width, kMaxLayoutExtent);
    if (percent) line.drawExtra += width;
}

void MarkupLayout::placeItem(Line& line, int width, int height,
                             const std::function<void(int, int)>& draw) {
    if (line.wrap > 0 && line.open && line.placed > 0 &&
        width > line.start + line.wrap - line.measuredX())
        endLine(line, 1, true);
    openLine(line);
    ++line.placed;
    if (measuring()) {
        line.maxAscent = std::max(line.maxAscent, height);
        line.x = std::min(line.x + width, kMaxLayoutExtent);
        return;
    }
    const int H = line.rec.height, D = line.rec.maxDescent;
    int top = line.y + H - D - height; // baseline
    if (state_.valign == VAlign::Top)
        top = line.y;
    else if (state_.valign == VAlign::Middle)
        top = line.y + (H - height) / 2;
    else if (state_.valign == VAlign::Bottom)
        top = line.y + H - height;
    draw(line.x, top);
    recordLink(line.x, top, width, height);
    line.x = std::min(line.x + width, kMaxLayoutExtent);
}

void MarkupLayout::placeImage(Line& line, const MarkupToken& token) {
    const ImageSpec spec = parseImageSpec(token.attrs, state_, ctx_);
    const bool hot = state_.linkKind != LinkKind::None && state_.linkIndex == env_.hoveredLink;
    const int flags = hot ? spec.hotStyle : spec.style;
    const bool anySource =
        spec.idres > 0 || !spec.file.isEmpty() || spec.iddll > 0 || spec.handle > 0;
    const auto kind =
        token.tag == TagId::Icon ? MarkupResources::Kind::Icon : MarkupResources::Kind::Bitmap;
    QImage src = anySource ? env_.resources->load(spec, kind) : QImage();
    QRect from = src.rect();
    QSize ref = src.size();
    if (token.tag == TagId::Icon) ref = QSize(kStandardIconSize, kStandardIconSize);
    if (token.tag == TagId::Ilst) {
        int cx = spec.cx, cy = spec.cy;
        if (!anySource) {
            src = env_.imageList;
            cx = env_.imageListCellWidth;
            cy = env_.imageListCellHeight;
        } else if (cx <= 0 && cy <= 0) {
            cx = cy = std::min(src.width(), src.height());
        } else if (cx <= 0) {
            cx = cy;
        } else if (cy <= 0) {
            cy = cx;
        }
        const int cols = cx > 0 ? src.width() / cx : 0;
        const int rows = cy > 0 ? src.height() / cy : 0;
        const int frames = cols * rows;
        int frame = spec.index;
        if (spec.speed > 0) { // animated: the entry carries the frame from pass to pass
            if (measuring()) {
                records_.animations->push_back(AnimationEntry{spec.index, frames, 0, spec.speed});
            } else if (animCursor_ < records_.animations->size()) {
                frame = (*records_.animations)[animCursor_++].currentFrame;
            }
        }
        if (frame < 0 || frame >= frames) return;
        from = QRect((frame % cols) * cx, (frame / cols) * cy, cx, cy);
        ref = QSize(cx, cy);
    }
    if (src.isNull() || from.isEmpty()) return;
    auto scaled = [](int base, int value, bool pct) {
        const long long v = pct ? static_cast<long long>(base) * value / 100 : value;
        return static_cast<int>(std::clamp<long long>(v, 0, MarkupRenderer::kMaxImageSide));
    };
    const QSize size(scaled(ref.width(), spec.width, spec.widthPercent),
                     scaled(ref.height(), spec.height, spec.heightPercent));
    if (size.isEmpty()) return;
    const bool shadow = (flags & kImageShadow) && (env_.shadowX != 0 || env_.shadowY != 0);
    const int boxW = size.width() + (shadow ? std::abs(env_.shadowX) : 0);
    const int boxH = size.height() + (shadow ? std::abs(env_.shadowY) : 0);
    placeItem(line, boxW, boxH, [&](int x, int top) {
        if (!visible_.intersects(QRect(x, top, boxW, boxH))) return;
        const QImage image = styleImage(src, from, size, flags, spec.hasMask, spec.mask);
        const int ix = x + std::max(0, -env_.shadowX), iy = top + std::max(0, -env_.shadowY);
        if (shadow) {
            QPoint margin;
            const QImage s = makeImageShadow(image, env_.shadowColor, env_.shadowGradient,
                                             env_.blurX, env_.blurY, &margin);
            painter_->drawImage(
                QPoint(ix + env_.shadowX - margin.x(), iy + env_.shadowY - margin.y()), s);
        }
        painter_->drawImage(QPoint(ix, iy), image);
    });
}

void MarkupLayout::placeString(Line& line, const MarkupAttributes& attrs) {
    const QByteArray* id = attrs.find("idres");
    if (!id) id = attrs.find("iddll");
    if (!id) return;
    const QByteArray bytes = env_.resources->loadString(
        static_cast<int>(std::clamp<long long>(parseCInteger(*id), 0, INT_MAX)));
    if (bytes.isEmpty()) return;
    // String files are UTF-8; older ones in the 8-bit code page still read.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = decodeAnsi(bytes);
    emitText(line, text);
}

} // namespace dorvak
