// The copy-out into destinations that are not like the volume: file systems
// without symbolic links, that fold letter case or that change names they
// are given (vfat, exFAT, NTFS, many FUSE file systems). The kernel here may
// have none of them: the copy-out's seams answer as they do.
#include "browse/copy_out.h"
#include "browse/name_folding.h"
#include "browse_fixtures.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace dorvak::test {
namespace {

namespace fs = std::filesystem;

// A volume of a link between two files, in a folder after them.
std::unique_ptr<MountedVolume> volumeWithALink() {
    TreeBuilder t(1024, 256);
    t.file(2, "a.txt", pattern(10, 1));
    const std::string target = "a.txt";
    t.name(2, {2, 600, "link"});
    t.raw(statItem(2, 600, 0xA1FF, target.size(), 3000));
    t.raw(directItem(2, 600, 1, std::vector<std::uint8_t>(target.begin(), target.end())));
    const std::uint32_t sub = t.folder(2, "sub");
    t.file(sub, "b.txt", pattern(20, 2));
    const std::uint32_t root = t.finish();
    return mountBuilt(t.vb, root, RecoveryMode::Normal);
}

struct RefusalCase {
    const char* label;
    int linkErr;            // what making a symbolic link answers
    int nameErr;            // what placing "a.txt" answers
    std::string failedPath; // "": the run ends
    std::string reason;
};
void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.label;
}

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

// What one entry is refused fails that entry alone (a link with its target);
// only a destination-wide failure ends the run.
TEST_P(Refusals, FailTheEntryAloneUnlessTheDestinationIsFull) {
    const RefusalCase& c = GetParam();
    auto m = volumeWithALink();
    ScratchDir dest;
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    copy.refusesLinks = [&] { return c.linkErr; };
    copy.refusesName = [&](const std::string& name) { return name == "a.txt" ? c.nameErr : 0; };
    const CopySummary s = copy.RecoverAll(dest.str());
    if (c.failedPath.empty()) {
        EXPECT_NE(s.fatalError.find(std::strerror(c.linkErr)), std::string::npos) << s.fatalError;
        return;
    }
    EXPECT_TRUE(s.fatalError.empty()) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 2u);
    EXPECT_EQ(readFile(dest.path() / "sub" / "b.txt"), str(pattern(20, 2)));
    ASSERT_EQ(s.failed.size(), 1u);
    EXPECT_EQ(s.failed[0].catalogPath, c.failedPath);
    EXPECT_EQ(s.failed[0].reason, c.reason);
    EXPECT_EQ(s.failed[0].target, c.linkErr ? "a.txt" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, Refusals,
    ::testing::Values(RefusalCase{"LinkEPERM", EPERM, 0, "/link", "cannot hold symbolic links"},
                      RefusalCase{"LinkEOPNOTSUPP", EOPNOTSUPP, 0, "/link",
                                  "cannot hold symbolic links"},
                      RefusalCase{"LinkENOSPC", ENOSPC, 0, "", ""},
                      // An immutable file in the way of Overwrite.
                      RefusalCase{"NameEPERM", 0, EPERM, "/a.txt", std::strerror(EPERM)}),
    [](const auto& info) { return std::string(info.param.label); });

class FoldingDestination : public ::testing::TestWithParam<std::uint16_t> {};

// A destination like vfat: it folds letter case and drops trailing dots.
// Names that fold equal are one name there, so each entry gets its own;
// a name the destination shortened is reported under the name it got.
TEST_P(FoldingDestination, EntriesWhoseNamesFoldEqualAllArrive) {
    TreeBuilder t(1024, 256);
    t.file(2, "photo.JPG", pattern(10, 1));
    t.file(2, "PHOTO.JPG", pattern(20, 2));
    t.file(2, "notes.", pattern(30, 3));
    const std::uint32_t sub = t.folder(2, "Sub");
    t.file(sub, "a.txt", pattern(40, 4));
    t.file(sub, "A.TXT", pattern(50, 5));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ScratchDir dest;
    CopyRequests requests;
    RecoverySettings settings;
    settings.duplicatePolicy = GetParam();
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, settings, requests);
    int probes = 0;
    copy.foldsCase = [&](int) { return ++probes, true; };
    copy.keepsName = [](std::string name) {
        while (!name.empty() && (name.back() == '.' || name.back() == ' '))
            name.pop_back();
        return name;
    };
    const CopySummary s = copy.RecoverAll(dest.str());
    ASSERT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(probes, 1); // the destination; "Sub" was made by the run
    EXPECT_EQ(s.filesWritten, 5u);
    EXPECT_EQ(listTree(dest.path()),
              (std::vector<std::string>{"PHOTO (1).JPG", "Sub", "Sub/A (1).TXT", "Sub/a.txt",
                                        "notes", "photo.JPG"}));
    EXPECT_EQ(readFile(dest.path() / "PHOTO (1).JPG"), str(pattern(20, 2)));
    EXPECT_EQ(readFile(dest.path() / "Sub" / "A (1).TXT"), str(pattern(50, 5)));
    std::set<std::string> renamed;
    for (const auto& r : s.renamed)
        renamed.insert(r.catalogPath + " -> " + r.writtenPath);
    EXPECT_EQ(renamed,
              (std::set<std::string>{"/PHOTO.JPG -> /PHOTO (1).JPG", "/Sub/A.TXT -> /Sub/A (1).TXT",
                                     "/notes. -> /notes"}));
}

INSTANTIATE_TEST_SUITE_P(
    Policies, FoldingDestination, ::testing::Values(1, 2, 3), [](const auto& info) {
        return std::string(info.param == 1 ? "Rename" : info.param == 2 ? "Overwrite" : "Skip");
    });

// Here (a file system that keeps case) the probe says so, and leaves nothing.
TEST(CaseProbe, ACaseKeepingFolderIsToldAndLeftAsItWas) {
    ScratchDir dest;
    UniqueFd fd(::open(dest.str().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    EXPECT_FALSE(probeCaseFolding(fd.get()));
    EXPECT_FALSE(knownCaseFolding(fd.get()));
    EXPECT_TRUE(listTree(dest.path()).empty());
    EXPECT_EQ(foldedName("Ab\xc3\x89t\xc3\x97. ."), "ab\xc3\xa9t\xc3\x97");
}

} // namespace
} // namespace dorvak::test
