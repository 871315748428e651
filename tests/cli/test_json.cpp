// The JSON strings of list and find: the word-at-a-time escaping against a
// byte-at-a-time one, over names whose odd bytes fall on every place of an
// 8-byte word, before, inside and after it, and at the end of the name.
#include "browse/name_decoder.h"
#include "browse/safe_names.h"
#include "cli/cli_util.h"
#include "reiserfs/catalog.h"

#include <cstdio>
#include <gtest/gtest.h>

using namespace dorvak;

namespace {

// One character or sequence at a time.
std::string slowJson(std::string_view bytes) {
    std::string out;
    char hex[8];
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t len = utf8Length(bytes, i);
        if (len == 0) {
            std::snprintf(hex, sizeof hex, "\\udc%02x", c);
            out += hex;
        } else if (len > 1) {
            out.append(bytes, i, len);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\u%04x", c);
            out += hex;
        } else {
            out += char(c);
        }
        i += len ? len : 1;
    }
    return out;
}

std::string fastJson(std::string_view bytes, bool pathName) {
    std::string out(bytes.size() * cli::kJsonCharsPerByte, '\0');
    out.resize(std::size_t(cli::putJsonChars(out.data(), bytes, pathName) - out.data()));
    return out;
}

} // namespace

TEST(JsonText, WordsAtATimeEscapeAsBytesAtATime) {
    const std::vector<std::string> odd = {"\"",       "\\",           "/",
                                          "%",        "\x01",         "\x7F",
                                          "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                          "\xC3",     "\xFF",         "\xE2\x82"};
    std::size_t checked = 0;
    for (std::size_t length = 0; length <= 20; ++length)
        for (const std::string& o : odd)
            for (std::size_t at = 0; at <= length; ++at) {
                std::string name(length, 'a');
                for (std::size_t k = 0; k < length; ++k)
                    name[k] = char('a' + k % 26);
                name.insert(at, o);
                SCOPED_TRACE(testing::PrintToString(name));
                EXPECT_EQ(fastJson(name, false), slowJson(name));
                std::string path;
                appendPathName(path, name);
                EXPECT_EQ(fastJson(name, true), slowJson(path.substr(1)));
                bool valid = true;
                for (std::size_t i = 0; i < name.size() && valid;) {
                    const std::size_t len = utf8Length(name, i);
                    valid = len != 0;
                    i += len;
                }
                EXPECT_EQ(isValidUtf8(name), valid);
                ++checked;
            }
    EXPECT_GT(checked, 2000u);
    EXPECT_EQ(cli::jsonString("a\"b"), "\"a\\\"b\"");
}
