// QmMenu: a menu whose items are all drawn by the program, each with a small
// image in a left image column next to its text, in the flat look (tinted
// image column, light selection rectangle) or the classic look (3-D edges
// round the selected item's image). It is built from the program's menu
// resources (the standard menu template) or item by item, and owns its
// submenus, its QMenu and, unless shared with a parent menu, its image list.
#pragma once

#include "ui/menu/menu_look.h"
#include "ui/menu/owner_drawn_menu.h"

#include <QColor>
#include <QObject>

#include <memory>
#include <vector>

namespace dorvak {

class QmMenu : public QObject, public MenuItemPainter {
    Q_OBJECT
public:
    // Menu flags, as the menu template stores them.
    enum Flag : quint32 {
        Grayed = 0x0001,
        Disabled = 0x0002,
        Checked = 0x0008,
        Popup = 0x0010,
        MenuBarBreak = 0x0020,
        MenuBreak = 0x0040,
        End = 0x0080,
        OwnerDraw = 0x0100,
        Separator = 0x0800,
    };
    struct Item {
        QString text; // may hold a tab before the accelerator text
        int command = 0;
        QmMenu* submenu = nullptr;
        quint32 flags = 0;
        int image = -1; // index into the image list, -1 none
        QAction* action = nullptr;
        bool isSeparator() const { return flags & Separator; }
    };

    explicit QmMenu(QObject* parent = nullptr);
    ~QmMenu() override;

    // Discards the current items and fills the menu from :/menus/<id>.bin (or
    // :/menus/<name>.bin). False, with the menu left empty, when the resource
    // is missing or damaged.
    bool load(int resourceId);
    bool load(const QString& name);
    bool loadTemplate(const QByteArray& data);
    void clear();

    QMenu* menu() const { return menu_.get(); }

    // Items. Positions are indexes in this level; commands are searched in
    // this level only unless noted.
    void appendItem(quint32 flags, int command, const QString& text, int image = -1);
    QmMenu* appendSubmenu(quint32 flags, const QString& text, int image = -1);
    bool insertItem(int position, quint32 flags, int command, const QString& text, int image = -1);
    bool modifyItem(int command, quint32 flags, const QString& text, int image);
    bool removeItem(int command);
    bool removeItemAt(int position);
    bool setItemText(int command, const QString& text);
    bool setItemImage(int command, int image);
    // The menu (this or a submenu, at any depth) holding `command`.
    QmMenu* findSubmenuHolding(int command);
    int itemCount() const { return int(items_.size()); }
    const Item& item(int position) const { return items_.at(size_t(position)); }
    int positionOf(int command) const;

    // Images: the list is shared with the submenus this menu creates.
    int addImage(const QImage& image);
    int addImageResource(int bitmapId);
    void setImageSize(QSize size);
    QSize imageSize() const;
    // Pixels of this color (light grey by default) are transparent.
    void setTransparentColor(const QColor& c);
    QColor transparentColor() const;
    void setLook(MenuLook look);
    MenuLook look() const;

    // The measured size of the item at `position`, by the menu's rules.
    QSize measureItem(int position) const;
    // Shows the menu at a screen point; the chosen command, or 0.
    int trackPopup(const QPoint& globalPos);

    // MenuItemPainter
    QSize measureItem(const QAction* action) const override;
    void paintItem(QPainter& p, const QAction* action, const QRect& rect,
                   bool selected) const override;
    void paintBackground(QPainter& p, const QRect& rect) const override;

private:
    struct Shared;
    QmMenu(std::shared_ptr<Shared> shared, QObject* parent);
    QSize measure(const Item& item) const;
    const Item* itemFor(const QAction* action) const;
    QAction* makeAction(Item& item, QAction* before);
    void applyFlags(Item& item);
    QImage imageFor(const Item& item) const;
    void paintFlat(QPainter& p, const Item& item, const QRect& r, bool selected) const;
    void paintClassic(QPainter& p, const Item& item, const QRect& r, bool selected) const;
    void paintText(QPainter& p, const Item& item, const QRect& r, const QColor& color) const;
    friend bool parseMenuTemplate(const QByteArray& data, QmMenu& root);

    std::shared_ptr<Shared> shared_;
    std::vector<Item> items_;
    std::vector<std::unique_ptr<QmMenu>> submenus_;
    std::unique_ptr<OwnerDrawnMenu> menu_;
};

// Reads the standard menu template into `root` (which must be empty).
bool parseMenuTemplate(const QByteArray& data, QmMenu& root);

} // namespace dorvak
