#include "CloudServer.h"
#include "MappingService.h"
#include "ReleaseService.h"
#include "RemoteLookupService.h"
#include "VehDiagService.h"

#include "GeneratedContent.h"

#include <httplib.h>
#include <json/json.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace cloud {

namespace {

const char kJson[] = "application/json";
const std::size_t kChunk = 64 * 1024;

bool readJsonFile(const std::string& path, Json::Value& out, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!parseJson(text.str(), out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

// A small file whole; false when it cannot be read.
bool readFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void putLe16(std::string& out, unsigned v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void putLe32(std::string& out, unsigned long v)
{
    putLe16(out, static_cast<unsigned>(v & 0xFFFF));
    putLe16(out, static_cast<unsigned>((v >> 16) & 0xFFFF));
}

} // namespace

std::string toJson(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

bool parseJson(const std::string& text, Json::Value& out, std::string& error)
{
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 64;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        return reader->parse(text.data(), text.data() + text.size(), &out, &error);
    } catch (const std::exception&) {
        error = "nested too deeply"; // JsonCpp throws past the stack limit
        return false;
    }
}

void sendError(httplib::Response& res, int status, const std::string& message)
{
    Json::Value body;
    body["error"] = message;
    res.status = status;
    res.set_content(toJson(body), kJson);
}

void sendKeyed(httplib::Response& res, int status, const std::string& errorKey, const std::string& message)
{
    Json::Value body;
    body["status"] = status;
    body["errorKey"] = errorKey;
    if (!message.empty())
        body["error"] = message;
    res.status = status;
    res.set_content(toJson(body), kJson);
}

std::string makeStoredZip(const std::vector<std::pair<std::string, std::string>>& files)
{
    std::string out;
    std::string central;
    const unsigned dosTime = 0x6000; // 12:00:00
    const unsigned dosDate = 0x5B21; // 2025-09-01
    for (const auto& [name, data] : files) {
        const unsigned long crc
            = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
        const unsigned long offset = out.size();
        putLe32(out, 0x04034b50);
        putLe16(out, 20);
        putLe16(out, 0);
        putLe16(out, 0); // stored
        putLe16(out, dosTime);
        putLe16(out, dosDate);
        putLe32(out, crc);
        putLe32(out, data.size());
        putLe32(out, data.size());
        putLe16(out, static_cast<unsigned>(name.size()));
        putLe16(out, 0);
        out += name;
        out += data;

        putLe32(central, 0x02014b50);
        putLe16(central, 20);
        putLe16(central, 20);
        putLe16(central, 0);
        putLe16(central, 0);
        putLe16(central, dosTime);
        putLe16(central, dosDate);
        putLe32(central, crc);
        putLe32(central, data.size());
        putLe32(central, data.size());
        putLe16(central, static_cast<unsigned>(name.size()));
        putLe16(central, 0);
        putLe16(central, 0);
        putLe16(central, 0);
        putLe16(central, 0);
        putLe32(central, 0);
        putLe32(central, offset);
        central += name;
    }
    const unsigned long centralOffset = out.size();
    out += central;
    putLe32(out, 0x06054b50);
    putLe16(out, 0);
    putLe16(out, 0);
    putLe16(out, static_cast<unsigned>(files.size()));
    putLe16(out, static_cast<unsigned>(files.size()));
    putLe32(out, central.size());
    putLe32(out, centralOffset);
    putLe16(out, 0);
    return out;
}

bool parseFault(const Json::Value& json, Fault& fault, std::string& error)
{
    if (!json.isObject()) {
        error = "control body must be a JSON object";
        return false;
    }
    auto readInt = [&](const char* key, int& into) {
        const Json::Value& v = json[key];
        if (v.isNull())
            return true;
        if (!v.isInt()) {
            error = std::string(key) + " must be an integer";
            return false;
        }
        into = v.asInt();
        return true;
    };
    auto readString = [&](const char* key, std::string& into) {
        const Json::Value& v = json[key];
        if (v.isNull())
            return true;
        if (!v.isString()) {
            error = std::string(key) + " must be a string";
            return false;
        }
        into = v.asString();
        return true;
    };
    auto readBool = [&](const char* key, bool& into) {
        const Json::Value& v = json[key];
        if (v.isNull())
            return true;
        if (!v.isBool()) {
            error = std::string(key) + " must be true or false";
            return false;
        }
        into = v.asBool();
        return true;
    };
    // "mode":"slow" with "ms" is the short form of a delay.
    std::string mode;
    int ms = 0;
    if (!readString("path", fault.path) || !readInt("count", fault.remaining) || !readInt("delayMs", fault.delayMs)
        || !readInt("status", fault.status) || !readString("body", fault.body)
        || !readString("contentType", fault.contentType) || !readBool("truncate", fault.truncate)
        || !readBool("invalidJson", fault.invalidJson) || !readString("redirect", fault.redirect)
        || !readString("mode", mode) || !readInt("ms", ms) || !readInt("pauseMs", fault.pauseMs))
        return false;
    if (mode == "slow")
        fault.delayMs = ms;
    else if (!mode.empty()) {
        error = "unknown mode " + mode;
        return false;
    }
    if (fault.remaining == 0 || fault.remaining < -1) {
        error = "count must be positive or -1";
        return false;
    }
    if (fault.delayMs < 0 || fault.pauseMs < 0 || (fault.status != 0 && (fault.status < 100 || fault.status > 599))) {
        error = "delayMs and pauseMs must not be negative and status must be 100..599";
        return false;
    }
    return true;
}

CloudServer::CloudServer(Options options)
    : m_options(std::move(options))
{
}

CloudServer::~CloudServer() = default;

bool CloudServer::load(std::string& error)
{
    if (!readJsonFile(m_options.dataDir + "/driver-catalogue.json", m_catalogue, error))
        return false;
    if (!m_catalogue.isArray()) {
        error = "driver-catalogue.json must hold an array";
        return false;
    }
    if (!readJsonFile(m_options.dataDir + "/app-version.json", m_appVersion, error))
        return false;
    if (!m_appVersion.isObject() || !m_appVersion["swProduct"].isObject()) {
        error = "app-version.json must hold an object with swProduct";
        return false;
    }
    if (!loadPackages(error))
        return false;
    Json::Value& product = m_appVersion["swProduct"];
    product["size"] = static_cast<Json::UInt64>(appArchive(product["versionNo"].asString()).size());
    Json::Value firmware;
    if (!readJsonFile(m_options.dataDir + "/firmware.json", firmware, error))
        return false;
    if (!m_firmware.load(firmware, error)) {
        error = m_options.dataDir + "/firmware.json: " + error;
        return false;
    }
    if (!readJsonFile(m_options.dataDir + "/ads.json", m_ads, error))
        return false;
    if (!m_ads["items"].isArray()) {
        error = "ads.json must hold an object with the array items";
        return false;
    }
    Json::Value directory;
    if (!readJsonFile(m_options.dataDir + "/technicians.json", directory, error))
        return false;
    if (!m_accounts.loadDirectory(directory, error)) {
        error = m_options.dataDir + "/technicians.json: " + error;
        return false;
    }
    return true;
}

bool CloudServer::loadPackages(std::string& error)
{
    // packages.json: [{"product": catalogue name, "file": zip name, "version": ...}, ...]
    std::map<std::string, Json::Value> index;
    const std::string indexPath = m_options.packagesDir + "/packages.json";
    Json::Value list;
    std::string why;
    if (m_options.packagesDir.empty() || !readJsonFile(indexPath, list, why) || !list.isArray()) {
        std::cerr << "cloud-emulator: no driver packages (" << (why.empty() ? indexPath : why)
                  << "): serving placeholder archives\n";
    } else {
        for (const Json::Value& entry : list)
            if (entry.isObject() && entry["product"].isString() && entry["file"].isString())
                index[entry["product"].asString()] = entry;
    }
    for (Json::Value& record : m_catalogue) {
        if (!record.isObject() || !record["name"].isString()) {
            error = "driver-catalogue.json: every record needs a text \"name\"";
            return false;
        }
        const std::string name = record["name"].asString();
        const std::string version = record["versionNo"].asString();
        DriverPackage package;
        std::string digest;
        auto it = index.find(name);
        const std::string file = it == index.end() ? std::string() : it->second["file"].asString();
        // The index is ours, but a bare file name is all it may give.
        if (!file.empty() && file.find_first_of("/\\") == std::string::npos && file[0] != '.'
            && fileDigest(m_options.packagesDir + "/" + file, digest, package.size)) {
            package.path = m_options.packagesDir + "/" + file;
            if (it->second["version"].asString() != version)
                std::cerr << "cloud-emulator: " << file << " is version " << it->second["version"].asString()
                          << ", the catalogue offers " << name << " " << version << "\n";
        } else {
            if (!index.empty())
                std::cerr << "cloud-emulator: no package for " << name << ": serving a placeholder archive\n";
            package.placeholder = makeStoredZip({{"driver.txt", name + " " + version + "\n"}});
            package.size = package.placeholder.size();
            digest = sha256Hex(package.placeholder);
        }
        // The catalogue's size and digest are those of the archive this server hands out.
        record["size"] = static_cast<Json::UInt64>(package.size);
        record["sha256"] = digest;
        m_packages[name] = std::move(package);
    }
    return true;
}

// The release archive of the application: only a version note until the
// upgrader's own steps give it real contents.
std::string CloudServer::appArchive(const std::string& version)
{
    return makeStoredZip({{"version.txt", "Brindlewick " + version + "\n"}});
}

void CloudServer::setFileBase(const std::string& plain, const std::string& tls)
{
    m_fileBasePlain = plain;
    m_fileBaseTls = tls;
}

std::string CloudServer::expandFiles(const std::string& text, bool tls) const
{
    std::string out = text;
    replaceAll(out, "{FILES}", tls ? m_fileBaseTls : m_fileBasePlain);
    return out;
}

void CloudServer::shutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}

bool CloudServer::waitFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void CloudServer::count(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_counts[path];
}

bool CloudServer::takeFault(const std::string& path, Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (path.compare(0, it->path.size(), it->path) != 0)
            continue;
        fault = *it;
        if (it->remaining > 0 && --it->remaining == 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

// Runs before routing: counts the request and plays the first matching fault.
// Returns true when the fault produced the whole answer.
bool CloudServer::applyFault(const httplib::Request& req, httplib::Response& res, bool /*tls*/)
{
    if (req.path.rfind("/__control", 0) == 0)
        return false;
    count(req.path);
    Fault fault;
    if (!takeFault(req.path, fault))
        return false;
    if (fault.delayMs > 0 && !waitFor(fault.delayMs)) {
        sendError(res, 503, "server is stopping");
        return true;
    }
    if (!fault.redirect.empty()) {
        res.status = 302;
        res.set_header("Location", fault.redirect);
        res.set_content("<html><body>Moved</body></html>", "text/html");
        return true;
    }
    if (fault.invalidJson) {
        res.status = fault.status ? fault.status : 200;
        res.set_content("{\"versionNo\": \"V1.0", kJson);
        return true;
    }
    if (fault.truncate) {
        std::string body = fault.body;
        std::size_t announced = body.size() * 2;
        const std::string prefix = "/files/gen/";
        if (body.empty() && req.path.rfind(prefix, 0) == 0) {
            announced = std::strtoull(req.path.c_str() + prefix.size(), nullptr, 10);
            appendGenerated(body, 0, announced / 2);
        } else if (body.empty()) {
            body = "{\"items\":[1,2,3,4,5,6,7,8],\"note\":\"this answer is cut short\"";
            announced = body.size() * 2;
        }
        res.status = fault.status ? fault.status : 200;
        auto shared = std::make_shared<std::string>(std::move(body));
        res.set_content_provider(announced, fault.contentType.empty() ? "application/octet-stream" : fault.contentType,
            [shared](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset >= shared->size())
                    return false; // drop the connection with the rest unsent
                const std::size_t n = std::min({length, kChunk, shared->size() - offset});
                sink.write(shared->data() + offset, n);
                return true;
            });
        return true;
    }
    if (fault.pauseMs > 0) {
        // The whole body, announced, with a silence in its middle: a slow
        // network that is still alive, or (longer) one that died.
        std::string body = fault.body;
        const std::string prefix = "/files/gen/";
        if (body.empty() && req.path.rfind(prefix, 0) == 0)
            appendGenerated(body, 0, std::strtoull(req.path.c_str() + prefix.size(), nullptr, 10));
        else if (body.empty())
            body = "{\"items\":[1,2,3,4,5,6,7,8],\"note\":\"this answer pauses half-way\"}";
        res.status = fault.status ? fault.status : 200;
        auto shared = std::make_shared<std::string>(std::move(body));
        const std::size_t half = shared->size() / 2;
        const int pauseMs = fault.pauseMs;
        res.set_content_provider(shared->size(),
            fault.contentType.empty() ? "application/octet-stream" : fault.contentType,
            [this, shared, half, pauseMs](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset == half && half > 0 && !waitFor(pauseMs))
                    return false; // stopping: drop the connection
                const std::size_t end = offset < half ? half : shared->size();
                const std::size_t n = std::min({length, kChunk, end - offset});
                sink.write(shared->data() + offset, n);
                return true;
            });
        return true;
    }
    if (fault.status != 0) {
        res.status = fault.status;
        res.set_content(fault.body, fault.contentType.empty() ? "text/plain" : fault.contentType);
        return true;
    }
    return false; // only a delay: let the route answer
}

void CloudServer::install(httplib::Server& server, bool tls)
{
    server.set_pre_routing_handler([this, tls](const httplib::Request& req, httplib::Response& res) {
        return applyFault(req, res, tls) ? httplib::Server::HandlerResponse::Handled
                                         : httplib::Server::HandlerResponse::Unhandled;
    });
    server.Post("/__control", [this](const httplib::Request& req, httplib::Response& res) { handleControl(req, res); });
    server.Post("/__control/reset", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_faults.clear();
        m_counts.clear();
        m_firmware.reset();
        m_accounts.reset();
        resetVehDiagService();
        res.set_content("{}", kJson);
    });
    server.Get("/__control/requests", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Json::Value body;
        const std::string path = req.get_param_value("path");
        auto it = m_counts.find(path);
        body["count"] = it == m_counts.end() ? 0 : it->second;
        res.set_content(toJson(body), kJson);
    });
    server.Post("/__control/app-version", [this](const httplib::Request& req, httplib::Response& res) {
        Json::Value product;
        std::string error;
        if (!parseJson(req.body, product, error) || !product.isObject()) {
            sendError(res, 400, "app-version body must be a JSON object");
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const std::string& key : product.getMemberNames())
            m_appVersion["swProduct"][key] = product[key];
        res.set_content("{}", kJson);
    });

