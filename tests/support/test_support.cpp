// The test helpers themselves: the JSON reader on the escapes the image
// generator writes, the manifest and layout readers, and SHA-256.

#include "json_value.h"
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

TEST(JsonValue, DecodesEscapesToRawBytes) {
    struct Case {
        const char* json;
        std::string bytes;
    };
    const Case cases[] = {
        {R"("plain")", "plain"},
        {R"("\" \\ \/ \b\f\n\r\t")", "\" \\ / \b\f\n\r\t"},
        {R"("na\u00efve \u2713")", "na\xC3\xAFve \xE2\x9C\x93"},
        {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"}, // a surrogate pair is one code point
        {R"("/names/\udcff\udcfe name.bin")", "/names/\xFF\xFE name.bin"}, // undecodable bytes
        {R"("\u0041\udc80")", std::string("A\x80")},
        {"\"raw \xC3\xA9 bytes\"", "raw \xC3\xA9 bytes"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonValue::parse(c.json).string(), c.bytes) << c.json;
}

TEST(JsonValue, RejectsMalformedText) {
    const char* bad[] = {
        R"("unterminated)",
        R"("\ud800")",
        R"("\ud800\u0041")",
        R"("\udc41")",
        R"("\x")",
        R"({"a":1} x)",
        R"([1,])",
        R"({"a" 1})",
        "\"tab\tinside\"",
        "01x",
        "",
        "[[[[[[[[[[[[[[[[[[[["
        "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["};
    for (const char* text : bad)
        EXPECT_THROW(JsonValue::parse(text), JsonError) << text;
}

TEST(JsonValue, ReadsStructureAndLargeIntegers) {
    auto v = JsonValue::parse(R"( {"size": 5368717612, "neg": -7, "f": 2.5, "ok": true,
                                   "no": false, "n": null, "list": [1, "two", []]} )");
    EXPECT_EQ(v.at("size").integer(), 5368717612LL);
    EXPECT_EQ(v.at("neg").integer(), -7);
    EXPECT_DOUBLE_EQ(v.at("f").number(), 2.5);
    EXPECT_THROW(v.at("f").integer(), JsonError);
    EXPECT_TRUE(v.at("ok").boolean());
    EXPECT_FALSE(v.at("no").boolean());
    EXPECT_TRUE(v.at("n").isNull());
    ASSERT_EQ(v.at("list").array().size(), 3u);
    EXPECT_EQ(v.at("list").array()[1].string(), "two");
    EXPECT_EQ(v.find("missing"), nullptr);
    EXPECT_THROW(v.at("missing"), JsonError);
}

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

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256Hex(two.data(), two.size()),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // 55, 56 and 64 bytes sit on the padding boundaries.
    EXPECT_EQ(sha256Hex(std::string(55, 'a').data(), 55),
              "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    EXPECT_EQ(sha256Hex(std::string(56, 'a').data(), 56),
              "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
    EXPECT_EQ(sha256Hex(std::string(64, 'a').data(), 64),
              "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}

TEST(Sha256, IncrementalMatchesOneShotAndFile) {
    // One million 'a' in uneven pieces, across many block boundaries.
    Sha256 h;
    const std::string piece(997, 'a');
    std::size_t left = 1000000;
    while (left > 0) {
        std::size_t n = std::min(left, piece.size());
        h.update(piece.data(), n);
        left -= n;
    }
    EXPECT_EQ(h.finishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    TempFile file("abc");
    EXPECT_EQ(sha256FileHex(file.path()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
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
