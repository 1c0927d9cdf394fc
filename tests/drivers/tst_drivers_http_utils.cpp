// HttpUtils' completion rules, messages and file names, driven with finished
// fake replies (no network).
#include "kit/HttpUtils.h"

#include "kit/SafeUnpacker.h"

#include "BuildConfig.h"
#include "support/FakeReply.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTranslator>
#include <QtTest>

namespace {

struct Calls {
    int data = 0;
    int json = 0;
    int errors = 0;
    QByteArray body;
    QString name;
    QJsonValue value;
    int code = 0;
    QString message;
};

HttpUtils::DataSuccessCallback onData(Calls& c)
{
    return [&c](const QByteArray& body, const QString& name) {
        ++c.data;
        c.body = body;
        c.name = name;
    };
}

HttpUtils::JsonSuccessCallback onJson(Calls& c)
{
    return [&c](const QJsonValue& value) {
        ++c.json;
        c.value = value;
    };
}

HttpUtils::ErrorCallback onError(Calls& c)
{
    return [&c](int code, const QString& message) {
        ++c.errors;
        c.code = code;
        c.message = message;
    };
}

const QUrl kUrl(QStringLiteral("http://127.0.0.1:18080/files/drivers/Kestrix_VW.zip"));

} // namespace

class TestHttpUtilsUnit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_english.load(QStringLiteral(BW_TEST_QM_DIR "/appkit_en.qm")));
        QCoreApplication::installTranslator(&m_english);
    }

    void latestVersionsRequestRepeatsTheCodeKey()
    {
        const QString base = QStringLiteral("http://127.0.0.1:5/");
        QCOMPARE(HttpUtils::latestSoftwareVersionsRequest({"Kestrix_VW", "Kestrix_BMW"}, "EN", base).url.toString(),
            base + "api/latest-software-versions?langCode=EN&swSnCodes=Kestrix_VW&swSnCodes=Kestrix_BMW");
        QCOMPARE(HttpUtils::latestSoftwareVersionsRequest({}, "ES", base).url.toString(),
            base + "api/latest-software-versions?langCode=ES");
    }

    void friendlyMessages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QString mainHost = QUrl(QString::fromUtf8(BuildConfig::kMainApiBase)).host();
        const QString fileHost = QUrl(QString::fromUtf8(BuildConfig::kFileServerBase)).host();
        const QString testHost = QUrl(QString::fromUtf8(BuildConfig::kTestServerBase)).host();
        QTest::newRow("empty") << ""
                               << "Unknown error";
        QTest::newRow("main API host") << "Connection to " + mainHost + " timed out"
                                       << "Can not connect to server, please check network connection";
        QTest::newRow("file server host") << "Host " + fileHost + " not found"
                                          << "Can not connect to server, please check network connection";
        QTest::newRow("test server host, beats 'server'")
            << "server " + testHost + " replied: Bad Gateway"
            << "Can not connect to server, please check network connection";
        QTest::newRow("host is case-sensitive") << "Host " + fileHost.toUpper() + " not found"
                                                << "Request failed, try again later";
        QTest::newRow("server in any case") << "Internal SERVER fault"
                                            << "Server error";
        QTest::newRow("anything else") << "Connection refused"
                                       << "Request failed, try again later";
    }

    void friendlyMessages()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(HttpUtils::friendlyErrorMessage(text), expected);
    }

    void successGivesDataOnceAndDeletesTheReply()
    {
        auto* reply = new FakeReply(kUrl, "PK\x03\x04 zip bytes");
        QPointer<QNetworkReply> watch(reply);
        Calls c;
        HttpUtils::handleReply(reply, onData(c), onError(c));
        QCOMPARE(c.data, 1);
        QCOMPARE(c.errors, 0);
        QCOMPARE(c.body, QByteArray("PK\x03\x04 zip bytes"));
        QCOMPARE(c.name, QStringLiteral("Kestrix_VW.zip"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(watch.isNull());
    }

    void errorMessageFromServerJson_data()
    {
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("transportText");
        QTest::addColumn<QString>("expected");
        const QString hostText = "Error transferring " + kUrl.toString() + " - server replied: Bad Request";
        QTest::newRow("server error member wins")
            << QByteArray("application/json; charset=utf-8") << QByteArray(R"({"error":"Quota exceeded"})") << hostText
            << "Request failed, try again later";
        QTest::newRow("server error member mentions server")
            << QByteArray("application/json") << QByteArray(R"({"error":"Database server is down"})") << "Bad Request"
            << "Server error";
        QTest::newRow("empty error member keeps transport text")
            << QByteArray("application/json") << QByteArray(R"({"error":""})") << hostText
            << "Can not connect to server, please check network connection";
        QTest::newRow("error member not a string")
            << QByteArray("application/json") << QByteArray(R"({"error":{"server":1}})") << "Bad Request"
            << "Request failed, try again later";
        QTest::newRow("JSON body but not JSON type")
            << QByteArray("text/html") << QByteArray(R"({"error":"Database server is down"})") << "Bad Request"
            << "Request failed, try again later";
        QTest::newRow("type check is case-sensitive")
            << QByteArray("Application/JSON") << QByteArray(R"({"error":"Database server is down"})") << "Bad Request"
            << "Request failed, try again later";
        QTest::newRow("broken JSON body")
            << QByteArray("application/json") << QByteArray("{\"error\":\"Database server") << "Bad Request"
            << "Request failed, try again later";
    }

    void errorMessageFromServerJson()
    {
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(QString, transportText);
        QFETCH(QString, expected);
        auto* reply = new FakeReply(kUrl, body, QNetworkReply::ProtocolInvalidOperationError, transportText);
        reply->withHeader("Content-Type", contentType);
        Calls c;
        HttpUtils::handleReply(reply, onData(c), onError(c));
        QCOMPARE(c.data, 0);
        QCOMPARE(c.errors, 1);
        QCOMPARE(c.code, int(QNetworkReply::ProtocolInvalidOperationError));
        QCOMPARE(c.message, expected);
    }

    void shortBodyIsAnError()
    {
        Calls c;
        auto* cut = new FakeReply(kUrl, QByteArray(10, 'x'));
        cut->withHeader("Content-Length", "100");
        HttpUtils::handleReply(cut, onData(c), onError(c));
        QCOMPARE(c.data, 0);
        QCOMPARE(c.errors, 1);
        QCOMPARE(c.code, int(QNetworkReply::RemoteHostClosedError));

        Calls whole;
        auto* full = new FakeReply(kUrl, QByteArray(100, 'x'));
        full->withHeader("Content-Length", "100");
        HttpUtils::handleReply(full, onData(whole), onError(whole));
        QCOMPARE(whole.data, 1);

        Calls coded; // a decoded body differs in length from the coded one
        auto* gzip = new FakeReply(kUrl, QByteArray(10, 'x'));
        gzip->withHeader("Content-Length", "100").withHeader("Content-Encoding", "gzip");
        HttpUtils::handleReply(gzip, onData(coded), onError(coded));
        QCOMPARE(coded.data, 1);
    }

    void emptyCallbacksAreAllowed()
    {
        QPointer<QNetworkReply> ok(new FakeReply(kUrl, "x"));
        QPointer<QNetworkReply> failed(new FakeReply(kUrl, "x", QNetworkReply::ConnectionRefusedError, "refused"));
        QPointer<QNetworkReply> badJson(new FakeReply(kUrl, "x"));
        HttpUtils::handleReply(ok, nullptr, nullptr);
        HttpUtils::handleReply(failed, nullptr, nullptr);
        HttpUtils::handleJsonResponse(badJson, nullptr, nullptr);
        HttpUtils::handleReply(nullptr, nullptr, nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(ok.isNull() && failed.isNull() && badJson.isNull());
    }

    void jsonAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("ok");
        QTest::newRow("object") << QByteArray(R"({"name":"Kestrix_VW"})") << true;
        QTest::newRow("bare array") << QByteArray(R"([{"name":"Kestrix_VW"},{"name":"Kestrix_BMW"}])") << true;
        QTest::newRow("bare number") << QByteArray("42") << false;
        QTest::newRow("bare string") << QByteArray("\"ok\"") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("broken") << QByteArray("{\"versionNo\": \"V1.0") << false;
    }

    void jsonAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, ok);
        Calls c;
        HttpUtils::handleJsonResponse(new FakeReply(kUrl, body), onJson(c), onError(c));
        QCOMPARE(c.json + c.errors, 1);
        if (ok) {
            QCOMPARE(c.json, 1);
            QCOMPARE(QJsonDocument::fromJson(body).isArray(), c.value.isArray());
            QVERIFY(c.value.isArray() || c.value.toObject()["name"] == "Kestrix_VW");
        } else {
            QCOMPARE(c.code, -1);
            QCOMPARE(c.message, QStringLiteral("Request failed, try again later"));
        }
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("disposition");
        QTest::addColumn<QString>("expected");
        const QString file = "http://localhost:18080/files/x/Kestrix_BMW.zip";
        QTest::newRow("quoted") << file << QByteArray("attachment; filename=\"BMW 2.0.4.zip\"") << "BMW 2.0.4.zip";
        QTest::newRow("extended UTF-8 with encoded slash")
            << file << QByteArray("attachment; filename*=UTF-8''a%2Fb.zip") << "a_b.zip";
        QTest::newRow("extended non-ASCII")
            << file << QByteArray("attachment; filename*=UTF-8''Espa%C3%B1a.zip") << QString::fromUtf8("España.zip");
        QTest::newRow("every forbidden character")
            << file << QByteArray("attachment; filename=a\\b/c:d*e?f<g>h|i.zip") << "a_b_c_d_e_f_g_h_i.zip";
        QTest::newRow("climbing out") << file << QByteArray("attachment; filename=\"../../etc/passwd\"")
                                      << "_.._etc_passwd";
        QTest::newRow("climbing out, Windows")
            << file << QByteArray("attachment; filename=..\\..\\boot.ini") << "_.._boot.ini";
        QTest::newRow("absolute Windows path") << file << QByteArray("attachment; filename=C:\\x.zip") << "C__x.zip";
        QTest::newRow("dot-dot only falls back to the URL")
            << file << QByteArray("attachment; filename=\"..\"") << "Kestrix_BMW.zip";
        QTest::newRow("encoded dot-dot falls back")
            << file << QByteArray("attachment; filename*=UTF-8''%2E%2E") << "Kestrix_BMW.zip";
        QTest::newRow("empty name falls back") << file << QByteArray("attachment; filename=\"\"") << "Kestrix_BMW.zip";
        QTest::newRow("control characters")
            << file << QByteArray("attachment; filename*=UTF-8''a%0D%0Ab%00.zip") << "a__b_.zip";
        QTest::newRow("device name") << file << QByteArray("attachment; filename=CON") << "_CON";
        QTest::newRow("device name with extension")
            << file << QByteArray("attachment; filename=\"lpt1.zip\"") << "_lpt1.zip";
        QTest::newRow("trailing dots and blanks")
            << file << QByteArray("attachment; filename=\"a.zip. . \"") << "a.zip";
        QTest::newRow("no disposition") << file << QByteArray() << "Kestrix_BMW.zip";
        QTest::newRow("disposition without name") << file << QByteArray("inline") << "Kestrix_BMW.zip";
        QTest::newRow("encoded slash in URL path")
            << "http://localhost/files/a%2F..%2Fb.zip" << QByteArray() << "b.zip";
        QTest::newRow("long name keeps its extension")
            << file << QByteArray("attachment; filename=" + QByteArray(300, 'n') + ".zip")
            << QString(116, 'n') + ".zip";
        QTest::newRow("long name without extension")
            << file << QByteArray("attachment; filename=" + QByteArray(200, 'a')) << QString(120, 'a');
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // one character, two UTF-16 units
        QTest::newRow("cut between characters, not inside one")
            << file
            << QByteArray("attachment; filename*=UTF-8''b" + QUrl::toPercentEncoding(emoji.repeated(70)) + ".zip")
            << "b" + emoji.repeated(57) + ".zip";
        const QString han = QString::fromUtf8("\xE4\xB8\xAD"); // three bytes in UTF-8
        QTest::newRow("cut to 255 bytes")
            << file << QByteArray("attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(han.repeated(130)) + ".zip")
            << han.repeated(83) + ".zip";
        QTest::newRow("direction controls dropped")
            << file << QByteArray("attachment; filename*=UTF-8''invoice%E2%80%AEgpj%E2%81%A6%E2%80%8F.exe")
            << "invoicegpj.exe";
    }

    void fileNames()
    {
        QFETCH(QString, url);
        QFETCH(QByteArray, disposition);
        QFETCH(QString, expected);
        FakeReply reply{QUrl(url), QByteArray()};
        if (!disposition.isEmpty())
            reply.withHeader("Content-Disposition", disposition);
        const QString name = HttpUtils::suggestedFileName(&reply);
        QCOMPARE(name, expected);
        QVERIFY(!name.contains('/') && !name.contains('\\') && name != ".." && !name.isEmpty());
        QVERIFY(name.toUtf8().size() <= 255);
    }

    // A downloaded file's name and an archive's entry follow one character
    // rule: what the download drops or replaces, the unpacker refuses.
    void downloadAndArchiveNamesFollowOneRule_data()
    {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("downloaded"); // the name "a<character>b.zip" becomes
        const auto row = [](const char* name, char32_t c, const char* downloaded) {
            // Not fromUcs4 alone: it takes a leading U+FEFF for a byte order mark and drops it.
            const QString text = c > 0xFFFF ? QString::fromUcs4(&c, 1) : QString(QChar(char16_t(c)));
            QTest::newRow(name) << text << QString::fromLatin1(downloaded);
        };
        row("right-to-left override", 0x202E, "ab.zip");
        row("left-to-right embedding", 0x202A, "ab.zip");
        row("first strong isolate", 0x2068, "ab.zip");
        row("pop directional isolate", 0x2069, "ab.zip");
        row("right-to-left mark", 0x200F, "ab.zip");
        row("Arabic letter mark", 0x061C, "ab.zip");
        row("zero-width space", 0x200B, "ab.zip");
        row("word joiner", 0x2060, "ab.zip");
        row("byte order mark", 0xFEFF, "ab.zip");
        row("soft hyphen", 0x00AD, "ab.zip");
        row("Hangul filler", 0x3164, "ab.zip");
        row("tag letter", 0xE0041, "ab.zip");
        row("line separator", 0x2028, "a_b.zip");
        row("C1 control", 0x0085, "a_b.zip");
        row("escape", 0x001B, "a_b.zip");
        row("delete", 0x007F, "a_b.zip");
    }
    void downloadAndArchiveNamesFollowOneRule()
    {
        QFETCH(QString, character);
        QFETCH(QString, downloaded);
        const QString name = QStringLiteral("a") + character + QStringLiteral("b.zip");
        QVERIFY(!character.isEmpty());
        FakeReply reply{QUrl(QStringLiteral("http://localhost:18080/files/Kestrix_BMW.zip")), QByteArray()};
        reply.withHeader("Content-Disposition", "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(name));
        QCOMPARE(HttpUtils::suggestedFileName(&reply), downloaded);
        QVERIFY(!SafeUnpacker::safeEntryName(name));
        QVERIFY(!SafeUnpacker::safeEntryName(QStringLiteral("drivers/") + name));
        // Visible text around it is fine for both.
        QVERIFY(SafeUnpacker::safeEntryName(QStringLiteral("drivers/ab.zip")));
    }

    void plainNamesPassBothRules()
    {
        // Spanish, Chinese, an emoji (a surrogate pair) and Hebrew.
        const QStringList plain{QStringLiteral("Espa\u00F1a.zip"), QStringLiteral("\u65E5\u4EA7.zip"),
            QString::fromUtf8("\xF0\x9F\x98\x80 drivers.zip"), QStringLiteral("\u05E9\u05DC\u05D5\u05DD.zip")};
        for (const QString& name : plain) {
            QVERIFY2(SafeUnpacker::safeEntryName(name), qPrintable(name));
            const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(name));
            FakeReply reply{QUrl(QStringLiteral("http://localhost/f/") + encoded), QByteArray()};
            QCOMPARE(HttpUtils::suggestedFileName(&reply), name);
        }
        // Windows' device names, also with a superscript digit, in both.
        for (const char* device : {"COM\xC2\xB9.zip", "conout$.txt", "LPT0"}) {
            const QString name = QString::fromUtf8(device);
            QVERIFY2(!SafeUnpacker::safeEntryName(name), qPrintable(name));
            FakeReply reply{QUrl(QStringLiteral("http://localhost/f/x.zip")), QByteArray()};
            reply.withHeader("Content-Disposition", "attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(name));
            QCOMPARE(HttpUtils::suggestedFileName(&reply), QStringLiteral("_") + name);
        }
    }

    void fallbackNameCarriesTimeAndType()
    {
        const QList<QPair<QByteArray, QString>> types{{"application/zip", "zip"}, {"image/png", "png"},
            {"image/jpeg", "jpg"}, {"application/pdf", "pdf"}, {"text/plain; charset=utf-8", "txt"},
            {"application/octet-stream", "bin"}, {"", "bin"}};
        for (const auto& [type, extension] : types) {
            FakeReply reply(QUrl("http://localhost:18080/files/drivers/"), QByteArray());
            if (!type.isEmpty())
                reply.withHeader("Content-Type", type);
            const QString before = QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss");
            const QString name = HttpUtils::suggestedFileName(&reply);
            const QString after = QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss");
            const QRegularExpressionMatch m = QRegularExpression("^download_(\\d{8}_\\d{6})\\.(\\w+)$").match(name);
            QVERIFY2(m.hasMatch(), qPrintable(name));
            QVERIFY(m.captured(1) >= before && m.captured(1) <= after);
            QCOMPARE(m.captured(2), extension);
        }
    }

private:
    QTranslator m_english;
};

QTEST_GUILESS_MAIN(TestHttpUtilsUnit)
#include "tst_drivers_http_utils.moc"
