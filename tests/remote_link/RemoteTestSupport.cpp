#include "RemoteTestSupport.h"

#include "remote/Net.h"
#include "support/AdapterProcesses.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

bool RelayProcess::start(const QString& cert, const QString& key, const QStringList& extra, int descriptorLimit)
{
    const QStringList args
        = QStringList{QStringLiteral("--cert"), cert, QStringLiteral("--key"), key, QStringLiteral("--bind"),
              QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QStringLiteral("0")}
        + extra;
    if (descriptorLimit > 0) {
        // The shell sets the limit and becomes the relay (same process id).
        m_process.setProgram(QStringLiteral("/bin/sh"));
        m_process.setArguments(
            QStringList{QStringLiteral("-c"), QStringLiteral("ulimit -n %1 && exec \"$0\" \"$@\"").arg(descriptorLimit),
                testBinary("remote-relay")}
            + args);
    } else {
        m_process.setProgram(testBinary("remote-relay"));
        m_process.setArguments(args);
    }
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("remote-relay did not start");
        return false;
    }
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (!out.contains('\n') && t.elapsed() < 5000 && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(100);
        out += m_process.readAllStandardOutput();
    }
    const auto match = QRegularExpression(QStringLiteral(":(\\d+)\\n")).match(QString::fromLatin1(out));
    if (!match.hasMatch()) {
        m_error = QStringLiteral("no port line from remote-relay: ") + QString::fromLatin1(out)
            + QString::fromLatin1(m_process.readAllStandardError());
        return false;
    }
    m_port = static_cast<quint16>(match.captured(1).toUInt());
    return true;
}

void RelayProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QByteArray RelayProcess::log()
{
    // Lines written just now may not have been read yet.
    m_process.setReadChannel(QProcess::StandardError);
    while (m_process.waitForReadyRead(300))
        m_log += m_process.readAllStandardError();
    m_log += m_process.readAllStandardError();
    m_process.setReadChannel(QProcess::StandardOutput);
    return m_log;
}

bool PeerProcess::start(const QStringList& args, const QByteArray& shmPrefix, const QProcessEnvironment& extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(shmPrefix));
    for (const QString& k : extra.keys())
        env.insert(k, extra.value(k));
    m_process.setProcessEnvironment(env);
    m_process.setProgram(testBinary("remote_link_peer"));
    m_process.setArguments(args);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readLines(); });
    m_process.start();
    return m_process.waitForStarted(5000);
}

void PeerProcess::readLines()
{
    while (m_process.canReadLine())
        m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
}

bool PeerProcess::waitFor(const QString& text, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        readLines();
        for (const QString& l : m_lines)
            if (l.contains(text))
                return true;
        if (t.elapsed() > timeoutMs)
            return false;
        m_process.waitForReadyRead(50);
    }
}

void PeerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(8000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void PeerProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(3000);
}

bool RawRelayClient::connect(quint16 port, std::string* error)
{
    std::string why;
    SSL_CTX* ctx = remote::tls::clientContext(&why);
    const remote::net::Socket s = ctx ? remote::net::connectTcp("127.0.0.1", port, 3000, &why) : remote::net::kNoSocket;
    if (s != remote::net::kNoSocket)
        m_channel = remote::tls::connect(ctx, s, "127.0.0.1", 3000, &why);
    if (!m_channel && error)
        *error = why;
    return m_channel != nullptr;
}

bool RawRelayClient::send(const std::string& bytes)
{
    return m_channel && m_channel->writeAll(bytes, 3000);
}

bool RawRelayClient::next(remote::Frame& frame, int timeoutMs)
{
    return m_channel && remote::readFrame(*m_channel, m_reader, frame, timeoutMs, nullptr);
}

bool RawRelayClient::closedWithin(int timeoutMs)
{
    if (!m_channel)
        return true;
    QElapsedTimer t;
    t.start();
    char buf[4096];
    while (t.elapsed() < timeoutMs) {
        const long n = m_channel->read(buf, sizeof buf);
        if (n < 0)
            return true;
        if (n == 0) {
            remote::net::PollFd p{};
            p.fd = m_channel->fd();
            p.events = POLLIN;
            remote::net::pollSockets(&p, 1, 50);
        }
    }
    return false;
}

int RawRelayClient::ackStatus(int timeoutMs)
{
    remote::Frame f;
    remote::AckMsg ack;
    while (next(f, timeoutMs)) {
        if (remote::parseAck(f, ack, nullptr))
            return ack.status;
    }
    return -100;
}
