// Browsing the mounted sample volume in the window, and the browsing tools.
#include "window_fixture.h"

#include "manifest.h"
#include "sha256.h"
#include "shell/catalog_models.h"
#include "shell/find_dialog.h"
#include "shell/recovery.h"
#include "shell/tool_dialogs.h"
#include "ui/controls/xp_group_box.h"
#include "ui/menu/icon_menu.h"
#include "ui/menu/qm_menu.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <thread>

namespace dorvak::test {
namespace {

class Browse : public WindowTest {
protected:
    void SetUp() override {
        DORVAK_SKIP_WITHOUT_IMAGE("sample.img");
        WindowTest::SetUp();
        browseSample();
    }
    QPoint rowCentre(int r) const {
        return window->listPane()
            .detailsView()
            ->visualRect(window->listModel()->index(r, 0))
            .center();
    }
    void doubleClickRow(const QString& name) {
        const int r = row(name);
        ASSERT_GE(r, 0) << name.toStdString();
        QTest::mouseClick(window->listPane().detailsView()->viewport(), Qt::LeftButton, {},
                          rowCentre(r));
        QTest::mouseDClick(window->listPane().detailsView()->viewport(), Qt::LeftButton, {},
                           rowCentre(r));
        QCoreApplication::processEvents(); // the queued open
    }
    void selectRow(const QString& name) {
        const int r = row(name);
        ASSERT_GE(r, 0) << name.toStdString();
        QTest::mouseClick(window->listPane().detailsView()->viewport(), Qt::LeftButton, {},
                          rowCentre(r));
    }
};

TEST_F(Browse, DoubleClickOpensFoldersAndExpandsTheirAncestors) {
    MainWindow& w = *window;
    doubleClickRow("Documents");
    EXPECT_GE(row("Letters"), 0);
    EXPECT_GE(row("budget 2010.csv"), 0);
    EXPECT_EQ(w.listModel()->index(0, FileListModel::Type).data().toString(), "Folder");
    doubleClickRow("Letters");
    EXPECT_GE(row("to-bank.txt"), 0);
    const QModelIndex current = w.wizard().catalogTree()->currentIndex();
    EXPECT_EQ(current.data().toString(), "Letters");
    EXPECT_TRUE(w.wizard().catalogTree()->isExpanded(current.parent()));
    EXPECT_TRUE(w.wizard().catalogTree()->isExpanded(w.wizard().catalogTree()->rootItem()));
    EXPECT_TRUE(w.state().treePaneActive);
    // A click on the tree's root lists the root again.
    const QRect r = w.wizard().catalogTree()->visualRect(w.wizard().catalogTree()->rootItem());
    QTest::mouseClick(w.wizard().catalogTree()->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_GE(row("readme.txt"), 0);
}

TEST_F(Browse, RenameRestoresEmptyAndCancelledNamesAndRenamesEverywhere) {
    MainWindow& w = *window;
    selectRow("Music");
    ASSERT_TRUE(w.listPane().beginRename());
    auto* editor = w.listPane().detailsView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor commits on a queued call
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_GE(row("Music"), 0);
    EXPECT_FALSE(w.state().renaming);

    ASSERT_TRUE(w.listPane().beginRename());
    editor = w.listPane().detailsView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("Songs");
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_GE(row("Music"), 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.state().renaming);
    EXPECT_EQ(w.listPane().currentRow(), row("Music"));

    ASSERT_TRUE(w.listPane().beginRename());
    editor = w.listPane().detailsView()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->maxLength(), 255);
    editor->setText("Songs");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the editor commits on a queued call
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_GE(row("Songs"), 0);
    const long music = w.state().catalog.folderIndex(7);
    ASSERT_GE(music, 0);
    EXPECT_EQ(w.state().catalog.FolderList()[std::size_t(music)].name, "Songs");
    const auto item = w.folderModel()->indexForTreeItem(
        w.state().catalog.FolderList()[std::size_t(music)].treeItem);
    EXPECT_EQ(item.data().toString(), "Songs");
}

TEST_F(Browse, ItemMenuGraysOpenWithOnFoldersAndIsRefusedWhileBusy) {
    MainWindow& w = *window;
    auto openWithFlags = [&](const QString& name) {
        selectRow(name);
        long flags = -1; // stays -1 when no menu appears
        QTimer::singleShot(0, [&] {
            QmMenu* popup =
                w.listPane().itemMenu() ? w.listPane().itemMenu()->item(0).submenu : nullptr;
            if (!popup) return;
            flags = long(popup->item(popup->positionOf(cmd::OpenWith)).flags);
            popup->menu()->close();
        });
        QTest::keyClick(w.listPane().detailsView(), Qt::Key_Menu);
        return flags;
    };
    const long folder = openWithFlags("Photos"), file = openWithFlags("readme.txt");
    ASSERT_NE(folder, -1);
    ASSERT_NE(file, -1);
    EXPECT_TRUE(folder & QmMenu::Grayed);
    EXPECT_FALSE(file & QmMenu::Grayed);

    // While a worker runs, no menu at all.
    selectRow("readme.txt");
    w.state().workerBusy = true;
    bool appeared = false;
    QTimer::singleShot(0, [&] {
        if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            appeared = true;
            m->close();
        }
    });
    w.listPane().showItemMenu();
    QCoreApplication::processEvents();
    w.state().workerBusy = false;
    EXPECT_FALSE(appeared);
}

TEST_F(Browse, AToolbarButtonActsOnlyWhileItsMenuItemIsEnabled) {
    MainWindow& w = *window;
    auto findOpens = [&] {
        bool opened = false;
        QTimer::singleShot(0, [&] {
            if (auto* d = qobject_cast<FindDialog*>(QApplication::activeModalWidget())) {
                opened = true;
                d->reject();
            }
        });
        click(w.controls().tool(ToolButton::FindFiles));
        QCoreApplication::processEvents();
        return opened;
    };
    EXPECT_TRUE(findOpens());
    w.menuHolding(cmd::FindFiles)->setItemEnabled(cmd::FindFiles, false);
    EXPECT_FALSE(findOpens());
}

TEST_F(Browse, OpenCopiesTheFileIntoThePrivateFolder) {
    MainWindow& w = *window;
    selectRow("readme.txt");
    QTest::keyClick(w.listPane().detailsView(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1u);
    const QString file = opened[0].toLocalFile();
    EXPECT_TRUE(file.startsWith(w.listPane().openFolder())) << file.toStdString();
    std::string expected;
    for (const auto& e : readManifest(testImage("sample.manifest.jsonl")))
        if (e.path == "/readme.txt") expected = e.sha256;
    EXPECT_EQ(sha256FileHex(file.toStdString()), expected);
    // A double click opens it once more, not twice.
    doubleClickRow("readme.txt");
    EXPECT_EQ(opened.size(), 2u);
    const QString folder = w.listPane().openFolder();
    window.reset(); // the private folder goes with the window
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(Browse, RecoverSelectedWritesTheSelectionByteForByte) {
    MainWindow& w = *window;
    QTemporaryDir dest;
    w.browseCommands().setFolderChooser([&] { return dest.path(); });
    selectRow("Documents");
    QTest::mouseClick(w.listPane().detailsView()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      rowCentre(row("readme.txt")));
    answers = {};
    w.runCommand(cmd::RecoverSelected);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("file(s) written")) << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].buttons.size(), 2);
    int compared = 0;
    for (const auto& e : readManifest(testImage("sample.manifest.jsonl"))) {
        if (e.kind != "file") continue;
        const bool selected = e.path == "/readme.txt" || e.path.rfind("/Documents/", 0) == 0;
        const std::string out =
            dest.path().toStdString() + (e.path == "/readme.txt" ? e.path : e.path);
        EXPECT_EQ(std::filesystem::exists(out), selected) << e.path;
        if (!selected) continue;
        EXPECT_EQ(sha256FileHex(out), e.sha256) << e.path;
        ++compared;
    }
    EXPECT_EQ(compared, 3);
}

