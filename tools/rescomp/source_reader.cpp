#include "source_reader.h"

#include <cctype>
#include <cstdlib>

namespace rescomp {

namespace {

char escape(char c, const std::string& file, int lineNo) {
    switch (c) {
    case 't':
        return '\t';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case '\\':
        return '\\';
    case '"':
        return '"';
    default:
        throw CompileError(file, lineNo, std::string("unknown escape \\") + c);
    }
}

} // namespace

std::vector<Token> tokenize(const std::string& line, const std::string& file, int lineNo) {
    std::vector<Token> out;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '#') break;
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            ++i;
            continue;
        }
        if (c == '"') {
            std::string text;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    closed = true;
                    ++i;
                    break;
                }
                if (line[i] == '\\') {
                    if (i + 1 >= line.size()) break;
                    text += escape(line[i + 1], file, lineNo);
                    i += 2;
                    continue;
                }
                text += line[i++];
            }
            if (!closed) throw CompileError(file, lineNo, "unterminated string");
            out.push_back({Token::String, text, 0});
            continue;
        }
        size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])) &&
               line[end] != ',' && line[end] != '"' && line[end] != '#')
            ++end;
        std::string word = line.substr(i, end - i);
        i = end;
        char* stop = nullptr;
        const long long value = std::strtoll(word.c_str(), &stop, 0);
        if (!word.empty() && stop && *stop == '\0' &&
            std::isdigit(static_cast<unsigned char>(word[0])))
            out.push_back({Token::Number, word, value});
        else
            out.push_back({Token::Word, word, 0});
    }
    return out;
}

namespace {

// Decodes one UTF-8 sequence at s[i]; returns the code point (0xFFFD on bad input).
char32_t nextCodePoint(const std::string& s, size_t& i) {
    const unsigned char b = static_cast<unsigned char>(s[i++]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra < 0) return 0xFFFD;
    char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) >> 6) != 2) return 0xFFFD;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return cp;
}

} // namespace

std::u16string toUtf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        out += cp <= 0xFFFF ? static_cast<char16_t>(cp) : u'?';
    }
    return out;
}

std::string toAnsi(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t cp = nextCodePoint(utf8, i);
        out += cp < 0x100 ? static_cast<char>(cp) : '?';
    }
    return out;
}

} // namespace rescomp
