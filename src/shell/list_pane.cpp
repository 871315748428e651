#include "shell/list_pane.h"

#include "shell/catalog_models.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/recovery.h"
#include "shell/step_tree.h"
#include "ui/menu/qm_menu.h"

#include <QDir>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QProcess>
#include <QScopedValueRollback>
#include <QSettings>
#include <QStandardPaths>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTreeView>

namespace dorvak {
namespace {

// The Name editor: at most 255 characters, and it tells when it opens and
// whether it closed without a commit.
class NameDelegate : public QStyledItemDelegate {
public:
    NameDelegate(QObject* parent, std::function<void(int)> began, std::function<void(int)> dropped)
        : QStyledItemDelegate(parent), began_(std::move(began)), dropped_(std::move(dropped)) {
        connect(this, &QAbstractItemDelegate::closeEditor, this,
                [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                    if (hint == QAbstractItemDelegate::RevertModelCache) dropped_(row_);
                });
    }
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* editor =
            qobject_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
        if (editor) editor->setMaxLength(int(kMaxNameLength));
        row_ = index.row();
        began_(index.row());
        return editor;
    }

private:
    std::function<void(int)> began_, dropped_;
    mutable int row_ = -1;
};

// The item menu's commands and their bitmaps.
const std::pair<int, int> kItemMenuImages[] = {
    {cmd::Open, 198},           {cmd::OpenWith, 199},      {cmd::ItemRecoverSelected, 201},
    {cmd::ItemRecoverAll, 200}, {cmd::ItemIcons, 195},     {cmd::ItemList, 196},
    {cmd::ItemDetails, 191},    {cmd::ItemFindFiles, 194}, {cmd::Rename, 202},
    {cmd::ItemSettings, 203},   {cmd::Properties, 199}};

// Applications the desktop registers for a MIME type: name -> command.
QStringList registeredApps(const QString& mimeType, QMap<QString, QString>& commands) {
    QStringList names;
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QSettings cache(dir + QStringLiteral("/mimeinfo.cache"), QSettings::IniFormat);
        const QStringList ids = cache.value(QStringLiteral("MIME Cache/") + mimeType)
                                    .toString()
                                    .split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString& id : ids) {
            QSettings entry(dir + QLatin1Char('/') + id, QSettings::IniFormat);
            const QString name = entry.value(QStringLiteral("Desktop Entry/Name")).toString();
            const QString exec = entry.value(QStringLiteral("Desktop Entry/Exec")).toString();
            if (name.isEmpty() || exec.isEmpty() || commands.contains(name)) continue;
            names << name;
            commands.insert(name, exec);
        }
    }
    return names;
}

// The program and arguments of a desktop entry's command line for `file`:
// its field codes take the file; a typed command gets it last.
QStringList commandFor(const QString& command, const QString& file) {
    QStringList args = QProcess::splitCommand(command);
    bool placed = false;
    for (QString& a : args)
        if (a == QLatin1String("%f") || a == QLatin1String("%F") || a == QLatin1String("%u") ||
            a == QLatin1String("%U")) {
            a = file;
            placed = true;
        }
    args.removeIf([](const QString& a) { return a.size() == 2 && a.startsWith(QLatin1Char('%')); });
    if (!placed) args << file;
    return args;
}

} // namespace

void sortOnHeaderClicks(QTreeView* view) {
    QHeaderView* header = view->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    QObject::connect(header, &QHeaderView::sectionClicked, view, [view, header](int column) {
        QAbstractItemModel* model = view->model();
        if (!model) return;
        const bool same =
            header->isSortIndicatorShown() && header->sortIndicatorSection() == column;
        if (same && header->sortIndicatorOrder() == Qt::DescendingOrder) {
            header->setSortIndicatorShown(false);
            model->sort(-1);
            return;
        }
        const Qt::SortOrder order = same ? Qt::DescendingOrder : Qt::AscendingOrder;
        header->setSortIndicator(column, order);
        header->setSortIndicatorShown(true);
        model->sort(column, order);
    });
}

void showGridLines(QTreeView* view) {
    view->setStyleSheet(QStringLiteral(
        "QTreeView { background: white; }"
        "QTreeView::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"
        // An item rule of its own drops the style's selection colours.
        "QTreeView::item:selected { background: palette(highlight); "
        "color: palette(highlighted-text); }"));
}

