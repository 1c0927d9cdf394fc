#include "remote/Channel.h"

#include "remote/Frame.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace remote {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > 100 ? 100 : left);
}

std::string sslError(const char* what)
{
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return what;
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return std::string(what) + ": " + text;
}

bool waitFor(net::Socket fd, bool write, int ms)
{
    net::PollFd p{};
    p.fd = fd;
    p.events = write ? POLLOUT : POLLIN;
    return net::pollSockets(&p, 1, ms) > 0;
}

// A socket BIO whose writes never raise SIGPIPE: the libraries run inside the
// manager, which does not ignore that signal, and a peer that resets the link
// must not end the program. Reads and writes go through net::recvSome /
// sendSome (MSG_NOSIGNAL on POSIX, Winsock on Windows).
int bioWrite(BIO* bio, const char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const auto fd = static_cast<net::Socket>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
    const long n = net::sendSome(fd, data, static_cast<std::size_t>(size));
    if (n > 0)
        return static_cast<int>(n);
    if (n == 0)
        BIO_set_retry_write(bio);
    return -1;
}

int bioRead(BIO* bio, char* data, int size)
{
    BIO_clear_retry_flags(bio);
    const auto fd = static_cast<net::Socket>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
    const long n = net::recvSome(fd, data, static_cast<std::size_t>(size));
    if (n > 0)
        return static_cast<int>(n);
    if (n == 0) {
        BIO_set_retry_read(bio);
        return -1;
    }
    return 0; // end of stream or failure
}

int bioPuts(BIO* bio, const char* text)
{
    return bioWrite(bio, text, static_cast<int>(std::strlen(text)));
}

long bioCtrl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH || command == BIO_CTRL_DUP ? 1 : 0;
}

int bioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* socketMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "bw socket");
        if (m) {
            BIO_meth_set_write(m, bioWrite);
            BIO_meth_set_read(m, bioRead);
            BIO_meth_set_puts(m, bioPuts);
            BIO_meth_set_ctrl(m, bioCtrl);
            BIO_meth_set_create(m, bioCreate);
        }
        return m;
    }();
    return method;
}

} // namespace

bool attachSocket(SSL* ssl, net::Socket fd)
{
    BIO_METHOD* method = socketMethod();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (!bio)
        return false;
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    SSL_set_bio(ssl, bio, bio);
    return true;
}

Channel::Channel(net::Socket fd, SSL* ssl)
    : m_fd(fd)
    , m_ssl(ssl)
{
}

Channel::~Channel()
{
    if (m_ssl) {
        SSL_shutdown(m_ssl); // one close_notify, not waited for
        SSL_free(m_ssl);
    }
    net::closeSocket(m_fd);
}

long Channel::read(char* data, std::size_t size)
{
    m_wantWrite = false;
    m_wantRead = false;
    if (!m_ssl)
        return net::recvSome(m_fd, data, size);
    const int n = SSL_read(m_ssl, data, static_cast<int>(size > 1 << 20 ? 1 << 20 : size));
    if (n > 0)
        return n;
    switch (SSL_get_error(m_ssl, n)) {
    case SSL_ERROR_WANT_READ:
        return 0;
    case SSL_ERROR_WANT_WRITE:
        m_wantWrite = true;
        return 0;
    default:
        ERR_clear_error();
        return -1;
    }
}

long Channel::write(const char* data, std::size_t size)
{
    m_wantWrite = false;
    m_wantRead = false;
    if (!m_ssl)
        return net::sendSome(m_fd, data, size);
    const int n = SSL_write(m_ssl, data, static_cast<int>(size > 1 << 20 ? 1 << 20 : size));
    if (n > 0)
        return n;
    switch (SSL_get_error(m_ssl, n)) {
    case SSL_ERROR_WANT_WRITE:
        m_wantWrite = true;
        return 0;
    case SSL_ERROR_WANT_READ:
        m_wantRead = true;
        return 0;
    default:
        ERR_clear_error();
        return -1;
    }
}

bool Channel::hasPending() const
{
    return m_ssl && SSL_pending(m_ssl) > 0;
}

bool Channel::writeAll(const std::string& data, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < data.size()) {
        const long n = write(data.data() + done, data.size() - done);
        if (n < 0)
            return false;
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (Clock::now() >= deadline)
            return false;
        waitFor(m_fd, !m_wantRead, msLeft(deadline));
    }
    return true;
}

