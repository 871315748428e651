// The carving fuzz body over the walkers' fixtures, mutated: bit flips,
// lengths and counts set to hostile values, cuts. Without libFuzzer, so that
// every build (the sanitizer build above all) runs it.
#include "fuzz_carve_body.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

TEST(FuzzBodies, CarvingWalkersSurviveMutatedFiles) {
    std::mt19937 rng(4242);
    int recognised = 0, files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DORVAK_CARVE_FIXTURES)) {
        if (entry.path().extension() == ".py") continue;
        std::ifstream f(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> file(std::istreambuf_iterator<char>(f), {});
        ++files;
        recognised += dorvak::fuzz::carveBytes(file.data(), file.size()) > 0;
        for (int round = 0; round < 40; ++round) {
            auto m = file;
            // A few bytes of the head (where lengths and counts live) and a
            // few anywhere get hostile values; sometimes the file is cut.
            static const std::uint8_t kHostile[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
            for (int k = 0; k < 4; ++k) {
                const std::size_t at =
                    k < 2 ? rng() % std::min<std::size_t>(m.size(), 256) : rng() % m.size();
                m[at] = rng() % 2 ? kHostile[rng() % 5] : std::uint8_t(m[at] ^ (1 << (rng() % 8)));
            }
            if (round % 4 == 0) m.resize(rng() % m.size());
            dorvak::fuzz::carveBytes(m.data(), m.size());
        }
    }
    EXPECT_GT(files, 20);
    EXPECT_EQ(recognised, files) << "every fixture is some walker's format";
}

TEST(FuzzBodies, CarvingWalkersSurviveRandomBytes) {
    std::mt19937 rng(31337);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> v(1 + rng() % 9000);
        for (auto& b : v)
            b = std::uint8_t(rng());
        dorvak::fuzz::carveBytes(v.data(), v.size());
    }
    SUCCEED() << "no crash, hang, read past the end or overlong claim";
}
