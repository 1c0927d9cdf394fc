// The two HTTP clients, CHvHttp (Qt-free, used by the components) and
// HttpUtils (Qt, used by the manager), against the same servers on loopback
// ports chosen at run time: the cloud emulator (plain and TLS), the hostile
// server, a black hole, Python's http.server. The faults both must survive
// run once over a table of clients.
#include "http/CHvHttp.h"
#include "kit/HttpUtils.h"

#include "CloudEmulator.h"
#include "GeneratedContent.h"
#include "HostileHttpServer.h"
#include "TestTls.h"
#include "UnresponsiveListener.h"
#include "support/LoopbackServers.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTranslator>
#include <QtTest>

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

// Everything one HttpUtils request reported, in the order it arrived.
struct Result {
    int json = 0, data = 0, errors = 0;
    QJsonValue value;
    QByteArray body;
    QString name;
    QString digest;
    int code = 0;
    QString message;
    qint64 lastReceived = -1, lastTotal = -2;
    int calls() const { return json + data + errors; }
};

// The ways a request is made: CHvHttp's one call and HttpUtils' three.
enum Client { Chv, Get, Download, ToFile };
const char* const kClientNames[] = {"CHvHttp", "HttpUtils get", "HttpUtils download", "HttpUtils downloadToFile"};

// What a request ended with, whichever client made it: the client's error
// code (0 when none) and the body.
struct Ended {
    int error = 0;
    QByteArray body;
};

} // namespace

