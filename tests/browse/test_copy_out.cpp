// The copy-out's destination side: hostile names, links at the destination,
// duplicate policies, stop and skip requests, and destinations that cannot be
// written.
#include "browse/copy_out.h"
#include "browse_fixtures.h"

#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvak::test {
namespace {

namespace fs = std::filesystem;

CopySummary recoverAll(Mounted& m, const std::string& dest, RecoverySettings settings = {},
                       CopyRequests* requests = nullptr, CopyProgressSink* sink = nullptr) {
    CopyRequests own;
    CopyOut copy(m.reader, m.volume, m.catalog, &m.live, settings, requests ? *requests : own,
                 sink ? *sink : nullCopyProgress());
    return copy.RecoverAll(dest);
}

bool anyTempFiles(const fs::path& root) {
    for (const auto& p : listTree(root))
        if (p.find(".dorvak-") != std::string::npos) return true;
    return false;
}

TEST(CopyOut, HostileNamesStayInsideTheDestination) {
    TreeBuilder t(1024, 256);
    const std::uint32_t ab = t.folder(2, "a/b", 4000);
    t.file(ab, "c", pattern(10, 1), 4100);
    t.file(2, "../../x", pattern(20, 2));
    t.file(2, "%", pattern(30, 3));
    t.file(2, std::string(255, 'N'), pattern(40, 4));
    t.file(2,
           "ctl\x01\x1f"
           "name",
           pattern(5, 5));
    // Names the catalog never turns into entries, pointing at real objects.
    const std::uint32_t hidden = t.file(2, "visible.txt", pattern(7, 6));
    for (const char* n : {".", "..", ""})
        t.name(2, {2, hidden, n});
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);

    ScratchDir scratch;
    const fs::path dest = scratch.path() / "dest";
    fs::create_directory(dest);
    const CopySummary s = recoverAll(*m, dest.string());
    ASSERT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 6u);
    std::vector<std::string> expected{"dest",
                                      "dest/%25",
                                      "dest/..%2F..%2Fx",
                                      "dest/a%2Fb",
                                      "dest/a%2Fb/c",
                                      "dest/ctl\x01\x1fname",
                                      "dest/" + std::string(255, 'N'),
                                      "dest/visible.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listTree(scratch.path()), expected);
    EXPECT_EQ(readFile(dest / "..%2F..%2Fx"), str(pattern(20, 2)));
    // Paths escape "/" and "%" in a name as the written names do: those
    // are not renamed.
    EXPECT_TRUE(s.renamed.empty());
    struct stat st {};
    ASSERT_EQ(::stat((dest / "a%2Fb").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 4000); // a folder's time, set after its files
}

// A link where a file or folder will be written is replaced or passed over,
// never followed.
TEST(CopyOut, LinksAtTheDestinationAreNotFollowed) {
    TreeBuilder t(1024, 256);
    t.file(2, "file.txt", pattern(50, 1));
    const std::uint32_t folder = t.folder(2, "folder");
    t.file(folder, "inner.txt", pattern(60, 2));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);

    for (std::uint16_t policy : {1, 2, 3}) {
        SCOPED_TRACE(policy);
        ScratchDir scratch;
        const fs::path dest = scratch.path() / "dest", outside = scratch.path() / "outside";
        fs::create_directories(dest);
        fs::create_directories(outside);
        { std::ofstream(outside / "target.txt") << "precious"; }
        fs::create_symlink("../outside/target.txt", dest / "file.txt");
        fs::create_directory_symlink("../outside", dest / "folder");
        RecoverySettings settings;
        settings.duplicatePolicy = policy;
        const CopySummary s = recoverAll(*m, dest.string(), settings);
        ASSERT_TRUE(s.fatalError.empty()) << s.fatalError;

        EXPECT_EQ(readFile(outside / "target.txt"), "precious");
        EXPECT_EQ(listTree(outside), (std::vector<std::string>{"target.txt"}));
        EXPECT_EQ(readFile(dest / "folder (1)" / "inner.txt"), str(pattern(60, 2)));
        if (policy == 1) {
            EXPECT_TRUE(fs::is_symlink(dest / "file.txt"));
            EXPECT_EQ(readFile(dest / "file (1).txt"), str(pattern(50, 1)));
        } else if (policy == 2) {
            EXPECT_FALSE(fs::is_symlink(dest / "file.txt")); // the link itself was replaced
            EXPECT_EQ(readFile(dest / "file.txt"), str(pattern(50, 1)));
        } else {
            EXPECT_TRUE(fs::is_symlink(dest / "file.txt"));
            ASSERT_EQ(s.skipped.size(), 1u);
            EXPECT_EQ(s.skipped[0].catalogPath, "/file.txt");
        }
    }
}

