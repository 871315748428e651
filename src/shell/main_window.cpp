#include "shell/main_window.h"

#include "browse/user_guide.h"
#include "shell/browse_commands.h"
#include "shell/catalog_models.h"
#include "shell/disk_images.h"
#include "shell/info_panel.h"
#include "shell/latin1.h"
#include "shell/list_pane.h"
#include "shell/messages.h"
#include "shell/quick_help.h"
#include "shell/scan_files.h"
#include "shell/skinned_dialog.h"
#include "shell/step_tree.h"
#include "shell/wizard_controller.h"
#include "ui/controls/hover_button.h"
#include "ui/controls/resource_images.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/menu/icon_menu.h"
#include "ui/msgbox/markup_message_box.h"
#include "ui/tooltip/markup_tool_tip.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace dorvak {
namespace {

std::unique_ptr<MarkupToolTip> makeHelpTip(QWidget* host, QWidget* button, const char* text) {
    // Balloon, yellow to white to yellow, pointer on the top edge.
    auto tip = std::make_unique<MarkupToolTip>(host, MarkupToolTip::Shape::Balloon);
    tip->setColors(QColor(0xFC, 0xFF, 0x7D), QColor(0xFF, 0xFF, 0xFF), QColor(0xFC, 0xFF, 0x7D));
    tip->setBackgroundEffect(13, 5);
    tip->setBorder(Qt::white, 1, 1);
    tip->setDirection(2);
    tip->addTool(button, QString::fromLatin1(text));
    return tip;
}

// The client area: the main window's skin, drawn unscaled from the corner.
class SkinArea : public QWidget {
public:
    SkinArea(QWidget* parent, const DialogUnits& units)
        : QWidget(parent), units_(units), skin_(loadBitmapResource(162)) {}

protected:
    void resizeEvent(QResizeEvent*) override { fitToClient(this, units_); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0xE6, 0xEC, 0xF4));
        p.drawImage(0, 0, skin_);
        // A grown window continues the skin's last column to its right edge.
        if (width() > skin_.width() && !skin_.isNull())
            p.drawImage(QRect(skin_.width(), 0, width() - skin_.width(), skin_.height()), skin_,
                        QRect(skin_.width() - 1, 0, 1, skin_.height()));
    }

private:
    DialogUnits units_;
    QImage skin_;
};

struct MenuItemDef {
    int command; // 0: separator
    const char* text;
    int bitmap;
};
struct PopupDef {
    const char* title;
    std::vector<MenuItemDef> items;
};

const std::vector<PopupDef>& menuDefinition() {
    static const std::vector<PopupDef> menus = {
        {"&Recovery",
         {{cmd::RecoverSelected, "&Recover Selected...", 201},
          {cmd::RecoverAll, "Recover &All...", 200},
          {0, "", 0},
          {cmd::OpenImage, "&Open Disk Image...", 198},
          {cmd::OpenScan, "Open &Scan...", 198},
          {cmd::SaveScan, "Sa&ve Scan...", 200},
          {cmd::CreateImage, "Create Disk &Image...", 201},
          {0, "", 0},
          {cmd::Exit, "E&xit...", 181}}},
        {"&View",
         {{cmd::ViewIcons, "Ico&ns", 195},
          {cmd::ViewList, "&List", 196},
          {cmd::ViewDetails, "&Details", 191}}},
        {"&Tools",
         {{cmd::FindFiles, "&Find Files...", 194},
          {cmd::FileFilters, "File Fi&lters...", 193},
          {cmd::Settings, "Se&ttings...", 203},
          {0, "", 0},
          {cmd::DriveInfo, "&Drive Information", 192},
          {0, "", 0},
          {cmd::LiveUpdate, "Live &Update", 197}}},
        {"&Help",
         {{cmd::Contents, "&Contents", 190},
          {cmd::BuyOnline, "Buy &Online", 189},
          {cmd::About, "&About Tervolk Dorvak ReiserFS...", 188}}},
    };
    return menus;
}

