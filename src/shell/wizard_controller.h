#pragma once
// WizardController: the wizard's steps over the WizardState. Next and Back,
// the volume identify options, the three trees of the left pane, and the
// search and mount workers with their progress and their ends. One function,
// enterStep, moves between the steps: a table says what each step shows,
// enables, lists, and which panel layout, menu phase and Quick Help it has.

#include "shell/job_worker.h"
#include "shell/window_layout.h"
#include "shell/wizard_state.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QModelIndex;

namespace dorvak {

class FileListModel;
class FolderTreeModel;
class InfoPanel;
class ListPane;
class StepTree;
struct StepView;

enum class Direction { Forward, Back };

class WizardController : public QObject {
    Q_OBJECT
public:
    // Chooses the recovery mode (tests and shots replace the dialog):
    // returns false for Cancel.
    using ModeChooser = std::function<bool(RecoveryMode&)>;
    // Sets the menu states of a phase (the window keeps the menus).
    using MenuStates = std::function<void(MenuPhase)>;

    struct Parts {
        WizardState& state;
        const WindowControls& controls;
        InfoPanel& panel;
        ListPane& list;
        FileListModel* listModel;
        FolderTreeModel* folderModel;
        QWidget* client;   // where the trees go
        DialogUnits units; // of the dialog font, for the trees' place
        MenuStates menuStates;
    };
    explicit WizardController(const Parts& parts, QObject* parent = nullptr);
    ~WizardController() override;

    // Makes the disk tree (at step −1, so its root is "My Computer") and
    // lists the disks the state holds.
    void createDiskTree();
    void fillDiskTree();
    // Shows `step`, as reached going `direction`, and sets WizardStep to it.
    void enterStep(Step step, Direction direction);

    void OnNext();
    void OnBack();
    void OnStop();
    void OnSearchPartitionOption();
    void OnUsePartitionTableOption();
    // Presses of the trees.
    void selectDisk(int number);
    void selectVolume(int index);

    void setModeChooser(ModeChooser chooser) { modeChooser_ = std::move(chooser); }
    StepTree* diskTree() const { return diskTree_; }
    StepTree* volumeTree() const { return volumeTree_; }
    StepTree* catalogTree() const { return catalogTree_; }
    QString quickHelpText() const;
    void setQuickHelp(const QString& text);

    // Reads the saved scan at `path` for the selected volume on the worker
    // and goes to the browsing step, as a mount would; a scan of another
    // volume or a damaged file is refused with a message. A stopped scan
    // is offered to go on from where it stopped (an Extensive mount that
    // reads only the rest of the volume and the tree blocks behind it).
    void openSavedScan(const std::string& path);

    // Whether a worker thread is still running (its end may not be shown yet).
    bool workerRunning() const { return worker_.isRunning(); }
    // Blocks until the running worker has ended and its end has been shown.
    void waitForWorker();
    // At exit: stops a running worker and waits for it; its end is not shown.
    void shutDown();

Q_SIGNALS:
    // The wizard moved to a step (after its controls were switched).
    void stepChanged(dorvak::Step step);
    // A worker's progress update has been shown.
    void progressShown();

private:
    void applyView(const StepView& view);
    bool openSelectedDisk(const DiskInfo& disk);
    void nextFromDiskStep();
    void listPartitions(const DiskInfo& disk);
    void startSearch();
    void searchEnded();
    void nextFromVolumeStep();
    void prepareCatalogJob();
    void startMount();
    void mountEnded();
    void sayOutOfMemory(const MountResult& result);
    void showProgress(const JobProgress& p);
    bool chooseRecoveryMode();
    void createVolumeTree();
    void createCatalogTree();
    QString diskItemText(std::uint32_t number) const;
    void closeStopQuestion();
    void notePartialResult();
    StepTree* makeTree();
    void treePressed(StepTree* tree, const QModelIndex& index, bool onItem);

    WizardState& state_;
    InfoPanel& panel_;
    ListPane& list_;
    FileListModel* listModel_;
    FolderTreeModel* folderModel_;
    QWidget* client_;
    DialogUnits units_;
    MenuStates menuStates_;

    HoverButton* nextButton_;
    HoverButton* backButton_;
    HoverButton* stopButton_;
    TextProgressBar* progress_;
    TransparentStatic* quickHelp_;
    QRadioButton* useTable_;
    QRadioButton* searchOption_;
    QLineEdit* startField_;
    QLineEdit* endField_;
    // The options group with its caption and help button; the range controls.
    std::vector<QWidget*> optionControls_, rangeControls_;

    StepTree* diskTree_ = nullptr;
    StepTree* volumeTree_ = nullptr;
    StepTree* catalogTree_ = nullptr;
    std::vector<int> volumeRows_; // volume index -> row under the volume tree's root
    JobWorker worker_;
    ModeChooser modeChooser_;
    bool stopAsked_ = false;
    bool closing_ = false;
};

} // namespace dorvak
