#include "ui/controls/flat_combo_box.h"

#include "ui/controls/system_colors.h"

#include <QChildEvent>
#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace dorvak {

FlatComboBox::FlatComboBox(QWidget* parent) : QComboBox(parent) {
    setAttribute(Qt::WA_Hover);
    hookLineEdit();
}

void FlatComboBox::hookLineEdit() {
    if (QLineEdit* edit = lineEdit()) {
        edit->installEventFilter(this);
        edit->setMouseTracking(true);
        edit->setFrame(false);
    }
}

void FlatComboBox::childEvent(QChildEvent* e) {
    QComboBox::childEvent(e);
    // setEditable() after construction brings a new line edit.
    if (e->type() == QEvent::ChildPolished && qobject_cast<QLineEdit*>(e->child())) hookLineEdit();
}

bool FlatComboBox::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lineEdit()) {
        if (e->type() == QEvent::MouseMove || e->type() == QEvent::Enter) {
            if (!hovered_) {
                hovered_ = true;
                update();
            }
        } else if (e->type() == QEvent::FocusOut || e->type() == QEvent::FocusIn) {
            update();
        }
    }
    return QComboBox::eventFilter(watched, e);
}

void FlatComboBox::showPopup() {
    dropped_ = true;
    update();
    QComboBox::showPopup();
}

void FlatComboBox::hidePopup() {
    QComboBox::hidePopup();
    dropped_ = false;
    update();
}

void FlatComboBox::enterEvent(QEnterEvent* e) {
    hovered_ = true;
    update();
    QComboBox::enterEvent(e);
}

void FlatComboBox::leaveEvent(QEvent* e) {
    hovered_ = false;
    update();
    QComboBox::leaveEvent(e);
}

void FlatComboBox::focusInEvent(QFocusEvent* e) {
    QComboBox::focusInEvent(e);
    update();
}

void FlatComboBox::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    update();
}

QColor FlatComboBox::frameColor() const {
    const QColor highlight = systemColor(SystemColor::Highlight);
    return active() ? highlight : systemColor(SystemColor::ButtonShadow);
}

QRect FlatComboBox::buttonRect() const {
    const int w = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return QRect(width() - 1 - w, 1, w, height() - 2);
}

void FlatComboBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect all = rect();
    p.fillRect(all.adjusted(1, 1, -1, -1), isEnabled() ? systemColor(SystemColor::Window)
                                                       : systemColor(SystemColor::ButtonFace));
    // The button: face color, lightened toward the highlight while active,
    // darker and shifted by a pixel while the list is open.
    const QRect button = buttonRect();
    const QColor highlight = systemColor(SystemColor::Highlight);
    QColor face = systemColor(SystemColor::ButtonFace);
    if (active()) face = lightened(highlight, 0.75);
    if (dropped_) face = lightened(highlight, 0.55);
    p.fillRect(button, face);
    p.setPen(active() ? highlight : systemColor(SystemColor::ButtonShadow));
    p.drawLine(button.topLeft(), button.bottomLeft());
    const int shift = dropped_ ? 1 : 0;
    const QPointF c(button.center().x() + 0.5 + shift, button.center().y() + 0.5 + shift);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? systemColor(SystemColor::ButtonText)
                           : systemColor(SystemColor::GrayText));
    const QPointF arrow[3] = {c + QPointF(-3.5, -1.5), c + QPointF(3.5, -1.5), c + QPointF(0, 2.5)};
    p.drawPolygon(arrow, 3);
    p.setRenderHint(QPainter::Antialiasing, false);

    p.setPen(frameColor());
    p.setBrush(Qt::NoBrush);
    p.drawRect(all.adjusted(0, 0, -1, -1));

    if (!isEditable()) {
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        const QRect textRect(4, 0, button.left() - 6, height());
        if (!opt.currentIcon.isNull()) {
            opt.currentIcon.paint(&p, QRect(textRect.left(), (height() - 16) / 2, 16, 16));
        }
        const int iconShift = opt.currentIcon.isNull() ? 0 : 20;
        p.setPen(isEnabled() ? palette().color(QPalette::Text)
                             : systemColor(SystemColor::GrayText));
        p.drawText(textRect.adjusted(iconShift, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(opt.currentText, Qt::ElideRight,
                                            textRect.width() - iconShift));
    }
}

} // namespace dorvak
