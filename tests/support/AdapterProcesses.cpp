#include "support/AdapterProcesses.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpSocket>

namespace {

void endProcess(QProcess& process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

QString testBinary(const char* name)
{
    return QStringLiteral(BW_TEST_BIN_DIR "/") + QLatin1String(name);
}

bool EmulatorProcess::start(const QStringList& args)
{
    m_process.setProgram(testBinary("vci-emulator"));
    m_process.setArguments(
        QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--control-port"),
            QStringLiteral("0"), QStringLiteral("--passthru-port"), QStringLiteral("0"), QStringLiteral("--no-stdin")}
        + args);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("vci-emulator did not start: ") + m_process.errorString();
        return false;
    }
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains("ready\n") && clock.elapsed() < 10000) {
        if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
            break;
        out += m_process.readAllStandardOutput();
    }
    const auto match
        = QRegularExpression(QStringLiteral("protocol port (\\d+), pass-thru port (\\d+), control port (\\d+)"))
              .match(QString::fromLatin1(out));
    if (!match.hasMatch()) {
        m_error = QStringLiteral("vci-emulator is not ready: ") + QString::fromLocal8Bit(out)
            + QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    m_port = static_cast<quint16>(match.captured(1).toUInt());
    m_passthruPort = static_cast<quint16>(match.captured(2).toUInt());
    m_controlPort = static_cast<quint16>(match.captured(3).toUInt());
    return true;
}

QString EmulatorProcess::command(const QString& line) const
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
    if (!socket.waitForConnected(2000))
        return QStringLiteral("ERR no control connection");
    socket.write(line.toUtf8() + '\n');
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine() && clock.elapsed() < 3000)
        socket.waitForReadyRead(100);
    return QString::fromUtf8(socket.readLine()).trimmed();
}

QJsonObject EmulatorProcess::adapterDump(int n) const
{
    const QJsonDocument dump = QJsonDocument::fromJson(command(QStringLiteral("dump")).toUtf8());
    return dump.object().value(QStringLiteral("adapters")).toArray().at(n - 1).toObject();
}

void EmulatorProcess::stop()
{
    endProcess(m_process, 3000);
}

QStringList ServiceProcess::arguments(const QString& probe, quint16 port, const QString& lockFile)
{
    return {QStringLiteral("--probe"), probe, QStringLiteral("--port"), QString::number(port), QStringLiteral("--lock"),
        lockFile};
}

bool ServiceProcess::start(const QStringList& args, const QByteArray& shmPrefix)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!shmPrefix.isEmpty())
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(shmPrefix));
    env.remove(QStringLiteral("BRINDLEWICK_PROBE"));
    m_process.setProcessEnvironment(env);
    m_process.setProgram(testBinary("BrindlewickService"));
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    return m_process.waitForStarted(5000);
}

void ServiceProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill(); // SIGKILL: no clean-up runs
    m_process.waitForFinished(3000);
}

void ServiceProcess::stop()
{
    endProcess(m_process, 5000);
}
