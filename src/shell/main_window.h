#pragma once
// MainWindow: the application's one window, a wizard over the WizardState.
// It is split by aspect: main_window.cpp (construction and start-up),
// main_window_layout.cpp (the controls and their places), main_window_menus.cpp
// (menu bar, toolbar, menu states), main_window_wizard.cpp (Next, Back, the
// step switch, the workers), main_window_panels.cpp (information panel and
// trees), main_window_commands.cpp (keys, help, about, exit, images).

#include "browse/copy_out.h"
#include "shell/job_worker.h"
#include "shell/wizard_state.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class QAbstractItemView;
class QLineEdit;
class QListView;
class QTemporaryDir;
class QMenuBar;
class QRadioButton;
class QTreeView;

namespace dorvak {

class CHoverButton;
class CTransparentStatic;
class CXPGroupBox;
class FileListModel;
class FolderTreeModel;
class IconMenu;
class MarkupToolTip;
class QmMenu;
class StepTree;
class TextProgressBar;

inline constexpr const char* kHomePageUrl = "https://dorvak-reiserfs.example.org/";
inline constexpr const char* kAboutVersion = "Tervolk Dorvak ReiserFS Version 4.02";

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // `images` are disk image files listed after the machine's disks.
    // `enumerateDisks` false leaves the machine's disks out (tests, shots).
    explicit MainWindow(const QStringList& images = {}, bool enumerateDisks = true,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    WizardState& state() { return state_; }
    // A control by its id (1000 list pane, 1003 Next, 100 the visible tree...).
    QWidget* control(int id) const;
    StepTree* diskTree() const { return diskTree_; }
    StepTree* volumeTree() const { return volumeTree_; }
    StepTree* catalogTree() const { return catalogTree_; }
    QTreeView* listPane() const { return list_; }
    FileListModel* listModel() const { return listModel_; }
    FolderTreeModel* folderModel() const { return folderModel_; }
    QMenuBar* menuBar() const { return menuBar_; }
    IconMenu* menuHolding(int command) const;
    // The state of a menu command as the menu-state query answers it.
    quint32 menuState(int command) const;
    QString quickHelpText() const;
    // Whether a worker thread is still running (its end may not be shown yet).
    bool workerRunning() const;
    // Blocks until the running worker has ended and its end has been shown.
    void waitForWorker();

    // Where URLs and files go to the desktop (tests and shots replace it).
    using DesktopOpener = std::function<bool(const QUrl&)>;
    static void setDesktopOpener(DesktopOpener opener);
    // Chooses the recovery mode (tests and shots replace the dialog):
    // returns false for Cancel.
    using ModeChooser = std::function<bool(RecoveryMode&)>;
    void setModeChooser(ModeChooser chooser) { modeChooser_ = std::move(chooser); }

    // Adds a disk image to the disk list; false (with a message) on failure.
    bool addDiskImage(const QString& path);

    // Wizard commands.
    void OnNext();
    void OnBack();
    void OnStop();
    void OnSearchPartitionOption();
    void OnUsePartitionTableOption();
    void SwitchStepControls(int group, int direction);
    // Presses of the trees.
    void selectDisk(int number);
    void selectVolume(int index);
    void openTreeItem(const QModelIndex& index);
    // Commands by id, as the menus, toolbar and buttons send them.
    void runCommand(int id);
    void OpenSelectedItem();
    void setViewMode(int command);
    // The list pane's view that is showing (details, or list and icons).
    QAbstractItemView* activeListView() const;
    int currentListRow() const;
    // Browsing commands.
    void ShowItemMenu();
    bool beginRename();
    void FindFiles();
    void FileFilters();
    void RecoverySettingsCommand();
    void Properties();
    void DriveInformation();
    void RecoverSelected();
    void RecoverAll();
    // Where opened files are copied (removed with the window).
    QString openFolder() const;
    // Chooses the destination of a recovery (tests replace the dialog).
    using FolderChooser = std::function<QString()>;
    void setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }
    // Opens a file with an application of the user's choice (tests
    // replace the chooser): the command line, or empty for none.
    using AppChooser = std::function<QString(const QString& mimeType, const QStringList& apps)>;
    void setAppChooser(AppChooser chooser) { appChooser_ = std::move(chooser); }
    QmMenu* itemMenu() const { return itemMenu_.get(); }

Q_SIGNALS:
    // The wizard moved to a step (after its controls were switched).
    void stepChanged(int step);
    // A worker's progress update has been shown.
    void progressShown();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // main_window_layout.cpp
    void createControls();
    QRect du(int x, int y, int w, int h) const;
    template <class T> T* add(int id, T* widget, QRect rect, bool visible = true);
    // main_window_menus.cpp
    void createMenuBar();
    void createToolbar();
    void setMenuStates(int phase);
    void toolbarPressed(int buttonId, int command);
    // main_window_panels.cpp
    void setPanelLayout(int layout);
    void setPair(int pair, const QString& caption, const QString& value, bool show = true);
    void setValue(int valueId, const QString& value);
    void setStatusLine(const QString& text, bool show);
    void setQuickHelp(const QString& text);
    void ShowDiskDetails(int number);
    void showVolumeDetails(int index);
    void fillDiskTree();
    void CreateVolumeTree();
    void CreateCatalogTree();
    void placeTree(StepTree* tree);
    void treePressed(StepTree* tree, const QModelIndex& index, bool onItem);
    // main_window_wizard.cpp
    void nextFromDiskStep();
    void startSearch();
    void startMount();
    void searchEnded();
    void mountEnded();
    void showProgress(const JobProgress& p);
    bool chooseRecoveryMode();
    void setButton(QWidget* w, bool enabled, bool shown);
    // main_window_commands.cpp
    void Help();
    void About();
    void openHomePage();
    void LiveUpdate();
    void Exit();
    bool confirmExit();
    void shutDown();
    void openDiskImage();
    bool handleKey(QObject* watched, QKeyEvent* e);
    void focusOtherPane();
    static bool openOnDesktop(const QUrl& url);
    // main_window_list.cpp
    void createListViews();
    void endRename(int row, const QString& text);
    void openFileRow(int row, bool with);
    // main_window_tools.cpp
    void recover(bool all);
    RecoverySelection selectedEntries() const;

