// One non-blocking byte channel to the other side of a session: a TCP socket,
// with or without TLS (OpenSSL) on top. Owns both.
#pragma once

#include "remote/Net.h"

#include <atomic>
#include <memory>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace remote {

class Channel {
public:
    Channel(net::Socket fd, SSL* ssl);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    net::Socket fd() const { return m_fd; }
    bool secure() const { return m_ssl != nullptr; }
    // > 0 bytes, 0 would block, -1 closed or failed.
    long read(char* data, std::size_t size);
    long write(const char* data, std::size_t size);
    // TLS may need the socket writable to go on reading (and the reverse).
    bool wantsWrite() const { return m_wantWrite; }
    bool wantsRead() const { return m_wantRead; }
    // Decrypted bytes held inside TLS that poll() cannot see.
    bool hasPending() const;
    // Sends everything within the time limit (blocking use, hand-shake phase).
    bool writeAll(const std::string& data, int timeoutMs);

private:
    net::Socket m_fd;
    SSL* m_ssl;
    bool m_wantWrite = false;
    bool m_wantRead = false;
};

// Puts a socket under a TLS session through a BIO that never raises SIGPIPE.
bool attachSocket(SSL* ssl, net::Socket fd);

namespace tls {

// The context for session libraries: verifies the relay against the
// system's trust store plus the PEM file in BRINDLEWICK_CA_FILE. One per
// process, never freed.
SSL_CTX* clientContext(std::string* error);
// A server context from PEM files; nullptr with a reason.
SSL_CTX* serverContext(const std::string& certFile, const std::string& keyFile, std::string* error);
// Runs a client hand-shake on a connected socket, checking the certificate
// against `host` (an IP address is checked as one). Bounded by timeoutMs and
// `stop`. The channel, or nullptr with a reason (the socket is closed then).
std::unique_ptr<Channel> connect(SSL_CTX* ctx, net::Socket fd, const std::string& host, int timeoutMs,
    std::string* error, const std::atomic<bool>* stop = nullptr);

} // namespace tls

// Reads one frame-sized answer during a hand-shake phase (see Frame.h).
struct Frame;
class FrameReader;
// Waits up to timeoutMs for the next frame on the channel; false with a reason.
bool readFrame(Channel& ch, FrameReader& reader, Frame& frame, int timeoutMs, std::string* error,
    const std::atomic<bool>* stop = nullptr);

} // namespace remote
