#include "browse/display_text.h"

#include <cstdio>
#include <ctime>

namespace dorvak {

TimestampText formatTimestamp(std::uint32_t seconds) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // time_t is 64-bit on every target we build for; the cast keeps times
    // past 2038 positive.
    static_assert(sizeof(std::time_t) >= 8, "times past 2038 need a 64-bit time_t");
    const std::time_t t = std::time_t(seconds);
    std::tm local{};
    if (!localtime_r(&t, &local) && !gmtime_r(&t, &local)) return {"Error", "Error"};
    char date[32], time[16];
    std::snprintf(date, sizeof date, "%02d-%s-%d", local.tm_mday,
                  kMonths[unsigned(local.tm_mon) % 12], local.tm_year + 1900);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return {date, time};
}

std::string kibibytesText(std::uint64_t bytes) {
    return std::to_string(bytes / 1024 + (bytes % 1024 != 0)) + " KB";
}

std::string blockSizeText(std::uint32_t sectorsPerBlock) {
    return std::to_string(std::uint64_t(sectorsPerBlock) * 512) + " bytes";
}

std::string volumeSizeText(std::uint64_t sectorCount) {
    return std::to_string(sectorCount) + " sectors (" + std::to_string(sectorCount / 2048) + " MB)";
}

} // namespace dorvak
