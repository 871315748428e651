// The browsing tools: Find Files, File Filters, Recovery Settings,
// Properties, Drive Information, and Recover Selected / Recover All.
#include "browse/destination_check.h"
#include "shell/catalog_models.h"
#include "shell/find_dialog.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/recovery.h"
#include "shell/step_tree.h"
#include "shell/tool_dialogs.h"

#include <QFileDialog>
#include <QTreeView>

namespace dorvak {

void MainWindow::FindFiles() {
    if (state_.WizardStep != 2 || state_.workerBusy) return;
    FindDialog dialog(state_.catalog, *folderModel_, this);
    dialog.exec();
}

void MainWindow::FileFilters() {
    if (state_.WizardStep != 2 || state_.workerBusy) return;
    FiltersDialog dialog(listModel_->filters(), this);
    dialog.exec();
    // Whichever way it closed, the list is stored and the root shown again.
    listModel_->setFilters(dialog.filters());
    catalogTree_->setFocus();
    catalogTree_->setCurrentIndex(folderModel_->rootIndex());
    state_.treePaneActive = true;
    listModel_->FillFileList(2);
}

void MainWindow::RecoverySettingsCommand() {
    SettingsDialog dialog(state_.settings, this);
    if (dialog.exec() != QDialog::Accepted) return;
    state_.settings = dialog.result();
    state_.reader.badSectorRetries = state_.settings.sanitized().badSectorRetries;
}

void MainWindow::Properties() {
    if (state_.WizardStep != 2) return;
    const int row = currentListRow();
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
    PropertiesDialog dialog(text, this);
    dialog.exec();
}

void MainWindow::DriveInformation() {
    const VolumeInfo* v = state_.volumes.selected();
    if (state_.WizardStep != 2 || !v) return;
    DriveInfoDialog dialog(*v, state_.catalog,
                           state_.catalog.recoveryMode == RecoveryMode::Extensive, this);
    dialog.exec();
}

RecoverySelection MainWindow::selectedEntries() const {
    RecoverySelection s;
    for (const QModelIndex& i : list_->selectionModel()->selectedRows()) {
        const FileListModel::Row r = listModel_->row(i.row());
        (r.folder ? s.folders : s.files).push_back(r.index);
    }
    return s;
}

void MainWindow::RecoverSelected() {
    recover(false);
}

void MainWindow::RecoverAll() {
    recover(true);
}

void MainWindow::recover(bool all) {
    if (state_.WizardStep != 2 || state_.workerBusy) return;
    const VolumeInfo* volume = state_.volumes.selected();
    if (!volume) return;
    const RecoverySelection selection = all ? RecoverySelection{} : selectedEntries();
    if (!all && selection.files.empty() && selection.folders.empty()) {
        ShowMessage(
            QStringLiteral("Select the file(s) and folder(s) to recover in the right pane."),
            MessageKind::Information);
        return;
    }
    const QString dest =
        folderChooser_ ? folderChooser_()
                       : QFileDialog::getExistingDirectory(this, QStringLiteral("Recover into"));
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
    SavingDialog saving(this);
    const VolumeInfo v = *volume;
    const std::string target = dest.toStdString();
    const CopySummary summary = saving.run(
        [this, v, target, all, selection](CopyProgressSink& sink, CopyRequests& requests) {
            CopyOut copy(state_.reader, v, state_.catalog, &state_.live,
                         state_.settings.sanitized(), requests, sink);
            return all ? copy.RecoverAll(target) : copy.RecoverSelected(target, selection);
        });
    const SummaryText text = summaryText(summary, dest);
    const MessageKind kind = summary.whole() ? MessageKind::Information : MessageKind::Error;
    if (ShowDetails(text.text, text.more,
                    {QStringLiteral("&Open Folder"), QStringLiteral("&Close")}, kind) == 1)
        openOnDesktop(QUrl::fromLocalFile(dest));
}

} // namespace dorvak