TEST_F(Browse, SettingsOkStoresAndCancelDoesNot) {
    MainWindow& w = *window;
    EXPECT_EQ(w.state().settings.sectorsPerRead, 60u);
    auto run = [&](bool ok) {
        QTimer::singleShot(0, [&, ok] {
            auto* d = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            EXPECT_FALSE(d->deletedGroup()->isVisible());
            d->sectorsList()->setCurrentIndex(99);
            d->retriesList()->setCurrentIndex(9);
            d->duplicateButton(3)->setChecked(true);
            ok ? d->accept() : d->reject();
        });
        w.runCommand(cmd::Settings);
    };
    run(false);
    EXPECT_EQ(w.state().settings.sectorsPerRead, 60u);
    EXPECT_EQ(w.state().settings.badSectorRetries, 3u);
    EXPECT_EQ(w.state().settings.duplicatePolicy, 1u);
    run(true);
    EXPECT_EQ(w.state().settings.sectorsPerRead, 100u);
    EXPECT_EQ(w.state().settings.badSectorRetries, 10u);
    EXPECT_EQ(w.state().reader.badSectorRetries, 10u);
    EXPECT_EQ(w.state().settings.duplicatePolicy, 3u);
    EXPECT_EQ(w.state().settings.deletedPolicy, 1u);
}

