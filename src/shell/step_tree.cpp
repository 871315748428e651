#include "shell/step_tree.h"

#include "shell/catalog_models.h"
#include "ui/controls/resource_images.h"

#include <QMouseEvent>

namespace dorvak {

QIcon StepTree::treeImage(int index) {
    static const int kIcons[] = {180, 179, 178, 180, 233};
    if (index < 0 || index > 4) return {};
    return QIcon(QPixmap::fromImage(loadIconResource(kIcons[index], true)));
}

StepTree::StepTree(Step step, const QString& volumeName, QWidget* parent)
    : QTreeView(parent), step_(step) {
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::StyledPanel);
    if (step == Step::Volume) return; // the catalog tree gets its model after the mount
    items_ = new QStandardItemModel(this);
    QStandardItem* root = nullptr;
    if (step == Step::Startup)
        root = new QStandardItem(treeImage(4), QStringLiteral("My Computer"));
    else if (step == Step::Disk)
        root = new QStandardItem(treeImage(0), QStringLiteral("Partitions"));
    if (root) {
        root->setEditable(false);
        items_->appendRow(root);
    }
    setModel(items_);
    if (root) expand(rootItem());
    (void)volumeName;
}

int StepTree::appendChild(const QString& text, Step currentStep) {
    if (!items_ || items_->rowCount() == 0) return -1;
    auto* item = new QStandardItem(treeImage(currentStep == Step::Disk ? 0 : 3), text);
    item->setEditable(false);
    QStandardItem* root = items_->item(0);
    root->appendRow(item);
    expand(rootItem());
    return root->rowCount() - 1;
}

QModelIndex StepTree::rootItem() const {
    return model() ? model()->index(0, 0) : QModelIndex();
}

QModelIndex StepTree::child(int row) const {
    return model() ? model()->index(row, 0, rootItem()) : QModelIndex();
}

void StepTree::setFolderModel(FolderTreeModel* model) {
    folders_ = model;
    setModel(model);
    expand(rootItem());
}

void StepTree::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QTreeView::mousePressEvent(e);
        return;
    }
    const QModelIndex hit = indexAt(e->position().toPoint());
    if (!hit.isValid()) {
        // A press on no item: the root becomes the current item, and
        // nothing is opened (the invalid index says so).
        QTreeView::mousePressEvent(e);
        setCurrentIndex(rootItem());
        Q_EMIT itemPressed(QModelIndex(), false);
        return;
    }
    // A press on the row beside the item (its indent or expand button) only
    // opens or closes the branch; on the icon, label or to the right of it
    // the item is chosen.
    const bool onItem = e->position().toPoint().x() >= visualRect(hit).left();
    Q_EMIT itemPressed(hit, onItem);
    QTreeView::mousePressEvent(e);
}

} // namespace dorvak
