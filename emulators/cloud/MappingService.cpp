#include "MappingService.h"

#include <RemoteBuildConfig.h>

#include <httplib.h>
#include <json/json.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>

namespace cloud {

namespace {

const char kJson[] = "application/json";
const std::size_t kMaxRecords = 1000; // oldest dropped first
const std::size_t kMaxBody = 4096;
const std::size_t kMaxSerial = 64;

struct Record {
    std::string sn;
    std::string event;
    long long timeMs = 0;
};

struct Records {
    std::mutex mutex;
    std::deque<Record> list;
    int refused = 0;
};

Records& records()
{
    static Records instance;
    return instance;
}

std::string write(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

void answer(httplib::Response& res, int status, int code, const std::string& msg)
{
    Json::Value body;
    body["code"] = code;
    body["msg"] = msg;
    res.status = status;
    res.set_content(write(body), kJson);
}

bool plainSerial(const std::string& sn)
{
    if (sn.empty() || sn.size() > kMaxSerial)
        return false;
    for (char c : sn) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!ok)
            return false;
    }
    return true;
}

std::string replaced(std::string text, const std::string& key, const std::string& value)
{
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
    return text;
}

void handleRecord(const httplib::Request& req, httplib::Response& res)
{
    if (req.body.size() > kMaxBody) {
        answer(res, 413, 413, "record too large");
        return;
    }
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = 8;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value body;
    std::string error;
    if (!reader->parse(req.body.data(), req.body.data() + req.body.size(), &body, &error) || !body.isObject()
        || !body["sn"].isString() || !body["event"].isString()) {
        answer(res, 400, 400, "body must be {\"sn\":\"...\",\"event\":\"start\"|\"end\"}");
        return;
    }
    const std::string sn = body["sn"].asString();
    const std::string event = body["event"].asString();
    if (!plainSerial(sn) || (event != "start" && event != "end")) {
        answer(res, 400, 400, "unknown serial or event");
        return;
    }
    Records& r = records();
    if (req.get_header_value("authorization") != mappingAuthorization(sn, event)) {
        std::lock_guard<std::mutex> lock(r.mutex);
        ++r.refused;
        answer(res, 401, 401, "authorization refused");
        return;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.list.push_back({sn, event, std::chrono::duration_cast<std::chrono::milliseconds>(now).count()});
    while (r.list.size() > kMaxRecords)
        r.list.pop_front();
    answer(res, 200, 200, "ok");
}

void handleList(const httplib::Request& req, httplib::Response& res)
{
    const std::string sn = req.get_param_value("sn");
    Json::Value body;
    body["records"] = Json::Value(Json::arrayValue);
    Records& r = records();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const Record& record : r.list) {
        if (!sn.empty() && record.sn != sn)
            continue;
        Json::Value item;
        item["sn"] = record.sn;
        item["event"] = record.event;
        item["time"] = static_cast<Json::Int64>(record.timeMs);
        body["records"].append(item);
    }
    body["refused"] = r.refused;
    res.set_content(write(body), kJson);
}

} // namespace

std::string mappingAuthorization(const std::string& sn, const std::string& event)
{
    const std::string text = replaced(replaced(RemoteBuildConfig::kRecordPattern, "{sn}", sn), "{event}", event);
    return md5Hex(text);
}

void installMappingService(httplib::Server& server)
{
    server.Post("/prod-api/api/mapping-service/record", handleRecord);
    server.Get("/__control/mapping-records", handleList);
    server.Post("/__control/mapping-records/reset", [](const httplib::Request&, httplib::Response& res) {
        Records& r = records();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.list.clear();
        r.refused = 0;
        res.set_content("{}", kJson);
    });
}

} // namespace cloud