struct PolicyCase {
    std::uint16_t policy;
    std::vector<std::string> tree;
    std::string plain; // contents of dup.txt afterwards
    std::size_t skipped;
};

const char* policyName(std::uint16_t policy) {
    return policy == 1 ? "Rename" : policy == 2 ? "Overwrite" : policy == 3 ? "Skip" : "Unknown";
}
void PrintTo(const PolicyCase& c, std::ostream* os) {
    *os << policyName(c.policy);
}

class DuplicatePolicies : public ::testing::TestWithParam<PolicyCase> {};

// Two entries named dup.txt in one folder (as an Extensive mount lists two
// versions), and a dup.txt already at the destination.
TEST_P(DuplicatePolicies, ApplyToExistingFilesAndToEntriesOfTheSameName) {
    const PolicyCase& c = GetParam();
    TreeBuilder t(1024, 256);
    t.file(2, "dup.txt", pattern(10, 1));
    const std::uint32_t other = t.file(2, "other", pattern(20, 2));
    t.name(2, {2, other, "dup.txt"}); // a second name for "other"
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Extensive);
    ScratchDir dest;
    { std::ofstream(dest.path() / "dup.txt") << "already here"; }
    RecoverySettings settings;
    settings.duplicatePolicy = c.policy;
    const CopySummary s = recoverAll(*m, dest.str(), settings);
    ASSERT_TRUE(s.fatalError.empty()) << s.fatalError;
    EXPECT_EQ(listTree(dest.path()), c.tree);
    EXPECT_EQ(readFile(dest.path() / "dup.txt"), c.plain);
    EXPECT_EQ(s.skipped.size(), c.skipped);
    EXPECT_EQ(s.filesWritten, 3u - c.skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Policies, DuplicatePolicies,
    ::testing::Values(
        PolicyCase{1, {"dup (1).txt", "dup (2).txt", "dup.txt", "other"}, "already here", 0},
        // Overwrite replaces what was there before the run, never what the
        // run wrote: the second entry of the name is numbered.
        PolicyCase{2, {"dup (1).txt", "dup.txt", "other"}, str(pattern(10, 1)), 0},
        PolicyCase{3, {"dup.txt", "other"}, "already here", 2}),
    [](const auto& info) { return std::string(policyName(info.param.policy)); });

// k entries of one name, all of whose names a first run left at the
// destination: finding each next free "name (n)" must not start from 0 again
// (k² tries on a folder of many versions).
TEST(CopyOut, FreeNumberedNamesAreFoundInLinearTries) {
    constexpr unsigned k = 200;
    TreeBuilder t(1024, 2048);
    for (unsigned i = 0; i < k; ++i)
        t.file(2, "same.txt", pattern(5, i));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ASSERT_EQ(m->catalog.fileCount(), k);
    ScratchDir dest;
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    unsigned tries = 0;
    copy.refusesName = [&](const std::string&) {
        ++tries;
        return 0;
    };
    ASSERT_TRUE(copy.RecoverAll(dest.str()).whole());
    const CopySummary again = copy.RecoverAll(dest.str());
    ASSERT_TRUE(again.whole());
    EXPECT_EQ(listTree(dest.path()).size(), 2 * k);
    EXPECT_EQ(readFile(dest.path() / "same (399).txt"), str(pattern(5, k - 1)));
    EXPECT_LT(tries, 6 * k);
}

