#pragma once
// MainWindow: the application's one window. It keeps the frame (the skinned
// client area under the menu bar), the menus and the toolbar, the command
// table and the keys, and composes the parts that own the rest: the
// information panel, the list pane, the browsing commands and the wizard.

#include "shell/window_layout.h"
#include "shell/wizard_state.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QMenuBar;

namespace dorvak {

class BrowseCommands;
class DiskImageCommands;
class FileListModel;
class FolderTreeModel;
class IconMenu;
class InfoPanel;
class ListPane;
class MarkupToolTip;
class WizardController;

inline constexpr const char* kHomePageUrl = "https://dorvak-reiserfs.example.org/";
inline constexpr const char* kPackageManagerUpdateText =
    "Tervolk Dorvak ReiserFS is updated by your system's package manager, like the other "
    "programs of a Linux system: update the package dorvak-reiserfs there.";
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
    const WindowControls& controls() const { return controls_; }
    WizardController& wizard() const { return *wizard_; }
    ListPane& listPane() const { return *listPane_; }
    InfoPanel& infoPanel() const { return *infoPanel_; }
    BrowseCommands& browseCommands() const { return *browse_; }
    FileListModel* listModel() const { return listModel_; }
    FolderTreeModel* folderModel() const { return folderModel_; }
    QMenuBar* menuBar() const { return menuBar_; }
    IconMenu* menuHolding(int command) const;
    // The state of a menu command as the menu-state query answers it.
    quint32 menuState(int command) const;

    // Where URLs and files go to the desktop (tests and shots replace it).
    using DesktopOpener = std::function<bool(const QUrl&)>;
    static void setDesktopOpener(DesktopOpener opener);
    static bool openOnDesktop(const QUrl& url);
    // The installed user guide through the desktop, or a message without one.
    static void openUserGuide();

    DiskImageCommands& diskImages() const { return *diskImages_; }
    // Commands by id, as the menus, toolbar and item menu send them.
    void runCommand(int id);

Q_SIGNALS:
    // The wizard moved to a step (after its controls were switched).
    void stepChanged(dorvak::Step step);
    // A worker's progress update has been shown.
    void progressShown();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void createFrame();
    void createParts();
    void createCommandTable();
    void createMenuBar();
    void setMenuStates(MenuPhase phase);
    void createToolbar();
    void toolbarPressed(ToolButton button, int command);
    void createHelpTips();
    void help();
    void about();
    void openHomePage();
    void liveUpdate();
    void exit();
    bool confirmExit();
    void shutDown();
    bool handleKey(QKeyEvent* e);
    bool pressWizardButton(QKeyEvent* e);
    bool tabInBrowsing();

    WizardState state_;
    QString programDirectory_;
    DialogUnits units_;
    QWidget* client_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    WindowControls controls_;
    std::vector<std::unique_ptr<IconMenu>> menus_;
    std::map<int, std::function<void()>> commands_; // command id -> handler
    FileListModel* listModel_ = nullptr;
    FolderTreeModel* folderModel_ = nullptr;
    // Declared after the state they use, so they go first.
    std::unique_ptr<InfoPanel> infoPanel_;
    std::unique_ptr<ListPane> listPane_;
    std::unique_ptr<BrowseCommands> browse_;
    std::unique_ptr<WizardController> wizard_;
    std::unique_ptr<DiskImageCommands> diskImages_;
    std::unique_ptr<MarkupToolTip> optionsTip_, rangeTip_;
    bool exitConfirmed_ = false;
};

} // namespace dorvak
