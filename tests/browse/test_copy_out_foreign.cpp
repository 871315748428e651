// The copy-out into destinations that are not like the volume: file systems
// without symbolic links, that fold letter case or that change names they
// are given (vfat, exFAT, NTFS, many FUSE file systems). The kernel here may
// have none of them: the copy-out's seams answer as they do.
#include "browse/copy_out.h"
#include "browse_fixtures.h"

#include <cerrno>
#include <cstring>
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

struct LinkCase {
    int err;
    bool fatal;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << std::strerror(c.err);
}

class RefusedLinks : public ::testing::TestWithParam<LinkCase> {};

// A destination without links fails the link alone, with its target; only a
// destination-wide failure ends the run.
TEST_P(RefusedLinks, FailTheLinkAloneUnlessTheDestinationIsFull) {
    const LinkCase& c = GetParam();
    auto m = volumeWithALink();
    ScratchDir dest;
    CopyRequests requests;
    CopyOut copy(m->reader, m->volume, m->catalog, &m->live, {}, requests);
    copy.refusesLinks = [&] { return c.err; };
    const CopySummary s = copy.RecoverAll(dest.str());
    EXPECT_FALSE(fs::exists(fs::symlink_status(dest.path() / "link")));
    if (c.fatal) {
        EXPECT_NE(s.fatalError.find(std::strerror(c.err)), std::string::npos) << s.fatalError;
        return;
    }
    EXPECT_TRUE(s.fatalError.empty()) << s.fatalError;
    EXPECT_EQ(s.filesWritten, 2u);
    EXPECT_EQ(readFile(dest.path() / "sub" / "b.txt"), str(pattern(20, 2)));
    ASSERT_EQ(s.failed.size(), 1u);
    EXPECT_EQ(s.failed[0].catalogPath, "/link");
    EXPECT_EQ(s.failed[0].reason, "cannot hold symbolic links");
    EXPECT_EQ(s.failed[0].target, "a.txt");
}

INSTANTIATE_TEST_SUITE_P(Errors, RefusedLinks,
                         ::testing::Values(LinkCase{EPERM, false}, LinkCase{EOPNOTSUPP, false},
                                           LinkCase{ENOSPC, true}),
                         [](const auto& info) {
                             return std::string(info.param.err == EPERM    ? "EPERM"
                                                : info.param.err == ENOSPC ? "ENOSPC"
                                                                           : "EOPNOTSUPP");
                         });

} // namespace
} // namespace dorvak::test
