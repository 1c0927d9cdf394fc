#include "account/AccountController.h"

#include "account/AccountLog.h"
#include "account/AccountPages.h"
#include "account/ServiceVendor.h"

#include "device/AppShared.h"
#include "device/DeviceProfile.h"
#include "kit/GlobalServerUrl.h"
#include "kit/PlacePage.h"
#include "kit/SettingsStore.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

using account::Outcome;

namespace {

constexpr int kToastMs = 1200;
constexpr int kCheckedState = 2;

QString accountText(const char* source)
{
    return QCoreApplication::translate("AccountTexts", source);
}

// A code was sent: its countdown runs (once) and the button waits for it.
void startCodeCountdown(const Outcome& outcome, QTimer* timer, QPushButton* getCode)
{
    if (outcome.action != Outcome::StartCountdown)
        return;
    if (!timer->isActive())
        timer->start();
    getCode->setEnabled(false);
}

} // namespace

AccountController::AccountController(std::unique_ptr<AccountService> service, StoreOpener openStore)
    : m_service(std::move(service))
    , m_openStore(std::move(openStore))
{
}

AccountController::~AccountController()
{
    stop();
}

void AccountController::attach(SubsystemHost& host)
{
    m_host = &host;
    // The window applies a language while it is built, which ends phone mode.
    m_phoneMode = false;
    {
        std::lock_guard<std::mutex> lock(m_languageMutex);
        m_language = SettingsStore::instance().language();
    }
    m_phoneTimer = new QTimer(this);
    m_emailTimer = new QTimer(this);
    m_resetTimer = new QTimer(this);
    for (QTimer* timer : {m_phoneTimer, m_emailTimer, m_resetTimer})
        timer->setInterval(1000);
    connect(m_phoneTimer, &QTimer::timeout, this, &AccountController::on_PauseCodeTimer);
    connect(m_emailTimer, &QTimer::timeout, this, &AccountController::on_PauseCodeTimerEmail);
    connect(m_resetTimer, &QTimer::timeout, this, &AccountController::on_PauseCodeTimerPassWord);

    // Built when first shown: a run that never opens an account page never builds one.
    for (int index : {PageServiceVendor, PagePhoneCentre, PageNickname, PageResetPassword, PageRegister,
             PageEmailCentre, PageChangePassword, PageEmailSignIn, PagePhoneSignIn})
        host.buildOnFirstShow(index, [this, &host](QWidget*) { buildPages(host); });
    connect(this, &AccountController::SendMainDialog, this, &AccountController::SetUserInfo);
    connect(AppShared::instance(), &AppShared::signal, this, [this](SharedSignal code, const QVariant&) {
        if (code == OpenPhoneSignIn)
            ClickButton_UserLogInMain();
    });
    if (auto* stack = host.frame()->findChild<QStackedWidget*>(QStringLiteral("Tab_Stack"))) {
        connect(stack, &QStackedWidget::currentChanged, this, &AccountController::refreshDirectoryButton);
        m_currentPage = stack->currentIndex();
        connect(stack, &QStackedWidget::currentChanged, this, [this](int index) {
            const bool accountPage = m_currentPage >= PagePhoneCentre && m_currentPage <= PagePhoneSignIn;
            if ((index == PageEmailSignIn || index == PagePhoneSignIn) && m_currentPage >= 0 && !accountPage)
                m_signInReturn = m_currentPage;
            m_currentPage = index;
        });
    }
    host.frame()->installEventFilter(this);

    // The remembered credentials (a keyring may take a while to answer, and
    // may first have to be started) and the automatic sign-in run on a
    // worker, begun at the first turn of the event loop: the window is shown
    // before a keyring competes with it for the processor.
    QTimer::singleShot(0, this, [this] { loadRemembered(); });
}

void AccountController::loadRemembered()
{
    startWorker("account-credentials", [this] {
        std::unique_ptr<account::CredentialStore> store = m_openStore ? m_openStore() : nullptr;
        account::RememberedCredentials loaded;
        if (store) {
            QString error;
            if (!store->load(loaded, &error))
                qCWarning(lcAccount) << "remembered credentials not readable:" << error;
        }
        {
            std::lock_guard<std::mutex> lock(m_storeMutex);
            m_store = std::move(store);
        }
        post([this, loaded] { applyLoaded(loaded); });
    });
}

