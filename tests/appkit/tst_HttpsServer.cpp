// The account client library through its header: configuration answers, and
// clean failures while the service protocol does not exist (no invented data,
// no endless "download running").
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
        QCOMPARE(server.GetGloableUrl(), std::string(BuildConfig::kMainApiBase));
        // The library has its own copy of the platform layer; both read the same tables.
        QCOMPARE(HttpsServer::InternetOk(), platform::systemReportsInternet());
    }

    void serviceOperationsFailWithoutInventingData()
    {
        HttpsServer server;
        std::string phone = "13800000000", code = "123456", token = "stale";
        QVERIFY(server.GetSMSAuthCode(phone) != HttpsServer::kResultOk);
        QVERIFY(!server.UserLogin(phone, code, token));
        QVERIFY(token.empty());
        for (bool existing : {false, true})
            QCOMPARE(server.GetEmailAuthCode("a@b.example", existing), HttpsServer::kResultNoNetwork);
        QCOMPARE(server.EmailUserRegister("a@b.example", "secret1", "1234"), HttpsServer::kResultNoNetwork);
        QCOMPARE(server.EmailUserResetPassword("a@b.example", "s2", "1234"), HttpsServer::kResultNoNetwork);
        token = "stale";
        QVERIFY(!server.UserLoginEmail("a@b.example", "secret1", token));
        QVERIFY(token.empty());

        QVERIFY(!server.SetVCIStatus_SN("M5093K0000000001", 1));
        std::string kept = "kept text";
        QVERIFY(server.keyGetValue("a", "b", "c", kept) != 0);
        QCOMPARE(kept, std::string("kept text"));

        ST_APP_INFO_HTTP info;
        info.versionNo = "V9.9.9";
        info.fileSize = 42;
        QVERIFY(!server.GetHttpJsonInfo("MT7628", "V1.0.0", info));
        QVERIFY(info.versionNo.empty());
        QCOMPARE(info.fileSize, 0ULL);
    }

    void downloadsNeverReportRunning()
    {
        HttpsServer server;
        const auto finishedWithFailure = [&] {
            const unsigned status = server.GetDownloadFileStatus();
            return status != HttpsServer::kDownloadRunning && status != HttpsServer::kDownloadDone;
        };
        QVERIFY(finishedWithFailure());
        QVERIFY(!server.DownloadFile("http://127.0.0.1:1/file.bin", "file.bin", "/tmp/none.bin"));
        QVERIFY(finishedWithFailure());
        QVERIFY(!server.DownloadFile(std::string("http://127.0.0.1:1/f"), std::string("/tmp/n")));
        QVERIFY(finishedWithFailure());
    }
};

QTEST_GUILESS_MAIN(TestHttpsServer)
#include "tst_HttpsServer.moc"
