// app-shots: the application window, step by step, as PNG files.
//   app-shots --screenshot DIR [--scale N] IMAGE...
// IMAGE is a disk image with a partition table (the kernel-made part-disk
// image, or the bundled sample). Messages are shown as the real markup boxes
// and photographed instead of waiting for a click; the run answers No to the
// Stop question, then Yes.
#include "shell/browse_commands.h"
#include "shell/catalog_models.h"
#include "shell/disk_images.h"
#include "shell/find_dialog.h"
#include "shell/imaging_dialog.h"
#include "shell/info_panel.h"
#include "shell/list_pane.h"
#include "shell/main_window.h"
#include "shell/messages.h"
#include "shell/recovery.h"
#include "shell/scan_files.h"
#include "shell/skinned_dialog.h"
#include "shell/step_tree.h"
#include "shell/tool_dialogs.h"
#include "shell/wizard_controller.h"
#include "ui/menu/icon_menu.h"
#include "ui/msgbox/markup_message_box.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <cstring>

using namespace dorvak;

namespace {

struct Shots {
    QDir dir;
    int written = 0;
    void save(const QString& name, const QImage& img) {
        if (img.save(dir.filePath(name + ".png")))
            ++written;
        else
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
    }
    void window(const QString& name, QWidget& w) {
        QApplication::processEvents();
        save(name, w.grab().toImage());
    }
};

void settle(int ms = 0) {
    QApplication::processEvents();
    if (ms > 0) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

QImage grabMenu(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    QApplication::processEvents();
    QImage img = menu->grab().toImage();
    menu->hide();
    return img;
}

void pressTree(MainWindow& w, StepTree* tree, int row) {
    // As the tree's own press would, on the item's label.
    const QModelIndex index = tree->child(row);
    const QRect r = tree->visualRect(index);
    QMouseEvent press(QEvent::MouseButtonPress, r.center(),
                      tree->viewport()->mapToGlobal(r.center()), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &press);
    (void)w;
}

// Grabs the modal dialog or popup that `action` opens, then closes it.
template <class Action> void grabModal(Shots& shots, const QString& name, Action action) {
    QTimer::singleShot(100, [&shots, name] {
        QWidget* w = QApplication::activePopupWidget();
        if (!w) w = QApplication::activeModalWidget();
        if (!w) return;
        shots.save(name, w->grab().toImage());
        w->close();
    });
    action();
}

void sendMouse(QWidget* to, QEvent::Type type, Qt::MouseButton button, QPoint at) {
    QMouseEvent e(type, at, to->mapToGlobal(at), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(to, &e);
}

// A right click on a file row, as the user makes it: the window with the
// item menu where it opened, at the pointer.
void rightClickShot(MainWindow& w, Shots& shots, int row) {
    QTreeView* list = w.listPane().detailsView();
    const QPoint at = list->visualRect(w.listModel()->index(row, 0)).center();
    QTimer::singleShot(150, [&w, &shots] {
        QWidget* menu = QApplication::activePopupWidget();
        if (!menu) return;
        QImage img = w.grab().toImage();
        QPainter p(&img);
        p.drawImage(menu->pos() - w.mapToGlobal(QPoint(0, 0)), menu->grab().toImage());
        p.end();
        shots.save("20-right-click-menu", img);
        menu->close();
    });
    sendMouse(list->viewport(), QEvent::MouseButtonPress, Qt::RightButton, at);
    sendMouse(list->viewport(), QEvent::MouseButtonRelease, Qt::RightButton, at);
    settle(400);
}

// The list sorted by a header click (Name, then again: Z to A), and
// the window maximised with the panes grown; the order and size restored.
void sortedAndGrownShots(MainWindow& w, Shots& shots) {
    QHeaderView* header = w.listPane().detailsView()->header();
    // The header's click, as QHeaderView reports it (a synthetic press
    // off screen does not reach its section tracking).
    for (int i = 0; i < 2; ++i)
        Q_EMIT header->sectionClicked(FileListModel::Name);
    shots.window("30-sorted-by-name", w);
    const QSize normal = w.size();
    w.showMaximized();
    settle(100);
    // Off screen "maximised" is the screen's size; a small virtual screen
    // gets a large window instead, as a big monitor would.
    if (w.size().width() < normal.width() * 6 / 5) w.resize(normal * 3 / 2);
    settle(50);
    shots.window("31-maximised", w);
    w.showNormal();
    w.resize(normal);
    Q_EMIT header->sectionClicked(FileListModel::Name); // back to the catalog order
    settle(50);
}

// Create Disk Image before and after a run of the selected disk, then Open
// Disk Image of the result, which offers the map beside it.
void imagingShots(MainWindow& w, Shots& shots, QString& scene) {
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("disk.img"));
    {
        ImagingDialog d(*w.state().selectedDiskInfo(), &w.state().volumes, 3, &w);
        d.show();
        d.imageField()->setText(image);
        d.mapField()->setText(image + QStringLiteral(".map"));
        settle();
        shots.save("13-create-image", d.grab().toImage());
        QEventLoop loop;
        QObject::connect(&d, &ImagingDialog::runEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        scene = QStringLiteral("msg-image-done");
        d.startImaging();
        loop.exec();
        settle();
        shots.save("14-create-image-done", d.grab().toImage());
    }
    scene = QStringLiteral("msg-image-map");
    w.diskImages().setImageChooser([&] { return QStringList{image}; });
    // The answer is "Other Map...": the map beside it, picked again.
    w.diskImages().setMapChooser([&](const QString&) { return image + QStringLiteral(".map"); });
    const Step step = w.state().WizardStep;
    w.state().WizardStep = Step::Disk; // Open Disk Image acts at the disk step
    w.runCommand(cmd::OpenImage);
    w.state().WizardStep = step;
    // The disk tree names the map the image is read through.
    StepTree* disks = w.wizard().diskTree();
    const bool shown = disks->isVisible();
    disks->show();
    settle();
    shots.save("15-disk-tree-map", disks->grab().toImage());
    disks->setVisible(shown);
}

// An Extensive mount stopped half way (the test hook stops it), saved, and
// opened again: the offer to go on with it (answered No).
void resumeShots(MainWindow& w, Shots& shots, QString& scene) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("stopped.scan")).toStdString();
    w.wizard().OnBack();
    pressTree(w, w.wizard().volumeTree(), 0);
    qputenv("DORVAK_STOP_SCAN_AT", "50");
    w.wizard().OnNext();
    w.wizard().waitForWorker();
    qunsetenv("DORVAK_STOP_SCAN_AT");
    std::string message;
    if (!saveScanTo(w.state(), path, message)) return;
    w.wizard().OnBack();
    pressTree(w, w.wizard().volumeTree(), 0);
    scene = QStringLiteral("msg-resume-scan");
    w.wizard().openSavedScan(path);
    w.wizard().waitForWorker();
    settle(50);
    shots.window("32-partial-scan", w);
}

void browsingShots(MainWindow& w, Shots& shots, QString& scene) {
    auto* list = w.listPane().detailsView();
    auto selectRow = [&](int r) {
        list->selectionModel()->setCurrentIndex(w.listModel()->index(r, 0),
                                                QItemSelectionModel::ClearAndSelect |
                                                    QItemSelectionModel::Rows);
        w.state().treePaneActive = false;
    };
    int fileRow = 0;
    while (fileRow < w.listModel()->rowCount() && w.listModel()->row(fileRow).folder)
        ++fileRow;
    selectRow(fileRow < w.listModel()->rowCount() ? fileRow : 0);
    grabModal(shots, "20-item-menu", [&] { w.listPane().showItemMenu(); });
    rightClickShot(w, shots, fileRow);
    w.runCommand(cmd::ViewIcons);
    shots.window("21-view-icons", w);
    w.runCommand(cmd::ViewList);
    shots.window("22-view-list", w);
    w.runCommand(cmd::ViewDetails);
    sortedAndGrownShots(w, shots);

    {
        FindDialog find(w.state().catalog, *w.folderModel(), &w);
        find.show();
        find.patternEdit()->setText(QStringLiteral("*.*"));
        QEventLoop loop;
        QObject::connect(&find, &FindDialog::searchEnded, &loop, &QEventLoop::quit);
        find.startSearch();
        if (find.searching()) loop.exec();
        settle();
        shots.save("23-find", find.grab().toImage());
    }
    {
        FiltersDialog filters({"*.JPG", "*.TXT"}, &w);
        filters.show();
        settle();
        shots.save("24-filters", filters.grab().toImage());
        scene = QStringLiteral("msg-filter-exists");
        filters.edit()->setText(QStringLiteral("*.TXT"));
        filters.addFilter();
    }
    // The list may have been listed anew since: choose the file again.
    fileRow = 0;
    while (fileRow < w.listModel()->rowCount() && w.listModel()->row(fileRow).folder)
        ++fileRow;
    selectRow(fileRow);
    grabModal(shots, "25-properties-file", [&] { w.runCommand(cmd::Properties); });
    selectRow(0);
    grabModal(shots, "26-properties-folder", [&] { w.runCommand(cmd::Properties); });
    grabModal(shots, "27-drive-information", [&] { w.runCommand(cmd::DriveInfo); });
    grabModal(shots, "28-settings", [&] { w.runCommand(cmd::Settings); });

    // The saving dialog over a real copy-out, held open at its last update.
    QTemporaryDir dest;
    {
        SavingDialog saving(&w);
        std::atomic<bool> release{false};
        const VolumeInfo v = *w.state().selectedVolumeInfo();
        saving.show();
        saving.start([&](CopyProgressSink& sink, CopyRequests& requests) {
            CopyOut copy(w.state().reader, v, w.state().catalog, &w.state().live,
                         w.state().settings, requests, sink);
            CopySummary s = copy.RecoverAll(dest.path().toStdString() + "/held");
            while (!release)
                QThread::yieldCurrentThread();
            return s;
        });
        QDir().mkpath(dest.path() + QStringLiteral("/held"));
        for (int i = 0; i < 200 && saving.fileText().isEmpty(); ++i)
            settle(10);
        settle(150);
        shots.save("29-saving", saving.grab().toImage());
        release = true;
        QEventLoop loop;
        QObject::connect(&saving, &SavingDialog::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    w.browseCommands().setFolderChooser([&] { return dest.path(); });
    scene = QStringLiteral("msg-recovery-summary");
    w.runCommand(cmd::RecoverAll);
    // Again into the same folder: every file renamed, each named in More.
    scene = QStringLiteral("msg-recovery-summary-more");
    w.runCommand(cmd::RecoverAll);
}

} // namespace

int main(int argc, char** argv) {
    QStringList images;
    QString dir;
    QByteArray scale = "1";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc)
            dir = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--scale") && i + 1 < argc)
            scale = argv[++i];
        else
            images << QString::fromLocal8Bit(argv[i]);
    }
    if (dir.isEmpty() || images.isEmpty()) {
        std::fprintf(stderr, "usage: app-shots --screenshot DIR [--scale N] IMAGE...\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", scale);
    QApplication app(argc, argv);
    QDir().mkpath(dir);
    Shots shots{QDir(dir)};
    MarkupMessageBox::setSoundPlayer([](quint32) {});
    MainWindow::setDesktopOpener([](const QUrl&) { return true; });

    // Each message becomes a picture named after the current scene.
    QString scene = QStringLiteral("message");
    int stopAnswers = 0;
    setMessageHook([&](const MessageRequest& r) {
        MessageBoxParams p = programMessageParams(r);
        if (!r.buttons.isEmpty()) p.customButtons = r.buttons.join(QLatin1Char('\n'));
        if (!r.more.isEmpty()) p.moreText = r.more;
        MarkupMessageBox box(p);
        if (!r.more.isEmpty()) box.press(mb::IdMoreCollapsed);
        box.show();
        settle();
        shots.save(scene, box.grab().toImage());
        box.hide();
        if (r.text.startsWith(QLatin1String("Do you want to stop")))
            return ++stopAnswers > 1 ? 1 : 2;
        return 2;
    });

    MainWindow w(images, false);
    w.show();
    settle(50);
    shots.window("01-start", w);
    pressTree(w, w.wizard().diskTree(), 0);
    shots.window("02-disk-selected", w);
    for (int i = 0; i < 4; ++i)
        shots.save(QStringLiteral("menu-%1").arg(i), grabMenu(w.menuBar()->actions()[i]->menu()));

    // Option 1: the partition tables.
    w.wizard().OnNext();
    settle(50);
    shots.window("03-volumes-table", w);
    if (w.wizard().volumeTree()) pressTree(w, w.wizard().volumeTree(), 0);
    shots.window("04-volume-selected", w);
    imagingShots(w, shots, scene);

    {
        ModeDialog mode(1, &w);
        mode.show();
        settle();
        shots.save("05-mode-dialog", mode.grab().toImage());
    }
    w.wizard().setModeChooser([](RecoveryMode& m) {
        m = RecoveryMode::Extensive;
        return true;
    });
    // The running mount, photographed at its first progress update.
    bool shotTaken = false;
    auto conn = QObject::connect(&w, &MainWindow::progressShown, [&] {
        // Once the counters show something.
        if (shotTaken || w.infoPanel().value(0).isEmpty()) return;
        shotTaken = true;
        shots.save("06-mount-running", w.grab().toImage());
    });
    w.wizard().OnNext();
    shots.window("06-mount-starting", w);
    scene = QStringLiteral("msg-stop-question");
    w.wizard().OnStop(); // answered No: the mount goes on
    w.wizard().waitForWorker();
    QObject::disconnect(conn);
    settle(50);
    shots.window("07-browse", w);
    for (int i = 0; i < 4; ++i)
        shots.save(QStringLiteral("menu-browse-%1").arg(i),
                   grabMenu(w.menuBar()->actions()[i]->menu()));

    browsingShots(w, shots, scene);
    resumeShots(w, shots, scene);

    // Back to the disks; option 2: the search with a bad range, then a good one.
    w.wizard().OnBack();
    shots.window("08-back-to-volumes", w);
    w.wizard().OnBack();
    w.wizard().OnSearchPartitionOption();
    pressTree(w, w.wizard().diskTree(), 0);
    shots.window("09-search-option", w);
    auto* start = static_cast<QLineEdit*>(w.controls().startField);
    auto* end = static_cast<QLineEdit*>(w.controls().endField);
    struct Bad {
        const char* scene;
        const char* start;
        const char* end;
    };
    for (const Bad& b : {Bad{"msg-start-invalid", "abc", "100"},
                         Bad{"msg-end-invalid", "100", "18446744073709551616"},
                         Bad{"msg-end-not-above", "0", "0"}}) {
        scene = QString::fromLatin1(b.scene);
        start->setText(QString::fromLatin1(b.start));
        end->setText(QString::fromLatin1(b.end));
        w.wizard().OnNext();
    }
    pressTree(w, w.wizard().diskTree(), 0);
    // The running search, photographed at its first progress update.
    bool searchShot = false;
    auto searchConn = QObject::connect(&w, &MainWindow::progressShown, [&] {
        if (searchShot) return;
        searchShot = true;
        shots.save("10-search-running", w.grab().toImage());
    });
    w.wizard().OnNext();
    w.wizard().waitForWorker();
    QObject::disconnect(searchConn);
    shots.window("11-volumes-search", w);

    scene = QStringLiteral("msg-help-missing");
    w.runCommand(cmd::Contents);
    scene = QStringLiteral("msg-live-update");
    w.runCommand(cmd::LiveUpdate);
    scene = QStringLiteral("msg-exit-question");
    w.runCommand(cmd::Exit);
    {
        AboutDialog about(&w);
        about.show();
        settle();
        shots.save("12-about", about.grab().toImage());
    }
    w.wizard().OnBack();
    w.wizard().OnUsePartitionTableOption();
    scene = QStringLiteral("msg-no-partition");
    // A disk without a partition table or volume: the shot program itself.
    w.diskImages().addDiskImage(QCoreApplication::applicationFilePath());
    pressTree(w, w.wizard().diskTree(), 1);
    w.wizard().OnNext();
    std::printf("%d pictures written to %s\n", shots.written, qPrintable(dir));
    setMessageHook({});
    return shots.written > 0 ? 0 : 1;
}