ListPane::ListPane(WizardState& state, QTreeView* details, QListView* icons, FileListModel* model,
                   FolderTreeModel* folders, QWidget* dialogParent)
    : state_(state), details_(details), icons_(icons), model_(model), folders_(folders),
      dialogParent_(dialogParent), viewMode_(cmd::ViewDetails) {
    setUpViews();
    connect(model_, &FileListModel::nameEdited, this, &ListPane::endRename);
}

ListPane::~ListPane() = default;

void ListPane::setUpViews() {
    details_->setModel(model_);
    details_->setRootIsDecorated(false);
    details_->setUniformRowHeights(true);
    details_->setAllColumnsShowFocus(true);
    details_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    details_->setSelectionBehavior(QAbstractItemView::SelectRows);
    details_->setEditTriggers(QAbstractItemView::SelectedClicked |
                              QAbstractItemView::EditKeyPressed);
    details_->setIconSize(QSize(16, 16));
    details_->header()->setStretchLastSection(false);
    details_->header()->setSectionsMovable(false);
    showGridLines(details_);
    sortOnHeaderClicks(details_);
    connect(details_->header(), &QHeaderView::sectionResized, this, [this] {
        if (!settingWidths_ && !details_->isColumnHidden(1)) saveColumnWidths();
    });
    icons_->setModel(model_);
    icons_->setSelectionModel(details_->selectionModel());
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons_->setIconSize(QSize(16, 16));
    icons_->setResizeMode(QListView::Adjust);
    icons_->setUniformItemSizes(false);
    icons_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(details_), static_cast<QAbstractItemView*>(icons_)})
        v->setItemDelegate(new NameDelegate(
            v,
            [this](int row) {
                if (state_.treePaneActive) return;
                savedLabel_ = model_->index(row, 0).data().toString();
                state_.renaming = true;
            },
            [this](int row) {
                if (state_.renaming) endRename(row, QString());
            }));
}

QAbstractItemView* ListPane::activeView() const {
    if (viewMode_ == cmd::ViewDetails) return details_;
    return icons_;
}

bool ListPane::ownsViewport(const QWidget* w) const {
    return w && (w == details_->viewport() || w == icons_->viewport());
}

int ListPane::currentRow() const {
    const QModelIndex i = details_->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

RecoverySelection ListPane::selectedEntries() const {
    RecoverySelection s;
    for (const QModelIndex& i : details_->selectionModel()->selectedRows()) {
        const FileListModel::Row r = model_->row(i.row());
        (r.folder ? s.folders : s.files).push_back(r.index);
    }
    return s;
}

void ListPane::setViewMode(int command) {
    // Icons is the small-icon view (there is no large-icon list), List the
    // column list, Details the report view with its columns.
    const bool wasShown = details_->isVisible() || icons_->isVisible();
    if (command == cmd::ViewIcons || command == cmd::ItemIcons) {
        viewMode_ = cmd::ViewIcons;
        icons_->setViewMode(QListView::IconMode);
        icons_->setFlow(QListView::LeftToRight);
        icons_->setWrapping(true);
        icons_->setGridSize(QSize(96, 40));
        icons_->setMovement(QListView::Static);
    } else if (command == cmd::ViewList || command == cmd::ItemList) {
        viewMode_ = cmd::ViewList;
        icons_->setViewMode(QListView::ListMode);
        icons_->setFlow(QListView::TopToBottom);
        icons_->setWrapping(true);
        icons_->setGridSize(QSize());
    } else {
        viewMode_ = cmd::ViewDetails;
    }
    if (!wasShown) return;
    details_->setVisible(viewMode_ == cmd::ViewDetails);
    icons_->setVisible(viewMode_ != cmd::ViewDetails);
}

void ListPane::showDetailsColumns() {
    details_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    model_->setSingleColumnTitle(QString());
    // The widths the user gave the columns last, else the defaults.
    const int widths[] = {150, 100, 70, 100, 70, 70};
    const QStringList saved = QSettings().value(QStringLiteral("List/ColumnWidths")).toStringList();
    const QScopedValueRollback<bool> own(settingWidths_, true);
    for (int c = 0; c < FileListModel::ColumnCount; ++c) {
        details_->setColumnHidden(c, false);
        const int w = c < saved.size() ? saved[c].toInt() : 0;
        details_->setColumnWidth(c, w >= 16 && w <= 2000 ? w : widths[c]);
    }
}

void ListPane::saveColumnWidths() const {
    QStringList widths;
    for (int c = 0; c < FileListModel::ColumnCount; ++c)
        widths << QString::number(details_->columnWidth(c));
    QSettings().setValue(QStringLiteral("List/ColumnWidths"), widths);
}

void ListPane::showSingleColumn() {
    // One column, its title led by 44 spaces.
    model_->setSingleColumnTitle(
        QStringLiteral("                                            Details"));
    const QScopedValueRollback<bool> own(settingWidths_, true);
    details_->setColumnWidth(0, 500);
    for (int c = 1; c < FileListModel::ColumnCount; ++c)
        details_->setColumnHidden(c, true);
}

void ListPane::setVisible(bool shown) {
    details_->setVisible(shown);
}

void ListPane::viewportMouseEvent(QEvent* e) {
    if (state_.WizardStep != Step::Browse) return;
    const auto type = e->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        state_.treePaneActive = false;
        if (type != QEvent::MouseButtonDblClick || currentRow() < 0) return;
        state_.openWithRequested = false;
        // After the view has handled the click that chose the row.
        QMetaObject::invokeMethod(
            this, [this] { openSelectedItem(); }, Qt::QueuedConnection);
    } else if (type == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
        // The item menu at the pointer, for the row the press chose.
        const QPoint at = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
        QMetaObject::invokeMethod(
            this, [this, at] { showItemMenu(at); }, Qt::QueuedConnection);
    }
}

