// The wizard end to end on kernel-made disks: real clicks on the real
// window, workers on their threads, messages answered by the fixture.
#include "window_fixture.h"

#include "common/mount_helpers.h"
#include "manifest.h"
#include "shell/catalog_models.h"
#include "shell/quick_help.h"
#include "shell/scan_files.h"
#include "shell/skinned_dialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace dorvak::test {
namespace {

constexpr quint32 kEnabled = 0x100, kGrayed = 0x101;

class Wizard : public WindowTest {
protected:
    void SetUp() override {
        DORVAK_SKIP_WITHOUT_IMAGE("part-disk.img");
        WindowTest::SetUp();
    }
    // Disk 0, Next with the partition tables: the volume step.
    void toVolumes() {
        clickChild(window->wizard().diskTree(), 0);
        click(window->controls().nextButton);
        ASSERT_EQ(window->state().WizardStep, Step::Volume);
    }
    void mount(int volume, RecoveryMode mode) {
        window->wizard().setModeChooser([mode](RecoveryMode& m) {
            m = mode;
            return true;
        });
        clickChild(window->wizard().volumeTree(), volume);
        click(window->controls().nextButton);
    }
    QStringList listColumn(int column) const {
        QStringList out;
        for (int r = 0; r < window->listModel()->rowCount(); ++r)
            out << window->listModel()->index(r, column).data().toString();
        return out;
    }
};

TEST_F(Wizard, PartitionTablesMountNormalThenBackTwice) {
    MainWindow& w = open({"part-disk.img"});
    EXPECT_EQ(w.menuState(cmd::RecoverSelected), kGrayed);
    EXPECT_EQ(w.menuState(cmd::Settings), kEnabled);
    EXPECT_FALSE(shown(ctl().nextButton));

    clickChild(w.wizard().diskTree(), 0);
    EXPECT_EQ(value(0), "part-disk.img");
    EXPECT_EQ(value(1), "200 MB ( Approx )");
    EXPECT_TRUE(shown(ctl().nextButton));
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    const auto layout = readDiskLayout(testImage("part-disk.layout.json"));
    ASSERT_EQ(w.wizard().volumeTree()->model()->rowCount(w.wizard().volumeTree()->rootItem()),
              int(layout.volumes.size()));
    for (int i = 0; i < int(layout.volumes.size()); ++i)
        EXPECT_EQ(w.wizard().volumeTree()->child(i).data().toString(),
                  "ReiserFS - " + QString::number(i));
    EXPECT_EQ(w.wizard().quickHelpText(), kSelectPartitionHelpText);
    EXPECT_EQ(w.menuState(cmd::Settings), kEnabled);
    EXPECT_EQ(w.menuState(cmd::FindFiles), kGrayed);
    EXPECT_FALSE(shown(ctl().nextButton)); // until a volume is clicked

    clickChild(w.wizard().volumeTree(), 2);
    EXPECT_EQ(value(0), "ReiserFS");
    EXPECT_EQ(value(1), "ReiserFS - 2");
    EXPECT_EQ(value(2), QString::number(layout.volumes[2].startSector));
    EXPECT_EQ(value(3), QString::number(layout.volumes[2].sectorCount / 2048) + " MB ( Approx )");

    mount(0, RecoveryMode::Normal);
    EXPECT_TRUE(shown(ctl().stopButton)); // Stop while it runs
    ASSERT_TRUE(waitForStep(Step::Browse));
    EXPECT_FALSE(shown(ctl().stopButton));
    EXPECT_TRUE(shown(ctl().backButton));
    EXPECT_TRUE(shown(ctl().list));
    EXPECT_EQ(w.menuState(cmd::RecoverAll), kEnabled);
    EXPECT_EQ(w.wizard().quickHelpText(), kMountedHelpText);
    EXPECT_EQ(w.wizard().catalogTree()->rootItem().data().toString(), "ReiserFS - 0");
    // The root's children: every one the guest wrote, folders first.
    const QStringList names = listColumn(FileListModel::Name);
    const QStringList types = listColumn(FileListModel::Type);
    int rootChildren = 0;
    for (const auto& e : readManifest(testImage(layout.volumes[0].manifest))) {
        if (!e.parentPath().empty()) continue;
        ++rootChildren;
        EXPECT_TRUE(names.contains(QString::fromStdString(e.name()))) << e.path;
    }
    EXPECT_GT(rootChildren, 0);
    const auto firstFile =
        std::find_if(types.begin(), types.end(), [](const QString& t) { return t != "Folder"; });
    EXPECT_TRUE(
        std::all_of(firstFile, types.end(), [](const QString& t) { return t != "Folder"; }));

    click(w.controls().backButton);
    EXPECT_EQ(w.state().WizardStep, Step::Volume);
    EXPECT_TRUE(w.wizard().volumeTree()->isVisible());
    EXPECT_FALSE(w.wizard().catalogTree()->isVisible());
    EXPECT_TRUE(w.state().catalog.FolderList().empty());
    EXPECT_EQ(w.menuState(cmd::RecoverAll), kGrayed);
    EXPECT_EQ(w.wizard().quickHelpText(), kBackToVolumeHelpText);
    click(w.controls().backButton);
    EXPECT_EQ(w.state().WizardStep, Step::Disk);
    EXPECT_FALSE(w.state().reader.isOpen());
    EXPECT_TRUE(w.wizard().diskTree()->isVisible());
    EXPECT_TRUE(shown(ctl().useTable) && shown(ctl().searchOption) && shown(ctl().optionsGroup));
    EXPECT_FALSE(shown(ctl().backButton));
    EXPECT_TRUE(messages.empty());
}

TEST_F(Wizard, RangeIsCheckedBeforeASearchStarts) {
    MainWindow& w = open({"part-disk.img"});
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().searchOption);
    EXPECT_TRUE(shown(ctl().startField) && shown(ctl().endField) && shown(ctl().rangeHelp));
    auto* start = static_cast<QLineEdit*>(w.controls().startField);
    auto* end = static_cast<QLineEdit*>(w.controls().endField);
    EXPECT_EQ(start->text(), "0");
    EXPECT_EQ(end->text(), "409600");
    const std::pair<const char*, const char*> bad[] = {
        {"-5", "10"}, {"abc", "10"}, {"", "10"}, {"100", "18446744073709551616"}, {"0", "0"}};
    const char* expected[] = {kStartSectorInvalid, kStartSectorInvalid, kStartSectorInvalid,
                              kEndSectorInvalid, kEndNotAboveStart};
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        start->setText(bad[i].first);
        end->setText(bad[i].second);
        click(w.controls().nextButton);
        ASSERT_EQ(messages.size(), i + 1);
        EXPECT_EQ(messages.back().text, expected[i]);
        EXPECT_EQ(messages.back().kind, MessageKind::Error);
        EXPECT_EQ(w.state().WizardStep, Step::Disk);
        EXPECT_TRUE(shown(ctl().nextButton)) << "Next shown again";
        EXPECT_FALSE(w.state().workerBusy);
    }
}

