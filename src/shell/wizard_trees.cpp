// The wizard's three trees: the disks, the volumes found on one, and the
// folders of a mounted volume. Each is made afresh for its step (the step at
// creation chooses its root), and a press or an arrow key in the disk and
// volume trees chooses as a click does.
#include "shell/wizard_controller.h"

#include "disk/disk_table.h"
#include "shell/list_pane.h"
#include "shell/step_tree.h"
#include "shell/window_layout.h"

#include <QItemSelectionModel>

#include <filesystem>

namespace dorvak {

void WizardController::createDiskTree() {
    // Made at step −1, so its root is "My Computer".
    state_.WizardStep = Step::Startup;
    diskTree_ = makeTree();
    state_.WizardStep = Step::Disk;
}

void WizardController::fillDiskTree() {
    for (std::uint32_t i = diskTree_->model()->rowCount(diskTree_->rootItem());
         i < state_.disks.diskCount; ++i) {
        const int row = diskTree_->appendChild(diskItemText(i), Step::Disk);
        // Which map, in full, where the item's text has no room for it.
        if (auto map = state_.rescueMapPaths.find(i); map != state_.rescueMapPaths.end())
            diskTree_->model()->setData(diskTree_->child(row),
                                        QStringLiteral("Read through the map ") +
                                            QString::fromStdString(map->second),
                                        Qt::ToolTipRole);
    }
    diskTree_->expand(diskTree_->rootItem());
}

QString WizardController::diskItemText(std::uint32_t number) const {
    // "Storage Device" and its number, then what it is: the image file's
    // name (and its container when not raw), or the device's model and size.
    QString text = QStringLiteral("Storage Device") + QString::number(number);
    const DiskInfo* d = state_.disks.disk(number);
    if (!d) return text;
    QString what;
    if (d->kind == "image") {
        what = QString::fromStdString(std::filesystem::path(d->path).filename().string());
        if (d->format != "raw") what += QStringLiteral(", ") + QString::fromStdString(d->format);
        // Read through a map (what it does not mark read is never read): said
        // before the name, which a narrow tree cuts off.
        if (state_.rescueMapPaths.count(number)) text += QStringLiteral(" + map");
    } else {
        what = QString::fromStdString(d->model).trimmed();
        const QString size = QString::fromStdString(DiskTable::capacityText(*d));
        what += (what.isEmpty() ? QString() : QStringLiteral(", ")) + size;
    }
    return what.isEmpty() ? text : text + QStringLiteral("  (") + what + QLatin1Char(')');
}

void WizardController::createVolumeTree() {
    delete volumeTree_;
    volumeRows_.clear();
    volumeTree_ = makeTree();
}

void WizardController::createCatalogTree() {
    delete catalogTree_;
    catalogTree_ = makeTree();
    catalogTree_->hide();
    catalogTree_->setEnabled(false);
}

StepTree* WizardController::makeTree() {
    // The step at creation chooses the tree's root.
    auto* tree = new StepTree(state_.WizardStep, QString(), client_);
    placeTree(tree, client_, units_);
    connect(tree, &StepTree::itemPressed, this,
            [this, tree](const QModelIndex& i, bool on) { treePressed(tree, i, on); });
    // In the disk and volume trees the arrow keys choose as a click does.
    if (tree->selectionModel() && state_.WizardStep != Step::Volume)
        connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, tree](const QModelIndex& current) {
                    if (current.isValid() && current != tree->rootItem() &&
                        (tree == diskTree_ || tree == volumeTree_))
                        treePressed(tree, current, true);
                });
    return tree;
}

void WizardController::treePressed(StepTree* tree, const QModelIndex& index, bool onItem) {
    if (!tree->isEnabled()) return;
    if (tree == catalogTree_) state_.treePaneActive = true;
    if (!index.isValid()) return; // no item hit: the tree chose its root
    const QString text = index.data().toString();
    if (text.isEmpty()) {
        tree->setCurrentIndex(tree->rootItem());
        return;
    }
    const bool child = index != tree->rootItem();
    if (state_.WizardStep == Step::Disk && tree == diskTree_ && onItem && child) {
        // "Storage Device" + number, then what the disk is.
        tree->setCurrentIndex(index);
        const QString rest = text.mid(14);
        qsizetype digits = 0;
        while (digits < rest.size() && rest[digits].isDigit())
            ++digits;
        selectDisk(rest.left(digits).toInt());
    } else if (state_.WizardStep == Step::Volume && tree == volumeTree_ && child) {
        for (std::size_t i = 0; i < volumeRows_.size() && i < state_.volumes.volumeCount; ++i)
            if (volumeRows_[i] == index.row()) {
                selectVolume(int(i));
                break;
            }
    } else if (state_.WizardStep == Step::Browse && tree == catalogTree_ && onItem) {
        list_.openTreeItem(index);
    }
}

} // namespace dorvak
