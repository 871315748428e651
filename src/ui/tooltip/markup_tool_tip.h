// MarkupToolTip: markup tooltips for the areas (tools) of a host window's
// widgets and for the items of registered toolbars. It watches the host's
// mouse and key events (an application event filter limited to the host's
// window and the tip), shows the tool's markup after the show delay, hides
// it after the hide delay, on a key or a click, fades in and out in steps of
// 20 percent, and advances animated images while shown.
//
// The timers can be switched to manual so a host or a test drives them
// with fireTimer() instead of waiting.
#pragma once

#include "ui/tooltip/tool_tip_geometry.h"
#include "ui/tooltip/tool_tip_types.h"
#include "ui/tooltip/tool_tip_window.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

class QToolBar;

namespace dorvak {

class MarkupRenderer;

class MarkupToolTip : public QObject {
    Q_OBJECT
public:
    enum class Shape { Balloon, Rectangle };
    enum class State { Hidden, FadingIn, Shown, FadingOut };
    enum TimerKind { ShowTimer, HideTimer, FadeInTimer, FadeOutTimer, AnimationTimer, TimerCount };

    MarkupToolTip(QWidget* host, Shape shape = Shape::Balloon);
    ~MarkupToolTip() override;

    // Tools. A tool with the owner and rectangle of an existing one replaces
    // its text and settings.
    void addTool(QWidget* owner, const QString& text, const QRect& rect = QRect());
    void addTool(const ToolRecord& record);
    void removeTools(QWidget* owner);
    void registerToolBar(QToolBar* toolbar);
    int toolCount(QWidget* owner) const;
    // A fresh record with the tooltip-wide defaults, for addTool(record).
    ToolRecord makeTool(QWidget* owner, const QString& text, const QRect& rect = QRect()) const;

    // Defaults.
    void setBackgroundEffect(int effect, int granularity);
    void setColors(const QColor& start, const QColor& middle, const QColor& end);
    void setBorder(const QColor& brush, int width, int height); // invalid color: none
    void setDirection(int direction);
    void setBehaviour(quint32 flags);
    void setTransparency(int percent);
    void setShape(Shape shape);
    void setShadow(bool on, const ShadowSettings& shadow = ShadowSettings());
    void setInspectionMode(bool on);
    void setNotifyWindow(QObject* window);
    void setHoverRepaint(bool on);
    void setWrapWidth(int pixels);
    // Timings, milliseconds.
    void setShowDelay(int ms) { showDelay_ = ms; }
    void setHideDelay(int ms) { hideDelay_ = ms; }
    void setFadeInStep(int ms) { fadeInStep_ = ms; }
    void setFadeOutStep(int ms) { fadeOutStep_ = ms; }
    void setAnimationTick(int ms);
    // Shape sizes, indexes 0..8.
    void setShapeSize(int index, int value);
    const ShapeSizes& shapeSizes() const { return sizes_; }
    // The virtual screen the tip must stay on; empty: the screens' own.
    void setScreenRect(const QRect& rect) { screenOverride_ = rect; }

    // The relay: every mouse and key event of the host's widgets passes here.
    void relay(QWidget* target, QEvent* e);

    // Shows `tool` with its pointer at the global `point`, and hides.
    bool showAt(const QPoint& point, const ToolRecord& tool);
    void hideNow();

    // Timers.
    void setManualTimers(bool manual);
    bool timerActive(TimerKind kind) const { return timers_[kind].active; }
    int timerInterval(TimerKind kind) const { return timers_[kind].timer.interval(); }
    int currentTransparency() const { return transparency_; }
    void fireTimer(TimerKind kind);

    State state() const { return state_; }
    ToolTipWindow* window() const { return window_.get(); }
    MarkupRenderer* renderer() const { return renderer_.get(); }
    const ToolRecord* currentTool() const { return hasCurrent_ ? &current_ : nullptr; }
    QString shownText() const { return shownText_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    struct Timer {
        QTimer timer;
        bool active = false;
    };
    void startTimer(TimerKind kind, int ms);
    void stopTimer(TimerKind kind);
    void stopAllTimers();
    void onShowTimer();
    void onHideTimer();
    void onFadeIn();
    void onFadeOut();
    void onAnimation();

    void handleMouseMove(QWidget* target, const QPoint& global);
    bool findTool(QWidget* target, const QPoint& global, ToolRecord& out) const;
    bool findToolBarItem(QWidget* target, const QPoint& global, ToolRecord& out) const;
    ToolRecord inspectionTool(QWidget* target, const QPoint& global) const;
    bool overTip(const QPoint& global) const;
    void requestShow(const ToolRecord& tool, const QPoint& global);
    bool present(const QPoint& point, const ToolRecord& tool);
    void startHiding();
    void forgetCurrent();
    void finishHidden();
    TipSettings merged(const ToolRecord& tool) const;
    QRect screenRect(const QPoint& at) const;
    quint32 behaviourOf(const ToolRecord& tool) const;

    QPointer<QWidget> host_;
    std::unique_ptr<MarkupRenderer> renderer_;
    std::unique_ptr<ToolTipWindow> window_;
    std::map<const QWidget*, std::vector<ToolRecord>> tools_;
    std::vector<QPointer<QToolBar>> toolbars_;
    Timer timers_[TimerCount];
    bool manual_ = false;

    // Defaults.
    TipSettings defaults_;
    QColor border_;
    int borderW_ = 1, borderH_ = 1;
    Shape shape_;
    ShapeSizes sizes_;
    bool shadowOn_ = true;
    ShadowSettings shadow_;
    bool inspection_ = false;
    QPointer<QObject> notify_;
    bool hoverRepaint_ = true;
    int wrapWidth_ = 0;
    int showDelay_ = 500, hideDelay_ = 5000, fadeInStep_ = 0, fadeOutStep_ = 0,
        animationTick_ = 100;
    QRect screenOverride_;

    // Run-time state.
    State state_ = State::Hidden;
    ToolRecord current_, pending_;
    bool hasCurrent_ = false, hasPending_ = false, showAfterFadeOut_ = false;
    QPoint pendingPoint_, lastPoint_{-1000000, -1000000};
    int transparency_ = 0;
    TipSettings shownSettings_;
    QString shownText_;
};

} // namespace dorvak
