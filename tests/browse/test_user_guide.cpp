#include "browse/user_guide.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace dorvak;
namespace fs = std::filesystem;

TEST(UserGuide, FoundBesideTheProgramOrInItsInstallTree) {
    char pattern[] = "/tmp/dorvak-guide-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    auto page = [](const fs::path& folder) {
        fs::create_directories(folder);
        std::ofstream(folder / "index.html") << "<html></html>";
        return folder / "index.html";
    };
    // An install tree: the program in bin, the guide under share/doc.
    fs::create_directories(root / "bin");
    EXPECT_EQ(findUserGuide(root / "bin"), fs::path());
    const fs::path installed = page(root / "share/doc/dorvak-reiserfs/guide");
    EXPECT_EQ(findUserGuide(root / "bin"), installed);
    // A build tree's copy beside the program comes first.
    const fs::path built = page(root / "bin/guide");
    EXPECT_EQ(findUserGuide(root / "bin"), built);
    // A folder named like the page is no guide.
    fs::create_directories(root / "a/b/c/guide/index.html");
    EXPECT_EQ(findUserGuide(root / "a/b/c"), fs::path());
    fs::remove_all(root);
}