bool readFrame(
    Channel& ch, FrameReader& reader, Frame& frame, int timeoutMs, std::string* error, const std::atomic<bool>* stop)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    for (;;) {
        switch (reader.next(frame)) {
        case FrameReader::Result::Frame:
            return true;
        case FrameReader::Result::Error:
            if (error)
                *error = reader.error();
            return false;
        case FrameReader::Result::NeedMore:
            break;
        }
        const long n = ch.read(buf, sizeof buf);
        if (n < 0) {
            if (error)
                *error = "connection closed";
            return false;
        }
        if (n > 0) {
            reader.feed(buf, static_cast<std::size_t>(n));
            continue;
        }
        if ((stop && *stop) || Clock::now() >= deadline) {
            if (error)
                *error = stop && *stop ? "cancelled" : "no answer in time";
            return false;
        }
        waitFor(ch.fd(), ch.wantsWrite(), msLeft(deadline));
    }
}

namespace tls {

SSL_CTX* clientContext(std::string* error)
{
    static std::mutex mutex;
    static SSL_CTX* ctx = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (ctx)
        return ctx;
    SSL_CTX* c = SSL_CTX_new(TLS_client_method());
    if (!c) {
        if (error)
            *error = sslError("TLS context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(c);
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_RELEASE_BUFFERS);
    // Test servers' CA, in addition to the system's (as the HTTP clients do).
    if (const char* extra = std::getenv("BRINDLEWICK_CA_FILE")) {
        if (*extra && SSL_CTX_load_verify_locations(c, extra, nullptr) != 1) {
            if (error)
                *error = sslError("cannot load BRINDLEWICK_CA_FILE");
            SSL_CTX_free(c);
            return nullptr;
        }
    }
    ctx = c;
    return ctx;
}

SSL_CTX* serverContext(const std::string& certFile, const std::string& keyFile, std::string* error)
{
    SSL_CTX* c = SSL_CTX_new(TLS_server_method());
    if (!c) {
        if (error)
            *error = sslError("TLS context");
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION);
    // Idle links keep no buffers; session tickets are of no use here.
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_options(c, SSL_OP_NO_TICKET | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_num_tickets(c, 0);
    if (SSL_CTX_use_certificate_chain_file(c, certFile.c_str()) != 1) {
        if (error)
            *error = sslError(("cannot load certificate " + certFile).c_str());
        SSL_CTX_free(c);
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(c, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 || SSL_CTX_check_private_key(c) != 1) {
        if (error)
            *error = sslError(("cannot load key " + keyFile).c_str());
        SSL_CTX_free(c);
        return nullptr;
    }
    return c;
}

std::unique_ptr<Channel> connect(SSL_CTX* ctx, net::Socket fd, const std::string& host, int timeoutMs,
    std::string* error, const std::atomic<bool>* stop)
{
    SSL* ssl = ctx ? SSL_new(ctx) : nullptr;
    if (!ssl) {
        if (error)
            *error = sslError("TLS session");
        net::closeSocket(fd);
        return nullptr;
    }
    auto channel = std::make_unique<Channel>(fd, ssl);
    if (!attachSocket(ssl, fd)) {
        if (error)
            *error = sslError("TLS socket");
        return nullptr;
    }
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    if (net::isIpv4(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        SSL_set_tlsext_host_name(ssl, host.c_str());
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int r = SSL_connect(ssl);
        if (r == 1)
            return channel;
        const int e = SSL_get_error(ssl, r);
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
            const long verify = SSL_get_verify_result(ssl);
            if (error) {
                *error = verify != X509_V_OK
                    ? std::string("certificate not accepted: ") + X509_verify_cert_error_string(verify)
                    : sslError("TLS hand-shake failed");
            }
            ERR_clear_error();
            return nullptr;
        }
        if ((stop && *stop) || Clock::now() >= deadline) {
            if (error)
                *error = stop && *stop ? "cancelled" : "TLS hand-shake timed out";
            return nullptr;
        }
        waitFor(fd, e == SSL_ERROR_WANT_WRITE, msLeft(deadline));
    }
}

} // namespace tls
} // namespace remote
