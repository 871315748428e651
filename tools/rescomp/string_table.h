#pragma once

#include <string>
#include <vector>

namespace rescomp {

struct StringEntry {
    int id;
    std::string bytes; // 8-bit text
};

std::vector<StringEntry> readStringTable(const std::string& path);

} // namespace rescomp