// Files whose leaves lie against the tree order are read in disk order: the
// seeks do not grow with the files. Folders and names stay as planned.
// Files whose leaves run down the disk, and files split over two leaves far
// apart (either way round): one forward sweep, no seek back per file.
TEST(CopyOut, FilesAreReadInDiskOrder) {
    VolumeBuilder b(1024, 8192);
    const std::uint32_t folderLeaf = b.alloc(), first = b.alloc(24), root = b.alloc();
    std::vector<DirName> names;
    std::vector<std::uint32_t> children{folderLeaf};
    for (std::uint32_t i = 0; i < 24; ++i) {
        names.push_back({2, 100 + i, "f" + std::to_string(i)});
        const std::uint32_t leaf = first + 23 - i; // tree order runs down the disk
        b.leaf(leaf, {statItem(2, 100 + i, kModeFile, 100, 7),
                      directItem(2, 100 + i, 1, pattern(100, i))});
        children.push_back(leaf);
    }
    // More than a megabyte apart: the sweep would not read through the gap.
    for (std::uint32_t j = 0; j < 6; ++j) {
        const std::uint32_t id = 200 + j, far = 7000 + j, near = 100 + j;
        const auto body = pattern(900, 50 + j);
        names.push_back({2, id, "split" + std::to_string(j)});
        const std::vector<std::uint8_t> head(body.begin(), body.begin() + 500),
            tail(body.begin() + 500, body.end());
        const std::uint32_t a = j % 2 ? far : near, c = j % 2 ? near : far;
        b.leaf(a, {statItem(2, id, kModeFile, 900, 7), directItem(2, id, 1, head)});
        b.leaf(c, {directItem(2, id, 501, tail)});
        children.push_back(a);
        children.push_back(c);
    }
    b.leaf(folderLeaf, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, names)});
    b.internal(root, children);
    b.superblock(root);
    auto m = mountBuilt(b, root, RecoveryMode::Normal);
    ASSERT_EQ(m->catalog.fileCount(), 30u);
    const ReadStats before = m->reader.stats();
    ScratchDir dest;
    ASSERT_TRUE(recoverAll(*m, dest.str()).whole());
    EXPECT_LE(m->reader.stats().seeks - before.seeks, 3u);
    for (std::uint32_t i = 0; i < 24; ++i)
        EXPECT_EQ(readFile(dest.path() / ("f" + std::to_string(i))), str(pattern(100, i)));
    for (std::uint32_t j = 0; j < 6; ++j)
        EXPECT_EQ(readFile(dest.path() / ("split" + std::to_string(j))), str(pattern(900, 50 + j)));
}

// The second pass reopens the folders the first one made. A folder swapped
// for a link in between (by something else writing at the destination) is
// not followed: the copy-out stops rather than write where the link leads.
TEST(CopyOut, AFolderSwappedForALinkBetweenThePassesIsNotFollowed) {
    TreeBuilder t(1024, 512);
    for (const char* top : {"A", "B"}) {
        const std::uint32_t inner = t.folder(t.folder(2, top), "X");
        t.file(inner, std::string(top) + "-file", pattern(100, top[0]));
    }
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ScratchDir scratch;
    const fs::path dest = scratch.path() / "dest", outside = scratch.path() / "outside";
    fs::create_directories(dest);
    fs::create_directories(outside / "X");
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    bool swapped = false;
    copy.refusesName = [&](const std::string& name) {
        // The first file name asked for is the second pass's first file.
        if (!swapped && name.find("-file") != std::string::npos) {
            swapped = true;
            for (const char* top : {"A", "B"}) {
                fs::rename(dest / top, dest / (std::string(top) + ".moved"));
                fs::create_directory_symlink(outside, dest / top);
            }
        }
        return 0;
    };
    const CopySummary s = copy.RecoverAll(dest.string());
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(fs::is_empty(outside / "X"));
    EXPECT_NE(s.fatalError.find("Cannot open the folder"), std::string::npos) << s.fatalError;
}

