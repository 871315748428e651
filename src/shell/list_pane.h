#pragma once
// ListPane: the right pane of the browsing step. Its details view and its
// icon and list view show one FileListModel and share one selection; it
// owns the item menu, renaming in place, and opening a folder (listing it)
// or a file (a private copy handed to the desktop).

#include "browse/copy_out.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class QAbstractItemView;
class QListView;
class QModelIndex;
class QTemporaryDir;
class QTreeView;
class QWidget;

namespace dorvak {

class FileListModel;
class FolderTreeModel;
class QmMenu;
class StepTree;
class WizardState;

// Header clicks sort `view`'s model: a first click on a column sorts it
// ascending, a second descending, a third returns to the model's own order
// (sort column -1). Grid lines between the cells.
void sortOnHeaderClicks(QTreeView* view);
void showGridLines(QTreeView* view);

class ListPane : public QObject {
    Q_OBJECT
public:
    // Runs a command of the item menu (the window's command table).
    using CommandRunner = std::function<void(int command)>;
    // Opens a file with an application of the user's choice (tests replace
    // the chooser): the command line, or empty for none.
    using AppChooser = std::function<QString(const QString& mimeType, const QStringList& apps)>;

    ListPane(WizardState& state, QTreeView* details, QListView* icons, FileListModel* model,
             FolderTreeModel* folders, QWidget* dialogParent);
    ~ListPane() override;
    // The catalog tree of the browsing step (made anew by each mount).
    void setCatalogTree(std::function<StepTree*()> tree) { catalogTree_ = std::move(tree); }
    void setCommandRunner(CommandRunner run) { runCommand_ = std::move(run); }
    void setAppChooser(AppChooser chooser) { appChooser_ = std::move(chooser); }

    QTreeView* detailsView() const { return details_; }
    // The view that is showing (details, or list and icons).
    QAbstractItemView* activeView() const;
    bool ownsViewport(const QWidget* w) const;
    int currentRow() const;
    RecoverySelection selectedEntries() const;

    // Icons, List or Details, by their menu or item-menu command.
    void setViewMode(int command);
    // The browsing step's columns, and the one "Details" column of the
    // volume step.
    void showDetailsColumns();
    void showSingleColumn();
    void setVisible(bool shown);

    // A mouse event of one of the views' viewports (the window watches them
    // all): a press makes the list the active pane, a double click opens the
    // row, a right click opens the item menu at the pointer.
    void viewportMouseEvent(QEvent* e);
    // At `globalPos`, or below the current row when none is given (the Menu key).
    void showItemMenu(QPoint globalPos = QPoint(-1, -1));
    QmMenu* itemMenu() const { return itemMenu_.get(); }
    bool beginRename();
    // Lists the folder of the tree's selection, or opens the list's current
    // row (a folder is listed, a file opened).
    void openSelectedItem();
    void openTreeItem(const QModelIndex& index);
    // Where opened files are copied (removed with the pane).
    QString openFolder() const;

private:
    void setUpViews();
    void saveColumnWidths() const;
    void endRename(int row, const QString& edited);
    void openFileRow(int row, bool with);
    QString copyForOpening(int row);
    void openWith(const QString& file);
    void offerOpenWith(const QString& file);

    WizardState& state_;
    QTreeView* details_;
    QListView* icons_;
    FileListModel* model_;
    FolderTreeModel* folders_;
    QWidget* dialogParent_;
    std::function<StepTree*()> catalogTree_;
    CommandRunner runCommand_;
    AppChooser appChooser_;
    int viewMode_;
    QString savedLabel_;
    std::unique_ptr<QmMenu> itemMenu_;
    std::unique_ptr<QTemporaryDir> openDir_;
    int openCount_ = 0;
    bool settingWidths_ = false; // the pane's own width changes are not saved
};

} // namespace dorvak
