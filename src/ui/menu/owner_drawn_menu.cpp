#include "ui/menu/owner_drawn_menu.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionMenuItem>

namespace dorvak {

class OwnerDrawnMenu::Style : public QProxyStyle {
public:
    QSize sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                           const QWidget* widget) const override {
        if (type == CT_MenuItem) {
            if (auto* menu = qobject_cast<const OwnerDrawnMenu*>(widget);
                menu && menu->actionBeingStyled())
                return menu->itemPainter()->measureItem(menu->actionBeingStyled());
        }
        return QProxyStyle::sizeFromContents(type, opt, size, widget);
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* opt,
                    const QWidget* widget) const override {
        switch (metric) {
        case PM_MenuPanelWidth:
            return 1;
        case PM_MenuHMargin:
            return 1;
        case PM_MenuVMargin:
            return 2;
        case PM_MenuDesktopFrameWidth:
            return 0;
        case PM_SubMenuOverlap:
            return 0;
        default:
            return QProxyStyle::pixelMetric(metric, opt, widget);
        }
    }
    int styleHint(StyleHint hint, const QStyleOption* opt, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_Menu_Scrollable) return 1;
        if (hint == SH_Menu_FlashTriggeredItem) return 0;
        return QProxyStyle::styleHint(hint, opt, widget, ret);
    }
};

OwnerDrawnMenu::OwnerDrawnMenu(const MenuItemPainter* painter, QWidget* parent)
    : QMenu(parent), painter_(painter), style_(new Style) {
    // The proxy must not take over the application style; it wraps it.
    style_->setParent(this);
    setStyle(style_);
}

OwnerDrawnMenu::~OwnerDrawnMenu() = default;

void OwnerDrawnMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
    QMenu::initStyleOption(option, action);
    styled_ = action;
}

void OwnerDrawnMenu::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.setClipRegion(e->region());
    painter_->paintBackground(p, rect());
    const QList<QAction*> list = actions();
    for (const QAction* a : list) {
        if (!a->isVisible()) continue;
        const QRect r = actionGeometry(const_cast<QAction*>(a));
        if (!r.isValid() || !e->region().intersects(r)) continue;
        p.save();
        p.setClipRect(r, Qt::IntersectClip);
        painter_->paintItem(p, a, r, a == activeAction() && !a->isSeparator());
        p.restore();
    }
}

} // namespace dorvak