TEST_F(Browse, FiltersKeepOrderAndLimitsAndCloseListsTheRoot) {
    MainWindow& w = *window;
    doubleClickRow("Documents");
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<FiltersDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        for (const char* f : {"*.TXT", "B", "*.txt"}) {
            d->edit()->setText(f);
            d->addFilter();
        }
        d->edit()->setText("*.TXT");
        d->addFilter();
        d->edit()->setText("12345678901234567890");
        d->addFilter();
        EXPECT_EQ(d->edit()->selectedText(), "1234567890123456789");
        d->edit()->clear();
        d->addFilter();
        d->list()->setCurrentRow(1); // "B"
        d->removeFilter();
        d->accept();
    });
    w.runCommand(cmd::FileFilters);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].text, FiltersDialog::kExists);
    EXPECT_EQ(messages[1].text, FiltersDialog::kTooLong);
    EXPECT_EQ(messages[2].text, FiltersDialog::kBlank);
    EXPECT_EQ(w.listModel()->filters(), (std::vector<std::string>{"*.txt", "*.TXT"}));
    // The root under the filters: folders always, files only when they match.
    EXPECT_GE(row("Documents"), 0);
    EXPECT_GE(row("readme.txt"), 0);
    EXPECT_TRUE(w.state().treePaneActive);

    FiltersDialog full(std::vector<std::string>(99, "x"));
    full.edit()->setText("new");
    full.addFilter();
    EXPECT_EQ(messages.back().text, FiltersDialog::kFull);
    EXPECT_EQ(full.list()->count(), 99);
}

TEST_F(Browse, DriveInformationAfterEachMode) {
    MainWindow& w = *window;
    const VolumeInfo& v = *w.state().selectedVolumeInfo();
    DriveInfoDialog normal(v, w.state().catalog, false);
    EXPECT_EQ(normal.valueText(0), "ReiserFS - 0");
    EXPECT_EQ(normal.valueText(1), QString::number(v.startSector));
    EXPECT_EQ(normal.valueText(2),
              QStringLiteral("%1 sectors (%2 MB)").arg(v.sectorCount).arg(v.sectorCount / 2048));
    EXPECT_EQ(normal.valueText(3), "4096 bytes");
    EXPECT_EQ(normal.valueText(4), QString::number(v.startSector + 128));
    EXPECT_EQ(normal.valueText(5), QString::number(w.state().catalog.fileCount()));
    EXPECT_EQ(normal.valueText(7), "Normal");
    EXPECT_EQ(DriveInfoDialog(v, w.state().catalog, true).valueText(7), "Extensive");
}

TEST(Properties, FileKilobytesAndFolderSubtreeTotals) {
    EXPECT_EQ(fileSizeText("1025"), "2 KB");
    EXPECT_EQ(fileSizeText("junk"), "0 KB");
    // F (10) holds S (11) with two files of 600 KiB, and a file of 1 MiB.
    Catalog c;
    c.AddFolder("F", 2, 10, 1, 2);
    c.AddFolder("S", 10, 11, 1, 10);
    c.AddFolder("E", 2, 12, 1, 2);
    c.AddFile("a", 11, 20, 1, 0, 600 * 1024, 11);
    c.AddFile("b", 11, 21, 1, 0, 600 * 1024, 11);
    c.AddFile("c", 10, 22, 1, 0, 1024 * 1024, 10);
    c.BuildFolderTree(2);
    FolderTreeModel tree;
    tree.setCatalog(&c, "V");
    const PropertiesText f = folderProperties(c, tree, c.FolderList()[0].treeItem);
    EXPECT_EQ(f.contains, "3 File(s) and 1 Folder(s)");
    EXPECT_EQ(f.size, "2 MB");
    const PropertiesText e = folderProperties(c, tree, c.FolderList()[2].treeItem);
    EXPECT_EQ(e.contains, "0 File(s) and 0 Folder(s)");
    EXPECT_EQ(e.size, "Less than 1 MB");
    EXPECT_EQ(folderProperties(c, tree, 999).contains, "0 File(s) and 0 Folder(s)");
}

// Find over a catalog made here: names, paths from the tree, sizes.
class Find : public WindowTest {};