// Requests from the progress dialog, sent from the progress events.
class Requester : public CopyProgressSink {
public:
    Requester(CopyRequests& r, std::uint64_t atFile, bool stop) : r_(r), at_(atFile), stop_(stop) {}
    void copyProgress(const CopyProgressEvent& e) override {
        events.push_back(e);
        if (e.filesDone == at_) (stop_ ? r_.stopSavingRequested : r_.skipFileRequested) = true;
    }
    std::vector<CopyProgressEvent> events;

private:
    CopyRequests& r_;
    std::uint64_t at_;
    bool stop_;
};

struct TwentyFiles {
    TreeBuilder t{1024, 512};
    std::uint32_t root;
    TwentyFiles() {
        const std::uint32_t f = t.folder(2, "many");
        for (int i = 0; i < 20; ++i)
            t.file(f, "f" + std::to_string(i), pattern(3000, i));
        root = t.finish();
    }
};

TEST(CopyOut, StopLeavesOnlyWholeFilesUnderTheirNames) {
    TwentyFiles v;
    auto m = mountBuilt(v.t.vb, v.root, RecoveryMode::Normal);
    ScratchDir dest;
    CopyRequests requests;
    Requester stopAt5(requests, 5, true);
    const CopySummary s = recoverAll(*m, dest.str(), {}, &requests, &stopAt5);
    EXPECT_TRUE(s.stopped);
    EXPECT_TRUE(requests.saveFinished);
    EXPECT_EQ(s.filesWritten, 5u);
    EXPECT_FALSE(anyTempFiles(dest.path()));
    const auto tree = listTree(dest.path());
    EXPECT_EQ(tree.size(), 6u); // the folder and five files
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(readFile(dest.path() / "many" / ("f" + std::to_string(i))),
                  str(pattern(3000, i)));
    ASSERT_FALSE(stopAt5.events.empty());
    EXPECT_EQ(stopAt5.events.front().filesTotal, 20u);
    EXPECT_EQ(stopAt5.events.front().bytesTotal, 20u * 3000);
    EXPECT_EQ(stopAt5.events.front().folderPath, "/many");
}

TEST(CopyOut, AStopRequestedBeforeTheStartIsKept) {
    TwentyFiles v;
    auto m = mountBuilt(v.t.vb, v.root, RecoveryMode::Normal);
    ScratchDir dest;
    CopyRequests requests;
    requests.stopSavingRequested = true;
    const CopySummary s = recoverAll(*m, dest.str(), {}, &requests);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.filesWritten, 0u);
    EXPECT_TRUE(listTree(dest.path()).empty());
    EXPECT_TRUE(requests.saveFinished);
}

TEST(CopyOut, SkipAbandonsTheCurrentFileOnly) {
    TwentyFiles v;
    auto m = mountBuilt(v.t.vb, v.root, RecoveryMode::Normal);
    ScratchDir dest;
    CopyRequests requests;
    Requester skip3(requests, 3, false);
    const CopySummary s = recoverAll(*m, dest.str(), {}, &requests, &skip3);
    EXPECT_FALSE(s.stopped);
    EXPECT_EQ(s.filesWritten, 19u);
    ASSERT_EQ(s.skipped.size(), 1u);
    EXPECT_EQ(s.skipped[0].catalogPath, "/many/f3");
    EXPECT_FALSE(fs::exists(dest.path() / "many" / "f3"));
    EXPECT_EQ(readFile(dest.path() / "many" / "f4"), str(pattern(3000, 4)));
    EXPECT_FALSE(anyTempFiles(dest.path()));
    EXPECT_FALSE(requests.skipFileRequested); // the request was consumed
}

TEST(CopyOut, DestinationsThatCannotBeWrittenNameThePath) {
    TwentyFiles v;
    auto m = mountBuilt(v.t.vb, v.root, RecoveryMode::Normal);
    ScratchDir scratch;
    const std::string missing = (scratch.path() / "no-such-folder").string();
    CopySummary s = recoverAll(*m, missing);
    EXPECT_NE(s.fatalError.find(missing), std::string::npos) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 0u);

    const fs::path file = scratch.path() / "a-file";
    { std::ofstream(file) << "x"; }
    s = recoverAll(*m, file.string());
    EXPECT_NE(s.fatalError.find(file.string()), std::string::npos) << s.fatalError;
}

