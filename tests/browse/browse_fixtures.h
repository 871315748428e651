#pragma once
// Shared pieces of the browse tests: the mount helpers, a scratch folder and
// readers of what a copy-out wrote.

#include "common/mount_helpers.h"
#include "common/tree_builder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvak::test {

using MountedVolume = Mounted; // the name the browse tests grew up with

// A fresh folder under the system's temporary folder, removed afterwards
// (remove_all does not follow links).
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dorvak-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline std::string str(const std::vector<std::uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

// Every path below `root`, relative, sorted, without following links.
inline std::vector<std::string> listTree(const std::filesystem::path& root) {
    std::vector<std::string> out;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it)
        out.push_back(std::filesystem::relative(it->path(), root).string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace dorvak::test
