// The cloud emulator's firmware routes, its adapter status sink and its firmware data file.
#include "CloudEmulator.h"

#include "firmware/FirmwareImage.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

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

} // namespace

class TestCloudFirmware : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(m_cloud.start(), qPrintable(m_cloud.lastError())); }
    void init() { QVERIFY(m_cloud.reset()); }

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

    CloudEmulator m_cloud;
    QNetworkAccessManager m_net;
};

QTEST_GUILESS_MAIN(TestCloudFirmware)
#include "tst_cloud_firmware.moc"
