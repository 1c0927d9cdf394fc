// The diagnosis component's own HTTP (IHttp), on the project's CHvHttp
// client: a text GET and a download to a file, each bounded in time and size,
// failures as an English reason instead of an exception. Any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#if defined(_WIN32)
#define VEHDIAG_HTTP_API __declspec(dllexport)
#else
#define VEHDIAG_HTTP_API __attribute__((visibility("default")))
#endif

namespace vehdiag {

struct HttpResult {
    bool ok = false;     // a complete 200 answer
    unsigned status = 0; // the HTTP status, 0 when no answer came
    std::string body;    // getText: the answer
    std::string error;   // why not ok
};

// A GET of at most `maxBytes`, within `deadlineMs`.
VEHDIAG_HTTP_API HttpResult getText(const std::string& url, int deadlineMs = 10000, std::size_t maxBytes = 1 << 20);
// A GET straight into `path` (replaced only by a complete answer).
VEHDIAG_HTTP_API HttpResult download(const std::string& url, const std::string& path, std::size_t maxBytes,
    int deadlineMs = 120000, const std::atomic<bool>* cancel = nullptr);

} // namespace vehdiag
