#include "HostileHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace {

bool sendAll(int fd, const std::string& data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

// The request head up to the blank line; empty when the client sends none within 5 s.
std::string readHead(int fd)
{
    std::string head;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            return std::string();
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return std::string();
        head.append(buffer, std::size_t(n));
    }
    return head;
}

std::string pathOf(const std::string& head)
{
    const std::size_t start = head.find(' ');
    if (start == std::string::npos)
        return std::string();
    const std::size_t end = head.find_first_of(" ?", start + 1);
    return head.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

// Header names in lower case, so tests need not guess a client's spelling.
std::string lowerNames(const std::string& head)
{
    std::string out;
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find("\r\n", start);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(start, end - start);
        const std::size_t colon = line.find(':');
        if (start > 0 && colon != std::string::npos)
            std::transform(line.begin(), line.begin() + long(colon), line.begin(),
                [](unsigned char c) { return char(std::tolower(c)); });
        out += line + "\n";
        start = end + 2;
    }
    return out;
}

std::string redirectTo(const std::string& location)
{
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

} // namespace

HostileHttpServer::~HostileHttpServer()
{
    m_stopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_connections)
            ::shutdown(fd, SHUT_RDWR); // ends blocked sends and reads
        workers.swap(m_workers);
    }
    for (std::thread& worker : workers)
        worker.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

bool HostileHttpServer::start()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(m_listener, 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    m_port = ntohs(addr.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
    return true;
}

QString HostileHttpServer::base(const QString& host) const
{
    return QStringLiteral("http://%1:%2/").arg(host).arg(m_port);
}

void HostileHttpServer::setRedirectTarget(const QString& url)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_redirectTarget = url.toStdString();
}

void HostileHttpServer::setTrickleBody(const std::string& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_trickleBody = body;
}

QStringList HostileHttpServer::requestHeads(const QString& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList heads;
    for (const auto& [where, head] : m_heads)
        if (where == path.toStdString())
            heads << QString::fromStdString(head);
    return heads;
}

void HostileHttpServer::acceptLoop()
{
    while (!m_stopping) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.push_back(fd);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

bool HostileHttpServer::pause(int ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 20)));
    return !m_stopping;
}

void HostileHttpServer::serve(int fd)
{
    const std::string head = readHead(fd);
    const std::string path = pathOf(head);
    std::string target;
    std::string trickleBody;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!head.empty())
            m_heads.emplace_back(path, lowerNames(head));
        target = m_redirectTarget;
        trickleBody = m_trickleBody;
    }
    if (head.empty()) {
    } else if (path == "/close") {
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100000\r\n\r\n{\"ok\":");
    } else if (path == "/trickle") {
        // Each byte comes well within any per-read time-out; the whole takes long.
        const std::string body = trickleBody.empty() ? std::string(64, ' ') + "{\"ok\":true}" : trickleBody;
        bool open = sendAll(fd,
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size())
                + "\r\nConnection: close\r\n\r\n");
        for (std::size_t i = 0; open && i < body.size(); ++i)
            open = pause(m_trickleMs) && sendAll(fd, body.substr(i, 1));
    } else if (path == "/endless") {
        const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
        bool open
            = sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
        while (open && !m_stopping)
            open = sendAll(fd, chunk);
    } else if (path == "/loop") {
        sendAll(fd, redirectTo("/loop"));
    } else if (path == "/redirect") {
        sendAll(fd, redirectTo(target));
    } else {
        sendAll(fd,
            "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: close\r\n\r\n"
            "{\"ok\":true}");
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.erase(std::find(m_connections.begin(), m_connections.end(), fd));
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}