TEST_F(Wizard, SearchListsTheVolumesOfTheWholeDisk) {
    MainWindow& w = open({"part-disk.img"});
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().searchOption);
    click(w.controls().nextButton);
    EXPECT_TRUE(shown(ctl().stopButton));
    EXPECT_FALSE(shown(ctl().backButton));
    EXPECT_EQ(w.wizard().quickHelpText(), kSearchingHelpText);
    ASSERT_TRUE(waitForStep(Step::Volume));
    const auto layout = readDiskLayout(testImage("part-disk.layout.json"));
    ASSERT_EQ(w.state().volumes.volumeCount, layout.volumes.size());
    for (std::size_t i = 0; i < layout.volumes.size(); ++i)
        EXPECT_EQ(w.state().volumes.records[i].startSector, layout.volumes[i].startSector);
    EXPECT_EQ(w.wizard().volumeTree()->model()->rowCount(w.wizard().volumeTree()->rootItem()),
              int(layout.volumes.size()));
    EXPECT_TRUE(w.wizard().volumeTree()->isEnabled());
    EXPECT_FALSE(shown(ctl().stopButton) || shown(ctl().progress) || shown(ctl().status));
    EXPECT_TRUE(shown(ctl().backButton));
    EXPECT_EQ(caption(0), "Volume Type  ");
}

