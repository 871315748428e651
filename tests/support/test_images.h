#pragma once
// Where the kernel-made test images live, and whether they can be used.
//
// The images are made by tools/make-test-images (the make_test_images test,
// which other tests name as FIXTURES_REQUIRED test_images). The folder is
// fixed at configure time and can be moved with the environment variable
// DORVAK_TEST_IMAGES. When the machine cannot run the guest that makes them,
// the folder holds a file UNAVAILABLE with the reason, and tests skip:
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

} // namespace dorvak::test

// Skips the current GoogleTest test when the images (or the one named) are missing.
#define DORVAK_SKIP_WITHOUT_IMAGES()                                                               \
    do {                                                                                           \
        if (auto dorvakReason = ::dorvak::test::imagesUnavailableReason())                         \
            GTEST_SKIP() << *dorvakReason;                                                         \
    } while (0)

#define DORVAK_SKIP_WITHOUT_IMAGE(fileName)                                                        \
    do {                                                                                           \
        if (auto dorvakReason = ::dorvak::test::imagesUnavailableReason(fileName))                 \
            GTEST_SKIP() << *dorvakReason;                                                         \
    } while (0)
