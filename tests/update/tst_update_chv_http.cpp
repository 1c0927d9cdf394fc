// CHvHttp without a network: URL splitting, body fields, JSON helpers, text conversion.
#include "http/CHvHttp.h"

#include <json/json.h>

#include <QtTest>

#include <stdexcept>

namespace {

Json::Value parse(const char* text)
{
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    const std::string s(text);
    reader->parse(s.data(), s.data() + s.size(), &root, &errors);
    return root;
}

} // namespace

class TestCHvHttpUnit : public QObject {
    Q_OBJECT
private slots:
    void parseUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("https");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("port");
        QTest::newRow("https without port uses 443") << "https://api.example.com/v1/x" << true << "api.example.com"
                                                     << "/v1/x" << 443;
        QTest::newRow("https with port") << "https://api.example.com:8443/v1" << true << "api.example.com"
                                         << "/v1" << 8443;
        QTest::newRow("http with port") << "http://api.example.com:8080/a/b?c=d" << false << "api.example.com"
                                        << "/a/b?c=d" << 8080;
        QTest::newRow("colon after the path is no port") << "http://host.example/p?t=12:30" << false << "host.example"
                                                         << "/p?t=12:30" << 80;
        QTest::newRow("no path") << "http://127.0.0.1:18080" << false << "127.0.0.1"
                                 << "/" << 18080;
        QTest::newRow("scheme is case-sensitive") << "HTTPS://host.example/x" << false << "host.example"
                                                  << "/x" << 80;
        QTest::newRow("no scheme") << "host.example/x" << false << ""
                                   << "/" << 80;
    }

    void parseUrl()
    {
        QFETCH(QString, url);
        QFETCH(bool, https);
        QFETCH(QString, host);
        QFETCH(QString, path);
        QFETCH(int, port);
        std::string gotHost = "stale", gotPath = "stale";
        unsigned short gotPort = 1;
        QCOMPARE(CHvHttp::HvParseURLWeb(url.toStdString(), gotHost, gotPath, gotPort), https);
        QCOMPARE(QString::fromStdString(gotHost), host);
        QCOMPARE(QString::fromStdString(gotPath), path);
        QCOMPARE(int(gotPort), port);
    }

    void postFieldsAreOrderedAndFirstValueWins()
    {
        CHvHttp http;
        QCOMPARE(QString::fromStdString(http.GetPostData()), QStringLiteral("{}"));
        http.InsertPostData("b", "2");
        http.InsertPostData("a", "1");
        QCOMPARE(QString::fromStdString(http.GetPostData()), QStringLiteral("{\"a\":\"1\",\"b\":\"2\"}"));
        http.InsertPostData("a", "changed");
        http.InsertPostData("q", "say \"hi\"");
        // Written as given: no escaping.
        QCOMPARE(QString::fromStdString(http.GetPostData()),
            QStringLiteral("{\"a\":\"1\",\"b\":\"2\",\"q\":\"say \"hi\"\"}"));
    }

    void badUrlsThrowBeforeAnyTraffic_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("error");
        QTest::newRow("empty") << "" << int(HTTP_ERROR_URL_EMPTY);
        QTest::newRow("port not a number") << "http://127.0.0.1:abc/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("port followed by letters") << "http://127.0.0.1:80abc/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("port zero") << "http://127.0.0.1:0/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("port beyond 65535") << "http://127.0.0.1:65536/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("port beyond int") << "http://127.0.0.1:99999999999/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("empty port") << "http://127.0.0.1:/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("no scheme, no host") << "127.0.0.1/x" << int(HTTP_ERROR_CONNECT);
        QTest::newRow("empty host") << "http://:8080/x" << int(HTTP_ERROR_CONNECT);
    }

    void badUrlsThrowBeforeAnyTraffic()
    {
        QFETCH(QString, url);
        QFETCH(int, error);
        CHvHttp http;
        int thrown = -1;
        try {
            http.SendHttpOrHttpsRequest(url.toStdString(), HTTP_GET, "", "");
        } catch (HttpInterfaceError e) {
            thrown = e;
        }
        QCOMPARE(thrown, error);
        QCOMPARE(int(http.GetErrorCode()), error);
    }

    void unreadableCaFileFailsToOpen()
    {
        QTemporaryDir dir;
        const QString notPem = dir.filePath("ca.pem");
        QFile file(notPem);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a certificate");
        file.close();
        for (const QString& caFile : {dir.filePath("missing.pem"), notPem}) {
            int thrown = -1;
            CHvHttp::SetExtraCaFile(caFile.toStdString());
            CHvHttp http;
            try {
                // Fails while setting up trust, before any connection is tried.
                http.SendHttpOrHttpsRequest("https://127.0.0.1:9/x", HTTP_GET, "", "");
            } catch (HttpInterfaceError e) {
                thrown = e;
            }
            QCOMPARE(thrown, int(HTTP_ERROR_OPEN));
        }
        CHvHttp::SetExtraCaFile(std::string());
    }

    void jsonHelpersCheckTypes()
    {
        const Json::Value root
            = parse(R"({"status":401,"big":4294967296,"real":401.5,"text":"abc","num":"12","errorKey":""})");
        QCOMPARE(CHvHttp::GetJsonIntegerValue(root, "status", 0), 401);
        QCOMPARE(CHvHttp::GetJsonIntegerValue(root, "missing", 7), 7);
        QCOMPARE(CHvHttp::GetJsonIntegerValue(root, "num", 7), 7);
        QCOMPARE(CHvHttp::GetJsonIntegerValue(root, "real", 7), 7);
        QCOMPARE(CHvHttp::GetJsonIntegerValue(root, "big", 7), 7);
        QCOMPARE(CHvHttp::GetJsonIntegerValue(parse("[1,2]"), "status", 3), 3);
        QCOMPARE(QString::fromStdString(CHvHttp::GetJsonStringValue(root, "text", "d")), QStringLiteral("abc"));
        QCOMPARE(QString::fromStdString(CHvHttp::GetJsonStringValue(root, "status", "d")), QStringLiteral("d"));
        QCOMPARE(
            QString::fromStdString(CHvHttp::GetJsonStringValue(Json::Value("x"), "text", "d")), QStringLiteral("d"));

        QVERIFY(CHvHttp::ShowHttpRequestError(root));
        QVERIFY(CHvHttp::ShowHttpRequestError(parse("{}")));
        QVERIFY(!CHvHttp::ShowHttpRequestError(parse(R"({"errorKey":"TokenExpired"})")));
    }

    void charToWcharDecodesCodePages()
    {
        QCOMPARE(CHvHttp::CharToWchar("", 0), std::wstring());
        QCOMPARE(CHvHttp::CharToWchar("abc", 0), std::wstring(L"abc"));
        QCOMPARE(CHvHttp::CharToWchar("\xC3\xB1o\xE2\x82\xAC", 65001), std::wstring(L"\u00F1o\u20AC"));
        QCOMPARE(CHvHttp::CharToWchar("\xF1o\x80", 1252), std::wstring(L"\u00F1o\u20AC"));
        // Converters that wait for a combining mark still give the last character.
        QCOMPARE(CHvHttp::CharToWchar("Vi\xEAt", 1258), std::wstring(L"Vi\u00EAt"));
        QCOMPARE(CHvHttp::CharToWchar("\xF9\xEC", 1255), std::wstring(L"\u05E9\u05DC"));
        // A bad byte (0xFF) after a letter that waits for its mark: the letter
        // first, then the replacement, and a mark after it stays a mark of its
        // own instead of joining the letter before the bad byte.
        QCOMPARE(CHvHttp::CharToWchar("\xF9\xD1", 1255), std::wstring(L"\uFB2A")); // shin with its dot
        QCOMPARE(CHvHttp::CharToWchar("\xF9\xFF", 1255), std::wstring(L"\u05E9\uFFFD"));
        QCOMPARE(CHvHttp::CharToWchar("\xF9\xFF\xD1", 1255), std::wstring(L"\u05E9\uFFFD\u05C1"));
        QCOMPARE(CHvHttp::CharToWchar("\xE0\xFF\xC8\xE1", 1255), std::wstring(L"\u05D0\uFFFD\u05B8\u05D1"));
        // A broken sequence becomes one replacement character, the rest survives.
        QCOMPARE(CHvHttp::CharToWchar("a\xFF"
                                      "b",
                     0),
            std::wstring(L"a\uFFFDb"));
    }
};

QTEST_GUILESS_MAIN(TestCHvHttpUnit)
#include "tst_update_chv_http.moc"