    server.Get("/api/latest-software-versions",
        [this, tls](const httplib::Request& req, httplib::Response& res) { handleLatestVersions(req, res, tls); });
    server.Get("/api/software-product-versions/latest-byswcode",
        [this, tls](const httplib::Request& req, httplib::Response& res) { handleAppVersion(req, res, tls); });
    server.Get(R"(/files/gen/(\d+)\.bin)",
        [this](const httplib::Request& req, httplib::Response& res) { handleGenerated(req, res); });
    server.Get(R"(/files/drivers/([A-Za-z0-9_]+)\.zip)",
        [this](const httplib::Request& req, httplib::Response& res) { handleDriverZip(req, res); });
    installReleaseService(server); // before the placeholder archive, so --release wins
    installVehDiagService(server);
    server.Get("/files/app/BrindlewickInstall.zip", [this](const httplib::Request&, httplib::Response& res) {
        std::string version;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            version = m_appVersion["swProduct"]["versionNo"].asString();
        }
        res.set_content(appArchive(version), "application/zip");
    });
    server.Get("/api/advertisements",
        [this, tls](const httplib::Request& req, httplib::Response& res) { handleAds(req, res, tls); });
    server.Get(R"(/files/ads/([A-Za-z0-9_-]+\.png))",
        [this](const httplib::Request& req, httplib::Response& res) { handleAdPicture(req, res); });
    server.Post("/__control/ads", [this](const httplib::Request& req, httplib::Response& res) {
        Json::Value ads;
        std::string error;
        if (!parseJson(req.body, ads, error) || !ads["items"].isArray()) {
            sendError(res, 400, "ads body must be an object with the array items");
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ads = ads;
        res.set_content("{}", kJson);
    });
    server.Get("/api/echo", [this](const httplib::Request& req, httplib::Response& res) { handleEcho(req, res); });
    server.Post("/api/echo", [this](const httplib::Request& req, httplib::Response& res) { handleEcho(req, res); });

    m_firmware.install(server, tls ? m_fileBaseTls : m_fileBasePlain);
    m_accounts.install(server);
    installMappingService(server);
    installRemoteLookup(server);

    if (!m_options.filesDir.empty())
        server.set_mount_point("/files", m_options.filesDir);

    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            sendError(res, res.status, res.status == 404 ? "not found" : "request failed");
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        sendError(res, 500, "internal server error");
    });
}