void AccountController::ensurePages() const
{
    if (m_host && !m_emailSignIn)
        m_host->ensurePage(PageEmailSignIn);
}

void AccountController::buildPages(SubsystemHost& host)
{
    if (m_emailSignIn)
        return;
    m_directory = placePage<ServiceVendorPage>(host.pageHost(PageServiceVendor));
    m_phoneCentre = placePage<PhoneCentrePage>(host.pageHost(PagePhoneCentre));
    m_nickname = placePage<NicknamePage>(host.pageHost(PageNickname));
    m_reset = placePage<ResetPasswordPage>(host.pageHost(PageResetPassword));
    m_register = placePage<RegisterPage>(host.pageHost(PageRegister));
    m_emailCentre = placePage<EmailCentrePage>(host.pageHost(PageEmailCentre));
    m_changePassword = placePage<ChangePasswordPage>(host.pageHost(PageChangePassword));
    m_emailSignIn = placePage<EmailSignInPage>(host.pageHost(PageEmailSignIn));
    m_phoneSignIn = placePage<PhoneSignInPage>(host.pageHost(PagePhoneSignIn));
    connectPages();
    // What arrived before the pages existed.
    showNameOnPages();
    if (m_registered) {
        m_emailCentre->adapter->setText(m_registration.text());
        m_emailCentre->adapter->setVisible(true);
    }
}

void AccountController::connectPages()
{
    connect(m_phoneSignIn->getCode, &QPushButton::clicked, this, &AccountController::ClickButton_GetAuthCode);
    connect(m_phoneSignIn->signIn, &QPushButton::clicked, this, &AccountController::ClickButton_UserSignIn);
    connect(m_phoneCentre->signOut, &QPushButton::clicked, this, &AccountController::ClickButton_UserSignOut);
    connect(m_phoneCentre->nickname, &QPushButton::clicked, this, [this] { showPage(PageNickname); });
    connect(m_nickname->confirm, &QPushButton::clicked, this, &AccountController::Modify_nickname);
    connect(m_nickname->nickname, &QLineEdit::returnPressed, this, &AccountController::Modify_nickname);
    connect(m_nickname->back, &QPushButton::clicked, this, &AccountController::ClickButton_UserLogInMain);

    connect(m_register->getCode, &QPushButton::clicked, this, &AccountController::ClickButton_GetAuthCodeEmail);
    connect(m_register->action, &QPushButton::clicked, this, &AccountController::ClickButton_UserRegister);
    connect(m_register->back, &QPushButton::clicked, this, [this] { showPage(PageEmailSignIn); });
    connect(m_reset->getCode, &QPushButton::clicked, this, &AccountController::ClickButton_GetResetPasswordAuthCode);
    connect(m_reset->action, &QPushButton::clicked, this, &AccountController::ClickButton_UserResetPassword);
    connect(m_reset->back, &QPushButton::clicked, this, [this] { showPage(PageEmailSignIn); });

    connect(m_emailSignIn->signIn, &QPushButton::clicked, this, &AccountController::ClickButton_UserLogInEmail);
    connect(m_emailSignIn->password, &QLineEdit::returnPressed, this, &AccountController::ClickButton_UserLogInEmail);
    connect(m_emailSignIn->remember, &QCheckBox::stateChanged, this, &AccountController::RememberPasswordSlots);
    connect(m_emailSignIn->autoSignIn, &QCheckBox::stateChanged, this, &AccountController::AutoSignInSlots);
    m_emailSignIn->toRegister->installEventFilter(this);
    m_emailSignIn->toReset->installEventFilter(this);

    connect(m_emailCentre->changeNickname, &QPushButton::clicked, this, [this] {
        m_nickname->nickname->setText(m_shownName);
        showPage(PageNickname);
    });
    connect(m_emailCentre->changePassword, &QPushButton::clicked, this, &AccountController::Slot_Change_password);
    connect(m_emailCentre->signOut, &QPushButton::clicked, this, &AccountController::ClickButton_UserSignOut);
    connect(m_changePassword->confirm, &QPushButton::clicked, this, &AccountController::Slot_Change_PW);
    connect(m_changePassword->back, &QPushButton::clicked, this, [this] { showPage(PageEmailCentre); });

    connect(m_directory->find, &QPushButton::clicked, this, &AccountController::ClickButton_VendorSearch);
    connect(m_directory->search, &QLineEdit::returnPressed, this, &AccountController::ClickButton_VendorSearch);
    connect(m_directory->back, &QPushButton::clicked, this,
        [this] { showPage(Pages::kTable[PageServiceVendor].returnPage); });
    for (QPushButton* back : {m_emailSignIn->back, m_phoneSignIn->back})
        connect(back, &QPushButton::clicked, this, [this] { showPage(m_signInReturn); });
}

