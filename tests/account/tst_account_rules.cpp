// The account rules without widgets: each page's checks, calls, texts and
// next steps against a fake account service; the code countdown; the
// remembered credentials; the adapter's cloud registration and its schedule.
#include "AccountTestSupport.h"

#include "account/AccountFlows.h"
#include "account/AdapterRegistration.h"
#include "account/Credentials.h"

#include <QtTest>

using account::Outcome;

class TestAccountRules : public QObject {
    Q_OBJECT

private slots:
    void phoneNumbersAsTheProductChecksThem_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("valid");
        QTest::newRow("mobile") << "13800138000" << true;
        QTest::newRow("second digit 9") << "19912345678" << true;
        QTest::newRow("second digit 2") << "12800138000" << false;
        QTest::newRow("bar with eight digits") << "1|80013800" << false;
        QTest::newRow("bar with nine digits") << "1|123456789" << true;
        QTest::newRow("ten digits") << "1380013800" << false;
        QTest::newRow("twelve digits") << "138001380001" << false;
        QTest::newRow("letters") << "1380013800a" << false;
        QTest::newRow("empty") << "" << false;
    }
    void phoneNumbersAsTheProductChecksThem()
    {
        QFETCH(QString, number);
        QFETCH(bool, valid);
        QCOMPARE(account::phoneNumberValid(number), valid);
    }

    void emailAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "tecnico@taller.example" << true;
        QTest::newRow("plus and dots") << "a.b+c@x-y.example" << true;
        QTest::newRow("no at") << "taller.example" << false;
        QTest::newRow("empty local part") << "@b.example" << false;
        // The "." between labels matches any character, "@" included.
        QTest::newRow("two ats") << "a@b@c" << true;
        QTest::newRow("label starting with a hyphen") << "a@-b.example" << false;
        QTest::newRow("space") << "a b@c.example" << false;
        QTest::newRow("any character between labels") << "a@b,c" << true;
        // A label is at most 63 characters and ends in a letter or digit.
        QTest::newRow("longest label") << QStringLiteral("a@b") + QString(61, QLatin1Char('-')) + QStringLiteral("c")
                                       << true;
        QTest::newRow("label too long") << QStringLiteral("a@b") + QString(62, QLatin1Char('-')) + QStringLiteral("c")
                                        << false;
    }
    void emailAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, valid);
        QCOMPARE(account::emailValid(address), valid);
    }

    void phoneSignInFlows()
    {
        FakeAccountService service;
        Outcome outcome = account::requestSmsCode(service, QStringLiteral("12800138000"));
        QCOMPARE(outcome.message, QStringLiteral("Mobile number format error!"));
        QCOMPARE(outcome.action, Outcome::None);
        QVERIFY(service.calls().isEmpty()); // refused before any call

        service.smsResult = 429;
        outcome = account::requestSmsCode(service, QStringLiteral("13800138000"));
        QCOMPARE(outcome.message, QStringLiteral("Failed to get code!"));
        QCOMPARE(outcome.action, Outcome::None);
        service.smsResult = 200;
        outcome = account::requestSmsCode(service, QStringLiteral("13800138000"));
        QCOMPARE(outcome.action, Outcome::StartCountdown);
        QVERIFY(outcome.message.isEmpty());

        outcome = account::phoneSignIn(service, QStringLiteral("13800138000"), QString());
        QCOMPARE(outcome.message, QStringLiteral("The mobile phone number or verification code is empty"));
        outcome = account::phoneSignIn(service, QString(), QStringLiteral("123456"));
        QCOMPARE(outcome.message, QStringLiteral("The mobile phone number or verification code is empty"));
        service.clearCalls();
        outcome = account::phoneSignIn(service, QStringLiteral("13800138000"), QStringLiteral("000000"));
        QCOMPARE(outcome.message, QStringLiteral("Login failed, please make sure the verification code is correct"));
        QVERIFY(outcome.token.isEmpty());
        outcome = account::phoneSignIn(service, QStringLiteral("13800138000"), QStringLiteral("123456"));
        QCOMPARE(outcome.action, Outcome::SignedIn);
        QVERIFY(outcome.token == service.issuedToken);
        QCOMPARE(service.calls(),
            QStringList({QStringLiteral("phone-login 13800138000"), QStringLiteral("phone-login 13800138000")}));
    }

    void registrationCode_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("message");
        QTest::newRow("sent") << 200 << int(Outcome::StartCountdown) << "";
        QTest::newRow("registered") << 400 << int(Outcome::None) << "Email has been registered!";
        QTest::newRow("no such address") << 404 << int(Outcome::None) << "Email does not exist!";
        QTest::newRow("no network") << 0 << int(Outcome::None) << "Failed to get code!";
        QTest::newRow("too many") << 429 << int(Outcome::None) << "Too many codes requested. Please try again later.";
    }
    void registrationCode()
    {
        QFETCH(int, result);
        QFETCH(int, action);
        QFETCH(QString, message);
        FakeAccountService service;
        service.codeResult = result;
        const Outcome outcome = account::requestRegistrationCode(service, QStringLiteral("a@b.example"));
        QCOMPARE(int(outcome.action), action);
        QCOMPARE(outcome.message, message);
        QCOMPARE(service.calls(), QStringList{QStringLiteral("email-code a@b.example new")});
        QCOMPARE(account::requestRegistrationCode(service, QStringLiteral("not-an-address")).message,
            QStringLiteral("Email Error!"));
    }

    void registrationChecksInOrder()
    {
        FakeAccountService service;
        const QString email = QStringLiteral("a@b.example");
        QCOMPARE(account::registerAccount(service, QString(), QString(), QString()).message,
            QStringLiteral("The email address cannot be empty"));
        QCOMPARE(account::registerAccount(service, email, QString(), QStringLiteral("x")).message,
            QStringLiteral("The verification code cannot be empty"));
        QCOMPARE(account::registerAccount(service, email, QStringLiteral("1"), QStringLiteral("12345")).message,
            QStringLiteral("The password must be at least 6 characters long!"));
        QVERIFY(service.calls().isEmpty());

        Outcome outcome = account::registerAccount(service, email, QStringLiteral("1"), QStringLiteral("123456"));
        QCOMPARE(outcome.action, Outcome::ShowSignIn);
        QCOMPARE(outcome.message, QStringLiteral("Successful Registration"));
        service.registerResult = 0;
        outcome = account::registerAccount(service, email, QStringLiteral("1"), QStringLiteral("123456"));
        QCOMPARE(outcome, (Outcome{Outcome::None, QStringLiteral("Network Connection Down!"), QString()}));
        service.registerResult = 401;
        QCOMPARE(account::registerAccount(service, email, QStringLiteral("1"), QStringLiteral("123456")).message,
            QStringLiteral("Registration Failed!"));
    }

    void emailSignIn()
    {
        FakeAccountService service;
        QCOMPARE(account::emailSignIn(service, QString(), QStringLiteral("secret1")).message,
            QStringLiteral("The email cannot be empty!"));
        // An empty password answers with the same text.
        QCOMPARE(account::emailSignIn(service, QStringLiteral("a@b.example"), QString()).message,
            QStringLiteral("The email cannot be empty!"));
        QVERIFY(service.calls().isEmpty());
        Outcome outcome = account::emailSignIn(service, QStringLiteral("a@b.example"), QStringLiteral("wrong-1"));
        QCOMPARE(outcome.message, QStringLiteral("Login failure, email or password is incorrect!"));
        QCOMPARE(outcome.action, Outcome::None);
        outcome = account::emailSignIn(service, QStringLiteral("a@b.example"), QStringLiteral("secret1"));
        QCOMPARE(outcome.action, Outcome::SignedIn);
        QVERIFY(outcome.token == service.issuedToken);
        QVERIFY(outcome.message.isEmpty());
        // A locked account says so rather than blaming the password, and signs nobody in.
        service.signInLocked = true;
        outcome = account::emailSignIn(service, QStringLiteral("a@b.example"), QStringLiteral("secret1"));
        QCOMPARE(outcome.message, QStringLiteral("Too many failed sign-ins. Please try again later."));
        QCOMPARE(outcome.action, Outcome::None);
        QVERIFY(outcome.token.isEmpty());
    }

    void resetCodeAndReset()
    {
        FakeAccountService service;
        QCOMPARE(account::requestResetCode(service, QString()).message,
            QStringLiteral("The email address cannot be empty!"));
        QCOMPARE(account::requestResetCode(service, QStringLiteral("nobody")).message,
            QStringLiteral("Email address error!"));
        QCOMPARE(account::requestResetCode(service, QStringLiteral("a@b.example")).action, Outcome::StartCountdown);
        QCOMPARE(service.calls().last(), QStringLiteral("email-code a@b.example existing"));
        service.codeResult = 404;
        QCOMPARE(account::requestResetCode(service, QStringLiteral("a@b.example")).message,
            QStringLiteral("This email is not registered!"));
        service.codeResult = 400;
        QCOMPARE(account::requestResetCode(service, QStringLiteral("a@b.example")).message,
            QStringLiteral("Failed to get code!"));

        const QString email = QStringLiteral("a@b.example");
        QCOMPARE(account::resetPassword(service, QString(), QStringLiteral("1"), QStringLiteral("123456")).message,
            QStringLiteral("The mailbox cannot be empty"));
        QCOMPARE(account::resetPassword(service, email, QString(), QStringLiteral("123456")).message,
            QStringLiteral("The verification code cannot be empty"));
        QCOMPARE(account::resetPassword(service, email, QStringLiteral("1"), QStringLiteral("12345")).message,
            QStringLiteral("The password must be at least 6 characters long!"));
        Outcome outcome = account::resetPassword(service, email, QStringLiteral("1"), QStringLiteral("123456"));
        QCOMPARE(outcome, (Outcome{Outcome::ShowSignIn, QStringLiteral("Reset Password Succeeded"), QString()}));
        service.resetResult = 400;
        QCOMPARE(account::resetPassword(service, email, QStringLiteral("1"), QStringLiteral("123456")).message,
            QStringLiteral("Invalid verification code or verification code expired!"));
        service.resetResult = 0;
        QCOMPARE(account::resetPassword(service, email, QStringLiteral("1"), QStringLiteral("123456")).message,
            QStringLiteral("Network Connection Down!"));
        service.resetResult = 429;
        QCOMPARE(account::resetPassword(service, email, QStringLiteral("1"), QStringLiteral("123456")), Outcome());
    }

    void changingThePassword()
    {
        FakeAccountService service;
        const QString email = QStringLiteral("a@b.example");
        QCOMPARE(account::changeCodeSentText(email),
            QStringLiteral("Verification code will be sent to your email address: a@b.example"));
        QCOMPARE(account::requestChangeCode(service, email).action, Outcome::ShowChangePassword);
        service.codeResult = 404;
        QCOMPARE(account::requestChangeCode(service, email), Outcome());
        service.codeResult = 0;
        QCOMPARE(account::requestChangeCode(service, email).message,
            QStringLiteral("Failed to get code!re-enter this interface"));

        QCOMPARE(account::changePassword(service, email, QString(), QStringLiteral("123456")).message,
            QStringLiteral("The verification code cannot be empty"));
        QCOMPARE(account::changePassword(service, email, QStringLiteral("1"), QStringLiteral("abc")).message,
            QStringLiteral("The password must be at least 6 characters long!"));
        QCOMPARE(account::changePassword(service, email, QStringLiteral("1"), QStringLiteral("123456")),
            (Outcome{Outcome::ShowSignIn, QStringLiteral("modify Password Succeeded,Please log in again"), QString()}));
        service.resetResult = 400;
        QCOMPARE(account::changePassword(service, email, QStringLiteral("1"), QStringLiteral("123456")).message,
            QStringLiteral("Invalid verification code or verification code expired!"));
        QCOMPARE(account::nicknameProblem(QString()), QStringLiteral("Name is empty, please re-enter"));
        QVERIFY(account::nicknameProblem(QStringLiteral("Taller")).isEmpty());
    }

    void countdownRunsSixtyTicksOrEndsOnTheNext()
    {
        account::CodeCountdown countdown;
        QStringList shown;
        int ticks = 0;
        while (countdown.tick()) {
            ++ticks;
            shown << QString::number(countdown.value());
            QVERIFY(ticks < 100);
        }
        ++ticks; // the tick that ended it
        QCOMPARE(ticks, 60);
        QCOMPARE(shown.first(), QStringLiteral("59"));
        QCOMPARE(shown.last(), QStringLiteral("1"));
        QCOMPARE(countdown.value(), 60);

        QVERIFY(countdown.tick());
        countdown.endOnNextTick();
        QVERIFY(!countdown.tick());
        QCOMPARE(countdown.value(), 60);
    }

    void rememberedCredentials()
    {
        account::RememberedCredentials remembered;
        for (int i = 1; i <= 5; ++i)
            remembered.recordSignIn(
                QStringLiteral("u%1@x.example").arg(i), QStringLiteral("pw-%1").arg(i), true, false);
        QCOMPARE(remembered.users.size(), 5);
        // The sixth address drops the oldest together with its password.
        remembered.recordSignIn(QStringLiteral("u6@x.example"), QStringLiteral("pw-6"), true, true);
        QCOMPARE(remembered.users.first(), QStringLiteral("u2@x.example"));
        QCOMPARE(remembered.users.last(), QStringLiteral("u6@x.example"));
        QVERIFY(remembered.passwords.first() == QStringLiteral("pw-2"));
        QVERIFY(remembered.passwords.last() == QStringLiteral("pw-6"));
        QVERIFY(remembered.autoLogin);

        // A remembered address moves to the end with its new password, once.
        remembered.recordSignIn(QStringLiteral("u3@x.example"), QStringLiteral("pw-3b"), true, false);
        QCOMPARE(remembered.users,
            QStringList({QStringLiteral("u2@x.example"), QStringLiteral("u4@x.example"), QStringLiteral("u5@x.example"),
                QStringLiteral("u6@x.example"), QStringLiteral("u3@x.example")}));
        QVERIFY(remembered.passwords.last() == QStringLiteral("pw-3b"));
        QCOMPARE(remembered.passwords.size(), 5);
        // Addresses differ by case: two entries.
        remembered.recordSignIn(QStringLiteral("U3@x.example"), QStringLiteral("pw-3c"), true, false);
        QCOMPARE(remembered.users.count(QStringLiteral("u3@x.example")), 1);
        QCOMPARE(remembered.users.last(), QStringLiteral("U3@x.example"));
        // An empty address changes the flags only.
        const QStringList before = remembered.users;
        remembered.recordSignIn(QString(), QStringLiteral("x"), false, true);
        QCOMPARE(remembered.users, before);
        QVERIFY(!remembered.remember);
    }

    void automaticSignInNeedsFlagAndBothTexts()
    {
        account::RememberedCredentials remembered;
        remembered.autoLogin = true;
        QVERIFY(!remembered.autoSignInReady());
        remembered.users = QStringList{QStringLiteral("a@b.example")};
        remembered.passwords = QStringList{QString()};
        QVERIFY(!remembered.autoSignInReady());
        remembered.passwords = QStringList{QStringLiteral("secret1")};
        QVERIFY(remembered.autoSignInReady());
        remembered.autoLogin = false;
        QVERIFY(!remembered.autoSignInReady());
        // Lists of unequal length are cut to the shorter.
        remembered.users << QStringLiteral("c@d.example");
        remembered.normalise();
        QCOMPARE(remembered.users.size(), 1);
    }

    void adapterRegistration()
    {
        FakeAccountService service;
        account::AdapterRegistration result;
        service.online = false;
        QVERIFY(!account::registerAdapter(
            service, QStringLiteral("K"), QStringLiteral("SN1"), QStringLiteral("M5"), QStringLiteral("es"), result));
        QCOMPARE(service.calls(), QStringList{QStringLiteral("internet")}); // nothing sent offline

        service.online = true;
        service.clearCalls();
        QVERIFY(account::registerAdapter(
            service, QStringLiteral("K"), QStringLiteral("SN1"), QStringLiteral("M5"), QStringLiteral("es"), result));
        QCOMPARE(service.calls(),
            QStringList({QStringLiteral("internet"), QStringLiteral("add-adapter SN1 M5 key=K"),
                QStringLiteral("value registeredAt es key=K"), QStringLiteral("value warrantyUntil es key=K"),
                QStringLiteral("value serviceLevel es key=K")}));
        QCOMPARE(result.registeredAt, QStringLiteral("registeredAt-value"));
        QCOMPARE(result.text(),
            QStringLiteral("Adapter SN1: registered registeredAt-value, warranty until warrantyUntil-value, "
                           "service level serviceLevel-value"));

        service.valueStatus = 404; // not registered after all: nothing kept
        QVERIFY(!account::registerAdapter(
            service, QStringLiteral("K"), QStringLiteral("SN1"), QStringLiteral("M5"), QStringLiteral("es"), result));
        QVERIFY(result.text().isEmpty());
        QVERIFY(!account::registerAdapter(
            service, QString(), QStringLiteral("SN1"), QString(), QStringLiteral("es"), result));
    }

    void registrationSchedule()
    {
        account::RegistrationSchedule schedule;
        QVERIFY(!schedule.begin(QString(), 10000));
        QVERIFY(schedule.begin(QStringLiteral("SN1"), 10000));
        QVERIFY(!schedule.begin(QStringLiteral("SN1"), 20000)); // one at a time
        schedule.finish(QStringLiteral("SN1"), false, 10500);
        QVERIFY(!schedule.begin(QStringLiteral("SN1"), 12500)); // 2000 ms not yet passed
        QVERIFY(schedule.begin(QStringLiteral("SN1"), 12501));
        schedule.finish(QStringLiteral("SN1"), true, 12600);
        QVERIFY(schedule.keptFor(QStringLiteral("SN1")));
        QVERIFY(!schedule.begin(QStringLiteral("SN1"), 99999)); // kept: no more attempts
        QVERIFY(schedule.begin(QStringLiteral("SN2"), 99999));  // another adapter is registered too
    }
};

QTEST_GUILESS_MAIN(TestAccountRules)
#include "tst_account_rules.moc"
