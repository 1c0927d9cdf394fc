// The request sequence of CHvHttp on cpp-httplib. "https://" URLs are sent
// over TLS with the server's certificate and host name checked against the
// system's trust store (plus an optional extra CA file); nothing unverified
// is accepted.
#include "http/CHvHttp.h"

#include <platform/MemoryHint.h>

#include <httplib.h>
#include <openssl/x509.h>

#include <csignal>
#include <fcntl.h>
#include <iconv.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

struct CHvHttp::HandleObject {
    virtual ~HandleObject() = default;
};

namespace {

using Clock = std::chrono::steady_clock;

const char kUserAgent[] = "WinHTTP Example/1.0";

struct Session : CHvHttp::HandleObject {
    std::string caFile;
};

struct Connection : CHvHttp::HandleObject {
    std::unique_ptr<httplib::ClientImpl> client;
};

struct RequestState : CHvHttp::HandleObject {
    httplib::Request request;
    Clock::time_point lastActivity = Clock::now();
};

template <class T>
T* as(CHvHttp::Handle handle)
{
    return static_cast<T*>(handle);
}

// Makes room for `length` more bytes, doubling as strings do but never past
// the cap, so an answer that reaches the cap never holds twice its size.
void growWithinCap(std::string& body, std::size_t length, std::size_t cap)
{
    const std::size_t needed = body.size() + length;
    if (needed > body.capacity())
        body.reserve(std::min(cap, std::max(needed, body.capacity() * 2)));
}

// Escapes what may not appear raw in a request line (spaces, control and
// non-ASCII bytes); everything else of the caller's path is sent as it is.
std::string escapePath(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// "Name: value" lines separated by CR LF (or LF). False on a line without a name.
bool parseHeaderText(const std::string& text, httplib::Headers& headers)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 || line.find('\r') != std::string::npos)
            return false;
        std::string name = line.substr(0, colon);
        std::size_t valueStart = colon + 1;
        while (valueStart < line.size() && (line[valueStart] == ' ' || line[valueStart] == '\t'))
            ++valueStart;
        headers.emplace(std::move(name), line.substr(valueStart));
    }
    return true;
}

// The system's trust store plus the extra CA file; null when the file cannot be read.
X509_STORE* makeTrustStore(const std::string& extraCaFile)
{
    X509_STORE* store = X509_STORE_new();
    if (!store)
        return nullptr;
    X509_STORE_set_default_paths(store);
    if (!extraCaFile.empty() && X509_STORE_load_locations(store, extraCaFile.c_str(), nullptr) != 1) {
        X509_STORE_free(store);
        return nullptr;
    }
    return store;
}

// TLS writes to a peer that already closed raise SIGPIPE, which would end the
// whole program. Block it on this thread for one exchange and swallow any
// that became pending here.
class SigpipeGuard {
public:
    SigpipeGuard()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~SigpipeGuard()
    {
        if (!m_wasPending) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                const timespec zero{};
                sigtimedwait(&m_pipe, nullptr, &zero);
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_old;
    bool m_wasPending = false;
};

// Milliseconds since the connection last carried a byte of data either way;
// -1 while it is not established or when the system cannot tell.
long idleMsOf(int fd)
{
#ifdef TCP_INFO
    tcp_info info{};
    socklen_t length = sizeof(info);
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 || info.tcpi_state != TCP_ESTABLISHED)
        return -1;
    return static_cast<long>(std::min(info.tcpi_last_data_recv, info.tcpi_last_data_sent));
#else
    (void)fd;
    return -1;
#endif
}

// Ends an exchange from its own thread by shutting its socket down:
//   - at the call's deadline, whatever phase it is in, so a server that
//     trickles bytes (each within the per-read time-out) cannot hold the call;
//   - before the answer's head is complete, once the connection carried no
//     byte either way for `headLimit` (the kernel's account of the socket;
//     cpp-httplib's own per-read time-out is the body's longer idle limit).
// Works on a duplicate of the client's descriptor, so it never touches a
// number the client closed and the process reused.
class ExchangeWatch {
public:
    ExchangeWatch(Clock::time_point deadline, std::chrono::milliseconds headLimit)
        : m_headLimit(headLimit)
        , m_thread([this, deadline] { run(deadline); })
    {
    }
    ~ExchangeWatch() { stop(); }
    ExchangeWatch(const ExchangeWatch&) = delete;
    ExchangeWatch& operator=(const ExchangeWatch&) = delete;

    // Called by cpp-httplib for every socket it creates.
    void track(int fd)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        m_tracked = Clock::now();
        if (m_fired && m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        m_wake.notify_all();
    }

    // The answer's head is complete: from now on only the deadline counts here.
    void headArrived()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_headIn = true;
        m_wake.notify_all();
    }

    // Ends the watch; true when it ended the exchange (the deadline, or the head's wait).
    bool stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return m_fired;
    }

