#include "test_images.h"

#include <cstdlib>

namespace dorvak::test {

std::filesystem::path testImagesDir() {
    if (const char* env = std::getenv("DORVAK_TEST_IMAGES"); env && *env) return env;
    return DORVAK_TEST_IMAGES_DIR;
}

std::filesystem::path testImage(std::string_view fileName) {
    return testImagesDir() / fileName;
}

const std::vector<std::string>& standardImageNames() {
    static const std::vector<std::string> names = {
        "v4096.img",      "v1024.img",   "v512.img",      "v35.img",
        "moved.img",      "deleted.img", "part-disk.img", "part-gpt.img",
        "part-gpt4k.img", "sample.img",  "carve.img",     "versions.img"};
    return names;
}

std::optional<std::string> imagesUnavailableReason(std::string_view fileName) {
    const auto dir = testImagesDir();
    std::vector<std::string> wanted;
    if (fileName.empty())
        wanted = standardImageNames();
    else
        wanted.emplace_back(fileName);
    for (const auto& name : wanted) {
        std::error_code ec;
        if (!std::filesystem::exists(dir / name, ec))
            return "test image " + name + " not found in " + dir.string() +
                   " (the unpack_test_images test puts them there: ctest -R unpack_test_images)";
    }
    return std::nullopt;
}

bool imagesRequired() {
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string_view(ci) != "false" && std::string_view(ci) != "0";
}

} // namespace dorvak::test
