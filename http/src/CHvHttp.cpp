// Platform-independent half of CHvHttp: URL splitting, the 401 repeat,
// redirects, the deadline, body fields and the JsonCpp helpers. One exchange
// itself lives in CHvHttp_posix.cpp (cpp-httplib) and CHvHttp_win32.cpp (WinHTTP).
#include "http/CHvHttp.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

std::mutex g_caMutex;
std::string g_extraCaFile;

using Clock = std::chrono::steady_clock;

bool isRedirect(std::uint32_t status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// The header text without the lines of these (lower-case) names.
std::string withoutHeaders(const std::string& text, std::initializer_list<const char*> names)
{
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        const std::string name = lower(line.substr(0, line.find(':')));
        if (std::none_of(names.begin(), names.end(), [&](const char* n) { return name == n; }))
            out += line;
        start = end;
    }
    return out;
}

struct Place {
    bool secure = false;
    std::string host;
    std::string path;
    unsigned short port = 0;
};

// Resolves a Location header against the current place. Absolute locations
// without a port use the scheme's usual port.
bool resolveLocation(const std::string& location, const Place& current, Place& next)
{
    next = current;
    if (location.empty())
        return false;
    if (location[0] == '/') {
        next.path = location;
        return true;
    }
    std::string rest;
    if (location.rfind("http://", 0) == 0) {
        next.secure = false;
        rest = location.substr(7);
    } else if (location.rfind("https://", 0) == 0) {
        next.secure = true;
        rest = location.substr(8);
    } else {
        return false;
    }
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    next.path = slash == std::string::npos ? "/" : rest.substr(slash);
    const std::size_t colon = authority.find(':');
    next.host = authority.substr(0, colon);
    next.port = next.secure ? 443 : 80;
    if (colon != std::string::npos) {
        const std::string digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
            return false;
        const unsigned long number = std::stoul(digits);
        if (number == 0 || number > 65535)
            return false;
        next.port = static_cast<unsigned short>(number);
    }
    return !next.host.empty();
}

bool sameOrigin(const Place& a, const Place& b)
{
    return a.secure == b.secure && lower(a.host) == lower(b.host) && a.port == b.port;
}

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

std::uint32_t CHvHttp::DownloadToFile(
    const std::string& url, const std::string& path, std::size_t maxBytes, const std::atomic<bool>* cancel)
{
    const std::string part = path + ".part";
    std::ofstream out;
    const BodySink sink{[&] {
                            out.close();
                            out.open(part, std::ios::binary | std::ios::trunc);
                        },
        [&](const char* data, std::size_t size) {
            if (cancel && cancel->load())
                return false;
            out.write(data, static_cast<std::streamsize>(size));
            return out.good();
        }};
    const std::size_t cap = m_maxAnswerSize;
    m_sink = &sink;
    m_maxAnswerSize = maxBytes;
    struct Restore {
        CHvHttp* self;
        std::size_t cap;
        ~Restore()
        {
            self->m_sink = nullptr;
            self->m_maxAnswerSize = cap;
        }
    } restore{this, cap};
    try {
        SendHttpOrHttpsRequest(url, HTTP_GET, std::string(), std::string());
    } catch (...) {
        out.close();
        std::remove(part.c_str());
        throw;
    }
    out.close();
    const bool complete = m_dwRespCode == 200 && !out.fail();
    if (!complete || std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        return complete ? 0 : m_dwRespCode;
    }
    return m_dwRespCode;
}

std::string CHvHttp::SendHttpOrHttpsRequest(
    const std::string& url, HttpRequest method, const std::string& header, const std::string& body) const
{
    if (url.empty())
        Fail(HTTP_ERROR_URL_EMPTY);
    m_deadline = Clock::now() + std::chrono::milliseconds(m_deadlineMs);

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
    if (unauthorized && m_repeatOnUnauthorized && !CarriesCredentials(method, body)) {
        if (RemainingMs() <= kRetryDelayMs)
            Fail(HTTP_ERROR_TIMEOUT);
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryDelayMs));
        answer = sendOnce();
    }
    return answer;
}

bool CHvHttp::CarriesCredentials(HttpRequest method, const std::string& body)
{
    if (method == HTTP_GET || body.empty())
        return false;
    Json::Value root;
    Json::CharReaderBuilder builder;
    builder.settings_["stackLimit"] = 64;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    const std::string sent(body.c_str()); // what goes out: up to the first NUL
    if (!reader->parse(sent.data(), sent.data() + sent.size(), &root, &errors) || !root.isObject())
        return false;
    for (const char* name : {"password", "newPassword", "oldPassword", "code"}) {
        if (root.isMember(name))
            return true;
    }
    return false;
}

std::string CHvHttp::SendHttpRequest(const std::string& host, const std::string& path, unsigned short port,
    HttpRequest method, const std::string& header, const std::string& body) const
{
    return Follow(false, host, path, port, method, header, body);
}

std::string CHvHttp::SendHttpsRequest(const std::string& host, const std::string& path, unsigned short port,
    HttpRequest method, const std::string& header, const std::string& body) const
{
    return Follow(true, host, path, port, method, header, body);
}

std::string CHvHttp::Follow(bool secure, const std::string& host, const std::string& path, unsigned short port,
    HttpRequest method, const std::string& header, const std::string& body) const
{
    Hop hop;
    hop.verb = method == HTTP_GET ? "GET" : "POST";
    hop.header = header;
    // The body goes up to its first NUL byte.
    hop.body = method == HTTP_GET ? std::string() : std::string(body.c_str());
    Place place{secure, host, path, port};
    const Place origin = place;
    for (int redirects = 0;; ++redirects) {
        hop.secure = place.secure;
        hop.host = place.host;
        hop.path = place.path;
        hop.port = place.port;
        Answer answer = Exchange(hop);
        Place next;
        // Never from https to http: the redirect itself is then the answer.
        if (!isRedirect(m_dwRespCode) || !resolveLocation(answer.location, place, next)
            || (place.secure && !next.secure))
            return std::move(answer.body);
        if (redirects == kMaxRedirects)
            Fail(HTTP_ERROR_TOO_MANY_REDIRECTS);
        if (m_dwRespCode == 303 || ((m_dwRespCode == 301 || m_dwRespCode == 302) && hop.verb == "POST")) {
            hop.verb = "GET";
            hop.body.clear();
            hop.header = withoutHeaders(hop.header, {"content-type"});
        }
        // Credentials stay with the origin; once left, they are gone for good.
        if (!sameOrigin(next, origin))
            hop.header = withoutHeaders(hop.header, {"authorization", "cookie"});
        place = next;
    }
}

int CHvHttp::RemainingMs() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
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
    // A TLS connection on port 80 reaches no real server: https defaults to 443.
    if (https)
        port = 443;

    const std::size_t pathStart = url.find('/', hostStart);
    const std::size_t colon = url.find(':', hostStart);
    const std::size_t hostEnd = (colon != std::string::npos && colon < pathStart) ? colon : pathStart;
    host = url.substr(hostStart, hostEnd == std::string::npos ? std::string::npos : hostEnd - hostStart);
    if (pathStart != std::string::npos)
        path = url.substr(pathStart);
    if (hostEnd == colon && colon != std::string::npos) {
        const std::string digits
            = url.substr(colon + 1, pathStart == std::string::npos ? std::string::npos : pathStart - colon - 1);
        if (digits.empty()
            || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
            throw std::invalid_argument("port is not a number: " + digits);
        if (digits.size() > 5 || std::stoi(digits) > 65535)
            throw std::out_of_range("port out of range: " + digits);
        port = static_cast<unsigned short>(std::stoi(digits));
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