private:
    void run(Clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_done) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                m_fired = true;
                break;
            }
            Clock::time_point wakeAt = deadline;
            if (!m_headIn && m_fd >= 0) {
                const long idle = idleMsOf(m_fd);
                if (idle >= 0) {
                    const std::chrono::milliseconds quiet(idle);
                    if (quiet >= m_headLimit) {
                        m_fired = true;
                        break;
                    }
                    wakeAt = std::min(deadline, now + std::max(m_headLimit - quiet, std::chrono::milliseconds(10)));
                } else {
                    // Still connecting (cpp-httplib bounds that), or no account
                    // from the kernel: at most the connect's and the head's
                    // waits from the socket's start.
                    if (now - m_tracked >= 2 * m_headLimit) {
                        m_fired = true;
                        break;
                    }
                    wakeAt = std::min(deadline, now + std::chrono::milliseconds(50));
                }
            }
            m_wake.wait_until(lock, wakeAt);
        }
        if (m_fired && m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
    }

    const std::chrono::milliseconds m_headLimit;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_fd = -1;
    Clock::time_point m_tracked;
    bool m_headIn = false;
    bool m_done = false;
    bool m_fired = false;
    std::thread m_thread; // last: starts once the rest is ready
};

} // namespace

CHvHttp::Answer CHvHttp::Exchange(const Hop& hop) const
{
    httplib::Headers headers;
    if (!parseHeaderText(hop.header, headers))
        Fail(HTTP_ERROR_SEND_RECEIVE);
    if (headers.find("User-Agent") == headers.end())
        headers.emplace("User-Agent", kUserAgent);

    HvRelease();

    // Session: the trust settings of this exchange.
    auto* session = new Session;
    m_hSession = session;
    session->caFile = ExtraCaFile();

    // Connection.
    if (hop.host.empty() || hop.port == 0)
        Fail(HTTP_ERROR_CONNECT);
    const int remaining = RemainingMs();
    if (remaining == 0)
        Fail(HTTP_ERROR_TIMEOUT);
    auto* connection = new Connection;
    m_hConnect = connection;
    if (hop.secure) {
        auto client = std::make_unique<httplib::SSLClient>(hop.host, hop.port);
        if (!client->is_valid())
            Fail(HTTP_ERROR_OPEN);
        X509_STORE* store = makeTrustStore(session->caFile);
        if (!store)
            Fail(HTTP_ERROR_OPEN);
        client->set_ca_cert_store(store); // the client owns the store now
        client->enable_server_certificate_verification(true);
        connection->client = std::move(client);
    } else {
        connection->client = std::make_unique<httplib::ClientImpl>(hop.host, hop.port);
    }
    httplib::ClientImpl& client = *connection->client;
    // Connecting and sending within the phase time-out; cpp-httplib's reads
    // wait as long as the body may be silent, and the watch below holds the
    // wait for the head to the phase time-out.
    const auto bodyIdle = std::chrono::milliseconds(std::max(1, m_bodyIdleMs));
    const auto headLimit = std::min(std::chrono::milliseconds(kTimeoutMs), bodyIdle);
    client.set_connection_timeout(std::chrono::milliseconds(std::min(kTimeoutMs, remaining)));
    client.set_read_timeout(bodyIdle);
    client.set_write_timeout(std::chrono::milliseconds(kTimeoutMs));
    client.set_keep_alive(false);
    client.set_follow_location(false);
    client.set_url_encode(false);

    // Request.
    auto* state = new RequestState;
    m_hRequest = state;
    httplib::Request& req = state->request;
    req.method = hop.verb;
    req.path = escapePath(hop.path);
    req.headers = headers;
    req.body = hop.body;
    if (!hop.body.empty() && req.headers.find("Content-Type") == req.headers.end())
        req.headers.emplace("Content-Type", "application/octet-stream");

    // Read the body to its end, within the cap whatever the framing; remember
    // when bytes last arrived so a stalled transfer can be told from a broken one.
    Answer answer;
    bool tooLarge = false;
    const std::size_t cap = m_maxAnswerSize;
    const BodySink* sink = m_sink;
    std::size_t sunk = 0;
    ExchangeWatch watch(m_deadline, headLimit);
    bool headIn = false;
    req.response_handler = [state, &answer, cap, sink, &watch, &headIn](const httplib::Response& res) {
        state->lastActivity = Clock::now();
        headIn = true;
        watch.headArrived();
        if (sink) {
            sink->restart();
            return true;
        }
        if (res.has_header("Content-Length")) {
            const unsigned long long length
                = std::strtoull(res.get_header_value("Content-Length").c_str(), nullptr, 10);
            if (length <= cap) {
                answer.body.reserve(static_cast<std::size_t>(length));
                platform::adviseLargeBuffer(answer.body.data(), answer.body.capacity());
            }
        }
        return true;
    };
    req.content_receiver = [state, &answer, &tooLarge, cap, sink, &sunk](
                               const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
        state->lastActivity = Clock::now();
        const std::size_t held = sink ? sunk : answer.body.size();
        if (held + length > cap) {
            tooLarge = true;
            return false;
        }
        if (sink) {
            sunk += length;
            return sink->write(data, length);
        }
        growWithinCap(answer.body, length, cap);
        answer.body.append(data, length);
        return true;
    };

    httplib::Response res;
    httplib::Error error = httplib::Error::Success;
    state->lastActivity = Clock::now();
    bool sent = false;
    bool late = false;
    {
        client.set_socket_options([&watch](socket_t fd) { watch.track(fd); });
        SigpipeGuard quiet;
        sent = client.send(req, res, error);
        late = watch.stop();
    }
    if (!sent || error != httplib::Error::Success) {
        if (tooLarge)
            Fail(HTTP_ERROR_ANSWER_TOO_LARGE);
        if (late)
            Fail(HTTP_ERROR_TIMEOUT);
        // A phase that waited its whole time-out for a byte timed out; one that
        // failed sooner broke.
        const auto limit = headIn ? bodyIdle : headLimit;
        const bool stalled = Clock::now() - state->lastActivity >= limit - std::chrono::milliseconds(100);
        switch (error) {
        case httplib::Error::ConnectionTimeout:
            Fail(HTTP_ERROR_TIMEOUT);
        case httplib::Error::Read:
        case httplib::Error::Write:
            Fail(stalled ? HTTP_ERROR_TIMEOUT : HTTP_ERROR_SEND_RECEIVE);
        case httplib::Error::SSLLoadingCerts:
            Fail(HTTP_ERROR_OPEN);
        default: // refused, TLS handshake or certificate failure, cut-off body
            Fail(HTTP_ERROR_SEND_RECEIVE);
        }
    }
    m_dwRespCode = static_cast<std::uint32_t>(res.status);
    answer.location = res.get_header_value("Location");
    HvRelease();
    return answer;
}

