// window-bench: what the window costs on top of the core, timed here and
// now on the same data.
//   window-bench IMAGE              the catalog tree and the root's list on
//                                   screen after a mount, against the mount
//   window-bench --folders N        the same for N synthetic folders (a file
//                                   in each), against building that catalog
//   window-bench --files N          one folder of N files listed and scrolled
//                                   through, top to bottom
//   window-bench --find N           Find "*.TXT" over N names, to its end
//   window-bench --recover IMAGE DEST   Recover All of volume 0 through the
//                                   saving dialog (the script compares it
//                                   with the command line's recover)
#include "browse/liveness.h"
#include "reiserfs/mount.h"
#include "shell/catalog_models.h"
#include "shell/find_dialog.h"
#include "shell/recovery.h"
#include "shell/step_tree.h"
#include "volume/partition_walk.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeView>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

using namespace dorvak;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// What the window does when a mount has ended, up to the first paint.
double showCatalog(const Catalog& catalog) {
    const auto t0 = Clock::now();
    FolderTreeModel folders;
    FileListModel list;
    StepTree tree(1, QString());
    QTreeView view;
    tree.resize(223, 320);
    view.resize(552, 294);
    folders.setCatalog(&catalog, QStringLiteral("ReiserFS - 0"));
    tree.setFolderModel(&folders);
    list.setCatalog(&catalog);
    list.FillFileList(2);
    view.setModel(&list);
    tree.show();
    view.show();
    tree.grab();
    view.grab();
    return seconds(t0, Clock::now());
}

int listFiles(unsigned n) {
    Catalog catalog;
    for (unsigned i = 0; i < n; ++i)
        catalog.AddFile("file" + std::to_string(i) + (i % 3 ? ".txt" : ".jpg"), 2, 100 + i,
                        1262304000 + i, 0, i, 2);
    catalog.BuildFolderTree(2);
    const auto t0 = Clock::now();
    FileListModel list;
    QTreeView view;
    view.resize(552, 294);
    list.setCatalog(&catalog);
    list.FillFileList(2);
    view.setModel(&list);
    view.show();
    view.grab();
    const double shown = seconds(t0, Clock::now());
    // 500 pages spread from top to bottom, each painted: only the rows on
    // screen are asked for.
    const auto t1 = Clock::now();
    int pages = 0;
    QScrollBar* bar = view.verticalScrollBar();
    const int stride = std::max(bar->pageStep(), bar->maximum() / 500);
    for (int v = 0; v <= bar->maximum(); v += stride, ++pages) {
        bar->setValue(v);
        view.viewport()->grab();
    }
    const double scrolled = seconds(t1, Clock::now());
    std::printf("%u files in one folder: listed and shown in %.3f s; %d pages painted while "
                "scrolling in %.3f s "
                "(%.2f ms a page)\n",
                n, shown, pages, scrolled, 1000 * scrolled / std::max(pages, 1));
    return 0;
}

int findNames(unsigned n) {
    Catalog catalog;
    for (unsigned i = 0; i < n; ++i)
        catalog.AddFile("name" + std::to_string(i) + (i % 10 ? ".dat" : ".txt"), 2, 100 + i, 1, 0,
                        i, 2);
    catalog.BuildFolderTree(2);
    FolderTreeModel tree;
    tree.setCatalog(&catalog, QStringLiteral("V"));
    FindDialog find(catalog, tree);
    find.show();
    find.patternEdit()->setText(QStringLiteral("*.TXT"));
    QEventLoop loop;
    QObject::connect(&find, &FindDialog::searchEnded, &loop, &QEventLoop::quit);
    const auto t0 = Clock::now();
    find.startSearch();
    loop.exec();
    std::printf("Find *.TXT over %u names: %d found in %.3f s\n", n, find.results()->rowCount(),
                seconds(t0, Clock::now()));
    return 0;
}

int recoverAll(const char* image, const char* dest) {
    // As the window does it: mount, then Recover All through the dialog.
    SectorReader reader;
    if (!reader.OpenSelectedDisk(image)) return 2;
    VolumeTable volumes;
    WalkPartitionTables(reader, volumes);
    if (volumes.volumeCount == 0) return 2;
    Catalog catalog;
    std::atomic<bool> stop{false};
    VolumeMount mount(reader, volumes.records[0], catalog, stop);
    mount.MountSelectedVolume(RecoveryMode::Normal);
    const LiveState live = liveStateOf(mount, catalog);
    SavingDialog saving;
    const VolumeInfo v = volumes.records[0];
    const CopySummary s = saving.run([&](CopyProgressSink& sink, CopyRequests& requests) {
        CopyOut copy(reader, v, catalog, &live, RecoverySettings{}, requests, sink);
        return copy.RecoverAll(dest);
    });
    std::printf("%llu files written\n", static_cast<unsigned long long>(s.filesWritten));
    return s.whole() ? 0 : 3;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && !std::strcmp(argv[1], "--files"))
        return listFiles(unsigned(std::stoul(argv[2])));
    if (argc == 3 && !std::strcmp(argv[1], "--find"))
        return findNames(unsigned(std::stoul(argv[2])));
    if (argc == 4 && !std::strcmp(argv[1], "--recover")) return recoverAll(argv[2], argv[3]);
    Catalog catalog;
    double reference = 0;
    const char* what = "";
    if (argc == 3 && !std::strcmp(argv[1], "--folders")) {
        const unsigned n = unsigned(std::stoul(argv[2]));
        const auto t0 = Clock::now();
        // 100 top folders, each a chain of subfolders, one file in each.
        const unsigned top = 100;
        for (unsigned i = 0; i < n; ++i) {
            const std::uint32_t id = 100 + i;
            const std::uint32_t parent = i < top ? 2 : 100 + (i - top);
            catalog.AddFolder("folder" + std::to_string(i), parent, id, 1262304000, parent);
            catalog.AddFile("file" + std::to_string(i) + ".txt", id, 10000000 + i, 1262304000, 0, i,
                            id);
        }
        catalog.BuildFolderTree(2);
        reference = seconds(t0, Clock::now());
        what = "building the catalog";
    } else if (argc == 2) {
        SectorReader reader;
        if (auto opened = reader.OpenSelectedDisk(argv[1]); !opened) {
            std::fprintf(stderr, "%s\n", opened.error().text.c_str());
            return 2;
        }
        VolumeTable volumes;
        WalkPartitionTables(reader, volumes);
        if (volumes.volumeCount == 0) {
            std::fprintf(stderr, "no ReiserFS volume in %s\n", argv[1]);
            return 2;
        }
        std::atomic<bool> stop{false};
        const auto t0 = Clock::now();
        VolumeMount(reader, volumes.records[0], catalog, stop)
            .MountSelectedVolume(RecoveryMode::Normal);
        reference = seconds(t0, Clock::now());
        what = "the Normal mount";
    } else {
        std::fprintf(stderr, "usage: window-bench IMAGE | --folders N | --files N | --find N | "
                             "--recover IMAGE DEST\n");
        return 2;
    }
    // The first showing is the one the user waits for (it also loads the
    // MIME database for the Type column); the best of two more for scale.
    const double first = showCatalog(catalog);
    const double best = std::min(showCatalog(catalog), showCatalog(catalog));
    std::printf("%u folders, %u files: tree and list shown in %.3f s (first), %.3f s (best); "
                "%s %.3f s; ratio %.3fx\n",
                unsigned(catalog.FolderList().size()), unsigned(catalog.FileList().size()), first,
                best, what, reference, first / reference);
    return 0;
}