bool AccountController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (m_emailSignIn && watched == m_emailSignIn->toRegister)
            showPage(PageRegister);
        else if (m_emailSignIn && watched == m_emailSignIn->toReset)
            showPage(PageResetPassword);
    }
    if (event->type() == QEvent::LanguageChange && m_host && watched == m_host->frame()) {
        {
            std::lock_guard<std::mutex> lock(m_languageMutex);
            m_language = SettingsStore::instance().language();
        }
        // A language ends phone mode and a phone sign-in with it.
        if (m_phoneMode && m_signedIn)
            signOutState();
        m_phoneMode = false;
    }
    return QObject::eventFilter(watched, event);
}

void AccountController::stop()
{
    m_workers.stopAndJoin();
}

void AccountController::runFlow(
    const QString& name, std::function<Outcome(AccountService&)> flow, std::function<void(const Outcome&)> apply)
{
    if (m_running.contains(name) || m_workers.stopping() || !m_service)
        return;
    m_running.insert(name);
    AccountService* service = m_service.get();
    startWorker(
        "account-" + name.toStdString(),
        [this, name, service, flow, apply] {
            const Outcome outcome = flow(*service);
            post([this, name, outcome, apply] {
                m_running.remove(name);
                apply(outcome);
                emit flowFinished(name);
            });
        },
        [this, name] { m_running.remove(name); });
}

void AccountController::post(std::function<void()> result)
{
    {
        std::lock_guard<std::mutex> lock(m_resultMutex);
        m_results.push_back(std::move(result));
    }
    // Named, so the queued call carries nothing a worker wrote; the results
    // pass through the lock above.
    QMetaObject::invokeMethod(this, "drainResults", Qt::QueuedConnection);
}

void AccountController::drainResults()
{
    std::deque<std::function<void()>> results;
    {
        std::lock_guard<std::mutex> lock(m_resultMutex);
        results.swap(m_results);
    }
    for (const std::function<void()>& result : results)
        result();
}

bool AccountController::startWorker(std::string name, std::function<void()> job, std::function<void()> failed)
{
    try {
        m_workers.start(std::move(name), std::move(job));
        return true;
    } catch (const std::system_error& error) {
        // No thread for it: the action is dropped, the window goes on.
        qCWarning(lcAccount) << "cannot start a worker:" << error.what();
        if (failed)
            failed();
        return false;
    }
}

void AccountController::toast(const QString& text)
{
    if (!text.isEmpty() && m_host)
        m_host->toast(text, kToastMs);
}

void AccountController::showPage(int index)
{
    if (m_host)
        m_host->showPage(index);
}

void AccountController::showHint(const QString& text)
{
    ensurePages();
    QLabel* hint = m_phoneSignIn->hint;
    hint->setText(text);
    QPointer<QLabel> guard(hint);
    QTimer::singleShot(kToastMs, this, [guard, text] {
        if (guard && guard->text() == text)
            guard->clear();
    });
}

// ---- user centre and phone sign-in ----

void AccountController::ClickButton_UserLogInMain()
{
    int page = PageEmailSignIn;
    if (m_signedIn)
        page = m_phoneMode ? PagePhoneCentre : PageEmailCentre;
    else if (m_phoneMode)
        page = PagePhoneSignIn;
    if (m_host)
        m_host->wakeStatusPass();
    showPage(page);
}