void ListPane::showItemMenu(QPoint globalPos) {
    if (state_.treePaneActive || state_.WizardStep != Step::Browse || state_.workerBusy) return;
    const int row = currentRow();
    if (row < 0) return;
    if (!itemMenu_) {
        itemMenu_ = std::make_unique<QmMenu>();
        itemMenu_->load(140);
        for (const auto& [command, bitmap] : kItemMenuImages)
            if (QmMenu* holder = itemMenu_->findSubmenuHolding(command))
                holder->setItemImage(command, itemMenu_->addImageResource(bitmap));
    }
    if (itemMenu_->itemCount() == 0 || !itemMenu_->item(0).submenu) return;
    QmMenu& popup = *itemMenu_->item(0).submenu;
    const QString type = model_->index(row, FileListModel::Type).data().toString();
    const bool folder = type.compare(QLatin1String("Folder"), Qt::CaseInsensitive) == 0 ||
                        type.compare(QLatin1String("Deleted Folder"), Qt::CaseInsensitive) == 0;
    const int pos = popup.positionOf(cmd::OpenWith);
    if (pos >= 0)
        popup.modifyItem(cmd::OpenWith, folder ? quint32(QmMenu::Grayed) : 0u, popup.item(pos).text,
                         popup.item(pos).image);
    dialogParent_->activateWindow();
    if (globalPos == QPoint(-1, -1)) {
        QAbstractItemView* view = activeView();
        const QRect r = view->visualRect(model_->index(row, 0));
        globalPos = view->viewport()->mapToGlobal(r.isValid() ? r.bottomLeft() : QPoint());
    }
    const int chosen = popup.trackPopup(globalPos);
    if (chosen != 0 && runCommand_) runCommand_(chosen);
}

bool ListPane::beginRename() {
    if (state_.treePaneActive || state_.WizardStep != Step::Browse || state_.renaming) return false;
    const int row = currentRow();
    if (row < 0) return false;
    activeView()->edit(model_->index(row, FileListModel::Name));
    return state_.renaming;
}

void ListPane::endRename(int row, const QString& edited) {
    QString text = edited;
    if (text.isEmpty() || state_.WizardStep != Step::Browse) text = savedLabel_;
    state_.renaming = false;
    if (row < 0 || row >= model_->rowCount()) return;
    // Names are at most 255 bytes: cut at a character boundary.
    QByteArray bytes = text.toUtf8();
    while (bytes.size() > qsizetype(kMaxNameLength)) {
        text.chop(1);
        bytes = text.toUtf8();
    }
    const FileListModel::Row r = model_->row(row);
    if (r.folder) {
        state_.catalog.renameFolder(r.index, bytes.toStdString());
        const CatalogEntry& f = state_.catalog.FolderList()[r.index];
        if (catalogTree_()) folders_->refreshItem(folders_->indexForTreeItem(f.treeItem));
    } else {
        state_.catalog.renameFile(r.index, bytes.toStdString());
    }
    model_->refreshRow(row);
}

void ListPane::openTreeItem(const QModelIndex& index) {
    StepTree* tree = catalogTree_();
    if (state_.WizardStep != Step::Browse || !tree) return;
    state_.openWithRequested = false;
    model_->clear();
    tree->setCurrentIndex(index);
    state_.treePaneActive = true;
    openSelectedItem();
}

