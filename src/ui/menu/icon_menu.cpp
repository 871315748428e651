#include "ui/menu/icon_menu.h"

#include "ui/controls/resource_images.h"
#include "ui/controls/system_colors.h"

#include <QPainter>
#include <QPainterPath>

namespace dorvak {
namespace {

constexpr quint32 kGrayed = 0x1, kDisabled = 0x2, kChecked = 0x8, kOwnerDraw = 0x100,
                  kSeparator = 0x800;

void raised(QPainter& p, const QRect& r) {
    p.setPen(systemColor(SystemColor::ButtonHighlight));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(systemColor(SystemColor::ButtonShadow));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

IconMenu::IconMenu(QObject* parent) : QObject(parent), menu_(new OwnerDrawnMenu(this)) {}

IconMenu::~IconMenu() {
    menu_.reset();
}

void IconMenu::appendItem(quint32 flags, int command, const QString& text, int bitmapId,
                          quint32 value) {
    appendItem(flags, command, text, bitmapId ? loadBitmapResource(bitmapId) : QImage(), value);
}

void IconMenu::appendItem(quint32 flags, int command, const QString& text, const QImage& bitmap,
                          quint32 value) {
    Item item;
    const int tab = text.indexOf(QLatin1Char('\t'));
    item.label = (tab < 0 ? text : text.left(tab)).left(kMaxLabel);
    if (tab >= 0) item.accelerator = text.mid(tab + 1);
    item.bitmap = bitmap;
    item.value = value;
    item.command = command;
    item.flags = flags & kSeparator ? flags : flags | kOwnerDraw;
    item.width = itemWidth_;
    item.height = itemHeight_;
    QAction* action = nullptr;
    if (item.isSeparator()) {
        action = menu_->addSeparator();
    } else {
        // The accelerator is drawn in our own column, so QMenu must not see
        // the tab and add a column of its own.
        action = menu_->addAction(item.label);
        action->setData(command);
        action->setEnabled(!(flags & (kGrayed | kDisabled)));
        action->setCheckable(flags & kChecked);
        action->setChecked(flags & kChecked);
    }
    item.action = action;
    items_.push_back(item);
}

bool IconMenu::setItemEnabled(int command, bool enabled) {
    for (Item& item : items_) {
        if (item.isSeparator() || item.command != command) continue;
        item.flags = enabled ? item.flags & ~(kGrayed | kDisabled) : item.flags | kGrayed;
        item.action->setEnabled(enabled);
        return true;
    }
    return false;
}

quint32 IconMenu::itemState(int command) const {
    for (const Item& item : items_)
        if (!item.isSeparator() && item.command == command)
            return item.flags & (kGrayed | kDisabled | kChecked | kOwnerDraw);
    return 0xFFFFFFFFu;
}

const IconMenu::Item* IconMenu::itemFor(const QAction* action) const {
    for (const Item& item : items_)
        if (item.action == action) return &item;
    return nullptr;
}

QSize IconMenu::measureItem(int i) const {
    const Item& it = items_.at(size_t(i));
    if (it.isSeparator()) return QSize(it.width, kSeparatorHeight);
    return QSize(it.width, it.height);
}

QSize IconMenu::measureItem(const QAction* action) const {
    const Item* item = itemFor(action);
    if (!item) return QSize(itemWidth_, itemHeight_);
    return measureItem(int(item - items_.data()));
}

int IconMenu::trackPopup(const QPoint& globalPos) {
    QAction* chosen = menu_->exec(globalPos);
    return chosen ? chosen->data().toInt() : 0;
}

void IconMenu::paintBackground(QPainter& p, const QRect& rect) const {
    p.fillRect(rect, style_ == BitmapAndText ? creamColor() : systemColor(SystemColor::Menu));
    p.setPen(systemColor(SystemColor::ButtonShadow));
    p.drawRect(rect.adjusted(0, 0, -1, -1));
}

void IconMenu::paintItem(QPainter& p, const QAction* action, const QRect& r, bool selected) const {
    const Item* item = itemFor(action);
    if (!item) return;
    if (style_ == BitmapAndText) {
        paintBitmapAndText(p, *item, r, selected);
    } else if (style_ == Swatches) {
        p.fillRect(r, systemColor(SystemColor::ButtonFace));
        if (item->isSeparator()) return;
        p.fillRect(r.adjusted(3, 3, -3, -3), QColor(128, 128, 128));
        p.fillRect(r.adjusted(4, 4, -4, -4), fromColorRef(item->value));
        if (selected) {
            p.setPen(systemColor(SystemColor::Highlight));
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    } else {
        p.fillRect(r,
                   selected ? systemColor(SystemColor::Highlight) : systemColor(SystemColor::Menu));
        if (!item->bitmap.isNull())
            p.drawImage(QPoint(r.left() + 2, r.top() + (r.height() - item->bitmap.height()) / 2),
                        item->bitmap);
    }
}

void IconMenu::paintLabels(QPainter& p, const Item& item, const QRect& r,
                           const QColor& color) const {
    p.setPen(color);
    const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    // The label gets the whole text area unless an accelerator needs its
    // column at the right edge.
    const int right = item.accelerator.isEmpty() ? r.right() - 4 : r.right() - kAccelColumn - 8;
    const QRect text(r.left() + kSquare + 6, r.top(), right - r.left() - kSquare - 6, r.height());
    p.drawText(text, flags | Qt::AlignLeft, item.label);
    if (!item.accelerator.isEmpty())
        p.drawText(QRect(r.right() - kAccelColumn - 4, r.top(), kAccelColumn, r.height()),
                   flags | Qt::AlignRight, item.accelerator);
}

void IconMenu::paintBitmapAndText(QPainter& p, const Item& item, const QRect& r,
                                  bool selected) const {
    const QRect square(r.left(), r.top(), kSquare, qMin(kSquare, r.height()));
    p.fillRect(r, creamColor());
    if (item.isSeparator()) {
        const int y = r.top() + 3;
        p.setPen(systemColor(SystemColor::ButtonShadow));
        p.drawLine(r.left() + kSquare + 5, y, r.right() - 2, y);
        p.setPen(systemColor(SystemColor::ButtonHighlight));
        p.drawLine(r.left() + kSquare + 5, y + 1, r.right() - 2, y + 1);
        return;
    }
    const bool enabled = !(item.flags & (kGrayed | kDisabled));
    const bool checked = item.flags & kChecked;
    p.fillRect(square, systemColor(SystemColor::ButtonFace));
    if (checked) {
        p.setPen(systemColor(SystemColor::ButtonShadow));
        p.drawRect(square.adjusted(1, 1, -2, -2));
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(checkColor(), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        const QPointF o(square.left() + 5, square.top() + 5);
        tick.moveTo(o + QPointF(0.5, 5));
        tick.lineTo(o + QPointF(3.5, 8));
        tick.lineTo(o + QPointF(9.5, 1.5));
        p.drawPath(tick);
        p.restore();
    }
    if (!item.bitmap.isNull())
        p.drawImage(QRect(square.left() + 2, square.top() + 2, 16, 16), item.bitmap);
    QColor text = enabled ? systemColor(SystemColor::MenuText) : systemColor(SystemColor::GrayText);
    if (selected && enabled) {
        if (!checked && !item.bitmap.isNull()) raised(p, square.adjusted(0, 0, -1, -1));
        p.fillRect(QRect(square.right() + 3, r.top(), r.right() - square.right() - 2, r.height()),
                   systemColor(SystemColor::Highlight));
        text = systemColor(SystemColor::HighlightText);
    }
    paintLabels(p, item, r, text);
}

} // namespace dorvak
