// The account subsystem against the cloud emulator's account service over
// TLS, through the real HttpsServer: registration with the code from the
// service's outbox, sign-in with the credentials remembered in the file
// store, the directory fetched with the token, the password reset, the
// automatic sign-in of the next start, the lock-out after wrong passwords,
// the adapter's registration under the key its status record carries (the
// adapter emulator and the background service publish it); and the service's
// own rules as the calls meet them: codes used once, limited and expiring,
// tokens ended by a reset or by time, phone sign-in, a hostile or absent service.
#include "AccountTestSupport.h"
#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "account/AccountController.h"
#include "account/AccountPages.h"
#include "account/AdapterRegistration.h"
#include "account/ServiceVendor.h"
#include "device/AppShared.h"
#include "device/VciStatusRecord.h"
#include "http/CHvHttp.h"

#include <HttpsServer.h>

#include <QCheckBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class TestAccountCloud : public QObject {
    Q_OBJECT
    TestEnvironment m_env;
    TestTls m_tls;
    CloudEmulator m_cloud;
    std::unique_ptr<HttpsServer> m_server;
    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<AccountController> m_controller;

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
    std::string code(const std::string& address) { return lastCode(QString::fromStdString(address)).toStdString(); }
    void startController()
    {
        m_controller.reset();
        m_host = std::make_unique<FakeHost>();
        m_controller = std::make_unique<AccountController>(httpsAccountService(*m_server),
            [] { return std::make_unique<account::FileCredentialStore>(account::FileCredentialStore::defaultPath()); });
        m_controller->setDirectoryBase(m_cloud.httpsBase());
        QSignalSpy loaded(m_controller.get(), &AccountController::credentialsLoaded);
        m_controller->attach(*m_host);
        QVERIFY(loaded.wait(5000));
    }
    bool finished(const char* name)
    {
        QSignalSpy spy(m_controller.get(), &AccountController::flowFinished);
        return spy.wait(20000) && spy.last().first().toString() == QLatin1String(name);
    }
    void click(QPushButton* button, const char* flow)
    {
        QSignalSpy spy(m_controller.get(), &AccountController::flowFinished);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(spy.wait(20000));
        QCOMPARE(spy.last().first().toString(), QLatin1String(flow));
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Brindlewick"));
        QCoreApplication::setApplicationName(QStringLiteral("Brindlewick"));
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        QVERIFY2(m_cloud.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_cloud.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        CHvHttp::SetExtraCaFile(m_tls.caFile().toStdString());
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpsBase().toUtf8());
        qunsetenv("DBUS_SESSION_BUS_ADDRESS"); // the file store, in the private configuration folder
        m_server = std::make_unique<HttpsServer>();
    }
    void cleanupTestCase()
    {
        m_controller.reset();
        m_host.reset();
        m_server.reset();
    }

    void registerSignInDirectoryResetAndSignInAgain()
    {
        const QString email = QStringLiteral("cuenta@taller.example");
        startController();

        RegisterPage* reg = m_controller->registerPage();
        reg->email->setText(email);
        click(reg->getCode, "registration-code");
        const QString code = lastCode(email);
        QVERIFY(!code.isEmpty());
        QVERIFY(!reg->getCode->isEnabled());
        reg->code->setText(code);
        reg->password->setText(QStringLiteral("secret1"));
        click(reg->action, "register");
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Successful Registration"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));

        EmailSignInPage* signIn = m_controller->emailSignInPage();
        QCOMPARE(signIn->email->text(), email);
        signIn->password->setText(QStringLiteral("secret1"));
        signIn->remember->setChecked(true);
        signIn->autoSignIn->setChecked(true);
        click(signIn->signIn, "email-sign-in");
        QVERIFY(m_controller->signedIn());
        QVERIFY(!m_controller->userToken().isEmpty());
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailCentre));

        // The directory with the token: the seventh configuration's technicians.
        QSignalSpy shown(m_controller.get(), &AccountController::directoryShown);
        QTest::mouseClick(m_host->vendorButton, Qt::LeftButton);
        QVERIFY(shown.wait(20000));
        QVERIFY(shown.last().first().toInt() > 0);
        QCOMPARE(m_controller->directoryPage()->cardCount(), shown.last().first().toInt());
        QVERIFY(m_cloud.requestCount(QStringLiteral("/api/getAllServiceConfigs")) >= 1);

        // Reset the password; the remembered (old) one no longer signs in.
        m_controller->ClickButton_UserSignOut();
        ResetPasswordPage* reset = m_controller->resetPage();
        reset->email->setText(email);
        click(reset->getCode, "reset-code");
        reset->code->setText(lastCode(email));
        reset->password->setText(QStringLiteral("secret1-b"));
        click(reset->action, "reset");
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Reset Password Succeeded"));

        // The next start: automatic sign-in with the remembered password fails and changes nothing.
        startController();
        QVERIFY(finished("auto-sign-in"));
        QVERIFY(!m_controller->signedIn());
        QCOMPARE(m_controller->remembered().users, QStringList{email});
        signIn = m_controller->emailSignInPage();
        QCOMPARE(signIn->email->text(), email);
        signIn->password->setText(QStringLiteral("secret1-b"));
        click(signIn->signIn, "email-sign-in");
        QVERIFY(m_controller->signedIn());

        // And the start after that signs in by itself.
        startController();
        QVERIFY(finished("auto-sign-in"));
        QVERIFY(m_controller->signedIn());
    }

    void fiveWrongPasswordsLockAtTheFifth()
    {
        // The service locks an account after five failed sign-ins; each wrong
        // password typed must count once, so the first four leave the user a
        // try and only the sixth attempt meets the lock.
        const QString email = QStringLiteral("bloqueo@taller.example");
        QCOMPARE(m_server->GetEmailAuthCode(email.toStdString(), false), 200);
        QCOMPARE(m_server->EmailUserRegister(email.toStdString(), "secret1", lastCode(email).toStdString()), 200);
        QFile::remove(account::FileCredentialStore::defaultPath()); // no automatic sign-in of the first case's user
        startController();
        EmailSignInPage* signIn = m_controller->emailSignInPage();
        const int before = m_cloud.requestCount(QStringLiteral("/api/account/login"));
        for (int attempt = 1; attempt <= 5; ++attempt) {
            signIn->email->setText(email);
            signIn->password->setText(QStringLiteral("wrong-%1").arg(attempt));
            click(signIn->signIn, "email-sign-in");
            QCOMPARE(m_host->toasts.last(), QStringLiteral("Login failure, email or password is incorrect!"));
            QCOMPARE(m_cloud.requestCount(QStringLiteral("/api/account/login")), before + attempt);
        }
        QVERIFY(!m_controller->signedIn());
        // Now locked: even the right password is refused, and the page says why.
        signIn->password->setText(QStringLiteral("secret1"));
        click(signIn->signIn, "email-sign-in");
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Too many failed sign-ins. Please try again later."));
        QCOMPARE(m_cloud.requestCount(QStringLiteral("/api/account/login")), before + 6);
        QVERIFY(!m_controller->signedIn());
    }

    void theResultsFollowTheServiceStatus()
    {
        // Each call's result is the status the service answered for it.
        QCOMPARE(m_server->GetEmailAuthCode("cuenta@taller.example", false), 400); // has an account
        QCOMPARE(m_server->GetEmailAuthCode("nadie@taller.example", true), 404);   // has none
        QCOMPARE(m_server->GetEmailAuthCode("not an address", false), 422);
        QCOMPARE(m_server->EmailUserResetPassword("cuenta@taller.example", "secret9", "000000"), 400);
        QCOMPARE(m_server->EmailUserResetPassword("nadie@taller.example", "secret9", "000000"), 404);
        QCOMPARE(m_server->EmailUserRegister("nuevo@taller.example", "secret9", "000000"), 401);
        std::string token;
        QCOMPARE(m_server->UserLoginEmailResult("nadie@taller.example", "secret9", token), 401);
        QVERIFY(token.empty());
        // An adapter's values: none before it is added, its date and level after.
        std::string value = "kept";
        QVERIFY(m_server->keyGetValue("KX0001", "registeredAt", "es", value) != 0);
        QCOMPARE(value, std::string("kept"));
        m_server->AddVci("KX0001", "M5EA0001XJ7B0001", "M5WC");
        QCOMPARE(m_server->keyGetValue("KX0001", "registeredAt", "es", value), 0u);
        QVERIFY2(QRegularExpression(QStringLiteral("^20[0-9]{2}-[0-9]{2}-[0-9]{2}$"))
                     .match(QString::fromStdString(value))
                     .hasMatch(),
            value.c_str());
        QCOMPARE(m_server->keyGetValue("KX0001", "serviceLevel", "es", value), 0u);
        QCOMPARE(value, std::string("Standard"));
    }

    // A code is used once and only by its address; the address is matched
    // without case, the password with; a reset ends the old password and its tokens.
    void codesPasswordsAndTokens()
    {
        const std::string email = "tecnico@taller.example";
        QCOMPARE(m_server->GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        const std::string given = code(email);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9]{6}$")).match(QString::fromStdString(given)).hasMatch());
        const std::string wrong = given == "000000" ? "111111" : "000000";
        QVERIFY(m_server->EmailUserRegister(email, "Llave-2026", wrong) != HttpsServer::kResultOk);
        QVERIFY(m_server->EmailUserRegister(email, "short", given) != HttpsServer::kResultOk);
        QCOMPARE(m_server->EmailUserRegister(email, "Llave-2026", given), HttpsServer::kResultOk);
        QVERIFY(m_server->EmailUserRegister(email, "Llave-2026", given) != HttpsServer::kResultOk);

        std::string token = "stale";
        QVERIFY(!m_server->UserLoginEmail(email, "llave-2026", token));
        QVERIFY(token.empty());
        QVERIFY(m_server->UserLoginEmail("TECNICO@taller.example", "Llave-2026", token));
        QJsonArray configs;
        QCOMPARE(directory("api/getAllServiceConfigs", token, &configs), 200);
        QVERIFY(configs.size() >= 7);
        const std::string seventh
            = configs.at(6).toObject().value(QStringLiteral("serviceAddress")).toString().toStdString();
        QJsonArray technicians;
        QCOMPARE(directory("api/remote-technicians?searchKey=&label=&page=0&size=60&serviceAddress=" + seventh, token,
                     &technicians),
            200);
        QVERIFY(!technicians.isEmpty());
        for (const char* key : {"name", "phone", "login", "address", "brief", "orderSize", "appraise", "authentication",
                 "recommended", "label"})
            QVERIFY2(technicians.first().toObject().contains(QLatin1String(key)), key);
        QCOMPARE(directory("api/getAllServiceConfigs", "not-a-token"), 401);

        QCOMPARE(m_server->GetEmailAuthCode(email, true), HttpsServer::kResultOk);
        const std::string resetCode = code(email);
        QCOMPARE(m_server->EmailUserResetPassword(email, "Nueva-2027", wrong), HttpsServer::kResultCodeRejected);
        QCOMPARE(m_server->EmailUserResetPassword(email, "Nueva-2027", resetCode), HttpsServer::kResultOk);
        QCOMPARE(m_server->EmailUserResetPassword(email, "Otra-2028", resetCode), HttpsServer::kResultCodeRejected);
        QCOMPARE(directory("api/getAllServiceConfigs", token), 401);
        QVERIFY(!m_server->UserLoginEmail(email, "Llave-2026", token));
        QVERIFY(m_server->UserLoginEmail(email, "Nueva-2027", token));
    }

    void phoneSignIn()
    {
        std::string shortNumber = "1380013800";
        QVERIFY(m_server->GetSMSAuthCode(shortNumber) != HttpsServer::kResultOk);
        std::string phone = "13800138000";
        QCOMPARE(m_server->GetSMSAuthCode(phone), HttpsServer::kResultOk);
        std::string sms = code(phone);
        std::string token;
        QVERIFY(m_server->UserLogin(phone, sms, token));
        QVERIFY(!token.empty());
        QVERIFY(!m_server->UserLogin(phone, sms, token)); // once only
    }

    void theAdapterIsRegisteredUnderTheKeyItPublishes()
    {
        std::unique_ptr<AccountService> service = httpsAccountService(*m_server);
        if (!service->internetOk())
            QSKIP("the internet check says offline on this machine; registration waits for it by design");
        QFile::remove(account::FileCredentialStore::defaultPath());
        // The adapter emulator behind the real service, which writes the status block.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        useUniqueShmPrefix("account-cloud");
        const QString base = QStringLiteral("127.0.%1.").arg(150 + QCoreApplication::applicationPid() % 100);
        EmulatorProcess emulator;
        QVERIFY2(emulator.start({QStringLiteral("--adapters"), QStringLiteral("1"), QStringLiteral("--plug"),
                     QStringLiteral("1"), QStringLiteral("--base-address"), base + QStringLiteral("1")}),
            qPrintable(emulator.errorText()));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(emulator.port()));
        QCOMPARE(emulator.command(QStringLiteral("remotekey 1 583920")), QStringLiteral("OK"));
        ServiceProcess adapterService;
        QVERIFY(adapterService.start(ServiceProcess::arguments(
            base + QStringLiteral("1-1"), emulator.port(), dir.filePath(QStringLiteral("service.lock")))));

        // The status record as the status loop reads it: it carries the adapter's key.
        VciStatusRecord record;
        QTRY_VERIFY_WITH_TIMEOUT(readVciStatus(record) && record.SN[0] && record.key[0], 15000);
        const QString key = QString::fromLatin1(record.key);
        AppShared* shared = AppShared::instance();
        QCOMPARE(shared->deviceInfo().key, key);
        // The remote verification code is something else.
        QTRY_COMPARE_WITH_TIMEOUT(shared->remoteKey(), QStringLiteral("583920"), 10000);
        QVERIFY(key != shared->remoteKey());

        startController();
        QSignalSpy registered(m_controller.get(), &AccountController::adapterRegistered);
        m_controller->statusPass(false);
        QVERIFY(registered.wait(20000));
        QVERIFY(m_controller->emailCentrePage()->adapter->text().contains(QString::fromLatin1(record.SN)));

        // The service knows the adapter by its key, not by the code.
        std::string value;
        QCOMPARE(m_server->keyGetValue(key.toStdString(), "registeredAt", "en", value), 0u);
        QVERIFY(!value.empty());
        std::string none;
        QCOMPARE(m_server->keyGetValue("583920", "registeredAt", "en", none), 404u);

        m_controller.reset();
        adapterService.stop();
        emulator.stop();
        platform::SharedMemory::remove(kStatusBlock);
        platform::SharedMemory::remove(kCommandBlock);
    }

    // The last cases change the service's limits and answers.
    void codesAreLimited()
    {
        QVERIFY(m_cloud.reset());
        QVERIFY(limits({{"codeRequestsPerAddress", 3}, {"wrongCodeTries", 2}}));
        const std::string email = "limits@taller.example";
        for (int i = 0; i < 3; ++i)
            QCOMPARE(m_server->GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        QCOMPARE(m_server->GetEmailAuthCode(email, false), 429);
        // Two wrong entries void the code, even for the right one afterwards.
        const std::string given = code(email);
        const std::string wrong = given == "000000" ? "111111" : "000000";
        QVERIFY(m_server->EmailUserRegister(email, "Llave-2026", wrong) != HttpsServer::kResultOk);
        QVERIFY(m_server->EmailUserRegister(email, "Llave-2026", wrong) != HttpsServer::kResultOk);
        QVERIFY(m_server->EmailUserRegister(email, "Llave-2026", given) != HttpsServer::kResultOk);
    }

    void codesAndTokensExpire()
    {
        // Lifetimes long enough that a loaded machine still uses a fresh code in time.
        QVERIFY(m_cloud.reset());
        QVERIFY(limits({{"codeTtlSeconds", 3}, {"tokenTtlSeconds", 3}}));
        const std::string email = "expiry@taller.example";
        QCOMPARE(m_server->GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        const std::string stale = code(email);
        QThread::msleep(3600);
        QVERIFY(m_server->EmailUserRegister(email, "Llave-2026", stale) != HttpsServer::kResultOk);
        QCOMPARE(m_server->GetEmailAuthCode(email, false), HttpsServer::kResultOk);
        QCOMPARE(m_server->EmailUserRegister(email, "Llave-2026", code(email)), HttpsServer::kResultOk);
        std::string token;
        QVERIFY(m_server->UserLoginEmail(email, "Llave-2026", token));
        QCOMPARE(directory("api/getAllServiceConfigs", token), 200);
        QThread::msleep(3600);
        QCOMPARE(directory("api/getAllServiceConfigs", token), 401);
    }

    // A token that could add a header line is refused; an absent service is "no network".
    void hostileOrAbsentService()
    {
        QVERIFY(m_cloud.reset());
        QVERIFY(m_cloud.control({{"path", "/api/account/login"}, {"status", 200},
            {"body", R"({"status":200,"errorKey":"","token":"abc\r\nX-Injected: 1"})"}}));
        std::string token;
        QVERIFY(!m_server->UserLoginEmail("a@b.example", "whatever", token));
        QVERIFY(token.empty());
        QVERIFY(m_cloud.control({{"path", "/api/account/email-code"}, {"status", 200}, {"body", "<html>"}}));
        QCOMPARE(m_server->GetEmailAuthCode("a@b.example", false), HttpsServer::kResultNoNetwork);

        qputenv("BRINDLEWICK_MAIN_API_BASE", "http://127.0.0.1:1/");
        HttpsServer offline;
        QCOMPARE(offline.GetEmailAuthCode("a@b.example", false), HttpsServer::kResultNoNetwork);
        QCOMPARE(offline.EmailUserRegister("a@b.example", "Llave-2026", "123456"), HttpsServer::kResultNoNetwork);
        QVERIFY(!offline.UserLoginEmail("a@b.example", "Llave-2026", token));
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpsBase().toUtf8());
    }
};

QTEST_MAIN(TestAccountCloud)
#include "tst_account_cloud.moc"