void CloudServer::handleControl(const httplib::Request& req, httplib::Response& res)
{
    Json::Value json;
    std::string error;
    if (!parseJson(req.body, json, error)) {
        sendError(res, 400, "control body is not JSON: " + error);
        return;
    }
    Fault fault;
    if (!parseFault(json, fault, error)) {
        sendError(res, 400, error);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back(fault);
    res.set_content("{}", kJson);
}

void CloudServer::handleLatestVersions(const httplib::Request& req, httplib::Response& res, bool tls)
{
    if (req.get_param_value("langCode").empty()) {
        sendError(res, 400, "langCode is required");
        return;
    }
    std::vector<std::string> wanted;
    for (std::size_t i = 0; i < req.get_param_value_count("swSnCodes"); ++i)
        wanted.push_back(lower(req.get_param_value("swSnCodes", i)));
    Json::Value answer(Json::arrayValue);
    for (const Json::Value& record : m_catalogue) {
        // The server writes some product codes in other letter case (Kestrix_FORD).
        const std::string name = lower(record["name"].asString());
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end())
            continue;
        Json::Value copy = record;
        copy["url"] = expandFiles(record["url"].asString(), tls);
        answer.append(copy);
    }
    res.set_content(toJson(answer), kJson);
}

void CloudServer::handleAppVersion(const httplib::Request& req, httplib::Response& res, bool tls)
{
    const std::string lang = req.get_param_value("langCode");
    const std::string code = req.get_param_value("swSnCode");
    Json::Value product;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        product = m_appVersion["swProduct"];
    }
    if (lang.empty() || code != product["code"].asString()) {
        sendKeyed(res, 404, "SwProductNotFound", "no product " + code);
        return;
    }
    product["url"] = expandFiles(product["url"].asString(), tls);
    Json::Value body;
    body["status"] = 200;
    body["errorKey"] = "";
    body["swProduct"] = product;
    res.set_content(toJson(body), kJson);
}

