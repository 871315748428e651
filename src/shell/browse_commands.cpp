#include "shell/browse_commands.h"

#include "browse/destination_check.h"
#include "browse/name_decoder.h"
#include "shell/catalog_models.h"
#include "shell/find_dialog.h"
#include "shell/list_pane.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/recovery.h"
#include "shell/step_tree.h"
#include "shell/tool_dialogs.h"

#include <QAbstractItemView>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QSettings>
#include <QTreeView>

#include <optional>

namespace dorvak {

BrowseCommands::BrowseCommands(WizardState& state, ListPane& list, FileListModel* listModel,
                               FolderTreeModel* folderModel, std::function<StepTree*()> catalogTree,
                               QWidget* window)
    : state_(state), list_(list), listModel_(listModel), folderModel_(folderModel),
      catalogTree_(std::move(catalogTree)), window_(window) {}

void BrowseCommands::findFiles() {
    if (state_.WizardStep != Step::Browse || state_.workerBusy) return;
    FindDialog dialog(state_.catalog, *folderModel_, window_);
    dialog.setNameDecoder(&state_.names);
    std::optional<std::uint32_t> chosen;
    QObject::connect(&dialog, &FindDialog::fileChosen, &dialog,
                     [&chosen](std::uint32_t f) { chosen = f; });
    dialog.exec();
    if (chosen) showFile(*chosen);
}

void BrowseCommands::showFile(std::uint32_t file) {
    // Its folder opened in the tree, then the file chosen in the list.
    const long folder = state_.catalog.folderIndex(state_.catalog.FileList()[file].parentId);
    const QModelIndex item = folder < 0
                                 ? folderModel_->rootIndex()
                                 : folderModel_->indexForTreeItem(
                                       state_.catalog.FolderList()[std::size_t(folder)].treeItem);
    list_.openTreeItem(item.isValid() ? item : folderModel_->rootIndex());
    for (int r = 0; r < listModel_->rowCount(); ++r) {
        const FileListModel::Row& row = listModel_->row(r);
        if (row.folder || row.index != file) continue;
        QAbstractItemView* view = list_.activeView();
        view->setFocus();
        view->selectionModel()->setCurrentIndex(listModel_->index(r, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        view->scrollTo(listModel_->index(r, 0));
        state_.treePaneActive = false;
        return;
    }
}

void BrowseCommands::fileFilters() {
    if (state_.WizardStep != Step::Browse || state_.workerBusy) return;
    FiltersDialog dialog(listModel_->filters(), window_);
    dialog.exec();
    // Whichever way it closed, the list is stored and the root shown again.
    listModel_->setFilters(dialog.filters());
    catalogTree_()->setFocus();
    catalogTree_()->setCurrentIndex(folderModel_->rootIndex());
    state_.treePaneActive = true;
    listModel_->FillFileList(2);
}

void BrowseCommands::recoverySettings() {
    SettingsDialog dialog(state_.settings, state_.names.encoding(), window_);
    if (dialog.exec() != QDialog::Accepted) return;
    state_.settings = dialog.result();
    state_.reader.badSectorRetries = state_.settings.sanitized().badSectorRetries;
    setNameEncoding(dialog.nameEncoding());
}

bool BrowseCommands::setNameEncoding(const std::string& encoding) {
    if (encoding == state_.names.encoding()) return true;
    std::string error;
    std::optional<NameDecoder> decoder = NameDecoder();
    if (!encoding.empty()) decoder = NameDecoder::open(encoding, &error);
    if (!decoder) {
        ShowMessage(QString::fromStdString(error), MessageKind::Error);
        return false;
    }
    state_.names = std::move(*decoder);
    // The views show every name again through the new decoder.
    listModel_->setNameDecoder(&state_.names);
    folderModel_->setNameDecoder(&state_.names);
    return true;
}

namespace {

// A volume as QSettings remembers it: its disk and where it starts.
QString volumeSettingsKey(const std::string& diskPath, const VolumeInfo& v) {
    const QByteArray id = QByteArray::fromStdString(diskPath + '@' + std::to_string(v.startSector) +
                                                    '+' + std::to_string(v.sectorCount));
    return QStringLiteral("NameEncoding/Proposed/") +
           QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex());
}

} // namespace

void BrowseCommands::proposeNameEncoding() {
    const VolumeInfo* volume = state_.selectedVolumeInfo();
    if (!volume || state_.names.chosen() || !hasNonUtf8Names(state_.catalog)) return;
    // Asked once per volume, whatever the answer.
    const QString key = volumeSettingsKey(state_.reader.diskPath(), *volume);
    QSettings settings;
    if (settings.contains(key)) return;
    const std::optional<EncodingGuess> guess = guessNameEncoding(state_.catalog);
    if (!guess) return;
    const QString encoding = QString::fromStdString(guess->encoding);
    const bool yes =
        AskYesNo(QStringLiteral("Some names on this volume are not UTF-8: they read as %1 "
                                "text.\r\nShow them, and recover them under UTF-8 names, through "
                                "the encoding %1?\r\n(Recovery Settings, \"Name encoding\", "
                                "changes it later.)")
                     .arg(encoding),
                 MessageKind::Question) == 1;
    settings.setValue(key, yes ? encoding : QString());
    if (yes) setNameEncoding(guess->encoding);
}

void BrowseCommands::properties() {
    if (state_.WizardStep != Step::Browse) return;
    const int row = list_.currentRow();
    if (row < 0) return;
    auto cell = [&](int column) {
        return listModel_->index(row, column).data().toString().left(99);
    };
    const QString type = cell(FileListModel::Type);
    PropertiesText text;
    if (type.endsWith(QLatin1String("Folder")))
        text =
            folderProperties(state_.catalog, *folderModel_, cell(FileListModel::Sector).toUInt());
    else
        text.size = fileSizeText(cell(FileListModel::Size));
    text.name = cell(FileListModel::Name);
    text.date = cell(FileListModel::Date);
    text.time = cell(FileListModel::Time);
    PropertiesDialog dialog(text, window_);
    dialog.exec();
}

void BrowseCommands::driveInformation() {
    const VolumeInfo* v = state_.selectedVolumeInfo();
    if (state_.WizardStep != Step::Browse || !v) return;
    DriveInfoDialog dialog(*v, state_.catalog,
                           state_.catalog.recoveryMode == RecoveryMode::Extensive, window_);
    if (state_.partialResult) dialog.notePartial();
    dialog.exec();
}

void BrowseCommands::recoverSelected() {
    recover(false);
}

void BrowseCommands::recoverAll() {
    recover(true);
}

void BrowseCommands::recover(bool all) {
    if (state_.WizardStep != Step::Browse || state_.workerBusy) return;
    const VolumeInfo* volume = state_.selectedVolumeInfo();
    if (!volume) return;
    const RecoverySelection selection = all ? RecoverySelection{} : list_.selectedEntries();
    if (!all && selection.files.empty() && selection.folders.empty()) {
        ShowMessage(
            QStringLiteral("Select the file(s) and folder(s) to recover in the right pane."),
            MessageKind::Information);
        return;
    }
    const QString dest =
        folderChooser_ ? folderChooser_()
                       : QFileDialog::getExistingDirectory(window_, QStringLiteral("Recover into"));
    if (dest.isEmpty()) return;
    // Writing onto the disk being read could overwrite what is still to be
    // recovered; the copy-out refuses it too, this says so before it starts.
    if (const std::string refused =
            destinationOnSourceDisk(state_.reader.diskPath(), dest.toStdString());
        !refused.empty()) {
        ShowMessage(QString::fromStdString(refused) +
                        QStringLiteral("\r\nChoose a folder on another disk, so that nothing is "
                                       "written over the data that is still to be recovered."),
                    MessageKind::Error);
        return;
    }
    SavingDialog saving(window_);
    const VolumeInfo v = *volume;
    const std::string target = dest.toStdString();
    CopySummary summary;
    {
        const WorkerScope busy(state_);
        summary = saving.run(
            [this, v, target, all, selection](CopyProgressSink& sink, CopyRequests& requests) {
                CopyOut copy(state_.reader, v, state_.catalog, &state_.live,
                             state_.settings.sanitized(), requests, sink);
                // A chosen encoding writes the names it decodes as UTF-8.
                copy.nameDecoder = state_.names.chosen() ? &state_.names : nullptr;
                return all ? copy.RecoverAll(target) : copy.RecoverSelected(target, selection);
            });
    }
    // The summary names the volume's files as the list shows them.
    if (state_.names.chosen())
        for (auto* list : {&summary.renamed, &summary.skipped, &summary.damaged, &summary.failed})
            for (FileReport& r : *list)
                r.catalogPath = state_.names.convertedPath(r.catalogPath);
    const SummaryText text = summaryText(summary, dest);
    const MessageKind kind =
        summaryIsError(summary) ? MessageKind::Error : MessageKind::Information;
    if (showDetails(text.text, text.more,
                    {QStringLiteral("&Open Folder"), QStringLiteral("&Close")}, kind) == 1)
        if (!MainWindow::openOnDesktop(QUrl::fromLocalFile(dest)))
            ShowMessage(QStringLiteral("No application is set to open the folder %1.").arg(dest),
                        MessageKind::Error);
}

} // namespace dorvak
