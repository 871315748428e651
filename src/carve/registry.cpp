#include "carve/walkers.h"

#include <array>

namespace dorvak::carve {

namespace {

// Long, specific signatures first; the two weakest (a zlib header is two
// bytes, text is any run of letters) come last so that they only take what
// no other format claims.
const std::array<FormatWalker, 22> kWalkers{{
    {"png", "PNG image", pngMatches, pngWalk, true, true},
    {"jpg", "JPEG image", jpegMatches, jpegWalk},
    {"gif", "GIF image", gifMatches, gifWalk},
    {"pdf", "PDF document", pdfMatches, pdfWalk},
    {"zip", "ZIP archive", zipMatches, zipWalk, true, true},
    {"tar", "TAR archive", tarMatches, tarWalk},
    {"gz", "gzip archive", gzipMatches, gzipWalk, true, true},
    {"bz2", "bzip2 archive", bzip2Matches, bzip2Walk, true, true},
    {"xz", "xz archive", xzMatches, xzWalk, true, true},
    {"sqlite", "SQLite database", sqliteMatches, sqliteWalk, false},
    {"wav", "WAV audio", wavMatches, wavWalk, false},
    {"avi", "AVI video", aviMatches, aviWalk},
    {"ogg", "Ogg media", oggMatches, oggWalk, true, true},
    {"flac", "FLAC audio", flacMatches, flacWalk, true, true},
    {"mp4", "MPEG-4 video", mp4Matches, mp4Walk, false},
    {"elf", "ELF program", elfMatches, elfWalk, false},
    {"ttf", "TrueType font", fontMatches, fontWalk},
    {"tif", "TIFF image", tiffMatches, tiffWalk, false},
    {"bmp", "BMP image", bmpMatches, bmpWalk, false},
    {"mp3", "MP3 audio", mp3Matches, mp3Walk},
    {"zlib", "zlib stream", zlibMatches, zlibWalk, true, true},
    {"txt", "text", textMatches, textWalk, false},
}};

} // namespace

std::span<const FormatWalker> formatWalkers() {
    return kWalkers;
}

const FormatWalker* walkerFor(std::span<const std::uint8_t> head) {
    for (const FormatWalker& w : kWalkers)
        if (w.matches(head)) return &w;
    return nullptr;
}

} // namespace dorvak::carve