class TestHttpNet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_english.load(QStringLiteral(BW_TEST_QM_DIR "/appkit_en.qm")));
        QCoreApplication::installTranslator(&m_english);
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8()); // both clients trust the test CA
        QVERIFY2(m_cloud.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_cloud.lastError()));
        QVERIFY2(m_otherHost.start(m_tls.otherHostCert(), m_tls.otherHostKey()), qPrintable(m_otherHost.lastError()));
    }

    void init()
    {
        QVERIFY(m_cloud.reset());
        m_http.setLimits(HttpUtils::Limits());
    }

    void cleanupTestCase() { m_cloud.stop(); }

    // The faults every client must end in its own error, with nothing left on disk.
    void hostileServers_data()
    {
        QTest::addColumn<int>("client");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("error");
        const std::map<HostileFault, int> chv{{HostileFault::CutShort, HTTP_ERROR_SEND_RECEIVE},
            {HostileFault::Deadline, HTTP_ERROR_TIMEOUT}, {HostileFault::TooLarge, HTTP_ERROR_ANSWER_TOO_LARGE},
            {HostileFault::RedirectLoop, HTTP_ERROR_TOO_MANY_REDIRECTS}};
        const std::map<HostileFault, int> qt{{HostileFault::CutShort, QNetworkReply::RemoteHostClosedError},
            {HostileFault::Deadline, QNetworkReply::OperationCanceledError},
            {HostileFault::TooLarge, QNetworkReply::UnknownContentError},
            {HostileFault::RedirectLoop, QNetworkReply::TooManyRedirectsError}};
        for (const int client : {Chv, Get, Download, ToFile})
            for (const HostileCase& c : hostileCases())
                QTest::addRow("%s: %s", kClientNames[client], c.name)
                    << client << c.path << (client == Chv ? chv : qt).at(c.fault);
    }

    void hostileServers()
    {
        QFETCH(int, client);
        QFETCH(QString, path);
        QFETCH(int, error);
        HostileHttpServer server;
        QVERIFY(server.start());
        server.setTrickleIntervalMs(kHostileTrickleMs);
        HttpUtils::Limits limits; // the JSON cap stays the default one, as does CHvHttp's
        limits.jsonDeadlineMs = limits.downloadDeadlineMs = kHostileDeadlineMs;
        limits.maxDownloadSize = limits.maxFileDownloadSize = 8 << 20;
        m_http.setLimits(limits);
        QTemporaryDir dir;
        const QString target = dir.filePath("driver.zip");
        QCOMPARE(request(Client(client), server.base() + path, {}, target).error, error);
        // Neither the file nor a partial one stays.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        if (path == QLatin1String("loop")) { // exactly as many redirects as allowed were followed
            const int allowed = client == Chv ? CHvHttp::kMaxRedirects : HttpUtils::kMaxRedirects;
            QCOMPARE(server.requestHeads(QStringLiteral("/loop")).size(), allowed + 1);
        }
    }

    void credentialsStayWithTheOrigin_data()
    {
        QTest::addColumn<int>("client");
        QTest::addColumn<bool>("otherHost");
        for (const int client : {Chv, Get}) {
            QTest::addRow("%s: redirect to another host", kClientNames[client]) << client << true;
            QTest::addRow("%s: redirect on the same origin", kClientNames[client]) << client << false;
        }
    }

    void credentialsStayWithTheOrigin()
    {
        QFETCH(int, client);
        QFETCH(bool, otherHost);
        HostileHttpServer first, second;
        QVERIFY(first.start() && second.start());
        first.setRedirectTarget((otherHost ? second.base("localhost") : first.base()) + "landing");
        const Ended r
            = request(Client(client), first.base() + "redirect", {{"Authorization", "Bearer t"}, {"Cookie", "s=1"}});
        QCOMPARE(r.error, 0);
        const QStringList heads = (otherHost ? second : first).requestHeads("/landing");
        QCOMPARE(heads.size(), 1);
        QCOMPARE(heads[0].contains("\nauthorization:"), !otherHost);
        QCOMPARE(heads[0].contains("\ncookie:"), !otherHost);
    }

    // Nobody listens: an error at once, and HttpUtils says what to do.
    void refusedConnection()
    {
        const QString url = QStringLiteral("http://127.0.0.1:%1/api/echo").arg(closedLoopbackPort());
        const Outcome out = send(url);
        QCOMPARE(out.error, int(HTTP_ERROR_SEND_RECEIVE));
        QVERIFY(out.elapsedMs < CHvHttp::kTimeoutMs);
        const Result r = got(url);
        QCOMPARE(r.code, int(QNetworkReply::ConnectionRefusedError));
        QCOMPARE(r.message, QStringLiteral("Request failed, try again later"));
    }

    void tlsAcceptsTrustedCertificate()
    {
        const Outcome out = send(m_cloud.httpsBase() + "api/echo");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        QCOMPARE(json(out)["path"].toString(), QStringLiteral("/api/echo"));
        QCOMPARE(fetched(m_cloud.httpsBase() + "files/drivers/Kestrix_JLR.zip").data, 1);
    }

    void tlsRejectsWhatDoesNotVerify_data()
    {
        QTest::addColumn<int>("client");
        QTest::addColumn<QString>("case_");
        QTest::newRow("test CA not trusted") << int(Chv) << "no-ca";
        QTest::newRow("certificate for another host") << int(Chv) << "other-host";
        QTest::newRow("signed by an unknown CA") << int(Chv) << "untrusted";
        QTest::newRow("plain HTTP server") << int(Chv) << "plain";
        QTest::newRow("HttpUtils: certificate for another host") << int(Get) << "other-host";
    }

    void tlsRejectsWhatDoesNotVerify()
    {
        QFETCH(int, client);
        QFETCH(QString, case_);
        CloudEmulator untrusted;
        CloudEmulator* server = &m_cloud;
        QString base = m_cloud.httpsBase();
        if (case_ == "other-host") {
            server = &m_otherHost;
            base = m_otherHost.httpsBase();
        } else if (case_ == "untrusted") {
            QVERIFY2(untrusted.start(m_tls.untrustedCert(), m_tls.untrustedKey()), qPrintable(untrusted.lastError()));
            server = &untrusted;
            base = untrusted.httpsBase();
        } else if (case_ == "plain") {
            base = QStringLiteral("https://localhost:%1/").arg(m_cloud.httpPort());
        } else {
            qunsetenv("BRINDLEWICK_CA_FILE");
        }
        const int before = server->requestCount("/api/echo");
        const Ended r = request(Client(client), base + "api/echo");
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QCOMPARE(r.error, client == Chv ? int(HTTP_ERROR_SEND_RECEIVE) : int(QNetworkReply::SslHandshakeFailedError));
        // The request itself never reached the server.
        QCOMPARE(server->requestCount("/api/echo"), before);
    }

    // A plain web server (no JSON errors, no Content-Disposition).
    void pythonHttpServer()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir("drivers"));
        QFile json(root.filePath("versions.json"));
        QVERIFY(json.open(QIODevice::WriteOnly));
        const QByteArray list = R"([{"name":"Kestrix_VW","versionNo":"V2.1.0"}])";
        json.write(list);
        json.close();
        QFile zip(root.filePath("drivers/Kestrix_VW.zip"));
        QVERIFY(zip.open(QIODevice::WriteOnly));
        const QByteArray zipBytes(70000, 'z');
        zip.write(zipBytes);
        zip.close();
        PythonHttpServer server;
        QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));

        Outcome out = send(server.base() + "versions.json");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 200u);
        QCOMPARE(QByteArray::fromStdString(out.body), list);
        out = send(server.base() + "missing.json");
        QCOMPARE(out.error, 0);
        QCOMPARE(out.status, 404u);
        QVERIFY(out.body.find("404") != std::string::npos);

        QCOMPARE(got(server.base() + "versions.json").value.toArray().first()["name"].toString(),
            QStringLiteral("Kestrix_VW"));
        const Result file = fetched(server.base() + "drivers/Kestrix_VW.zip");
        QCOMPARE(file.body, zipBytes);
        QCOMPARE(file.name, QStringLiteral("Kestrix_VW.zip"));
        QCOMPARE(fetched(server.base() + "drivers/none.zip").code, int(QNetworkReply::ContentNotFoundError));
    }

    // CHvHttp alone.
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

    void bodyCutShortThrows3()
    {
        QVERIFY(m_cloud.control({{"path", "/files/gen/"}, {"truncate", true}}));
        QCOMPARE(send(url("files/gen/200000.bin")).error, int(HTTP_ERROR_SEND_RECEIVE));
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"truncate", true}, {"contentType", "application/json"}}));
        QCOMPARE(send(url("api/echo")).error, int(HTTP_ERROR_SEND_RECEIVE));
    }

    // Once the head is in, only a body silent for the idle limit fails: a
    // gap longer than the phase time-out is a slow network, not a dead one.
    void slowBodyCompletesAndStalledOneTimesOut_data()
    {
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<int>("idleLimitMs");
        QTest::addColumn<int>("error");
        QTest::newRow("a byte every 3 s, default idle limit") << 3000 << CHvHttp::kBodyIdleMs << 0;
        QTest::newRow("silent past the idle limit") << 2000 << 400 << int(HTTP_ERROR_TIMEOUT);
    }

    void slowBodyCompletesAndStalledOneTimesOut()
    {
        QFETCH(int, intervalMs);
        QFETCH(int, idleLimitMs);
        QFETCH(int, error);
        HostileHttpServer server;
        QVERIFY(server.start());
        server.setTrickleIntervalMs(intervalMs);
        server.setTrickleBody("OK");
        QTemporaryDir dir;
        const std::string target = dir.filePath(QStringLiteral("firmware.bin")).toStdString();
        CHvHttp http;
        http.SetBodyIdleLimit(idleLimitMs);
        int thrown = 0;
        std::uint32_t status = 0;
        QElapsedTimer timer;
        timer.start();
        try {
            status = http.DownloadToFile((server.base() + "trickle").toStdString(), target, 1024);
        } catch (HttpInterfaceError e) {
            thrown = e;
        }
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(thrown, error);
        if (error == 0) {
            QCOMPARE(status, 200u);
            QFile file(QString::fromStdString(target));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("OK"));
            QVERIFY2(elapsed >= 2 * intervalMs - 200, qPrintable(QString::number(elapsed)));
        } else {
            // Found after the idle limit, long before the next byte or the deadline.
            QVERIFY2(elapsed >= idleLimitMs - 100 && elapsed < intervalMs, qPrintable(QString::number(elapsed)));
            QVERIFY(!QFile::exists(QString::fromStdString(target)));
            QVERIFY(!QFile::exists(QString::fromStdString(target + ".part")));
        }
    }

    void largeBodyIsReadToItsEnd()
    {
        const std::size_t size = 3 * 1024 * 1024 + 17;
        const Outcome out = send(url(QStringLiteral("files/gen/%1.bin").arg(size)));
        QCOMPARE(out.error, 0);
        QCOMPARE(out.body.size(), size);
        QVERIFY(cloud::isGenerated(out.body.data(), out.body.size()));
    }

    // HttpUtils alone.
    void catalogueForTheRequestedCodes()
    {
        const Result r
            = got(HttpUtils::latestSoftwareVersionsRequest({"Kestrix_J2534", "Kestrix_Ford"}, "EN", m_cloud.httpBase())
                      .url.toString());
        QStringList names;
        for (const QJsonValue& record : r.value.toArray())
            names << record["name"].toString();
        QCOMPARE(names, QStringList({"Kestrix_J2534", "Kestrix_FORD"})); // both repeated keys reached the server
    }

    void headersOfTheRequestAreSent()
    {
        const Result r = got(m_cloud.httpBase() + "api/echo", {{"X-Lang", "es"}, {"Authorization", "Bearer t"}});
        const QJsonObject headers = r.value["headers"].toObject();
        QCOMPARE(headers["X-Lang"].toString(), QStringLiteral("es"));
        QCOMPARE(headers["Authorization"].toString(), QStringLiteral("Bearer t"));
    }

    void errorStatusWithHtmlOrJson()
    {
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"status", 500}, {"contentType", "text/html"},
            {"body", "<html><body><h1>500 Internal Server Error</h1></body></html>"}}));
        const Result r = got(m_cloud.httpBase() + "api/echo");
        QCOMPARE(r.code, int(QNetworkReply::InternalServerError));
        // Qt's text names the URL, whose host is the main API server's.
        QCOMPARE(r.message, QStringLiteral("Can not connect to server, please check network connection"));

        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"status", 503}, {"contentType", "application/json"},
            {"body", "{\"error\":\"Catalogue server is under maintenance\"}"}}));
        const Result j = got(m_cloud.httpBase() + "api/echo");
        QCOMPARE(j.code, int(QNetworkReply::ServiceUnavailableError));
        QCOMPARE(j.message, QStringLiteral("Server error"));
    }

    void downloadWithProgressAndDisposition()
    {
        const int size = 1024 * 1024 + 3;
        const Result r
            = fetched(m_cloud.httpHostBase() + QStringLiteral("files/gen/%1.bin?name=Kestrix_BMW.zip").arg(size));
        QCOMPARE(r.data, 1);
        QCOMPARE(r.name, QStringLiteral("Kestrix_BMW.zip"));
        QCOMPARE(r.body.size(), size);
        QVERIFY(cloud::isGenerated(r.body.constData(), size_t(r.body.size())));
        QCOMPARE(r.lastReceived, qint64(size));
        QCOMPARE(r.lastTotal, qint64(size));

        // The same answer streamed to a file, replacing an older one.
        QTemporaryDir dir;
        QFile old(dir.filePath("saved.zip"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an older package") > 0);
        old.close();
        const Result f
            = saved(m_cloud.httpHostBase() + QStringLiteral("files/gen/%1.bin?name=Kestrix_BMW.zip").arg(size),
                dir.filePath("saved.zip"));
        QCOMPARE(f.name, QStringLiteral("Kestrix_BMW.zip"));
        QFile file(dir.filePath("saved.zip"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), r.body);
        QCOMPARE(f.lastReceived, qint64(size));
        // The digest computed on the way is the saved file's (the install step
        // trusts it).
        QCOMPARE(f.digest, QString::fromLatin1(QCryptographicHash::hash(r.body, QCryptographicHash::Sha256).toHex()));
        // Nothing but the file itself stays beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("saved.zip")});
    }

    void bodyCutShortIsOneError()
    {
        // Every answer is cut (Qt may resend once on a reused connection), over
        // many rounds, since how the cut reaches Qt depends on timing.
        QVERIFY(m_cloud.control({{"path", "/files/gen/"}, {"truncate", true}, {"count", -1}}));
        for (int round = 0; round < 20; ++round) {
            const Result r = fetched(m_cloud.httpHostBase() + "files/gen/500000.bin");
            QCOMPARE(r.errors, 1);
            QCOMPARE(r.code, int(QNetworkReply::RemoteHostClosedError));
        }
    }

    void redirectIsFollowed()
    {
        QVERIFY(m_cloud.control(
            {{"path", "/files/latest.zip"}, {"redirect", m_cloud.httpHostBase() + "files/drivers/Kestrix_GM.zip"}}));
        const Result r = fetched(m_cloud.httpHostBase() + "files/latest.zip");
        QCOMPARE(r.data, 1);
        QCOMPARE(r.name, QStringLiteral("Kestrix_GM.zip"));
        QVERIFY(r.body.startsWith("PK"));

        // Never from https down to http.
        QVERIFY(m_cloud.control(
            {{"path", "/files/latest.zip"}, {"redirect", m_cloud.httpHostBase() + "files/drivers/Kestrix_GM.zip"}}));
        const Result down = fetched(m_cloud.httpsBase() + "files/latest.zip");
        QCOMPARE(down.errors, 1);
        QCOMPARE(down.code, int(QNetworkReply::InsecureRedirectError));
    }

    void slowServerTimesOutWithoutBlocking()
    {
        QVERIFY(m_cloud.control({{"path", "/api/echo"}, {"delayMs", HttpUtils::kTransferTimeoutMs + 10000}}));
        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, [&ticks] { ++ticks; });
        heartbeat.start(100);
        QElapsedTimer timer;
        timer.start();
        Result r;
        get(m_cloud.httpBase() + "api/echo", r);
        QTRY_VERIFY_WITH_TIMEOUT(r.calls() >= 1, HttpUtils::kTransferTimeoutMs + 5000);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(r.errors, 1);
        QCOMPARE(r.code, int(QNetworkReply::OperationCanceledError));
        // Qt's coarse timers may fire up to 5 % early.
        QVERIFY2(elapsed >= HttpUtils::kTransferTimeoutMs * 94 / 100, qPrintable(QString::number(elapsed)));
        QVERIFY2(ticks > 100,
            qPrintable(QString::number(ticks))); // the event loop kept running
        QVERIFY(m_cloud.reset());
    }

private:
    QString url(const QString& path) const { return m_cloud.httpBase() + path; }
    // A GET (or a download to `target`) by `client`, settled.
    Ended request(Client client, const QString& url, const QMap<QString, QString>& headers = {},
        const QString& target = QString());
    QNetworkReply* get(const QString& url, Result& r, const QMap<QString, QString>& headers = {});
    QNetworkReply* download(const QString& url, Result& r);
    QNetworkReply* downloadToFile(const QString& url, const QString& path, Result& r);
    // Waits for the reply to finish and be deleted: after that no further
    // callback can come.
    void settle(Result& r);
    // A request made and settled.
    Result got(const QString& url, const QMap<QString, QString>& headers = {})
    {
        Result r;
        get(url, r, headers);
        settle(r);
        return r;
    }
    Result fetched(const QString& url)
    {
        Result r;
        download(url, r);
        settle(r);
        return r;
    }
    Result saved(const QString& url, const QString& path)
    {
        Result r;
        downloadToFile(url, path, r);
        settle(r);
        return r;
    }

    QTranslator m_english;
    TestTls m_tls;
    CloudEmulator m_cloud;
    CloudEmulator m_otherHost;
    HttpUtils m_http;
    QPointer<QNetworkReply> m_pending;
};