// A file the destination refuses (here: larger than the process may write)
// fails alone, and leaves nothing under its name or a temporary one.
TEST(CopyOut, AFileTheDestinationRefusesFailsAlone) {
    TreeBuilder t(1024, 256);
    t.file(2, "big.bin", pattern(8000, 1));
    t.file(2, "small.txt", pattern(100, 2));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ScratchDir dest;

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const CopySummary s = recoverAll(*m, dest.str());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(s.fatalError.empty()) << s.fatalError;
    ASSERT_EQ(s.failed.size(), 1u);
    EXPECT_EQ(s.failed[0].catalogPath, "/big.bin");
    EXPECT_EQ(s.failed[0].reason, std::strerror(EFBIG));
    EXPECT_EQ(listTree(dest.path()), (std::vector<std::string>{"small.txt"}));
}

// A destination that refuses some names, as vfat, exFAT, NTFS and CIFS refuse
// ': ? * " < > | \\' and bytes that are not UTF-8 (EINVAL), or a file system
// with a short name limit (ENAMETOOLONG).
bool foreignRefuses(const std::string& name) {
    if (name.find_first_of(":?*\"<>|\\") != std::string::npos) return true;
    for (unsigned char c : name)
        if (c >= 0x80) return true; // none of the names below is valid UTF-8
    return false;
}

TEST(CopyOut, NamesTheDestinationRefusesFallBackToPortableNames) {
    TreeBuilder t(1024, 256);
    const std::uint32_t folder = t.folder(2, "a:b");
    t.file(folder, "what?.txt", pattern(10, 1));
    t.file(folder, "plain.txt", pattern(11, 2));
    t.file(2, "\xff\xfe.bin", pattern(12, 3));
    t.file(2, std::string(200, 'L') + "*", pattern(13, 4));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ScratchDir dest;
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    copy.refusesName = [](const std::string& name) {
        if (name.size() > 150) return ENAMETOOLONG;
        return foreignRefuses(name) ? EINVAL : 0;
    };
    const CopySummary s = copy.RecoverAll(dest.str());
    EXPECT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 4u);
    const auto tree = listTree(dest.path());
    EXPECT_EQ(tree.size(), 5u);
    for (const auto& p : tree)
        EXPECT_FALSE(foreignRefuses(p) || fs::path(p).filename().string().size() > 150) << p;
    EXPECT_EQ(readFile(dest.path() / "a%3Ab" / "what%3F.txt"), str(pattern(10, 1)));
    EXPECT_EQ(readFile(dest.path() / "a%3Ab" / "plain.txt"), str(pattern(11, 2)));
    EXPECT_EQ(readFile(dest.path() / "%FF%FE.bin"), str(pattern(12, 3)));
    std::set<std::string> renamed;
    for (const auto& r : s.renamed)
        renamed.insert(r.catalogPath);
    EXPECT_EQ(renamed, (std::set<std::string>{"/a:b", "/a:b/what?.txt", "/\xff\xfe.bin",
                                              "/" + std::string(200, 'L') + "*"}));
}

// The portable form of a refused name is a name like any other: under the
// default policy (Rename) a file already there under it is kept.
TEST(CopyOut, APortableNameNeverReplacesWhatIsThere) {
    TreeBuilder t(1024, 256);
    t.file(2, "a:b", pattern(10, 1));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ScratchDir dest;
    { std::ofstream(dest.path() / "a%3Ab") << "already here"; }
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    copy.refusesName = [](const std::string& name) { return foreignRefuses(name) ? EINVAL : 0; };
    const CopySummary s = copy.RecoverAll(dest.str());
    EXPECT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(readFile(dest.path() / "a%3Ab"), "already here");
    EXPECT_EQ(readFile(dest.path() / "a%3Ab (1)"), str(pattern(10, 1)));
}

