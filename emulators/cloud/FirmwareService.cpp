#include "FirmwareService.h"

#include "CloudServer.h"

#include "firmware/FirmwareImage.h"

#include <httplib.h>
#include <json/json.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace cloud {

namespace {

const char kJson[] = "application/json";
const std::size_t kChunk = 64 * 1024;
const std::size_t kMaxPayload = 64u * 1024 * 1024; // keeps a control call from exhausting memory
const std::size_t kMaxRecords = 1000;              // reports and queries kept until a reset
const std::size_t kMaxSerial = 64;

// The same bytes for the same type and version on every run: a 64-bit
// xorshift seeded with an FNV-1a hash of both.
std::vector<unsigned char> payloadFor(const FirmwareRelease& r)
{
    std::uint64_t state = 14695981039346656037ull;
    for (char c : r.typeName + "|" + r.versionNo)
        state = (state ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    std::vector<unsigned char> payload(r.size);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        payload[i] = static_cast<unsigned char>(state >> 24);
    }
    return payload;
}

// A marker of another image kind in which no marker of this type appears, so
// both the first marker check and the whole check refuse the image.
std::string otherMarker(const FirmwareRelease& r)
{
    std::vector<std::string_view> own = firmware::markersFor(r.typeName);
    own.push_back(r.marker);
    for (std::string_view candidate : {"HALVERN_SYS", "HALVERN_APP", "kestrix_E508", "M5YQ"}) {
        if (std::none_of(
                own.begin(), own.end(), [&](std::string_view m) { return candidate.find(m) != candidate.npos; }))
            return std::string(candidate);
    }
    return "#";
}

bool urlSafe(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_';
}

std::string percentEncoded(const std::string& text)
{
    std::string out;
    char escaped[4];
    for (char c : text) {
        if (urlSafe(c)) {
            out += c;
        } else {
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            out += escaped;
        }
    }
    return out;
}

bool parseServe(const std::string& text, Serve& serve)
{
    static const std::pair<const char*, Serve> names[] = {{"good", Serve::Good}, {"wrong-marker", Serve::WrongMarker},
        {"truncated", Serve::Truncated}, {"corrupted", Serve::Corrupted}};
    for (const auto& [name, value] : names) {
        if (text == name) {
            serve = value;
            return true;
        }
    }
    return false;
}

// Reads the members of a release object over `r`; with `complete` the
// version, date, summary and size must all be there (the data file).
bool parseRelease(const Json::Value& json, FirmwareRelease& r, bool complete, std::string& error)
{
    if (!json.isObject()) {
        error = "a firmware release must be a JSON object";
        return false;
    }
    auto text = [&](const char* key, std::string& into, bool required) {
        const Json::Value& v = json[key];
        if (v.isNull() && !required)
            return true;
        if (!v.isString()) {
            error = std::string(key) + (v.isNull() ? " is missing" : " must be a text");
            return false;
        }
        into = v.asString();
        return true;
    };
    std::string serve;
    if (!text("typeName", r.typeName, true) || !text("versionNo", r.versionNo, complete)
        || !text("updatedDate", r.updatedDate, complete) || !text("summary", r.summary, complete)
        || !text("marker", r.marker, false) || !text("serve", serve, false))
        return false;
    const Json::Value& size = json["size"];
    if (!size.isNull() || complete) {
        if (!size.isUInt64() || size.asUInt64() < 1 || size.asUInt64() > kMaxPayload) {
            error = "size must be a whole number of payload bytes from 1 to " + std::to_string(kMaxPayload);
            return false;
        }
        r.size = static_cast<std::size_t>(size.asUInt64());
    }
    if (!serve.empty() && !parseServe(serve, r.serve)) {
        error = "serve must be good, wrong-marker, truncated or corrupted";
        return false;
    }
    if (r.typeName.empty() || !std::all_of(r.typeName.begin(), r.typeName.end(), urlSafe)) {
        error = "typeName must be letters, digits, '.', '-' or '_'";
        return false;
    }
    if (r.versionNo.find('/') != std::string::npos) {
        error = "versionNo must not hold '/'";
        return false;
    }
    if (r.marker.empty()) {
        const std::vector<std::string_view> markers = firmware::markersFor(r.typeName);
        if (markers.empty()) {
            error = "type " + r.typeName + " has no known marker; give one with marker";
            return false;
        }
        r.marker = std::string(markers.front());
    }
    return true;
}

void sendReports(httplib::Response& res, const char* member, Json::Value list)
{
    Json::Value body;
    body[member] = std::move(list);
    res.set_content(toJson(body), kJson);
}

} // namespace

