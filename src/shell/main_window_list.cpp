// The list pane: its three views, the right-click menu, renaming in place,
// and opening a file through a private copy.
#include "browse/copy_out.h"
#include "shell/catalog_models.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/recovery.h"
#include "shell/step_tree.h"
#include "ui/menu/qm_menu.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMimeDatabase>
#include <QProcess>
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

const std::pair<int, int> kItemMenuImages[] = {
    {32819, 198}, {32820, 199}, {32837, 201}, {32825, 200}, {32826, 195}, {32827, 196},
    {32829, 191}, {32828, 194}, {32830, 202}, {32836, 203}, {32839, 199}};

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

} // namespace

void MainWindow::createListViews() {
    iconView_ = new QListView(client_);
    iconView_->setGeometry(list_->geometry());
    iconView_->setObjectName(QStringLiteral("1000"));
    iconView_->setModel(listModel_);
    iconView_->setSelectionModel(list_->selectionModel());
    iconView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    iconView_->setIconSize(QSize(16, 16));
    iconView_->setResizeMode(QListView::Adjust);
    iconView_->setUniformItemSizes(false);
    iconView_->setEditTriggers(QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
    iconView_->hide();
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(list_), static_cast<QAbstractItemView*>(iconView_)}) {
        v->setItemDelegate(new NameDelegate(
            v,
            [this](int row) {
                if (state_.treePaneActive) return;
                savedLabel_ = listModel_->index(row, 0).data().toString();
                renameRow_ = row;
                state_.renaming = true;
            },
            [this](int row) {
                if (state_.renaming) endRename(row, QString());
            }));
        v->viewport()->installEventFilter(this);
    }
    connect(listModel_, &FileListModel::nameEdited, this, &MainWindow::endRename);
}

QAbstractItemView* MainWindow::activeListView() const {
    if (viewMode_ == cmd::ViewDetails) return list_;
    return iconView_;
}

