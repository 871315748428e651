// The test helpers themselves: the manifest and layout readers on what the
// image generator writes (undecodable name bytes included), and the digest
// of a file.

#include "manifest.h"
#include "sha256.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace dorvak::test;

namespace {

class TempFile {
public:
    explicit TempFile(const std::string& text)
        : path_(std::filesystem::temp_directory_path() /
                ("dorvak-support-" + std::to_string(::getpid()) + "-" + std::to_string(++count_))) {
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    static inline int count_ = 0;
    std::filesystem::path path_;
};

} // namespace

TEST(Manifest, ReadsGeneratorLines) {
    // Lines as the generator writes them (json.dumps with ASCII escapes).
    TempFile file(
        R"({"path": "/names/\udcff\udcfe name.bin", "kind": "file", "size": 10, "mtime": 1262484406, "inode": 27, "dirId": 24, "parentInode": 24, "nlink": 1, "sha256": "bc97292fb9268c4282a1db827ae5d63fe014cc4425427ed3dede596f881e2792"})"
        "\n\n"
        R"({"path": "/big", "kind": "dir", "size": 88, "mtime": 1262516869, "inode": 4294967295, "dirId": 2, "parentInode": 2, "nlink": 2, "sha256": null, "event": "deleted"})"
        "\n");
    auto entries = readManifest(file.path());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, "/names/\xFF\xFE name.bin");
    EXPECT_EQ(entries[0].name(), "\xFF\xFE name.bin");
    EXPECT_EQ(entries[0].parentPath(), "/names");
    EXPECT_EQ(entries[0].kind, "file");
    EXPECT_EQ(entries[0].dirId, 24u);
    EXPECT_EQ(entries[0].sha256.size(), 64u);
    EXPECT_EQ(entries[1].parentPath(), "");
    EXPECT_EQ(entries[1].inode, 4294967295u);
    EXPECT_TRUE(entries[1].sha256.empty());
    EXPECT_EQ(entries[1].event, "deleted");
}

// Names as the generator escapes them: bytes that are not UTF-8 as lone low
// surrogates, everything else as JSON does.
TEST(Manifest, NamesComeBackAsTheirRawBytes) {
    struct Case {
        const char* json;
        std::string bytes;
    };
    const Case cases[] = {
        {R"(/names/\udcff\udcfe name.bin)", "/names/\xFF\xFE name.bin"},
        {R"(/na\u00efve \u2713 \ud83d\ude00)", "/na\xC3\xAFve \xE2\x9C\x93 \xF0\x9F\x98\x80"},
        {R"(/\u0041\uDC80)", std::string("/A\x80")},
        {R"(/back\\udcff \"q\" \\)", R"(/back\udcff "q" \)"}, // an escaped backslash, not a byte
    };
    for (const auto& c : cases) {
        TempFile file(
            std::string(R"({"path": ")") + c.json +
            R"(", "kind": "dir", "size": 1, "mtime": 0, "inode": 5, "dirId": 2, "parentInode": 2, "nlink": 2})");
        const auto entries = readManifest(file.path());
        ASSERT_EQ(entries.size(), 1u) << c.json;
        EXPECT_EQ(entries[0].path, c.bytes) << c.json;
    }
    // Lone surrogates that no byte escapes to, and a NUL, stay errors.
    for (const char* bad : {R"(/\ud800)", R"(/\udc41)", R"(/a\u0000)"}) {
        TempFile file(
            std::string(R"({"path": ")") + bad +
            R"(", "kind": "dir", "size": 1, "mtime": 0, "inode": 5, "dirId": 2, "parentInode": 2, "nlink": 2})");
        EXPECT_THROW(readManifest(file.path()), std::runtime_error) << bad;
    }
}

TEST(Manifest, ReportsFileAndLineOfBadInput) {
    TempFile missingField(R"({"path": "/a", "kind": "file"})"
                          "\n");
    TempFile negative(
        R"({"path": "/a", "kind": "file", "size": -1, "mtime": 0, "inode": 5, "dirId": 2, "parentInode": 2, "nlink": 1})"
        "\n");
    TempFile tooBig(
        R"({"path": "/a", "kind": "file", "size": 1, "mtime": 0, "inode": 4294967296, "dirId": 2, "parentInode": 2, "nlink": 1})"
        "\n");
    for (const auto* f : {&missingField, &negative, &tooBig}) {
        try {
            readManifest(f->path());
            ADD_FAILURE() << "accepted " << f->path();
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(f->path().string() + ":1:"), std::string::npos)
                << e.what();
        }
    }
    EXPECT_THROW(readManifest("/nonexistent/manifest.jsonl"), std::runtime_error);
}

TEST(DiskLayout, ReadsVolumesInOrder) {
    TempFile file(R"({"diskSectors": 409600,
        "junk": {"partition": 1, "startSector": 2048, "sectorCount": 32768},
        "volumes": [
          {"partition": 2, "startSector": 34816, "sectorCount": 131072, "blockSize": 4096,
           "rootBlock": 8211, "format": "3.6", "manifest": "part-disk.p2.manifest.jsonl"},
          {"partition": 5, "startSector": 167936, "sectorCount": 98304, "blockSize": 4096,
           "rootBlock": 8211, "format": "3.5", "manifest": "part-disk.p5.manifest.jsonl"}]})");
    auto layout = readDiskLayout(file.path());
    EXPECT_EQ(layout.diskSectors, 409600u);
    ASSERT_TRUE(layout.junk);
    EXPECT_EQ(layout.junk->startSector, 2048u);
    ASSERT_EQ(layout.volumes.size(), 2u);
    EXPECT_EQ(layout.volumes[1].partition, 5u);
    EXPECT_EQ(layout.volumes[1].format, "3.5");
    EXPECT_EQ(layout.volumes[0].manifest, "part-disk.p2.manifest.jsonl");
}

TEST(Sha256, DigestOfAFileAndOfBytes) {
    TempFile file("abc");
    EXPECT_EQ(sha256FileHex(file.path()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string million(1000000, 'a'); // many reads of the file's buffer
    TempFile big(million);
    EXPECT_EQ(sha256FileHex(big.path()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_THROW(sha256FileHex("/nonexistent/file"), std::runtime_error);
}

TEST(TestImages, MissingImagesGiveReasonsAndFailUnderCi) {
    TempFile marker("x");
    const auto dir = marker.path().string() + ".dir";
    std::filesystem::create_directory(dir);
    ::setenv("DORVAK_TEST_IMAGES", dir.c_str(), 1);
    EXPECT_EQ(testImagesDir(), dir);
    auto missing = imagesUnavailableReason("v4096.img");
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("v4096.img"), std::string::npos);

    std::ofstream(std::filesystem::path(dir) / "v4096.img") << "";
    EXPECT_FALSE(imagesUnavailableReason("v4096.img"));
    EXPECT_TRUE(imagesUnavailableReason()); // the other standard images are missing

    // Under CI a missing image fails the test instead of skipping it.
    ::setenv("CI", "true", 1);
    EXPECT_TRUE(imagesRequired());
    ::setenv("CI", "false", 1);
    EXPECT_FALSE(imagesRequired());
    ::unsetenv("CI");
    EXPECT_FALSE(imagesRequired());
    ::unsetenv("DORVAK_TEST_IMAGES");
    std::filesystem::remove_all(dir);
}
