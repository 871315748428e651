#pragma once
// A small JSON reader for the files the image generator writes (manifests
// and disk layouts). Strings come back as raw bytes: the generator writes
// file names that are not valid UTF-8 as "\udcXX" escapes (one lone
// surrogate per byte), and those turn back into the single byte 0xXX here;
// every other escape becomes UTF-8.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvak::test {

class JsonError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class JsonValue {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };

    // Parses one complete JSON text; anything but white space after it is an error.
    static JsonValue parse(std::string_view text);

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }

    bool boolean() const;
    // Integral numbers are kept exactly (file sizes beyond 2^53 included).
    std::int64_t integer() const;
    double number() const;
    const std::string& string() const;
    const std::vector<JsonValue>& array() const;

    // Object members: find() yields nullptr when the key is absent, at() throws.
    const JsonValue* find(std::string_view key) const;
    const JsonValue& at(std::string_view key) const;

private:
    friend class JsonParser;
    Type type_ = Type::Null;
    bool bool_ = false;
    bool integral_ = false;
    std::int64_t int_ = 0;
    double number_ = 0;
    std::string string_;
    std::vector<JsonValue> array_;
    std::vector<std::pair<std::string, JsonValue>> object_;
};

} // namespace dorvak::test