void ListPane::openSelectedItem() {
    StepTree* tree = catalogTree_();
    if (state_.WizardStep != Step::Browse || !tree) return;
    std::uint32_t treeItem = 0;
    if (state_.treePaneActive) {
        const QModelIndex current = tree->currentIndex();
        if (!current.isValid()) return;
        treeItem = folders_->treeItemOf(current);
    } else {
        const int current = currentRow();
        if (current < 0) return;
        const QString type = model_->index(current, FileListModel::Type).data().toString();
        if (!type.endsWith(QLatin1String("Folder"))) {
            openFileRow(current, state_.openWithRequested);
            return;
        }
        treeItem = model_->index(current, FileListModel::Sector).data().toString().toUInt();
    }
    const QModelIndex item = folders_->indexForTreeItem(treeItem);
    model_->FillFileList(folders_->folderKeyOf(item));
    tree->setFocus();
    tree->setCurrentIndex(item);
    state_.treePaneActive = true;
    for (QModelIndex up = item.parent(); up.isValid(); up = up.parent())
        tree->expand(up);
}

QString ListPane::openFolder() const {
    return openDir_ ? openDir_->path() : QString();
}

QString ListPane::copyForOpening(int row) {
    if (!openDir_) {
        openDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                   QStringLiteral("/dorvak-open-XXXXXX"));
        if (!openDir_->isValid()) {
            ShowMessage(QStringLiteral("Cannot make a temporary folder to open the file in."),
                        MessageKind::Error);
            openDir_.reset();
            return QString();
        }
    }
    // A folder of its own per opening, so names never collide.
    const QString dest = openDir_->path() + QLatin1Char('/') + QString::number(++openCount_);
    QDir().mkpath(dest);
    const VolumeInfo* volume = state_.selectedVolumeInfo();
    if (!volume) return QString();
    RecoverySelection selection;
    selection.files.push_back(model_->row(row).index);
    SavingDialog saving(dialogParent_);
    const VolumeInfo v = *volume;
    CopySummary summary;
    {
        const WorkerScope busy(state_);
        summary =
            saving.run([this, v, dest, selection](CopyProgressSink& sink, CopyRequests& requests) {
                CopyOut copy(state_.reader, v, state_.catalog, &state_.live,
                             state_.settings.sanitized(), requests, sink);
                return copy.RecoverSelected(dest.toStdString(), selection);
            });
    }
    const QStringList written = QDir(dest).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (written.isEmpty()) {
        const SummaryText t = summaryText(summary, dest);
        showDetails(t.text, t.more, {QStringLiteral("OK")}, MessageKind::Error);
        return QString();
    }
    return dest + QLatin1Char('/') + written.first();
}

void ListPane::openFileRow(int row, bool with) {
    if (state_.workerBusy) return;
    if (model_->row(row).folder) return;
    const QString file = copyForOpening(row);
    if (file.isEmpty()) return;
    if (with)
        openWith(file);
    else if (!MainWindow::openOnDesktop(QUrl::fromLocalFile(file)))
        offerOpenWith(file);
}

void ListPane::offerOpenWith(const QString& file) {
    // No desktop application took the file: say so, and offer to choose one.
    const QString text =
        QStringLiteral("No application is set to open %1.").arg(QFileInfo(file).fileName());
    if (showDetails(text, QString(), {QStringLiteral("Open &With..."), QStringLiteral("&Close")},
                    MessageKind::Error) == 1)
        openWith(file);
}

void ListPane::openWith(const QString& file) {
    const QString mime = QMimeDatabase().mimeTypeForFile(file).name();
    QMap<QString, QString> commands;
    const QStringList apps = registeredApps(mime, commands);
    QString choice;
    if (appChooser_) {
        choice = appChooser_(mime, apps);
    } else {
        bool ok = false;
        choice = QInputDialog::getItem(
            dialogParent_, QStringLiteral("Open With"),
            QStringLiteral("Open %1 with (or type a command):").arg(QFileInfo(file).fileName()),
            apps, 0, true, &ok);
        if (!ok) choice.clear();
    }
    if (choice.trimmed().isEmpty()) return;
    QStringList args = commandFor(commands.value(choice, choice), file);
    if (args.isEmpty()) return;
    const QString program = args.takeFirst();
    if (!QProcess::startDetached(program, args))
        ShowMessage(QStringLiteral("Cannot start %1").arg(program), MessageKind::Error);
}

} // namespace dorvak
