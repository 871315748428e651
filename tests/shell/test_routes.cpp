// Every mouse and keyboard route of the window, by real events on the real
// window over the mounted sample volume: the item menu at the pointer, the
// three views alike, the tree's empty space, header sorting, Find's results,
// the wizard by keyboard, a window that grows.
#include "window_fixture.h"

#include "shell/catalog_models.h"
#include "shell/find_dialog.h"
#include "shell/tool_dialogs.h"
#include "ui/controls/xp_group_box.h"
#include "ui/menu/qm_menu.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace dorvak::test {
namespace {

class Routes : public WindowTest {
protected:
    void SetUp() override {
        DORVAK_SKIP_WITHOUT_IMAGE("sample.img");
        // Sizes and column widths go to a settings file of the tests.
        useEmptySettings();
        WindowTest::SetUp();
        browseSample();
    }
    QStringList names() const {
        QStringList out;
        for (int r = 0; r < window->listModel()->rowCount(); ++r)
            out << window->listModel()->index(r, 0).data().toString();
        return out;
    }
    QAbstractItemView* view() const { return window->listPane().activeView(); }
    QPoint centreOf(const QString& name) const {
        return view()->visualRect(window->listModel()->index(row(name), 0)).center();
    }
    void press(const QString& name, Qt::MouseButton button = Qt::LeftButton) {
        ASSERT_GE(row(name), 0) << name.toStdString();
        QTest::mouseClick(view()->viewport(), button, {}, centreOf(name));
    }
    void doubleClick(const QString& name) {
        ASSERT_GE(row(name), 0) << name.toStdString();
        const QPoint at = centreOf(name);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, at);
        QCoreApplication::processEvents(); // the queued open
    }
    void backToRoot() {
        StepTree* tree = window->wizard().catalogTree();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualRect(tree->rootItem()).center());
    }
};

TEST_F(Routes, RightClickOpensTheItemMenuAtThePointerForTheRowUnderIt) {
    for (int mode : {cmd::ViewDetails, cmd::ViewList, cmd::ViewIcons}) {
        SCOPED_TRACE(mode);
        window->runCommand(mode);
        QPoint menuAt(-1, -1);
        QString current;
        QTimer::singleShot(50, [&] {
            if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menuAt = m->pos();
                current = window->listModel()
                              ->index(window->listPane().currentRow(), 0)
                              .data()
                              .toString();
                m->close();
            }
        });
        press("readme.txt", Qt::RightButton);
        QTest::qWait(100);
        const QPoint pointer = view()->viewport()->mapToGlobal(centreOf("readme.txt"));
        EXPECT_EQ(current, "readme.txt");
        // At the pointer (a menu that would leave the screen is moved in).
        EXPECT_LE((menuAt - pointer).manhattanLength(), 2)
            << menuAt.x() << "," << menuAt.y() << " vs " << pointer.x() << "," << pointer.y();
        EXPECT_FALSE(window->state().treePaneActive);
    }
}

TEST_F(Routes, ListAndIconsViewsOpenRenameAndEnterAsDetails) {
    for (int mode : {cmd::ViewList, cmd::ViewIcons}) {
        SCOPED_TRACE(mode);
        backToRoot();
        window->runCommand(mode);
        ASSERT_TRUE(view()->isVisible());
        ASSERT_NE(view(), window->listPane().detailsView());
        doubleClick("Documents");
        EXPECT_GE(row("Letters"), 0) << names().join(",").toStdString();
        // Enter on a folder of the list lists it (not the tree's folder again).
        press("Letters");
        QTest::keyClick(view(), Qt::Key_Return);
        EXPECT_EQ(row("Letters"), -1);
        EXPECT_FALSE(names().isEmpty());
        // F2 edits the name in this view.
        backToRoot();
        press("readme.txt");
        QTest::keyClick(view(), Qt::Key_F2);
        EXPECT_TRUE(window->state().renaming);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(window->state().renaming);
        EXPECT_GE(row("readme.txt"), 0);
    }
}

TEST_F(Routes, AClickOnNoTreeItemChoosesTheRootAndListsNothingNew) {
    doubleClick("Documents");
    const QStringList shown = names();
    ASSERT_TRUE(shown.contains("Letters"));
    StepTree* tree = window->wizard().catalogTree();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(tree->viewport()->width() / 2, tree->viewport()->height() - 3));
    QCoreApplication::processEvents();
    EXPECT_EQ(tree->currentIndex(), tree->rootItem());
    EXPECT_EQ(names(), shown);
}

