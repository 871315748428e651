// Line tokenizer shared by the menu and string-table compilers: words, numbers
// and double-quoted strings with C escapes (\t \n \r \\ \"), '#' comments.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rescomp {

struct Token {
    enum Kind { Word, Number, String } kind;
    std::string text;    // the word or the decoded string (UTF-8)
    long long value = 0; // for numbers
};

struct CompileError : std::runtime_error {
    CompileError(const std::string& file, int line, const std::string& what)
        : std::runtime_error(file + ":" + std::to_string(line) + ": " + what) {}
};

// Splits one line; throws CompileError on an unterminated string or a bad escape.
std::vector<Token> tokenize(const std::string& line, const std::string& file, int lineNo);

// UTF-8 to UTF-16 code units (BMP only; other code points become '?').
std::u16string toUtf16(const std::string& utf8);

// UTF-8 to Windows-1252 bytes for the characters below 256; others become '?'.
std::string toAnsi(const std::string& utf8);

} // namespace rescomp
