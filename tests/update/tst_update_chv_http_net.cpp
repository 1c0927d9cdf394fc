// CHvHttp against the cloud emulator (plain and TLS) and against Python's
// http.server, on loopback ports chosen at run time.
#include "http/CHvHttp.h"

#include "CloudEmulator.h"
#include "GeneratedContent.h"
#include "HostileHttpServer.h"
#include "TestTls.h"
#include "UnresponsiveListener.h"
#include "support/LoopbackServers.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>

#include <functional>
#include <map>

namespace {

struct Outcome {
    int error = 0; // HttpInterfaceError thrown, 0 when none
    std::string body;
    quint32 status = 0;
    qint64 elapsedMs = 0;
};

Outcome send(const QString& url, HttpRequest method = HTTP_GET, const std::string& header = "",
    const std::string& body = "", int deadlineMs = CHvHttp::kDeadlineMs)
{
    CHvHttp http;
    http.SetDeadline(deadlineMs);
    Outcome out;
    QElapsedTimer timer;
    timer.start();
    try {
        out.body = http.SendHttpOrHttpsRequest(url.toStdString(), method, header, body);
    } catch (HttpInterfaceError e) {
        out.error = e;
    }
    out.elapsedMs = timer.elapsed();
    out.status = http.GetRespCode();
    return out;
}

QJsonObject json(const Outcome& out)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(out.body)).object();
}

} // namespace

