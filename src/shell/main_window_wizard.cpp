// The wizard: Next and Back, the two options, the step switch, and the
// search and mount workers with their progress and their ends.
#include "browse/liveness.h"
#include "browse/versions.h"
#include "carve/format_walker.h"
#include "reiserfs/mount.h"
#include "shell/catalog_models.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/quick_help.h"
#include "shell/skinned_dialog.h"
#include "shell/step_tree.h"
#include "shell/udisks_open.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QTreeView>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dorvak {
namespace {

QString lat(const char* s) {
    return QString::fromLatin1(s);
}

// Whether opening the disk is refused for want of rights (not for a missing
// device or a read error): read permission, or a device the system keeps
// from unprivileged or confined processes.
bool lacksRights(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}

} // namespace

void MainWindow::setButton(QWidget* w, bool enabled, bool shown) {
    w->setEnabled(enabled);
    w->setVisible(shown);
}

void MainWindow::OnNext() {
    // A press while hidden or disabled (a stale click, a test) does nothing.
    if (state_.workerBusy) return;
    listModel_->clear();
    listModel_->setFilters({});
    state_.workerBusy = false;
    setButton(control(1003), false, false);
    setViewMode(cmd::ViewDetails);
    switch (state_.WizardStep) {
    case 0:
        nextFromDiskStep();
        break;
    case 1: {
        state_.modeDialogRole = 1;
        RecoveryMode mode = state_.recoveryMode;
        const bool ok = modeChooser_ ? modeChooser_(mode) : chooseRecoveryMode();
        if (!ok) return; // Next stays hidden until a volume is clicked again
        if (modeChooser_) state_.recoveryMode = mode;
        setButton(volumeTree_, false, false);
        CreateCatalogTree();
        catalogTree_->show();
        startMount();
        break;
    }
    default:
        break;
    }
}

void MainWindow::nextFromDiskStep() {
    const DiskInfo* disk = state_.selectedDiskInfo();
    if (!disk) return;
    std::string error;
    bool opened = state_.reader.OpenSelectedDisk(disk->path, &error);
    QString refusal;
    if (!opened && isPermissionError(state_.reader.openErrno())) {
        // Without the rights to read the device, udisks2 may hand out a
        // read-only descriptor once the user authenticates; Next and Back
        // stay where they are meanwhile.
        setButton(control(1004), false, control(1004)->isVisible());
        auto r = UdisksOpener().openReadOnly(QString::fromStdString(disk->path));
        setButton(control(1004), true, control(1004)->isVisible());
        if (r.ok())
            opened = state_.reader.openDescriptor(std::move(r.fd), disk->path, &error);
        else
            refusal = r.error;
    }
    if (!opened) {
        // Beyond a silent empty walk: say why the disk cannot be read, and
        // how to get the rights when that is the reason.
        QString text = QString::fromStdString(error);
        if (!refusal.isEmpty())
            text = refusal;
        else if (lacksRights(disk->path))
            text = QStringLiteral("You have no rights to read %1.\r\nRun the program with the "
                                  "rights to read disks, for example:  sudo dorvak-reiserfs  or "
                                  "as a member of the group \"disk\".")
                       .arg(QString::fromStdString(disk->path));
        ShowMessage(text, MessageKind::Error);
        setButton(control(1003), true, true);
        return;
    }
    if (state_.volumeIdentifyOption == 1) {
        // Stacked devices (LVM, dm-crypt, md) hold a file system directly.
        const PartitionWalkResult walked = disk->wholeVolume
                                               ? ProbeWholeVolume(state_.reader, state_.volumes)
                                               : WalkPartitionTables(state_.reader, state_.volumes);
        if (!walked.note.empty())
            ShowMessage(QString::fromStdString(walked.note), MessageKind::Information);
        if (state_.volumes.volumeCount == 0) {
            ShowMessage(lat(kNoPartitionFound), MessageKind::Information);
            setButton(control(1003), true, true);
            return;
        }
        CreateVolumeTree();
        for (std::uint32_t i = 0; i < state_.volumes.volumeCount; ++i)
            volumeRows_.push_back(volumeTree_->appendChild(
                QString::fromStdString(state_.volumes.records[i].name), state_.WizardStep));
        volumeTree_->expand(volumeTree_->rootItem());
        SwitchStepControls(1, 1);
        setMenuStates(1);
        setPanelLayout(1);
        setQuickHelp(lat(kSelectPartitionHelpText));
        state_.WizardStep = 1;
        Q_EMIT stepChanged(1);
        return;
    }
    const ScanRangeCheck range =
        validateScanRange(startField_->text().toStdString(), endField_->text().toStdString());
    if (range.error) {
        ShowMessage(lat(range.error), MessageKind::Error);
        setButton(control(1003), true, true);
        return;
    }
    state_.scanStartSector = range.start;
    state_.scanEndSector = range.end;
    SwitchStepControls(1, 1);
    setMenuStates(1);
    setPanelLayout(1);
    setQuickHelp(lat(kSearchingHelpText));
    CreateVolumeTree();
    startSearch();
}

