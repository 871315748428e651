#include "browse/safe_names.h"

#include <gtest/gtest.h>

namespace dorvak {
namespace {

struct NameCase {
    std::string raw;
    std::string safe;
    const char* what; // the case's name in the test list
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.what;
}

class SafeNameTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafeNameTable, EscapesAndReverses) {
    const NameCase& c = GetParam();
    EXPECT_EQ(safeName(c.raw), c.safe);
    auto back = originalName(c.safe);
    ASSERT_TRUE(back.has_value()) << c.safe;
    EXPECT_EQ(*back, c.raw);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, SafeNameTable,
    ::testing::Values(
        NameCase{"", "%", "Empty"}, NameCase{".", "%2E", "Dot"}, NameCase{"..", "%2E%2E", "DotDot"},
        NameCase{"../../x", "..%2F..%2Fx", "ParentPath"}, NameCase{"a/b", "a%2Fb", "Slash"},
        NameCase{std::string("nul\0byte", 8), "nul%00byte", "NulByte"},
        NameCase{"100%.txt", "100%25.txt", "Percent"}, NameCase{"%2E", "%252E", "LooksEscaped"},
        NameCase{"...", "...", "ThreeDots"}, NameCase{".hidden", ".hidden", "LeadingDot"},
        NameCase{"back\\slash name.txt", "back\\slash name.txt", "Backslash"},
        NameCase{"\xff\xfe ctl\x01\x1f", "\xff\xfe ctl\x01\x1f", "RawBytes"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(SafeName, LongNamesStayWithinNameMaxAndKeepTheirExtension) {
    const std::string exact(255, 'L');
    EXPECT_EQ(safeName(exact), exact); // 255 bytes fit as they are

    // 252 bytes with "%" grow past 255 when escaped.
    const std::string raw = std::string(240, 'a') + "%%%%" + std::string(4, 'b') + ".txt";
    const std::string safe = safeName(raw);
    EXPECT_LE(safe.size(), kNameMax);
    EXPECT_EQ(safe.substr(safe.size() - 4), ".txt");
    EXPECT_NE(safe.find("%~"), std::string::npos);
    EXPECT_FALSE(originalName(safe).has_value()); // shortened: not reversible
    EXPECT_EQ(safe.find('/'), std::string::npos);
    // Two long names that differ only at the end get different short names.
    EXPECT_NE(safeName(std::string(300, 'x') + "1"), safeName(std::string(300, 'x') + "2"));
}

TEST(SafeName, NumberedNamesFitAndNeverCutAnEscape) {
    EXPECT_EQ(numberedName("report.txt", 1), "report (1).txt");
    EXPECT_EQ(numberedName("archive", 12), "archive (12)");
    EXPECT_EQ(numberedName(".profile", 2), ".profile (2)");
    EXPECT_EQ(numberedName("%", 3), "% (3)");

    const std::string full = std::string(251, 'L') + ".txt";
    const std::string n = numberedName(full, 12);
    EXPECT_EQ(n.size(), kNameMax);
    EXPECT_EQ(n.substr(n.size() - 9), " (12).txt");

    // A cut that would split "%2F" drops the whole escape.
    const std::string escaped = std::string(248, 'e') + "%2F" + "zz";
    for (unsigned k : {1u, 9u, 10u, 100u}) {
        const std::string m = numberedName(escaped, k);
        EXPECT_LE(m.size(), kNameMax);
        const std::size_t pct = m.rfind('%');
        if (pct != std::string::npos) {
            EXPECT_EQ(m.substr(pct, 3), "%2F") << m;
        }
    }
}

} // namespace
} // namespace dorvak
