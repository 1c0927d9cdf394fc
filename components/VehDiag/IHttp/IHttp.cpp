#include "IHttp.h"

#include "http/CHvHttp.h"

#include <stdexcept>

namespace vehdiag {

namespace {

std::string reason(HttpInterfaceError e)
{
    switch (e) {
    case HTTP_ERROR_URL_EMPTY:
        return "no address";
    case HTTP_ERROR_CONNECT:
        return "the server cannot be reached";
    case HTTP_ERROR_TIMEOUT:
        return "the server did not answer in time";
    case HTTP_ERROR_ANSWER_TOO_LARGE:
        return "the answer is too large";
    case HTTP_ERROR_TOO_MANY_REDIRECTS:
        return "too many redirects";
    default:
        return "the transfer failed";
    }
}

template <typename Call>
HttpResult run(Call call)
{
    HttpResult r;
    try {
        call(r);
        r.ok = r.status == 200;
        if (!r.ok)
            r.error = "the server answered " + std::to_string(r.status);
    } catch (HttpInterfaceError e) {
        r.error = reason(e);
    } catch (const std::exception& e) {
        r.error = std::string("bad address: ") + e.what();
    }
    return r;
}

} // namespace

HttpResult getText(const std::string& url, int deadlineMs, std::size_t maxBytes)
{
    return run([&](HttpResult& r) {
        CHvHttp http;
        http.SetDeadline(deadlineMs);
        http.SetMaxAnswerSize(maxBytes);
        r.body = http.SendHttpOrHttpsRequest(url, HTTP_GET, std::string(), std::string());
        r.status = http.GetRespCode();
    });
}

HttpResult download(const std::string& url, const std::string& path, std::size_t maxBytes, int deadlineMs,
    const std::atomic<bool>* cancel)
{
    return run([&](HttpResult& r) {
        CHvHttp http;
        http.SetDeadline(deadlineMs);
        r.status = http.DownloadToFile(url, path, maxBytes, cancel);
    });
}

} // namespace vehdiag
