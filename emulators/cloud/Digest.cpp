#include "Digest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace cloud {
namespace {

std::string hex(const unsigned char* bytes, unsigned int length)
{
    std::string out;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        out += pair;
    }
    return out;
}

std::string digestHex(const std::string& data, const EVP_MD* type)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, type, nullptr);
    return hex(digest, length);
}

} // namespace

std::string sha256Hex(const std::string& data)
{
    return digestHex(data, EVP_sha256());
}

std::string md5Hex(const std::string& data)
{
    return digestHex(data, EVP_md5());
}

bool fileDigest(const std::string& path, std::string& digestHex, std::uint64_t& size)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return false;
    std::vector<char> buffer(1 << 16);
    size = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<std::size_t>(in.gcount()));
        size += static_cast<std::uint64_t>(in.gcount());
    }
    if (in.bad())
        return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &length);
    digestHex = hex(digest, length);
    return true;
}

} // namespace cloud
