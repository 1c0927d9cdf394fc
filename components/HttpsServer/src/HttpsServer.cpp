#include "HttpsServer.h"

#include "BuildConfig.h"
#include "platform/Network.h"
#include "update/CHvHttp.h"

#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

// The firmware half of the account service (docs/account-service.md) on the
// same TLS-checking client as CHvHttp. Every call makes its own client, so one
// instance serves several threads; the download runs on the instance's own
// thread, one at a time, and the destructor cancels and joins it.

namespace {

constexpr int kQueryDeadlineMs = 15000;
constexpr std::size_t kMaxJsonAnswer = std::size_t(64) << 10;
// A firmware image is a few MiB; the cap keeps a hostile server from filling the disk.
constexpr std::size_t kMaxDownload = std::size_t(256) << 20;
constexpr int kDownloadDeadlineMs = 10 * 60 * 1000;
constexpr std::size_t kMaxSerial = 64;

std::string serviceBase()
{
    // Tests and the demo point the library at an emulator on another port.
    std::string base = BuildConfig::kMainApiBase;
    if (const char* env = std::getenv("BRINDLEWICK_MAIN_API_BASE")) {
        const std::string value = env;
        if (value.rfind("http://", 0) == 0 || value.rfind("https://", 0) == 0)
            base = value;
    }
    if (base.empty() || base.back() != '/')
        base += '/';
    return base;
}

std::string urlEncode(const std::string& text)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The answer's JSON object when the service said yes: HTTP 200, "status" 200
// and no "errorKey". Anything else (a transport failure included) is no.
bool okAnswer(const CHvHttp& http, const std::string& body, Json::Value& root)
{
    if (http.GetRespCode() != 200)
        return false;
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder.settings_["stackLimit"] = 64;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (!reader->parse(body.data(), body.data() + body.size(), &root, &errors) || !root.isObject())
        return false;
    return CHvHttp::GetJsonIntegerValue(root, "status", 0) == 200 && CHvHttp::ShowHttpRequestError(root);
}

std::string textMember(const Json::Value& object, const char* key)
{
    const Json::Value& v = object[key];
    return v.isString() ? v.asString() : std::string();
}

// A bare file name: no folder parts, nothing a path could be built from.
bool plainFileName(const std::string& name)
{
    if (name.empty() || name.size() > 255 || name == "." || name == "..")
        return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == '_';
    });
}

bool hexDigest(std::string& text)
{
    if (text.size() != 64)
        return false;
    for (char& c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return true;
}

bool fillRecord(const Json::Value& firmware, const std::string& typeName, ST_APP_INFO_HTTP& info)
{
    if (!firmware.isObject())
        return false;
    info.typeName = typeName;
    info.versionNo = textMember(firmware, "versionNo");
    info.updatedDate = textMember(firmware, "updatedDate");
    info.summary = textMember(firmware, "summary");
    info.downloadUrl = textMember(firmware, "url");
    info.fileName = textMember(firmware, "fileName");
    info.sha256 = textMember(firmware, "sha256");
    const Json::Value& size = firmware["size"];
    if (!size.isIntegral() || size.asLargestInt() < 0)
        return false;
    info.fileSize = size.asLargestUInt();
    const bool webAddress = info.downloadUrl.rfind("http://", 0) == 0 || info.downloadUrl.rfind("https://", 0) == 0;
    return !info.versionNo.empty() && info.versionNo.size() <= 64 && webAddress && plainFileName(info.fileName)
        && info.fileSize <= kMaxDownload && hexDigest(info.sha256);
}

} // namespace

struct HttpsServer::Private {
    std::string base = serviceBase();
    std::mutex mutex; // guards worker
    std::thread worker;
    std::atomic<unsigned> downloadStatus{HttpsServer::kDownloadFailed};
    std::atomic<bool> cancel{false};

    bool startDownload(const std::string& url, const std::string& target)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (downloadStatus == kDownloadRunning)
            return false; // one download at a time
        if (worker.joinable())
            worker.join();
        downloadStatus = kDownloadRunning;
        worker = std::thread([this, url, target] {
            unsigned result = kDownloadFailed;
            try {
                CHvHttp http;
                http.SetDeadline(kDownloadDeadlineMs);
                if (http.DownloadToFile(url, target, kMaxDownload, &cancel) == 200)
                    result = kDownloadDone;
            } catch (...) {
                // transport failure, time-out, too large, cancelled: failed
            }
            downloadStatus = result;
        });
        return true;
    }

    ~Private()
    {
        cancel = true;
        std::lock_guard<std::mutex> lock(mutex);
        if (worker.joinable())
            worker.join();
    }
};

