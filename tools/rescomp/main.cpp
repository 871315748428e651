// dorvak_rescomp OUTDIR STRINGS MENU...: compiles the string table and the
// menus (each named <number>.menu) into OUTDIR/strings/<id>.txt and
// OUTDIR/menus/<number>.bin, and lists them in OUTDIR/texts.qrc.
#include "menu_compiler.h"
#include "source_reader.h"
#include "string_table.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const void* data, size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: dorvak_rescomp OUTDIR STRINGS [MENU...]\n";
        return 2;
    }
    try {
        const fs::path out = argv[1];
        std::vector<std::string> files;
        for (const rescomp::StringEntry& s : rescomp::readStringTable(argv[2])) {
            const std::string rel = "strings/" + std::to_string(s.id) + ".txt";
            writeFile(out / rel, s.bytes.data(), s.bytes.size());
            files.push_back(rel);
        }
        for (int i = 3; i < argc; ++i) {
            const fs::path src = argv[i];
            const std::string stem = src.stem().string();
            if (stem.empty() || stem.find_first_not_of("0123456789") != std::string::npos)
                throw std::runtime_error(src.string() + ": a menu file is named <number>.menu");
            const std::vector<uint8_t> bin = rescomp::compileMenu(src.string());
            const std::string rel = "menus/" + stem + ".bin";
            writeFile(out / rel, bin.data(), bin.size());
            files.push_back(rel);
        }
        std::string qrc = "<RCC>\n  <qresource prefix=\"/\">\n";
        for (const std::string& f : files)
            qrc += "    <file>" + f + "</file>\n";
        qrc += "  </qresource>\n</RCC>\n";
        writeFile(out / "texts.qrc", qrc.data(), qrc.size());
    } catch (const std::exception& e) {
        std::cerr << "dorvak_rescomp: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