// The toolbar: bitmaps, tooltip and the menu command each button stands for
// (none for the two snapshot buttons, which have no action).
struct ToolDef {
    ToolButton button;
    int normal, hot, command;
    const char* tip;
};
const ToolDef kTools[] = {
    {ToolButton::RecoverSelected, 163, 171, cmd::RecoverSelected,
     "Copy the selected file(s) and folder(s) to your computer"},
    {ToolButton::RecoverAll, 164, 172, cmd::RecoverAll,
     "Copy all the file(s) and folder(s) to your computer"},
    {ToolButton::SaveSnapshot, 166, 173, 0,
     "Saves the snapshot of scan information, so that later on you need not to scan the disk "
     "again"},
    {ToolButton::LoadSnapshot, 167, 174, 0,
     "Loads the data from previously saved scan information"},
    {ToolButton::FindFiles, 168, 175, cmd::FindFiles, "Search the file(s) in the recovered data"},
    {ToolButton::Settings, 169, 176, cmd::Settings, "Configures the software"},
    {ToolButton::LiveUpdate, 170, 177, cmd::LiveUpdate,
     "Updates the software with latest changes from internet"},
};

MainWindow::DesktopOpener& desktopOpener() {
    static MainWindow::DesktopOpener opener = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

} // namespace

