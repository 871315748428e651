#include "ui/menu/qm_menu.h"

#include "ui/controls/resource_images.h"

#include <QFile>
#include <QFontMetrics>

namespace dorvak {

struct QmMenu::Shared {
    std::vector<QImage> images;
    QSize imageSize{16, 15};
    QColor transparent{192, 192, 192};
    MenuLook look = currentMenuLook();
};

QmMenu::QmMenu(QObject* parent) : QmMenu(std::make_shared<Shared>(), parent) {}

QmMenu::QmMenu(std::shared_ptr<Shared> shared, QObject* parent)
    : QObject(parent), shared_(std::move(shared)), menu_(new OwnerDrawnMenu(this)) {}

QmMenu::~QmMenu() {
    // The QMenu goes first: it must not paint or measure through a half
    // destroyed owner, and its submenu actions refer to our submenus.
    menu_.reset();
}

bool QmMenu::load(int resourceId) {
    return load(QString::number(resourceId));
}

bool QmMenu::load(const QString& name) {
    clear();
    QFile f(QStringLiteral(":/menus/%1.bin").arg(name));
    if (!f.open(QIODevice::ReadOnly)) return false;
    return loadTemplate(f.readAll());
}

bool QmMenu::loadTemplate(const QByteArray& data) {
    clear();
    if (parseMenuTemplate(data, *this)) return true;
    clear(); // a damaged template leaves nothing half built
    return false;
}

void QmMenu::clear() {
    menu_->clear();
    items_.clear();
    submenus_.clear();
}

QAction* QmMenu::makeAction(Item& item, QAction* before) {
    QAction* action = nullptr;
    if (item.isSeparator()) {
        action = new QAction(menu_.get());
        action->setSeparator(true);
    } else if (item.submenu) {
        action = item.submenu->menu()->menuAction();
        item.submenu->menu()->setTitle(item.text);
    } else {
        action = new QAction(item.text, menu_.get());
        action->setData(item.command);
    }
    menu_->insertAction(before, action);
    item.action = action;
    applyFlags(item);
    return action;
}

void QmMenu::applyFlags(Item& item) {
    QAction* a = item.action;
    if (!a) return;
    if (!item.submenu && !item.isSeparator()) a->setText(item.text);
    a->setEnabled(!(item.flags & (Grayed | Disabled)));
    a->setCheckable(item.flags & Checked);
    a->setChecked(item.flags & Checked);
}

void QmMenu::appendItem(quint32 flags, int command, const QString& text, int image) {
    insertItem(itemCount(), flags, command, text, image);
}

QmMenu* QmMenu::appendSubmenu(quint32 flags, const QString& text, int image) {
    submenus_.push_back(std::unique_ptr<QmMenu>(new QmMenu(shared_, nullptr)));
    Item item;
    item.text = text;
    item.submenu = submenus_.back().get();
    item.flags = (flags & ~quint32(End)) | Popup | OwnerDraw;
    item.image = image;
    items_.push_back(item);
    makeAction(items_.back(), nullptr);
    return item.submenu;
}

bool QmMenu::insertItem(int position, quint32 flags, int command, const QString& text, int image) {
    if (position < 0 || position > itemCount()) return false;
    Item item;
    item.text = text;
    item.command = command;
    item.flags = (flags & ~quint32(End | Popup)) | OwnerDraw;
    if (text.isEmpty() && command == 0) item.flags |= Separator;
    item.image = image;
    QAction* before = position < itemCount() ? items_[size_t(position)].action : nullptr;
    auto it = items_.insert(items_.begin() + position, item);
    makeAction(*it, before);
    return true;
}

int QmMenu::positionOf(int command) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (!items_[i].submenu && !items_[i].isSeparator() && items_[i].command == command)
            return int(i);
    return -1;
}

bool QmMenu::modifyItem(int command, quint32 flags, const QString& text, int image) {
    const int pos = positionOf(command);
    if (pos < 0) return false;
    Item& item = items_[size_t(pos)];
    item.flags = (flags & ~quint32(End | Popup)) | OwnerDraw;
    item.text = text;
    item.image = image;
    applyFlags(item);
    menu_->update();
    return true;
}

