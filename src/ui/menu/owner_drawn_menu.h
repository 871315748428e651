// OwnerDrawnMenu: a QMenu whose items are measured and painted entirely by a
// MenuItemPainter (the owner). QMenu still does the keyboard, mouse,
// mnemonics, submenus and placement; a small proxy style routes its item
// measurement to the painter, and paintEvent draws every item through it.
#pragma once

#include <QMenu>
#include <QProxyStyle>

namespace dorvak {

class MenuItemPainter {
public:
    virtual ~MenuItemPainter() = default;
    // Size of one item (QMenu adds the accelerator column for texts holding
    // a tab; the owner returns the rest).
    virtual QSize measureItem(const QAction* action) const = 0;
    // Paints one item into `rect` (menu coordinates).
    virtual void paintItem(QPainter& p, const QAction* action, const QRect& rect,
                           bool selected) const = 0;
    // Paints the menu's background and frame.
    virtual void paintBackground(QPainter& p, const QRect& rect) const = 0;
};

class OwnerDrawnMenu : public QMenu {
    Q_OBJECT
public:
    explicit OwnerDrawnMenu(const MenuItemPainter* painter, QWidget* parent = nullptr);
    ~OwnerDrawnMenu() override;

    const MenuItemPainter* itemPainter() const { return painter_; }
    // The action QMenu is laying out right now (set by initStyleOption,
    // which QMenu calls just before it asks the style for the item's size).
    const QAction* actionBeingStyled() const { return styled_; }

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
    void paintEvent(QPaintEvent* e) override;

private:
    class Style;
    const MenuItemPainter* painter_;
    Style* style_;
    mutable const QAction* styled_ = nullptr;
};

} // namespace dorvak
