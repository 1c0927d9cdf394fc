#include "CloudEmulator.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

CloudEmulator::~CloudEmulator()
{
    stop();
}

bool CloudEmulator::start(const QString& certFile, const QString& keyFile, const QStringList& extraArgs)
{
    QStringList args{
        QStringLiteral("--http-port"), QStringLiteral("0"), QStringLiteral("--https-port"), QStringLiteral("0")};
    if (!certFile.isEmpty())
        args << QStringLiteral("--cert") << certFile << QStringLiteral("--key") << keyFile;
    args << extraArgs;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(BW_CLOUD_EMULATOR), args);
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start " BW_CLOUD_EMULATOR ": ") + m_process.errorString();
        return false;
    }
    QByteArray line;
    QElapsedTimer timer;
    timer.start();
    while (!line.contains('\n') && timer.elapsed() < 10000) {
        if (!m_process.waitForReadyRead(200) && m_process.state() != QProcess::Running)
            break;
        line += m_process.readAllStandardOutput();
    }
    const QRegularExpression re(QStringLiteral("cloud-emulator http=(\\d+) https=(\\d+)"));
    const QRegularExpressionMatch match = re.match(QString::fromUtf8(line));
    if (!match.hasMatch()) {
        m_error = QStringLiteral("the emulator did not report its ports: ") + QString::fromUtf8(line);
        stop();
        return false;
    }
    m_httpPort = static_cast<quint16>(match.captured(1).toUInt());
    m_httpsPort = static_cast<quint16>(match.captured(2).toUInt());
    return true;
}

void CloudEmulator::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QString CloudEmulator::httpBase() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_httpPort);
}

QString CloudEmulator::httpHostBase() const
{
    return QStringLiteral("http://localhost:%1/").arg(m_httpPort);
}

QString CloudEmulator::httpsBase() const
{
    return QStringLiteral("https://localhost:%1/").arg(m_httpsPort);
}

// A minimal blocking HTTP/1.0 exchange with the control API; the emulator
// closes the connection after the answer.
QByteArray CloudEmulator::call(const QByteArray& method, const QString& path, const QByteArray& body, int* status)
{
    *status = 0;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_httpPort);
    if (!socket.waitForConnected(5000))
        return {};
    QByteArray request = method + ' ' + path.toUtf8() + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!body.isEmpty())
        request += "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Connection: close\r\n\r\n" + body;
    socket.write(request);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    answer += socket.readAll();
    const int headerEnd = answer.indexOf("\r\n\r\n");
    if (!answer.startsWith("HTTP/1.") || headerEnd < 0)
        return {};
    *status = answer.mid(9, 3).toInt();
    return answer.mid(headerEnd + 4);
}

bool CloudEmulator::control(const QJsonObject& fault)
{
    int status = 0;
    const QByteArray answer
        = call("POST", QStringLiteral("/__control"), QJsonDocument(fault).toJson(QJsonDocument::Compact), &status);
    if (status != 200)
        m_error = QString::fromUtf8(answer);
    return status == 200;
}

bool CloudEmulator::controlAt(const QString& route, const QJsonObject& body)
{
    int status = 0;
    const QByteArray answer = call(
        "POST", QStringLiteral("/__control/") + route, QJsonDocument(body).toJson(QJsonDocument::Compact), &status);
    if (status != 200)
        m_error = QString::fromUtf8(answer);
    return status == 200;
}

QJsonObject CloudEmulator::getJson(const QString& path)
{
    int status = 0;
    const QByteArray answer = call("GET", path, {}, &status);
    return status == 200 ? QJsonDocument::fromJson(answer).object() : QJsonObject();
}

bool CloudEmulator::reset()
{
    int status = 0;
    call("POST", QStringLiteral("/__control/reset"), QByteArray("{}"), &status);
    return status == 200;
}

int CloudEmulator::requestCount(const QString& path)
{
    int status = 0;
    const QByteArray answer = call("GET",
        QStringLiteral("/__control/requests?path=") + QString::fromUtf8(QUrl::toPercentEncoding(path)), {}, &status);
    if (status != 200)
        return -1;
    return QJsonDocument::fromJson(answer).object().value(QStringLiteral("count")).toInt(-1);
}
