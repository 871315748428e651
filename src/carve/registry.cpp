#include "carve/walkers.h"

#include <array>

namespace dorvak::carve {

namespace {

// Long, specific signatures first; the two weakest (a zlib header is two
// bytes, text is any run of letters) come last so that they only take what
// no other format claims.
const std::array<FormatWalker, 22> kWalkers{{
    {"png", "PNG image", pngMatches, pngWalk, true, true, "\x89"},
    {"jpg", "JPEG image", jpegMatches, jpegWalk, true, false, "\xFF"},
    {"gif", "GIF image", gifMatches, gifWalk, true, false, "G"},
    {"pdf", "PDF document", pdfMatches, pdfWalk, true, false, "%"},
    {"zip", "ZIP archive", zipMatches, zipWalk, true, true, "P"},
    {"tar", "TAR archive", tarMatches, tarWalk, true, false, {}},
    {"gz", "gzip archive", gzipMatches, gzipWalk, true, true, "\x1F"},
    {"bz2", "bzip2 archive", bzip2Matches, bzip2Walk, true, true, "B"},
    {"xz", "xz archive", xzMatches, xzWalk, true, true, "\xFD"},
    {"sqlite", "SQLite database", sqliteMatches, sqliteWalk, false, false, "S"},
    {"wav", "WAV audio", wavMatches, wavWalk, false, false, "R"},
    {"avi", "AVI video", aviMatches, aviWalk, true, false, "R"},
    {"ogg", "Ogg media", oggMatches, oggWalk, true, true, "O"},
    {"flac", "FLAC audio", flacMatches, flacWalk, true, true, "f"},
    {"mp4", "MPEG-4 video", mp4Matches, mp4Walk, false, false, {}},
    {"elf", "ELF program", elfMatches, elfWalk, false, false, "\x7F"},
    {"ttf", "TrueType font", fontMatches, fontWalk, true, false, {"\0Ot", 3}},
    {"tif", "TIFF image", tiffMatches, tiffWalk, false, false, "IM"},
    {"bmp", "BMP image", bmpMatches, bmpWalk, false, false, "B"},
    {"mp3", "MP3 audio", mp3Matches, mp3Walk, true, false, "I\xFF"},
    {"zlib", "zlib stream", zlibMatches, zlibWalk, true, true, "x"},
    {"txt", "text", textMatches, textWalk, false, false, {}},
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