void AccountController::ClickButton_GetAuthCode()
{
    ensurePages();
    const QString phone = m_phoneSignIn->phone->text();
    runFlow(
        QStringLiteral("sms-code"), [phone](AccountService& s) { return account::requestSmsCode(s, phone); },
        [this](const Outcome& outcome) {
            toast(outcome.message);
            if (outcome.action != Outcome::StartCountdown)
                return;
            if (!m_phoneTimer->isActive())
                m_phoneTimer->start();
            m_phoneSignIn->getCode->setEnabled(false);
            m_phoneSignIn->signIn->setEnabled(true);
            m_phoneSignIn->signIn->setStyleSheet(account::phoneSignInEnabledStyle());
        });
}

void AccountController::on_PauseCodeTimer()
{
    ensurePages();
    if (m_phoneCountdown.tick()) {
        m_phoneSignIn->showCountdown(m_phoneCountdown.value());
        return;
    }
    m_phoneTimer->stop();
    m_phoneSignIn->showCodeButtonIdle();
}

void AccountController::ClickButton_UserSignIn()
{
    ensurePages();
    const QString phone = m_phoneSignIn->phone->text();
    const QString code = m_phoneSignIn->code->text();
    runFlow(
        QStringLiteral("phone-sign-in"),
        [phone, code](AccountService& s) { return account::phoneSignIn(s, phone, code); },
        [this, phone](const Outcome& outcome) {
            if (outcome.action != Outcome::SignedIn) {
                showHint(outcome.message);
                return;
            }
            emit SendMainDialog(phone, outcome.token);
            m_phoneCountdown.endOnNextTick();
            m_phoneSignIn->signIn->setEnabled(false);
            m_phoneSignIn->signIn->setStyleSheet(account::phoneSignInDisabledStyle());
        });
}

void AccountController::SetUserInfo(const QString& username, const QString& token)
{
    if (username.isEmpty() || token.isEmpty())
        return;
    QString nickname = m_phoneMode ? account::readPhoneNickname(account::phoneNicknamePath()) : m_remembered.nickname;
    showSignedInName(nickname.isEmpty() ? username : nickname, username);
    m_signedIn = true;
    m_token = token;
    toast(accountText(QT_TRANSLATE_NOOP("AccountTexts", "Login Success")));
    showPage(m_phoneMode ? PagePhoneCentre : PageEmailCentre);
    refreshDirectoryButton();
}

void AccountController::showSignedInName(const QString& name, const QString& account)
{
    m_shownName = name;
    m_userName = account;
    showNameOnPages();
    emit AppShared::instance()->signal(SignedInName, QVariant(name));
}

// The user centres show the name once they are built.
void AccountController::showNameOnPages()
{
    if (!m_phoneCentre || m_shownName.isEmpty())
        return;
    m_phoneCentre->shownName->setText(m_shownName);
    m_phoneCentre->nickname->setText(m_shownName);
    m_phoneCentre->userName->setText(m_userName);
    m_emailCentre->nickname->setText(m_shownName);
    m_emailCentre->email->setText(m_userName);
}

void AccountController::Modify_nickname()
{
    ensurePages();
    const QString nickname = m_nickname->nickname->text().trimmed();
    const QString problem = account::nicknameProblem(nickname);
    if (!problem.isEmpty()) {
        toast(problem);
        return;
    }
    if (m_phoneMode) {
        if (!account::writePhoneNickname(account::phoneNicknamePath(), nickname))
            qCWarning(lcAccount) << "cannot write the phone nickname file";
    } else {
        m_remembered.nickname = nickname;
        saveCredentials();
    }
    showSignedInName(nickname, m_userName);
    ClickButton_UserLogInMain();
}

void AccountController::ClickButton_UserSignOut()
{
    signOutState();
    showPage(m_phoneMode ? PagePhoneSignIn : PageEmailSignIn);
}

