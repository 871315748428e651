#include "shell/wizard_controller.h"

#include "disk/disk_table.h"
#include "reiserfs/mount.h"
#include "shell/catalog_models.h"
#include "shell/info_panel.h"
#include "shell/latin1.h"
#include "shell/list_pane.h"
#include "shell/messages.h"
#include "shell/quick_help.h"
#include "shell/scan_files.h"
#include "shell/skinned_dialog.h"
#include "shell/step_tree.h"
#include "shell/udisks_open.h"
#include "ui/controls/hover_button.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/controls/xp_group_box.h"
#include "ui/msgbox/markup_message_box.h"
#include "volume/partition_search.h"
#include "volume/partition_walk.h"

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dorvak {

// How a step leaves a control: untouched, hidden and disabled, shown but
// disabled, or shown and enabled.
enum class Show : std::uint8_t { Keep, Off, Disabled, On };
enum class Columns : std::uint8_t { Keep, Details, Single };

// What a step shows. The working rows are the step being entered while its
// worker runs (the search before the volume step, the mount before
// browsing); WizardStep changes only when the worker has ended.
struct StepView {
    Step step;
    Direction direction;
    bool working;
    Show diskTree, volumeTree, catalogTree;
    bool clearList; // the browsing step lists the root itself
    Columns columns;
    bool listShown;
    bool options;       // the volume identify options
    bool rangeIfSearch; // the range controls, when Search Partition is chosen
    Show backButton, stopButton;
    bool progress; // shown from 0
    PanelLayout panel;
    MenuPhase menus;
    const char* quickHelp;
};

namespace {

using enum Show;
constexpr Step kDisk = Step::Disk, kVolume = Step::Volume, kBrowse = Step::Browse;
constexpr Direction kFwd = Direction::Forward, kBack = Direction::Back;

// clang-format off
const StepView kSteps[] = {
//   step     dir    work   disk vol  cat       clear  columns          list   opts   range  back stop progr  panel                 menus                  quick help
    {kDisk,   kFwd,  false, On,  Off, Off,      true,  Columns::Keep,    false, true,  true,  Off, Off, false, PanelLayout::Disk,    MenuPhase::Startup,    kStartHelpText},
    {kDisk,   kBack, false, On,  Off, Off,      true,  Columns::Keep,    false, true,  true,  Off, Off, false, PanelLayout::Disk,    MenuPhase::BackAtDisk, kBackToDiskHelpText},
    {kVolume, kFwd,  true,  Off, Keep, Keep,    true,  Columns::Keep,    false, false, false, Off, On,  true,  PanelLayout::Search,  MenuPhase::Working,    kSearchingHelpText},
    {kVolume, kFwd,  false, Off, On,  Off,      true,  Columns::Keep,    false, false, false, On,  Off, false, PanelLayout::Volume,  MenuPhase::AtVolume,   kSelectPartitionHelpText},
    {kVolume, kBack, false, Off, On,  Off,      true,  Columns::Single,  false, false, false, On,  Off, false, PanelLayout::Volume,  MenuPhase::AtVolume,   kBackToVolumeHelpText},
    {kBrowse, kFwd,  true,  Off, Off, Disabled, true,  Columns::Keep,    false, false, false, Off, On,  true,  PanelLayout::Mount,   MenuPhase::Working,    kMountingHelpText},
    {kBrowse, kFwd,  false, Off, Off, On,       false, Columns::Details, true,  false, false, On,  Off, false, PanelLayout::Empty,   MenuPhase::Browsing,   kMountedHelpText},
};
// clang-format on

const StepView& viewOf(Step step, Direction direction, bool working) {
    for (const StepView& v : kSteps)
        if (v.step == step && v.direction == direction && v.working == working) return v;
    Q_UNREACHABLE();
    return kSteps[0];
}

void setShown(QWidget* w, Show how) {
    if (!w || how == Keep) return;
    w->setEnabled(how == On);
    w->setVisible(how != Off);
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

WizardController::WizardController(const Parts& p, QObject* parent)
    : QObject(parent), state_(p.state), panel_(p.panel), list_(p.list), listModel_(p.listModel),
      folderModel_(p.folderModel), client_(p.client), units_(p.units), menuStates_(p.menuStates),
      nextButton_(p.controls.nextButton), backButton_(p.controls.backButton),
      stopButton_(p.controls.stopButton), progress_(p.controls.progress),
      quickHelp_(p.controls.quickHelp), useTable_(p.controls.useTable),
      searchOption_(p.controls.searchOption), startField_(p.controls.startField),
      endField_(p.controls.endField), optionControls_{p.controls.optionsGroup,
                                                      p.controls.optionsTitle,
                                                      p.controls.optionsHelp},
      // In the order they are hidden: a focused field hands its focus on.
      rangeControls_{p.controls.rangeTitle, p.controls.rangeGroup, p.controls.startCaption,
                     p.controls.startField, p.controls.endCaption, p.controls.endField,
                     p.controls.rangeHelp} {
    connect(useTable_, &QRadioButton::clicked, this, &WizardController::OnUsePartitionTableOption);
    connect(searchOption_, &QRadioButton::clicked, this,
            &WizardController::OnSearchPartitionOption);
    connect(stopButton_, &QAbstractButton::clicked, this, &WizardController::OnStop);
    connect(backButton_, &QAbstractButton::clicked, this, &WizardController::OnBack);
    connect(nextButton_, &QAbstractButton::clicked, this, &WizardController::OnNext);
    connect(&worker_, &JobWorker::progressed, this, &WizardController::showProgress);
    connect(&worker_, &JobWorker::volumeFound, this, [this](const QString& name, quint32 index) {
        if (index >= volumeRows_.size()) volumeRows_.resize(index + 1, -1);
        volumeRows_[index] = volumeTree_ ? volumeTree_->appendChild(name, state_.WizardStep) : -1;
    });
}

WizardController::~WizardController() {
    state_.stopRequested = true;
    worker_.wait();
}

void WizardController::enterStep(Step step, Direction direction) {
    state_.WizardStep = step;
    applyView(viewOf(step, direction, false));
    Q_EMIT stepChanged(step);
}

void WizardController::applyView(const StepView& v) {
    setShown(diskTree_, v.diskTree);
    setShown(volumeTree_, v.volumeTree);
    setShown(catalogTree_, v.catalogTree);
    if (v.clearList) listModel_->clear();
    if (v.columns == Columns::Details) list_.showDetailsColumns();
    if (v.columns == Columns::Single) list_.showSingleColumn();
    list_.setVisible(v.listShown);
    for (QWidget* w : optionControls_)
        w->setVisible(v.options);
    for (QRadioButton* r : {useTable_, searchOption_})
        setShown(r, v.options ? On : Off);
    const bool range = v.rangeIfSearch && state_.volumeIdentifyOption == VolumeIdentify::Search;
    for (QWidget* w : rangeControls_)
        w->setVisible(range);
    setShown(nextButton_, Off);
    setShown(backButton_, v.backButton);
    setShown(stopButton_, v.stopButton);
    progress_->setVisible(v.progress);
    if (v.progress) progress_->setPos(0);
    panel_.setLayout(v.panel, state_.scanEndSector);
    if (v.panel == PanelLayout::Disk)
        if (const DiskInfo* d = state_.selectedDiskInfo()) panel_.showDisk(*d);
    menuStates_(v.menus);
    setQuickHelp(latin1(v.quickHelp));
}

QString WizardController::quickHelpText() const {
    return quickHelp_->property("rawText").toString();
}

void WizardController::setQuickHelp(const QString& text) {
    // The texts are laid out with "\r\n" and runs of spaces.
    quickHelp_->setProperty("rawText", text);
    // Shown wrapped: each line keeps its indent, but the runs of spaces
    // inside it, which only placed words on the fixed lines they were
    // written for, become single spaces so wrapping leaves no holes.
    QStringList lines = text.split(QLatin1String("\r\n"));
    static const QRegularExpression run(QStringLiteral("(?<=\\S) {2,}(?=\\S)"));
    for (QString& line : lines)
        line.replace(run, QStringLiteral(" "));
    quickHelp_->setText(lines.join(QLatin1Char('\n')));
}

void WizardController::OnNext() {
    // A press while hidden or disabled (a stale click, a test) does nothing.
    if (state_.workerBusy) return;
    listModel_->clear();
    listModel_->setFilters({});
    state_.workerBusy = false;
    setShown(nextButton_, Off);
    list_.setViewMode(cmd::ViewDetails);
    switch (state_.WizardStep) {
    case Step::Disk:
        nextFromDiskStep();
        break;
    case Step::Volume:
        nextFromVolumeStep();
        break;
    default:
        break;
    }
}

bool WizardController::openSelectedDisk(const DiskInfo& disk) {
    IoResult<> opened = state_.reader.OpenSelectedDisk(disk.path);
    QString refusal;
    if (!opened && isPermissionError(opened.error().code)) {
        // Without the rights to read the device, udisks2 may hand out a
        // read-only descriptor once the user authenticates; Next and Back
        // stay where they are meanwhile.
        backButton_->setEnabled(false);
        auto r = UdisksOpener().openReadOnly(QString::fromStdString(disk.path));
        backButton_->setEnabled(true);
        if (r.ok())
            opened = state_.reader.openDescriptor(std::move(r.fd), disk.path);
        else
            refusal = r.error;
    }
    if (opened) {
        const auto map = state_.rescueMaps.find(state_.selectedDisk.value_or(UINT32_MAX));
        if (map != state_.rescueMaps.end()) state_.reader.setRescueMap(map->second);
        return true;
    }
    // Beyond a silent empty walk: say why the disk cannot be read, and how
    // to get the rights when that is the reason.
    QString text = QString::fromStdString(opened.error().text);
    if (!refusal.isEmpty())
        text = refusal;
    else if (lacksRights(disk.path))
        text = QStringLiteral("You have no rights to read %1.\r\nRun the program with the "
                              "rights to read disks, for example:  sudo dorvak-reiserfs  or "
                              "as a member of the group \"disk\".")
                   .arg(QString::fromStdString(disk.path));
    ShowMessage(text, MessageKind::Error);
    return false;
}

void WizardController::nextFromDiskStep() {
    const DiskInfo* disk = state_.selectedDiskInfo();
    if (!disk) return;
    if (!openSelectedDisk(*disk)) {
        setShown(nextButton_, On);
        return;
    }
    if (state_.volumeIdentifyOption == VolumeIdentify::PartitionTable) {
        listPartitions(*disk);
        return;
    }
    const ScanRangeCheck range =
        validateScanRange(startField_->text().toStdString(), endField_->text().toStdString());
    if (range.error) {
        ShowMessage(latin1(range.error), MessageKind::Error);
        setShown(nextButton_, On);
        return;
    }
    state_.scanStartSector = range.start;
    state_.scanEndSector = range.end;
    applyView(viewOf(Step::Volume, Direction::Forward, true));
    createVolumeTree();
    startSearch();
}

void WizardController::listPartitions(const DiskInfo& disk) {
    // Stacked devices (LVM, dm-crypt, md) hold a file system directly.
    const PartitionWalkResult walked = disk.wholeVolume
                                           ? ProbeWholeVolume(state_.reader, state_.volumes)
                                           : WalkPartitionTables(state_.reader, state_.volumes);
    if (!walked.note.empty())
        ShowMessage(QString::fromStdString(walked.note), MessageKind::Information);
    if (state_.volumes.volumeCount == 0) {
        ShowMessage(latin1(kNoPartitionFound), MessageKind::Information);
        setShown(nextButton_, On);
        return;
    }
    createVolumeTree();
    for (std::uint32_t i = 0; i < state_.volumes.volumeCount; ++i)
        volumeRows_.push_back(volumeTree_->appendChild(
            QString::fromStdString(state_.volumes.records[i].name), state_.WizardStep));
    volumeTree_->expand(volumeTree_->rootItem());
    enterStep(Step::Volume, Direction::Forward);
}

void WizardController::startSearch() {
    // Reset and mark busy here, before the thread runs, so a Stop confirmed
    // before the job's first check is not lost.
    state_.stopRequested = false;
    state_.workerBusy = true;
    menuStates_(state_.menuPhase);
    volumeTree_->setEnabled(false);
    const SearchRange range{state_.scanStartSector, state_.scanEndSector,
                            state_.settings.sanitized().sectorsPerRead};
    disconnect(&worker_, &JobWorker::finished, this, nullptr);
    connect(&worker_, &JobWorker::finished, this, &WizardController::searchEnded);
    worker_.start([this, range](ProgressSink& sink, JobWorker& w) {
        SearchPartitions(
            state_.reader, state_.volumes, range, state_.stopRequested, sink,
            [&w, this](const VolumeInfo& v) { w.reportVolume(v, state_.volumes.volumeCount - 1); });
    });
}

void WizardController::searchEnded() {
    if (closing_) return;
    closeStopQuestion();
    state_.partialResult = state_.stopRequested;
    state_.stopRequested = false;
    state_.workerBusy = false;
    enterStep(Step::Volume, Direction::Forward);
    notePartialResult();
}

void WizardController::closeStopQuestion() {
    // The job ended by itself while Stop asks: the question goes (answered
    // No), and OnStop ignores its answer.
    if (!stopAsked_) return;
    if (auto* box = qobject_cast<MarkupMessageBox*>(QApplication::activeModalWidget()))
        box->press(mb::IdNo);
}

void WizardController::notePartialResult() {
    if (state_.partialResult)
        setQuickHelp(quickHelpText() + QString::fromLatin1(kPartialResultHelpText));
}

void WizardController::nextFromVolumeStep() {
    state_.modeDialogRole = 1;
    RecoveryMode mode = state_.recoveryMode;
    const bool ok = modeChooser_ ? modeChooser_(mode) : chooseRecoveryMode();
    if (!ok) return; // Next stays hidden until a volume is clicked again
    if (modeChooser_) state_.recoveryMode = mode;
    createCatalogTree();
    applyView(viewOf(Step::Browse, Direction::Forward, true));
    startMount();
}

// Before the worker of a mount or of a saved scan's read starts.
void WizardController::prepareCatalogJob() {
    state_.stopRequested = false;
    state_.workerBusy = true;
    menuStates_(state_.menuPhase);
    folderModel_->setCatalog(nullptr, QString());
    listModel_->setCatalog(nullptr);
    state_.lastScan.reset();
    disconnect(&worker_, &JobWorker::finished, this, nullptr);
}

void WizardController::startMount() {
    prepareCatalogJob();
    const VolumeInfo volume = *state_.selectedVolumeInfo();
    const RecoveryMode mode = state_.recoveryMode;
    connect(&worker_, &JobWorker::finished, this, &WizardController::mountEnded);
    worker_.start([this, volume, mode](ProgressSink& sink, JobWorker&) {
        sayOutOfMemory(mountInto(state_, volume, mode, sink));
    });
}

// From the worker: the message, then the end of the process.
void WizardController::sayOutOfMemory(const MountResult& result) {
    if (!result.outOfMemory) return;
    QMetaObject::invokeMethod(
        this,
        [] {
            ShowMessage(latin1(kOutOfMemoryText), MessageKind::Error);
            QCoreApplication::exit(kOutOfMemoryExitStatus);
        },
        Qt::QueuedConnection);
}

void WizardController::openSavedScan(const std::string& path) {
    if (state_.WizardStep != Step::Volume || state_.workerBusy || !state_.selectedVolumeInfo())
        return;
    // A stopped scan may go on from where it stopped, as an Extensive mount
    // with its progress and Stop; otherwise the file is read as it is.
    const bool resume = askToResumeScan(path);
    state_.recoveryMode = RecoveryMode::Extensive;
    createCatalogTree();
    applyView(viewOf(Step::Browse, Direction::Forward, true));
    prepareCatalogJob();
    const VolumeInfo volume = *state_.selectedVolumeInfo();
    auto error = std::make_shared<std::string>();
    connect(&worker_, &JobWorker::finished, this, [this, error] {
        if (error->empty() || closing_) return mountEnded();
        // Not this volume's, or damaged: back at the volume step as it was.
        state_.stopRequested = false;
        state_.workerBusy = false;
        enterStep(Step::Volume, Direction::Back);
        ShowMessage(QString::fromStdString(*error), MessageKind::Error);
    });
    worker_.start([this, volume, path, error, resume](ProgressSink& sink, JobWorker&) {
        if (!resume) {
            *error = readScanInto(state_, volume, path, sink);
            return;
        }
        SavedScan saved;
        *error = loadScanFile(state_, volume, path, saved, sink);
        if (error->empty())
            sayOutOfMemory(
                mountInto(state_, volume, RecoveryMode::Extensive, sink, &saved.position));
    });
}

void WizardController::mountEnded() {
    if (closing_) return; // the window is going and has released the catalog
    closeStopQuestion();
    state_.partialResult = state_.stopRequested;
    state_.stopRequested = false;
    // Building the folder tree of a big volume takes a moment: say so first.
    panel_.setStatusLine(InfoPanel::phaseText(Phase::CreatingTreeStructure), true);
    listModel_->clear();
    const VolumeInfo* v = state_.selectedVolumeInfo();
    folderModel_->setCatalog(&state_.catalog, v ? QString::fromStdString(v->name) : QString());
    catalogTree_->setFolderModel(folderModel_);
    listModel_->setCatalog(&state_.catalog);
    listModel_->FillFileList(2);
    catalogTree_->setCurrentIndex(folderModel_->rootIndex());
    state_.workerBusy = false;
    enterStep(Step::Browse, Direction::Forward);
    notePartialResult();
}

void WizardController::showProgress(const JobProgress& p) {
    if (p.fields & JobProgress::Percent) progress_->setPos(int(p.percent));
    panel_.showProgress(p);
    Q_EMIT progressShown();
}

void WizardController::OnBack() {
    if (state_.workerBusy) return;
    list_.setViewMode(cmd::ViewDetails);
    setShown(nextButton_, Off);
    listModel_->clear();
    list_.setVisible(false);
    if (state_.WizardStep == Step::Volume) {
        state_.reader.CloseDisk();
        enterStep(Step::Disk, Direction::Back);
    } else if (state_.WizardStep == Step::Browse) {
        folderModel_->setCatalog(nullptr, QString());
        listModel_->setCatalog(nullptr);
        state_.catalog.ClearCatalog();
        enterStep(Step::Volume, Direction::Back);
    }
}

void WizardController::OnStop() {
    if (!state_.workerBusy) return;
    // The job goes on while the question is open; only Yes stops it, and
    // only a job still running.
    stopAsked_ = true;
    const int answer = AskYesNo(latin1(kStopQuestion), MessageKind::Question);
    stopAsked_ = false;
    if (answer == 1 && state_.workerBusy) state_.stopRequested = true;
}

void WizardController::OnSearchPartitionOption() {
    state_.volumeIdentifyOption = VolumeIdentify::Search;
    searchOption_->setChecked(true);
    for (QWidget* w : rangeControls_)
        w->show();
    startField_->setText(latin1("0"));
    endField_->setText(QString::number(state_.endSectorPreset()));
}

void WizardController::OnUsePartitionTableOption() {
    state_.volumeIdentifyOption = VolumeIdentify::PartitionTable;
    useTable_->setChecked(true);
    for (QWidget* w : rangeControls_)
        w->hide();
}

void WizardController::selectDisk(int number) {
    const DiskInfo* disk = state_.disks.disk(std::uint32_t(number));
    if (!disk) return;
    state_.selectedDisk = std::uint32_t(number);
    startField_->setText(QStringLiteral("0"));
    endField_->setText(QString::number(state_.endSectorPreset()));
    panel_.showDisk(*disk);
    setShown(nextButton_, On);
}

void WizardController::selectVolume(int index) {
    if (state_.WizardStep != Step::Volume || index < 0 ||
        std::uint32_t(index) >= state_.volumes.volumeCount)
        return;
    state_.selectedVolume = std::uint16_t(index);
    if (volumeTree_ && std::size_t(index) < volumeRows_.size())
        volumeTree_->setCurrentIndex(volumeTree_->child(volumeRows_[std::size_t(index)]));
    panel_.showVolume(state_.volumes.records[std::size_t(index)]);
    setShown(nextButton_, On);
}

bool WizardController::chooseRecoveryMode() {
    ModeDialog dialog(state_.modeDialogRole, client_->window());
    if (dialog.exec() != QDialog::Accepted) return false;
    state_.recoveryMode = dialog.mode();
    return true;
}

void WizardController::waitForWorker() {
    worker_.wait();
    // Deliver the worker's queued updates and its end.
    while (state_.workerBusy)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void WizardController::shutDown() {
    closing_ = true;
    if (worker_.isRunning()) {
        state_.stopRequested = true;
        worker_.wait();
    }
    state_.workerBusy = false;
}

} // namespace dorvak