void CHvHttp::HvReleaseHandle(Handle& handle)
{
    if (!handle)
        return;
    SigpipeGuard quiet; // closing a TLS link may still write to it
    delete handle;
    handle = nullptr;
}

namespace {

// UTF-8 to UTF-32 by the Unicode rule: a well-formed sequence gives its
// character, any other byte one U+FFFD. glibc's iconv takes the old 4-byte
// forms up to U+1FFFFF (lead bytes F5 to F7), which are no characters.
std::wstring decodeUtf8(const std::string& text)
{
    std::wstring out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            length = 1;
            cp = b0;
        } else if (b0 >= 0xC2 && b0 < 0xE0) {
            length = 2;
            cp = b0 & 0x1F;
            min = 0x80;
        } else if (b0 >= 0xE0 && b0 < 0xF0) {
            length = 3;
            cp = b0 & 0x0F;
            min = 0x800;
        } else if (b0 >= 0xF0 && b0 < 0xF5) {
            length = 4;
            cp = b0 & 0x07;
            min = 0x10000;
        }
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            wellFormed = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        wellFormed = wellFormed && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        out.push_back(static_cast<wchar_t>(wellFormed ? cp : 0xFFFD));
        i += wellFormed ? length : 1;
    }
    return out;
}

} // namespace

std::wstring CHvHttp::CharToWchar(const std::string& text, unsigned int codePage)
{
    if (text.empty())
        return std::wstring();
    // Code page 0 (the system's) and 65001 are UTF-8 here; others by number, e.g. CP1252, CP936.
    if (codePage == 0 || codePage == 65001)
        return decodeUtf8(text);
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("WCHAR_T", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::wstring();
    std::wstring out(text.size() + 1, L'\0');
    std::string input = text;
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* outPtr = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(wchar_t);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1))
            continue;
        if (errno == EILSEQ || errno == EINVAL) {
            // An invalid sequence becomes one replacement character. The
            // converter may still hold the character before it (CP1255 and
            // CP1258 wait for a combining mark): flush that first, so it comes
            // out before the replacement and no later mark combines with it
            // across the bad byte.
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
            ++in;
            --inLeft;
            if (outLeft >= sizeof(wchar_t)) {
                const wchar_t replacement = 0xFFFD;
                std::memcpy(outPtr, &replacement, sizeof(wchar_t));
                outPtr += sizeof(wchar_t);
                outLeft -= sizeof(wchar_t);
            }
            continue;
        }
        break; // E2BIG cannot happen: a byte never yields more than one wide character
    }
    // Some converters (CP1255, CP1258) hold the last character back in case a
    // combining mark follows: flush it.
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft / sizeof(wchar_t));
    return out;
}
