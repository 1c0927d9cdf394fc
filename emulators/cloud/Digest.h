// Digests the emulated servers publish or check, as lower-case hex, and the
// forward declarations of cpp-httplib that the service headers share.
#pragma once

#include <cstdint>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace cloud {

std::string sha256Hex(const std::string& data);
std::string md5Hex(const std::string& data);
// SHA-256 and size of a file, read in pieces; false when it cannot be read.
bool fileDigest(const std::string& path, std::string& digestHex, std::uint64_t& size);

} // namespace cloud