MainWindow::MainWindow(const QStringList& images, bool enumerateDisks, QWidget* parent)
    : QWidget(parent) {
    setWindowTitle(latin1(kAppCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    // Window icon, then the directory the help file and updater are looked
    // up in (the current directory, with a trailing separator).
    QIcon icon;
    for (bool small : {false, true})
        icon.addPixmap(QPixmap::fromImage(loadIconResource(128, small)));
    setWindowIcon(icon);
    programDirectory_ = QDir::currentPath();
    if (!programDirectory_.endsWith(QLatin1Char('/'))) programDirectory_ += QLatin1Char('/');

    createFrame();
    createParts();
    createCommandTable();
    wizard_->createDiskTree();
    if (enumerateDisks) state_.disks.EnumerateDisks();
    diskImages_->addStartupImages(images);
    wizard_->fillDiskTree();

    createMenuBar();
    // The default size is the least; the user may grow the window, and its
    // last size returns.
    setMinimumSize(sizeHint());
    const QSize saved = QSettings().value(latin1("Window/Size")).toSize();
    resize(saved.isValid() ? saved.expandedTo(minimumSize()) : minimumSize());
    createToolbar();
    createHelpTips();
    controls_.useTable->setChecked(true);
    state_.volumeIdentifyOption = VolumeIdentify::PartitionTable;
    wizard_->enterStep(Step::Disk, Direction::Forward);
    // The start values of the usual access mode (60 sectors a read): the
    // legacy BIOS mode has no counterpart here.
    state_.settings = RecoverySettings{};
    state_.reader.badSectorRetries = state_.settings.badSectorRetries;
    qApp->installEventFilter(this);
    setMessageOwner(this);
    // A message box's Help button opens the same guide as Help > Contents.
    MarkupMessageBox::setHelpOpener([](const QString&, int) { openUserGuide(); });
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    QSettings().setValue(latin1("Window/Size"), normalGeometry().size());
    wizard_.reset(); // stops and waits for a running worker
    // The views outlive this class's members: let go of the catalog first.
    listModel_->setCatalog(nullptr);
    folderModel_->setCatalog(nullptr, QString());
}

void MainWindow::createFrame() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(8.25);
    // The dialog font is the application's: the dialogs and messages use it too.
    QApplication::setFont(font);
    setFont(font);
    const QFontMetrics fm(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    units_.baseX = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
    units_.baseY = fm.height();

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    menuBar_ = new QMenuBar(this);
    outer->setMenuBar(menuBar_);
    client_ = new SkinArea(this, units_);
    client_->setMinimumSize(units_.rect(0, 0, kDialogWidth, kDialogHeight).size());
    outer->addWidget(client_);
    controls_ = buildWindowControls(client_, units_);
}

void MainWindow::createParts() {
    folderModel_ = new FolderTreeModel(this);
    listModel_ = new FileListModel(this);
    listModel_->setCatalog(&state_.catalog);
    listModel_->setNameDecoder(&state_.names);
    folderModel_->setNameDecoder(&state_.names);
    infoPanel_ =
        std::make_unique<InfoPanel>(controls_.captions, controls_.values, controls_.status);
    listPane_ = std::make_unique<ListPane>(state_, controls_.list, controls_.iconView, listModel_,
                                           folderModel_, this);
    listPane_->setCommandRunner([this](int command) { runCommand(command); });
    auto catalogTree = [this] { return wizard_ ? wizard_->catalogTree() : nullptr; };
    listPane_->setCatalogTree(catalogTree);
    browse_ = std::make_unique<BrowseCommands>(state_, *listPane_, listModel_, folderModel_,
                                               catalogTree, this);
    wizard_ = std::make_unique<WizardController>(WizardController::Parts{
        state_, controls_, *infoPanel_, *listPane_, listModel_, folderModel_, client_, units_,
        [this](MenuPhase phase) { setMenuStates(phase); }});
    diskImages_ = std::make_unique<DiskImageCommands>(state_, *wizard_, this);
    state_.refreshMenus = [this] { setMenuStates(state_.menuPhase); };
    connect(wizard_.get(), &WizardController::stepChanged, this, [this](Step step) {
        // Reached only when a mount has ended.
        if (step == Step::Browse) browse_->proposeNameEncoding();
        Q_EMIT stepChanged(step);
    });
    connect(wizard_.get(), &WizardController::progressShown, this, &MainWindow::progressShown);

    for (HoverButton* b : {controls_.homePage, controls_.buyOnline})
        connect(b, &QAbstractButton::clicked, this, &MainWindow::openHomePage);
    controls_.homePage->setBitmapResource(211);
    controls_.homePage->setToolTipText(QStringLiteral("Click here to visit software home page"));
    controls_.buyOnline->setBitmapResource(251);
    controls_.buyOnline->setToolTipText(QStringLiteral("Click here to buy the software"));
    controls_.progress->setRange32(0, 100);
    controls_.stopButton->setBitmapResource(227, 133);
    controls_.stopButton->setToolTipText(QStringLiteral("Stops the current process"));
    controls_.backButton->setBitmapResource(222, 223);
    controls_.backButton->setToolTipText(QStringLiteral("Go to previous step"));
    controls_.nextButton->setBitmapResource(226, 225);
    controls_.nextButton->setToolTipText(QStringLiteral("Go to next step"));
    controls_.quickHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    controls_.quickHelp->setWordWrap(true);
    for (HoverButton* h : {controls_.optionsHelp, controls_.rangeHelp})
        h->setBitmapResource(249);
    for (HoverButton* b :
         {controls_.homePage, controls_.buyOnline, controls_.optionsHelp, controls_.rangeHelp,
          controls_.stopButton, controls_.backButton, controls_.nextButton})
        b->resize(b->sizeHint());
    for (QRadioButton* r : {controls_.useTable, controls_.searchOption})
        r->setAttribute(Qt::WA_TranslucentBackground);
}

void MainWindow::createHelpTips() {
    optionsTip_ = makeHelpTip(this, controls_.optionsHelp, kOptionsTip);
    rangeTip_ = makeHelpTip(this, controls_.rangeHelp, kRangeTip);
}

void MainWindow::createMenuBar() {
    menuBar_->clear();
    menus_.clear();
    for (const PopupDef& def : menuDefinition()) {
        auto menu = std::make_unique<IconMenu>(this);
        menu->setItemWidth(150);
        menu->setItemHeight(20);
        menu->setDrawStyle(IconMenu::BitmapAndText);
        for (const MenuItemDef& item : def.items) {
            if (item.command == 0)
                menu->appendItem(0x800, 0, QString());
            else
                menu->appendItem(0, item.command, latin1(item.text), item.bitmap);
        }
        menu->menu()->setTitle(latin1(def.title));
        menuBar_->addMenu(menu->menu());
        for (int i = 0; i < menu->itemCount(); ++i) {
            const IconMenu::Item& item = menu->item(i);
            if (item.isSeparator() || !item.action) continue;
            const int command = item.command;
            connect(item.action, &QAction::triggered, this,
                    [this, command] { runCommand(command); });
        }
        menus_.push_back(std::move(menu));
    }
}

IconMenu* MainWindow::menuHolding(int command) const {
    for (const auto& m : menus_)
        if (m->itemState(command) != 0xFFFFFFFFu) return m.get();
    return nullptr;
}

quint32 MainWindow::menuState(int command) const {
    IconMenu* m = menuHolding(command);
    return m ? m->itemState(command) : 0xFFFFFFFFu;
}

void MainWindow::setMenuStates(MenuPhase phase) {
    state_.menuPhase = phase;
    for (const auto& m : menus_)
        for (int i = 0; i < m->itemCount(); ++i) {
            const int command = m->item(i).command;
            auto enabled =
                menuCommandEnabled(phase, state_.WizardStep, command, state_.lastScan.has_value());
            if (startsWorker(command)) enabled = enabled.value_or(true) && !state_.workerBusy;
            if (enabled) m->setItemEnabled(command, *enabled);
        }
    // A toolbar button looks as its menu item is (Live Update acts always).
    for (const ToolDef& t : kTools)
        if (t.command != 0 && t.button != ToolButton::LiveUpdate)
            controls_.tool(t.button)->setEnabled(menuState(t.command) == 0x100);
}

void MainWindow::createToolbar() {
    for (const ToolDef& t : kTools) {
        HoverButton* b = controls_.tool(t.button);
        b->setBitmapResource(t.normal, t.hot);
        b->setToolTipText(latin1(t.tip));
        b->resize(b->sizeHint());
        const ToolButton button = t.button;
        const int command = t.command;
        connect(b, &QAbstractButton::clicked, this,
                [this, button, command] { toolbarPressed(button, command); });
    }
}

void MainWindow::toolbarPressed(ToolButton button, int command) {
    if (command == 0) return; // the snapshot buttons have no action
    // Live Update acts always; the others only while their menu item is
    // enabled (the state query answers the owner-draw flag alone).
    if (button != ToolButton::LiveUpdate && menuState(command) != 0x100) return;
    runCommand(command);
}

void MainWindow::setDesktopOpener(DesktopOpener opener) {
    desktopOpener() = std::move(opener);
}

bool MainWindow::openOnDesktop(const QUrl& url) {
    return desktopOpener()(url);
}

void MainWindow::createCommandTable() {
    // The menu bar's commands, the item menu's copies of them and its own.
    auto view = [this](int command) {
        return [this, command] { listPane_->setViewMode(command); };
    };
    auto open = [this](bool with) {
        return [this, with] {
            state_.openWithRequested = with;
            if (state_.WizardStep == Step::Browse) listPane_->openSelectedItem();
        };
    };
    BrowseCommands* b = browse_.get();
    commands_ = {
        {cmd::Exit, [this] { exit(); }},
        {cmd::ViewIcons, view(cmd::ViewIcons)},
        {cmd::ViewList, view(cmd::ViewList)},
        {cmd::ViewDetails, view(cmd::ViewDetails)},
        {cmd::ItemIcons, view(cmd::ItemIcons)},
        {cmd::ItemList, view(cmd::ItemList)},
        {cmd::ItemDetails, view(cmd::ItemDetails)},
        {cmd::LiveUpdate, [this] { liveUpdate(); }},
        {cmd::Contents, [this] { help(); }},
        {cmd::BuyOnline, [this] { openHomePage(); }},
        {cmd::About, [this] { about(); }},
        {cmd::OpenImage, [this] { diskImages_->openDiskImage(); }},
        {cmd::CreateImage, [this] { diskImages_->createDiskImage(); }},
        {cmd::OpenScan, [this] { openScanFile(this, state_, *wizard_); }},
        {cmd::SaveScan, [this] { saveScanFile(this, state_); }},
        {cmd::RecoverSelected, [b] { b->recoverSelected(); }},
        {cmd::ItemRecoverSelected, [b] { b->recoverSelected(); }},
        {cmd::RecoverAll, [b] { b->recoverAll(); }},
        {cmd::ItemRecoverAll, [b] { b->recoverAll(); }},
        {cmd::FindFiles, [b] { b->findFiles(); }},
        {cmd::ItemFindFiles, [b] { b->findFiles(); }},
        {cmd::FileFilters, [b] { b->fileFilters(); }},
        {cmd::Settings, [b] { b->recoverySettings(); }},
        {cmd::ItemSettings, [b] { b->recoverySettings(); }},
        {cmd::DriveInfo, [b] { b->driveInformation(); }},
        {cmd::Open, open(false)},
        {cmd::OpenWith, open(true)},
        {cmd::Rename, [this] { listPane_->beginRename(); }},
        {cmd::Properties, [b] { b->properties(); }},
    };
}

void MainWindow::runCommand(int id) {
    // Commands without an entry (the snapshot commands) do nothing.
    auto it = commands_.find(id);
    if (it != commands_.end()) it->second();
}

void MainWindow::help() {
    openUserGuide();
}

void MainWindow::openUserGuide() {
    const std::filesystem::path guide = findUserGuide();
    if (guide.empty()) {
        ShowMessage(latin1(" Tervolk Dorvak ReiserFS.chm not found"), MessageKind::Error);
        return;
    }
    openOnDesktop(QUrl::fromLocalFile(QString::fromStdString(guide.string())));
}

void MainWindow::about() {
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::openHomePage() {
    // There is no home page: its buttons and Buy Online lead to the guide.
    help();
}

void MainWindow::liveUpdate() {
    // A Linux program is updated by the package manager that installed it;
    // an updater runs only where one is configured.
    const QString updater = QSettings().value(latin1("LiveUpdate/Program")).toString();
    if (updater.isEmpty()) {
        ShowMessage(latin1(kPackageManagerUpdateText), MessageKind::Information);
        return;
    }
    if (!QFileInfo(updater).isExecutable()) {
        ShowMessage(latin1("Live Update file not found. Please re-install the software."),
                    MessageKind::Error);
        return;
    }
    if (AskYesNo(latin1("The application will be closed if you want to run Live Update of the "
                        "software. Continue ?"),
                 MessageKind::Question) != 1)
        return;
    QProcess::startDetached(updater, {latin1("<QMWXTP>")}, programDirectory_);
    shutDown();
    exitConfirmed_ = true;
    close();
    QCoreApplication::exit(0);
}

bool MainWindow::confirmExit() {
    return AskYesNo(latin1(kExitQuestion), MessageKind::Question) == 1;
}

void MainWindow::shutDown() {
    // A worker may still be adding to the catalog: ask it to stop, wait for
    // it, and only then release what it built.
    wizard_->shutDown();
    folderModel_->setCatalog(nullptr, QString());
    listModel_->setCatalog(nullptr);
    state_.catalog.ClearCatalog();
}

void MainWindow::exit() {
    if (!confirmExit()) return;
    shutDown();
    exitConfirmed_ = true;
    close();
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (exitConfirmed_) {
        e->accept();
        return;
    }
    if (!confirmExit()) {
        e->ignore();
        return;
    }
    shutDown();
    exitConfirmed_ = true;
    e->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) diskImages_->addDiskImage(url.toLocalFile());
    e->acceptProposedAction();
}

// The wizard's buttons by keyboard: Alt+N and Alt+B, and Enter or Space on
// the one that has the focus (Tab reaches them).
bool MainWindow::pressWizardButton(QKeyEvent* e) {
    HoverButton* target = nullptr;
    if (e->modifiers() == Qt::AltModifier && e->key() == Qt::Key_N) target = controls_.nextButton;
    if (e->modifiers() == Qt::AltModifier && e->key() == Qt::Key_B) target = controls_.backButton;
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter)
        for (HoverButton* b : {controls_.nextButton, controls_.backButton, controls_.stopButton})
            if (b->hasFocus()) target = b;
    if (!target) return false;
    if (target->isVisible() && target->isEnabled()) target->click();
    return true;
}

// Tab in the browsing step: the tree, the list, Back, and round again.
bool MainWindow::tabInBrowsing() {
    QWidget* list = listPane_->activeView();
    if (list->hasFocus() && controls_.backButton->isVisible()) {
        controls_.backButton->setFocus(Qt::TabFocusReason);
    } else if (controls_.backButton->hasFocus()) {
        state_.treePaneActive = true;
        wizard_->catalogTree()->setFocus(Qt::TabFocusReason);
    } else if (list->hasFocus()) {
        state_.treePaneActive = true;
        wizard_->catalogTree()->setFocus(Qt::TabFocusReason);
    } else if (wizard_->catalogTree()->hasFocus()) {
        state_.treePaneActive = false;
        list->setFocus(Qt::TabFocusReason);
    } else {
        return false;
    }
    return true;
}

bool MainWindow::handleKey(QKeyEvent* e) {
    if (pressWizardButton(e)) return true;
    const bool browsing = state_.WizardStep == Step::Browse;
    switch (e->key()) {
    case Qt::Key_F1:
        help();
        return true;
    case Qt::Key_Tab:
        if (!browsing || state_.renaming || !wizard_->catalogTree()) return false;
        return tabInBrowsing();
    case Qt::Key_Escape:
        // Never closes the window; an open editor still gets it.
        return !state_.renaming;
    case Qt::Key_F2:
        if (!browsing || state_.treePaneActive || state_.renaming) return false;
        listPane_->beginRename();
        return true;
    case Qt::Key_Menu:
        listPane_->showItemMenu();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (state_.renaming) return false;
        state_.openWithRequested = false;
        if (browsing) listPane_->openSelectedItem();
        return true;
    default:
        return false;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (e->type() == QEvent::KeyPress && w && w->window() == this) {
        QWidget* details = listPane_->detailsView();
        if (w == details || w == wizard_->catalogTree() || details->isAncestorOf(w) || w == this ||
            client_->isAncestorOf(w) || w == client_) {
            if (handleKey(static_cast<QKeyEvent*>(e))) return true;
        }
    }
    if (listPane_->ownsViewport(w)) listPane_->viewportMouseEvent(e);
    return QWidget::eventFilter(watched, e);
}

} // namespace dorvak