void MainWindow::startSearch() {
    // Reset and mark busy here, before the thread runs, so a Stop confirmed
    // before the job's first check is not lost.
    state_.stopRequested = false;
    state_.workerBusy = true;
    volumeTree_->setEnabled(false);
    const SearchRange range{state_.scanStartSector, state_.scanEndSector,
                            state_.settings.sanitized().sectorsPerRead};
    disconnect(&worker_, &JobWorker::finished, this, nullptr);
    connect(&worker_, &JobWorker::finished, this, &MainWindow::searchEnded);
    worker_.start([this, range](ProgressSink& sink, JobWorker& w) {
        SearchPartitions(
            state_.reader, state_.volumes, range, state_.stopRequested, sink,
            [&w, this](const VolumeInfo& v) { w.reportVolume(v, state_.volumes.volumeCount - 1); });
    });
}

void MainWindow::searchEnded() {
    if (closing_) return;
    SwitchStepControls(3, 1);
    state_.workerBusy = false;
    state_.WizardStep += 1;
    Q_EMIT stepChanged(state_.WizardStep);
}

void MainWindow::startMount() {
    state_.stopRequested = false;
    state_.workerBusy = true;
    setQuickHelp(lat(kMountingHelpText));
    folderModel_->setCatalog(nullptr, QString());
    listModel_->setCatalog(nullptr);
    progress_->show();
    progress_->setPos(0);
    setButton(control(1004), false, false);
    setButton(control(1017), true, true);
    setPanelLayout(2);
    const VolumeInfo volume = *state_.volumes.selected();
    const RecoveryMode mode = state_.recoveryMode;
    disconnect(&worker_, &JobWorker::finished, this, nullptr);
    connect(&worker_, &JobWorker::finished, this, &MainWindow::mountEnded);
    worker_.start([this, volume, mode](ProgressSink& sink, JobWorker&) {
        VolumeMount mount(state_.reader, volume, state_.catalog, state_.stopRequested, sink);
        mount.setWalkers(carve::formatWalkers());
        const MountResult result = mount.MountSelectedVolume(mode);
        state_.live = liveStateOf(mount, state_.catalog);
        if (mode == RecoveryMode::Extensive && !result.outOfMemory) {
            FileContents contents(state_.reader, volume, state_.catalog, &state_.live);
            SettleVersions(contents, state_.catalog, true, state_.stopRequested);
        }
        if (result.outOfMemory) {
            QMetaObject::invokeMethod(
                this,
                [] {
                    ShowMessage(lat(kOutOfMemoryText), MessageKind::Error);
                    QCoreApplication::exit(0);
                },
                Qt::QueuedConnection);
        }
    });
}

void MainWindow::mountEnded() {
    if (closing_) return; // the window is going and has released the catalog
    setButton(control(1017), false, false);
    state_.WizardStep = 2;
    state_.stopRequested = false;
    SwitchStepControls(2, 1);
    progress_->setPos(0);
    setStatusLine(lat("Creating Tree Structure, Please wait"), true);
    const VolumeInfo* v = state_.volumes.selected();
    folderModel_->setCatalog(&state_.catalog, v ? QString::fromStdString(v->name) : QString());
    catalogTree_->setFolderModel(folderModel_);
    listModel_->setCatalog(&state_.catalog);
    listModel_->FillFileList(2);
    catalogTree_->setCurrentIndex(folderModel_->rootIndex());
    catalogTree_->setEnabled(true);
    setPanelLayout(-1);
    list_->show();
    setButton(control(1004), true, true);
    progress_->hide();
    setMenuStates(3);
    state_.workerBusy = false;
    setQuickHelp(lat(kMountedHelpText));
    Q_EMIT stepChanged(2);
}

void MainWindow::showProgress(const JobProgress& p) {
    const bool searching = state_.WizardStep == 0;
    if (p.fields & JobProgress::Status) setStatusLine(p.status, true);
    if (p.fields & JobProgress::Percent) progress_->setPos(int(p.percent));
    if (p.fields & JobProgress::Sector)
        setValue(searching ? 1059 : 1061, QString::number(p.sector));
    if (p.fields & JobProgress::Volumes) setValue(1019, QString::number(p.volumes));
    if (p.fields & JobProgress::Folders) setValue(1019, QString::number(p.folders));
    if (p.fields & JobProgress::Files) setValue(1059, QString::number(p.files));
    if (p.fields & JobProgress::LastName) setValue(1063, p.lastName);
    Q_EMIT progressShown();
}

