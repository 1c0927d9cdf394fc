#include "driverpkg/Manifest.h"

#include "Mt7628Protocol.h"

#include <fstream>
#include <iterator>

#include "platform/Library.h"
#include "platform/OsConventions.h"

namespace driverpkg {

namespace {

bool fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

bool onlyOf(const std::string& text, const char* extra)
{
    for (unsigned char c : text) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum && std::string(extra).find(static_cast<char>(c)) == std::string::npos)
            return false;
    }
    return true;
}

bool printable(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e)
            return false;
    return true;
}

} // namespace

bool parseManifest(const std::string& text, Manifest& out, std::string* error)
{
    Json::Value json;
    std::string why;
    // The MT7628 frame grammar is the strict JSON the package format wants:
    // one object, 64 KiB at most, no comments, no duplicates, bounded depth.
    if (!mt7628::decodeFrame(text, json, &why))
        return fail(error, "manifest is not one JSON object: " + why);
    Manifest m;
    if (!mt7628::getString(json, "make", m.make) || !mt7628::isMakeMode(m.make))
        return fail(error, "manifest names no known make");
    if (!mt7628::getString(json, "package", m.package) || m.package.empty() || m.package.size() > 64
        || !onlyOf(m.package, "_"))
        return fail(error, "manifest has no valid package name");
    if (!mt7628::getString(json, "version", m.version) || m.version.empty() || m.version.size() > 32
        || !printable(m.version))
        return fail(error, "manifest has no valid version");
    if (json.isMember("product")
        && (!mt7628::getString(json, "product", m.product) || m.product.size() > 64 || !onlyOf(m.product, "_")))
        return fail(error, "manifest has an invalid product code");
    if (json.isMember("server")
        && (!mt7628::getString(json, "server", m.server) || m.server.size() > 64 || !onlyOf(m.server, "_-.")
            || (!m.server.empty() && m.server[0] == '.')))
        return fail(error, "manifest's server is not a bare program name");
    out = std::move(m);
    return true;
}

bool readManifest(const std::string& folder, Manifest& out, std::string* error)
{
    const std::string path = folder + "/" + kManifestFile;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "no " + std::string(kManifestFile) + " in " + folder);
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > mt7628::kMaxFrameBytes)
            return fail(error, std::string(kManifestFile) + " is larger than 64 KiB");
    }
    return parseManifest(text, out, error);
}

std::string moduleFolder(const void* address)
{
    return platform::moduleFolder(address);
}

std::string serverFile(const std::string& server)
{
    return platform::nativeProgramName(server);
}

} // namespace driverpkg
