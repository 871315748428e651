// catalog-tree-bench: the time from a mount's end to the catalog tree and
// the root's list on screen, as the window does it (models reset once, the
// views painted), against the time of the mount itself.
//   catalog-tree-bench IMAGE              volume 0 of a disk or volume image
//   catalog-tree-bench --folders N        N synthetic folders (and a file in
//                                         each), against building that catalog
#include "reiserfs/mount.h"
#include "shell/catalog_models.h"
#include "shell/step_tree.h"
#include "volume/partition_walk.h"

#include <QApplication>
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

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
            catalog.AddFile("file" + std::to_string(i) + ".txt", id, 10000000 + i, 1262304000, 0,
                            i, id);
        }
        catalog.BuildFolderTree(2);
        reference = seconds(t0, Clock::now());
        what = "building the catalog";
    } else if (argc == 2) {
        SectorReader reader;
        std::string error;
        if (!reader.OpenSelectedDisk(argv[1], &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
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
        std::fprintf(stderr, "usage: catalog-tree-bench IMAGE | --folders N\n");
        return 2;
    }
    // The first showing is the one the user waits for (it also loads the
    // MIME database for the Type column); the best of two more for scale.
    const double first = showCatalog(catalog);
    const double best = std::min(showCatalog(catalog), showCatalog(catalog));
    std::printf("%u folders, %u files: tree and list shown in %.3f s (first), %.3f s (best); "
                "%s %.3f s; ratio %.3fx\n",
                unsigned(catalog.FolderList.size()), unsigned(catalog.FileList.size()), first,
                best, what, reference, first / reference);
    return 0;
}
