// Platform-independent half of CHvHttp: URL splitting, the 401 repeat, body
// fields and the JsonCpp helpers. The request sequence itself lives in
// CHvHttp_posix.cpp (cpp-httplib) and CHvHttp_win32.cpp (WinHTTP).
#include "update/CHvHttp.h"

#include <json/json.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

std::mutex g_caMutex;
std::string g_extraCaFile;

} // namespace

CHvHttp::CHvHttp() = default;

CHvHttp::~CHvHttp()
{
    HvRelease();
}

void CHvHttp::Fail(HttpInterfaceError error) const
{
    m_errorCode = error;
    throw error;
}

std::string CHvHttp::SendHttpOrHttpsRequest(
    const std::string& url, HttpRequest method, const std::string& header, const std::string& body) const
{
    if (url.empty())
        Fail(HTTP_ERROR_URL_EMPTY);

    auto sendOnce = [&]() {
        std::string host, path;
        unsigned short port = 0;
        bool secure = false;
        try {
            secure = HvParseURLWeb(url, host, path, port);
        } catch (const std::logic_error&) {
            // A port that is not a number cannot make a connection.
            Fail(HTTP_ERROR_CONNECT);
        }
        return secure ? SendHttpsRequest(host, path, port, method, header, body)
                      : SendHttpRequest(host, path, port, method, header, body);
    };

    std::string answer = sendOnce();

    bool unauthorized = m_dwRespCode == 401;
    if (m_dwRespCode == 200) {
        Json::Value root;
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        if (reader->parse(answer.data(), answer.data() + answer.size(), &root, &errors)
            && GetJsonIntegerValue(root, "status", 0) == 401)
            unauthorized = true;
    }
    if (unauthorized) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
        answer = sendOnce();
    }
    return answer;
}

std::string CHvHttp::SendHttpRequest(const std::string& host, const std::string& path, unsigned short port,
    HttpRequest method, const std::string& header, const std::string& body) const
{
    return Send(false, host, path, port, method, header, body);
}

std::string CHvHttp::SendHttpsRequest(const std::string& host, const std::string& path, unsigned short port,
    HttpRequest method, const std::string& header, const std::string& body) const
{
    return Send(true, host, path, port, method, header, body);
}

bool CHvHttp::HvParseURLWeb(const std::string& url, std::string& host, std::string& path, unsigned short& port)
{
    host.clear();
    path = "/";
    port = 80;
    const std::size_t marker = url.find("://");
    if (marker == std::string::npos)
        return false; // no scheme: no host either, the caller cannot connect
    const std::size_t hostStart = marker + 3;
    const bool https = url.compare(0, hostStart, "https://") == 0;

    const std::size_t pathStart = url.find('/', hostStart);
    const std::size_t colon = url.find(':', hostStart);
    const std::size_t hostEnd = (colon != std::string::npos && colon < pathStart) ? colon : pathStart;
    host = url.substr(hostStart, hostEnd == std::string::npos ? std::string::npos : hostEnd - hostStart);
    if (pathStart != std::string::npos)
        path = url.substr(pathStart);
    if (hostEnd == colon && colon != std::string::npos) {
        const std::string digits
            = url.substr(colon + 1, pathStart == std::string::npos ? std::string::npos : pathStart - colon - 1);
        const int number = std::stoi(digits);
        if (number < 0 || number > 65535)
            throw std::out_of_range("port out of range: " + digits);
        port = static_cast<unsigned short>(number);
    }
    return https;
}

void CHvHttp::InsertPostData(const std::string& key, const std::string& value)
{
    m_postFields.emplace(key, value);
}

std::string CHvHttp::GetPostData() const
{
    std::string text = "{";
    for (const auto& [key, value] : m_postFields)
        text += "\"" + key + "\":\"" + value + "\",";
    if (!m_postFields.empty())
        text.pop_back();
    return text + "}";
}

void CHvHttp::SetPostHeader(const std::string& header)
{
    m_postHeader = header;
}

std::string CHvHttp::GetPostHeader() const
{
    return m_postHeader;
}

std::uint32_t CHvHttp::GetRespCode() const
{
    return m_dwRespCode;
}

HttpInterfaceError CHvHttp::GetErrorCode() const
{
    return m_errorCode;
}

int CHvHttp::GetJsonIntegerValue(const Json::Value& value, const std::string& key, int defaultValue)
{
    if (!value.isObject() || !value.isMember(key))
        return defaultValue;
    const Json::Value& member = value[key];
    const bool integer = member.type() == Json::intValue || member.type() == Json::uintValue;
    return integer && member.isInt() ? member.asInt() : defaultValue;
}

std::string CHvHttp::GetJsonStringValue(
    const Json::Value& value, const std::string& key, const std::string& defaultValue)
{
    if (!value.isObject() || !value.isMember(key))
        return defaultValue;
    const Json::Value& member = value[key];
    return member.isString() ? member.asString() : defaultValue;
}

bool CHvHttp::ShowHttpRequestError(const Json::Value& value)
{
    return GetJsonStringValue(value, "errorKey", std::string()).empty();
}

void CHvHttp::HvRelease() const
{
    HvReleaseHandle(m_hRequest);
    HvReleaseHandle(m_hConnect);
    HvReleaseHandle(m_hSession);
}

void CHvHttp::SetExtraCaFile(const std::string& path)
{
    std::lock_guard<std::mutex> lock(g_caMutex);
    g_extraCaFile = path;
}

std::string CHvHttp::ExtraCaFile()
{
    {
        std::lock_guard<std::mutex> lock(g_caMutex);
        if (!g_extraCaFile.empty())
            return g_extraCaFile;
    }
    const char* fromEnvironment = std::getenv("BRINDLEWICK_CA_FILE");
    return fromEnvironment ? std::string(fromEnvironment) : std::string();
}
