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
        {"anything", "*", true},
        {"a.b", "*.*", true},
        {"nodot", "*.*", false},
        // Without a star only a prefix of the pattern's length is checked.
        {"ABCDEF", "A?C", true},
        {"ABX", "AB?", true},
        {"ABXYZ", "AB?", true},
        {"AB", "AB?", false},
        {"XBC", "A?C", false},
        // Text after a star is matched against the end of the name.
        {"A.TXT", "*.T?T", false},
        {"a.txt", "*.txt", true},
        {"a.txt.bak", "*.txt", false},
        {"abc", "a*c", true},
        {"abc", "*b*", true},
        {"abc", "*z", false},
        {"report2024.pdf", "report*.pdf", true},
        {"x.pdf", "report*.pdf", false},
        {"data.bin", "*.b?n", false},
        {"x.bin", "*.b?n", false},
        {"abc", "a**", true},
        {"notes.txt", "*.tx?", true},
        {"a.tx", "*.tx?", false},
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