TEST_F(Routes, HeaderClicksSortFoldersFirstThenReverseThenRestoreTheCatalogOrder) {
    QHeaderView* header = window->listPane().detailsView()->header();
    const QStringList catalogOrder = names();
    auto clickHeader = [&](int column) {
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    auto sizes = [&] {
        std::vector<qulonglong> out;
        for (int r = 0; r < window->listModel()->rowCount(); ++r)
            if (!window->listModel()->row(r).folder)
                out.push_back(window->listModel()->entry(r).size);
        return out;
    };
    auto foldersFirst = [&] {
        bool file = false;
        for (int r = 0; r < window->listModel()->rowCount(); ++r) {
            if (window->listModel()->row(r).folder && file) return false;
            file = file || !window->listModel()->row(r).folder;
        }
        return true;
    };
    press("readme.txt");
    clickHeader(FileListModel::Size);
    std::vector<qulonglong> s = sizes();
    EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
    EXPECT_TRUE(foldersFirst());
    // The selection follows its entry.
    EXPECT_EQ(window->listModel()->index(window->listPane().currentRow(), 0).data().toString(),
              "readme.txt");
    clickHeader(FileListModel::Size);
    s = sizes();
    EXPECT_TRUE(std::is_sorted(s.rbegin(), s.rend()));
    EXPECT_TRUE(foldersFirst());
    clickHeader(FileListModel::Size);
    EXPECT_EQ(names(), catalogOrder);
    clickHeader(FileListModel::Name);
    QStringList byName = names();
    EXPECT_TRUE(foldersFirst());
    EXPECT_NE(byName, catalogOrder);
}

// Whether `view` draws grid lines around the cell `index` (in a row that is
// not selected): the line under it, across its width, and the one right of it.
bool drawsGridAround(QTreeView* view, const QModelIndex& index) {
    const QImage img = view->viewport()->grab().toImage();
    const QRect r = view->visualRect(index);
    const QColor line(0xd8, 0xd8, 0xd8);
    const QColor inside = img.pixelColor(r.center().x(), r.center().y() - 2);
    bool ok = inside != line && img.pixelColor(r.right(), r.center().y()) == line;
    for (int x = r.left() + 2; x < r.right(); x += 7)
        ok = ok && img.pixelColor(x, r.bottom()) == line;
    return ok;
}

TEST_F(Routes, TheListAndFindsResultsDrawGridLines) {
    QTreeView* list = window->listPane().detailsView();
    list->selectionModel()->clear();
    EXPECT_TRUE(drawsGridAround(list, window->listModel()->index(1, FileListModel::Type)));
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<FindDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        d->patternEdit()->setText("*");
        QSignalSpy ended(d, &FindDialog::searchEnded);
        d->startButton()->click();
        if (ended.count() > 0 || ended.wait(10000)) {
            auto* results = d->findChild<QTreeView*>();
            results->selectionModel()->clear();
            EXPECT_TRUE(drawsGridAround(results, d->results()->index(1, 1)));
            checked = true;
        }
        d->reject();
    });
    window->runCommand(cmd::FindFiles);
    EXPECT_TRUE(checked);
}

TEST_F(Routes, FindResultsShowIconsAndTheChosenEntryInTheWindow) {
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<FindDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        d->patternEdit()->setText("budget*");
        QSignalSpy ended(d, &FindDialog::searchEnded);
        d->startButton()->click();
        if (ended.count() == 0 && !ended.wait(10000)) return d->reject();
        if (d->results()->rowCount() < 1) return d->reject();
        auto* results = d->findChild<QTreeView*>();
        const QModelIndex first = d->results()->index(0, 0);
        EXPECT_FALSE(first.data(Qt::DecorationRole).value<QIcon>().isNull());
        EXPECT_EQ(d->results()->index(0, 1).data().toString(), "/Documents");
        EXPECT_EQ(d->results()->index(0, 2).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
                  int(Qt::AlignRight));
        checked = true;
        const QPoint at = results->visualRect(first).center();
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, at);
    });
    click(window->controls().tool(ToolButton::FindFiles));
    ASSERT_TRUE(checked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_GE(row("Letters"), 0) << "the file's folder is listed";
    EXPECT_EQ(window->listModel()->index(window->listPane().currentRow(), 0).data().toString(),
              "budget 2010.csv");
    EXPECT_FALSE(window->state().treePaneActive);
}

