#pragma once
// Shared pieces of the browse tests: the mount helpers, a scratch folder and
// readers of what a copy-out wrote.

#include "common/mount_helpers.h"
#include "common/tree_builder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>

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

// What a run of the command-line program printed and its exit status.
struct CliRun {
    int status = -1;
    std::string out, err;
};

// Runs `program` with `args` (shell words, quoted by the caller). Its
// stderr goes to `errFile` and then into `err` when a file is given, else it
// joins stdout in `out`.
inline CliRun runProgram(const std::string& program, const std::string& args,
                         const std::filesystem::path& errFile = {}) {
    CliRun r;
    const std::string command =
        program + " " + args + (errFile.empty() ? " 2>&1" : " 2>'" + errFile.string() + "'");
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int w = ::pclose(p);
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    if (!errFile.empty()) r.err = readFile(errFile);
    return r;
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
