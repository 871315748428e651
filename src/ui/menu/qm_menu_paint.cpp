// Drawing of QmMenu items in the flat and the classic look.
#include "ui/menu/qm_menu.h"

#include "ui/controls/system_colors.h"

#include <QPainter>
#include <QPainterPath>

namespace dorvak {
namespace {

int columnWidth(MenuLook look, QSize image) {
    return look == MenuLook::Flat ? image.width() + lookPadding(look) : image.width() + 4;
}

QColor flatColumnColor() {
    const QColor face = systemColor(SystemColor::ButtonFace);
    return isThemedDesktop() ? face : lightened(face, 0.25);
}

void drawCheckMark(QPainter& p, const QRect& box, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    const QPointF c = QRectF(box).center();
    QPainterPath tick;
    tick.moveTo(c + QPointF(-3.5, 0));
    tick.lineTo(c + QPointF(-1, 2.5));
    tick.lineTo(c + QPointF(3.5, -2.5));
    p.drawPath(tick);
    p.restore();
}

void drawArrow(QPainter& p, const QRect& r, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const QPointF c(r.right() - 7.5, r.center().y() + 0.5);
    const QPointF tri[3] = {c + QPointF(-2, -4), c + QPointF(2, 0), c + QPointF(-2, 4)};
    p.drawPolygon(tri, 3);
    p.restore();
}

void draw3dFrame(QPainter& p, const QRect& r, bool raised) {
    const QColor light = systemColor(SystemColor::ButtonHighlight);
    const QColor dark = systemColor(SystemColor::ButtonShadow);
    p.setPen(raised ? light : dark);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(raised ? dark : light);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void etchedLine(QPainter& p, int x1, int x2, int y) {
    p.setPen(systemColor(SystemColor::ButtonShadow));
    p.drawLine(x1, y, x2, y);
    p.setPen(systemColor(SystemColor::ButtonHighlight));
    p.drawLine(x1, y + 1, x2, y + 1);
}

} // namespace

void QmMenu::paintBackground(QPainter& p, const QRect& rect) const {
    if (look() == MenuLook::Flat) {
        p.fillRect(rect, systemColor(SystemColor::Window));
        const int col = columnWidth(MenuLook::Flat, imageSize());
        p.fillRect(QRect(rect.left() + 1, rect.top() + 1, col + 1, rect.height() - 2),
                   flatColumnColor());
        p.setPen(systemColor(SystemColor::ButtonShadow));
        p.drawRect(rect.adjusted(0, 0, -1, -1));
    } else {
        p.fillRect(rect, systemColor(SystemColor::Menu));
        draw3dFrame(p, rect.adjusted(0, 0, -1, -1), true);
    }
}

void QmMenu::paintItem(QPainter& p, const QAction* action, const QRect& rect, bool selected) const {
    const Item* item = itemFor(action);
    if (!item) return;
    if (look() == MenuLook::Flat)
        paintFlat(p, *item, rect, selected);
    else
        paintClassic(p, *item, rect, selected);
}

void QmMenu::paintText(QPainter& p, const Item& item, const QRect& r, const QColor& color) const {
    const QString label = item.text.section(QLatin1Char('\t'), 0, 0);
    const QString accel = item.text.section(QLatin1Char('\t'), 1);
    p.setFont(systemMenuFont());
    p.setPen(color);
    const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    p.drawText(r, flags | Qt::AlignLeft, label);
    if (!accel.isEmpty())
        p.drawText(r.adjusted(0, 0, item.submenu ? -12 : -6, 0), flags | Qt::AlignRight, accel);
}

void QmMenu::paintFlat(QPainter& p, const Item& item, const QRect& r, bool selected) const {
    const QSize img = imageSize();
    const int colW = columnWidth(MenuLook::Flat, img);
    const QRect column(r.left(), r.top(), colW, r.height());
    const QRect textArea(r.left() + colW, r.top(), r.width() - colW, r.height());
    p.fillRect(textArea, systemColor(SystemColor::Window));
    p.fillRect(column, flatColumnColor());
    if (item.isSeparator()) {
        etchedLine(p, textArea.left() + 4, r.right(), r.top() + r.height() / 2 - 1);
        return;
    }
    const bool enabled = !(item.flags & (Grayed | Disabled));
    if (selected && enabled) {
        const QColor hl = systemColor(SystemColor::Highlight);
        p.fillRect(r.adjusted(1, 0, -1, -1), lightened(hl, isThemedDesktop() ? 0.70 : 0.85));
        p.setPen(hl);
        p.drawRect(r.adjusted(1, 0, -2, -1));
    }
    QImage image = imageFor(item);
    if (!image.isNull()) {
        if (!enabled) image = disabledMenuImage(image, systemColor(SystemColor::ButtonFace));
        const QPoint at(column.left() + (colW - image.width()) / 2,
                        column.top() + (column.height() - image.height()) / 2);
        p.drawImage(at, image);
    } else if (item.flags & Checked) {
        drawCheckMark(p, column, systemColor(SystemColor::MenuText));
    }
    const QColor text =
        enabled ? systemColor(SystemColor::MenuText) : systemColor(SystemColor::GrayText);
    paintText(p, item, textArea.adjusted(4, 0, -4, 0), text);
    if (item.submenu) drawArrow(p, r, text);
}

void QmMenu::paintClassic(QPainter& p, const Item& item, const QRect& r, bool selected) const {
    const QSize img = imageSize();
    const int colW = columnWidth(MenuLook::Classic, img);
    if (item.isSeparator()) {
        p.fillRect(r, systemColor(SystemColor::Menu));
        etchedLine(p, r.left() + 1, r.right() - 1, r.top() + r.height() / 2 - 1);
        return;
    }
    const bool enabled = !(item.flags & (Grayed | Disabled));
    const bool checked = item.flags & Checked;
    p.fillRect(r, selected ? systemColor(SystemColor::Highlight) : systemColor(SystemColor::Menu));
    const QRect square(r.left() + 1, r.top() + 1, colW, r.height() - 2);
    QImage image = imageFor(item);
    if (!image.isNull() || checked) {
        // The image keeps the menu color behind it even when the row is
        // selected, framed raised (selected) or sunken (checked).
        p.fillRect(square, systemColor(SystemColor::Menu));
        if (checked)
            draw3dFrame(p, square.adjusted(0, 0, -1, -1), false);
        else if (selected && enabled)
            draw3dFrame(p, square.adjusted(0, 0, -1, -1), true);
    }
    if (!image.isNull()) {
        if (!enabled) image = disabledMenuImage(image, systemColor(SystemColor::ButtonFace));
        p.drawImage(QPoint(square.left() + (square.width() - image.width()) / 2,
                           square.top() + (square.height() - image.height()) / 2),
                    image);
    } else if (checked) {
        drawCheckMark(p, square, systemColor(SystemColor::MenuText));
    }
    const QRect textArea(square.right() + 4, r.top(), r.right() - square.right() - 6, r.height());
    if (!enabled && !selected) {
        paintText(p, item, textArea.translated(1, 1), systemColor(SystemColor::ButtonHighlight));
        paintText(p, item, textArea, systemColor(SystemColor::GrayText));
    } else {
        const QColor text = !enabled   ? systemColor(SystemColor::GrayText)
                            : selected ? systemColor(SystemColor::HighlightText)
                                       : systemColor(SystemColor::MenuText);
        paintText(p, item, textArea, text);
    }
    if (item.submenu)
        drawArrow(p, r,
                  selected ? systemColor(SystemColor::HighlightText)
                           : systemColor(SystemColor::MenuText));
}

} // namespace dorvak
