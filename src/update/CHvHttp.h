// Small synchronous HTTP(S) client: one request at a time on the calling
// thread, the whole answer body returned as a narrow string, transport
// failures thrown as HttpInterfaceError values.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <map>
#include <string>

#if defined(_WIN32) && defined(BW_HVHTTP_EXPORTS)
#define HV_HTTP_API __declspec(dllexport)
#else
#define HV_HTTP_API
#endif

enum HttpRequest {
    HTTP_GET = 0,
    HTTP_POST = 1, // any value other than HTTP_GET sends a POST
};

enum HttpInterfaceError {
    HTTP_ERROR_NONE = 0,
    HTTP_ERROR_OPEN = 1,         // session or request cannot be opened
    HTTP_ERROR_CONNECT = 2,      // connection to the host cannot be created
    HTTP_ERROR_SEND_RECEIVE = 3, // sending or receiving failed (not a time-out)
    HTTP_ERROR_URL_EMPTY = 14,
    HTTP_ERROR_TIMEOUT = 15,
};

class HV_HTTP_API CHvHttp {
public:
    // Connect, send and receive time-outs, each.
    static constexpr int kTimeoutMs = 2500;
    // Pause before the one repeat of a request answered with 401.
    static constexpr int kRetryDelayMs = 120;

#ifdef _WIN32
    using Handle = void*; // HINTERNET
#else
    struct HandleObject;
    using Handle = HandleObject*;
#endif

    CHvHttp();
    ~CHvHttp();
    CHvHttp(const CHvHttp&) = delete;
    CHvHttp& operator=(const CHvHttp&) = delete;

    // Sends one request and returns the whole answer body. An answer of 401,
    // or a 200 whose JSON "status" is 401, is sent once more after 120 ms.
    // Throws HttpInterfaceError on transport failures; HTTP error statuses are
    // not failures (see GetRespCode).
    std::string SendHttpOrHttpsRequest(
        const std::string& url, HttpRequest method, const std::string& header, const std::string& body) const;

    // Splits "scheme://host[:port]/path"; true when the scheme is "https://".
    // The port is 80 unless the URL names one. A port that is not a number
    // throws std::invalid_argument, one above 65535 std::out_of_range.
    static bool HvParseURLWeb(const std::string& url, std::string& host, std::string& path, unsigned short& port);

    // Adds a body field; a key already present keeps its first value.
    void InsertPostData(const std::string& key, const std::string& value);
    // {"key":"value",...} in key order, written without escaping; "{}" when empty.
    std::string GetPostData() const;

    void SetPostHeader(const std::string& header);
    std::string GetPostHeader() const;

    std::uint32_t GetRespCode() const;
    HttpInterfaceError GetErrorCode() const;

    // Narrow text in the given code page (0 = the system's, which is UTF-8 on Linux) to wide text.
    static std::wstring CharToWchar(const std::string& text, unsigned int codePage);

    static int GetJsonIntegerValue(const Json::Value& value, const std::string& key, int defaultValue);
    static std::string GetJsonStringValue(
        const Json::Value& value, const std::string& key, const std::string& defaultValue);
    // True when the answer carries no "errorKey" (or an empty one).
    static bool ShowHttpRequestError(const Json::Value& value);

    // Closes the request, connection and session, in that order.
    void HvRelease() const;
    static void HvReleaseHandle(Handle& handle);

    // Extra trusted CA certificates (PEM file) on top of the system's store,
    // for test servers. Also read from BRINDLEWICK_CA_FILE when not set here.
    static void SetExtraCaFile(const std::string& path);
    static std::string ExtraCaFile();

private:
    std::string SendHttpRequest(const std::string& host, const std::string& path, unsigned short port,
        HttpRequest method, const std::string& header, const std::string& body) const;
    std::string SendHttpsRequest(const std::string& host, const std::string& path, unsigned short port,
        HttpRequest method, const std::string& header, const std::string& body) const;
    std::string Send(bool secure, const std::string& host, const std::string& path, unsigned short port,
        HttpRequest method, const std::string& header, const std::string& body) const;
    [[noreturn]] void Fail(HttpInterfaceError error) const;

    mutable Handle m_hSession = nullptr;
    mutable Handle m_hConnect = nullptr;
    mutable Handle m_hRequest = nullptr;
    mutable std::uint32_t m_dwRespCode = 0;
    mutable HttpInterfaceError m_errorCode = HTTP_ERROR_NONE;
    std::string m_postHeader = "Content-Type: application/json";
    std::map<std::string, std::string> m_postFields;
};
