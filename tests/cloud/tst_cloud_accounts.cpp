// HttpsServer's account calls against the cloud emulator's account service
// over TLS: e-mail registration, sign-in and reset with codes read from the
// service's outbox, phone sign-in, the limits on codes and sign-in attempts,
// codes and tokens that expire, the technician directory behind the token,
// the adapter's cloud registration, and a hostile or absent service.
#include "CloudEmulator.h"
#include "TestTls.h"

#include "http/CHvHttp.h"

#include <HttpsServer.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

class TestCloudAccounts : public QObject {
    Q_OBJECT
    TestTls m_tls;
    CloudEmulator m_cloud;

    // The newest code the service "sent" to `address`.
    QString lastCode(const QString& address)
    {
        const QJsonArray messages = m_cloud.getJson(QStringLiteral("/__control/outbox?to=") + address)
                                        .value(QStringLiteral("messages"))
                                        .toArray();
        return messages.isEmpty() ? QString() : messages.last().toObject().value(QStringLiteral("code")).toString();
    }
    // A GET of the directory with the token: the HTTP status and the JSON array.
    int directory(const std::string& path, const std::string& token, QJsonArray* list = nullptr)
    {
        CHvHttp http;
        std::string body;
        try {
            body = http.SendHttpOrHttpsRequest(m_cloud.httpsBase().toStdString() + path, HTTP_GET,
                "Content-Type: application/json\nAuthorization: Bearer " + token, "");
        } catch (...) {
            return 0;
        }
        if (list)
            *list = QJsonDocument::fromJson(QByteArray::fromStdString(body)).array();
        return static_cast<int>(http.GetRespCode());
    }
    bool limits(const QJsonObject& values) { return m_cloud.controlAt(QStringLiteral("account-limits"), values); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        QVERIFY2(m_cloud.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_cloud.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        CHvHttp::SetExtraCaFile(m_tls.caFile().toStdString());
    }
    void init()
    {
        QVERIFY(m_cloud.reset());
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpsBase().toUtf8());
    }

