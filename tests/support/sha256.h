#pragma once
// SHA-256 digests in lower-case hex (OpenSSL's libcrypto), for comparing
// copied-out files with the digests the image generator recorded.

#include <cstddef>
#include <filesystem>
#include <string>

namespace dorvak::test {

std::string sha256Hex(const void* data, std::size_t size);
// Digest of a whole file; throws std::runtime_error when it cannot be read.
std::string sha256FileHex(const std::filesystem::path& file);

} // namespace dorvak::test
