#include "manifest.h"

#include "json_value.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dorvak::test {
namespace {

std::string readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename T> T unsignedField(const JsonValue& object, std::string_view key) {
    std::int64_t v = object.at(key).integer();
    if (v < 0 || static_cast<std::uint64_t>(v) > static_cast<std::uint64_t>(T(~T(0))))
        throw JsonError("JSON: member \"" + std::string(key) + "\" out of range");
    return static_cast<T>(v);
}

ManifestEntry entryFrom(const JsonValue& v) {
    ManifestEntry e;
    e.path = v.at("path").string();
    e.kind = v.at("kind").string();
    e.size = unsignedField<std::uint64_t>(v, "size");
    e.mtime = v.at("mtime").integer();
    e.inode = unsignedField<std::uint32_t>(v, "inode");
    e.dirId = unsignedField<std::uint32_t>(v, "dirId");
    e.parentInode = unsignedField<std::uint32_t>(v, "parentInode");
    e.nlink = unsignedField<std::uint32_t>(v, "nlink");
    if (const JsonValue* sha = v.find("sha256"); sha && !sha->isNull()) e.sha256 = sha->string();
    if (const JsonValue* event = v.find("event")) e.event = event->string();
    return e;
}

LayoutVolume volumeFrom(const JsonValue& v) {
    LayoutVolume out;
    out.partition = unsignedField<unsigned>(v, "partition");
    out.startSector = unsignedField<std::uint64_t>(v, "startSector");
    out.sectorCount = unsignedField<std::uint64_t>(v, "sectorCount");
    if (v.find("blockSize")) {
        out.blockSize = unsignedField<std::uint32_t>(v, "blockSize");
        out.rootBlock = unsignedField<std::uint32_t>(v, "rootBlock");
        out.format = v.at("format").string();
        out.manifest = v.at("manifest").string();
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
            entries.push_back(entryFrom(JsonValue::parse(line)));
        } catch (const JsonError& e) {
            throw std::runtime_error(file.string() + ":" + std::to_string(number) + ": " +
                                     e.what());
        }
    }
    return entries;
}

DiskLayout readDiskLayout(const std::filesystem::path& file) {
    try {
        JsonValue doc = JsonValue::parse(readWhole(file));
        DiskLayout layout;
        layout.diskSectors = unsignedField<std::uint64_t>(doc, "diskSectors");
        if (const JsonValue* junk = doc.find("junk"); junk && !junk->isNull())
            layout.junk = volumeFrom(*junk);
        for (const JsonValue& v : doc.at("volumes").array())
            layout.volumes.push_back(volumeFrom(v));
        return layout;
    } catch (const JsonError& e) {
        throw std::runtime_error(file.string() + ": " + e.what());
    }
}

} // namespace dorvak::test
