// Checks of the kernel-made images and their manifests: each manifest is a
// consistent tree, the histories describe versions the live volume no longer
// holds, and an independent reader (grub-fstest, when installed) lists the
// same root folder as the manifest.

#include "manifest.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

using namespace dorvak::test;

namespace {

std::vector<std::filesystem::path> filesEndingWith(const std::string& suffix) {
    std::vector<std::filesystem::path> out;
    for (const auto& entry : std::filesystem::directory_iterator(testImagesDir())) {
        const std::string name = entry.path().filename().string();
        if (name.size() > suffix.size() && name.ends_with(suffix)) out.push_back(entry.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::optional<std::string> runCommand(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        out.append(buffer, n);
    if (::pclose(pipe.release()) != 0) return std::nullopt;
    return out;
}

bool haveGrubFstest() {
    return std::system("command -v grub-fstest >/dev/null 2>&1") == 0;
}

// grub-fstest prints one line of names, each followed by a space, folders
// with a trailing "/". Names may hold spaces themselves, so the expected
// names are taken out longest first, each at a name boundary.
std::string unexplainedListing(std::string listing, std::vector<std::string> names) {
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const auto& name : names) {
        const std::string token = name + " ";
        std::size_t at = 0;
        while ((at = listing.find(token, at)) != std::string::npos && at != 0 &&
               listing[at - 1] != ' ')
            ++at;
        if (at == std::string::npos) return "missing: " + name;
        listing.erase(at, token.size());
    }
    if (listing.find_first_not_of(" \n") != std::string::npos) return "extra: " + listing;
    return {};
}

std::vector<std::string> rootNames(const std::vector<ManifestEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries)
        if (e.parentPath().empty()) names.push_back(e.name() + (e.kind == "dir" ? "/" : ""));
    return names;
}

} // namespace

TEST(TestImages, ManifestsDescribeConsistentTrees) {
    DORVAK_SKIP_WITHOUT_IMAGES();
    const auto manifests = filesEndingWith(".manifest.jsonl");
    ASSERT_GE(manifests.size(), standardImageNames().size());
    for (const auto& file : manifests) {
        SCOPED_TRACE(file.filename().string());
        const auto entries = readManifest(file);
        ASSERT_FALSE(entries.empty());
        std::map<std::string, const ManifestEntry*> byPath;
        for (const auto& e : entries)
            EXPECT_TRUE(byPath.emplace(e.path, &e).second) << e.path;
        for (const auto& e : entries) {
            const std::string parent = e.parentPath();
            auto found = byPath.find(parent);
            if (!parent.empty() && found == byPath.end()) {
                ADD_FAILURE() << "no folder entry for " << e.path;
                continue;
            }
            EXPECT_EQ(e.parentInode, parent.empty() ? 2u : found->second->inode) << e.path;
            EXPECT_EQ(e.kind == "file", e.sha256.size() == 64) << e.path;
            EXPECT_NE(e.inode, 2u) << e.path;
        }
    }
}

TEST(TestImages, HistoriesHoldOnlyVersionsTheVolumeLost) {
    DORVAK_SKIP_WITHOUT_IMAGES();
    for (const std::string name : {"deleted", "sample"}) {
        SCOPED_TRACE(name);
        const auto live = readManifest(testImage(name + ".manifest.jsonl"));
        const auto history = readManifest(testImage(name + ".history.jsonl"));
        ASSERT_FALSE(history.empty());
        std::map<std::uint32_t, const ManifestEntry*> liveByInode;
        for (const auto& e : live)
            liveByInode[e.inode] = &e;
        for (const auto& old : history) {
            auto found = liveByInode.find(old.inode);
            if (old.event == "deleted") {
                EXPECT_EQ(found, liveByInode.end()) << old.path;
            } else {
                ASSERT_EQ(old.event, "rewritten") << old.path;
                ASSERT_NE(found, liveByInode.end()) << old.path;
                EXPECT_NE(found->second->sha256, old.sha256) << old.path;
            }
        }
    }
}

TEST(TestImages, GrubListsTheManifestRootNames) {
    DORVAK_SKIP_WITHOUT_IMAGES();
    if (!haveGrubFstest()) GTEST_SKIP() << "grub-fstest is not installed";
    struct Target {
        std::string image, grubPath, manifest;
    };
    std::vector<Target> targets;
    for (const char* name : {"v4096", "v1024", "v512", "v35", "moved", "deleted"})
        targets.push_back({std::string(name) + ".img", "/", std::string(name) + ".manifest.jsonl"});
    for (const char* disk : {"part-disk", "sample"})
        for (const auto& v : readDiskLayout(testImage(std::string(disk) + ".layout.json")).volumes)
            targets.push_back({std::string(disk) + ".img",
                               "(loop0,msdos" + std::to_string(v.partition) + ")/", v.manifest});
    for (const auto& t : targets) {
        SCOPED_TRACE(t.image + " " + t.grubPath);
        auto listing = runCommand("grub-fstest " + shellQuote(testImage(t.image).string()) +
                                  " ls " + shellQuote(t.grubPath) + " 2>&1");
        ASSERT_TRUE(listing);
        EXPECT_EQ(unexplainedListing(*listing, rootNames(readManifest(testImage(t.manifest)))), "");
    }
}
