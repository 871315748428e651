#include "browse/display_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace dorvak;

namespace {

// Times are shown in local time: pin the zone for the known answers.
class InUtc : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) saved_ = tz, hadTz_ = true;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool hadTz_ = false;
};

} // namespace

TEST_F(InUtc, TimesAreUnsigned32BitSecondsSince1970) {
    struct Case {
        std::uint32_t seconds;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {0, "01-Jan-1970", "00:00:00"},
        {1141200309, "01-Mar-2006", "08:05:09"},
        {0x7FFFFFFFu, "19-Jan-2038", "03:14:07"},
        {0x80000000u, "19-Jan-2038", "03:14:08"}, // negative as a signed number
        {4102444800u, "01-Jan-2100", "00:00:00"},
        {0xFFFFFFFFu, "07-Feb-2106", "06:28:15"},
    };
    for (const auto& c : cases) {
        const TimestampText t = formatTimestamp(c.seconds);
        EXPECT_EQ(t.date, c.date) << c.seconds;
        EXPECT_EQ(t.time, c.time) << c.seconds;
    }
}

TEST(DisplayText, SizesInWholeKibibytesRoundedUpAndVolumeUnits) {
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 KB"},
        {1, "1 KB"},
        {1023, "1 KB"},
        {1024, "1 KB"},
        {1025, "2 KB"},
        {1048576, "1024 KB"},
        {5ull << 32, "20971520 KB"},
        {~0ull, "18014398509481984 KB"},
    };
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(kibibytesText(bytes), text) << bytes;
    EXPECT_EQ(blockSizeText(8), "4096 bytes");
    EXPECT_EQ(blockSizeText(1), "512 bytes");
    EXPECT_EQ(volumeSizeText(8388608), "8388608 sectors (4096 MB)");
    EXPECT_EQ(volumeSizeText(2047), "2047 sectors (0 MB)");
    // Past 2 TiB the count no longer fits 32 bits.
    EXPECT_EQ(volumeSizeText(6ull << 30), "6442450944 sectors (3145728 MB)");
}
