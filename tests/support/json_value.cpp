#include "json_value.h"

#include <charconv>
#include <cstdlib>

namespace dorvak::test {

// Recursive descent over the text; nesting is bounded so that a damaged file
// cannot exhaust the stack.
class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    JsonValue document() {
        JsonValue v = value(0);
        skipSpace();
        if (pos_ != text_.size()) fail("trailing characters");
        return v;
    }

private:
    static constexpr int kMaxDepth = 64;
    std::string_view text_;
    std::size_t pos_ = 0;

    [[noreturn]] void fail(const std::string& what) const {
        throw JsonError("JSON: " + what + " at offset " + std::to_string(pos_));
    }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }
    char peek() {
        skipSpace();
        if (pos_ >= text_.size()) fail("unexpected end");
        return text_[pos_];
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++pos_;
    }
    bool literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    JsonValue value(int depth) {
        if (depth > kMaxDepth) fail("nesting too deep");
        JsonValue v;
        char c = peek();
        if (c == '{') {
            v.type_ = JsonValue::Type::Object;
            objectBody(v, depth);
        } else if (c == '[') {
            v.type_ = JsonValue::Type::Array;
            arrayBody(v, depth);
        } else if (c == '"') {
            v.type_ = JsonValue::Type::String;
            v.string_ = stringBody();
        } else if (literal("true")) {
            v.type_ = JsonValue::Type::Bool;
            v.bool_ = true;
        } else if (literal("false")) {
            v.type_ = JsonValue::Type::Bool;
        } else if (literal("null")) {
            v.type_ = JsonValue::Type::Null;
        } else {
            numberBody(v);
        }
        return v;
    }

    void objectBody(JsonValue& v, int depth) {
        expect('{');
        if (peek() == '}') {
            ++pos_;
            return;
        }
        for (;;) {
            if (peek() != '"') fail("expected a member name");
            std::string key = stringBody();
            expect(':');
            v.object_.emplace_back(std::move(key), value(depth + 1));
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect('}');
            return;
        }
    }

    void arrayBody(JsonValue& v, int depth) {
        expect('[');
        if (peek() == ']') {
            ++pos_;
            return;
        }
        for (;;) {
            v.array_.push_back(value(depth + 1));
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            expect(']');
            return;
        }
    }

    void numberBody(JsonValue& v) {
        std::size_t start = pos_;
        bool integral = true;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '.' || c == 'e' || c == 'E')
                integral = false;
            else if (!(c == '-' || c == '+' || (c >= '0' && c <= '9')))
                break;
            ++pos_;
        }
        std::string digits(text_.substr(start, pos_ - start));
        if (digits.empty()) fail("unexpected character");
        v.type_ = JsonValue::Type::Number;
        if (integral) {
            auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v.int_);
            if (ec != std::errc() || end != digits.data() + digits.size()) fail("bad integer");
            v.integral_ = true;
            v.number_ = static_cast<double>(v.int_);
        } else {
            char* end = nullptr;
            v.number_ = std::strtod(digits.c_str(), &end);
            if (end != digits.c_str() + digits.size()) fail("bad number");
        }
    }

    unsigned hex4() {
        if (pos_ + 4 > text_.size()) fail("short \\u escape");
        unsigned value = 0;
        auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, value, 16);
        if (ec != std::errc() || end != text_.data() + pos_ + 4) fail("bad \\u escape");
        pos_ += 4;
        return value;
    }

    static void appendUtf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    void unicodeEscape(std::string& out) {
        unsigned cp = hex4();
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!literal("\\u")) fail("lone high surrogate");
            unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) fail("bad surrogate pair");
            appendUtf8(out, 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00));
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            // An undecodable byte of a file name, escaped as U+DC80..U+DCFF.
            if (cp < 0xDC80 || cp > 0xDCFF) fail("lone low surrogate");
            out += static_cast<char>(cp - 0xDC00);
        } else {
            appendUtf8(out, cp);
        }
    }

    std::string stringBody() {
        expect('"');
        std::string out;
        for (;;) {
            if (pos_ >= text_.size()) fail("unterminated string");
            char c = text_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) fail("unterminated escape");
            char e = text_[pos_++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u':
                unicodeEscape(out);
                break;
            default:
                fail("unknown escape");
            }
        }
    }
};

JsonValue JsonValue::parse(std::string_view text) {
    return JsonParser(text).document();
}

bool JsonValue::boolean() const {
    if (type_ != Type::Bool) throw JsonError("JSON: not a boolean");
    return bool_;
}

std::int64_t JsonValue::integer() const {
    if (type_ != Type::Number || !integral_) throw JsonError("JSON: not an integer");
    return int_;
}

double JsonValue::number() const {
    if (type_ != Type::Number) throw JsonError("JSON: not a number");
    return number_;
}

const std::string& JsonValue::string() const {
    if (type_ != Type::String) throw JsonError("JSON: not a string");
    return string_;
}

const std::vector<JsonValue>& JsonValue::array() const {
    if (type_ != Type::Array) throw JsonError("JSON: not an array");
    return array_;
}

const JsonValue* JsonValue::find(std::string_view key) const {
    if (type_ != Type::Object) throw JsonError("JSON: not an object");
    for (const auto& [name, value] : object_)
        if (name == key) return &value;
    return nullptr;
}

const JsonValue& JsonValue::at(std::string_view key) const {
    const JsonValue* v = find(key);
    if (!v) throw JsonError("JSON: missing member \"" + std::string(key) + "\"");
    return *v;
}

} // namespace dorvak::test