void AccountController::signOutState()
{
    ensurePages();
    emit AppShared::instance()->signal(SignedInName, QVariant(QString()));
    m_phoneSignIn->phone->clear();
    m_phoneSignIn->code->clear();
    m_signedIn = false;
    m_phoneCountdown.endOnNextTick();
    m_token.clear();
    m_shownName.clear();
    m_allCards.clear();
    m_directory->showCards({});
    refreshDirectoryButton();
}

void AccountController::signInAgainAs(const QString& email)
{
    m_emailSignIn->email->setText(email);
    m_emailSignIn->password->clear();
    showPage(PageEmailSignIn);
}

// ---- e-mail account ----

void AccountController::ClickButton_GetAuthCodeEmail()
{
    ensurePages();
    const QString email = m_register->email->text().trimmed();
    runFlow(
        QStringLiteral("registration-code"),
        [email](AccountService& s) { return account::requestRegistrationCode(s, email); },
        [this](const Outcome& outcome) {
            toast(outcome.message);
            startCodeCountdown(outcome, m_emailTimer, m_register->getCode);
        });
}

void AccountController::ClickButton_UserRegister()
{
    ensurePages();
    const QString email = m_register->email->text().trimmed();
    const QString code = m_register->code->text();
    const QString password = m_register->password->text();
    runFlow(
        QStringLiteral("register"),
        [email, code, password](AccountService& s) { return account::registerAccount(s, email, code, password); },
        [this, email](const Outcome& outcome) {
            toast(outcome.message);
            if (outcome.action != Outcome::ShowSignIn)
                return;
            m_emailCountdown.endOnNextTick();
            m_register->code->clear();
            m_register->password->clear();
            signInAgainAs(email);
        });
}

void AccountController::ClickButton_UserLogInEmail()
{
    ensurePages();
    const QString email = m_emailSignIn->email->text().trimmed();
    const QString password = m_emailSignIn->password->text();
    const bool remember = m_emailSignIn->remember->isChecked();
    const bool automatic = m_emailSignIn->autoSignIn->isChecked();
    runFlow(
        QStringLiteral("email-sign-in"),
        [email, password](AccountService& s) { return account::emailSignIn(s, email, password); },
        [this, email, password, remember, automatic](const Outcome& outcome) {
            if (outcome.action != Outcome::SignedIn) {
                // A failed sign-in leaves the remembered credentials as they are.
                toast(outcome.message);
                return;
            }
            emit SendMainDialog(email, outcome.token);
            m_emailCountdown.endOnNextTick();
            m_resetCountdown.endOnNextTick();
            // Without "remember password" the address is kept, its password not.
            m_remembered.recordSignIn(email, remember ? password : QString(), remember, automatic);
            saveCredentials();
        });
}

void AccountController::ClickButton_GetResetPasswordAuthCode()
{
    ensurePages();
    const QString email = m_reset->email->text().trimmed();
    runFlow(
        QStringLiteral("reset-code"), [email](AccountService& s) { return account::requestResetCode(s, email); },
        [this](const Outcome& outcome) {
            toast(outcome.message);
            startCodeCountdown(outcome, m_resetTimer, m_reset->getCode);
        });
}

void AccountController::ClickButton_UserResetPassword()
{
    ensurePages();
    const QString email = m_reset->email->text().trimmed();
    const QString code = m_reset->code->text();
    const QString password = m_reset->password->text();
    runFlow(
        QStringLiteral("reset"),
        [email, code, password](AccountService& s) { return account::resetPassword(s, email, code, password); },
        [this, email](const Outcome& outcome) {
            toast(outcome.message);
            if (outcome.action != Outcome::ShowSignIn)
                return;
            m_resetCountdown.endOnNextTick();
            m_reset->code->clear();
            m_reset->password->clear();
            signInAgainAs(email);
        });
}

void AccountController::Slot_Change_password()
{
    ensurePages();
    const QString email = m_emailCentre->email->text();
    m_changePassword->code->clear();
    m_changePassword->password->clear();
    m_changePassword->sentTo->setText(account::changeCodeSentText(email));
    runFlow(
        QStringLiteral("change-code"), [email](AccountService& s) { return account::requestChangeCode(s, email); },
        [this](const Outcome& outcome) {
            toast(outcome.message);
            if (outcome.action == Outcome::ShowChangePassword)
                showPage(PageChangePassword);
        });
}

