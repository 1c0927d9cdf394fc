// The account pages through AccountController with a fake account service,
// a credential store in memory and a stand-in window: remembered credentials
// and the automatic sign-in at start, e-mail sign-in, registration and its
// countdown, the password change, the phone pages (reached through the phone
// mode seam), the user centre, the bus codes 2 and 5, and the directory
// page with its cards, search and pop-up.
#include "AccountTestSupport.h"
#include "support/TestEnvironment.h"

#include "account/AccountController.h"
#include "account/AccountPages.h"
#include "account/ServiceVendor.h"
#include "device/AppShared.h"
#include "device/DeviceInfo.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using account::HttpAnswer;

namespace {

const QByteArray kTechnicians = R"([
 {"name":"Taller Ruiz","phone":"600112233","address":"Calle Mayor 12, Madrid","brief":"BMW keys"},
 {"name":"AutoDiag Levante","phone":"611223344","address":"Valencia",
  "brief":"<b>Ford</b> <img src=x> modules. A long description that wraps over several lines of the pop-up so that it is worth showing: coding, adaptations, keys, immobilisers, airbags, injectors and more."}])";

} // namespace

class TestAccountPages : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<AccountController> m_controller;
    FakeAccountService* m_service = nullptr;
    std::shared_ptr<MemoryStoreState> m_store;
    QStringList m_names; // bus code 5

    void start(const account::RememberedCredentials& stored = {})
    {
        m_store = std::make_shared<MemoryStoreState>();
        m_store->credentials = stored;
        auto service = std::make_unique<FakeAccountService>();
        m_service = service.get();
        std::shared_ptr<MemoryStoreState> state = m_store;
        m_controller = std::make_unique<AccountController>(
            std::move(service), [state] { return std::make_unique<MemoryCredentialStore>(state); });
        m_host = std::make_unique<FakeHost>();
        QSignalSpy loaded(m_controller.get(), &AccountController::credentialsLoaded);
        m_controller->attach(*m_host);
        QVERIFY(loaded.wait(5000));
    }
    // Runs until the named flow's outcome was applied.
    bool finished(const char* name)
    {
        QSignalSpy spy(m_controller.get(), &AccountController::flowFinished);
        return spy.wait(5000) && spy.last().first().toString() == QLatin1String(name);
    }
    int saves()
    {
        std::lock_guard<std::mutex> lock(m_store->mutex);
        return m_store->saves;
    }
    account::RememberedCredentials stored()
    {
        std::lock_guard<std::mutex> lock(m_store->mutex);
        return m_store->credentials;
    }
    // Signs in by e-mail as a@b.example through the controller.
    bool signInByEmail()
    {
        m_controller->emailSignInPage()->email->setText(QStringLiteral("a@b.example"));
        m_controller->emailSignInPage()->password->setText(QStringLiteral("secret1"));
        m_controller->ClickButton_UserLogInEmail();
        return finished("email-sign-in");
    }
    // Lets the save workers finish.
    void settle()
    {
        for (int i = 0; i < 20; ++i)
            QTest::qWait(10);
    }

