// HttpUtils against the cloud emulator (plain and TLS) and Python's
// http.server on loopback ports chosen at run time.
#include "kit/HttpUtils.h"

#include "CloudEmulator.h"
#include "GeneratedContent.h"
#include "HostileHttpServer.h"
#include "TestTls.h"
#include "support/LoopbackServers.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTranslator>
#include <QtTest>

#include <map>

namespace {

// Everything one request reported, in the order it arrived.
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

} // namespace

class TestHttpUtilsNet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_english.load(QStringLiteral(BW_TEST_QM_DIR "/appkit_en.qm")));
        QCoreApplication::installTranslator(&m_english);
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QVERIFY2(m_cloud.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_cloud.lastError()));
        QVERIFY2(m_otherHost.start(m_tls.otherHostCert(), m_tls.otherHostKey()), qPrintable(m_otherHost.lastError()));
    }

    void init()
    {
        QVERIFY(m_cloud.reset());
        m_http.setLimits(HttpUtils::Limits());
    }

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

        // The same answer streamed to a file.
        QTemporaryDir dir;
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

    void hostileServers_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("code");
        const std::map<HostileFault, int> codes{{HostileFault::CutShort, QNetworkReply::RemoteHostClosedError},
            {HostileFault::Deadline, QNetworkReply::OperationCanceledError},
            {HostileFault::TooLarge, QNetworkReply::UnknownContentError},
            {HostileFault::RedirectLoop, QNetworkReply::TooManyRedirectsError}};
        for (const char* call : {"get", "download", "downloadToFile"})
            for (const HostileCase& c : hostileCases())
                QTest::addRow("%s: %s", call, c.name) << call << c.path << codes.at(c.fault);
    }

    void hostileServers()
    {
        QFETCH(QString, call);
        QFETCH(QString, path);
        QFETCH(int, code);
        HostileHttpServer server;
        QVERIFY(server.start());
        server.setTrickleIntervalMs(kHostileTrickleMs);
        HttpUtils::Limits limits; // the JSON cap stays the default one
        limits.jsonDeadlineMs = limits.downloadDeadlineMs = kHostileDeadlineMs;
        limits.maxDownloadSize = limits.maxFileDownloadSize = 8 << 20;
        m_http.setLimits(limits);
        QTemporaryDir dir;
        const QString target = dir.filePath("driver.zip");
        const Result r = call == "get" ? got(server.base() + path)
            : call == "download"       ? fetched(server.base() + path)
                                       : saved(server.base() + path, target);
        QCOMPARE(r.code, code);
        QVERIFY(!QFile::exists(target));
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
        const Result r = got(first.base() + "redirect", {{"Authorization", "Bearer t"}, {"Cookie", "s=1"}});
        QCOMPARE(r.json, 1);
        const QStringList heads = (otherHost ? second : first).requestHeads("/landing");
        QCOMPARE(heads.size(), 1);
        QCOMPARE(heads[0].contains("\nauthorization:"), !otherHost);
        QCOMPARE(heads[0].contains("\ncookie:"), !otherHost);
    }

    void refusedConnection()
    {
        const Result r = got(QStringLiteral("http://127.0.0.1:%1/api/echo").arg(closedLoopbackPort()));
        QCOMPARE(r.code, int(QNetworkReply::ConnectionRefusedError));
        QCOMPARE(r.message, QStringLiteral("Request failed, try again later"));
    }

    void tlsAcceptAndReject()
    {
        const Result ok = fetched(m_cloud.httpsBase() + "files/drivers/Kestrix_JLR.zip");
        QCOMPARE(ok.data, 1);

        const Result other = got(m_otherHost.httpsBase() + "api/echo");
        QCOMPARE(other.code, int(QNetworkReply::SslHandshakeFailedError));
        QCOMPARE(m_otherHost.requestCount("/api/echo"), 0);
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

    void pythonHttpServer()
    {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkdir("drivers"));
        QFile json(root.filePath("versions.json"));
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(R"([{"name":"Kestrix_VW","versionNo":"V2.1.0"}])");
        json.close();
        QFile zip(root.filePath("drivers/Kestrix_VW.zip"));
        QVERIFY(zip.open(QIODevice::WriteOnly));
        const QByteArray zipBytes(70000, 'z');
        zip.write(zipBytes);
        zip.close();
        PythonHttpServer server;
        QVERIFY2(server.start(root.path()), qPrintable(server.errorText()));

        const Result list = got(server.base() + "versions.json");
        QCOMPARE(list.value.toArray().first()["name"].toString(), QStringLiteral("Kestrix_VW"));
        const Result file = fetched(server.base() + "drivers/Kestrix_VW.zip");
        QCOMPARE(file.body, zipBytes);
        QCOMPARE(file.name, QStringLiteral("Kestrix_VW.zip"));
        const Result missing = fetched(server.base() + "drivers/none.zip");
        QCOMPARE(missing.code, int(QNetworkReply::ContentNotFoundError));
    }

private:
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

QNetworkReply* TestHttpUtilsNet::get(const QString& url, Result& r, const QMap<QString, QString>& headers)
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

QNetworkReply* TestHttpUtilsNet::download(const QString& url, Result& r)
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

QNetworkReply* TestHttpUtilsNet::downloadToFile(const QString& url, const QString& path, Result& r)
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

void TestHttpUtilsNet::settle(Result& r)
{
    QVERIFY(!m_pending.isNull());
    QTRY_VERIFY_WITH_TIMEOUT(m_pending.isNull(), 20000);
    QCOMPARE(r.calls(), 1);
}

QTEST_GUILESS_MAIN(TestHttpUtilsNet)
#include "tst_drivers_http_utils_net.moc"
