#include "SessionSupport.h"

#include "BuildConfig.h"
#include "http/CHvHttp.h"
#include "remote/Frame.h"
#include "remote/Net.h"
#include "remote/VirtualAdapter.h"

#include "blocks/StatusBlock.h"
#include "platform/SharedMemory.h"

#include <json/json.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdlib>
#include <cstring>

namespace remote::session {

bool relayFromDirectory(const std::string& serial, std::string& relay)
{
    relay.clear();
    std::string url = BuildConfig::mainApiBase() + "api/remote/relay";
    if (!serial.empty()) {
        if (!validSerial(serial))
            return false;
        url += "?sn=" + serial; // letters and digits only: nothing to encode
    }
    try {
        CHvHttp http;
        http.SetDeadline(8000);
        http.SetMaxAnswerSize(4096);
        const std::string body = http.SendHttpOrHttpsRequest(url, HTTP_GET, std::string(), std::string());
        if (http.GetRespCode() != 200)
            return false;
        Json::CharReaderBuilder builder;
        Json::CharReaderBuilder::strictMode(&builder.settings_);
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value root;
        std::string errors;
        if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors) || !root.isObject())
            return false;
        const Json::Value& address = root["relay"];
        if (!address.isString())
            return false;
        // "" means no relay serves it; anything else must be an IPv4 address.
        const std::string text = address.asString();
        if (!text.empty() && !net::isIpv4(text))
            return false;
        relay = text;
        return true;
    } catch (...) {
        return false;
    }
}

std::unique_ptr<Channel> connectRelay(const std::string& address, std::string* error, const std::atomic<bool>* stop)
{
    if (!net::isIpv4(address)) {
        if (error)
            *error = "relay address is not IPv4";
        return nullptr;
    }
    SSL_CTX* ctx = tls::clientContext(error);
    if (!ctx)
        return nullptr;
    const net::Socket s = net::connectTcp(address, relayPort(), kConnectTimeoutMs, error, stop);
    if (s == net::kNoSocket)
        return nullptr;
    return tls::connect(ctx, s, address, kConnectTimeoutMs, error, stop);
}

std::string selectedAdapterSerial()
{
    platform::SharedMemory block;
    if (!block.open(blocks::kStatusBlockName, blocks::kStatusBlockSize))
        return {};
    unsigned char copy[blocks::kStatusBlockSize];
    std::memcpy(copy, block.data(), sizeof copy);
    block.close();
    const std::string text(blocks::blockText(copy, sizeof copy));
    const blocks::StatusText status(text);
    return status.empty() ? std::string() : std::string(status.value(blocks::StatusKey::SN));
}

std::string adapterAddressFor(const std::string& serial)
{
    if (const char* forced = std::getenv("BRINDLEWICK_REMOTE_TARGET")) {
        if (net::isIpv4(forced))
            return forced;
    }
    platform::SharedMemory block;
    if (!block.open(blocks::kStatusBlockName, blocks::kStatusBlockSize))
        return {};
    unsigned char copy[blocks::kStatusBlockSize];
    std::memcpy(copy, block.data(), sizeof copy);
    block.close();
    const std::string text(blocks::blockText(copy, sizeof copy));
    const blocks::StatusText status(text);
    if (status.empty() || status.value(blocks::StatusKey::SN) != serial)
        return {};
    std::string address(status.value(blocks::StatusKey::testIP));
    if (!net::isIpv4(address))
        address = std::string(status.value(blocks::StatusKey::vciIP));
    return net::isIpv4(address) ? address : std::string();
}

std::string p2pProof(std::uint32_t code, const std::string& nonce, const std::string& serial, const std::string& key)
{
    const std::string secret = std::to_string(code);
    std::string message = nonce;
    message += '\0';
    message += serial;
    message += '\0';
    message += key;
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
            reinterpret_cast<const unsigned char*>(message.data()), message.size(), out, &length))
        return {};
    return std::string(reinterpret_cast<const char*>(out), length);
}

bool sameProof(const std::string& a, const std::string& b)
{
    return a.size() == kProofSize && b.size() == kProofSize && CRYPTO_memcmp(a.data(), b.data(), kProofSize) == 0;
}

void copyText(char* out, std::size_t size, const std::string& text)
{
    if (!out || size == 0)
        return;
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace remote::session
