#include "HttpsServer.h"

#include "BuildConfig.h"
#include "http/CHvHttp.h"
#include "platform/Network.h"

#include <json/json.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// The account service's client (docs/account-service.md) on the same
// TLS-checking client as CHvHttp. Every call makes its own client, so one
// instance serves several threads; the download runs on the instance's own
// thread, one at a time, and the destructor cancels and joins it.

namespace {

constexpr int kQueryDeadlineMs = 15000;
constexpr std::size_t kMaxJsonAnswer = std::size_t(64) << 10;
// A firmware image is a few MiB; the cap keeps a hostile server from filling the disk.
constexpr std::size_t kMaxDownload = std::size_t(256) << 20;
constexpr int kDownloadDeadlineMs = 10 * 60 * 1000;
constexpr std::size_t kMaxSerial = 64;

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
    return std::all_of(
        name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_'; });
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

// One call of the account routes: the HTTP status, 0 when the service could
// not be reached or did not answer with a JSON object.
struct Answer {
    int status = 0;
    Json::Value body;
    std::string errorKey() const { return textMember(body, "errorKey"); }
    bool ok() const
    {
        return status == 200 && CHvHttp::GetJsonIntegerValue(body, "status", 0) == 200 && errorKey().empty();
    }
};

Answer postJson(const std::string& url, const Json::Value& request)
{
    Answer out;
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    try {
        CHvHttp http;
        http.SetDeadline(kQueryDeadlineMs);
        http.SetMaxAnswerSize(kMaxJsonAnswer);
        // A 401 here is the service's answer (wrong password or code), not a
        // passing state: sent again it would count as a second failed attempt.
        http.SetRepeatOnUnauthorized(false);
        const std::string body = http.SendHttpOrHttpsRequest(
            url, HTTP_POST, "Content-Type: application/json", Json::writeString(writer, request));
        Json::CharReaderBuilder builder;
        Json::CharReaderBuilder::strictMode(&builder.settings_);
        builder.settings_["stackLimit"] = 64;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        if (reader->parse(body.data(), body.data() + body.size(), &out.body, &errors) && out.body.isObject())
            out.status = static_cast<int>(http.GetRespCode());
    } catch (...) {
        // not reachable: status 0
    }
    return out;
}

// The result code of a code, registration or reset call: 200 on the
// service's yes, else the HTTP status it answered (400, 404, 422, 429, ...,
// each route's meaning in docs/account-service.md), 0 when it could not be
// reached or answered 200 without a yes.
int resultCode(const Answer& answer)
{
    if (answer.ok())
        return 200;
    return answer.status == 200 ? 0 : answer.status;
}

// A bearer token as the service issues it; it goes into a request header
// later, so nothing that could end or add a header line passes.
bool plainToken(const std::string& token)
{
    return !token.empty() && token.size() <= 512 && std::all_of(token.begin(), token.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/' || c == '=';
    });
}

// 200 and the token, or why not (see UserLoginEmailResult).
int signIn(const std::string& url, const Json::Value& request, std::string& token)
{
    token.clear();
    const Answer answer = postJson(url, request);
    if (!answer.ok())
        return resultCode(answer);
    const std::string issued = textMember(answer.body, "token");
    if (!plainToken(issued))
        return 0;
    token = issued;
    return 200;
}

} // namespace

struct HttpsServer::Private {
    std::string base = BuildConfig::mainApiBase();
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

int HttpsServer::GetSMSAuthCode(std::string& phone)
{
    Json::Value request;
    request["phone"] = phone;
    return resultCode(postJson(d->base + "api/account/sms-code", request));
}

bool HttpsServer::UserLogin(std::string& phone, std::string& code, std::string& token)
{
    Json::Value request;
    request["phone"] = phone;
    request["code"] = code;
    return signIn(d->base + "api/account/phone-login", request, token) == 200;
}

int HttpsServer::GetEmailAuthCode(const std::string& email, bool forExistingAccount)
{
    Json::Value request;
    request["email"] = email;
    request["existing"] = forExistingAccount;
    return resultCode(postJson(d->base + "api/account/email-code", request));
}

int HttpsServer::EmailUserRegister(const std::string& email, const std::string& password, const std::string& code)
{
    Json::Value request;
    request["email"] = email;
    request["password"] = password;
    request["code"] = code;
    return resultCode(postJson(d->base + "api/account/register", request));
}

bool HttpsServer::UserLoginEmail(const std::string& email, const std::string& password, std::string& token)
{
    return UserLoginEmailResult(email, password, token) == 200;
}

int HttpsServer::UserLoginEmailResult(const std::string& email, const std::string& password, std::string& token)
{
    Json::Value request;
    request["email"] = email;
    request["password"] = password;
    return signIn(d->base + "api/account/login", request, token);
}

int HttpsServer::EmailUserResetPassword(
    const std::string& email, const std::string& newPassword, const std::string& code)
{
    Json::Value request;
    request["email"] = email;
    request["newPassword"] = newPassword;
    request["code"] = code;
    return resultCode(postJson(d->base + "api/account/reset-password", request));
}

bool HttpsServer::SetVCIStatus_SN(const std::string& sn, int status)
{
    if (sn.empty() || sn.size() > kMaxSerial)
        return false;
    Json::Value request(Json::objectValue);
    request["sn"] = sn;
    request["status"] = status;
    return postJson(d->base + "api/vci/status", request).ok();
}

void HttpsServer::AddVci(const std::string& key, const std::string& first, const std::string& second)
{
    Json::Value request;
    request["key"] = key;
    request["first"] = first;
    request["second"] = second;
    postJson(d->base + "api/vci/add", request);
}

unsigned HttpsServer::keyGetValue(
    const std::string& key, const std::string& name, const std::string& language, std::string& value)
{
    Json::Value request;
    request["key"] = key;
    request["name"] = name;
    request["lang"] = language;
    const Answer answer = postJson(d->base + "api/vci/key-value", request);
    const Json::Value& text = answer.body["value"];
    if (!answer.ok() || !text.isString() || text.asString().size() > 256)
        return answer.status == 0 || answer.status == 200 ? 1u : static_cast<unsigned>(answer.status);
    value = text.asString();
    return 0;
}

bool HttpsServer::GetHttpJsonInfo(
    const std::string& typeName, const std::string& currentVersion, ST_APP_INFO_HTTP& info)
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
