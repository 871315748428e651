#include "ui/tooltip/tool_tip_window.h"

#include "ui/controls/system_colors.h"
#include "ui/markup/background_effects.h"
#include "ui/markup/markup_renderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <vector>

namespace dorvak {

namespace {

// One box-blur pass over the alpha channel, horizontally then vertically.
void boxBlurAlpha(QImage& img, int rx, int ry) {
    const int w = img.width(), h = img.height();
    std::vector<int> line(size_t(qMax(w, h)));
    auto pass = [&](bool horizontal, int r) {
        if (r <= 0) return;
        const int outer = horizontal ? h : w, inner = horizontal ? w : h;
        for (int o = 0; o < outer; ++o) {
            auto at = [&](int i) -> uchar& {
                return horizontal ? img.scanLine(o)[i] : img.scanLine(i)[o];
            };
            for (int i = 0; i < inner; ++i)
                line[size_t(i)] = at(i);
            int sum = 0;
            for (int i = -r; i <= r; ++i)
                sum += (i >= 0 && i < inner) ? line[size_t(i)] : 0;
            for (int i = 0; i < inner; ++i) {
                at(i) = uchar(sum / (2 * r + 1));
                const int add = i + r + 1, drop = i - r;
                if (add < inner) sum += line[size_t(add)];
                if (drop >= 0) sum -= line[size_t(drop)];
            }
        }
    };
    for (int k = 0; k < 2; ++k) {
        pass(true, rx);
        pass(false, ry);
    }
}

QColor orInfo(const QColor& c) {
    return c.isValid() ? c : systemColor(SystemColor::InfoBackground);
}

} // namespace

ToolTipWindow::ToolTipWindow(QWidget* host)
    : QWidget(host, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                        Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QLatin1String(kClassName));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
    compositing_ = compositorAvailable();
    if (compositing_) setAttribute(Qt::WA_TranslucentBackground);
}

