#include "ui/controls/image_button.h"

#include "ui/controls/resource_images.h"
#include "ui/controls/system_colors.h"
#include "ui/controls/window_message.h"
#include "ui/menu/qm_menu.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QPainter>
#include <QUrl>

namespace dorvak {
namespace {

QImage greyed(const QImage& src) {
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int g = qGray(line[x]);
            const int v = g + (255 - g) * 2 / 5; // lighter grey, reads as inactive
            line[x] = qRgba(v, v, v, qAlpha(line[x]));
        }
    }
    return img;
}

QImage darkened(const QImage& src) {
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = qRgba(qRed(line[x]) * 4 / 5, qGreen(line[x]) * 4 / 5, qBlue(line[x]) * 4 / 5,
                            qAlpha(line[x]));
    }
    return img;
}

} // namespace

ImageButton::ImageButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    runner_ = [](QmMenu& menu, const QPoint& at) { return menu.trackPopup(at); };
    player_ = [](const QString&) { QApplication::beep(); };
    connect(this, &QAbstractButton::clicked, this, &ImageButton::onClicked);
}

void ImageButton::setImages(const QImage& normal, const QImage& hovered) {
    normal_ = normal;
    hovered_img_ = hovered;
    grey_ = normal.isNull() ? QImage() : greyed(normal);
    dark_ = normal.isNull() ? QImage() : darkened(hovered.isNull() ? normal : hovered);
    updateGeometry();
    update();
}

void ImageButton::setImageResources(int normal, int hovered) {
    setImages(loadBitmapResource(normal), hovered ? loadBitmapResource(hovered) : QImage());
}

void ImageButton::setColors(State state, const QColor& text, const QColor& background) {
    text_[state] = text.isValid() ? std::optional<QColor>(text) : std::nullopt;
    background_[state] = background.isValid() ? std::optional<QColor>(background) : std::nullopt;
    update();
}

void ImageButton::setDropMenu(QmMenu* menu, QObject* commandWindow, QObject* notify) {
    menu_ = menu;
    commandWindow_ = commandWindow;
    notify_ = notify;
}

ImageButton::State ImageButton::state() const {
    if (!isEnabled()) return Disabled;
    if (isDown() || isChecked()) return Pressed;
    return hovered_ ? Hovered : Normal;
}

QImage ImageButton::currentImage() const {
    switch (state()) {
    case Disabled:
        return grey_;
    case Pressed:
        return dark_;
    case Hovered:
        return hovered_img_.isNull() ? normal_ : hovered_img_;
    case Normal:
        break;
    }
    return normal_;
}

QSize ImageButton::sizeHint() const {
    const QSize img = normal_.isNull() ? QSize(0, 16) : normal_.size();
    const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 6;
    return QSize(img.width() + textWidth + 12, qMax(img.height(), fontMetrics().height()) + 8);
}

void ImageButton::onClicked() {
    setFocus(Qt::MouseFocusReason);
    if (!sound_.isEmpty() && player_) player_(sound_);
    if (menu_) {
        if (notify_) {
            WindowMessageEvent note(kMenuNotifyMessage, 0, 0);
            QCoreApplication::sendEvent(notify_, &note);
        }
        const int command = runner_(*menu_, mapToGlobal(rect().bottomLeft()));
        if (command != 0) {
            if (commandWindow_)
                QCoreApplication::postEvent(
                    commandWindow_, new WindowMessageEvent(kCommandMessage, quintptr(command), 0));
            emit menuCommand(command);
        }
    } else if (!target_.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromUserInput(target_));
    }
}

void ImageButton::enterEvent(QEnterEvent* e) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void ImageButton::leaveEvent(QEvent* e) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const State s = state();
    const QRect r = rect();
    if (background_[s]) p.fillRect(r, *background_[s]);
    if (s == Pressed || s == Hovered) {
        // A flat frame shows the button is live; pressed draws it sunken.
        const QColor light = systemColor(SystemColor::ButtonHighlight);
        const QColor dark = systemColor(SystemColor::ButtonShadow);
        p.setPen(s == Pressed ? dark : light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(s == Pressed ? light : dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
    const int shift = s == Pressed ? 1 : 0;
    const QImage img = currentImage();
    int x = 6 + shift;
    if (!img.isNull()) {
        const int w = text().isEmpty() ? r.width() : img.width() + 12;
        p.drawImage(QPoint((text().isEmpty() ? (w - img.width()) / 2 : 6) + shift,
                           (r.height() - img.height()) / 2 + shift),
                    img);
        x = text().isEmpty() ? r.width() : img.width() + 12 + shift;
    }
    if (!text().isEmpty()) {
        const QColor textColor = text_[s]        ? *text_[s]
                                 : s == Disabled ? systemColor(SystemColor::GrayText)
                                                 : systemColor(SystemColor::ButtonText);
        p.setPen(textColor);
        p.drawText(QRect(x, shift, r.width() - x - 4, r.height()),
                   Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
    }
    if (focusRect_ && hasFocus()) {
        p.setPen(QPen(systemColor(SystemColor::ButtonText), 1, Qt::DotLine));
        p.drawRect(r.adjusted(3, 3, -4, -4));
    }
}

} // namespace dorvak