    void emailAccountFromRegistrationToReset()
    {
        HttpsServer server;
        const std::string email = "tecnico@taller.example";
        QCOMPARE(server.GetEmailAuthCode(email, true), HttpsServer::kResultNotRegistered);
        QCOMPARE(server.GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        const QString code = lastCode(QString::fromStdString(email));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{6}$")).match(code).hasMatch());

        const std::string wrong = code == QLatin1String("000000") ? "111111" : "000000";
        QVERIFY(server.EmailUserRegister(email, "Llave-2026", wrong) != HttpsServer::kResultOk);
        QVERIFY(server.EmailUserRegister(email, "short", code.toStdString()) != HttpsServer::kResultOk);
        QCOMPARE(server.EmailUserRegister(email, "Llave-2026", code.toStdString()), HttpsServer::kResultOk);
        // Registered once; the code is used up.
        QCOMPARE(server.GetEmailAuthCode(email, false), HttpsServer::kResultAlreadyRegistered);
        QVERIFY(server.EmailUserRegister(email, "Llave-2026", code.toStdString()) != HttpsServer::kResultOk);

        std::string token = "stale";
        QVERIFY(!server.UserLoginEmail(email, "llave-2026", token));
        QVERIFY(token.empty());
        QVERIFY(server.UserLoginEmail("TECNICO@taller.example", "Llave-2026", token));
        QVERIFY(!token.empty());

        QJsonArray configs;
        QCOMPARE(directory("api/getAllServiceConfigs", token, &configs), 200);
        QVERIFY(configs.size() >= 7);
        QJsonArray technicians;
        const std::string seventh = configs.at(6).toObject().value(QStringLiteral("serviceAddress")).toString().toStdString();
        QCOMPARE(directory("api/remote-technicians?searchKey=&label=&page=0&size=60&serviceAddress=" + seventh, token,
                     &technicians),
            200);
        QVERIFY(!technicians.isEmpty());
        for (const char* key : {"name", "phone", "login", "address", "brief", "orderSize", "appraise", "authentication",
                 "recommended", "label"})
            QVERIFY2(technicians.first().toObject().contains(QLatin1String(key)), key);
        QCOMPARE(directory("api/getAllServiceConfigs", "not-a-token"), 401);

        // The reset: a code for the existing account; the old password and its sessions end.
        QCOMPARE(server.GetEmailAuthCode(email, true), HttpsServer::kResultOk);
        const std::string resetCode = lastCode(QString::fromStdString(email)).toStdString();
        QCOMPARE(server.EmailUserResetPassword(email, "Nueva-2027", wrong), HttpsServer::kResultCodeRejected);
        QCOMPARE(server.EmailUserResetPassword(email, "Nueva-2027", resetCode), HttpsServer::kResultOk);
        QCOMPARE(server.EmailUserResetPassword(email, "Otra-2028", resetCode), HttpsServer::kResultCodeRejected);
        QCOMPARE(directory("api/getAllServiceConfigs", token), 401);
        QVERIFY(!server.UserLoginEmail(email, "Llave-2026", token));
        QVERIFY(server.UserLoginEmail(email, "Nueva-2027", token));
    }

    void phoneSignIn()
    {
        HttpsServer server;
        std::string shortNumber = "1380013800";
        QVERIFY(server.GetSMSAuthCode(shortNumber) != HttpsServer::kResultOk);
        std::string phone = "13800138000";
        QCOMPARE(server.GetSMSAuthCode(phone), HttpsServer::kResultOk);
        std::string code = lastCode(QString::fromStdString(phone)).toStdString();
        std::string token;
        QVERIFY(server.UserLogin(phone, code, token));
        QVERIFY(!token.empty());
        QVERIFY(!server.UserLogin(phone, code, token)); // once only
    }

    void codesAndSignInsAreLimited()
    {
        QVERIFY(limits({{"codeRequestsPerAddress", 3}, {"failuresPerAccount", 3}, {"wrongCodeTries", 2}}));
        HttpsServer server;
        const std::string email = "limits@taller.example";
        for (int i = 0; i < 3; ++i)
            QCOMPARE(server.GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        QCOMPARE(server.GetEmailAuthCode(email, false), 429);
        // Two wrong entries void the code, even for the right one afterwards.
        const std::string code = lastCode(QString::fromStdString(email)).toStdString();
        const std::string wrong = code == "000000" ? "111111" : "000000";
        QVERIFY(server.EmailUserRegister(email, "Llave-2026", wrong) != HttpsServer::kResultOk);
        QVERIFY(server.EmailUserRegister(email, "Llave-2026", wrong) != HttpsServer::kResultOk);
        QVERIFY(server.EmailUserRegister(email, "Llave-2026", code) != HttpsServer::kResultOk);

        // An account locked after three failed sign-ins refuses its right password too.
        QVERIFY(limits({{"codeRequestsPerAddress", 10}}));
        const std::string other = "locked@taller.example";
        QCOMPARE(server.GetEmailAuthCode(other, false), HttpsServer::kResultOk);
        QCOMPARE(server.EmailUserRegister(other, "Llave-2026", lastCode(QString::fromStdString(other)).toStdString()),
            HttpsServer::kResultOk);
        std::string token;
        QCOMPARE(server.UserLoginEmailResult(other, "wrong-password", token), HttpsServer::kResultSignInRefused);
        for (int i = 0; i < 2; ++i)
            QVERIFY(!server.UserLoginEmail(other, "wrong-password", token));
        QCOMPARE(server.UserLoginEmailResult(other, "Llave-2026", token), HttpsServer::kResultTooManyRequests);
        QVERIFY(token.empty());
        QVERIFY(!server.UserLoginEmail(other, "Llave-2026", token));
    }

    void codesAndTokensExpire()
    {
        // Lifetimes long enough that a loaded machine still uses a fresh code in time.
        QVERIFY(limits({{"codeTtlSeconds", 3}, {"tokenTtlSeconds", 3}}));
        HttpsServer server;
        const std::string email = "expiry@taller.example";
        QCOMPARE(server.GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        const std::string stale = lastCode(QString::fromStdString(email)).toStdString();
        QThread::msleep(3600);
        QVERIFY(server.EmailUserRegister(email, "Llave-2026", stale) != HttpsServer::kResultOk);
        QCOMPARE(server.GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        QCOMPARE(server.EmailUserRegister(email, "Llave-2026", lastCode(QString::fromStdString(email)).toStdString()),
            HttpsServer::kResultOk);
        std::string token;
        QVERIFY(server.UserLoginEmail(email, "Llave-2026", token));
        QCOMPARE(directory("api/getAllServiceConfigs", token), 200);
        QThread::msleep(3600);
        QCOMPARE(directory("api/getAllServiceConfigs", token), 401);
    }

    void adapterCloudRegistration()
    {
        HttpsServer server;
        std::string value = "kept";
        QVERIFY(server.keyGetValue("KX0001", "registeredAt", "es", value) != 0);
        QCOMPARE(value, std::string("kept"));
        server.AddVci("KX0001", "M5EA0001XJ7B0001", "M5WC");
        QCOMPARE(server.keyGetValue("KX0001", "registeredAt", "es", value), 0u);
        QVERIFY2(QRegularExpression(QStringLiteral("^20[0-9]{2}-[0-9]{2}-[0-9]{2}$"))
                     .match(QString::fromStdString(value))
                     .hasMatch(),
            value.c_str());
        QCOMPARE(server.keyGetValue("KX0001", "serviceLevel", "es", value), 0u);
        QCOMPARE(value, std::string("Standard"));
    }

    // A token that could add a header line is refused; an absent service is "no network".
    void hostileOrAbsentService()
    {
        HttpsServer server;
        QVERIFY(m_cloud.control({{"path", "/api/account/login"}, {"status", 200},
            {"body", R"({"status":200,"errorKey":"","token":"abc\r\nX-Injected: 1"})"}}));
        std::string token;
        QVERIFY(!server.UserLoginEmail("a@b.example", "whatever", token));
        QVERIFY(token.empty());
        QVERIFY(m_cloud.control({{"path", "/api/account/email-code"}, {"status", 200}, {"body", "<html>"}}));
        QCOMPARE(server.GetEmailAuthCode("a@b.example", false), HttpsServer::kResultNoNetwork);

        qputenv("BRINDLEWICK_MAIN_API_BASE", "http://127.0.0.1:1/");
        HttpsServer offline;
        QCOMPARE(offline.GetEmailAuthCode("a@b.example", false), HttpsServer::kResultNoNetwork);
        QCOMPARE(offline.EmailUserRegister("a@b.example", "Llave-2026", "123456"), HttpsServer::kResultNoNetwork);
        QVERIFY(!offline.UserLoginEmail("a@b.example", "Llave-2026", token));
    }
};

QTEST_GUILESS_MAIN(TestCloudAccounts)
#include "tst_cloud_accounts.moc"
