#include "browse/name_match.h"

#include <gtest/gtest.h>
#include <random>

using namespace dorvak;

TEST(NameMatches, KnownAnswers) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        // Plain text finds every name that contains it, letter case ignored.
        {"README.TXT", "readme", true},
        {"my notes.doc", "NOTES", true},
        {"abc", "abcd", false},
        {"", "a", false},
        {"a", "", false},
        {"", "*", false},
        {"anything", "*", true},
        {"a.b", "*.*", true},
        {".profile", "*.*", true},
        {"nodot", "*.*", false},
        // A wildcard pattern covers the whole name.
        {"A.TXT", "*.T?T", true},
        {"a.txt", "*.T?T", true},
        {"A.TEXT", "*.T?T", false},
        {"ABC", "A?C", true},
        {"ABCDEF", "A?C", false},
        {"AB", "AB?", false},
        {"ABX", "AB?", true},
        {"ABXY", "AB?", false},
        {"C", "*C", true},
        {"ABC", "*C", true},
        {"ABCD", "*C", false},
        {"XAYAB", "*AB*", true},
        {"AB", "*AB*", true},
        {"AXB", "*AB*", false},
        {"abc", "a**", true},
        {"a", "a*", true},
        {"a", "*a*", true},
        {"aaab", "*a*b", true},
        {"aaa", "*a*b", false},
        {"report2024.pdf", "report*.pdf", true},
        {"report.pdf.bak", "report*.pdf", false},
        {"data.bin", "*.b?n", true},
        {"a.tx", "*.tx?", false},
        {"mississippi", "m*iss*iss*ppi", true},
        {"mississippi", "*iss*iss*iss*", false},
        {"ab", "??", true},
        {"ab", "???", false},
        // Only "*" and "?" are wildcards; brackets and backslashes are text.
        {"[a].txt", "[a]*", true},
        {"a.txt", "[a]*", false},
        {"a\\b", "a\\*", true},
        // "?" stands for one letter, also when it takes several bytes.
        {"caf\xc3\xa9", "caf?", true},
        {"caf\xc3\xa9", "caf??", false},
        {"\xff\xfe", "??", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameMatches(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

TEST(NameMatches, CaseIsIgnoredForAsciiAndOtherBytesAreKept) {
    EXPECT_EQ(upperCase("a\xc3\xa9z"), "A\xc3\xa9Z");
    EXPECT_TRUE(NameMatches("caf\xc3\xa9.txt", "CAF\xc3\xa9"));
}

TEST(NameMatches, ArbitraryPatternsNeverReadOutsideTheirTexts) {
    // Run under the sanitizers in CI: every branch of the walk with names and
    // patterns of every short shape.
    std::mt19937 rng(7);
    const char alphabet[] = "ab.*?";
    int matches = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string name(rng() % 6, 'a'), pattern(rng() % 7, 'a');
        for (char& c : name)
            c = alphabet[rng() % 3];
        for (char& c : pattern)
            c = alphabet[rng() % 5];
        matches += NameMatches(name, pattern);
    }
    EXPECT_GT(matches, 0);
    EXPECT_LT(matches, 200000);
}
