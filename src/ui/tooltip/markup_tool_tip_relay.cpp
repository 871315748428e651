// The relay: the host's mouse and key events, the lookup of the tool under
// the mouse (toolbar items first, then the areas of the window under it) and
// the decision to show, move or hide the tip.
#include "ui/tooltip/markup_tool_tip.h"

#include "ui/controls/resource_images.h"
#include "ui/markup/markup_renderer.h"
#include "ui/tooltip/inspection_text.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QToolBar>

namespace dorvak {

using namespace tip;

bool MarkupToolTip::eventFilter(QObject* watched, QEvent* e) {
    if (!watched->isWidgetType() || !host_) return false;
    switch (e->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::Leave:
        break;
    default:
        return false;
    }
    auto* w = static_cast<QWidget*>(watched);
    if (e->type() == QEvent::Leave) {
        // The mouse left the host's window: a pending show is dropped when
        // its timer fires (a shown tip stays, the mouse may be on it).
        if (w == host_->window()) lastPoint_ = QPoint(-1000000, -1000000);
        return false;
    }
    if (w->window() == host_->window() || w == window_.get()) relay(w, e);
    return false;
}

void MarkupToolTip::relay(QWidget* target, QEvent* e) {
    switch (e->type()) {
    case QEvent::MouseMove:
        handleMouseMove(target, static_cast<QMouseEvent*>(e)->globalPosition().toPoint());
        return;
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(e);
        const QPoint global = me->globalPosition().toPoint();
        if (me->button() == Qt::LeftButton) {
            // A click on the tip goes to its links first.
            if (overTip(global)) renderer_->OnClick(window_->mapFromGlobal(global));
            hideNow();
            return;
        }
        hideNow();
        return;
    }
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        hideNow();
        return;
    default:
        return;
    }
}

bool MarkupToolTip::overTip(const QPoint& global) const {
    return window_->containsGlobal(global);
}

void MarkupToolTip::handleMouseMove(QWidget* target, const QPoint& global) {
    if (global == lastPoint_) return;
    lastPoint_ = global;
    const quint32 behaviour = defaults_.behaviour;
    if (overTip(global)) {
        renderer_->OnMouseMove(window_->mapFromGlobal(global));
        if (behaviour & kFollowMouse) return;
        if ((behaviour & kOntoTipRestartsHide) && state_ == State::Shown &&
            !(shownSettings_.behaviour & kNoAutoHide)) {
            startTimer(HideTimer, hideDelay_);
            return;
        }
        startHiding();
        return;
    }
    ToolRecord tool;
    const bool found = inspection_ ? (tool = inspectionTool(target, global), true)
                                   : findTool(target, global, tool);
    if (!found) {
        stopTimer(ShowTimer);
        hasPending_ = false;
        forgetCurrent();
        startHiding();
        return;
    }
    const bool visible = state_ == State::Shown || state_ == State::FadingIn;
    if (hasCurrent_ && tool.sameArea(current_)) {
        const quint32 b = behaviourOf(tool);
        if (inspection_ && visible) {
            present(global, tool); // the table follows the mouse
            return;
        }
        if (visible && (b & kFollowMouse)) {
            const QSize shadow = shadowOn_ ? QSize(shadow_.offsetX, shadow_.offsetY) : QSize();
            window_->moveTo(layoutTip(window_->textRect().size(), sizes_, shownSettings_.direction,
                                      global, screenRect(global), shadow));
            if (!(shownSettings_.behaviour & kNoAutoHide)) startTimer(HideTimer, hideDelay_);
            return;
        }
        if (visible && (b & kMoveRestartsHide)) {
            if (!(shownSettings_.behaviour & kNoAutoHide)) startTimer(HideTimer, hideDelay_);
            return;
        }
        // Same area and nothing asks for more: the tip stays as it is (shown,
        // or hidden until the area is left and entered again).
        if (visible || !(b & (kFollowMouse | kMoveRestartsHide))) return;
    } else if (visible) {
        startHiding();
    }
    requestShow(tool, global);
}

void MarkupToolTip::requestShow(const ToolRecord& tool, const QPoint& global) {
    pending_ = tool;
    pendingPoint_ = global;
    hasPending_ = true;
    if (showDelay_ <= 0) {
        timers_[ShowTimer].active = true;
        onShowTimer();
    } else {
        startTimer(ShowTimer, showDelay_);
    }
}

bool MarkupToolTip::findToolBarItem(QWidget* target, const QPoint& global, ToolRecord& out) const {
    for (const QPointer<QToolBar>& tb : toolbars_) {
        if (!tb || !tb->isVisible()) continue;
        if (target != tb && !tb->isAncestorOf(target)) continue;
        QAction* action = tb->actionAt(tb->mapFromGlobal(global));
        if (!action || action->isSeparator()) return false;
        // The tip is the second line of the string named by the command.
        const QString text = QString::fromLatin1(loadStringResource(action->data().toInt()));
        out = makeTool(tb, text.section(QLatin1Char('\n'), 1), tb->actionGeometry(action));
        out.item = action;
        return true;
    }
    return false;
}

bool MarkupToolTip::findTool(QWidget* target, const QPoint& global, ToolRecord& out) const {
    if (findToolBarItem(target, global, out)) return true;
    QWidget* w = target;
    // Disabled children are skipped for their parent; the parts of a combo
    // box (its line edit) count as the combo box.
    while (w && !w->isEnabled() && w != host_->window())
        w = w->parentWidget();
    for (QWidget* up = w; up && up != host_->window(); up = up->parentWidget())
        if (qobject_cast<QComboBox*>(up)) {
            w = up;
            break;
        }
    if (!w) return false;
    auto it = tools_.find(w);
    if (it == tools_.end()) return false;
    const QPoint local = w->mapFromGlobal(global);
    for (const ToolRecord& t : it->second) {
        if (!t.owner) continue; // the window is gone
        if (t.rect.isEmpty() ? w->rect().contains(local) : t.rect.contains(local)) {
            out = t;
            return true;
        }
    }
    return false;
}

ToolRecord MarkupToolTip::inspectionTool(QWidget* target, const QPoint& global) const {
    const bool hasTip = tools_.count(target) > 0 || !target->toolTip().isEmpty();
    ToolRecord t =
        makeTool(target, inspectionText(inspectWidget(target, hasTip), inspectOwner(target),
                                        host_->mapFromGlobal(global)));
    return t;
}

} // namespace dorvak
