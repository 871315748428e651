#include "ui/markup/background_effects.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <random>

#include "ui/markup/markup_text.h"

namespace dorvak {

namespace {

// Textures bigger than this many pixels are drawn only where they are seen.
constexpr long long kMaxTexturePixels = 16LL * 1024 * 1024;

QColor bandColor(const QColor& a, const QColor& b, int k) {
    // start + k * (end - start) / 64 per channel, truncated like C division.
    auto ch = [k](int s, int e) { return s + k * (e - s) / 64; };
    return QColor(ch(a.red(), b.red()), ch(a.green(), b.green()), ch(a.blue(), b.blue()));
}

// 64 bands across `r`, horizontally (color changes along x) or vertically.
void drawBands(QPainter& p, const QRect& r, const QColor& from, const QColor& to, bool horizontal) {
    const int size = horizontal ? r.width() : r.height();
    for (int k = 0; k < 64; ++k) {
        const int a = static_cast<int>(static_cast<long long>(size) * k / 64);
        const int b = static_cast<int>(static_cast<long long>(size) * (k + 1) / 64);
        if (b <= a) continue; // empty bands of small rectangles are skipped
        const QRect band = horizontal ? QRect(r.left() + a, r.top(), b - a, r.height())
                                      : QRect(r.left(), r.top() + a, r.width(), b - a);
        p.fillRect(band, bandColor(from, to, k));
    }
}

void drawSplitBands(QPainter& p, const QRect& r, const QColor& a, const QColor& b, const QColor& c,
                    bool horizontal) {
    if (horizontal) {
        const int half = r.width() / 2;
        drawBands(p, QRect(r.left(), r.top(), half, r.height()), a, b, true);
        drawBands(p, QRect(r.left() + half, r.top(), r.width() - half, r.height()), b, c, true);
    } else {
        const int half = r.height() / 2;
        drawBands(p, QRect(r.left(), r.top(), r.width(), half), a, b, false);
        drawBands(p, QRect(r.left(), r.top() + half, r.width(), r.height() - half), b, c, false);
    }
}

QVector<QRgb> texturePalette(const QColor& start, const QColor& middle, const QColor& end) {
    QVector<QRgb> palette(256);
    auto mix = [](const QColor& a, const QColor& b, int i, int n) {
        return qRgb(a.red() + (b.red() - a.red()) * i / n,
                    a.green() + (b.green() - a.green()) * i / n,
                    a.blue() + (b.blue() - a.blue()) * i / n);
    };
    for (int i = 0; i <= 128; ++i)
        palette[i] = mix(end, middle, i, 128);
    for (int i = 129; i < 256; ++i)
        palette[i] = mix(middle, start, i - 128, 127);
    return palette;
}

long long cube(long long t) {
    return t * t * t;
}

// The part of `rect` that the painter can show, in the rect's coordinates.
QRect visiblePart(QPainter& p, const QRect& rect) {
    QRect visible = rect;
    if (p.device() && p.worldTransform().isAffine()) {
        const QRect device(0, 0, p.device()->width(), p.device()->height());
        const QRect mapped = p.worldTransform().inverted().mapRect(device);
        visible = rect.intersected(mapped.adjusted(-1, -1, 1, 1));
    }
    if (p.hasClipping()) visible = visible.intersected(p.clipBoundingRect().toAlignedRect());
    return visible;
}

// The metal texture's 200 diagonal streaks over the full w x h texture, as
// the values they add within `part`. They come first from `rng`, so a part
// of the texture draws the same streaks as the whole.
std::vector<int> metalStreaks(const QRect& part, int w, int h, std::minstd_rand& rng) {
    std::vector<int> streak(static_cast<size_t>(part.width()) * part.height(), 0);
    std::uniform_int_distribution<int> px(0, std::max(0, w - 1)), py(0, std::max(0, h - 1));
    std::uniform_int_distribution<int> len(1, std::max(1, std::min(w, h))), val(0, 40);
    for (int s = 0; s < 200; ++s) {
        const int x0 = px(rng), y0 = py(rng), l = len(rng), v = val(rng);
        for (int i = 0; i < l; ++i) {
            const int x = x0 + i, y = y0 + i;
            if (part.contains(x, y))
                streak[static_cast<size_t>(y - part.top()) * part.width() + (x - part.left())] = v;
        }
    }
    return streak;
}

void renderTexturePart(QImage& image, const QRect& part, QSize full, Effect effect, int g) {
    const int w = full.width(), h = full.height();
    const int d = 255 - 2 * g;
    std::minstd_rand rng(static_cast<unsigned>(w * 7919 + h * 104729 + int(effect)));
    std::uniform_int_distribution<int> noise(-g, g);
    std::vector<int> streak; // metal streak values for this part
    if (effect == Effect::Metal) streak = metalStreaks(part, w, h, rng);
    const int band = std::min(w / 6, 16);
    for (int y = part.top(); y <= part.bottom(); ++y) {
        uchar* line = image.scanLine(y - part.top());
        const long long ty = static_cast<long long>(y) * 255 / h - 127;
        for (int x = part.left(); x <= part.right(); ++x) {
            const long long tx = static_cast<long long>(w - x) * 255 / w - 127;
            long long v = 0;
            switch (effect) {
            case Effect::Noise:
                v = 128 + noise(rng);
                break;
            case Effect::DiagShade:
                v = g + (y * (d / 2)) / h + ((w - x) * (d / 2)) / w + noise(rng);
                break;
            case Effect::HShade:
                v = g + static_cast<long long>(y) * d / h + noise(rng);
                break;
            case Effect::VShade:
                v = g + static_cast<long long>(w - x) * d / w + noise(rng);
                break;
            case Effect::HBump:
                v = 128 + (cube(ty) / 16384 * (128 - g)) / 128 + noise(rng);
                break;
            case Effect::VBump:
                v = 128 + (cube(tx) / 16384 * (128 - g)) / 128 + noise(rng);
                break;
            case Effect::SoftBump:
                v = std::clamp<long long>(128 + ((cube(ty) + cube(tx)) / 16384 * (128 - g)) / 128,
                                          g, 255 - g) +
                    noise(rng);
                break;
            case Effect::HardBump:
                v = 128 + (cube(ty) / 16384 * (64 - g) * 2) / 128 + noise(rng);
                if (x - 0 < band)
                    v += 64; // lighter band along the left side
                else if (w - 1 - x < band)
                    v -= 64; // darker band along the right side
                break;
            case Effect::Metal: {
                const int dd = (d - 40) / 2;
                v = streak[static_cast<size_t>(y - part.top()) * part.width() + (x - part.left())] +
                    g + (y * dd) / h + ((w - x) * dd) / w + (noise(rng) + g);
                break;
            }
            default:
                v = 128;
                break;
            }
            line[x - part.left()] = static_cast<uchar>(std::clamp<long long>(v, 0, 255));
        }
    }
}

} // namespace

Effect parseBackgroundEffect(const QByteArray& value, Effect fallback) {
    static const std::pair<const char*, Effect> kNames[] = {
        {"transparent", Effect::Transparent},
        {"solid", Effect::Solid},
        {"hgradient", Effect::HGradient},
        {"vgradient", Effect::VGradient},
        {"hcgradient", Effect::HCGradient},
        {"vcgradient", Effect::VCGradient},
        {"3hgradient", Effect::ThreeHGradient},
        {"3vgradient", Effect::ThreeVGradient},
        {"noise", Effect::Noise},
        {"diagshade", Effect::DiagShade},
        {"hshade", Effect::HShade},
        {"vshade", Effect::VShade},
        {"hbump", Effect::HBump},
        {"vbump", Effect::VBump},
        {"softbump", Effect::SoftBump},
        {"hardbump", Effect::HardBump},
        {"metal", Effect::Metal},
    };
    const QByteArray v = value.trimmed();
    if (v.isEmpty()) return fallback;
    for (const auto& [name, effect] : kNames)
        if (v == name) return effect;
    // A number past the named ones fills solid; one below paints nothing.
    return Effect(std::clamp<long long>(parseCInteger(v), -1, 16));
}

QImage renderTexture(QSize size, Effect effect, QColor start, QColor middle, QColor end,
                     int granularity) {
    if (size.isEmpty() || static_cast<long long>(size.width()) * size.height() > kMaxTexturePixels)
        return {};
    QImage image(size, QImage::Format_Indexed8);
    image.setColorTable(texturePalette(start, middle, end));
    renderTexturePart(image, QRect(QPoint(0, 0), size), size, effect,
                      std::clamp(granularity, 0, 63));
    return image;
}

void drawBackgroundEffect(QPainter& painter, const QRect& rect, Effect effect, QColor start,
                          QColor middle, QColor end, int granularity) {
    if (int(effect) < 0 || rect.isEmpty()) return;
    if (effect == Effect::Solid || int(effect) > int(Effect::Metal)) {
        painter.fillRect(rect, start);
        return;
    }
    switch (effect) {
    case Effect::HGradient:
        drawBands(painter, rect, start, end, true);
        return;
    case Effect::VGradient:
        drawBands(painter, rect, start, end, false);
        return;
    case Effect::HCGradient:
        drawSplitBands(painter, rect, start, end, start, true);
        return;
    case Effect::VCGradient:
        drawSplitBands(painter, rect, start, end, start, false);
        return;
    case Effect::ThreeHGradient:
        drawSplitBands(painter, rect, start, middle, end, true);
        return;
    case Effect::ThreeVGradient:
        drawSplitBands(painter, rect, start, middle, end, false);
        return;
    default:
        break;
    }
    // Textures: only the visible part is computed, with the formulas of the
    // whole rectangle, so huge rectangles cost no more than the screen.
    const QRect visible = visiblePart(painter, rect);
    if (visible.isEmpty() ||
        static_cast<long long>(visible.width()) * visible.height() > kMaxTexturePixels)
        return;
    QImage image(visible.size(), QImage::Format_Indexed8);
    image.setColorTable(texturePalette(start, middle, end));
    renderTexturePart(image, visible.translated(-rect.topLeft()), rect.size(), effect,
                      std::clamp(granularity, 0, 63));
    painter.drawImage(visible.topLeft(), image);
}

void drawFrame(QPainter& painter, const QRect& rect, QColor first, QColor second,
               BorderStyle borderStyle, int width) {
    if (borderStyle == BorderStyle::None || width <= 0 || rect.isEmpty()) return;
    width = std::min(width, std::max(1, std::min(rect.width(), rect.height()) / 2));
    if (borderStyle == BorderStyle::Solid) {
        // Left and top in the first color, then right and bottom in the second.
        painter.fillRect(QRect(rect.left(), rect.top(), width, rect.height()), first);
        painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), width), first);
        painter.fillRect(QRect(rect.right() - width + 1, rect.top(), width, rect.height()), second);
        painter.fillRect(QRect(rect.left(), rect.bottom() - width + 1, rect.width(), width),
                         second);
        return;
    }
    // Dashed, dotted and double frames are one pixel wide.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const Qt::PenStyle style = borderStyle == BorderStyle::Dashed   ? Qt::DashLine
                               : borderStyle == BorderStyle::Dotted ? Qt::DotLine
                                                                    : Qt::SolidLine;
    auto frame = [&](const QRect& r) {
        QPen pen(first, 0, style, Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(r.bottomLeft(), r.topLeft());
        painter.drawLine(r.topLeft(), r.topRight());
        pen.setColor(second);
        painter.setPen(pen);
        painter.drawLine(r.topRight(), r.bottomRight());
        painter.drawLine(r.bottomRight(), r.bottomLeft());
    };
    frame(rect);
    const QRect inner = rect.adjusted(2, 2, -2, -2);
    if (borderStyle == BorderStyle::Double && !inner.isEmpty()) frame(inner);
    painter.restore();
}

} // namespace dorvak
