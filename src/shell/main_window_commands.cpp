// Commands outside the wizard: the command table, keys, opening items,
// help, About, the home page, Live Update, Exit and closing, disk images.
#include "shell/catalog_models.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/skinned_dialog.h"
#include "shell/step_tree.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QTreeView>

namespace dorvak {
namespace {

MainWindow::DesktopOpener& desktopOpener() {
    static MainWindow::DesktopOpener opener = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

QString lat(const char* s) {
    return QString::fromLatin1(s);
}

} // namespace

void MainWindow::setDesktopOpener(DesktopOpener opener) {
    desktopOpener() = std::move(opener);
}

bool MainWindow::openOnDesktop(const QUrl& url) {
    return desktopOpener()(url);
}

void MainWindow::runCommand(int id) {
    switch (id) {
    case cmd::Exit:
        Exit();
        break;
    case cmd::ViewIcons:
    case cmd::ViewList:
    case cmd::ViewDetails:
        setViewMode(id);
        break;
    case cmd::LiveUpdate:
        LiveUpdate();
        break;
    case cmd::Contents:
        Help();
        break;
    case cmd::BuyOnline:
    case 1072:
    case 1102:
        openHomePage();
        break;
    case cmd::About:
        About();
        break;
    case cmd::OpenImage:
        openDiskImage();
        break;
    case cmd::RecoverSelected:
    case 32837:
        RecoverSelected();
        break;
    case cmd::RecoverAll:
    case 32825:
        RecoverAll();
        break;
    case 32826:
    case 32827:
    case 32829:
        setViewMode(id);
        break;
    case cmd::FindFiles:
    case 32828:
        FindFiles();
        break;
    case cmd::FileFilters:
        FileFilters();
        break;
    case cmd::Settings:
    case 32836:
        RecoverySettingsCommand();
        break;
    case cmd::DriveInfo:
        DriveInformation();
        break;
    case cmd::Open:
    case cmd::OpenWith:
        state_.openWithRequested = id == cmd::OpenWith;
        if (state_.WizardStep == 2) OpenSelectedItem();
        break;
    case cmd::Rename:
        beginRename();
        break;
    case cmd::Properties:
        Properties();
        break;
    default:
        break; // the browsing and recovery commands come with their dialogs
    }
}

void MainWindow::openTreeItem(const QModelIndex& index) {
    if (state_.WizardStep != 2 || !catalogTree_) return;
    state_.openWithRequested = false;
    listModel_->clear();
    catalogTree_->setCurrentIndex(index);
    state_.treePaneActive = true;
    OpenSelectedItem();
}

void MainWindow::OpenSelectedItem() {
    if (state_.WizardStep != 2 || !catalogTree_) return;
    std::uint32_t treeItem = 0;
    if (state_.treePaneActive) {
        const QModelIndex current = catalogTree_->currentIndex();
        if (!current.isValid()) return;
        treeItem = folderModel_->treeItemOf(current);
    } else {
        const int current = currentListRow();
        if (current < 0) return;
        const QString type = listModel_->index(current, FileListModel::Type).data().toString();
        if (!type.endsWith(QLatin1String("Folder"))) {
            openFileRow(current, state_.openWithRequested);
            return;
        }
        treeItem = listModel_->index(current, FileListModel::Sector).data().toString().toUInt();
    }
    const QModelIndex item = folderModel_->indexForTreeItem(treeItem);
    listModel_->FillFileList(folderModel_->folderKeyOf(item));
    catalogTree_->setFocus();
    catalogTree_->setCurrentIndex(item);
    state_.treePaneActive = true;
    for (QModelIndex up = item.parent(); up.isValid(); up = up.parent())
        catalogTree_->expand(up);
}

void MainWindow::Help() {
    const QString file = programDirectory_ + lat("Tervolk Dorvak ReiserFS.chm");
    if (!QFileInfo::exists(file)) {
        ShowMessage(lat(" Tervolk Dorvak ReiserFS.chm not found"), MessageKind::Error);
        return;
    }
    desktopOpener()(QUrl::fromLocalFile(file));
}

void MainWindow::About() {
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::openHomePage() {
    desktopOpener()(QUrl(lat(kHomePageUrl)));
}

void MainWindow::LiveUpdate() {
    const QString updater = programDirectory_ + lat("dorvak-live-update");
    if (!QFileInfo(updater).isExecutable()) {
        ShowMessage(lat("Live Update file not found. Please re-install the software."),
                    MessageKind::Error);
        return;
    }
    if (AskYesNo(lat("The application will be closed if you want to run Live Update of the "
                     "software. Continue ?"),
                 MessageKind::Question) != 1)
        return;
    QProcess::startDetached(updater, {lat("<QMWXTP>")}, programDirectory_);
    shutDown();
    exitConfirmed_ = true;
    close();
    QCoreApplication::exit(0);
}

bool MainWindow::confirmExit() {
    return AskYesNo(lat(kExitQuestion), MessageKind::Question) == 1;
}

void MainWindow::shutDown() {
    // A worker may still be adding to the catalog: ask it to stop, wait for
    // it, and only then release what it built.
    closing_ = true;
    if (worker_.isRunning()) {
        state_.stopRequested = true;
        worker_.wait();
    }
    state_.workerBusy = false;
    folderModel_->setCatalog(nullptr, QString());
    listModel_->setCatalog(nullptr);
    state_.catalog.ClearCatalog();
}

void MainWindow::Exit() {
    if (!confirmExit()) return;
    shutDown();
    openHomePage();
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
    openHomePage();
    exitConfirmed_ = true;
    e->accept();
}

bool MainWindow::addDiskImage(const QString& path) {
    std::string error;
    if (!state_.disks.addImage(path.toStdString(), &error)) {
        ShowMessage(QString::fromStdString(error), MessageKind::Error);
        return false;
    }
    fillDiskTree();
    return true;
}

void MainWindow::openDiskImage() {
    if (state_.WizardStep != 0 || state_.workerBusy) return;
    const QStringList files = QFileDialog::getOpenFileNames(
        this, lat("Open Disk Image"), QString(),
        lat("Disk images (*.img *.raw *.dd *.bin *.iso);;All files (*)"));
    for (const QString& f : files)
        addDiskImage(f);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) addDiskImage(url.toLocalFile());
    e->acceptProposedAction();
}

void MainWindow::focusOtherPane() {
    if (state_.treePaneActive) {
        state_.treePaneActive = false;
        activeListView()->setFocus();
    } else {
        state_.treePaneActive = true;
        catalogTree_->setFocus();
    }
}

bool MainWindow::handleKey(QObject* watched, QKeyEvent* e) {
    (void)watched;
    switch (e->key()) {
    case Qt::Key_F1:
        Help();
        return true;
    case Qt::Key_Tab:
        if (state_.WizardStep == 2 && !state_.renaming && catalogTree_) {
            focusOtherPane();
            return true;
        }
        return false;
    case Qt::Key_Escape:
        // Never closes the window; an open editor still gets it.
        return !state_.renaming;
    case Qt::Key_F2:
        if (state_.WizardStep == 2 && !state_.treePaneActive && !state_.renaming) {
            beginRename();
            return true;
        }
        return false;
    case Qt::Key_Menu:
        ShowItemMenu();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (state_.renaming) return false;
        state_.openWithRequested = false;
        if (state_.WizardStep == 2) OpenSelectedItem();
        return true;
    default:
        return false;
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this) {
            if (w == list_ || w == catalogTree_ || list_->isAncestorOf(w) || w == this ||
                client_->isAncestorOf(w) || w == client_) {
                if (handleKey(watched, static_cast<QKeyEvent*>(e))) return true;
            }
        }
    }
    if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && list_->viewport() == w && state_.WizardStep == 2) {
            state_.treePaneActive = false;
            if (e->type() == QEvent::MouseButtonDblClick) {
                state_.openWithRequested = false;
                QMetaObject::invokeMethod(
                    this, [this] { OpenSelectedItem(); }, Qt::QueuedConnection);
            }
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace dorvak