bool FirmwareService::build(const FirmwareRelease& release, Built& out, std::string& error)
{
    const std::vector<unsigned char> payload = payloadFor(release);
    const std::vector<unsigned char> image = firmware::buildImage(release.marker, release.versionNo, payload);
    const std::string otherKind = release.serve == Serve::WrongMarker ? otherMarker(release) : std::string();
    const std::vector<unsigned char> wrong
        = otherKind.empty() ? image : firmware::buildImage(otherKind, release.versionNo, payload);
    if (image.empty() || wrong.empty()) {
        error = "marker " + (otherKind.empty() ? release.marker : otherKind) + " and versionNo " + release.versionNo
            + " do not make an image header (63 bytes at most, no '|' or control characters)";
        return false;
    }
    const std::string good(image.begin(), image.end());
    std::string served(wrong.begin(), wrong.end());
    if (release.serve == Serve::Truncated)
        served.resize(good.size() / 2);
    else if (release.serve == Serve::Corrupted)
        served[firmware::kHeaderSize + release.size / 2] ^= 0x01;
    // A corrupted file is announced as the good one, so a client's digest check refuses it.
    const std::string& announced = release.serve == Serve::Corrupted ? good : served;
    out.release = release;
    out.fileName = release.typeName + "_" + release.versionNo + ".bin";
    std::replace_if(
        out.fileName.begin(), out.fileName.end(), [](char c) { return !urlSafe(c); }, '_');
    out.announcedSize = announced.size();
    out.announcedSha256 = sha256Hex(announced);
    out.file = std::make_shared<const std::string>(std::move(served));
    return true;
}

bool FirmwareService::load(const Json::Value& releases, std::string& error)
{
    if (!releases.isArray()) {
        error = "must hold an array of firmware releases";
        return false;
    }
    std::map<std::string, std::shared_ptr<const Built>> loaded;
    for (Json::ArrayIndex i = 0; i < releases.size(); ++i) {
        FirmwareRelease release;
        auto built = std::make_shared<Built>();
        if (!parseRelease(releases[i], release, true, error) || !build(release, *built, error)) {
            error = "entry " + std::to_string(i + 1) + ": " + error;
            return false;
        }
        if (!loaded.emplace(release.typeName, std::move(built)).second) {
            error = "entry " + std::to_string(i + 1) + ": type " + release.typeName + " appears twice";
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaults = loaded;
    m_releases = std::move(loaded);
    return true;
}

void FirmwareService::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_releases = m_defaults;
    m_reports.clear();
    m_queries.clear();
}

void FirmwareService::install(httplib::Server& server, const std::string& fileBase)
{
    server.Get("/api/firmware/latest",
        [this, fileBase](const httplib::Request& req, httplib::Response& res) { handleLatest(req, res, fileBase); });
    server.Get(R"(/files/firmware/([^/]+)/([^/]+)/([^/]+))",
        [this](const httplib::Request& req, httplib::Response& res) { handleFile(req, res); });
    server.Post(
        "/api/vci/status", [this](const httplib::Request& req, httplib::Response& res) { handleStatus(req, res); });

    server.Post("/__control/firmware",
        [this](const httplib::Request& req, httplib::Response& res) { handleControl(req, res); });
    server.Get("/__control/firmware", [this](const httplib::Request&, httplib::Response& res) {
        Json::Value list(Json::arrayValue);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [typeName, currentVersion] : m_queries) {
            Json::Value query;
            query["typeName"] = typeName;
            query["currentVersion"] = currentVersion;
            list.append(query);
        }
        sendReports(res, "queries", std::move(list));
    });
    server.Get("/__control/vci-status", [this](const httplib::Request&, httplib::Response& res) {
        Json::Value list(Json::arrayValue);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Report& r : m_reports) {
            Json::Value report;
            report["sn"] = r.sn;
            report["status"] = r.status;
            list.append(report);
        }
        sendReports(res, "reports", std::move(list));
    });
}

