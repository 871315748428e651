#include "sha256.h"

#include <openssl/evp.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace dorvak::test {
namespace {

using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Context startDigest() {
    Context ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
    return ctx;
}

std::string finishHex(EVP_MD_CTX* ctx) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx, digest, &length) != 1) throw std::runtime_error("SHA-256 failed");
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

} // namespace

std::string sha256Hex(const void* data, std::size_t size) {
    Context ctx = startDigest();
    EVP_DigestUpdate(ctx.get(), data, size);
    return finishHex(ctx.get());
}

std::string sha256FileHex(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + file.string());
    Context ctx = startDigest();
    std::vector<char> buffer(std::size_t(1) << 20);
    while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0)
        EVP_DigestUpdate(ctx.get(), buffer.data(), std::size_t(in.gcount()));
    if (in.bad()) throw std::runtime_error("cannot read " + file.string());
    return finishHex(ctx.get());
}

} // namespace dorvak::test