// The core reports phases and positions; the status line says them in the
// window's own words, each phase in order however short it was.
TEST_F(Wizard, TheStatusLineNamesEveryPhaseOfTheSearchAndTheMount) {
    MainWindow& w = open({"part-disk.img"});
    QStringList seen;
    QObject::connect(&w.wizard(), &WizardController::progressShown, [&] {
        const QString text = ctl().status->text();
        if (seen.isEmpty() || seen.back() != text) seen << text;
    });
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().searchOption);
    click(w.controls().nextButton);
    ASSERT_TRUE(waitForStep(Step::Volume));
    const QString total = QString::number(w.state().scanEndSector - w.state().scanStartSector);
    // The search's layout says this until the first position arrives.
    if (!seen.isEmpty() &&
        seen.front() == "Searching for Pools. This may take long time. Pleae wait")
        seen.removeFirst();
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front(), "Scanning sector 0 Of " + total);
    for (const QString& text : seen)
        EXPECT_TRUE(text.startsWith("Scanning sector ") && text.endsWith(" Of " + total))
            << text.toStdString();

    seen.clear();
    mount(0, RecoveryMode::Normal);
    ASSERT_TRUE(waitForStep(Step::Browse));
    EXPECT_EQ(seen, QStringList({"Mounting volume, please wait...", "Searching Lost Data ...",
                                 "Creating Tree Structure, Please wait"}));
}

TEST_F(Wizard, SearchStoppedWithYesEndsEarly) {
    // The same disk behind 32 GiB of nothing: the search is still in the
    // empty part when Stop is answered, however fast the machine.
    const std::string big =
        (std::filesystem::temp_directory_path() / "dorvak-wizard-far-volumes.img").string();
    {
        std::ifstream in(testImage("part-disk.img"), std::ios::binary);
        std::ofstream out(big, std::ios::binary | std::ios::trunc);
        const std::streamoff before = std::streamoff(32) << 30;
        out.seekp(before);
        out << in.rdbuf();
        ASSERT_TRUE(out.good());
    }
    MainWindow& w = open({big});
    answers = {1};
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().searchOption);
    click(w.controls().nextButton);
    click(w.controls().stopButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kStopQuestion);
    EXPECT_TRUE(messages[0].yesNo);
    // Yes set the request; how soon the job sees it is the search's own
    // affair. The end of the search (shown on this thread) clears it.
    EXPECT_TRUE(w.state().stopRequested);
    ASSERT_TRUE(waitForStep(Step::Volume));
    EXPECT_EQ(w.state().volumes.volumeCount, 0u);
    EXPECT_FALSE(w.state().stopRequested);
    EXPECT_TRUE(w.wizard().quickHelpText().endsWith(kPartialResultHelpText));
    EXPECT_FALSE(shown(ctl().stopButton));
    EXPECT_TRUE(shown(ctl().backButton));
    window.reset();
    std::filesystem::remove(big);
}