// Folders whose parent was never found come out under their "DirN" folder
// at the top of the destination, with what they hold.
TEST(CopyOut, LostFoldersComeOutUnderTheirNumberedParent) {
    VolumeBuilder b(1024, 160);
    const std::uint32_t leaf = b.alloc(), root = b.alloc();
    b.leaf(leaf, {statItem(1, 2, kModeDir, 0, 5), dirItem(1, 2, {{2, 10, "top.txt"}}),
                  statItem(2, 10, kModeFile, 5, 6), directItem(2, 10, 1, pattern(5, 1)),
                  // folder 50 lists folder 60; nothing lists folder 50
                  dirItem(50, 50, {{50, 60, "y"}}), statItem(50, 60, kModeDir, 0, 7),
                  dirItem(50, 60, {{60, 61, "f.txt"}}), statItem(60, 61, kModeFile, 6, 8),
                  directItem(60, 61, 1, pattern(6, 2))});
    b.internal(root, {leaf});
    b.superblock(root);
    auto m = mountBuilt(b, root, RecoveryMode::Normal);
    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    EXPECT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(listTree(dest.path()),
              (std::vector<std::string>{"Dir0", "Dir0/y", "Dir0/y/f.txt", "top.txt"}));
    EXPECT_EQ(readFile(dest.path() / "Dir0/y/f.txt"), str(pattern(6, 2)));
}

// The list lets the user rename entries: a folder and a file renamed ".."
// are written as escaped names inside the destination, not above it.
TEST(CopyOut, EntriesRenamedDotDotStayInsideTheDestination) {
    TreeBuilder t(1024, 256);
    const std::uint32_t folder = t.folder(2, "d");
    t.file(folder, "f.txt", pattern(10, 1));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ASSERT_EQ(m->catalog.FolderList().size(), 1u);
    ASSERT_EQ(m->catalog.FileList().size(), 1u);
    m->catalog.renameFolder(0, "..");
    m->catalog.renameFile(0, "..");
    ScratchDir scratch;
    const fs::path dest = scratch.path() / "a" / "dest";
    fs::create_directories(dest);
    const CopySummary s = recoverAll(*m, dest.string());
    EXPECT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(listTree(scratch.path()),
              (std::vector<std::string>{"a", "a/dest", "a/dest/%2E%2E", "a/dest/%2E%2E/%2E%2E"}));
}

// A file whose data items were never found is not written as zeros (a
// deleted file of gigabytes would fill the destination): it fails.
TEST(CopyOut, AFileWithoutAnyDataFailsAndWritesNothing) {
    TreeBuilder t(1024, 256);
    t.name(2, {2, 500, "ghost.bin"});
    t.raw(statItem(2, 500, kModeFile, 50'000'000'000ull, 1000));
    t.name(2, {2, 501, "empty"});
    t.raw(statItem(2, 501, kModeFile, 0, 1000));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    EXPECT_TRUE(s.fatalError.empty()) << s.fatalError;
    ASSERT_EQ(s.failed.size(), 1u);
    EXPECT_EQ(s.failed[0].catalogPath, "/ghost.bin");
    EXPECT_EQ(s.failed[0].reason, "no data found");
    EXPECT_EQ(listTree(dest.path()), (std::vector<std::string>{"empty"}));
    EXPECT_EQ(s.bytesWritten, 0u);
}

// Symbolic links come out as links with their target verbatim (nothing is
// opened through them); devices, FIFOs and sockets are listed and skipped.
TEST(CopyOut, SymbolicLinksAreWrittenAsLinksAndSpecialFilesAreSkipped) {
    TreeBuilder t(1024, 256);
    t.file(2, "target.txt", pattern(10, 1));
    const std::string escape = "../../../etc/passwd", relative = "target.txt";
    std::uint32_t id = 600;
    for (const std::string& target : {escape, relative}) {
        t.name(2, {2, id, target == escape ? "away" : "near"});
        t.raw(statItem(2, id, 0xA1FF, target.size(), 3000));
        t.raw(directItem(2, id, 1, std::vector<std::uint8_t>(target.begin(), target.end())));
        ++id;
    }
    for (std::uint16_t mode : {0x11A4, 0x21A4, 0x61A4, 0xC1ED}) { // FIFO, devices, socket
        t.name(2, {2, id, "special" + std::to_string(mode >> 12)});
        t.raw(statItem(2, id++, mode, 0, 3000));
    }
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    EXPECT_EQ(m->catalog.fileCount(), 7u);
    std::map<std::string, FileType> kinds;
    for (const auto& f : m->catalog.FileList())
        kinds[f.name.str()] = f.fileType;
    EXPECT_EQ(kinds["near"], FileType::Symlink);
    EXPECT_EQ(kinds["special1"], FileType::Special);
    EXPECT_EQ(kinds["target.txt"], FileType::Regular);

    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    EXPECT_TRUE(s.fatalError.empty()) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 3u);
    EXPECT_EQ(fs::read_symlink(dest.path() / "away"), escape);
    EXPECT_EQ(fs::read_symlink(dest.path() / "near"), relative);
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dest.path()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"away", "near", "target.txt"}));
    ASSERT_EQ(s.skipped.size(), 4u);
    for (const auto& r : s.skipped)
        EXPECT_EQ(r.reason, "special file") << r.catalogPath;
}