void CloudServer::handleAds(const httplib::Request& req, httplib::Response& res, bool tls)
{
    if (req.get_param_value("langCode").empty()) {
        sendKeyed(res, 400, "BadRequest", "langCode is required");
        return;
    }
    Json::Value items;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        items = m_ads["items"];
    }
    for (Json::Value& item : items)
        if (item.isObject() && item["image"].isString())
            item["image"] = expandFiles(item["image"].asString(), tls);
    Json::Value body;
    body["status"] = 200;
    body["errorKey"] = "";
    body["items"] = items;
    res.set_content(toJson(body), kJson);
}

void CloudServer::handleAdPicture(const httplib::Request& req, httplib::Response& res)
{
    std::string picture;
    if (!readFile(m_options.dataDir + "/ads/" + std::string(req.matches[1]), picture)) {
        sendError(res, 404, "no such picture");
        return;
    }
    res.set_content(picture, "image/png");
}

void CloudServer::handleGenerated(const httplib::Request& req, httplib::Response& res)
{
    const std::string digits = req.matches[1];
    if (digits.size() > 12) {
        sendError(res, 400, "size too large");
        return;
    }
    const std::size_t size = std::stoull(digits);
    if (req.has_param("disposition"))
        res.set_header("Content-Disposition", req.get_param_value("disposition"));
    else if (req.has_param("name"))
        res.set_header("Content-Disposition", "attachment; filename=\"" + req.get_param_value("name") + "\"");
    const std::string type = req.has_param("type") ? req.get_param_value("type") : "application/octet-stream";
    // The pattern repeats every 251 bytes: every chunk is a slice of one table.
    static const std::string table = [] {
        std::string t;
        appendGenerated(t, 0, kChunk + 251);
        return t;
    }();
    res.set_content_provider(size, type, [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        sink.write(table.data() + offset % 251, std::min(length, kChunk));
        return true;
    });
}