bool ToolTipWindow::compositorAvailable() {
    // Wayland always composites; elsewhere the screen-capture blend is used,
    // which looks the same over a still background and needs nothing.
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QRect ToolTipWindow::textRect() const {
    const ShapeSizes& s = look_.sizes;
    return geometry_.body.adjusted(s[2], s[3], -s[2], -s[3]);
}

bool ToolTipWindow::containsGlobal(const QPoint& global) const {
    return isVisible() && region_.contains(global - geometry_.windowPos);
}

void ToolTipWindow::present(const TipGeometry& g, const TipLook& look, MarkupRenderer* renderer,
                            int transparency) {
    geometry_ = g;
    look_ = look;
    renderer_ = renderer;
    transparency_ = qBound(0, transparency, 100);
    outline_ = tipOutline(g, look.sizes);
    const QSize shadow = look.shadowOn ? QSize(look.shadow.offsetX, look.shadow.offsetY) : QSize();
    setGeometry(QRect(g.windowPos, g.windowSize));
    region_ = tipRegion(g, look.sizes, shadow);
    if (!compositing_) setMask(region_);
    buildBackground();
    buildTip();
    buildShadow();
    backdrop_ = captureBackdrop();
    show();
    update();
}

void ToolTipWindow::moveTo(const TipGeometry& g) {
    geometry_.windowPos = g.windowPos;
    move(g.windowPos);
    backdrop_ = captureBackdrop();
    update();
}

void ToolTipWindow::setTransparency(int percent) {
    transparency_ = qBound(0, percent, 100);
    buildShadow();
    update();
}

void ToolTipWindow::refreshText() {
    buildTip();
    update();
}

void ToolTipWindow::dismiss() {
    hide();
    renderer_ = nullptr;
}

QImage ToolTipWindow::captureBackdrop() const {
    if (compositing_) return {};
    if (!backdropOverride_.isNull())
        return backdropOverride_.copy(QRect(geometry_.windowPos, size()));
    QScreen* s = QGuiApplication::screenAt(geometry_.windowPos);
    if (!s) s = QGuiApplication::primaryScreen();
    if (!s) return {};
    // The screen is captured while the tip is not on it yet (or from under
    // its previous place): what lies under the window.
    const QPoint at = geometry_.windowPos - s->geometry().topLeft();
    return s->grabWindow(0, at.x(), at.y(), width(), height()).toImage();
}

void ToolTipWindow::buildBackground() {
    const TipSettings& st = look_.settings;
    const QRect body = geometry_.body;
    background_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    background_.fill(Qt::transparent);
    QImage bodyImg(body.size(), QImage::Format_ARGB32_Premultiplied);
    bodyImg.fill(Qt::transparent);
    {
        QPainter bp(&bodyImg);
        drawBackgroundEffect(bp, bodyImg.rect(), Effect(st.effect), orInfo(st.start),
                             orInfo(st.middle), orInfo(st.end), st.granularity);
    }
    QPainter p(&background_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(outline_);
    p.drawImage(body.topLeft(), bodyImg);
    if (geometry_.pointer.isEmpty()) return;
    // The pointer repeats the body's edge row (or column) next to it, so
    // the effect runs into the pointer without a seam.
    const QRect pr = geometry_.pointer.boundingRect();
    const int edge = geometry_.direction / 16;
    QRect src;
    if (edge == tip::Top)
        src = QRect(pr.left() - body.left(), 0, pr.width(), 1);
    else if (edge == tip::Bottom)
        src = QRect(pr.left() - body.left(), body.height() - 1, pr.width(), 1);
    else if (edge == tip::Left)
        src = QRect(0, pr.top() - body.top(), 1, pr.height());
    else
        src = QRect(body.width() - 1, pr.top() - body.top(), 1, pr.height());
    p.drawImage(pr, bodyImg, src);
}

void ToolTipWindow::buildTip() {
    tip_ = background_;
    QPainter p(&tip_);
    if (renderer_) renderer_->Draw(p, textRect());
    if (look_.border.isValid() && (look_.borderWidth > 0 || look_.borderHeight > 0)) {
        // The frame lies inside the outline, as wide as the brush size.
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipPath(outline_);
        p.strokePath(outline_,
                     QPen(look_.border, 2.0 * qMax(look_.borderWidth, look_.borderHeight)));
    }
}

void ToolTipWindow::buildShadow() {
    shadowMask_ = QImage();
    if (!look_.shadowOn) return;
    const ShadowSettings& sh = look_.shadow;
    QImage mask(size(), QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(sh.offsetX, sh.offsetY);
        p.fillPath(outline_, Qt::black);
    }
    if (sh.gradient) boxBlurAlpha(mask, sh.blurX / 2, sh.blurY / 2);
    shadowMask_ = mask;
}

QImage ToolTipWindow::composed() const {
    QImage out(size(), QImage::Format_ARGB32_Premultiplied);
    if (!backdrop_.isNull() && backdrop_.size() == size())
        out = backdrop_.convertToFormat(out.format());
    else
        out.fill(compositing_ ? Qt::transparent : systemColor(SystemColor::ButtonFace));
    QPainter p(&out);
    if (!shadowMask_.isNull()) {
        // Grey 255 x (100 - darkness) / 100, lightened by the transparency:
        // the backdrop is darkened toward that grey where the blurred
        // silhouette lies.
        const int darkness = qBound(0, look_.shadow.darkness, 100);
        const double grey = 255.0 * (100 - darkness) / 100.0;
        const double lit = grey + (255.0 - grey) * transparency_ / 100.0;
        QImage shade(size(), QImage::Format_ARGB32_Premultiplied);
        shade.fill(Qt::transparent);
        const double strength = 1.0 - lit / 255.0;
        for (int y = 0; y < shade.height(); ++y) {
            const uchar* m = shadowMask_.constScanLine(y);
            QRgb* d = reinterpret_cast<QRgb*>(shade.scanLine(y));
            for (int x = 0; x < shade.width(); ++x)
                d[x] = qRgba(0, 0, 0, int(m[x] * strength));
        }
        p.drawImage(0, 0, shade);
    }
    p.setOpacity((100 - transparency_) / 100.0);
    p.drawImage(0, 0, tip_);
    return out;
}

void ToolTipWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (compositing_) p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, composed());
}

} // namespace dorvak
