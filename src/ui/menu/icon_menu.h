// IconMenu: the simple owner-drawn popup of the main window's menu bar, built
// item by item in code. In the style the program uses (3, bitmap and text)
// every item has a 16 x 16 bitmap in a 20-pixel image square, a cream text
// area and an optional accelerator text right-aligned in a 60-pixel column.
// Style 1 draws color swatches and style 2 icons; the program uses neither.
#pragma once

#include "ui/menu/owner_drawn_menu.h"

#include <QImage>
#include <QObject>

#include <memory>
#include <vector>

namespace dorvak {

class IconMenu : public QObject, public MenuItemPainter {
    Q_OBJECT
public:
    enum DrawStyle { Swatches = 1, Icons = 2, BitmapAndText = 3 };
    static constexpr int kMaxLabel = 127;
    static constexpr int kSquare = 20;
    static constexpr int kAccelColumn = 60;
    static constexpr int kSeparatorHeight = 6;
    static QColor creamColor() { return QColor(255, 255, 240); }
    static QColor checkColor() { return QColor(64, 64, 128); }

    struct Item {
        QString label;       // at most 127 characters
        QString accelerator; // the text after the first tab
        QImage bitmap;       // 16 x 16, or null
        quint32 value = 0;   // color (style 1)
        int command = 0;
        quint32 flags = 0; // the menu flags it was appended with
        int width = 0, height = 0;
        QAction* action = nullptr;
        bool isSeparator() const { return flags & 0x0800; }
    };

    explicit IconMenu(QObject* parent = nullptr);
    ~IconMenu() override;

    void setItemWidth(int width) { itemWidth_ = width; }
    void setItemHeight(int height) { itemHeight_ = height; }
    void setDrawStyle(int style) { style_ = style; }
    int drawStyle() const { return style_; }

    // Splits `text` at its first tab into label and accelerator and appends
    // the item (a separator, flag 0x800, stays a separator). `bitmapId` is a
    // bitmap resource number, 0 for none.
    void appendItem(quint32 flags, int command, const QString& text, int bitmapId = 0,
                    quint32 value = 0);
    void appendItem(quint32 flags, int command, const QString& text, const QImage& bitmap,
                    quint32 value = 0);

    // Grays or enables an item; the state word answers like the window
    // system's menu-state query (owner-draw 0x100 plus 0x1 when grayed).
    bool setItemEnabled(int command, bool enabled);
    quint32 itemState(int command) const; // 0xFFFFFFFF when there is no such item

    QMenu* menu() const { return menu_.get(); }
    int itemCount() const { return int(items_.size()); }
    const Item& item(int i) const { return items_.at(size_t(i)); }
    QSize measureItem(int i) const;
    int trackPopup(const QPoint& globalPos);

    // MenuItemPainter
    QSize measureItem(const QAction* action) const override;
    void paintItem(QPainter& p, const QAction* action, const QRect& rect,
                   bool selected) const override;
    void paintBackground(QPainter& p, const QRect& rect) const override;

private:
    const Item* itemFor(const QAction* action) const;
    void paintBitmapAndText(QPainter& p, const Item& item, const QRect& r, bool selected) const;
    void paintLabels(QPainter& p, const Item& item, const QRect& r, const QColor& color) const;

    int itemWidth_ = 25;
    int itemHeight_ = 32;
    int style_ = Swatches;
    std::vector<Item> items_;
    std::unique_ptr<OwnerDrawnMenu> menu_;
};

} // namespace dorvak