void MainWindow::OnBack() {
    if (state_.workerBusy) return;
    setViewMode(cmd::ViewDetails);
    setButton(control(1003), false, false);
    listModel_->clear();
    list_->hide();
    if (state_.WizardStep == 1) {
        state_.reader.CloseDisk();
        SwitchStepControls(1, 2);
        setMenuStates(4);
        setPanelLayout(0);
        if (state_.selectedDisk) ShowDiskDetails(int(*state_.selectedDisk));
        state_.WizardStep = 0;
        setQuickHelp(lat(kBackToDiskHelpText));
        Q_EMIT stepChanged(0);
    } else if (state_.WizardStep == 2) {
        folderModel_->setCatalog(nullptr, QString());
        listModel_->setCatalog(nullptr);
        state_.catalog.ClearCatalog();
        SwitchStepControls(2, 2);
        state_.WizardStep = 1;
        setMenuStates(1);
        setPanelLayout(7);
        setQuickHelp(lat(kBackToVolumeHelpText));
        setStatusLine(QString(), false);
        Q_EMIT stepChanged(1);
    }
}

void MainWindow::OnStop() {
    if (!state_.workerBusy) return;
    // The job goes on while the question is open; only Yes stops it.
    if (AskYesNo(lat(kStopQuestion), MessageKind::Question) == 1) state_.stopRequested = true;
}

void MainWindow::OnSearchPartitionOption() {
    state_.volumeIdentifyOption = 2;
    searchOption_->setChecked(true);
    for (int id : {1107, 1106, 1011, 1012, 1014, 1015, 1098})
        control(id)->show();
    startField_->setText(lat("0"));
    endField_->setText(QString::number(state_.endSectorPreset()));
}

void MainWindow::OnUsePartitionTableOption() {
    state_.volumeIdentifyOption = 1;
    useTable_->setChecked(true);
    for (int id : {1107, 1106, 1011, 1012, 1014, 1015, 1098})
        control(id)->hide();
}

void MainWindow::SwitchStepControls(int group, int direction) {
    auto hideOptions = [this](bool show) {
        for (int id : {1007, 1101, 1097})
            control(id)->setVisible(show);
        for (int id : {1002, 1001})
            setButton(control(id), show, show);
    };
    if (group == 1 && direction == 1) {
        setButton(diskTree_, false, false);
        listModel_->clear();
        hideOptions(false);
        setButton(control(1004), true, true);
        if (state_.volumeIdentifyOption == 2) {
            setButton(control(1003), false, false);
            setButton(control(1004), false, false);
            setButton(control(1017), true, true);
            progress_->show();
            progress_->setPos(0);
        }
    } else if (group == 1 && direction == 2) {
        setButton(diskTree_, true, true);
        if (volumeTree_) setButton(volumeTree_, false, false);
        listModel_->clear();
        hideOptions(true);
        setButton(control(1004), false, false);
        if (state_.volumeIdentifyOption == 2)
            for (int id : {1107, 1106, 1012, 1011, 1014, 1015, 1098})
                control(id)->show();
    } else if (group == 2 && direction == 1) {
        setButton(catalogTree_, false, true);
        listModel_->clear();
        list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        listModel_->setSingleColumnTitle(QString());
        const int widths[] = {150, 100, 70, 100, 70, 70};
        for (int c = 0; c < FileListModel::ColumnCount; ++c) {
            list_->setColumnHidden(c, false);
            list_->setColumnWidth(c, widths[c]);
        }
        setStatusLine(lat("Creating Tree Structure, Please wait"), true);
    } else if (group == 2 && direction == 2) {
        if (volumeTree_) setButton(volumeTree_, true, true);
        if (catalogTree_) setButton(catalogTree_, false, false);
        listModel_->clear();
        // One column, its title led by 44 spaces.
        listModel_->setSingleColumnTitle(
            QStringLiteral("                                            Details"));
        list_->setColumnWidth(0, 500);
        for (int c = 1; c < FileListModel::ColumnCount; ++c)
            list_->setColumnHidden(c, true);
    } else if (group == 3 && direction == 1) {
        volumeTree_->setEnabled(true);
        state_.stopRequested = false;
        progress_->hide();
        status_->hide();
        setButton(control(1017), false, false);
        setButton(control(1004), true, true);
        setMenuStates(1);
        setPanelLayout(6);
        setQuickHelp(lat(kSelectPartitionHelpText));
    }
}

bool MainWindow::chooseRecoveryMode() {
    ModeDialog dialog(state_.modeDialogRole, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    state_.recoveryMode = dialog.mode();
    return true;
}

} // namespace dorvak
