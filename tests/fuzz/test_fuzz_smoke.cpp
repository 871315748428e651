// The fuzz bodies over random and mutated plausible inputs, so that every
// build (the sanitizer build above all) exercises them without libFuzzer.
#include "fuzz_bodies.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

// A leaf-shaped block: level 1, a few items, the rest random.
std::vector<std::uint8_t> plausibleVolume(std::mt19937& rng, std::uint32_t blockSize) {
    std::vector<std::uint8_t> v(5 + blockSize * 12);
    for (auto& b : v)
        b = std::uint8_t(rng());
    v[0] = std::uint8_t(blockSize == 512 ? 0 : blockSize == 1024 ? 1 : 2);
    v[1] = 3, v[2] = v[3] = v[4] = 0;
    for (std::uint32_t blk = 0; blk < 12; ++blk) {
        std::uint8_t* b = v.data() + 5 + blk * blockSize;
        b[0] = std::uint8_t(1 + rng() % 3), b[1] = 0;
        b[2] = std::uint8_t(rng() % 12), b[3] = 0;
        b[4] = std::uint8_t(rng() % 64), b[5] = 0;
        for (int item = 0; item < 12; ++item) {
            std::uint8_t* h = b + 24 + 24 * item;
            if (24 + 24 * item + 24 > int(blockSize)) break;
            h[0] = 2, h[1] = h[2] = h[3] = 0; // dir id 2
            h[4] = std::uint8_t(2 + rng() % 8), h[5] = h[6] = h[7] = 0;
            h[15] = std::uint8_t((rng() % 4) << 4); // 3.6 type in the top bits
            h[22] = std::uint8_t(rng() % 2), h[23] = 0;
            static const std::uint8_t kLengths[] = {32, 44, 40, 8, 16, 60};
            h[18] = kLengths[rng() % 6], h[19] = 0;
            const std::uint32_t location = blockSize - 64 * (item + 1) + rng() % 8;
            h[20] = std::uint8_t(location), h[21] = std::uint8_t(location >> 8);
        }
    }
    return v;
}

} // namespace

TEST(FuzzBodies, MountSurvivesRandomAndLeafShapedVolumes) {
    std::mt19937 rng(12345);
    std::size_t found = 0;
    for (int round = 0; round < 400; ++round) {
        const std::uint32_t bs = round % 3 == 0 ? 512 : round % 3 == 1 ? 1024 : 4096;
        auto v = plausibleVolume(rng, bs);
        found += dorvak::fuzz::mountBytes(v.data(), v.size());
        for (int flip = 0; flip < 8; ++flip)
            v[rng() % v.size()] ^= std::uint8_t(1 << (rng() % 8));
        dorvak::fuzz::mountBytes(v.data(), v.size());
    }
    // The inputs must reach the catalog, or the test exercises nothing.
    EXPECT_GT(found, 100u);
}

TEST(FuzzBodies, DiscoverySurvivesRandomDisks) {
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> disk(512 * (1 + rng() % 300));
        for (auto& b : disk)
            b = std::uint8_t(rng());
        disk[510] = 0x55, disk[511] = 0xAA;
        dorvak::fuzz::discoverBytes(disk.data(), disk.size());
    }
    SUCCEED() << "no crash, hang or sanitizer report";
}

TEST(FuzzBodies, ContentsAndCopyOutStayWithinTheirBounds) {
    std::mt19937 rng(777);
    std::error_code ec;
    const auto sandbox = std::filesystem::temp_directory_path() / "dorvak-fuzz-smoke";
    std::filesystem::remove_all(sandbox, ec);
    std::filesystem::create_directories(sandbox);
    // The crafted volume's files come out whole; then mutated copies of it.
    auto v = dorvak::fuzz::craftedVolume(1024, 1);
    const std::uint64_t whole = dorvak::fuzz::contentsBytes(v.data(), v.size());
    EXPECT_GT(whole, 0u);
    for (int round = 0; round < 60; ++round) {
        auto m = v;
        for (int flip = 0; flip < 6; ++flip)
            m[5 + rng() % (m.size() - 5)] ^= std::uint8_t(1 << (rng() % 8));
        dorvak::fuzz::contentsBytes(m.data(), m.size());
        dorvak::fuzz::copyOutBytes(m.data(), m.size(), sandbox.string());
    }
    std::filesystem::remove_all(sandbox, ec);
}

// A sound saved scan loads; mutated ones (the header framed again, so that
// they reach the records) never crash, whatever they claim.
TEST(FuzzBodies, SavedScansSurviveMutatedRecords) {
    std::mt19937 rng(2024);
    std::size_t loaded = 0;
    for (const std::uint8_t selector : {std::uint8_t(0), std::uint8_t(2), std::uint8_t(0x82)}) {
        const auto seed = dorvak::fuzz::savedScanSeed(selector);
        EXPECT_GT(dorvak::fuzz::savedScanBytes(seed.data(), seed.size()), 1u);
        for (int round = 0; round < 150; ++round) {
            auto m = seed;
            for (int flip = 0; flip < 1 + round % 4; ++flip)
                m[1 + rng() % (m.size() - 1)] ^= std::uint8_t(1 << (rng() % 8));
            if (round % 5 == 0) m.resize(1 + rng() % m.size());
            loaded += dorvak::fuzz::savedScanBytes(m.data(), m.size()) != 0;
        }
    }
    // Some mutations keep the records consistent (names, sizes, times).
    EXPECT_GT(loaded, 20u);
}