bool QmMenu::removeItemAt(int position) {
    if (position < 0 || position >= itemCount()) return false;
    Item item = items_[size_t(position)];
    items_.erase(items_.begin() + position);
    menu_->removeAction(item.action);
    if (item.submenu) {
        for (auto it = submenus_.begin(); it != submenus_.end(); ++it)
            if (it->get() == item.submenu) {
                submenus_.erase(it);
                break;
            }
    } else {
        delete item.action;
    }
    return true;
}

bool QmMenu::removeItem(int command) {
    return removeItemAt(positionOf(command));
}

bool QmMenu::setItemText(int command, const QString& text) {
    const int pos = positionOf(command);
    if (pos < 0) return false;
    items_[size_t(pos)].text = text;
    applyFlags(items_[size_t(pos)]);
    return true;
}

bool QmMenu::setItemImage(int command, int image) {
    const int pos = positionOf(command);
    if (pos < 0) return false;
    items_[size_t(pos)].image = image;
    menu_->update();
    return true;
}

QmMenu* QmMenu::findSubmenuHolding(int command) {
    if (positionOf(command) >= 0) return this;
    for (auto& sub : submenus_)
        if (QmMenu* found = sub->findSubmenuHolding(command)) return found;
    return nullptr;
}

int QmMenu::addImage(const QImage& image) {
    if (image.isNull()) return -1;
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = shared_->transparent.rgb() & 0xFFFFFF;
    for (int y = 0; y < img.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key) line[x] = 0;
    }
    shared_->images.push_back(img);
    return int(shared_->images.size()) - 1;
}

int QmMenu::addImageResource(int bitmapId) {
    return addImage(loadBitmapResource(bitmapId));
}

void QmMenu::setImageSize(QSize size) {
    if (size.isValid()) shared_->imageSize = size;
}

QSize QmMenu::imageSize() const {
    return shared_->imageSize;
}
void QmMenu::setTransparentColor(const QColor& c) {
    shared_->transparent = c;
}
QColor QmMenu::transparentColor() const {
    return shared_->transparent;
}
void QmMenu::setLook(MenuLook look) {
    shared_->look = look;
}
MenuLook QmMenu::look() const {
    return shared_->look;
}

QImage QmMenu::imageFor(const Item& item) const {
    if (item.image < 0 || item.image >= int(shared_->images.size())) return {};
    return shared_->images[size_t(item.image)];
}

const QmMenu::Item* QmMenu::itemFor(const QAction* action) const {
    for (const Item& item : items_)
        if (item.action == action) return &item;
    return nullptr;
}

QSize QmMenu::measure(const Item& item) const {
    const int pad = lookPadding(shared_->look);
    const QSize img = shared_->imageSize;
    const int barHeight = systemMenuBarHeight();
    if (item.isSeparator()) return QSize(0, qMax(barHeight / 2, (img.height() + pad) / 2));
    QString label = item.text.section(QLatin1Char('\t'), 0, 0);
    label.remove(QLatin1Char('&')); // mnemonic markers take no room
    const int textWidth = QFontMetrics(systemMenuFont()).horizontalAdvance(label);
    const int extra = shared_->look == MenuLook::Flat ? img.width() + pad + 8 : 2 * img.width() + 1;
    return QSize(textWidth + extra, qMax(barHeight, img.height() + pad));
}

QSize QmMenu::measureItem(int position) const {
    if (position < 0 || position >= itemCount()) return {};
    return measure(items_[size_t(position)]);
}

QSize QmMenu::measureItem(const QAction* action) const {
    const Item* item = itemFor(action);
    if (!item) return QSize(1, systemMenuBarHeight());
    QSize s = measure(*item);
    // QMenu drops items of zero width, and needs room for the gap before an
    // accelerator and for a submenu arrow.
    if (item->text.contains(QLatin1Char('\t'))) s.rwidth() += 16;
    if (item->submenu) s.rwidth() += 12;
    return QSize(qMax(1, s.width()), s.height());
}

int QmMenu::trackPopup(const QPoint& globalPos) {
    QAction* chosen = menu_->exec(globalPos);
    return chosen && !chosen->menu() ? chosen->data().toInt() : 0;
}

} // namespace dorvak
