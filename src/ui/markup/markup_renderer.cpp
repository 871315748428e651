#include "ui/markup/markup_renderer.h"

#include <QDesktopServices>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QUrl>
#include <QWidget>

#include <algorithm>

#include "ui/markup/markup_colors.h"
#include "ui/markup/markup_fonts.h"
#include "ui/markup/markup_images.h"
#include "ui/markup/markup_layout.h"
#include "ui/markup/style_sheet.h"

namespace dorvak {

struct MarkupRenderer::Settings {
    StyleSheet sheet;
    ColorTable colors;
    FontCache fonts;
    int shadowX = 4, shadowY = 4, darkness = 50;
    bool shadowGradient = true;
    int blurX = 7, blurY = 7;
    QImage imageList;
    int cellWidth = 0, cellHeight = 0;
    MarkupDocument document;
    std::vector<TableRecord> tables;
};

struct MarkupRenderer::Resources {
    MarkupResources store;
};

namespace {

// Hands a target to the desktop; xdg-open is the fallback when no handler
// took it (the desktop services report failure for unknown schemes).
bool openWithDesktop(const QByteArray& target) {
    const QString text = QString::fromLocal8Bit(target);
    const QUrl url = QUrl::fromUserInput(text);
    if (url.isValid() && QDesktopServices::openUrl(url)) return true;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {text});
}

} // namespace

MarkupRenderer::MarkupRenderer(QObject* parent)
    : QObject(parent), disabledColor_(QColor::fromRgb(systemButtonShadowColor())),
      linkCursor_(Qt::PointingHandCursor), settings_(std::make_unique<Settings>()),
      resources_(std::make_unique<Resources>()) {}

MarkupRenderer::~MarkupRenderer() {
    if (cursorWidget_ && cursorSet_) cursorWidget_->unsetCursor();
}

void MarkupRenderer::SetStyleSheet(const char* text) {
    settings_->sheet.load(text ? QByteArray(text) : QByteArray(StyleSheet::builtInText()));
}

void MarkupRenderer::SetStyleSheet(const QByteArray& text) {
    settings_->sheet.load(text.isNull() ? QByteArray(StyleSheet::builtInText()) : text);
}

void MarkupRenderer::SetEnabled(bool on) {
    enabled_ = on;
}
void MarkupRenderer::SetDisabledColor(QColor color) {
    disabledColor_ = color;
}
void MarkupRenderer::SetWrapWidth(int pixels) {
    wrapWidth_ = std::clamp(pixels, 0, kMaxLayoutExtent);
}
void MarkupRenderer::SetTabSize(int pixels) {
    tabSize_ = std::clamp(pixels, 1, kMaxLayoutExtent);
}
void MarkupRenderer::SetNewlineAsBreak(bool on) {
    newlineAsBreak_ = on;
}

void MarkupRenderer::SetImageShadow(int offsetX, int offsetY, int darkness, bool gradient,
                                    int blurX, int blurY) {
    Settings& s = *settings_;
    s.shadowX = std::clamp(offsetX, -256, 256);
    s.shadowY = std::clamp(offsetY, -256, 256);
    s.darkness = std::clamp(darkness, 0, 100);
    s.shadowGradient = gradient;
    s.blurX = std::clamp(blurX, 0, 64);
    s.blurY = std::clamp(blurY, 0, 64);
}

void MarkupRenderer::SetImageList(const QImage& cells, int cellWidth, int cellHeight) {
    settings_->imageList = cells;
    settings_->cellWidth = cells.isNull() ? 0 : std::max(0, cellWidth);
    settings_->cellHeight = cells.isNull() ? 0 : std::max(0, cellHeight);
}

void MarkupRenderer::SetResourceLibrary(const QString& path, bool owned) {
    resources_->store.setLibrary(path, owned);
}

void MarkupRenderer::SetLinkCursor(std::optional<QCursor> cursor) {
    linkCursor_ = cursor ? *cursor : QCursor(Qt::PointingHandCursor);
}

void MarkupRenderer::setCursorWidget(QWidget* widget) {
    if (cursorWidget_ && cursorSet_) cursorWidget_->unsetCursor();
    cursorWidget_ = widget;
    cursorSet_ = false;
}

void MarkupRenderer::SetLinkNotify(LinkCallback callback, qintptr param) {
    linkCallback_ = std::move(callback);
    linkParam_ = param;
}

void MarkupRenderer::SetHoverNotify(HoverCallback callback, qintptr param) {
    hoverCallback_ = std::move(callback);
    hoverParam_ = param;
}

void MarkupRenderer::setOpenTargetFunction(OpenTargetFunction open) {
    openTarget_ = std::move(open);
}

