#include "manifest.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace dorvak::test {
namespace {

using nlohmann::json;

// A name byte that is not UTF-8 reaches the manifest as the escape of a lone
// low surrogate, "\udc80" to "\udcff" (Python's surrogateescape), which a
// strict JSON reader refuses. Before parsing, each such escape becomes
// "\u0000" and the byte's two hex digits; a path cannot hold a NUL byte, so
// after parsing a NUL and two hex digits can only stand for that byte.
std::string markRawByteEscapes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') inString = !inString;
        if (!inString || c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const std::string escape = text.substr(i, 6);
        if (escape.size() == 6 &&
            (escape.compare(0, 4, "\\udc") == 0 || escape.compare(0, 4, "\\uDC") == 0) &&
            std::string("89abcdefABCDEF").find(escape[4]) != std::string::npos &&
            std::isxdigit(static_cast<unsigned char>(escape[5]))) {
            out += "\\u0000";
            out += escape.substr(4, 2);
            i += 5;
        } else {
            out += text.substr(i, 2); // any other escape, "\\" and "\"" included
            ++i;
        }
    }
    return out;
}

std::string rawBytes(const json& value) {
    const std::string& text = value.get_ref<const std::string&>();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\0') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 2])))
            throw std::runtime_error("a NUL in a name");
        out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
    }
    return out;
}

std::string readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename T> T unsignedField(const json& object, const char* key) {
    const json& v = object.at(key);
    if (!v.is_number_unsigned() || v.get<std::uint64_t>() > std::numeric_limits<T>::max())
        throw std::runtime_error(std::string("member \"") + key + "\" is not a " +
                                 std::to_string(sizeof(T) * 8) + "-bit unsigned integer");
    return static_cast<T>(v.get<std::uint64_t>());
}

ManifestEntry entryFrom(const json& v) {
    ManifestEntry e;
    e.path = rawBytes(v.at("path"));
    e.kind = v.at("kind").get<std::string>();
    e.size = unsignedField<std::uint64_t>(v, "size");
    if (!v.at("mtime").is_number_integer())
        throw std::runtime_error("member \"mtime\" is not an integer");
    e.mtime = v.at("mtime").get<std::int64_t>();
    e.inode = unsignedField<std::uint32_t>(v, "inode");
    e.dirId = unsignedField<std::uint32_t>(v, "dirId");
    e.parentInode = unsignedField<std::uint32_t>(v, "parentInode");
    e.nlink = unsignedField<std::uint32_t>(v, "nlink");
    if (auto sha = v.find("sha256"); sha != v.end() && !sha->is_null())
        e.sha256 = sha->get<std::string>();
    if (auto event = v.find("event"); event != v.end()) e.event = event->get<std::string>();
    return e;
}

LayoutVolume volumeFrom(const json& v) {
    LayoutVolume out;
    out.partition = unsignedField<unsigned>(v, "partition");
    out.startSector = unsignedField<std::uint64_t>(v, "startSector");
    out.sectorCount = unsignedField<std::uint64_t>(v, "sectorCount");
    if (v.contains("blockSize")) {
        out.blockSize = unsignedField<std::uint32_t>(v, "blockSize");
        out.rootBlock = unsignedField<std::uint32_t>(v, "rootBlock");
        out.format = v.at("format").get<std::string>();
        out.manifest = v.at("manifest").get<std::string>();
    }
    return out;
}

} // namespace

std::string ManifestEntry::name() const {
    return path.substr(path.rfind('/') + 1);
}

std::string ManifestEntry::parentPath() const {
    return path.substr(0, path.rfind('/'));
}

std::vector<ManifestEntry> readManifest(const std::filesystem::path& file) {
    std::istringstream lines(readWhole(file));
    std::vector<ManifestEntry> entries;
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        try {
            entries.push_back(entryFrom(json::parse(markRawByteEscapes(line))));
        } catch (const std::exception& e) {
            throw std::runtime_error(file.string() + ":" + std::to_string(number) + ": " +
                                     e.what());
        }
    }
    return entries;
}

DiskLayout readDiskLayout(const std::filesystem::path& file) {
    const std::string text = readWhole(file);
    try {
        const json doc = json::parse(text);
        DiskLayout layout;
        layout.diskSectors = unsignedField<std::uint64_t>(doc, "diskSectors");
        if (auto junk = doc.find("junk"); junk != doc.end() && !junk->is_null())
            layout.junk = volumeFrom(*junk);
        for (const json& v : doc.at("volumes"))
            layout.volumes.push_back(volumeFrom(v));
        return layout;
    } catch (const std::exception& e) {
        throw std::runtime_error(file.string() + ": " + e.what());
    }
}

} // namespace dorvak::test