int MainWindow::currentListRow() const {
    const QModelIndex i = list_->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void MainWindow::setViewMode(int command) {
    // Icons is the small-icon view (there is no large-icon list), List the
    // column list, Details the report view with its columns.
    const bool wasShown = list_->isVisible() || iconView_->isVisible();
    if (command == cmd::ViewIcons || command == 32826) {
        viewMode_ = cmd::ViewIcons;
        iconView_->setViewMode(QListView::IconMode);
        iconView_->setFlow(QListView::LeftToRight);
        iconView_->setWrapping(true);
        iconView_->setGridSize(QSize(96, 40));
        iconView_->setMovement(QListView::Static);
    } else if (command == cmd::ViewList || command == 32827) {
        viewMode_ = cmd::ViewList;
        iconView_->setViewMode(QListView::ListMode);
        iconView_->setFlow(QListView::TopToBottom);
        iconView_->setWrapping(true);
        iconView_->setGridSize(QSize());
    } else {
        viewMode_ = cmd::ViewDetails;
    }
    if (!wasShown) return;
    list_->setVisible(viewMode_ == cmd::ViewDetails);
    iconView_->setVisible(viewMode_ != cmd::ViewDetails);
}

void MainWindow::ShowItemMenu() {
    if (state_.treePaneActive || state_.WizardStep != 2 || state_.workerBusy) return;
    const int row = currentListRow();
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
    const QString type = listModel_->index(row, FileListModel::Type).data().toString();
    const bool folder = type.compare(QLatin1String("Folder"), Qt::CaseInsensitive) == 0 ||
                        type.compare(QLatin1String("Deleted Folder"), Qt::CaseInsensitive) == 0;
    const int pos = popup.positionOf(cmd::OpenWith);
    if (pos >= 0)
        popup.modifyItem(cmd::OpenWith, folder ? quint32(QmMenu::Grayed) : 0u, popup.item(pos).text,
                         popup.item(pos).image);
    activateWindow();
    const int chosen = popup.trackPopup(QCursor::pos());
    if (chosen != 0) runCommand(chosen);
}

bool MainWindow::beginRename() {
    if (state_.treePaneActive || state_.WizardStep != 2 || state_.renaming) return false;
    const int row = currentListRow();
    if (row < 0) return false;
    activeListView()->edit(listModel_->index(row, FileListModel::Name));
    return state_.renaming;
}

void MainWindow::endRename(int row, const QString& edited) {
    QString text = edited;
    if (text.isEmpty() || state_.WizardStep != 2) text = savedLabel_;
    state_.renaming = false;
    if (row < 0 || row >= listModel_->rowCount()) return;
    // Names are at most 255 bytes: cut at a character boundary.
    QByteArray bytes = text.toUtf8();
    while (bytes.size() > qsizetype(kMaxNameLength)) {
        text.chop(1);
        bytes = text.toUtf8();
    }
    const FileListModel::Row r = listModel_->row(row);
    if (r.folder) {
        CatalogEntry& f = state_.catalog.FolderList[r.index];
        state_.catalog.rename(f, bytes.toStdString());
        if (catalogTree_) folderModel_->refreshItem(folderModel_->indexForTreeItem(f.treeItem));
    } else {
        state_.catalog.rename(state_.catalog.FileList[r.index], bytes.toStdString());
    }
    listModel_->refreshRow(row);
}

QString MainWindow::openFolder() const {
    return openDir_ ? openDir_->path() : QString();
}

void MainWindow::openFileRow(int row, bool with) {
    if (state_.workerBusy) return;
    const FileListModel::Row r = listModel_->row(row);
    if (r.folder) return;
    if (!openDir_) {
        openDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                   QStringLiteral("/dorvak-open-XXXXXX"));
        if (!openDir_->isValid()) {
            ShowMessage(QStringLiteral("Cannot make a temporary folder to open the file in."),
                        MessageKind::Error);
            openDir_.reset();
            return;
        }
    }
    // A folder of its own per opening, so names never collide.
    const QString dest = openDir_->path() + QLatin1Char('/') + QString::number(++openCount_);
    QDir().mkpath(dest);
    const VolumeInfo* volume = state_.volumes.selected();
    if (!volume) return;
    RecoverySelection selection;
    selection.files.push_back(r.index);
    SavingDialog saving(this);
    const VolumeInfo v = *volume;
    const CopySummary summary =
        saving.run([this, v, dest, selection](CopyProgressSink& sink, CopyRequests& requests) {
            CopyOut copy(state_.reader, v, state_.catalog, &state_.live,
                         state_.settings.sanitized(), requests, sink);
            return copy.RecoverSelected(dest.toStdString(), selection);
        });
    const QStringList written = QDir(dest).entryList(QDir::Files | QDir::Hidden | QDir::System);
    if (written.isEmpty()) {
        const SummaryText t = summaryText(summary, dest);
        ShowDetails(t.text, t.more, {QStringLiteral("OK")}, MessageKind::Error);
        return;
    }
    const QString file = dest + QLatin1Char('/') + written.first();
    if (!with) {
        openOnDesktop(QUrl::fromLocalFile(file));
        return;
    }
    const QString mime = QMimeDatabase().mimeTypeForFile(file).name();
    QMap<QString, QString> commands;
    const QStringList apps = registeredApps(mime, commands);
    QString choice;
    if (appChooser_) {
        choice = appChooser_(mime, apps);
    } else {
        bool ok = false;
        choice = QInputDialog::getItem(
            this, QStringLiteral("Open With"),
            QStringLiteral("Open %1 with (or type a command):").arg(written.first()), apps, 0, true,
            &ok);
        if (!ok) choice.clear();
    }
    if (choice.trimmed().isEmpty()) return;
    QString command = commands.value(choice, choice);
    // Field codes of desktop entries take the file; a typed command gets it last.
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
    if (args.isEmpty()) return;
    const QString program = args.takeFirst();
    if (!QProcess::startDetached(program, args))
        ShowMessage(QStringLiteral("Cannot start %1").arg(program), MessageKind::Error);
}

} // namespace dorvak