TEST_F(Find, PatternsPathsAndSizesThenPauseAndStop) {
    Catalog c;
    c.AddFolder("A", 2, 10, 1, 2);
    c.AddFolder("B", 10, 11, 1, 10);
    c.AddFile("readme.txt", 2, 20, 1, 0, 5, 2);
    c.AddFile("my_readme", 11, 21, 1, 0, 6ull << 32, 11);
    c.AddFile("abc", 10, 22, 1, 0, 1, 10);
    c.AddFile("ab", 10, 23, 1, 0, 1, 10);
    c.AddFile("a.txt", 10, 24, 1, 0, 1, 10);
    c.AddFile("axb", 10, 25, 1, 0, 1, 10);
    c.AddFile("c", 10, 26, 1, 0, 1, 10);
    c.BuildFolderTree(2);
    FolderTreeModel tree;
    tree.setCatalog(&c, "V");
    FindDialog d(c, tree);
    auto search = [&](const char* pattern) {
        d.patternEdit()->setText(pattern);
        QSignalSpy ended(&d, &FindDialog::searchEnded);
        d.startButton()->click();
        EXPECT_TRUE(ended.count() > 0 || ended.wait(10000));
        QStringList names;
        for (int r = 0; r < d.results()->rowCount(); ++r)
            names << d.results()->index(r, 0).data().toString();
        return names.join(",");
    };
    EXPECT_EQ(search("readme"), "readme.txt,my_readme");
    EXPECT_EQ(d.results()->index(0, 1).data().toString(), "/");
    EXPECT_EQ(d.results()->index(1, 1).data().toString(), "/A/B");
    EXPECT_EQ(d.results()->index(1, 2).data().toString(), "25769803776");
    EXPECT_EQ(d.filesFound(), "2");
    EXPECT_EQ(d.lastFile(), "my_readme");
    EXPECT_EQ(search("*.TXT"), "readme.txt,a.txt");
    EXPECT_EQ(search("AB?"), "abc");
    EXPECT_EQ(search("*.*"), "readme.txt,a.txt");
    EXPECT_EQ(search("A*B"), "ab,axb");
    EXPECT_EQ(search("*?C"), "abc");
    EXPECT_EQ(search("*.T?T"), "readme.txt,a.txt");
    EXPECT_FALSE(d.stopButton()->isEnabled());

    // A long search, paused by the question (no finds while it is open),
    // then ended by Yes with the finds so far kept; closing is refused
    // while it runs.
    Catalog big;
    for (std::uint32_t i = 0; i < 2000000; ++i)
        big.AddFile("f" + std::to_string(i), 2, 100 + i, 1, 0, i, 2);
    big.BuildFolderTree(2);
    FolderTreeModel bigTree;
    bigTree.setCatalog(&big, "V");
    FindDialog slow(big, bigTree);
    slow.show();
    slow.patternEdit()->setText("*");
    QSignalSpy ended(&slow, &FindDialog::searchEnded);
    slow.startButton()->click();
    slow.reject();
    EXPECT_TRUE(slow.isVisible());
    int atQuestion = -1, afterPause = -1;
    answers = {1};
    onMessage = [&](const MessageRequest&) {
        atQuestion = slow.results()->rowCount();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        afterPause = slow.results()->rowCount();
    };
    slow.stopButton()->click();
    ASSERT_TRUE(ended.count() > 0 || ended.wait(20000));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, FindDialog::kStopQuestion);
    EXPECT_LE(afterPause - atQuestion, 0) << "finds arrived while paused";
    EXPECT_LT(slow.results()->rowCount(), 2000000);
    slow.reject();
    EXPECT_FALSE(slow.isVisible());
}

TEST_F(Find, SavingDialogSkipAndStopLeaveItOpenUntilTheCopyEnds) {
    SavingDialog d;
    std::atomic<bool> sawSkip{false}, release{false};
    d.show();
    QSignalSpy done(&d, &SavingDialog::finished);
    d.start([&](CopyProgressSink&, CopyRequests& r) {
        while (!r.skipFileRequested)
            std::this_thread::yield();
        sawSkip = true;
        while (!r.stopSavingRequested || !release)
            std::this_thread::yield();
        CopySummary s;
        s.stopped = true;
        return s;
    });
    d.skipButton()->click();
    d.stopButton()->click();
    d.reject(); // no closing while it runs
    QCoreApplication::processEvents();
    EXPECT_TRUE(d.isVisible());
    release = true;
    ASSERT_TRUE(done.wait(10000));
    EXPECT_TRUE(sawSkip);
    EXPECT_FALSE(d.isVisible());
    EXPECT_TRUE(d.summary().stopped);
    EXPECT_TRUE(d.requests().saveFinished);
}

} // namespace
} // namespace dorvak::test
