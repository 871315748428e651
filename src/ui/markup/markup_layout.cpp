#include "ui/markup/markup_layout.h"

#include <QPaintDevice>
#include <QPainter>
#include <QStringDecoder>

#include <algorithm>

#include "ui/markup/markup_colors.h"
#include "ui/markup/markup_fonts.h"

namespace dorvak {

namespace {

constexpr int kMaxExtent = kMaxLayoutExtent;

} // namespace

MarkupLayout::MarkupLayout(const MarkupDocument& doc, const LayoutEnv& env, LayoutRecords& records,
                           QPainter* painter, std::vector<LinkArea>* links)
    : doc_(doc), env_(env), records_(records), painter_(painter), links_(links) {
    ctx_.colors = env.colors;
    ctx_.enabled = env.enabled;
    ctx_.disabledColor = env.disabledColor;
    ctx_.dpiY = env.dpiY;
    ctx_.maxFontPixels = MarkupRenderer::kMaxFontPixels;
    FontCache* fonts = env.fonts;
    ctx_.exHeight = [fonts](const StyleState& s) { return fonts->get(s)->height; };
    if (painter && painter->device()) {
        // Images outside this rectangle are not scaled or styled at all, so a
        // text full of huge images costs only what is on the surface.
        const QRect device(0, 0, painter->device()->width(), painter->device()->height());
        visible_ = painter->worldTransform().inverted().mapRect(device);
        if (painter->hasClipping())
            visible_ = visible_.intersected(painter->clipBoundingRect().toAlignedRect());
        visible_.adjust(-64, -64, 64, 64); // room for blurred shadows
    }
}

QSize MarkupLayout::run(const QRect& rect) {
    if (doc_.empty()) return {};
    stack_.clear();
    state_ = StyleState();
    applyStyleRule(*env_.sheet, "body", state_, ctx_);
    push(StyleKey::Body); // the text is read as if wrapped in <body>
    applyStyleRule(*env_.sheet, "body", state_, ctx_);
    updateFont();
    return layoutSequence(0, rect, env_.wrapWidth, 0);
}

QSize MarkupLayout::layoutSequence(int sequence, const QRect& box, int wrap, int depth) {
    if (sequence < 0 || sequence >= static_cast<int>(doc_.sequences.size())) return {};
    if (depth > MarkupRenderer::kMaxTableNesting + 1) return {};
    const auto& tokens = doc_.sequences[sequence];
    int width = 0, height = 0;
    size_t i = 0;
    while (i < tokens.size()) {
        const QRect segment(box.left(), box.top() + height, box.width(),
                            std::max(0, box.height() - height));
        QSize size;
        if (tokens[i].kind == MarkupToken::TableRef) {
            const int index = tokens[i].count;
            if (index >= 0 && index < static_cast<int>(doc_.tables.size()))
                size = layoutTable(doc_.tables[index], segment, depth);
            ++i;
        } else {
            size_t j = i;
            while (j < tokens.size() && tokens[j].kind != MarkupToken::TableRef)
                ++j;
            size = layoutParagraph(tokens, i, j, segment, wrap);
            i = j;
        }
        width = std::max(width, size.width());
        height += size.height();
    }
    return {width, height};
}

QSize MarkupLayout::layoutParagraph(const std::vector<MarkupToken>& tokens, size_t begin,
                                    size_t end, const QRect& box, int wrap) {
    Line line;
    line.box = box;
    line.wrap = wrap;
    line.y = box.top();
    const size_t firstRecord = records_.lines->size();
    for (size_t i = begin; i < end; ++i) {
        const MarkupToken& t = tokens[i];
        if (t.kind == MarkupToken::Text)
            placeText(line, transformed(t.text), wrap > 0);
        else if (t.kind == MarkupToken::Open)
            openTag(t, line);
        else if (t.kind == MarkupToken::Close)
            closeTag(t);
    }
    if (line.open) endLine(line, 1, false);
    const int height = line.y - box.top();
    if (!measuring()) return {box.width(), height};

    // Percentage-wide rules take their share of the widest line.
    int widest = 0;
    for (size_t k = firstRecord; k < records_.lines->size(); ++k)
        widest = std::max(widest, (*records_.lines)[k].width);
    int width = widest;
    for (size_t k = firstRecord; k < records_.lines->size(); ++k) {
        const LineRecord& r = (*records_.lines)[k];
        width = std::max(
            width, r.width + static_cast<int>(static_cast<long long>(r.percent) * widest / 100));
        // The draw pass resolves percentages against the width it is given; a
        // line whose rule makes it the widest needs W with r.width + p% of W
        // fitting in W, or its text would be cut at the measured width.
        if (r.percent > 0 && r.percent < 100 && r.width > 0)
            width =
                std::max<long long>(width, (100LL * r.width + 99 - r.percent) / (100 - r.percent));
    }
    return {width, height};
}

bool MarkupLayout::push(StyleKey key) {
    if (stack_.size() >= static_cast<size_t>(MarkupRenderer::kMaxNesting)) return false;
    stack_.push_back(state_);
    stack_.back().key = key;
    return true;
}

void MarkupLayout::popTo(size_t depth, const StyleState& state) {
    if (stack_.size() > depth) stack_.resize(depth);
    state_ = state;
    updateFont();
}

void MarkupLayout::updateFont() {
    font_ = env_.fonts->get(state_);
}

void MarkupLayout::closeTag(const MarkupToken& t) {
    if (t.key == StyleKey::None || stack_.empty() || stack_.back().key != t.key) return;
    state_ = stack_.back();
    stack_.pop_back();
    updateFont();
}

namespace {

// The tags that set one field of the style: weight, the italic, underline
// and strike-out switches, and the alignments across and down.
void applyStateTag(TagId tag, StyleState& s) {
    switch (tag) {
    case TagId::Bold:
        s.weight = std::min(900, s.weight * 2);
        break;
    case TagId::Italic:
        s.italic = !s.italic;
        break;
    case TagId::Underline:
        s.underline = !s.underline;
        break;
    case TagId::Strike:
        s.strikeOut = !s.strikeOut;
        break;
    case TagId::Left:
        s.align = HAlign::Left;
        break;
    case TagId::Center:
        s.align = HAlign::Center;
        break;
    case TagId::Right:
        s.align = HAlign::Right;
        break;
    case TagId::Justify:
        s.align = HAlign::Justify;
        break;
    case TagId::Baseline:
        s.valign = VAlign::Baseline;
        break;
    case TagId::Top:
        s.valign = VAlign::Top;
        break;
    case TagId::VCenter:
        s.valign = VAlign::Middle;
        break;
    case TagId::Bottom:
        s.valign = VAlign::Bottom;
        break;
    default:
        break;
    }
}

} // namespace

void MarkupLayout::openTag(const MarkupToken& t, Line& line) {
    switch (t.tag) {
    case TagId::Br:
        endLine(line, std::clamp(t.count, 1, MarkupRenderer::kMaxRepeat), false);
        return;
    case TagId::Tab:
        placeTab(line, std::clamp(t.count, 1, MarkupRenderer::kMaxRepeat));
        return;
    case TagId::Hr:
        placeRule(line, t.attrs);
        return;
    case TagId::Bmp:
    case TagId::Icon:
    case TagId::Ilst:
        placeImage(line, t);
        return;
    case TagId::String:
        placeString(line, t.attrs);
        return;
    default:
        break;
    }
    if (t.key == StyleKey::None || !push(t.key)) return;
    StyleState& s = state_;
    switch (t.tag) {
    case TagId::Font:
        applyFontTag(t.attrs);
        break;
    case TagId::Bold:
    case TagId::Italic:
    case TagId::Underline:
    case TagId::Strike:
    case TagId::Left:
    case TagId::Center:
    case TagId::Right:
    case TagId::Justify:
    case TagId::Baseline:
    case TagId::Top:
    case TagId::VCenter:
    case TagId::Bottom:
        applyStateTag(t.tag, s);
        break;
    case TagId::SheetTag:
        applyStyleRule(*env_.sheet, t.name, s, ctx_);
        break;
    case TagId::Span:
        if (const QByteArray* cls = t.attrs.find("class"))
            applyStyleRule(*env_.sheet, '.' + cls->toLower(), s, ctx_);
        break;
    case TagId::Anchor:
        applyAnchor(t.attrs);
        break;
    default:
        break;
    }
    updateFont();
}

void MarkupLayout::applyFontTag(const MarkupAttributes& attrs) {
    StyleState& s = state_;
    for (const auto& [name, v] : attrs.list) {
        if (name == "face") {
            if (!v.isEmpty()) s.face = v;
        } else if (name == "size") {
            s.fontHeight = std::clamp(parseLength(v, s.fontHeight, true, s, ctx_), 1,
                                      MarkupRenderer::kMaxFontPixels);
        } else if (name == "color") {
            s.textColor =
                parseMarkupColor(v, s.textColor, *env_.colors, env_.enabled, env_.disabledColor);
        } else if (name == "weight") {
            s.weight = parseWeight(v, s.weight);
        } else if (name == "bkgnd") {
            if (v.isEmpty() || v == "transparent") {
                s.backgroundMode = BackgroundMode::Transparent;
            } else {
                s.backgroundMode = BackgroundMode::Opaque;
                s.backgroundColor = parseMarkupColor(v, s.backgroundColor, *env_.colors,
                                                     env_.enabled, env_.disabledColor);
            }
        } else if (name == "style") {
            bool on = true;
            for (char c : v) {
                switch (c) {
                case '-':
                    on = false;
                    continue;
                case '+':
                    on = true;
                    continue;
                case 'b':
                    s.weight = on ? 700 : 400;
                    break;
                case 'i':
                    s.italic = on;
                    break;
                case 'u':
                    s.underline = on;
                    break;
                case 's':
                    s.strikeOut = on;
                    break;
                case 'o':
                    s.overline = on;
                    break;
                default:
                    break;
                }
                on = true;
            }
        }
    }
}

void MarkupLayout::applyAnchor(const MarkupAttributes& attrs) {
    StyleState& s = state_;
    s.linkIndex = linkCounter_++;
    for (const auto& [name, v] : attrs.list) {
        if (name == "href")
            s.linkKind = LinkKind::OpenTarget, s.linkTarget = v;
        else if (name == "msg")
            s.linkKind = LinkKind::SendMessage, s.linkTarget = v;
    }
    applyStyleRule(*env_.sheet, s.linkIndex == env_.hoveredLink ? "a:hover" : "a:link", s, ctx_);
}

QString MarkupLayout::transformed(const QString& text) const {
    switch (state_.transform) {
    case TextTransform::Uppercase:
        return text.toUpper();
    case TextTransform::Lowercase:
        return text.toLower();
    case TextTransform::Capitalize: {
        QString out = text;
        for (qsizetype i = 0; i < out.size(); ++i)
            if ((i == 0 || out[i - 1] == QLatin1Char(' ')) && out[i] >= QLatin1Char('a') &&
                out[i] <= QLatin1Char('z'))
                out[i] = out[i].toUpper();
        return out;
    }
    default:
        return text;
    }
}

void MarkupLayout::openLine(Line& line) {
    if (line.open) return;
    line.open = true;
    line.placed = 0;
    if (measuring()) {
        line.start = line.x = line.box.left();
        line.maxAscent = line.maxDescent = line.percent = line.spaces = 0;
        line.align = state_.align;
        return;
    }
    if (lineCursor_ < records_.lines->size()) {
        line.rec = (*records_.lines)[lineCursor_++];
    } else {
        line.rec = LineRecord{};
        line.rec.height = font_->height;
    }
    const int boxWidth = line.box.width();
    const int lineWidth =
        line.rec.width +
        static_cast<int>(static_cast<long long>(line.rec.percent) * boxWidth / 100);
    int offset = 0;
    if (line.rec.align == HAlign::Center)
        offset = (boxWidth - lineWidth) / 2;
    else if (line.rec.align == HAlign::Right)
        offset = boxWidth - lineWidth;
    line.start = line.x = line.box.left() + std::max(0, offset);
    line.extra = line.spacesLeft = line.drawExtra = 0;
    if (line.rec.align == HAlign::Justify && line.rec.wrapped && line.rec.spaces > 0 &&
        boxWidth > lineWidth) {
        line.extra = boxWidth - lineWidth;
        line.spacesLeft = line.rec.spaces;
    }
}

void MarkupLayout::endLine(Line& line, int count, bool wrapped) {
    openLine(line);
    if (measuring()) {
        LineRecord r;
        r.width = line.x - line.start;
        r.maxDescent = line.maxDescent;
        r.height = (line.maxAscent > 0 ? line.maxAscent : font_->height) + line.maxDescent;
        r.percent = line.percent;
        r.align = line.align;
        r.spaces = line.spaces;
        r.wrapped = wrapped;
        records_.lines->push_back(r);
        line.y = std::min(line.y + count * r.height, kMaxExtent);
    } else {
        line.y = std::min(line.y + count * line.rec.height, kMaxExtent);
    }
    line.open = false;
}

} // namespace dorvak