TEST_F(Wizard, StopAnsweredNoKeepsTheMountGoing) {
    MainWindow& w = open({"part-disk.img"});
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    answers = {2};
    bool busyWhileAsked = false;
    onMessage = [&](const MessageRequest&) { busyWhileAsked = w.state().workerBusy; };
    mount(0, RecoveryMode::Extensive);
    click(w.controls().stopButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(busyWhileAsked);
    ASSERT_TRUE(waitForStep(Step::Browse));
    EXPECT_EQ(w.state().catalog.recoveryMode, RecoveryMode::Extensive);

    // Nothing was lost: the same mount done directly finds as much.
    const auto direct = mountImage(testImage("part-disk.img"), 0, RecoveryMode::Extensive);
    EXPECT_EQ(w.state().catalog.FolderList().size(), direct->catalog.FolderList().size());
    EXPECT_EQ(w.state().catalog.FileList().size(), direct->catalog.FileList().size());
}

TEST_F(Wizard, AStopQuestionOutlivingItsJobIsIgnored) {
    MainWindow& w = open({"part-disk.img"});
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    answers = {1};
    bool endedWhileAsked = false;
    // The question stays open until the mount has ended by itself; its Yes
    // comes too late to stop anything.
    onMessage = [&](const MessageRequest&) {
        for (int i = 0; i < 2000 && w.state().workerBusy; ++i)
            QTest::qWait(10);
        endedWhileAsked = !w.state().workerBusy;
    };
    mount(0, RecoveryMode::Normal);
    click(w.controls().stopButton);
    ASSERT_TRUE(endedWhileAsked);
    EXPECT_EQ(w.state().WizardStep, Step::Browse);
    EXPECT_FALSE(w.state().stopRequested);
    EXPECT_FALSE(w.state().partialResult);
    EXPECT_FALSE(w.wizard().quickHelpText().contains("partial"));
}

TEST_F(Wizard, ExtensiveModeListsDeletedFilesGrey) {
    DORVAK_SKIP_WITHOUT_IMAGE("deleted.img");
    MainWindow& w = open({"deleted.img"});
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    mount(0, RecoveryMode::Extensive);
    ASSERT_TRUE(waitForStep(Step::Browse));
    const QStringList names = listColumn(FileListModel::Name);
    const int row = int(names.indexOf("gone-small.txt"));
    ASSERT_GE(row, 0) << names.join(",").toStdString();
    const QModelIndex type = w.listModel()->index(row, FileListModel::Type);
    EXPECT_TRUE(type.data().toString().startsWith("Deleted "))
        << type.data().toString().toStdString();
    EXPECT_EQ(type.data(Qt::ForegroundRole).value<QColor>(), QColor(150, 150, 150));
}

// Save Scan after an Extensive mount; Open Scan at the volume step browses
// the same catalog without a mount, and refuses the scan for another volume.
TEST_F(Wizard, ASavedScanOpensForItsVolumeOnlyAndBrowsesAsTheMountDid) {
    MainWindow& w = open({"part-disk.img"});
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    clickChild(w.wizard().volumeTree(), 0);
    EXPECT_EQ(w.menuState(cmd::OpenScan), kEnabled);
    EXPECT_EQ(w.menuState(cmd::SaveScan), kGrayed);
    mount(0, RecoveryMode::Extensive);
    ASSERT_TRUE(waitForStep(Step::Browse));
    EXPECT_EQ(w.menuState(cmd::SaveScan), kEnabled);
    EXPECT_EQ(w.menuState(cmd::OpenScan), kGrayed);
    const std::size_t folders = w.state().catalog.FolderList().size();
    const std::size_t files = w.state().catalog.FileList().size();
    const QStringList rows = listColumn(FileListModel::Name);
    const std::string path =
        (std::filesystem::temp_directory_path() / "dorvak-wizard.scan").string();
    std::string message;
    ASSERT_TRUE(saveScanTo(w.state(), path, message)) << message;

    click(w.controls().backButton);
    ASSERT_EQ(w.state().WizardStep, Step::Volume);
    clickChild(w.wizard().volumeTree(), 0);
    w.wizard().openSavedScan(path);
    ASSERT_TRUE(waitForStep(Step::Browse));
    EXPECT_EQ(w.state().catalog.recoveryMode, RecoveryMode::Extensive);
    EXPECT_EQ(w.state().catalog.FolderList().size(), folders);
    EXPECT_EQ(w.state().catalog.FileList().size(), files);
    EXPECT_EQ(listColumn(FileListModel::Name), rows);
    EXPECT_EQ(w.menuState(cmd::SaveScan), kEnabled);
    EXPECT_TRUE(messages.empty());

    click(w.controls().backButton);
    clickChild(w.wizard().volumeTree(), 1);
    w.wizard().openSavedScan(path);
    while (w.state().workerBusy)
        QTest::qWait(10);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("another disk or volume"))
        << messages[0].text.toStdString();
    EXPECT_EQ(w.state().WizardStep, Step::Volume);
    EXPECT_EQ(w.menuState(cmd::OpenScan), kEnabled);
    std::filesystem::remove(path);
}

// The catalog as a listing and a copy-out see it, one line per entry.
std::string dump(const Catalog& c) {
    std::ostringstream out;
    auto line = [&](const CatalogEntry& e) {
        out << e.name << ' ' << e.parentId << ' ' << e.objectId << ' ' << e.size << ' ' << e.deleted
            << '\n';
    };
    std::for_each(c.FolderList().begin(), c.FolderList().end(), line);
    std::for_each(c.FileList().begin(), c.FileList().end(), line);
    out << c.DirectItems().size() << ' ' << c.IndirectItems().size() << '\n';
    return out.str();
}