void AccountController::Slot_Change_PW()
{
    ensurePages();
    const QString email = m_emailCentre->email->text();
    const QString code = m_changePassword->code->text();
    const QString password = m_changePassword->password->text();
    runFlow(
        QStringLiteral("change-password"),
        [email, code, password](AccountService& s) { return account::changePassword(s, email, code, password); },
        [this, email](const Outcome& outcome) {
            toast(outcome.message);
            if (outcome.action != Outcome::ShowSignIn)
                return;
            m_resetCountdown.endOnNextTick();
            // The service ended the session with the old password: sign in again.
            signOutState();
            signInAgainAs(email);
        });
}

void AccountController::AutoSignInSlots(int state)
{
    if (state != 0 && state != kCheckedState)
        return;
    m_remembered.autoLogin = state == kCheckedState;
    saveCredentials();
}

void AccountController::RememberPasswordSlots(int state)
{
    if (state != 0 && state != kCheckedState)
        return;
    m_remembered.remember = state == kCheckedState;
    // Unchecked: the passwords kept so far are forgotten too, not only the next one.
    if (!m_remembered.remember) {
        for (QString& password : m_remembered.passwords)
            password.clear();
    }
    saveCredentials();
}

void AccountController::on_PauseCodeTimerEmail()
{
    ensurePages();
    if (m_emailCountdown.tick()) {
        m_register->showCountdown(m_emailCountdown.value());
        return;
    }
    m_emailTimer->stop();
    m_register->showCodeButtonIdle();
}

void AccountController::on_PauseCodeTimerPassWord()
{
    ensurePages();
    if (m_resetCountdown.tick()) {
        m_reset->showCountdown(m_resetCountdown.value());
        return;
    }
    m_resetTimer->stop();
    m_reset->showCodeButtonIdle();
}

// ---- remembered credentials ----

void AccountController::applyLoaded(const account::RememberedCredentials& loaded)
{
    m_remembered = loaded;
    m_credentialsLoaded = true;
    if (loaded.remember || loaded.autoLogin) {
        ensurePages();
        const QSignalBlocker rememberBlock(m_emailSignIn->remember);
        const QSignalBlocker autoBlock(m_emailSignIn->autoSignIn);
        if (loaded.remember) {
            m_emailSignIn->remember->setChecked(true);
            m_emailSignIn->email->setText(loaded.lastUser());
            m_emailSignIn->password->setText(loaded.lastPassword());
        }
        if (loaded.autoLogin)
            m_emailSignIn->autoSignIn->setChecked(true);
    }
    emit credentialsLoaded();
    if (!m_phoneMode && loaded.autoSignInReady())
        autoSignIn();
}

void AccountController::autoSignIn()
{
    const QString email = m_remembered.lastUser();
    const QString password = m_remembered.lastPassword();
    runFlow(
        QStringLiteral("auto-sign-in"),
        [email, password](AccountService& s) { return account::emailSignIn(s, email, password); },
        [this, email](const Outcome& outcome) {
            if (outcome.action != Outcome::SignedIn) {
                qCInfo(lcAccount) << "automatic sign-in did not succeed";
                return;
            }
            m_signedIn = true;
            m_token = outcome.token;
            showSignedInName(email, email);
            refreshDirectoryButton();
        });
}

void AccountController::saveCredentials()
{
    const account::RememberedCredentials copy = m_remembered;
    const quint64 sequence = ++m_saveIssued;
    startWorker("account-credentials-save", [this, copy, sequence] {
        std::lock_guard<std::mutex> lock(m_storeMutex);
        // A later save may have written already; an older record must not replace it.
        if (!m_store || sequence < m_saveWritten)
            return;
        QString error;
        if (!m_store->save(copy, &error))
            qCWarning(lcAccount) << "cannot keep the remembered credentials:" << error;
        m_saveWritten = sequence;
    });
}

// ---- technician directory ----