// Every name of a file with several links is listed; the later names come
// out as hard links to the first copy.
TEST(CopyOut, FurtherNamesOfAFileAreHardLinksToItsFirstCopy) {
    TreeBuilder t(1024, 256);
    const std::uint32_t sub = t.folder(2, "sub");
    const std::uint32_t id = t.file(2, "first.bin", pattern(3000, 1), 5000);
    t.hardLink(sub, "second.bin", id, 3);
    t.hardLink(sub, "third.bin", id, 3);
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    ASSERT_EQ(m->catalog.fileCount(), 3u);
    ScratchDir dest;
    const CopySummary s = recoverAll(*m, dest.str());
    ASSERT_TRUE(s.whole()) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 3u);
    struct stat a {
    }, b{}, c{};
    ASSERT_EQ(::stat((dest.path() / "first.bin").c_str(), &a), 0);
    ASSERT_EQ(::stat((dest.path() / "sub" / "second.bin").c_str(), &b), 0);
    ASSERT_EQ(::stat((dest.path() / "sub" / "third.bin").c_str(), &c), 0);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(a.st_ino, c.st_ino);
    EXPECT_EQ(a.st_nlink, 3u);
    EXPECT_EQ(readFile(dest.path() / "sub" / "third.bin"), str(pattern(3000, 1)));
    EXPECT_FALSE(anyTempFiles(dest.path()));
}

TEST(CopyOut, RecoverSelectedWritesFoldersWithSubtreesAndFilesAtTheTop) {
    TreeBuilder t(1024, 256);
    const std::uint32_t a = t.folder(2, "A"), b = t.folder(a, "B"), c = t.folder(b, "C");
    t.file(c, "deep.txt", pattern(10, 1));
    t.file(a, "top.txt", pattern(11, 2));
    const std::uint32_t root = t.finish();
    auto m = mountBuilt(t.vb, root, RecoveryMode::Normal);
    RecoverySelection sel;
    sel.folders.push_back(std::size_t(m->catalog.folderIndex(b)));
    for (std::size_t i = 0; i < m->catalog.FileList().size(); ++i)
        if (m->catalog.FileList()[i].name == "top.txt") sel.files.push_back(i);
    ScratchDir dest;
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    const CopySummary s = copy.RecoverSelected(dest.str(), sel);
    EXPECT_TRUE(s.whole());
    EXPECT_EQ(listTree(dest.path()),
              (std::vector<std::string>{"B", "B/C", "B/C/deep.txt", "top.txt"}));
    std::set<std::string> paths;
    for (const auto& r : s.renamed)
        paths.insert(r.catalogPath);
    EXPECT_TRUE(paths.empty());
}

} // namespace
} // namespace dorvak::test
