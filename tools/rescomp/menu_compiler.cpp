#include "menu_compiler.h"

#include "source_reader.h"

#include <fstream>
#include <map>

namespace rescomp {
namespace {

constexpr uint16_t kPopup = 0x10;
constexpr uint16_t kEnd = 0x80;

struct Item {
    uint16_t flags = 0;
    uint16_t id = 0;
    std::u16string text;
    bool popup = false;
    std::vector<Item> children;
};

uint16_t parseFlags(const std::vector<Token>& t, size_t from, const std::string& file, int line) {
    static const std::map<std::string, uint16_t> names = {
        {"GRAYED", 0x01},       {"INACTIVE", 0x02},  {"CHECKED", 0x08},
        {"MENUBARBREAK", 0x20}, {"MENUBREAK", 0x40}, {"HELP", 0x4000}};
    uint16_t flags = 0;
    for (size_t i = from; i < t.size(); ++i) {
        auto it = names.find(t[i].text);
        if (t[i].kind != Token::Word || it == names.end())
            throw CompileError(file, line, "unknown flag '" + t[i].text + "'");
        flags |= it->second;
    }
    return flags;
}

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void emit(std::vector<uint8_t>& out, const std::vector<Item>& level) {
    for (size_t i = 0; i < level.size(); ++i) {
        const Item& item = level[i];
        uint16_t flags = item.flags;
        if (item.popup) flags |= kPopup;
        if (i + 1 == level.size()) flags |= kEnd;
        put16(out, flags);
        if (!item.popup) put16(out, item.id);
        for (char16_t ch : item.text)
            put16(out, ch);
        put16(out, 0);
        if (item.popup) emit(out, item.children);
    }
}

} // namespace

std::vector<uint8_t> compileMenu(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw CompileError(path, 0, "cannot open");
    std::vector<Item> top;
    std::vector<std::vector<Item>*> stack{&top};
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::vector<Token> t = tokenize(line, path, lineNo);
        if (t.empty()) continue;
        if (t[0].kind != Token::Word) throw CompileError(path, lineNo, "expected a keyword");
        const std::string& kw = t[0].text;
        if (kw == "END") {
            if (stack.size() == 1) throw CompileError(path, lineNo, "END without POPUP");
            if (stack.back()->empty()) throw CompileError(path, lineNo, "empty POPUP");
            stack.pop_back();
        } else if (kw == "POPUP") {
            if (t.size() < 2 || t[1].kind != Token::String)
                throw CompileError(path, lineNo, "POPUP needs a text");
            Item item;
            item.popup = true;
            item.text = toUtf16(t[1].text);
            item.flags = parseFlags(t, 2, path, lineNo);
            stack.back()->push_back(std::move(item));
            stack.push_back(&stack.back()->back().children);
        } else if (kw == "MENUITEM") {
            Item item;
            if (t.size() == 2 && t[1].kind == Token::Word && t[1].text == "SEPARATOR") {
                stack.back()->push_back(item);
                continue;
            }
            if (t.size() < 3 || t[1].kind != Token::String || t[2].kind != Token::Number)
                throw CompileError(path, lineNo, "MENUITEM needs a text and an identifier");
            if (t[2].value < 1 || t[2].value > 0xFFFF)
                throw CompileError(path, lineNo, "identifier out of range 1..65535");
            item.text = toUtf16(t[1].text);
            item.id = static_cast<uint16_t>(t[2].value);
            item.flags = parseFlags(t, 3, path, lineNo);
            stack.back()->push_back(std::move(item));
        } else {
            throw CompileError(path, lineNo, "unknown keyword '" + kw + "'");
        }
    }
    if (stack.size() != 1) throw CompileError(path, lineNo, "POPUP not closed by END");
    if (top.empty()) throw CompileError(path, lineNo, "empty menu");
    std::vector<uint8_t> out;
    put16(out, 0); // version
    put16(out, 0); // header size beyond the two words
    emit(out, top);
    return out;
}

} // namespace rescomp
