// The wizard's range check and the catalog models, without a window.
#include "shell/catalog_models.h"
#include "shell/recovery.h"
#include "shell/wizard_state.h"

#include <gtest/gtest.h>

#include <ctime>

namespace dorvak {
namespace {

TEST(ScanRange, SixtyFourBitSectorsAndRefusedEmptyRanges) {
    struct Case {
        const char* start;
        const char* end;
        const char* error;
    };
    const Case cases[] = {
        {"-5", "100", kStartSectorInvalid},
        {"abc", "100", kStartSectorInvalid},
        {"", "100", kStartSectorInvalid},
        {"-5", "abc", kStartSectorInvalid},                 // End is not read when Start is bad
        {"100", "18446744073709551616", kEndSectorInvalid}, // past 64 bits
        {"0", "4294967296", nullptr},                       // past 2 TiB
        {"4294967296", "8589934592", nullptr},
        {"100", "", kEndSectorInvalid},
        {"0", "0", kEndNotAboveStart},
        {"200", "100", kEndNotAboveStart},
        {"0", "4294967295", nullptr},
    };
    for (const Case& c : cases) {
        const ScanRangeCheck r = validateScanRange(c.start, c.end);
        EXPECT_EQ(r.error, c.error) << c.start << " / " << c.end;
    }
    EXPECT_EQ(validateScanRange("0", "4294967295").end, 4294967295u);
    EXPECT_EQ(validateScanRange("4294967296", "18446744073709551615").end, UINT64_MAX);
    EXPECT_EQ(validateScanRange("4294967296", "18446744073709551615").start, 4294967296u);
    EXPECT_EQ(std::string(kEndNotAboveStart).find("End sector"), 6u); // six leading spaces
}

TEST(RecoverySummary, MoreNamesEveryFileAndPolicySkipsAreNoError) {
    CopySummary s;
    s.filesWritten = 2;
    s.renamed.push_back({"/A/photo.jpg", "A/photo (1).jpg", "", {}});
    s.skipped.push_back({"/b.txt", "b.txt", kSkippedByPolicyReason, {}});
    EXPECT_FALSE(summaryIsError(s)) << "the Skip policy did what was asked";
    const SummaryText t = summaryText(s, "/dest");
    EXPECT_TRUE(t.more.contains("Renamed: /A/photo.jpg as A/photo (1).jpg"))
        << t.more.toStdString();
    EXPECT_TRUE(t.more.contains("Skipped: /b.txt: " + QString(kSkippedByPolicyReason)));
    s.skipped.push_back({"/c.txt", "", "skipped on request", {}});
    EXPECT_TRUE(summaryIsError(s));
    s.skipped.pop_back();
    s.failed.push_back({"/d.bin", "", "no space", {}});
    EXPECT_TRUE(summaryIsError(s));
    EXPECT_TRUE(summaryText(s, "/dest").more.contains("Failed: /d.bin: no space"));
}

TEST(MenuStates, PhasesGrayBrowsingCommandsUntilAMountHasEnded) {
    for (int command : {cmd::RecoverSelected, cmd::ViewIcons, cmd::FindFiles, cmd::DriveInfo}) {
        EXPECT_EQ(menuCommandEnabled(MenuPhase::Startup, Step::Disk, command), false);
        EXPECT_EQ(menuCommandEnabled(MenuPhase::Working, Step::Volume, command), false);
        EXPECT_EQ(menuCommandEnabled(MenuPhase::Browsing, Step::Browse, command), true);
        EXPECT_EQ(menuCommandEnabled(MenuPhase::BackAtDisk, Step::Disk, command), false);
    }
    EXPECT_EQ(menuCommandEnabled(MenuPhase::Startup, Step::Disk, cmd::Settings), true);
    EXPECT_EQ(menuCommandEnabled(MenuPhase::Startup, Step::Startup, cmd::Settings), false);
    EXPECT_EQ(menuCommandEnabled(MenuPhase::Working, Step::Volume, cmd::Settings), true);
    EXPECT_FALSE(menuCommandEnabled(MenuPhase::Browsing, Step::Browse, cmd::Exit).has_value());
}

// Root (2) holds A (10), a damaged entry that names the root itself
// (object 2) and L (30); A holds B (11) and C (12). The tree places the
// root's self-entry without descending into it, so L must still hang under
// the root, not under that entry.
void fillTreeCatalog(Catalog& c) {
    c.AddFolder("A", 2, 10, 1, 2);
    c.AddFolder("B", 10, 11, 1, 10);
    c.AddFolder("self", 2, 2, 1, 2);
    c.AddFolder("C", 10, 12, 1, 10);
    c.AddFolder("L", 2, 30, 1, 2);
    c.BuildFolderTree(2);
}

TEST(FolderTreeModel, EveryPlacedFolderSitsUnderItsParentAtItsTreeItemNumber) {
    Catalog c;
    fillTreeCatalog(c);
    FolderTreeModel model;
    model.setCatalog(&c, "ReiserFS - 0");
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex root = model.rootIndex();
    EXPECT_EQ(root.data().toString(), "ReiserFS - 0");
    EXPECT_EQ(model.rowCount(root), 3); // A, self and L
    for (const CatalogEntry& f : c.FolderList()) {
        ASSERT_NE(f.treeItem, 0u) << f.name;
        const QModelIndex i = model.indexForTreeItem(f.treeItem);
        EXPECT_EQ(i.data().toString().toStdString(), f.name);
        EXPECT_EQ(model.treeItemOf(i), f.treeItem);
        EXPECT_EQ(model.folderKeyOf(i.parent()), f.parentId) << f.name;
        const long parent = f.parentId == 2 ? -1 : c.folderIndex(f.parentId);
        EXPECT_EQ(model.treeItemOf(i.parent()), parent < 0 ? 0u : c.FolderList()[parent].treeItem)
            << f.name;
        EXPECT_EQ(model.index(i.row(), 0, i.parent()), i);
    }
    EXPECT_EQ(model.rowCount(model.indexForTreeItem(c.FolderList()[2].treeItem)), 0);
    EXPECT_EQ(model.rowCount(model.indexForTreeItem(c.FolderList()[0].treeItem)), 2);
}

TEST(FileListModel, FoldersFirstThenFilteredFilesWithFullSizesAndUnsignedDates) {
    Catalog c;
    c.AddFile("z.txt", 2, 20, 0, 0, 5ull << 32, 2); // over 4 GiB, at the epoch
    c.AddFolder("sub", 2, 10, 1, 2);
    c.AddFile("b.doc", 2, 21, 0x80000000u, 0, 7, 2); // negative as signed
    c.AddFile("a.TXT", 2, 22, 1, 0, 1, 2);
    c.BuildFolderTree(2);
    FileListModel m;
    m.setCatalog(&c);
    m.FillFileList(2);
    ASSERT_EQ(m.rowCount(), 4);
    auto cell = [&](int r, int col) { return m.index(r, col).data().toString(); };
    EXPECT_EQ(cell(0, FileListModel::Name), "sub");
    EXPECT_EQ(cell(0, FileListModel::Type), "Folder");
    EXPECT_EQ(cell(0, FileListModel::Size), "0");
    EXPECT_EQ(cell(0, FileListModel::Sector), QString::number(c.FolderList()[0].treeItem));
    EXPECT_EQ(cell(1, FileListModel::Name), "z.txt");
    EXPECT_EQ(cell(1, FileListModel::Size), "21474836480");
    // Times are unsigned: 0 is the epoch, 2^31 a date in 2038.
    EXPECT_EQ(cell(1, FileListModel::Date), FormatTimestamp(0).first);
    EXPECT_EQ(cell(2, FileListModel::Date), FormatTimestamp(0x80000000u).first);
    EXPECT_TRUE(cell(2, FileListModel::Date).endsWith("-2038"));
    EXPECT_EQ(cell(2, FileListModel::Time), FormatTimestamp(0x80000000u).second);
    EXPECT_EQ(cell(3, FileListModel::Sector), QString::number(c.FileList()[2].fileNumber));

    m.setFilters({"*.TXT"});
    m.FillFileList(2);
    ASSERT_EQ(m.rowCount(), 3);
    EXPECT_EQ(cell(2, FileListModel::Name), "a.TXT");
    m.setFilters({"*.TXT", "*.DOC"});
    m.FillFileList(2);
    EXPECT_EQ(m.rowCount(), 4);

    // Links and special files are named by what they are, whatever their
    // suffix says; a deleted one says so too.
    c.AddFile("link.txt", 10, 23, 1, 0, 4, 10, FileType::Symlink);
    c.AddFile("fifo.doc", 10, 24, 1, 0, 0, 10, FileType::Special);
    c.markDeletedFrom(c.FolderList().size(), c.FileList().size() - 1);
    c.BuildFolderTree(2);
    m.setFilters({});
    m.FillFileList(10);
    ASSERT_EQ(m.rowCount(), 2);
    EXPECT_EQ(cell(0, FileListModel::Type), "Symbolic Link");
    EXPECT_EQ(cell(1, FileListModel::Type), "Deleted Special File");
}

TEST(FormatTimestamp, LocalDateAndTime) {
    std::tm t{};
    t.tm_year = 2006 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 1;
    t.tm_hour = 8;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    const auto [date, time] = FormatTimestamp(std::uint32_t(std::mktime(&t)));
    EXPECT_EQ(date, "01-Mar-2006");
    EXPECT_EQ(time, "08:05:09");
}

} // namespace
} // namespace dorvak
