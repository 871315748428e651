#include "browse/user_guide.h"

#include <system_error>

// Set by the build from the install layout: the guide's folder relative to
// the programs' folder. Relative, so that the package's tree (prefix /usr)
// and a tree unpacked or installed anywhere else find their own copy.
#ifndef DORVAK_GUIDE_FROM_BINDIR
#define DORVAK_GUIDE_FROM_BINDIR "../share/doc/dorvak-reiserfs/guide"
#endif

namespace dorvak {

std::filesystem::path findUserGuide(const std::filesystem::path& programDirectory) {
    namespace fs = std::filesystem;
    const fs::path candidates[] = {
        programDirectory / "guide",
        programDirectory / DORVAK_GUIDE_FROM_BINDIR,
    };
    for (const fs::path& folder : candidates) {
        std::error_code error;
        const fs::path page = (folder / "index.html").lexically_normal();
        if (fs::is_regular_file(page, error)) return page;
    }
    return {};
}

std::filesystem::path findUserGuide() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return findUserGuide(std::filesystem::current_path(error));
    return findUserGuide(self.parent_path());
}

} // namespace dorvak