void MarkupRenderer::fillEnv(LayoutEnv& e) const {
    const Settings& s = *settings_;
    e.sheet = &s.sheet;
    e.colors = &s.colors;
    e.fonts = &settings_->fonts;
    e.resources = &resources_->store;
    e.enabled = enabled_;
    e.disabledColor = disabledColor_.rgb();
    e.wrapWidth = wrapWidth_;
    e.tabSize = tabSize_;
    e.dpiY = measureDpiY_; // lengths resolve in the draw pass as they did when measured
    e.hoveredLink = hoveredLink_;
    e.shadowX = s.shadowX;
    e.shadowY = s.shadowY;
    const int grey = 255 * (100 - s.darkness) / 100;
    e.shadowColor = qRgb(grey, grey, grey);
    e.shadowGradient = s.shadowGradient;
    e.blurX = s.blurX;
    e.blurY = s.blurY;
    e.imageList = s.imageList;
    e.imageListCellWidth = s.cellWidth;
    e.imageListCellHeight = s.cellHeight;
}

QSize MarkupRenderer::Prepare(const QPaintDevice* surface, const char* text) {
    return Prepare(surface, text ? QByteArray(text) : QByteArray());
}

QSize MarkupRenderer::Prepare(const QPaintDevice* surface, const QString& text) {
    return Prepare(surface, encodeAnsi(text));
}

QSize MarkupRenderer::Prepare(const QPaintDevice* surface, const QByteArray& text) {
    Settings& s = *settings_;
    lines_.clear();
    animations_.clear();
    linkAreas_.clear();
    s.tables.clear();
    s.document = MarkupDocument();
    prepared_.clear();
    measured_ = QSize(0, 0);
    resources_->store.clearCache(); // pick up resources that changed since the last text
    if (text.isEmpty()) return measured_;

    prepared_ = prepareMarkupSource(text.left(kMaxTextBytes), newlineAsBreak_);
    s.document = parseMarkup(prepared_, kMaxTableNesting);
    measureDpiY_ = surface ? surface->logicalDpiY() : 96;

    LayoutEnv env;
    fillEnv(env);
    LayoutRecords records{&lines_, &s.tables, &animations_};
    const QSize size = MarkupLayout(s.document, env, records, nullptr, nullptr).run(QRect());
    if (size.width() <= 0 && size.height() <= 0) {
        prepared_.clear();
        s.document = MarkupDocument();
        lines_.clear();
        animations_.clear();
        s.tables.clear();
        return measured_;
    }
    int width = size.width();
    if (wrapWidth_ > 0) width = std::min(width, wrapWidth_);
    measured_ = QSize(width + 1, size.height() + 1);
    return measured_;
}

void MarkupRenderer::Draw(QPainter& painter, const QRect& rect) {
    Settings& s = *settings_;
    if (s.document.empty()) return;
    linkAreas_.clear();
    LayoutEnv env;
    fillEnv(env);
    LayoutRecords records{&lines_, &s.tables, &animations_};
    painter.save();
    MarkupLayout layout(s.document, env, records, &painter, &linkAreas_);
    layout.run(rect);
    painter.restore();
}

bool MarkupRenderer::OnMouseMove(const QPoint& point) {
    const LinkArea* found = nullptr;
    for (const LinkArea& a : linkAreas_) {
        if (a.contains(point)) {
            found = &a;
            break;
        }
    }
    const int index = found ? found->index : -2;
    if (index != hoveredLink_) {
        hoveredLink_ = index;
        if (hoverCallback_) hoverCallback_(index, hoverParam_);
        emit hoverChanged(index, hoverParam_);
    }
    const bool overLink = found && !found->target.isEmpty();
    if (cursorWidget_) {
        if (overLink) {
            cursorWidget_->setCursor(linkCursor_);
            cursorSet_ = true;
        } else if (cursorSet_) {
            cursorWidget_->unsetCursor();
            cursorSet_ = false;
        }
    }
    return overLink;
}

bool MarkupRenderer::OnClick(const QPoint& point) {
    for (const LinkArea& a : linkAreas_) {
        if (!a.contains(point) || a.target.isEmpty()) continue;
        if (a.kind == LinkKind::OpenTarget) {
            const QByteArray target = a.target; // the callee may re-draw and replace the areas
            if (openTarget_)
                openTarget_(target);
            else
                openWithDesktop(target);
            return true;
        }
        if (a.kind == LinkKind::SendMessage) {
            const QByteArray target = a.target;
            if (linkCallback_) linkCallback_(target, linkParam_);
            emit linkMessage(target, linkParam_);
            return true;
        }
    }
    return false;
}

bool MarkupRenderer::AdvanceAnimations() {
    bool changed = false;
    for (AnimationEntry& e : animations_) {
        if (e.frameCount <= 0) continue;
        if (++e.tick < e.speed) continue;
        e.tick = 0;
        e.currentFrame = e.currentFrame + 1 >= e.frameCount ? 0 : e.currentFrame + 1;
        changed = true;
    }
    return changed;
}

int MarkupRenderer::registerImageHandle(const QImage& image) {
    return MarkupResources::registerHandle(image);
}
void MarkupRenderer::releaseImageHandle(int handle) {
    MarkupResources::releaseHandle(handle);
}

} // namespace dorvak
