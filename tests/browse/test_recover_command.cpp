// dorvak-reiserfs-cli recover on a crafted image file: exit statuses, --path
// selections and the summary.
#include "browse_fixtures.h"
#include "reiserfs/mount.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace dorvak::test {
namespace {

namespace fs = std::filesystem;

CliRun cli(const std::string& args) {
    return runProgram(DORVAK_CLI, args);
}

class RecoverCommand : public ::testing::Test {
protected:
    void SetUp() override {
        TreeBuilder t(4096, 64);
        const std::uint32_t docs = t.folder(2, "docs"), sub = t.folder(docs, "sub");
        t.file(sub, "deep.bin", pattern(9000, 1));
        t.file(docs, "note.txt", pattern(100, 2));
        t.file(2, "top.txt", pattern(50, 3));
        t.finish();
        image = scratch.path() / "volume.img";
        std::ofstream(image, std::ios::binary)
            .write(reinterpret_cast<const char*>(t.vb.image.data.data()),
                   std::streamsize(t.vb.image.data.size()));
        dest = scratch.path() / "out";
        fs::create_directory(dest);
    }
    std::string args(const std::string& more = "") const {
        return "recover '" + image.string() + "' '" + dest.string() + "' --quiet " + more;
    }
    ScratchDir scratch;
    fs::path image, dest;
};

TEST_F(RecoverCommand, RecoversEverythingOrTheNamedPaths) {
    CliRun r = cli(args());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Files written: 3\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Unreadable sector(s): 0\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dest / "docs" / "sub" / "deep.bin"), str(pattern(9000, 1)));

    fs::remove_all(dest);
    fs::create_directory(dest);
    r = cli(args("--path /docs/sub --path /top.txt --sectors-per-read 3 --retries 1"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listTree(dest), (std::vector<std::string>{"sub", "sub/deep.bin", "top.txt"}));
}

TEST_F(RecoverCommand, ExitStatusSaysWhatHappened) {
    ASSERT_EQ(cli(args()).status, 0);
    // Everything exists now: skipping leaves files out (3), renaming does not (0).
    CliRun r = cli(args("--duplicates skip"));
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("Skipped: 3\n"), std::string::npos) << r.out;
    EXPECT_EQ(cli(args("--duplicates rename")).status, 0);
    EXPECT_TRUE(fs::exists(dest / "top (1).txt"));

    r = cli("recover '" + image.string() + "' '" + (scratch.path() / "missing").string() +
            "' --quiet");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find((scratch.path() / "missing").string()), std::string::npos) << r.out;
    EXPECT_EQ(cli(args("--path /no/such")).status, 2);
    EXPECT_EQ(cli(args("--duplicates sometimes")).status, 1);
    EXPECT_EQ(cli(args("--sectors-per-read 0")).status, 1);
}

#ifdef DORVAK_ALLOCATION_FAULTS
// Out of memory while the catalog is built: the message, the status, and
// nothing written.
TEST_F(RecoverCommand, OutOfMemoryEndsWithItsMessageAndStatus) {
    for (const std::string& command :
         {args(), "list '" + image.string() + "'", "find '" + image.string() + "' '*'"}) {
        SCOPED_TRACE(command);
        const CliRun r =
            runProgram(std::string("DORVAK_FAIL_ALLOCATIONS=1 ") + DORVAK_CLI, command);
        EXPECT_EQ(r.status, kOutOfMemoryExitStatus);
        EXPECT_NE(r.out.find(std::string(kOutOfMemoryText) + "\n"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(listTree(dest).empty());
    EXPECT_EQ(cli(args()).status, 0); // the same run without the fault
}
#endif

// A name holding "/" (hostile or damaged) is printed with "/" and "%"
// escaped, in list rows and in the recover summary alike, and --path takes
// that form: "/a%2Fb/c" is never "/a/b/c".
TEST(RecoverCommandPaths, NamesHoldingSlashesAreEscapedInEveryPath) {
    ScratchDir scratch;
    TreeBuilder t(4096, 64);
    const std::uint32_t slashed = t.folder(2, "a/b");
    t.file(slashed, "c%.gz", pattern(30, 1));
    const std::uint32_t a = t.folder(2, "a"), b = t.folder(a, "b");
    t.file(b, "c%.gz", pattern(40, 2));
    t.finish();
    const fs::path image = scratch.path() / "volume.img", dest = scratch.path() / "out";
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(t.vb.image.data.data()),
               std::streamsize(t.vb.image.data.size()));
    fs::create_directory(dest);
    const std::string img = "'" + image.string() + "'";

    CliRun r = cli("list " + img + " --quiet");
    ASSERT_EQ(r.status, 0) << r.out;
    for (const char* path : {"\"/a%2Fb\"", "\"/a%2Fb/c%25.gz\"", "\"/a/b/c%25.gz\""})
        EXPECT_NE(r.out.find("\"path\":" + std::string(path)), std::string::npos) << path;
    r = cli("list " + img + " --quiet --path /a%2Fb");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"path\":\"/a%2Fb/c%25.gz\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"path\":\"/a/b/c%25.gz\""), std::string::npos) << r.out;

    const std::string recover = "recover " + img + " '" + dest.string() + "' --quiet ";
    r = cli(recover + "--path /a%2Fb/c%25.gz --dry-run");
    EXPECT_NE(r.out.find("\n  \"/a%2Fb/c%25.gz\" -> \"/c%25.gz\"\n"), std::string::npos) << r.out;
    r = cli(recover + "--path /a%2Fb/c%25.gz");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Renamed: 0\n"), std::string::npos) << r.out;
    EXPECT_EQ(listTree(dest), (std::vector<std::string>{"c%25.gz"}));
    EXPECT_EQ(readFile(dest / "c%25.gz"), str(pattern(30, 1)));
}

// A file whose folder never turned up (its folder's stat data is gone) is
// reached under the root's "DirN" folder by list, by --path and by a whole
// copy alike.
TEST(RecoverCommandLostFiles, FilesWhoseFolderWasNeverFoundLieInDirN) {
    TreeBuilder t(4096, 64);
    t.file(2, "top.txt", pattern(50, 3));
    t.file(90, "lost.txt", pattern(70, 4)); // 90 has names but no stat data
    t.finish();
    ScratchDir scratch;
    const fs::path image = scratch.path() / "volume.img", dest = scratch.path() / "out";
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(t.vb.image.data.data()),
               std::streamsize(t.vb.image.data.size()));
    const std::string source = "'" + image.string() + "' ";
    const CliRun list = cli("list " + source + "--quiet");
    EXPECT_EQ(list.status, 0) << list.out;
    EXPECT_NE(list.out.find("{\"kind\":\"dir\",\"path\":\"/Dir0\""), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\"path\":\"/Dir0/lost.txt\""), std::string::npos) << list.out;

    fs::create_directory(dest);
    CliRun r = cli("recover " + source + "'" + dest.string() + "' --quiet --path /Dir0/lost.txt");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listTree(dest), (std::vector<std::string>{"lost.txt"}));
    EXPECT_EQ(readFile(dest / "lost.txt"), str(pattern(70, 4)));

    fs::remove_all(dest);
    fs::create_directory(dest);
    r = cli("recover " + source + "'" + dest.string() + "' --quiet");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(listTree(dest), (std::vector<std::string>{"Dir0", "Dir0/lost.txt", "top.txt"}));
}

} // namespace
} // namespace dorvak::test
