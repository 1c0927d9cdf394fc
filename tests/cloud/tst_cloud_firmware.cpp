// The cloud emulator's firmware routes, its adapter status sink and its
// firmware data file, driven over loopback; and HttpsServer's firmware calls
// against it over TLS: the version query, the background download and the
// adapter report, and how each fails.
#include "CloudEmulator.h"
#include "TestTls.h"

#include "firmware/FirmwareImage.h"

#include <HttpsServer.h>

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <thread>
#include <vector>

namespace {

struct Reply {
    int status = 0;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

const QString kApp = QStringLiteral("KestrixMT7628_NEWApp");

QString checkName(firmware::Check check)
{
    return QString::fromLatin1(firmware::checkText(check));
}

bool finished(HttpsServer& server)
{
    return server.GetDownloadFileStatus() != HttpsServer::kDownloadRunning;
}

} // namespace

class TestCloudFirmware : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        QVERIFY2(m_cloud.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_cloud.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
    }
    void init()
    {
        QVERIFY(m_cloud.reset());
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpsBase().toUtf8());
    }

    // The announced file downloads as announced; the data file's releases are good images of their
    // type, and each way of spoiling one fails the check a client makes.
    void announcedFileAndItsCheck_data()
    {
        QTest::addColumn<QString>("typeName");
        QTest::addColumn<QString>("serve"); // empty: as loaded
        QTest::addColumn<QString>("check");
        const QString ok = checkName(firmware::Check::Ok);
        QTest::newRow("system") << "KestrixMT7628_NEWFirmware" << QString() << ok;
        QTest::newRow("application") << kApp << QString() << ok;
        QTest::newRow("CAN") << "M5093K_E508FirmWare" << QString() << ok;
        QTest::newRow("wrong marker") << kApp << "wrong-marker" << checkName(firmware::Check::WrongMarker);
        QTest::newRow("truncated") << kApp << "truncated" << checkName(firmware::Check::WrongLength);
        QTest::newRow("corrupted") << kApp << "corrupted" << checkName(firmware::Check::WrongChecksum);
    }
    void announcedFileAndItsCheck()
    {
        QFETCH(QString, typeName);
        QFETCH(QString, serve);
        QFETCH(QString, check);
        const QJsonObject release{{"typeName", typeName}, {"versionNo", "V9.1"}, {"size", 4096}, {"serve", serve}};
        QVERIFY(serve.isEmpty() || post("__control/firmware", release).status == 200);
        const Reply answer = fetch(m_cloud.httpBase() + "api/firmware/latest?currentVersion=V1.0&typeName=" + typeName);
        QCOMPARE(answer.status, 200);
        QVERIFY2(answer.json()["status"] == 200 && answer.json()["errorKey"] == "", answer.body.constData());
        const QJsonObject fw = answer.json()["firmware"].toObject();
        const QString url = fw["url"].toString();
        QVERIFY2(url.startsWith(m_cloud.httpHostBase() + "files/"), qPrintable(url));
        QVERIFY2(url.endsWith('/' + fw["fileName"].toString()), qPrintable(url));
        const Reply file = fetch(url);
        QCOMPARE(file.status, 200);
        QCOMPARE(file.body.size(), fw["size"].toInt());
        QCOMPARE(QCryptographicHash::hash(file.body, QCryptographicHash::Sha256).toHex() == fw["sha256"].toString(),
            serve != "corrupted"); // a corrupted file is announced with the good one's digest
        const auto* data = reinterpret_cast<const unsigned char*>(file.body.constData());
        QCOMPARE(checkName(firmware::checkImage(data, file.body.size(), typeName.toStdString())), check);
        const auto header = firmware::readHeader(data, file.body.size());
        QVERIFY(header && QString::fromStdString(header->version) == fw["versionNo"].toString()
            && (serve.isEmpty() || header->length == 4096));
    }

    void badRequestsAreRefused_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body"); // POST when not null
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("errorKey"); // control answers have none
        const QString key404 = QStringLiteral("FirmwareNotFound"), key400 = QStringLiteral("BadRequest");
        QTest::newRow("unknown type") << "api/firmware/latest?typeName=NoSuchFirmware" << QByteArray() << 404 << key404;
        QTest::newRow("no type") << "api/firmware/latest?currentVersion=V1.0.0" << QByteArray() << 400 << key400;
        QTest::newRow("old file") << "files/firmware/KestrixMT7628_NEWApp/V0.1/x.bin" << QByteArray() << 404 << key404;
        QTest::newRow("report not JSON") << "api/vci/status" << QByteArray("sn=M5EA0001XJ7B0001") << 400 << key400;
        QTest::newRow("report without sn") << "api/vci/status" << QByteArray("{\"status\":1}") << 400 << key400;
        QTest::newRow("new type, no marker")
            << "__control/firmware" << QByteArray("{\"typeName\":\"NewKind\"}") << 400 << QString();
    }
    void badRequestsAreRefused()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, errorKey);
        const Reply reply = fetch(m_cloud.httpBase() + path, body);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.json()["errorKey"].toString(), errorKey);
        QVERIFY2(!reply.json()["error"].toString().isEmpty(), reply.body.constData());
    }

    // The sink keeps what was reported until a reset, which also brings back the data file's releases.
    void reportsAndReleasesLastUntilReset()
    {
        const QString latest = m_cloud.httpBase() + "api/firmware/latest?typeName=" + kApp;
        const QJsonObject loaded = fetch(latest).json();
        QCOMPARE(post("__control/firmware", {{"typeName", kApp}, {"versionNo", "V9.9.9"}}).status, 200);
        const QJsonArray sent{QJsonObject{{"sn", "M5EA0001XJ7B0001"}, {"status", 1}},
            QJsonObject{{"sn", "M5EA0002XJ7B0002"}, {"status", 0}}};
        for (const QJsonValue& report : sent)
            QCOMPARE(post("api/vci/status", report.toObject()).status, 200);
        QCOMPARE(fetch(m_cloud.httpBase() + "__control/vci-status").json()["reports"].toArray(), sent);

        QVERIFY(m_cloud.reset());
        QCOMPARE(fetch(m_cloud.httpBase() + "__control/vci-status").json()["reports"].toArray(), QJsonArray());
        QCOMPARE(fetch(latest).json(), loaded);
    }

    void brokenDataFileEndsTheEmulator_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        const QByteArray entry = "{\"versionNo\":\"V1\",\"updatedDate\":\"\",\"summary\":\"\",\"typeName\":";
        QTest::newRow("not JSON") << QByteArray("[" + entry) << "Syntax error";
        QTest::newRow("unknown marker") << QByteArray("[" + entry + "\"NewKind\",\"size\":10}]") << "marker";
    }
    void brokenDataFileEndsTheEmulator()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        for (const char* name : {"driver-catalogue.json", "app-version.json"})
            QVERIFY(QFile::copy(QStringLiteral(BW_CLOUD_DATA_DIR "/") + name, dir.filePath(name)));
        QFile data(dir.filePath("firmware.json"));
        QVERIFY(data.open(QIODevice::WriteOnly) && data.write(text) == text.size() && data.flush());
        QProcess emulator;
        emulator.start(BW_CLOUD_EMULATOR, {"--http-port", "0", "--https-port", "0", "--data", dir.path()});
        QVERIFY(emulator.waitForFinished(10000));
        QCOMPARE(emulator.exitCode(), 1);
        const QString message = QString::fromUtf8(emulator.readAllStandardError());
        QVERIFY2(message.contains("firmware.json") && message.contains(reason), qPrintable(message));
    }

    // The announced image arrives whole under its name, and the report reaches the service.
    void queryDownloadAndReport()
    {
        HttpsServer server;
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadFailed); // nothing started
        ST_APP_INFO_HTTP info;
        QVERIFY(server.GetHttpJsonInfo(kApp.toStdString(), "V2.3.0", info));
        QCOMPARE(info.typeName, kApp.toStdString());
        QVERIFY(info.downloadUrl.rfind("https://", 0) == 0);

        QTemporaryDir dir;
        QVERIFY(server.DownloadFile(info.downloadUrl.c_str(), info.fileName.c_str(), dir.path().toUtf8().constData()));
        QTRY_VERIFY_WITH_TIMEOUT(finished(server), 30000);
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadDone);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QString::fromStdString(info.fileName)});
        QFile file(dir.filePath(QString::fromStdString(info.fileName)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(static_cast<unsigned long long>(bytes.size()), info.fileSize);
        QCOMPARE(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toStdString(), info.sha256);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
        QVERIFY(firmware::checkImage(data, bytes.size(), kApp.toStdString()) == firmware::Check::Ok);

        QVERIFY(server.SetVCIStatus_SN("M5EA0001XJ7B0001", 1));
        const QJsonArray reports = fetch(m_cloud.httpBase() + "__control/vci-status").json()["reports"].toArray();
        QCOMPARE(reports, (QJsonArray{QJsonObject{{"sn", "M5EA0001XJ7B0001"}, {"status", 1}}}));
        // A serial the service could not take is not sent.
        QVERIFY(!server.SetVCIStatus_SN(std::string(65, 'S'), 1));
        QVERIFY(!server.SetVCIStatus_SN("", 1));
    }

    // Any answer but a well-formed yes leaves an empty record.
    void queryFailures_data()
    {
        QTest::addColumn<QString>("typeName");
        QTest::addColumn<QJsonObject>("fault"); // on the query's path; empty: none
        QTest::addColumn<bool>("serviceDown");
        const QJsonObject none;
        const auto answer = [](int status, const QJsonObject& body) {
            return QJsonObject{{"path", "/api/firmware/latest"}, {"status", status},
                {"contentType", "application/json"},
                {"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}};
        };
        const QJsonObject good{{"versionNo", "V3"}, {"url", "https://localhost/x.bin"}, {"fileName", "x.bin"},
            {"size", 10}, {"sha256", QString(64, 'a')}};
        const auto withFirmware = [&](const char* key, const QJsonValue& value) {
            QJsonObject fw = good;
            fw[key] = value;
            return answer(200, {{"status", 200}, {"errorKey", ""}, {"firmware", fw}});
        };
        QTest::newRow("unknown type") << "NoSuchFirmware" << none << false;
        QTest::newRow("no type") << "" << none << false;
        QTest::newRow("service down") << kApp << none << true;
        QTest::newRow("server error") << kApp << answer(500, {{"status", 500}, {"errorKey", "Internal"}}) << false;
        QTest::newRow("error key") << kApp << answer(200, {{"status", 200}, {"errorKey", "Busy"}}) << false;
        QTest::newRow("cut JSON") << kApp << QJsonObject{{"path", "/api/firmware/latest"}, {"invalidJson", true}}
                                  << false;
        QTest::newRow("no firmware") << kApp << answer(200, {{"status", 200}, {"errorKey", ""}}) << false;
        QTest::newRow("folder in file name") << kApp << withFirmware("fileName", "../x.bin") << false;
        QTest::newRow("short digest") << kApp << withFirmware("sha256", "abc") << false;
        QTest::newRow("negative size") << kApp << withFirmware("size", -1) << false;
        QTest::newRow("no web address") << kApp << withFirmware("url", "file:///etc/passwd") << false;
    }
    void queryFailures()
    {
        QFETCH(QString, typeName);
        QFETCH(QJsonObject, fault);
        QFETCH(bool, serviceDown);
        if (!fault.isEmpty())
            QVERIFY(m_cloud.control(fault));
        if (serviceDown)
            qputenv("BRINDLEWICK_MAIN_API_BASE", "https://127.0.0.1:1/");
        HttpsServer server;
        ST_APP_INFO_HTTP info;
        info.versionNo = "left over";
        QVERIFY(!server.GetHttpJsonInfo(typeName.toStdString(), "V1", info));
        QVERIFY(info.versionNo.empty() && info.downloadUrl.empty() && info.fileSize == 0);
        if (serviceDown)
            QVERIFY(!server.SetVCIStatus_SN("M5EA0001XJ7B0001", 1));
    }

    // A failed or abandoned download reports failure and leaves no file, not even a partial one.
    void downloadFailures()
    {
        HttpsServer server;
        ST_APP_INFO_HTTP info;
        QVERIFY(server.GetHttpJsonInfo(kApp.toStdString(), "V1", info));
        QTemporaryDir dir;
        const std::string target = dir.filePath("app.bin").toStdString();
        const auto noFiles = [&] { return QDir(dir.path()).entryList(QDir::Files).isEmpty(); };

        QVERIFY(server.DownloadFile(info.downloadUrl + ".missing", target));
        QTRY_VERIFY_WITH_TIMEOUT(finished(server), 30000);
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadFailed);
        QVERIFY(noFiles());

        QVERIFY(m_cloud.control({{"path", "/files/firmware/"}, {"truncate", true}, {"count", 1}}));
        QVERIFY(server.DownloadFile(info.downloadUrl, target));
        QTRY_VERIFY_WITH_TIMEOUT(finished(server), 30000);
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadFailed);
        QVERIFY(noFiles());

        // One at a time; a folder or nothing as the target is refused.
        QVERIFY(m_cloud.control({{"path", "/files/firmware/"}, {"delayMs", 1500}, {"count", 1}}));
        QVERIFY(server.DownloadFile(info.downloadUrl, target));
        QVERIFY(!server.DownloadFile(info.downloadUrl, target));
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadRunning);
        QVERIFY(!server.DownloadFile(info.downloadUrl, dir.path().toStdString()));
        QVERIFY(!server.DownloadFile(info.downloadUrl.c_str(), "../evil.bin", dir.path().toUtf8().constData()));
        QVERIFY(!server.DownloadFile(nullptr, "x", target.c_str()));
        QTRY_VERIFY_WITH_TIMEOUT(finished(server), 30000);
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadDone);
        QVERIFY(QFile::exists(QString::fromStdString(target)));
        QVERIFY(QFile::remove(QString::fromStdString(target)));

        // Destroyed mid-transfer: the download is abandoned, nothing is left behind.
        QVERIFY(m_cloud.control({{"path", "/files/firmware/"}, {"delayMs", 800}, {"count", 1}}));
        {
            HttpsServer leaving;
            QVERIFY(leaving.DownloadFile(info.downloadUrl, target));
        }
        QVERIFY(noFiles());
    }

    // One instance answers several threads at once, a download running beside them.
    void sharedBetweenThreads()
    {
        HttpsServer server;
        ST_APP_INFO_HTTP first;
        QVERIFY(server.GetHttpJsonInfo(kApp.toStdString(), "V1", first));
        QTemporaryDir dir;
        QVERIFY(server.DownloadFile(first.downloadUrl, dir.filePath("a.bin").toStdString()));
        const std::vector<std::string> types{kApp.toStdString(), "KestrixMT7628_NEWFirmware", "M5093K_E508FirmWare"};
        // Few enough requests that a loaded machine under a sanitizer answers
        // each within the client's 2.5 s limit; enough to overlap.
        std::vector<int> answered(3, 0);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < answered.size(); ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 2; ++i) {
                    ST_APP_INFO_HTTP info;
                    const std::string& type = types[(t + i) % types.size()];
                    answered[t] += server.GetHttpJsonInfo(type, "V1", info) && info.typeName == type;
                }
            });
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(answered, std::vector<int>(3, 2));
        QTRY_VERIFY_WITH_TIMEOUT(finished(server), 30000);
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadDone);
    }

private:
    // GET, or POST of a JSON body when `body` is not null.
    Reply fetch(const QString& url, const QByteArray& body = QByteArray())
    {
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(body.isNull() ? m_net.get(request) : m_net.post(request, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        finished.wait(10000);
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }
    Reply post(const QString& path, const QJsonObject& body)
    {
        return fetch(m_cloud.httpBase() + path, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }

    TestTls m_tls;
    CloudEmulator m_cloud;
    QNetworkAccessManager m_net;
};

QTEST_GUILESS_MAIN(TestCloudFirmware)
#include "tst_cloud_firmware.moc"
