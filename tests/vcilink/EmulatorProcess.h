// Test helpers: the adapter emulator and the service as child processes.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpSocket>
#include <QThread>

#include <csignal>

class EmulatorProcess {
public:
    ~EmulatorProcess() { stop(); }

    bool start(const QStringList& args)
    {
        m_process.setProgram(QStringLiteral(BW_BIN_DIR "/vci-emulator"));
        m_process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                   QStringLiteral("--control-port"), QStringLiteral("0"), QStringLiteral("--no-stdin")}
            + args);
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (!out.contains("ready\n") && t.elapsed() < 10000) {
            if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
                return false;
            out += m_process.readAllStandardOutput();
        }
        const auto m = QRegularExpression(QStringLiteral("protocol port (\\d+), control port (\\d+)"))
                           .match(QString::fromLatin1(out));
        if (!m.hasMatch())
            return false;
        m_port = m.captured(1).toInt();
        m_controlPort = m.captured(2).toInt();
        return true;
    }

    // One control command, one answer line.
    QString command(const QString& line)
    {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(m_controlPort));
        if (!s.waitForConnected(2000))
            return QStringLiteral("ERR no control connection");
        s.write(line.toUtf8() + '\n');
        QElapsedTimer t;
        t.start();
        while (!s.canReadLine() && t.elapsed() < 3000)
            s.waitForReadyRead(100);
        return QString::fromUtf8(s.readLine()).trimmed();
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
    int m_controlPort = 0;
};

class ServiceProcess {
public:
    ~ServiceProcess() { stop(); }

    void start(const QStringList& args, const QString& shmPrefix)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), shmPrefix);
        env.remove(QStringLiteral("BRINDLEWICK_PROBE"));
        m_process.setProcessEnvironment(env);
        m_process.setProgram(QStringLiteral(BW_BIN_DIR "/BrindlewickService"));
        m_process.setArguments(args);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        m_process.waitForStarted(5000);
    }

    void sigkill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
            m_process.waitForFinished(3000);
        }
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};
