#pragma once
// SHA-256 (FIPS 180-4), for comparing copied-out files with the digests the
// image generator recorded.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace dorvak::test {

class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t size);
    // Ends the message; the object must not be updated afterwards.
    std::array<std::uint8_t, 32> finish();
    std::string finishHex();

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

std::string sha256Hex(const void* data, std::size_t size);
// Digest of a whole file; throws std::runtime_error when it cannot be read.
std::string sha256FileHex(const std::filesystem::path& file);

} // namespace dorvak::test
