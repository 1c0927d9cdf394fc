#include "support/LoopbackServers.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpServer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

quint16 closedLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed again when the probe goes out of scope
}

PythonHttpServer::~PythonHttpServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

bool PythonHttpServer::start(const QString& folder)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("python3"),
        {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("--bind"),
            QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), folder, QStringLiteral("0")});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("python3 did not start: ") + m_process.errorString();
        return false;
    }
    const QRegularExpression portPattern(QStringLiteral("port (\\d+)"));
    QByteArray banner;
    QRegularExpressionMatch match;
    QElapsedTimer clock;
    clock.start();
    while (!(match = portPattern.match(QString::fromUtf8(banner))).hasMatch() && clock.elapsed() < 10000) {
        if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
            break;
        banner += m_process.readAll();
    }
    if (!match.hasMatch()) {
        m_error = QStringLiteral("http.server did not listen: ") + QString::fromLocal8Bit(banner);
        return false;
    }
    m_base = QStringLiteral("http://127.0.0.1:%1/").arg(match.captured(1));
    return true;
}

const std::vector<HostileCase>& hostileCases()
{
    static const std::vector<HostileCase> cases{
        {"headers then close", "close", HostileFault::CutShort},
        {"trickle", "trickle", HostileFault::Deadline},
        {"endless chunked body", "endless", HostileFault::TooLarge},
        {"redirect loop", "loop", HostileFault::RedirectLoop},
    };
    return cases;
}

bool icmpSocketsPermitted()
{
    for (int type : {SOCK_DGRAM, SOCK_RAW}) {
        const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}