class TestCHvHttpNet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        QVERIFY2(m_cloud.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_cloud.lastError()));
        CHvHttp::SetExtraCaFile(m_tls.caFile().toStdString());
    }

    void init() { QVERIFY(m_cloud.reset()); }

    void cleanupTestCase() { m_cloud.stop(); }

    void getSendsHeaderTextAndUserAgent()
    {
        const Outcome out = send(url("api/echo?x=1"), HTTP_GET, "X-Token: abc\r\nAccept-Language: es");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        const QJsonObject echo = json(out);
        QCOMPARE(echo["method"].toString(), QStringLiteral("GET"));
        QCOMPARE(echo["headers"].toObject()["X-Token"].toString(), QStringLiteral("abc"));
        QCOMPARE(echo["headers"].toObject()["Accept-Language"].toString(), QStringLiteral("es"));
        QCOMPARE(echo["headers"].toObject()["User-Agent"].toString(), QStringLiteral("WinHTTP Example/1.0"));
    }

    void postSendsBodyUpToNulAndHeaders()
    {
        CHvHttp fields;
        fields.InsertPostData("phone", "600123123");
        std::string body = fields.GetPostData();
        body += std::string("\0trailing", 9);
        const Outcome out = send(url("api/echo"), HTTP_POST, fields.GetPostHeader(), body);
        QCOMPARE(out.error, 0);
        const QJsonObject echo = json(out);
        QCOMPARE(echo["method"].toString(), QStringLiteral("POST"));
        QCOMPARE(echo["body"].toString(), QStringLiteral("{\"phone\":\"600123123\"}"));
        QCOMPARE(echo["headers"].toObject()["Content-Type"].toString(), QStringLiteral("application/json"));

        // Header text that is not "Name: value" is refused before sending.
        QCOMPARE(send(url("api/echo"), HTTP_POST, "no colon here", "{}").error, int(HTTP_ERROR_SEND_RECEIVE));
        QCOMPARE(m_cloud.requestCount("/api/echo"), 1);
    }

    void unauthorizedIsSentExactlyTwice_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<quint32>("status");
        QTest::newRow("401 once") << QJsonObject{{"path", "/api/echo"}, {"status", 401}, {"body", "{}"}} << 200u;
        QTest::newRow("200 with JSON status 401") << QJsonObject{{"path", "/api/echo"}, {"status", 200},
            {"body", "{\"status\":401}"}, {"contentType", "application/json"}}
                                                  << 200u;
        QTest::newRow("401 every time") << QJsonObject{{"path", "/api/echo"}, {"status", 401}, {"count", -1},
            {"body", "{\"status\":401}"}}
                                        << 401u;
    }

    void unauthorizedIsSentExactlyTwice()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(quint32, status);
        QVERIFY(m_cloud.control(fault));
        const Outcome out = send(url("api/echo"));
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, status);
        QCOMPARE(m_cloud.requestCount("/api/echo"), 2);
        QVERIFY2(out.elapsedMs >= CHvHttp::kRetryDelayMs, qPrintable(QString::number(out.elapsedMs)));
        if (status == 200) // the second answer replaces the first
            QCOMPARE(json(out)["method"].toString(), QStringLiteral("GET"));
    }

    void aRefusedPasswordOrCodeIsNeverSentAgain_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("sent");
        QTest::newRow("password") << QStringLiteral("{\"email\":\"a@b.example\",\"password\":\"x1\"}") << 1;
        QTest::newRow("new password and code")
            << QStringLiteral("{\"email\":\"a@b.example\",\"newPassword\":\"x1\",\"code\":\"123456\"}") << 1;
        QTest::newRow("code only") << QStringLiteral("{\"phone\":\"13800000000\",\"code\":\"1\"}") << 1;
        // No credentials (a nested "password" is not one of the request's): the one repeat stays.
        QTest::newRow("no credentials") << QStringLiteral("{\"sn\":\"X\",\"meta\":{\"password\":1}}") << 2;
        QTest::newRow("not JSON") << QStringLiteral("password=x1") << 2;
    }

    void aRefusedPasswordOrCodeIsNeverSentAgain()
    {
        QFETCH(QString, body);
        QFETCH(int, sent);
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"status", 401}, {"count", -1},
            {"body", "{\"status\":401,\"errorKey\":\"LoginFailed\"}"}}));
        const Outcome out = send(url("api/echo"), HTTP_POST, "Content-Type: application/json", body.toStdString());
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 401u);
        QCOMPARE(m_cloud.requestCount("/api/echo"), sent);

        // A caller can switch the repeat off for any request.
        QVERIFY(m_cloud.reset());
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"status", 401}, {"count", -1}, {"body", "{}"}}));
        CHvHttp http;
        http.SetRepeatOnUnauthorized(false);
        http.SendHttpOrHttpsRequest(url("api/echo").toStdString(), HTTP_GET, std::string(), std::string());
        QCOMPARE(http.GetRespCode(), 401u);
        QCOMPARE(m_cloud.requestCount("/api/echo"), 1);
    }

    void errorStatusesAreAnswersNotExceptions()
    {
        const std::string html = "<html><body>Internal error</body></html>";
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"status", 500}, {"body", QString::fromStdString(html)},
            {"contentType", "text/html"}}));
        Outcome out = send(url("api/echo"));
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 500u);
        QCOMPARE(out.body, html);
        QCOMPARE(m_cloud.requestCount("/api/echo"), 1);

        out = send(url("api/software-product-versions/latest-byswcode?langCode=EN&swSnCode=Unknown"));
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 404u);
        QCOMPARE(json(out)["errorKey"].toString(), QStringLiteral("SwProductNotFound"));
    }

    void redirectsAreFollowed()
    {
        QVERIFY(m_cloud.control({{"path", "/old"}, {"redirect", url("api/echo?moved=1")}}));
        Outcome out = send(url("old"));
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        QCOMPARE(json(out)["path"].toString(), QStringLiteral("/api/echo"));

        // Never from https down to http: the redirect itself is the answer.
        QVERIFY(m_cloud.control({{"path", "/old"}, {"redirect", url("api/echo")}}));
        out = send(m_cloud.httpsBase() + "old");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 302u);
        QCOMPARE(m_cloud.requestCount("/api/echo"), 1);
    }

    void timeoutsThrow15_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("connect") << "connect";
        QTest::newRow("server never reads the body") << "send";
        QTest::newRow("server never answers") << "silent";
        QTest::newRow("TLS server never answers") << "silent-tls";
    }

    void timeoutsThrow15()
    {
        QFETCH(QString, kind);
        UnresponsiveListener blackHole;
        QTcpServer deaf; // the kernel takes the connection; nobody ever reads from it
        QString target;
        std::string body;
        if (kind == "connect") {
            QVERIFY(blackHole.isValid());
            target = QStringLiteral("http://127.0.0.1:%1/api/echo").arg(blackHole.port());
        } else if (kind == "send") {
            QVERIFY(deaf.listen(QHostAddress::LocalHost, 0));
            target = QStringLiteral("http://127.0.0.1:%1/upload").arg(deaf.serverPort());
            body.assign(16 * 1024 * 1024, 'x'); // far more than the socket buffers hold
        } else {
            QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"delayMs", 20000}}));
            target = (kind == "silent" ? m_cloud.httpBase() : m_cloud.httpsBase()) + "api/echo";
        }
        const Outcome out = send(target, body.empty() ? HTTP_GET : HTTP_POST, "", body);
        QCOMPARE(out.error, int(HTTP_ERROR_TIMEOUT));
        // A send that stalls after part of the body went out waits once in the
        // blocked send and once more for the socket to become writable. Over TLS
        // the handshake and the answer are separate phases with a time-out each; a
        // loaded machine can use part of the first.
        const int waits = (kind == "send" || kind == "silent-tls") ? 2 : 1;
        QVERIFY2(out.elapsedMs >= CHvHttp::kTimeoutMs - 100 && out.elapsedMs < waits * CHvHttp::kTimeoutMs + 1500,
            qPrintable(QString::number(out.elapsedMs)));
        QVERIFY(m_cloud.reset()); // releases the waiting handler
    }

    void hostileServers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("error");
        const std::map<HostileFault, int> errors{{HostileFault::CutShort, HTTP_ERROR_SEND_RECEIVE},
            {HostileFault::Deadline, HTTP_ERROR_TIMEOUT}, {HostileFault::TooLarge, HTTP_ERROR_ANSWER_TOO_LARGE},
            {HostileFault::RedirectLoop, HTTP_ERROR_TOO_MANY_REDIRECTS}};
        for (const HostileCase& c : hostileCases())
            QTest::newRow(c.name) << c.path << errors.at(c.fault);
    }

    void hostileServers()
    {
        QFETCH(QString, path);
        QFETCH(int, error);
        HostileHttpServer server;
        QVERIFY(server.start());
        server.setTrickleIntervalMs(kHostileTrickleMs);
        // The default cap; a short deadline.
        QCOMPARE(send(server.base() + path, HTTP_GET, "", "", kHostileDeadlineMs).error, error);
    }

    void credentialsStayWithTheOrigin_data()
    {
        QTest::addColumn<bool>("otherHost");
        QTest::newRow("redirect to another host") << true;
        QTest::newRow("redirect on the same origin") << false;
    }

    void credentialsStayWithTheOrigin()
    {
        QFETCH(bool, otherHost);
        HostileHttpServer first, second;
        QVERIFY(first.start() && second.start());
        first.setRedirectTarget((otherHost ? second.base("localhost") : first.base()) + "landing");
        const Outcome out = send(first.base() + "redirect", HTTP_GET, "Authorization: Bearer t\r\nCookie: s=1");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        const QStringList heads = (otherHost ? second : first).requestHeads("/landing");
        QCOMPARE(heads.size(), 1);
        QCOMPARE(heads[0].contains("\nauthorization:"), !otherHost);
        QCOMPARE(heads[0].contains("\ncookie:"), !otherHost);
    }

    void refusedConnectionThrows3()
    {
        const Outcome out = send(QStringLiteral("http://127.0.0.1:%1/x").arg(closedLoopbackPort()));
        QCOMPARE(out.error, int(HTTP_ERROR_SEND_RECEIVE));
        QVERIFY(out.elapsedMs < CHvHttp::kTimeoutMs);
    }

    void bodyCutShortThrows3()
    {
        QVERIFY(m_cloud.control({{"path", "/files/gen/"}, {"truncate", true}}));
        QCOMPARE(send(url("files/gen/200000.bin")).error, int(HTTP_ERROR_SEND_RECEIVE));
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"truncate", true}, {"contentType", "application/json"}}));
        QCOMPARE(send(url("api/echo")).error, int(HTTP_ERROR_SEND_RECEIVE));
    }

    void largeBodyIsReadToItsEnd()
    {
        const std::size_t size = 3 * 1024 * 1024 + 17;
        const Outcome out = send(url(QStringLiteral("files/gen/%1.bin").arg(size)));
        QCOMPARE(out.error, 0);
        QCOMPARE(out.body.size(), size);
        QVERIFY(cloud::isGenerated(out.body.data(), out.body.size()));
    }

    void tlsAcceptsTrustedCertificate()
    {
        const Outcome out = send(m_cloud.httpsBase() + "api/echo");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        QCOMPARE(json(out)["path"].toString(), QStringLiteral("/api/echo"));
    }

    void tlsRejectsWhatDoesNotVerify_data()
    {
        QTest::addColumn<QString>("case_");
        QTest::newRow("test CA not trusted") << "no-ca";
        QTest::newRow("certificate for another host") << "other-host";
        QTest::newRow("signed by an unknown CA") << "untrusted";
        QTest::newRow("plain HTTP server") << "plain";
    }

    void tlsRejectsWhatDoesNotVerify()
    {
        QFETCH(QString, case_);
        CloudEmulator other;
        QString base = m_cloud.httpsBase();
        if (case_ == "other-host") {
            QVERIFY2(other.start(m_tls.otherHostCert(), m_tls.otherHostKey()), qPrintable(other.lastError()));
            base = other.httpsBase();
        } else if (case_ == "untrusted") {
            QVERIFY2(other.start(m_tls.untrustedCert(), m_tls.untrustedKey()), qPrintable(other.lastError()));
            base = other.httpsBase();
        } else if (case_ == "plain") {
            base = QStringLiteral("https://localhost:%1/").arg(m_cloud.httpPort());
        } else {
            CHvHttp::SetExtraCaFile(std::string());
        }
        const Outcome out = send(base + "api/echo");
        CHvHttp::SetExtraCaFile(m_tls.caFile().toStdString());
        QCOMPARE(out.error, int(HTTP_ERROR_SEND_RECEIVE));
        // The request itself never reached the server.
        CloudEmulator& server = case_ == "other-host" || case_ == "untrusted" ? other : m_cloud;
        QCOMPARE(server.requestCount("/api/echo"), 0);
    }

    void worksAgainstPythonHttpServer()
    {
        QTemporaryDir root;
        QFile file(root.filePath("catalogue.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray content = "[{\"name\":\"Kestrix_VW\",\"versionNo\":\"V2.1.0\"}]";
        file.write(content);
        file.close();
        PythonHttpServer server;
        QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));

        Outcome out = send(server.base() + "catalogue.json");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        QCOMPARE(QByteArray::fromStdString(out.body), content);
        out = send(server.base() + "missing.json");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 404u);
        QVERIFY(out.body.find("404") != std::string::npos);
    }

private:
    QString url(const QString& path) const { return m_cloud.httpBase() + path; }

    TestTls m_tls;
    CloudEmulator m_cloud;
};

QTEST_GUILESS_MAIN(TestCHvHttpNet)
#include "tst_update_chv_http_net.moc"
