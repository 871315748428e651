// The message box's commands, countdown, closing and mouse handling.
#include "ui/msgbox/markup_message_box_p.h"
#include "ui/msgbox/remembered_answers.h"

#include "ui/controls/window_message.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMouseEvent>

namespace dorvak {

using namespace mb;

void MarkupMessageBox::tick() {
    if (counter_ <= 0) return;
    --counter_;
    QPushButton* def = button(defaultId_);
    if (counter_ > 0) {
        if (inDisable_ && params_.countdownInTitle)
            setWindowTitle(formatLabel(buttonLabel(kLabelTitleCountdown, params_, style_), caption_,
                                       counter_));
        else
            def->setText(countdownLabel(defaultId_, counter_));
        return;
    }
    timer_.stop();
    if (inDisable_) {
        endDisablePeriod();
    } else if (inTimeout_) {
        inTimeout_ = false;
        def->setText(labelFor(defaultId_));
        press(defaultId_);
    }
}

void MarkupMessageBox::endDisablePeriod() {
    inDisable_ = false;
    setWindowTitle(caption_);
    QPushButton* def = button(defaultId_);
    def->setText(labelFor(defaultId_));
    for (QPushButton* b : buttons_)
        b->setEnabled(true);
    def->setDefault(true);
    updateCloseAllowed();
}

void MarkupMessageBox::press(int id) {
    if (id == 0) return;
    if (id == IdCancel && !row_.cancelAllowed) return;
    switch (id) {
    case IdHelp: {
        // The help file sits beside the program, named like it with ".hlp".
        const QFileInfo program(QCoreApplication::applicationFilePath());
        const QString file =
            program.path() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".hlp");
        openMessageBoxHelp(file, params_.helpContext);
        return;
    }
    case IdReport:
        if (params_.owner) {
            WindowMessageEvent report(params_.reportMessage, 0, 0);
            QCoreApplication::sendEvent(params_.owner, &report);
        }
        return;
    case IdMoreExpanded:
    case IdMoreCollapsed:
        toggleMore();
        return;
    default:
        finish(id);
    }
}

void MarkupMessageBox::toggleMore() {
    if (!more_) return;
    expanded_ = !expanded_;
    if (QPushButton* b = button(IdMoreCollapsed))
        b->setText(labelFor(expanded_ ? IdMoreExpanded : IdMoreCollapsed));
    setFixedSize(width(), collapsedHeight_ + (expanded_ ? moreHeight_ : 0));
    background_ = QPixmap();
    update();
}

void MarkupMessageBox::finish(int id) {
    timer_.stop();
    int result = id;
    if (check_ && check_->isChecked()) {
        result |= int(style_ & kRememberChecked);
        if (!params_.rememberName.isEmpty())
            storeRememberedAnswer(params_.rememberCompany, params_.rememberName,
                                  params_.rememberNumber, quint32(result));
    }
    result_ = result;
    done(result);
}

void MarkupMessageBox::reject() {
    // Escape and the window's close command: result 2 where cancel is allowed
    // and the close command is not held back by a disable period.
    if (closeAllowed_) finish(IdCancel);
}

void MarkupMessageBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        const QPoint at = e->position().toPoint();
        for (TextArea* area : {header_.get(), message_.get(), expanded_ ? more_.get() : nullptr})
            if (area) area->renderer->OnClick(at);
    }
    QDialog::mousePressEvent(e);
}

void MarkupMessageBox::mouseMoveEvent(QMouseEvent* e) {
    // Every renderer hears the move (so each keeps its hovered link right);
    // the link cursor stays when any of them is over a link.
    const QPoint at = e->position().toPoint();
    const MarkupRenderer* overLink = nullptr;
    for (TextArea* area : {header_.get(), message_.get(), expanded_ ? more_.get() : nullptr})
        if (area && area->renderer->OnMouseMove(at)) overLink = area->renderer.get();
    if (overLink) setCursor(overLink->linkCursor());
    QDialog::mouseMoveEvent(e);
}

void MarkupMessageBox::resizeEvent(QResizeEvent* e) {
    background_ = QPixmap();
    QDialog::resizeEvent(e);
}

} // namespace dorvak
