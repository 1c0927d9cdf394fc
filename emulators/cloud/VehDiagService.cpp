#include "VehDiagService.h"

#include <httplib.h>
#include <json/reader.h>
#include <json/value.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>

namespace cloud {

namespace {

#if defined(_WIN32)
const char kSuffix[] = ".dll";
#else
const char kSuffix[] = ".so";
#endif
constexpr std::uintmax_t kMaxServedBytes = 256u << 20;
constexpr std::uintmax_t kMaxVersionFileBytes = 64 * 1024;
const char kJson[] = "application/json";
const char kFolderRule[] = "[A-Za-z0-9_-]{1,32}";

std::mutex g_mutex;
std::string g_folder;
std::map<std::string, std::string> g_versions; // published newer versions, by folder
std::set<std::string> g_damaged;               // folders whose libraries are served damaged

std::string folder()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_folder;
}

bool readFile(const std::filesystem::path& path, std::uintmax_t cap, std::string& out)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > cap)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

// The entry `name` of a name=value file, empty when none.
std::string versionEntry(const std::string& text, const std::string& name)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto equals = line.find('=');
        if (equals != std::string::npos && line.substr(0, equals) == name)
            return line.substr(equals + 1);
    }
    return {};
}

// Looks like a library at first sight, but is not one.
std::string damagedLibrary()
{
    std::string bytes = "\x7f"
                        "ELF";
    bytes.append(4096, '\x5a');
    return bytes;
}

void notFound(httplib::Response& res, const std::string& what)
{
    res.status = 404;
    res.set_content("{\"error\":\"" + what + "\"}", kJson);
}

void serveLibrary(httplib::Response& res, const std::string& owner, const std::filesystem::path& file)
{
    bool damaged = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        damaged = g_damaged.count(owner) != 0;
    }
    if (damaged) {
        res.set_content(damagedLibrary(), "application/octet-stream");
        return;
    }
    std::string bytes;
    if (!readFile(file, kMaxServedBytes, bytes)) {
        notFound(res, "no such library");
        return;
    }
    res.set_content(bytes, "application/octet-stream");
}

} // namespace

void setVehDiagDirectory(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_folder = path;
}

void resetVehDiagService()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_versions.clear();
    g_damaged.clear();
}

void installVehDiagService(httplib::Server& server)
{
    // Names are letters, digits, "-" and "_" only, so a request cannot leave the folder.
    server.Get(R"(/files/q3lux/MARROWET_DISPQT/Release/(StdDispQt|StdComm)\.dll)",
        [](const httplib::Request& req, httplib::Response& res) {
            serveLibrary(
                res, "MARROWET_DISPQT", std::filesystem::path(folder()) / "DLL" / (req.matches[1].str() + kSuffix));
        });
    server.Get(std::string("/files/q3lux/(") + kFolderRule + R"()/Version\.ini)",
        [](const httplib::Request& req, httplib::Response& res) {
            const std::string name = req.matches[1].str();
            std::string version;
            {
                std::lock_guard<std::mutex> lock(g_mutex);
                auto published = g_versions.find(name);
                if (published != g_versions.end())
                    version = published->second;
            }
            std::string installed;
            if (version.empty()
                && readFile(
                    std::filesystem::path(folder()) / "DLL" / "VehVersion.ini", kMaxVersionFileBytes, installed))
                version = versionEntry(installed, name);
            if (version.empty()) {
                notFound(res, "no version of this folder");
                return;
            }
            res.set_content("Version=" + version + "\r\n", "text/plain");
        });
    server.Get(std::string("/files/q3lux/(") + kFolderRule + R"()/Diag\.dll)",
        [](const httplib::Request& req, httplib::Response& res) {
            const std::string make = req.matches[1].str();
            if (make == "DLL") {
                notFound(res, "no such make");
                return;
            }
            serveLibrary(res, make, std::filesystem::path(folder()) / make / (std::string("Diag") + kSuffix));
        });
    server.Post("/__control/vehdiag", [](const httplib::Request& req, httplib::Response& res) {
        Json::Value body;
        Json::CharReaderBuilder builder;
        std::string error;
        std::istringstream in(req.body);
        if (!Json::parseFromStream(builder, in, &body, &error) || !body.isObject() || !body["folder"].isString()
            || !std::regex_match(body["folder"].asString(), std::regex(kFolderRule))) {
            res.status = 400;
            res.set_content("{\"error\":\"vehdiag needs a folder name (letters, digits, - and _)\"}", kJson);
            return;
        }
        const std::string name = body["folder"].asString();
        if (body.isMember("version") && (!body["version"].isString() || body["version"].asString().size() > 32)) {
            res.status = 400;
            res.set_content("{\"error\":\"version must be a short text\"}", kJson);
            return;
        }
        if (body.isMember("damaged") && !body["damaged"].isBool()) {
            res.status = 400;
            res.set_content("{\"error\":\"damaged must be true or false\"}", kJson);
            return;
        }
        std::lock_guard<std::mutex> lock(g_mutex);
        if (body.isMember("version"))
            g_versions[name] = body["version"].asString();
        if (body.isMember("damaged")) {
            if (body["damaged"].asBool())
                g_damaged.insert(name);
            else
                g_damaged.erase(name);
        }
        res.set_content("{}", kJson);
    });
}

} // namespace cloud
