// HttpsServer's firmware calls against the cloud emulator over TLS: the version
// query, the background download and the adapter report, and how each fails.
#include "CloudEmulator.h"
#include "TestTls.h"

#include "firmware/FirmwareImage.h"

#include <HttpsServer.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <thread>
#include <vector>

namespace {

const char* const kApp = "KestrixMT7628_NEWApp";

bool finished(HttpsServer& server)
{
    return server.GetDownloadFileStatus() != HttpsServer::kDownloadRunning;
}

} // namespace

class TestHttpsServer : public QObject {
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

    // The announced image arrives whole under its name, and the report reaches the service.
    void queryDownloadAndReport()
    {
        HttpsServer server;
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadFailed); // nothing started
        ST_APP_INFO_HTTP info;
        QVERIFY(server.GetHttpJsonInfo(kApp, "V2.3.0", info));
        QCOMPARE(info.typeName, std::string(kApp));
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
        QVERIFY(firmware::checkImage(data, bytes.size(), kApp) == firmware::Check::Ok);

        QVERIFY(server.SetVCIStatus_SN("M5EA0001XJ7B0001", 1));
        const QJsonArray reports = controlGet("__control/vci-status")["reports"].toArray();
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
            return QJsonObject{{"path", "/api/firmware/latest"}, {"status", status}, {"contentType", "application/json"},
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
        QVERIFY(server.GetHttpJsonInfo(kApp, "V1", info));
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
        QVERIFY(server.GetHttpJsonInfo(kApp, "V1", first));
        QTemporaryDir dir;
        QVERIFY(server.DownloadFile(first.downloadUrl, dir.filePath("a.bin").toStdString()));
        const std::vector<std::string> types{kApp, "KestrixMT7628_NEWFirmware", "M5093K_E508FirmWare"};
        std::vector<int> answered(6, 0);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < answered.size(); ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 5; ++i) {
                    ST_APP_INFO_HTTP info;
                    const std::string& type = types[(t + i) % types.size()];
                    answered[t] += server.GetHttpJsonInfo(type, "V1", info) && info.typeName == type;
                }
            });
        for (std::thread& t : threads)
            t.join();
        QCOMPARE(answered, std::vector<int>(6, 5));
        QTRY_VERIFY_WITH_TIMEOUT(finished(server), 30000);
        QCOMPARE(server.GetDownloadFileStatus(), HttpsServer::kDownloadDone);
    }

private:
    QJsonObject controlGet(const QString& path)
    {
        QNetworkAccessManager net;
        std::unique_ptr<QNetworkReply> reply(net.get(QNetworkRequest(m_cloud.httpBase() + path)));
        QSignalSpy done(reply.get(), &QNetworkReply::finished);
        done.wait(10000);
        return QJsonDocument::fromJson(reply->readAll()).object();
    }

    TestTls m_tls;
    CloudEmulator m_cloud;
};

QTEST_GUILESS_MAIN(TestHttpsServer)
#include "tst_cloud_https_server.moc"
