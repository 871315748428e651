#include "shell/main_window.h"

#include "shell/catalog_models.h"
#include "shell/quick_help.h"
#include "shell/step_tree.h"
#include "ui/controls/hover_button.h"
#include "ui/controls/resource_images.h"
#include "ui/controls/text_progress_bar.h"
#include "ui/controls/transparent_static.h"
#include "ui/menu/icon_menu.h"
#include "ui/menu/qm_menu.h"
#include "ui/tooltip/markup_tool_tip.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>

namespace dorvak {
namespace {

const char* const kOptionsTip =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% speed=1></td><td>"
    "<h3>\r\n<h3>Volume Identify Options</h3><br><hr color=green><br><h3>Use Partition "
    "Table</h3>\t<font color=black size=10pt >This is fast mode for recovering "
    "data.<br><t><t><t></font><font color=black size=10pt >          Select this if your volume "
    "table is intact.<br><t><t><t></font><br><h3>Search Partition</h3>\t<font color=black "
    "size=10pt >This is deep and more efficient method  <br><t><t><t>            for recovering "
    "data , select this if  <br><t><t><t>           Partition Table is deleted or volume is "
    "missing.  <br></td></tr></table>";
const char* const kRangeTip =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% speed=1></td><td>"
    "<h3>\r\n<h3>Scan Control</h3><br><hr color=green><br><font color=black size=10pt >Here "
    "select the disk area to scan. Don't change <br></font><font color=black size=10pt >if you "
    "want to scan the whole disk.</td></tr></table>";

std::unique_ptr<MarkupToolTip> makeHelpTip(QWidget* host, QWidget* button, const char* text) {
    // Balloon, yellow to white to yellow, pointer on the top edge.
    auto tip = std::make_unique<MarkupToolTip>(host, MarkupToolTip::Shape::Balloon);
    tip->setColours(QColor(0xFC, 0xFF, 0x7D), QColor(0xFF, 0xFF, 0xFF), QColor(0xFC, 0xFF, 0x7D));
    tip->setBackgroundEffect(13, 5);
    tip->setBorder(Qt::white, 1, 1);
    tip->setDirection(2);
    tip->addTool(button, QString::fromLatin1(text));
    return tip;
}

} // namespace

MainWindow::MainWindow(const QStringList& images, bool enumerateDisks, QWidget* parent)
    : QWidget(parent), folderModel_(new FolderTreeModel(this)) {
    setWindowTitle(QString::fromLatin1(kAppCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    // Window icon, then the directory the help file and updater are looked
    // up in (the current directory, with a trailing separator).
    QIcon icon;
    for (bool small : {false, true})
        icon.addPixmap(QPixmap::fromImage(loadIconResource(128, small)));
    setWindowIcon(icon);
    programDirectory_ = QDir::currentPath();
    if (!programDirectory_.endsWith(QLatin1Char('/'))) programDirectory_ += QLatin1Char('/');

    createControls();

    // The disk tree is made at step -1, so its root is "My Computer".
    state_.WizardStep = -1;
    diskTree_ = new StepTree(-1, QString(), client_);
    placeTree(diskTree_);
    connect(diskTree_, &StepTree::itemPressed, this,
            [this](const QModelIndex& i, bool on) { treePressed(diskTree_, i, on); });
    state_.WizardStep = 0;
    if (enumerateDisks) state_.disks.EnumerateDisks();
    for (const QString& image : images) {
        std::string error;
        if (!state_.disks.addImage(image.toStdString(), &error)) qWarning("%s", error.c_str());
    }
    fillDiskTree();

    createMenuBar();
    setMenuStates(0);
    // The client area has its fixed size; the window adds the menu bar.
    setFixedSize(sizeHint());
    createToolbar();
    for (int id : {1014, 1011, 1015, 1012})
        control(id)->hide();
    setPanelLayout(0);

    optionsTip_ = makeHelpTip(this, control(1097), kOptionsTip);
    rangeTip_ = makeHelpTip(this, control(1098), kRangeTip);
    setQuickHelp(QString::fromLatin1(kStartHelpText));

    useTable_->setChecked(true);
    state_.volumeIdentifyOption = 1;
    progress_->hide();
    for (int id : {1004, 1003, 1017})
        setButton(control(id), false, false);
    state_.settings = RecoverySettings{};
    state_.settings.sectorsPerRead = state_.reader.accessMode == 'F' ? 8 : 60;
    state_.reader.badSectorRetries = state_.settings.badSectorRetries;

    connect(&worker_, &JobWorker::progressed, this, &MainWindow::showProgress);
    connect(&worker_, &JobWorker::volumeFound, this, [this](const QString& name, quint32 index) {
        if (index >= volumeRows_.size()) volumeRows_.resize(index + 1, -1);
        volumeRows_[index] = volumeTree_ ? volumeTree_->appendChild(name, state_.WizardStep) : -1;
    });
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    state_.stopRequested = true;
    worker_.wait();
    // The views outlive this class's members: let go of the catalog first.
    listModel_->setCatalog(nullptr);
    folderModel_->setCatalog(nullptr, QString());
}

QWidget* MainWindow::control(int id) const {
    if (id == 100) {
        for (StepTree* t : {catalogTree_, volumeTree_, diskTree_})
            if (t && t->isVisibleTo(client_)) return t;
        return nullptr;
    }
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QString MainWindow::quickHelpText() const {
    return quickHelp_->property("rawText").toString();
}

bool MainWindow::workerRunning() const {
    return worker_.isRunning();
}

void MainWindow::waitForWorker() {
    worker_.wait();
    // Deliver the worker's queued updates and its end.
    while (state_.workerBusy)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace dorvak