    WizardState state_;
    QString programDirectory_;
    QFont dialogFont_;
    int baseX_ = 6, baseY_ = 13; // dialog base units of the font
    QWidget* client_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    std::map<int, QWidget*> controls_;
    std::vector<std::unique_ptr<IconMenu>> menus_;
    StepTree* diskTree_ = nullptr;
    StepTree* volumeTree_ = nullptr;
    StepTree* catalogTree_ = nullptr;
    std::vector<int> volumeRows_; // volume index -> row under the volume tree's root
    QTreeView* list_ = nullptr;
    QListView* iconView_ = nullptr;
    int viewMode_ = cmd::ViewDetails;
    QString savedLabel_;
    int renameRow_ = -1;
    std::unique_ptr<QmMenu> itemMenu_;
    std::unique_ptr<QTemporaryDir> openDir_;
    int openCount_ = 0;
    FolderChooser folderChooser_;
    AppChooser appChooser_;
    FileListModel* listModel_ = nullptr;
    FolderTreeModel* folderModel_ = nullptr;
    CTransparentStatic* quickHelp_ = nullptr;
    CTransparentStatic* status_ = nullptr;
    TextProgressBar* progress_ = nullptr;
    QLineEdit* startField_ = nullptr;
    QLineEdit* endField_ = nullptr;
    QRadioButton* useTable_ = nullptr;
    QRadioButton* searchOption_ = nullptr;
    std::unique_ptr<MarkupToolTip> optionsTip_, rangeTip_;
    JobWorker worker_;
    ModeChooser modeChooser_;
    bool closing_ = false;
    bool exitConfirmed_ = false;
};

} // namespace dorvak