private slots:
    void initTestCase()
    {
        connect(AppShared::instance(), &AppShared::signal, this, [this](SharedSignal code, const QVariant& value) {
            if (code == SignedInName)
                m_names << value.toString();
        });
    }
    void cleanup()
    {
        if (m_controller)
            m_controller->stop();
        m_controller.reset();
        m_host.reset();
        m_names.clear();
    }

    void startFillsTheRememberedAccountAndSignsIn()
    {
        account::RememberedCredentials remembered;
        remembered.users = QStringList{QStringLiteral("first@x.example"), QStringLiteral("second@x.example")};
        remembered.passwords = QStringList{QStringLiteral("secret1"), QStringLiteral("other-1")};
        remembered.remember = true;
        remembered.autoLogin = true;
        start(remembered);
        EmailSignInPage* page = m_controller->emailSignInPage();
        QCOMPARE(page->email->text(), QStringLiteral("first@x.example"));
        QVERIFY(page->password->text() == QStringLiteral("secret1"));
        QVERIFY(page->remember->isChecked());
        QVERIFY(page->autoSignIn->isChecked());
        QVERIFY(finished("auto-sign-in"));
        QVERIFY(m_controller->signedIn());
        QVERIFY(m_controller->userToken() == m_service->issuedToken);
        QCOMPARE(m_names, QStringList{QStringLiteral("first@x.example")});
        QCOMPARE(m_controller->emailCentrePage()->email->text(), QStringLiteral("first@x.example"));
        QVERIFY(m_host->vendorButton->isVisibleTo(m_host->stack->widget(1)));
        QCOMPARE(saves(), 0); // filling the check boxes wrote nothing back

        // The user centre entry (bus code 2) now leads to the e-mail user centre.
        emit AppShared::instance()->signal(OpenPhoneSignIn, QVariant());
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailCentre));
        QVERIFY(m_host->wakes > 0);
    }

    // A remembered address without its password: no automatic sign-in, and
    // without "remember" nothing is filled.
    void noAutomaticSignInWithoutBothTexts()
    {
        account::RememberedCredentials remembered;
        remembered.users = QStringList{QStringLiteral("first@x.example")};
        remembered.passwords = QStringList{QString()};
        remembered.autoLogin = true;
        start(remembered);
        settle();
        QVERIFY(m_service->calls().isEmpty());
        QVERIFY(!m_controller->signedIn());
        QVERIFY(m_controller->emailSignInPage()->email->text().isEmpty());
    }

    void emailSignInKeepsCredentialsOnlyOnSuccess()
    {
        start();
        EmailSignInPage* page = m_controller->emailSignInPage();
        QVERIFY(!page->signIn->isEnabled());
        page->email->setText(QStringLiteral("tecnico@taller.example"));
        page->password->setText(QStringLiteral("wrong-pw"));
        QVERIFY(page->signIn->isEnabled());
        page->remember->setChecked(true); // written at once
        settle();
        QCOMPARE(saves(), 1);
        QVERIFY(stored().remember);

        QTest::mouseClick(page->signIn, Qt::LeftButton);
        QVERIFY(finished("email-sign-in"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Login failure, email or password is incorrect!"));
        settle();
        QCOMPARE(saves(), 1); // a failed sign-in changes nothing remembered
        QVERIFY(!m_controller->signedIn());

        page->password->setText(QStringLiteral("secret1"));
        QTest::mouseClick(page->signIn, Qt::LeftButton);
        QVERIFY(finished("email-sign-in"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Login Success"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailCentre));
        QCOMPARE(m_controller->emailCentrePage()->nickname->text(), QStringLiteral("tecnico@taller.example"));
        settle();
        QCOMPARE(stored().users, QStringList{QStringLiteral("tecnico@taller.example")});
        QVERIFY(stored().passwords == QStringList{QStringLiteral("secret1")});

        // Without "remember password" the address is kept and its password is not.
        m_controller->ClickButton_UserSignOut();
        QCOMPARE(m_names.last(), QString());
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));
        QVERIFY(m_controller->userToken().isEmpty());
        page->remember->setChecked(false);
        settle();
        QVERIFY(stored().passwords == QStringList{QString()}); // forgotten at once
        QCOMPARE(stored().users, QStringList{QStringLiteral("tecnico@taller.example")});
        QTest::mouseClick(page->signIn, Qt::LeftButton);
        QVERIFY(finished("email-sign-in"));
        settle();
        QVERIFY(stored().passwords == QStringList{QString()});
        QVERIFY(!stored().remember);
    }

    void registrationWithCountdown()
    {
        start();
        m_host->showPage(AccountController::PageEmailSignIn);
        // The register link on the sign-in page.
        QTest::mouseClick(m_controller->emailSignInPage()->toRegister, Qt::LeftButton);
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageRegister));

        RegisterPage* page = m_controller->registerPage();
        page->email->setText(QStringLiteral("no-at-sign")); // refused: no countdown
        QTest::mouseClick(page->getCode, Qt::LeftButton);
        QVERIFY(finished("registration-code"));
        QVERIFY(!m_controller->emailCodeTimer()->isActive());

        page->email->setText(QStringLiteral("nuevo@taller.example"));
        QTest::mouseClick(page->getCode, Qt::LeftButton);
        QVERIFY(finished("registration-code"));
        QVERIFY(m_controller->emailCodeTimer()->isActive());
        QVERIFY(!page->getCode->isEnabled());
        m_controller->emailCodeTimer()->stop(); // ticks by hand from here
        m_controller->on_PauseCodeTimerEmail();
        QCOMPARE(page->getCode->text(), QStringLiteral("59S"));

        QVERIFY(!page->action->isEnabled());
        page->code->setText(QStringLiteral("123456"));
        page->password->setText(QStringLiteral("secret1"));
        QVERIFY(page->action->isEnabled());
        QTest::mouseClick(page->action, Qt::LeftButton);
        QVERIFY(finished("register"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("Successful Registration"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));
        QCOMPARE(m_controller->emailSignInPage()->email->text(), QStringLiteral("nuevo@taller.example"));
        // The countdown ends on the next tick and the button comes back.
        m_controller->on_PauseCodeTimerEmail();
        QVERIFY(page->getCode->isEnabled());
        QCOMPARE(page->getCode->text(), QStringLiteral("Get verification code"));
    }

    void changingThePasswordEndsTheSession()
    {
        start();
        QVERIFY(signInByEmail());

        m_service->codeResult = 0; // no code sent: the centre stays
        QTest::mouseClick(m_controller->emailCentrePage()->changePassword, Qt::LeftButton);
        QVERIFY(finished("change-code"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailCentre));
        m_service->codeResult = 200;
        QTest::mouseClick(m_controller->emailCentrePage()->changePassword, Qt::LeftButton);
        QVERIFY(finished("change-code"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageChangePassword));
        QCOMPARE(m_controller->changePasswordPage()->sentTo->text(),
            QStringLiteral("Verification code will be sent to your email address: a@b.example"));

        ChangePasswordPage* page = m_controller->changePasswordPage();
        page->code->setText(QStringLiteral("123456"));
        page->password->setText(QStringLiteral("secret1-new"));
        m_service->resetResult = 400; // refused: the session stays
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QVERIFY(finished("change-password"));
        QVERIFY(m_controller->signedIn());
        m_service->resetResult = 200;
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QVERIFY(finished("change-password"));
        QCOMPARE(m_host->toasts.last(), QStringLiteral("modify Password Succeeded,Please log in again"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));
        QVERIFY(!m_controller->signedIn());
        QCOMPARE(m_names.last(), QString());
    }

    // Both sign-in pages lead back, by keyboard too, to the page the user
    // came from, past the registration page visited in between.
    void signInPagesLeadBackWhereTheUserCameFrom()
    {
        start();
        m_host->window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_host->window));
        EmailSignInPage* email = m_controller->emailSignInPage();

        m_host->showPage(21);
        emit AppShared::instance()->signal(OpenPhoneSignIn, QVariant());
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));
        email->back->setFocus();
        QTest::keyClick(email->back, Qt::Key_Space);
        QCOMPARE(m_host->stack->currentIndex(), 21);

        m_host->showPage(1);
        emit AppShared::instance()->signal(OpenPhoneSignIn, QVariant());
        QTest::mouseClick(email->toRegister, Qt::LeftButton);
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageRegister));
        QTest::mouseClick(m_controller->registerPage()->back, Qt::LeftButton);
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));
        QTest::mouseClick(email->back, Qt::LeftButton);
        QCOMPARE(m_host->stack->currentIndex(), 1);

        m_controller->setPhoneSignInMode(true);
        m_host->showPage(3);
        emit AppShared::instance()->signal(OpenPhoneSignIn, QVariant());
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PagePhoneSignIn));
        PhoneSignInPage* phone = m_controller->phoneSignInPage();
        QVERIFY(phone->back->isVisible());
        phone->back->setFocus();
        QTest::keyClick(phone->back, Qt::Key_Space);
        QCOMPARE(m_host->stack->currentIndex(), 3);
    }

    void phonePagesThroughTheSeam()
    {
        start();
        m_controller->setPhoneSignInMode(true);
        emit AppShared::instance()->signal(OpenPhoneSignIn, QVariant());
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PagePhoneSignIn));
        PhoneSignInPage* page = m_controller->phoneSignInPage();

        page->phone->setText(QStringLiteral("13800138000"));
        QTest::mouseClick(page->getCode, Qt::LeftButton);
        QVERIFY(finished("sms-code"));
        QVERIFY(m_controller->phoneCodeTimer()->isActive());
        QVERIFY(!page->getCode->isEnabled());
        m_controller->phoneCodeTimer()->stop();

        page->code->setText(QStringLiteral("999999"));
        QTest::mouseClick(page->signIn, Qt::LeftButton);
        QVERIFY(finished("phone-sign-in"));
        QCOMPARE(page->hint->text(), QStringLiteral("Login failed, please make sure the verification code is correct"));
        QTRY_VERIFY_WITH_TIMEOUT(page->hint->text().isEmpty(), 3000); // the hint goes after 1200 ms

        page->code->setText(QStringLiteral("123456"));
        QTest::mouseClick(page->signIn, Qt::LeftButton);
        QVERIFY(finished("phone-sign-in"));
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PagePhoneCentre));
        // No "UserName.ini": the number is the shown name.
        QCOMPARE(m_controller->phoneCentrePage()->nickname->text(), QStringLiteral("13800138000"));
        QCOMPARE(m_names.last(), QStringLiteral("13800138000"));
        QVERIFY(!page->signIn->isEnabled());
        m_controller->on_PauseCodeTimer(); // the next tick ends the countdown
        QVERIFY(page->getCode->isEnabled());

        // A nickname, then the next sign-in shows it.
        QTest::mouseClick(m_controller->phoneCentrePage()->nickname, Qt::LeftButton);
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageNickname));
        m_controller->nicknamePage()->nickname->setText(QStringLiteral("Taller Sur"));
        QTest::mouseClick(m_controller->nicknamePage()->confirm, Qt::LeftButton);
        QCOMPARE(m_names.last(), QStringLiteral("Taller Sur"));
        QCOMPARE(account::readPhoneNickname(account::phoneNicknamePath()), QStringLiteral("Taller Sur"));

        // A language application ends phone mode and its sign-in.
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(m_host->frame(), &change);
        QVERIFY(!m_controller->phoneSignInMode());
        QVERIFY(!m_controller->signedIn());
    }

    void adapterRegisteredOnceWithTheCloud()
    {
        start();
        AppShared* shared = AppShared::instance();
        shared->resetForTests();
        // The remote verification code is known at once and is not the adapter's key.
        shared->setRemoteKeyFetcher([](const std::string&, const std::string&, std::string& key) {
            key = "583920";
            return true;
        });
        QVERIFY(!m_controller->statusPass(false)); // no adapter: nothing to do, no repaint
        QVERIFY(m_service->calls().isEmpty());
        DeviceInfo info;
        info.SN = QStringLiteral("M5EA0001XJ7B0001");
        info.vciIP = QStringLiteral("127.0.0.1");
        shared->publish(info);
        QTRY_VERIFY_WITH_TIMEOUT(!shared->remoteKey().isEmpty(), 5000);
        // A status record without the adapter's key: nothing to register under.
        m_controller->statusPass(false);
        QTest::qWait(100);
        QVERIFY(m_service->calls().isEmpty());
        info.key = QStringLiteral("KX0042");
        shared->publish(info);

        m_service->online = false; // offline: tried, nothing kept, tried again after 2 s
        m_controller->statusPass(false);
        QTRY_COMPARE_WITH_TIMEOUT(m_service->calls(), QStringList{QStringLiteral("internet")}, 5000);
        m_controller->statusPass(false); // too early for another attempt
        m_service->online = true;
        QSignalSpy registered(m_controller.get(), &AccountController::adapterRegistered);
        QTest::qWait(2100);
        QVERIFY(m_controller->statusPass(true)); // a pass's own repaint request is kept
        QVERIFY(registered.wait(5000));
        QCOMPARE(m_service->calls().filter(QStringLiteral("add-adapter M5EA0001XJ7B0001 ")).size(), 1);
        QVERIFY2(
            m_service->calls().filter(QStringLiteral("add-adapter")).first().endsWith(QStringLiteral(" key=KX0042")),
            qPrintable(m_service->calls().join(QLatin1Char('|'))));
        QCOMPARE(m_service->calls().filter(QStringLiteral(" key=KX0042")).size(), 4); // added, three values
        QVERIFY(m_controller->emailCentrePage()->adapter->text().contains(QStringLiteral("M5EA0001XJ7B0001")));
        QVERIFY(m_controller->emailCentrePage()->adapter->text().contains(QStringLiteral("warrantyUntil-value")));

        // Kept: no further attempts for this adapter.
        const int calls = m_service->calls().size();
        QTest::qWait(2100);
        m_controller->statusPass(false);
        QTest::qWait(100);
        QCOMPARE(m_service->calls().size(), calls);
        shared->setRemoteKeyFetcher({});
        shared->resetForTests();
    }

    void directoryPage()
    {
        start();
        QVector<QString> urls;
        m_controller->setDirectoryBase(QStringLiteral("http://127.0.0.1:9/"));
        m_controller->setDirectoryGet([&urls](const QString& url, const QString&) {
            urls.append(url);
            return url.contains(QStringLiteral("remote-technicians")) ? HttpAnswer{200, kTechnicians}
                                                                      : HttpAnswer{200, QByteArray("[]")};
        });
        // Not signed in: the sign-in page of the mode instead of the directory.
        m_controller->ClickButton_ShowServiceInfo();
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageEmailSignIn));
        QVERIFY(urls.isEmpty());
        m_controller->setPhoneSignInMode(true);
        m_controller->ClickButton_ShowServiceInfo();
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PagePhoneSignIn));
        m_controller->setPhoneSignInMode(false);

        QVERIFY(signInByEmail());
        QVERIFY(m_host->vendorButton->isVisibleTo(m_host->stack->widget(1)));

        QSignalSpy shown(m_controller.get(), &AccountController::directoryShown);
        QTest::mouseClick(m_host->vendorButton, Qt::LeftButton);
        QCOMPARE(m_host->stack->currentIndex(), int(AccountController::PageServiceVendor));
        QVERIFY(shown.wait(5000));
        QCOMPARE(shown.last().first().toInt(), 2);
        QCOMPARE(urls.size(), 2);
        QVERIFY(!urls.at(0).contains(QStringLiteral("//api")));
        // No configurations: the default address.
        QVERIFY(urls.at(1).endsWith(QLatin1String(account::kDefaultServiceAddress)));

        ServiceVendorPage* page = m_controller->directoryPage();
        QCOMPARE(page->cardCount(), 2);
        page->search->setText(QStringLiteral("Valencia"));
        QTest::mouseClick(page->find, Qt::LeftButton);
        QCOMPARE(page->cardCount(), 1);
        ServiceVendor* card = page->card(0);
        QVERIFY(card);
        QCOMPARE(card->findChild<QLabel*>(QStringLiteral("label_ServiceVendorName"))->text(),
            QStringLiteral("AutoDiag Levante"));
        // The location line carries its pin icon.
        const QLabel* pin = card->findChild<QLabel*>(QStringLiteral("label_ServiceVendorPosIcon"));
        QVERIFY(pin);
        QVERIFY(!pin->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!pin->isHidden());
        // The pop-up shows the server's markup as text.
        m_host->window.show();
        QTest::mouseClick(card->descriptionLabel(), Qt::LeftButton);
        QVERIFY(card->popup());
        QVERIFY(card->popup()->text().contains(QStringLiteral("&lt;b&gt;Ford&lt;/b&gt; &lt;img src=x&gt;")));
        QVERIFY(card->popup()->isVisible());
        page->search->clear();
        m_controller->ClickButton_VendorSearch();
        QCOMPARE(page->cardCount(), 2);

        // Signing out empties the directory and hides its button.
        m_controller->ClickButton_UserSignOut();
        QCOMPARE(page->cardCount(), 0);
        QVERIFY(!m_host->vendorButton->isVisibleTo(m_host->stack->widget(1)));
    }
};

QTEST_MAIN(TestAccountPages)
#include "tst_account_pages.moc"