void CloudServer::handleDriverZip(const httplib::Request& req, httplib::Response& res)
{
    const std::string name = req.matches[1];
    auto it = m_packages.find(name);
    if (it == m_packages.end()) {
        sendError(res, 404, "no driver " + name);
        return;
    }
    const DriverPackage& package = it->second;
    if (package.path.empty()) {
        res.set_header("Content-Disposition", "attachment; filename=\"" + name + ".zip\"");
        res.set_content(package.placeholder, "application/zip");
        return;
    }
    auto in = std::make_shared<std::ifstream>(package.path, std::ios::binary);
    if (!*in) {
        sendError(res, 500, "package file " + package.path + " is gone");
        return;
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + ".zip\"");
    // The file as it is now: one changed since the start no longer matches the catalogue's digest.
    in->seekg(0, std::ios::end);
    const std::uint64_t size = static_cast<std::uint64_t>(in->tellg());
    in->seekg(0);
    res.set_content_provider(static_cast<std::size_t>(size), "application/zip",
        [in](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            std::vector<char> buffer(std::min(length, kChunk));
            in->seekg(static_cast<std::streamoff>(offset));
            in->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            if (in->gcount() <= 0)
                return false;
            sink.write(buffer.data(), static_cast<std::size_t>(in->gcount()));
            return true;
        });
}

// Answers with what it received, so clients' methods, headers and bodies can be checked.
void CloudServer::handleEcho(const httplib::Request& req, httplib::Response& res)
{
    Json::Value body;
    body["status"] = 200;
    body["method"] = req.method;
    body["body"] = req.body;
    body["path"] = req.path;
    Json::Value headers(Json::objectValue);
    for (const auto& [key, value] : req.headers)
        headers[key] = value;
    body["headers"] = headers;
    res.set_content(toJson(body), kJson);
}

} // namespace cloud