// An Extensive mount stopped part way (the test hook stops it at the same
// block every run) is saved; Open Scan offers to go on with it. No browses
// what it holds; Yes goes on, with the mount's progress and Stop, to the
// catalog of one whole scan. Commands that start a worker are grayed while
// one runs.
TEST_F(Wizard, AStoppedScanSavedAndOpenedGoesOnToWhatAWholeScanFinds) {
    MainWindow& w = open({"part-disk.img"});
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    EXPECT_EQ(w.menuState(cmd::CreateImage), kEnabled);
    mount(0, RecoveryMode::Extensive);
    for (int command : {cmd::CreateImage, cmd::OpenImage, cmd::OpenScan, cmd::SaveScan})
        EXPECT_EQ(w.menuState(command), kGrayed) << command;
    ASSERT_TRUE(waitForStep(Step::Browse));
    EXPECT_EQ(w.menuState(cmd::CreateImage), kEnabled);
    EXPECT_FALSE(w.state().partialResult);
    const std::string whole = dump(w.state().catalog);

    click(w.controls().backButton);
    qputenv("DORVAK_STOP_SCAN_AT", "40");
    mount(0, RecoveryMode::Extensive);
    const bool browsing = waitForStep(Step::Browse);
    qunsetenv("DORVAK_STOP_SCAN_AT");
    ASSERT_TRUE(browsing);
    EXPECT_TRUE(w.state().partialResult);
    ASSERT_TRUE(w.state().lastScan && w.state().lastScan->stopped);
    const std::string part = dump(w.state().catalog);
    EXPECT_NE(part, whole);
    const std::string path =
        (std::filesystem::temp_directory_path() / "dorvak-wizard-stopped.scan").string();
    std::string message;
    ASSERT_TRUE(saveScanTo(w.state(), path, message)) << message;
    EXPECT_TRUE(message.find("partial") != std::string::npos) << message;

    for (const int answer : {2, 1}) {
        SCOPED_TRACE(answer);
        click(w.controls().backButton);
        clickChild(w.wizard().volumeTree(), 0);
        messages.clear();
        answers = {answer};
        w.wizard().openSavedScan(path);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].yesNo);
        EXPECT_TRUE(messages[0].text.contains("was stopped")) << messages[0].text.toStdString();
        EXPECT_TRUE(shown(ctl().stopButton));
        EXPECT_EQ(w.menuState(cmd::CreateImage), kGrayed);
        ASSERT_TRUE(waitForStep(Step::Browse));
        EXPECT_EQ(dump(w.state().catalog), answer == 1 ? whole : part);
        EXPECT_EQ(w.state().partialResult, answer == 2);
        ASSERT_TRUE(w.state().lastScan);
        EXPECT_EQ(w.state().lastScan->stopped, answer == 2);
        EXPECT_EQ(w.menuState(cmd::CreateImage), kEnabled);
        EXPECT_EQ(messages.size(), 1u);
    }
    // A copy-out runs under its modal dialog as the worker of the moment.
    {
        const WorkerScope copying(w.state());
        for (int command : {cmd::RecoverAll, cmd::SaveScan, cmd::FindFiles, cmd::CreateImage})
            EXPECT_EQ(w.menuState(command), kGrayed) << command;
        EXPECT_FALSE(w.controls().tool(ToolButton::RecoverAll)->isEnabled());
    }
    EXPECT_EQ(w.menuState(cmd::RecoverAll), kEnabled);
    EXPECT_TRUE(w.controls().tool(ToolButton::RecoverAll)->isEnabled());
    std::filesystem::remove(path);
}

TEST_F(Wizard, CancelInTheModeDialogStaysAtTheVolumeStep) {
    MainWindow& w = open({"part-disk.img"});
    ASSERT_NO_FATAL_FAILURE(toVolumes());
    clickChild(w.wizard().volumeTree(), 0);
    QString title;
    bool normalChecked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<ModeDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        title = dialog->windowTitle();
        normalChecked = dialog->normalButton()->isChecked();
        dialog->reject();
    });
    click(w.controls().nextButton);
    EXPECT_EQ(title, "Select Mode Of Recovery");
    EXPECT_TRUE(normalChecked);
    EXPECT_EQ(w.state().WizardStep, Step::Volume);
    EXPECT_FALSE(w.state().workerBusy);
    EXPECT_FALSE(shown(ctl().nextButton));
    EXPECT_TRUE(w.wizard().volumeTree()->isVisible());
}

TEST_F(Wizard, EscapeNeverClosesAndExitDuringAMountWaitsForIt) {
    MainWindow& w = open({"part-disk.img"});
    QTest::keyClick(&w, Qt::Key_Escape);
    QTest::keyClick(w.wizard().diskTree(), Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(messages.empty());
    // F1 looks for the user guide beside the program (there is none beside
    // the tests); Live Update, with no updater configured, names the
    // package manager.
    QTest::keyClick(w.wizard().diskTree(), Qt::Key_F1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, " Tervolk Dorvak ReiserFS.chm not found");
    click(w.controls().tool(ToolButton::LiveUpdate));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, kPackageManagerUpdateText);
    messages.clear();

    ASSERT_NO_FATAL_FAILURE(toVolumes());
    mount(0, RecoveryMode::Extensive);
    answers = {1};
    EXPECT_TRUE(w.close());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kExitQuestion);
    EXPECT_FALSE(w.wizard().workerRunning());
    EXPECT_TRUE(w.state().catalog.FolderList().empty());
    EXPECT_TRUE(opened.empty()) << "closing the window opens nothing";
    QCoreApplication::processEvents(); // the worker's late end changes nothing
    EXPECT_TRUE(w.state().catalog.FolderList().empty());
}

