#include "ui/tooltip/markup_tool_tip.h"

#include "ui/controls/system_colors.h"
#include "ui/controls/window_message.h"
#include "ui/markup/markup_renderer.h"

#include <QApplication>
#include <QScreen>
#include <QToolBar>

namespace dorvak {

using namespace tip;

MarkupToolTip::MarkupToolTip(QWidget* host, Shape shape)
    : QObject(host), host_(host), renderer_(std::make_unique<MarkupRenderer>()),
      window_(std::make_unique<ToolTipWindow>(host)), shape_(shape),
      sizes_(shape == Shape::Balloon ? kBalloonSizes : kRectangleSizes) {
    const QColor info = systemColor(SystemColor::InfoBackground);
    defaults_.start = defaults_.middle = defaults_.end = info;
    border_ = systemColor(SystemColor::InfoText);
    renderer_->setCursorWidget(window_.get());
    renderer_->SetHoverNotify(
        [this](int, qintptr) {
            if (hoverRepaint_ && window_->isVisible()) window_->refreshText();
        },
        kHoverMessage);
    const TimerKind kinds[] = {ShowTimer, HideTimer, FadeInTimer, FadeOutTimer, AnimationTimer};
    void (MarkupToolTip::*handlers[])() = {&MarkupToolTip::onShowTimer, &MarkupToolTip::onHideTimer,
                                           &MarkupToolTip::onFadeIn, &MarkupToolTip::onFadeOut,
                                           &MarkupToolTip::onAnimation};
    for (int i = 0; i < TimerCount; ++i) {
        auto handler = handlers[i];
        connect(&timers_[kinds[i]].timer, &QTimer::timeout, this,
                [this, handler] { (this->*handler)(); });
    }
    startTimer(AnimationTimer, animationTick_);
    if (host) host->setMouseTracking(true);
    qApp->installEventFilter(this);
}

MarkupToolTip::~MarkupToolTip() {
    qApp->removeEventFilter(this);
    window_.reset();
}

// --- tools ----------------------------------------------------------------

ToolRecord MarkupToolTip::makeTool(QWidget* owner, const QString& text, const QRect& rect) const {
    ToolRecord t;
    t.owner = owner;
    t.rect = rect;
    t.text = text;
    t.direction = defaults_.direction;
    t.effect = defaults_.effect;
    t.behaviour = defaults_.behaviour;
    t.granularity = defaults_.granularity;
    t.transparency = defaults_.transparency;
    t.start = defaults_.start;
    t.middle = defaults_.middle;
    t.end = defaults_.end;
    return t;
}

void MarkupToolTip::addTool(QWidget* owner, const QString& text, const QRect& rect) {
    addTool(makeTool(owner, text, rect));
}

void MarkupToolTip::addTool(const ToolRecord& record) {
    if (!record.owner) return;
    record.owner->setMouseTracking(true);
    std::vector<ToolRecord>& list = tools_[record.owner.data()];
    for (ToolRecord& t : list)
        if (t.rect == record.rect) {
            t = record;
            return;
        }
    list.push_back(record);
}

void MarkupToolTip::removeTools(QWidget* owner) {
    tools_.erase(owner);
    if (hasCurrent_ && current_.owner == owner) forgetCurrent();
}

int MarkupToolTip::toolCount(QWidget* owner) const {
    auto it = tools_.find(owner);
    return it == tools_.end() ? 0 : int(it->second.size());
}

void MarkupToolTip::registerToolBar(QToolBar* toolbar) {
    if (!toolbar) return;
    toolbar->setMouseTracking(true);
    toolbars_.push_back(toolbar);
}

// --- defaults ---------------------------------------------------------------

void MarkupToolTip::setBackgroundEffect(int effect, int granularity) {
    defaults_.effect = effect;
    defaults_.granularity = granularity;
}

void MarkupToolTip::setColors(const QColor& start, const QColor& middle, const QColor& end) {
    defaults_.start = start;
    defaults_.middle = middle;
    defaults_.end = end;
}

void MarkupToolTip::setBorder(const QColor& brush, int width, int height) {
    border_ = brush;
    borderW_ = width;
    borderH_ = height;
}

void MarkupToolTip::setDirection(int direction) {
    defaults_.direction = direction;
}
void MarkupToolTip::setBehaviour(quint32 flags) {
    defaults_.behaviour = flags;
}
void MarkupToolTip::setTransparency(int percent) {
    defaults_.transparency = qBound(0, percent, 100);
}
void MarkupToolTip::setInspectionMode(bool on) {
    inspection_ = on;
}
void MarkupToolTip::setNotifyWindow(QObject* window) {
    notify_ = window;
}
void MarkupToolTip::setHoverRepaint(bool on) {
    hoverRepaint_ = on;
}
void MarkupToolTip::setWrapWidth(int pixels) {
    wrapWidth_ = qMax(0, pixels);
}

void MarkupToolTip::setShape(Shape shape) {
    shape_ = shape;
    sizes_ = shape == Shape::Balloon ? kBalloonSizes : kRectangleSizes;
}

void MarkupToolTip::setShadow(bool on, const ShadowSettings& shadow) {
    shadowOn_ = on;
    shadow_ = shadow;
    shadow_.darkness = qBound(0, shadow_.darkness, 100);
}

void MarkupToolTip::setShapeSize(int index, int value) {
    if (index >= 0 && index < int(sizes_.size())) sizes_[size_t(index)] = qMax(0, value);
}

void MarkupToolTip::setAnimationTick(int ms) {
    animationTick_ = qMax(1, ms);
    startTimer(AnimationTimer, animationTick_);
}

// --- timers -----------------------------------------------------------------

void MarkupToolTip::setManualTimers(bool manual) {
    manual_ = manual;
    for (Timer& t : timers_) {
        if (manual)
            t.timer.stop();
        else if (t.active)
            t.timer.start();
    }
}

void MarkupToolTip::startTimer(TimerKind kind, int ms) {
    Timer& t = timers_[kind];
    t.active = true;
    t.timer.setInterval(qMax(0, ms));
    if (!manual_) t.timer.start();
}

void MarkupToolTip::stopTimer(TimerKind kind) {
    timers_[kind].active = false;
    timers_[kind].timer.stop();
}

void MarkupToolTip::stopAllTimers() {
    for (TimerKind k : {ShowTimer, HideTimer, FadeInTimer, FadeOutTimer})
        stopTimer(k);
}

void MarkupToolTip::fireTimer(TimerKind kind) {
    if (!timers_[kind].active) return;
    switch (kind) {
    case ShowTimer:
        onShowTimer();
        break;
    case HideTimer:
        onHideTimer();
        break;
    case FadeInTimer:
        onFadeIn();
        break;
    case FadeOutTimer:
        onFadeOut();
        break;
    case AnimationTimer:
        onAnimation();
        break;
    default:
        break;
    }
}

quint32 MarkupToolTip::behaviourOf(const ToolRecord& tool) const {
    // The tool's own flags count for "no automatic hiding" when it overrides them.
    quint32 b = defaults_.behaviour;
    if (tool.overrideMask & kOverrideBehaviour)
        b = (b & ~kNoAutoHide) | (tool.behaviour & kNoAutoHide);
    return b;
}

TipSettings MarkupToolTip::merged(const ToolRecord& tool) const {
    TipSettings s = defaults_;
    if (tool.overrideMask & kOverrideSize) s.extra = tool.extra;
    if (tool.overrideMask & kOverrideEffect) {
        s.effect = tool.effect;
        s.granularity = tool.granularity;
    }
    if (tool.overrideMask & kOverrideColors) {
        s.start = tool.start;
        s.middle = tool.middle;
        s.end = tool.end;
    }
    if (tool.overrideMask & kOverrideDirection) s.direction = tool.direction;
    s.behaviour = behaviourOf(tool);
    if (tool.overrideMask & kOverrideTransparency)
        s.transparency = qBound(0, tool.transparency, 100);
    return s;
}

void MarkupToolTip::onShowTimer() {
    stopTimer(ShowTimer);
    if (!hasPending_) return;
    if (lastPoint_ != pendingPoint_) {
        // The mouse moved on before the delay ran out.
        hasPending_ = false;
        if (state_ != State::Hidden) startHiding();
        return;
    }
    if (state_ == State::FadingOut && fadeOutStep_ > 0) {
        showAfterFadeOut_ = true; // started once the fade-out ends
        return;
    }
    const ToolRecord tool = pending_;
    hasPending_ = false;
    stopAllTimers();
    if (!present(pendingPoint_, tool)) {
        if (state_ != State::Hidden) finishHidden();
        return;
    }
    if (fadeInStep_ > 0) {
        state_ = State::FadingIn;
        transparency_ = 100;
        window_->setTransparency(transparency_);
        startTimer(FadeInTimer, fadeInStep_);
    } else {
        state_ = State::Shown;
        if (!(shownSettings_.behaviour & kNoAutoHide)) startTimer(HideTimer, hideDelay_);
    }
}

void MarkupToolTip::onFadeIn() {
    transparency_ = qMax(transparency_ - 20, shownSettings_.transparency);
    window_->setTransparency(transparency_);
    if (transparency_ > shownSettings_.transparency) return;
    stopTimer(FadeInTimer);
    state_ = State::Shown;
    if (!(shownSettings_.behaviour & kNoAutoHide)) startTimer(HideTimer, hideDelay_);
}

void MarkupToolTip::onHideTimer() {
    stopAllTimers();
    if (state_ == State::Hidden) return;
    state_ = State::FadingOut;
    if (fadeOutStep_ > 0)
        startTimer(FadeOutTimer, fadeOutStep_);
    else
        finishHidden();
}

void MarkupToolTip::onFadeOut() {
    transparency_ += 20;
    if (transparency_ < 80) {
        window_->setTransparency(transparency_);
        return;
    }
    transparency_ = 100;
    stopTimer(FadeOutTimer);
    finishHidden();
}

void MarkupToolTip::finishHidden() {
    window_->dismiss();
    state_ = State::Hidden;
    if (shownSettings_.behaviour & kForgetOnHide) forgetCurrent();
    if (showAfterFadeOut_) {
        showAfterFadeOut_ = false;
        if (hasPending_) onShowTimer();
    }
}

void MarkupToolTip::onAnimation() {
    if (state_ == State::Hidden || !window_->isVisible()) return;
    if (renderer_->AdvanceAnimations()) window_->refreshText();
}

void MarkupToolTip::startHiding() {
    if (state_ == State::Hidden || state_ == State::FadingOut) return;
    onHideTimer();
}

void MarkupToolTip::hideNow() {
    stopAllTimers();
    hasPending_ = false;
    showAfterFadeOut_ = false;
    if (state_ != State::Hidden) finishHidden();
}

void MarkupToolTip::forgetCurrent() {
    hasCurrent_ = false;
    current_ = ToolRecord();
}

QRect MarkupToolTip::screenRect(const QPoint& at) const {
    if (!screenOverride_.isEmpty()) return screenOverride_;
    QScreen* s = QGuiApplication::screenAt(at);
    if (!s) s = QGuiApplication::primaryScreen();
    return s ? s->virtualGeometry() : QRect();
}

bool MarkupToolTip::present(const QPoint& at, const ToolRecord& given) {
    ToolRecord tool = given;
    QPoint point = at;
    if (notify_) {
        ToolTipNotify note{kNotifyShowing, &point, &tool};
        WindowMessageEvent ev(kNotifyMessage, 0, reinterpret_cast<qintptr>(&note));
        QCoreApplication::sendEvent(notify_, &ev);
    }
    current_ = tool;
    hasCurrent_ = true;
    if (tool.text.isEmpty()) return false;
    shownSettings_ = merged(tool);
    renderer_->SetWrapWidth(wrapWidth_);
    const QSize textSize = renderer_->Prepare(window_.get(), tool.text);
    if (textSize.isEmpty()) return false;
    shownText_ = tool.text;
    const QSize shadow = shadowOn_ ? QSize(shadow_.offsetX, shadow_.offsetY) : QSize();
    const TipGeometry g =
        layoutTip(textSize, sizes_, shownSettings_.direction, point, screenRect(point), shadow);
    TipLook look;
    look.settings = shownSettings_;
    look.sizes = sizes_;
    look.border = border_;
    look.borderWidth = borderW_;
    look.borderHeight = borderH_;
    look.shadowOn = shadowOn_;
    look.shadow = shadow_;
    transparency_ = shownSettings_.transparency;
    window_->present(g, look, renderer_.get(), transparency_);
    return true;
}

bool MarkupToolTip::showAt(const QPoint& point, const ToolRecord& tool) {
    stopAllTimers();
    hasPending_ = false;
    if (!present(point, tool)) {
        if (state_ != State::Hidden) finishHidden();
        return false;
    }
    state_ = State::Shown;
    if (!(shownSettings_.behaviour & kNoAutoHide)) startTimer(HideTimer, hideDelay_);
    return true;
}

} // namespace dorvak
