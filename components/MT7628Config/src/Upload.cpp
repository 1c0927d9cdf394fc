// MT7628Config's firmware upload: upload_begin, the image as raw bytes within
// the module's window, its acknowledgements, and its result line.
#include "MT7628Config.h"

#include "Mt7628Protocol.h"
#include "Transport.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

using Outcome = MT7628Config::UploadOutcome;
using Result = MT7628Config::UploadResult;

// Whatever the size, a transfer gets this long plus the time at the slowest
// rate a module on a poor Wi-Fi link still manages.
constexpr long long kTransferBaseMs = 10000;
constexpr long long kSlowestBytesPerSecond = 256 * 1024;

Outcome fail(Result result, std::string message)
{
    Outcome o;
    o.result = result;
    o.message = std::move(message);
    return o;
}

// The image being sent and how far the module has taken it.
class Session {
public:
    Session(mt7628::Connection& connection, const unsigned char* data, std::uint32_t size, std::uint32_t window,
        const MT7628Config::UploadProgress& progress)
        : m_connection(connection)
        , m_data(data)
        , m_size(size)
        , m_window(window)
        , m_progress(progress)
    {
    }

    // Sends the image and waits until the module has acknowledged all of it,
    // then for its result line; each step bounded as documented.
    Outcome run(int idleMs, int writeWaitMs)
    {
        const auto transferDeadline = mt7628::Clock::now()
            + std::chrono::milliseconds(kTransferBaseMs + 1000LL * m_size / kSlowestBytesPerSecond);
        auto idleDeadline = mt7628::Clock::now() + std::chrono::milliseconds(idleMs);
        while (m_acked < m_size) {
            if (m_result)
                return *m_result;
            const bool canSend = m_sent < m_size && m_sent - m_acked < m_window;
            const auto deadline = std::min(idleDeadline, transferDeadline);
            const int ready = m_connection.wait(canSend, deadline);
            if (ready == 0)
                return fail(Result::TimedOut, stalled(deadline == transferDeadline ? "took too long" : "stopped"));
            const std::uint32_t before = m_sent + m_acked;
            if ((ready & mt7628::Connection::kWritable) && !sendMore())
                return fail(Result::Lost, stalled("closed the connection"));
            if ((ready & mt7628::Connection::kReadable) && !m_connection.receive())
                return fail(Result::Lost, stalled("closed the connection"));
            takeLines();
            if (m_sent + m_acked != before)
                idleDeadline = mt7628::Clock::now() + std::chrono::milliseconds(idleMs);
        }
        // Every byte is in: the module checks the image and writes it.
        const auto writeDeadline = mt7628::Clock::now() + std::chrono::milliseconds(writeWaitMs);
        while (!m_result) {
            Json::Value frame;
            std::string why;
            switch (m_connection.readFrame(frame, writeDeadline, &why)) {
            case mt7628::Connection::Read::Frame:
                take(frame);
                break;
            case mt7628::Connection::Read::TimedOut:
                return fail(Result::TimedOut, "the adapter did not confirm the write in time");
            case mt7628::Connection::Read::Closed:
                return fail(Result::Lost, "the adapter closed the connection before confirming the write");
            case mt7628::Connection::Read::Bad:
                return fail(Result::Lost, "the adapter's answer makes no sense: " + why);
            }
        }
        return *m_result;
    }

private:
    std::string stalled(const char* what) const
    {
        return "the adapter " + std::string(what) + " after " + std::to_string(m_acked) + " of "
            + std::to_string(m_size) + " bytes";
    }

    bool sendMore()
    {
        const std::uint32_t room = std::min(m_size - m_sent, m_window - (m_sent - m_acked));
        const long n = m_connection.sendSome(reinterpret_cast<const char*>(m_data) + m_sent, room);
        if (n < 0)
            return false;
        m_sent += static_cast<std::uint32_t>(n);
        return true;
    }

    void takeLines()
    {
        Json::Value frame;
        mt7628::Connection::Read read = mt7628::Connection::Read::Bad;
        std::string why;
        while (!m_result && m_connection.bufferedFrame(frame, read, &why)) {
            if (read != mt7628::Connection::Read::Frame)
                m_result = fail(Result::Lost, "the adapter's answer makes no sense: " + why);
            else
                take(frame);
        }
    }

    void take(const Json::Value& frame)
    {
        const mt7628::UploadLine line = mt7628::readUploadLine(frame);
        switch (line.kind) {
        case mt7628::UploadLine::Progress:
            // Acknowledgements only move forward, and never past what was sent.
            if (line.received < m_acked || line.received > m_sent) {
                m_result = fail(Result::Lost, "the adapter acknowledged bytes it was not sent");
                return;
            }
            if (line.received > m_acked && m_progress)
                m_progress(line.received, m_size);
            m_acked = line.received;
            return;
        case mt7628::UploadLine::Written:
            if (m_acked < m_size) {
                m_result = fail(Result::Lost, "the adapter confirmed a write before it had the image");
                return;
            }
            m_result = Outcome{Result::Written, std::string(), line.text};
            return;
        case mt7628::UploadLine::Refused:
            m_result = fail(Result::Refused, line.text);
            return;
        case mt7628::UploadLine::Invalid:
            break;
        }
        m_result = fail(Result::Lost, "the adapter's answer makes no sense");
    }

    mt7628::Connection& m_connection;
    const unsigned char* m_data;
    std::uint32_t m_size;
    std::uint32_t m_window;
    const MT7628Config::UploadProgress& m_progress;
    std::uint32_t m_sent = 0;
    std::uint32_t m_acked = 0;
    std::optional<Outcome> m_result;
};

} // namespace

MT7628Config::UploadOutcome MT7628Config::UploadImage(
    const std::string& ip, Image image, const unsigned char* data, std::size_t size, const UploadProgress& progress)
{
    if (!data || size == 0 || size > std::numeric_limits<std::uint32_t>::max())
        return fail(Result::BadImage, "no image to send");
    const auto kind = static_cast<mt7628::ImageKind>(static_cast<int>(image));
    const std::string begin = mt7628::encodeFrame(mt7628::uploadBeginRequest(kind, static_cast<std::uint32_t>(size)));

    mt7628::Connection connection;
    std::string why;
    switch (connection.open(ip, port(), m_connectTimeoutMs, &why)) {
    case mt7628::Connection::Open::Ok:
        break;
    case mt7628::Connection::Open::BadAddress:
        return fail(Result::BadAddress, "not an IPv4 address: " + ip);
    case mt7628::Connection::Open::Failed:
        return fail(Result::Unreachable, "cannot reach the adapter at " + ip + ": " + why);
    }
    const auto deadline = mt7628::Clock::now() + std::chrono::milliseconds(m_replyTimeoutMs);
    Json::Value reply;
    if (!connection.sendAll(begin.data(), begin.size(), deadline, &why)
        || connection.readFrame(reply, deadline, &why) != mt7628::Connection::Read::Frame)
        return fail(Result::Unreachable, "the adapter at " + ip + " did not answer the upload request: " + why);
    bool ok = false;
    if (!mt7628::getBool(reply, "ok", ok))
        return fail(Result::Lost, "the adapter's answer makes no sense");
    if (!ok)
        return fail(Result::Refused, mt7628::readUploadLine(reply).text);
    std::uint32_t window = mt7628::kDefaultUploadWindow;
    mt7628::getUInt(reply, "window", window);
    window = std::clamp(window, mt7628::kMinUploadWindow, mt7628::kMaxUploadWindow);

    Session session(connection, data, static_cast<std::uint32_t>(size), window, progress);
    return session.run(m_uploadIdleMs, m_writeWaitMs);
}
