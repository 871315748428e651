// String table: lines of `<identifier> "<text>"`. Each string is written as
// strings/<identifier>.txt in the program's 8-bit code page, without a
// trailing line feed (a "\n" inside the text is kept: toolbar tips use the
// second line).
#include "string_table.h"

#include "source_reader.h"

#include <fstream>
#include <set>

namespace rescomp {

std::vector<StringEntry> readStringTable(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw CompileError(path, 0, "cannot open");
    std::vector<StringEntry> out;
    std::set<long long> seen;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        const std::vector<Token> t = tokenize(line, path, lineNo);
        if (t.empty()) continue;
        if (t.size() != 2 || t[0].kind != Token::Number || t[1].kind != Token::String)
            throw CompileError(path, lineNo, "expected: <identifier> \"text\"");
        if (t[0].value < 1 || t[0].value > 0xFFFF)
            throw CompileError(path, lineNo, "identifier out of range 1..65535");
        if (!seen.insert(t[0].value).second)
            throw CompileError(path, lineNo, "duplicate identifier");
        out.push_back({static_cast<int>(t[0].value), toAnsi(t[1].text)});
    }
    return out;
}

} // namespace rescomp