void AccountController::refreshDirectoryButton()
{
    if (!m_host)
        return;
    if (!m_vendorButton) {
        m_vendorButton = m_host->frame()->findChild<QPushButton*>(QStringLiteral("Btn_service_vendor"));
        if (m_vendorButton)
            connect(m_vendorButton, &QPushButton::clicked, this, &AccountController::ClickButton_ShowServiceInfo);
    }
    // Only a signed-in user may use the directory.
    if (m_vendorButton)
        m_vendorButton->setVisible(m_signedIn);
}

void AccountController::ClickButton_ShowServiceInfo()
{
    if (m_token.isEmpty()) {
        showPage(m_phoneMode ? PagePhoneSignIn : PageEmailSignIn);
        return;
    }
    showPage(PageServiceVendor);
    loadDirectory();
}

void AccountController::loadDirectory()
{
    ensurePages();
    if (m_running.contains(QStringLiteral("directory")) || m_workers.stopping())
        return;
    m_running.insert(QStringLiteral("directory"));
    m_directory->setStatus(tr("Loading technicians..."));
    const QString base = m_directoryBase.isEmpty() ? globalServerUrl() : m_directoryBase;
    const QString token = m_token;
    const bool phoneMode = m_phoneMode;
    const account::HttpGet get = m_directoryGet ? m_directoryGet : account::chvHttpGet();
    startWorker(
        "account-directory",
        [this, base, token, phoneMode, get] {
            account::DirectoryFetcher fetcher(base, token, get);
            fetcher.loadConfigs();
            fetcher.fetchTechnicians(0, account::kDirectoryPageSize, phoneMode);
            const QVector<account::TechnicianCard> cards = fetcher.cards();
            const bool accepted = fetcher.tokenAccepted();
            post([this, cards, accepted] {
                m_running.remove(QStringLiteral("directory"));
                m_allCards = cards;
                m_directory->showCards(cards);
                if (!accepted)
                    m_directory->setStatus(tr("Your session has ended. Please sign in again."));
                else
                    m_directory->setStatus(cards.isEmpty() ? tr("No technicians are listed.") : QString());
                emit directoryShown(cards.size());
            });
        },
        [this] { m_running.remove(QStringLiteral("directory")); });
}

void AccountController::ClickButton_VendorSearch()
{
    ensurePages();
    const QVector<account::TechnicianCard> found = account::filterCards(m_allCards, m_directory->search->text());
    m_directory->showCards(found);
    m_directory->setStatus(
        found.isEmpty() && !m_allCards.isEmpty() ? tr("No technician matches the search.") : QString());
    emit directoryShown(found.size());
}

// ---- the adapter's cloud registration ----

bool AccountController::statusPass(bool changed)
{
    AppShared* shared = AppShared::instance();
    // The adapter's own key from its status record: it stays the same for the
    // adapter's life, unlike the remote verification code, which the user changes.
    const DeviceInfo info = shared->deviceInfo();
    const QString serial = info.SN;
    const QString key = info.key;
    if (key.isEmpty() || !m_schedule.begin(serial, QDateTime::currentMSecsSinceEpoch()))
        return changed;
    QString model = shared->deviceProfile().modelCode;
    if (model.isEmpty())
        model = deviceNameFor(serial);
    QString language;
    {
        std::lock_guard<std::mutex> lock(m_languageMutex);
        language = m_language;
    }
    AccountService* service = m_service.get();
    const bool started = startWorker("adapter-registration", [this, service, key, serial, model, language] {
        account::AdapterRegistration result;
        const bool kept = service && account::registerAdapter(*service, key, serial, model, language, result);
        m_schedule.finish(serial, kept, QDateTime::currentMSecsSinceEpoch());
        if (!kept)
            return;
        qCInfo(lcAccount) << "adapter" << serial << "registered with the account service";
        post([this, result] {
            m_registration = result;
            m_registered = true;
            if (m_emailCentre) {
                m_emailCentre->adapter->setText(result.text());
                m_emailCentre->adapter->setVisible(true);
            }
            emit adapterRegistered();
        });
    });
    if (!started)
        m_schedule.finish(serial, false, QDateTime::currentMSecsSinceEpoch());
    return changed;
}