TEST_F(Routes, TheWindowGrowsWithItsPanesAndKeepsItsSizeAndColumns) {
    MainWindow& w = *window;
    // A settings file of this test's own: the other tests, run at the same
    // time in processes of their own, save their window sizes too.
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(name + "-grows");
    QSettings().clear();
    const QSize base = w.size();
    EXPECT_EQ(w.minimumSize(), base);
    const int listWidth = w.listPane().detailsView()->width();
    const int nextX = w.controls().backButton->x();
    const int treeHeight = w.wizard().catalogTree()->height();
    const int helpY = w.controls().quickHelp->y();
    w.resize(base + QSize(200, 120));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.listPane().detailsView()->width(), listWidth + 200);
    EXPECT_EQ(w.controls().backButton->x(), nextX + 200);
    EXPECT_EQ(w.wizard().catalogTree()->height(), treeHeight + 120);
    EXPECT_EQ(w.controls().quickHelp->y(), helpY + 120);
    w.listPane().detailsView()->setColumnWidth(FileListModel::Type, 140);
    window.reset();
    MainWindow again({}, false);
    EXPECT_EQ(again.size(), base + QSize(200, 120));
    again.listPane().showDetailsColumns();
    EXPECT_EQ(again.listPane().detailsView()->columnWidth(FileListModel::Type), 140);
    QSettings().clear();
    QCoreApplication::setApplicationName(name);
}

TEST_F(Routes, FailuresAreSaidInTheWindow) {
    // A file no desktop application takes: a message that offers Open With.
    MainWindow::setDesktopOpener([](const QUrl&) { return false; });
    QStringList chooserOffered;
    window->listPane().setAppChooser([&](const QString&, const QStringList&) {
        chooserOffered << "asked";
        return QString();
    });
    press("readme.txt");
    QTest::keyClick(view(), Qt::Key_Return);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, "No application is set to open readme.txt.");
    EXPECT_EQ(messages.back().buttons.value(0), "Open &With...");
    EXPECT_EQ(chooserOffered.size(), 1) << "the first button chooses an application";
    window.reset();

    // Images named on the command line that cannot be read: one message
    // each, naming it, once the window shows.
    messages.clear();
    const QString folder = QDir::tempPath();
    window = std::make_unique<MainWindow>(QStringList{"/no/such/disk.img", folder}, false);
    window->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[0].text.contains("/no/such/disk.img")) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[1].text.contains(folder)) << messages[1].text.toStdString();
    for (const MessageRequest& m : messages)
        EXPECT_EQ(m.kind, MessageKind::Error);
}

// Faults of the window, one row each.
TEST_F(Routes, AboutSettingsToolbarAndGuide) {
    MainWindow& w = *window;
    // About names this product.
    bool about = false;
    for (QAction* menu : w.menuBar()->actions())
        for (QAction* a : menu->menu() ? menu->menu()->actions() : QList<QAction*>())
            about = about || a->text() == "&About Tervolk Dorvak ReiserFS...";
    EXPECT_TRUE(about);

    // Recovery Settings: the captions bold, nothing else.
    SettingsDialog settings(w.state().settings, {}, &w);
    int groups = 0;
    for (auto* g : settings.findChildren<XPGroupBox*>()) {
        ++groups;
        EXPECT_TRUE(g->font().bold());
        for (QWidget* child : g->findChildren<QWidget*>())
            EXPECT_FALSE(child->font().bold()) << child->metaObject()->className();
    }
    EXPECT_EQ(groups, 5); // the four settings and the name encoding
    // Escape closes it as Cancel.
    settings.show();
    QTest::keyClick(&settings, Qt::Key_Escape);
    EXPECT_FALSE(settings.isVisible());

    // The toolbar's buttons are disabled exactly with their menu items.
    for (ToolButton b : {ToolButton::RecoverSelected, ToolButton::FindFiles, ToolButton::Settings})
        EXPECT_TRUE(w.controls().tool(b)->isEnabled());
    click(w.controls().backButton);
    EXPECT_EQ(w.state().WizardStep, Step::Volume);
    EXPECT_FALSE(w.controls().tool(ToolButton::FindFiles)->isEnabled());
    EXPECT_FALSE(w.controls().tool(ToolButton::RecoverAll)->isEnabled());
    EXPECT_TRUE(w.controls().tool(ToolButton::LiveUpdate)->isEnabled());

    // F1, the home page button and Buy Online open the guide beside the
    // program when there is one.
    const QString here = QCoreApplication::applicationDirPath() + "/guide";
    ASSERT_TRUE(QDir().mkpath(here));
    std::ofstream(QString(here + "/index.html").toStdString()) << "<html></html>";
    QTest::keyClick(w.wizard().volumeTree(), Qt::Key_F1);
    click(w.controls().homePage);
    click(w.controls().buyOnline);
    QDir(here).removeRecursively();
    ASSERT_EQ(opened.size(), 3u);
    for (const QUrl& u : opened)
        EXPECT_EQ(u, QUrl::fromLocalFile(here + "/index.html"));
}

} // namespace
} // namespace dorvak::test