Ended TestHttpNet::request(
    Client client, const QString& url, const QMap<QString, QString>& headers, const QString& target)
{
    if (client == Chv) {
        QStringList lines;
        for (auto it = headers.begin(); it != headers.end(); ++it)
            lines << it.key() + QStringLiteral(": ") + it.value();
        const Outcome out
            = send(url, HTTP_GET, lines.join(QStringLiteral("\r\n")).toStdString(), "", kHostileDeadlineMs);
        return {out.error, QByteArray::fromStdString(out.body)};
    }
    const Result r = client == Get ? got(url, headers)
        : client == Download       ? fetched(url)
                                   : saved(url, target.isEmpty() ? QDir::temp().filePath("bw-net-test.bin") : target);
    return {r.code, r.body};
}

QNetworkReply* TestHttpNet::get(const QString& url, Result& r, const QMap<QString, QString>& headers)
{
    ApiRequest request;
    request.url = QUrl(url);
    request.headers = headers;
    return m_pending = m_http.get(
               request,
               [&r](const QJsonValue& v) {
                   ++r.json;
                   r.value = v;
               },
               [&r](int code, const QString& message) {
                   ++r.errors;
                   r.code = code;
                   r.message = message;
               });
}

QNetworkReply* TestHttpNet::download(const QString& url, Result& r)
{
    return m_pending = m_http.download(
               QUrl(url),
               [&r](const QByteArray& body, const QString& name) {
                   ++r.data;
                   r.body = body;
                   r.name = name;
               },
               [&r](int code, const QString& message) {
                   ++r.errors;
                   r.code = code;
                   r.message = message;
               },
               [&r](qint64 received, qint64 total) {
                   r.lastReceived = received;
                   r.lastTotal = total;
               });
}

QNetworkReply* TestHttpNet::downloadToFile(const QString& url, const QString& path, Result& r)
{
    return m_pending = m_http.downloadToFile(
               QUrl(url), path,
               [&r](const QString&, const QString& name, const QString& digest) {
                   ++r.data;
                   r.name = name;
                   r.digest = digest;
               },
               [&r](int code, const QString& message) {
                   ++r.errors;
                   r.code = code;
                   r.message = message;
               },
               [&r](qint64 received, qint64) { r.lastReceived = received; });
}

void TestHttpNet::settle(Result& r)
{
    QVERIFY(!m_pending.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(m_pending.isNull(), 20000);
    QCOMPARE(r.calls(), 1);
}

QTEST_GUILESS_MAIN(TestHttpNet)
#include "tst_update_chv_http_net.moc"
