#pragma once
// Where the kernel-made test images live, and whether they can be used.
//
// The images are made by tools/make-test-images and committed, compressed,
// under tests/data/images; the unpack_test_images test (which other tests
// name as FIXTURES_REQUIRED test_images) unpacks them into a folder fixed at
// configure time, which the environment variable DORVAK_TEST_IMAGES can move.
// A test whose image is missing skips with the reason, except under CI (the
// environment variable CI set and not "false"), where it fails: a CI run must
// never pass without the tests against real volumes.
//
//     TEST(Mount, RealVolume) {
//         DORVAK_SKIP_WITHOUT_IMAGE("v4096.img");
//         auto entries = readManifest(testImage("v4096.manifest.jsonl"));
//         ...

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvak::test {

std::filesystem::path testImagesDir();
std::filesystem::path testImage(std::string_view fileName);

// The images every run of the generator makes (the bench image is not one of them).
const std::vector<std::string>& standardImageNames();

// Why the images cannot be used, or nothing when they can: the text of
// UNAVAILABLE, else a note naming the first missing file. Without an
// argument every standard image is checked.
std::optional<std::string> imagesUnavailableReason(std::string_view fileName = {});

// True under CI, where a missing image is a failure rather than a skip.
bool imagesRequired();

} // namespace dorvak::test

// Skips the current GoogleTest test when the images (or the one named) are
// missing, or fails it under CI.
#define DORVAK_SKIP_WITHOUT_IMAGE(fileName)                                                        \
    do {                                                                                           \
        if (auto dorvakReason = ::dorvak::test::imagesUnavailableReason(fileName)) {               \
            if (::dorvak::test::imagesRequired()) FAIL() << *dorvakReason;                         \
            GTEST_SKIP() << *dorvakReason;                                                         \
        }                                                                                          \
    } while (0)

#define DORVAK_SKIP_WITHOUT_IMAGES() DORVAK_SKIP_WITHOUT_IMAGE(std::string_view{})
