// Small synchronous HTTP(S) client: one request at a time on the calling
// thread, the whole answer body returned as a narrow string, transport
// failures thrown as HttpInterfaceError values. Every call has an overall
// deadline and a cap on the answer's size; redirects carry Authorization and
// Cookie headers only to the first URL's scheme, host and port.
#pragma once

#include <json/value.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
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
    HTTP_ERROR_TIMEOUT = 15,            // a per-phase time-out or the call's overall deadline
    HTTP_ERROR_TOO_MANY_REDIRECTS = 16, // more than kMaxRedirects redirects (a loop)
    HTTP_ERROR_ANSWER_TOO_LARGE = 17,   // the answer passed the size cap
};

class HV_HTTP_API CHvHttp {
public:
    // Time-outs of connecting, sending and waiting for the answer's head: a
    // phase fails after this long without a byte.
    static constexpr int kTimeoutMs = 2500;
    // Once the head is in, the body fails only after this long without a
    // byte: a slow but live network finishes a large download, a dead one is
    // still found.
    static constexpr int kBodyIdleMs = 30000;
    // Pause before the one repeat of a request answered with 401.
    static constexpr int kRetryDelayMs = 120;
    // Whole call, redirects and the 401 repeat included.
    static constexpr int kDeadlineMs = 20000;
    // Largest answer kept; the callers' answers are JSON of a few KiB.
    static constexpr std::size_t kMaxAnswerSize = std::size_t(8) << 20;
    static constexpr int kMaxRedirects = 10;

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
    // or a 200 whose JSON "status" is 401, is sent once more after 120 ms,
    // unless repeats are off (SetRepeatOnUnauthorized) or the request carries
    // credentials (CarriesCredentials): a refused password or code sent twice
    // would count twice towards the service's lock-out.
    // Throws HttpInterfaceError on transport failures; HTTP error statuses are
    // not failures (see GetRespCode).
    std::string SendHttpOrHttpsRequest(
        const std::string& url, HttpRequest method, const std::string& header, const std::string& body) const;

    // Other bounds for this object's calls (tests and benchmarks).
    void SetDeadline(int milliseconds)
    {
        m_deadlineMs = milliseconds;
    }
    void SetMaxAnswerSize(std::size_t bytes)
    {
        m_maxAnswerSize = bytes;
    }
    // The body's longest wait for a byte (kBodyIdleMs by default). A value
    // below kTimeoutMs also shortens the waits of the phases before the body.
    void SetBodyIdleLimit(int milliseconds)
    {
        m_bodyIdleMs = milliseconds;
    }
    // Whether a 401 answer is sent once more (on by default).
    void SetRepeatOnUnauthorized(bool repeat)
    {
        m_repeatOnUnauthorized = repeat;
    }
    // True for a POST whose body is a JSON object with a "password",
    // "newPassword", "oldPassword" or "code" member: never repeated.
    static bool CarriesCredentials(HttpRequest method, const std::string& body);

    // GET of a file straight to disk, never held in memory: the body goes to
    // "<path>.part", which is renamed to `path` when the answer is a complete
    // 200; anything else removes it. At most `maxBytes`; redirects, the
    // deadline (SetDeadline) and the errors as for every call. A set `cancel`
    // flag ends the transfer at the next piece received (HTTP_ERROR_SEND_RECEIVE).
    // Returns the final response code.
    std::uint32_t DownloadToFile(const std::string& url, const std::string& path, std::size_t maxBytes,
        const std::atomic<bool>* cancel = nullptr);

    // Splits "scheme://host[:port]/path"; true when the scheme is "https://".
    // The port is 443 for https and 80 for http unless the URL names one. A port that is empty or not
    // all digits throws std::invalid_argument, one above 65535 std::out_of_range.
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
    // One request as the caller gave it, then its redirects.
    std::string Follow(bool secure, const std::string& host, const std::string& path, unsigned short port,
        HttpRequest method, const std::string& header, const std::string& body) const;

    struct Hop {
        bool secure = false;
        std::string host;
        std::string path;
        unsigned short port = 0;
        std::string verb;
        std::string header; // "Name: value" lines
        std::string body;
    };
    // Where a body goes instead of Answer::body (DownloadToFile): restarted
    // for every answer, so a redirect's own body is dropped.
    struct BodySink {
        std::function<void()> restart;
        std::function<bool(const char* data, std::size_t size)> write;
    };
    struct Answer {
        std::string body;
        std::string location; // the Location header, empty when none
    };
    // One exchange without following redirects (CHvHttp_posix.cpp,
    // CHvHttp_win32.cpp); sets the response code.
    Answer Exchange(const Hop& hop) const;
    // Milliseconds left until the call's deadline, 0 when it passed.
    int RemainingMs() const;
    [[noreturn]] void Fail(HttpInterfaceError error) const;

    mutable Handle m_hSession = nullptr;
    mutable Handle m_hConnect = nullptr;
    mutable Handle m_hRequest = nullptr;
    mutable std::uint32_t m_dwRespCode = 0;
    mutable HttpInterfaceError m_errorCode = HTTP_ERROR_NONE;
    std::string m_postHeader = "Content-Type: application/json";
    std::map<std::string, std::string> m_postFields;
    int m_deadlineMs = kDeadlineMs;
    int m_bodyIdleMs = kBodyIdleMs;
    std::size_t m_maxAnswerSize = kMaxAnswerSize;
    bool m_repeatOnUnauthorized = true;
    const BodySink* m_sink = nullptr;
    mutable std::chrono::steady_clock::time_point m_deadline;
};
