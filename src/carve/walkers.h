#pragma once
// The walkers of each format, gathered by the registry. Each pair is a
// signature test (a few byte compares over the head) and a walk over the
// format's structure; the comment beside each walk says where it ends and
// what "interrupted" means for its format.

#include "carve/format_walker.h"

#include <cstdint>
#include <span>

namespace dorvak::carve {

using Head = std::span<const std::uint8_t>;

#define DORVAK_CARVE_WALKER(name)                                                                  \
    bool name##Matches(Head head);                                                                 \
    WalkResult name##Walk(const CarveInput& in)

DORVAK_CARVE_WALKER(jpeg);
DORVAK_CARVE_WALKER(png);
DORVAK_CARVE_WALKER(gif);
DORVAK_CARVE_WALKER(bmp);
DORVAK_CARVE_WALKER(tiff);
DORVAK_CARVE_WALKER(pdf);
DORVAK_CARVE_WALKER(zip);
DORVAK_CARVE_WALKER(tar);
DORVAK_CARVE_WALKER(gzip);
DORVAK_CARVE_WALKER(zlib);
DORVAK_CARVE_WALKER(bzip2);
DORVAK_CARVE_WALKER(xz);
DORVAK_CARVE_WALKER(wav);
DORVAK_CARVE_WALKER(avi);
DORVAK_CARVE_WALKER(mp3);
DORVAK_CARVE_WALKER(ogg);
DORVAK_CARVE_WALKER(flac);
DORVAK_CARVE_WALKER(font);
DORVAK_CARVE_WALKER(elf);
DORVAK_CARVE_WALKER(sqlite);
DORVAK_CARVE_WALKER(mp4);
DORVAK_CARVE_WALKER(text);

#undef DORVAK_CARVE_WALKER

} // namespace dorvak::carve