TEST_F(Wizard, TheKeyboardAloneReachesEveryStep) {
    MainWindow& w = open({"part-disk.img"});
    StepTree* disks = w.wizard().diskTree();
    disks->setFocus();
    // The arrow keys choose a disk as a click does.
    QTest::keyClick(disks, Qt::Key_Down);
    if (disks->currentIndex() == disks->rootItem()) QTest::keyClick(disks, Qt::Key_Down);
    EXPECT_EQ(disks->currentIndex(), disks->child(0));
    ASSERT_TRUE(shown(ctl().nextButton));
    QTest::keyClick(disks, Qt::Key_N, Qt::AltModifier);
    ASSERT_EQ(w.state().WizardStep, Step::Volume);
    StepTree* volumes = w.wizard().volumeTree();
    ASSERT_GE(w.state().volumes.volumeCount, 2u);
    volumes->setFocus();
    QTest::keyClick(volumes, Qt::Key_Down);
    if (volumes->currentIndex() == volumes->rootItem()) QTest::keyClick(volumes, Qt::Key_Down);
    EXPECT_EQ(w.state().selectedVolume, 0);
    QTest::keyClick(volumes, Qt::Key_Down);
    EXPECT_EQ(w.state().selectedVolume, 1);
    EXPECT_TRUE(shown(ctl().nextButton));
    // Tab reaches Next; Enter presses it (the mode dialog answers Normal).
    w.wizard().setModeChooser([](RecoveryMode& m) {
        m = RecoveryMode::Normal;
        return true;
    });
    for (int i = 0; i < 12 && !ctl().nextButton->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(ctl().nextButton->hasFocus());
    QTest::keyClick(ctl().nextButton, Qt::Key_Return);
    ASSERT_TRUE(waitForStep(Step::Browse));
    // In browsing, Tab goes tree, list, Back; Alt+B goes back.
    StepTree* tree = w.wizard().catalogTree();
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Tab);
    EXPECT_TRUE(w.listPane().activeView()->hasFocus());
    QTest::keyClick(w.listPane().activeView(), Qt::Key_Tab);
    EXPECT_TRUE(ctl().backButton->hasFocus());
    QTest::keyClick(ctl().backButton, Qt::Key_Tab);
    EXPECT_TRUE(tree->hasFocus());
    QTest::keyClick(tree, Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(w.state().WizardStep, Step::Volume);
    QTest::keyClick(w.wizard().volumeTree(), Qt::Key_B, Qt::AltModifier);
    EXPECT_EQ(w.state().WizardStep, Step::Disk);
}

TEST_F(Wizard, ADroppedImageJoinsTheDiskList) {
    MainWindow& w = open({"part-disk.img"});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(testImage("v4096.img").string()))});
    QDragEnterEvent enter(QPoint(400, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(400, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &drop);
    ASSERT_EQ(w.wizard().diskTree()->model()->rowCount(w.wizard().diskTree()->rootItem()), 2);
    // Each disk says what it is: here the image file.
    EXPECT_EQ(w.wizard().diskTree()->child(0).data().toString(),
              "Storage Device0  (part-disk.img)");
    EXPECT_EQ(w.wizard().diskTree()->child(1).data().toString(), "Storage Device1  (v4096.img)");
    clickChild(w.wizard().diskTree(), 1);
    EXPECT_EQ(value(0), "v4096.img");
    EXPECT_TRUE(messages.empty());
}

TEST_F(Wizard, NoTableGivesTheMessageAndTheSearchStillRuns) {
    // A file that holds no partition table and no volume.
    MainWindow& w = open({"part-disk.layout.json"});
    clickChild(w.wizard().diskTree(), 0);
    click(w.controls().nextButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, kNoPartitionFound);
    EXPECT_EQ(messages[0].kind, MessageKind::Information);
    EXPECT_EQ(w.state().WizardStep, Step::Disk);
    EXPECT_TRUE(shown(ctl().nextButton));
    click(w.controls().searchOption);
    click(w.controls().nextButton);
    ASSERT_TRUE(waitForStep(Step::Volume));
    EXPECT_EQ(w.state().volumes.volumeCount, 0u);
}

} // namespace
} // namespace dorvak::test