void FirmwareService::handleLatest(const httplib::Request& req, httplib::Response& res, const std::string& fileBase)
{
    const std::string typeName = req.get_param_value("typeName");
    if (typeName.empty()) {
        sendKeyed(res, 400, "BadRequest", "typeName is required");
        return;
    }
    std::shared_ptr<const Built> built;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queries.size() < kMaxRecords)
            m_queries.emplace_back(typeName, req.get_param_value("currentVersion"));
        auto it = m_releases.find(typeName);
        if (it != m_releases.end())
            built = it->second;
    }
    if (!built) {
        sendKeyed(res, 404, "FirmwareNotFound", "no firmware of type " + typeName);
        return;
    }
    const FirmwareRelease& r = built->release;
    Json::Value firmware;
    firmware["typeName"] = r.typeName;
    firmware["versionNo"] = r.versionNo;
    firmware["updatedDate"] = r.updatedDate;
    firmware["summary"] = r.summary;
    firmware["url"] = fileBase + "firmware/" + r.typeName + "/" + percentEncoded(r.versionNo) + "/" + built->fileName;
    firmware["fileName"] = built->fileName;
    firmware["size"] = static_cast<Json::UInt64>(built->announcedSize);
    firmware["sha256"] = built->announcedSha256;
    Json::Value body;
    body["status"] = 200;
    body["errorKey"] = "";
    body["firmware"] = firmware;
    res.set_content(toJson(body), kJson);
}

void FirmwareService::handleFile(const httplib::Request& req, httplib::Response& res)
{
    std::shared_ptr<const Built> built;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_releases.find(req.matches[1]);
        if (it != m_releases.end())
            built = it->second;
    }
    if (!built || built->release.versionNo != req.matches[2] || built->fileName != req.matches[3]) {
        sendKeyed(res, 404, "FirmwareNotFound", "no such firmware file");
        return;
    }
    std::shared_ptr<const std::string> file = built->file;
    res.set_content_provider(file->size(), "application/octet-stream",
        [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            sink.write(file->data() + offset, std::min({length, kChunk, file->size() - offset}));
            return true;
        });
}

// SetVCIStatus_SN: the manager reports the serial of an adapter it updated.
void FirmwareService::handleStatus(const httplib::Request& req, httplib::Response& res)
{
    Json::Value json;
    std::string error;
    if (!parseJson(req.body, json, error) || !json.isObject()) {
        sendKeyed(res, 400, "BadRequest", "body must be a JSON object");
        return;
    }
    const Json::Value& sn = json["sn"];
    const Json::Value& status = json["status"];
    if (!sn.isString() || sn.asString().empty() || sn.asString().size() > kMaxSerial || !status.isInt()) {
        sendKeyed(res, 400, "BadRequest", "sn must be a text of 1 to 64 bytes and status a whole number");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_reports.size() < kMaxRecords)
            m_reports.push_back({sn.asString(), status.asInt()});
    }
    sendKeyed(res, 200, "", "");
}

void FirmwareService::handleControl(const httplib::Request& req, httplib::Response& res)
{
    Json::Value json;
    std::string error;
    if (!parseJson(req.body, json, error) || !json.isObject() || !json["typeName"].isString()) {
        sendError(res, 400, "firmware control body must be a JSON object with typeName");
        return;
    }
    FirmwareRelease release;
    release.typeName = json["typeName"].asString();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_releases.find(release.typeName);
        if (it != m_releases.end())
            release = it->second->release;
    }
    // Members not given keep their values; a new type starts from the defaults.
    release.serve = Serve::Good;
    auto built = std::make_shared<Built>();
    if (!parseRelease(json, release, false, error) || !build(release, *built, error)) {
        sendError(res, 400, error);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_releases[release.typeName] = std::move(built);
    res.set_content("{}", kJson);
}

} // namespace cloud
