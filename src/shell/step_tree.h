#pragma once
// StepTree: the tree control of the left pane. One class serves the disk
// tree, the volume tree and the catalog tree; the wizard step at creation
// chooses the root item ("My Computer", "Partitions", or the volume's name).
// The disk and volume trees hold a handful of items in a standard model; the
// catalog tree shows a FolderTreeModel.

#include "shell/wizard_state.h"

#include <QStandardItemModel>
#include <QTreeView>

#include <vector>

namespace dorvak {

class FolderTreeModel;

class StepTree : public QTreeView {
    Q_OBJECT
public:
    // Images 0..4 of the tree's image list: icons 180, 179, 178, 180, 233.
    static QIcon treeImage(int index);

    // `step` is WizardStep at creation; `volumeName` names the catalog root.
    StepTree(Step step, const QString& volumeName, QWidget* parent = nullptr);

    Step createdAtStep() const { return step_; }
    // Disk and volume trees: appends a child of the root (image 0 at the
    // disk step, 3 otherwise) and returns its row.
    int appendChild(const QString& text, Step currentStep);
    QModelIndex rootItem() const;
    QModelIndex child(int row) const;
    // Catalog tree: shows `model`, whose root is the volume.
    void setFolderModel(FolderTreeModel* model);
    FolderTreeModel* folderModel() const { return folders_; }

Q_SIGNALS:
    // A left press: `index` is the item hit (the root when none), `onItem`
    // whether it hit the item's icon, label or the space right of it.
    void itemPressed(const QModelIndex& index, bool onItem);

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    Step step_;
    QStandardItemModel* items_ = nullptr;
    FolderTreeModel* folders_ = nullptr;
};

} // namespace dorvak
