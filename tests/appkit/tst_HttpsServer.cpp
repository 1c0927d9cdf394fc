// The account client library as the program sees it through its header:
// configuration answers, and clean failures while the service protocol does
// not exist (no invented data, no endless "download running").
#include "HttpsServer.h"

#include "BuildConfig.h"
#include "platform/Network.h"

#include <QtTest>

class TestHttpsServer : public QObject {
    Q_OBJECT

private slots:
    void configurationAnswers()
    {
        HttpsServer server;
        const std::string base = server.GetGloableUrl();
        QCOMPARE(base, std::string(BuildConfig::kMainApiBase));
        QVERIFY(!base.empty() && base.back() == '/');
        // The library has its own copy of the platform layer; both read the
        // same routing tables.
        QCOMPARE(HttpsServer::InternetOk(), platform::systemReportsInternet());
    }

    void accountOperationsFailWithTheirFailureValues()
    {
        HttpsServer server;
        std::string phone = "13800000000";
        std::string code = "123456";
        std::string token = "stale token";
        QVERIFY(server.GetSMSAuthCode(phone) != HttpsServer::kResultOk);
        QVERIFY(!server.UserLogin(phone, code, token));
        QVERIFY(token.empty());
        QCOMPARE(phone, std::string("13800000000"));

        for (bool existing : {false, true}) {
            const int result = server.GetEmailAuthCode("a@b.example", existing);
            QVERIFY(result != HttpsServer::kResultOk);
            QVERIFY(result != HttpsServer::kResultAlreadyRegistered);
            QVERIFY(result != HttpsServer::kResultNotRegistered);
        }
        QCOMPARE(server.EmailUserRegister("a@b.example", "secret1", "1234"),
                 HttpsServer::kResultNoNetwork);
        QCOMPARE(server.EmailUserResetPassword("a@b.example", "secret2", "1234"),
                 HttpsServer::kResultNoNetwork);
        token = "stale token";
        QVERIFY(!server.UserLoginEmail("a@b.example", "secret1", token));
        QVERIFY(token.empty());
    }

    void deviceOperationsFailWithoutTouchingOutputs()
    {
        HttpsServer server;
        QVERIFY(!server.SetVCIStatus_SN("M5093K0000000001", 1));
        server.AddVci("key", "first", "second");
        std::string kept = "kept text";
        QVERIFY(server.keyGetValue("a", "b", "c", kept) != 0);
        QCOMPARE(kept, std::string("kept text"));

        ST_APP_INFO_HTTP info;
        info.versionNo = "V9.9.9";
        info.downloadUrl = "http://127.0.0.1/old";
        info.fileSize = 42;
        QVERIFY(!server.GetHttpJsonInfo("MT7628", "V1.0.0", info));
        QVERIFY(info.versionNo.empty());
        QVERIFY(info.downloadUrl.empty());
        QCOMPARE(info.fileSize, 0ULL);
    }

    void downloadsNeverReportRunning()
    {
        HttpsServer server;
        QVERIFY(server.GetDownloadFileStatus() != HttpsServer::kDownloadRunning);
        QVERIFY(server.GetDownloadFileStatus() != HttpsServer::kDownloadDone);
        QVERIFY(!server.DownloadFile("http://127.0.0.1:1/file.bin", "file.bin", "/tmp/none.bin"));
        QVERIFY(server.GetDownloadFileStatus() != HttpsServer::kDownloadRunning);
        QVERIFY(!server.DownloadFile(std::string("http://127.0.0.1:1/f"), std::string("/tmp/n")));
        QVERIFY(server.GetDownloadFileStatus() != HttpsServer::kDownloadRunning);
        QVERIFY(server.GetDownloadFileStatus() != HttpsServer::kDownloadDone);
    }
};

QTEST_GUILESS_MAIN(TestHttpsServer)
#include "tst_HttpsServer.moc"