HttpsServer::HttpsServer()
    : d(std::make_unique<Private>())
{
}

HttpsServer::~HttpsServer() = default;

std::string HttpsServer::GetGloableUrl()
{
    return d->base;
}

bool HttpsServer::InternetOk()
{
    return platform::connectivityProbe();
}

// The account calls are not designed yet: they answer "not reachable" at
// once, so the pages take their ordinary failure paths.

int HttpsServer::GetSMSAuthCode(std::string&)
{
    return kResultNoNetwork;
}

bool HttpsServer::UserLogin(std::string&, std::string&, std::string& token)
{
    token.clear();
    return false;
}

int HttpsServer::GetEmailAuthCode(const std::string&, bool)
{
    return kResultNoNetwork;
}

int HttpsServer::EmailUserRegister(const std::string&, const std::string&, const std::string&)
{
    return kResultNoNetwork;
}

bool HttpsServer::UserLoginEmail(const std::string&, const std::string&, std::string& token)
{
    token.clear();
    return false;
}

int HttpsServer::EmailUserResetPassword(const std::string&, const std::string&, const std::string&)
{
    return kResultNoNetwork;
}

bool HttpsServer::SetVCIStatus_SN(const std::string& sn, int status)
{
    if (sn.empty() || sn.size() > kMaxSerial)
        return false;
    Json::Value request(Json::objectValue);
    request["sn"] = sn;
    request["status"] = status;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    try {
        CHvHttp http;
        http.SetDeadline(kQueryDeadlineMs);
        http.SetMaxAnswerSize(kMaxJsonAnswer);
        const std::string body = http.SendHttpOrHttpsRequest(
            d->base + "api/vci/status", HTTP_POST, "Content-Type: application/json", Json::writeString(writer, request));
        Json::Value root;
        return okAnswer(http, body, root);
    } catch (...) {
        return false;
    }
}

void HttpsServer::AddVci(const std::string&, const std::string&, const std::string&)
{
}

unsigned HttpsServer::keyGetValue(const std::string&, const std::string&, const std::string&, std::string&)
{
    return 1; // not answered; the output text is left as it was
}

bool HttpsServer::GetHttpJsonInfo(const std::string& typeName, const std::string& currentVersion, ST_APP_INFO_HTTP& info)
{
    info = ST_APP_INFO_HTTP();
    if (typeName.empty())
        return false;
    try {
        CHvHttp http;
        http.SetDeadline(kQueryDeadlineMs);
        http.SetMaxAnswerSize(kMaxJsonAnswer);
        const std::string body = http.SendHttpOrHttpsRequest(d->base + "api/firmware/latest?typeName="
                + urlEncode(typeName) + "&currentVersion=" + urlEncode(currentVersion),
            HTTP_GET, std::string(), std::string());
        Json::Value root;
        if (okAnswer(http, body, root) && fillRecord(root["firmware"], typeName, info))
            return true;
    } catch (...) {
        // not reachable: no record
    }
    info = ST_APP_INFO_HTTP();
    return false;
}

bool HttpsServer::DownloadFile(const char* url, const char* name, const char* localPath)
{
    if (!url || !*url || !localPath || !*localPath)
        return false;
    std::string target = localPath;
    // A folder as target takes the file under the given name.
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) {
        if (!name || !plainFileName(name))
            return false;
        target = (std::filesystem::path(target) / name).string();
    }
    return d->startDownload(url, target);
}

bool HttpsServer::DownloadFile(const std::string& url, const std::string& localPath)
{
    std::error_code ec;
    if (url.empty() || localPath.empty() || std::filesystem::is_directory(localPath, ec))
        return false;
    return d->startDownload(url, localPath);
}

unsigned HttpsServer::GetDownloadFileStatus()
{
    // Never "running" without a download, so polling callers always finish.
    return d->downloadStatus;
}
