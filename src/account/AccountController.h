// The account subsystem of the main window: phone and e-mail sign-in,
// registration, password reset and change, the nickname, remembered
// credentials with automatic sign-in at start, the technician directory
// (page 6) and the adapter's cloud registration. Every account call and
// every credential store access runs on the controller's workers; the GUI
// thread only applies their outcomes.
//
// Bus: code 2 opens the user centre (ClickButton_UserLogInMain); code 5
// carries the shown name (empty on sign-out).
#pragma once

#include "account/AccountFlows.h"
#include "account/AccountService.h"
#include "account/AdapterRegistration.h"
#include "account/Credentials.h"
#include "account/TechnicianDirectory.h"
#include "kit/Pages.h"
#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QPointer>
#include <QSet>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class QPushButton;
class QTimer;
class PhoneSignInPage;
class PhoneCentrePage;
class NicknamePage;
class RegisterPage;
class ResetPasswordPage;
class EmailCentrePage;
class ChangePasswordPage;
class EmailSignInPage;
class ServiceVendorPage;

class AccountController : public QObject, public Subsystem {
    Q_OBJECT
public:
    // The account's pages in the window's page table.
    static constexpr int PageServiceVendor = Pages::ServiceVendor;
    static constexpr int PagePhoneCentre = Pages::UserCenter;
    static constexpr int PageNickname = Pages::ModifyName;
    static constexpr int PageResetPassword = Pages::RetrievePassword;
    static constexpr int PageRegister = Pages::RegisterAccount;
    static constexpr int PageEmailCentre = Pages::UserCenterEn;
    static constexpr int PageChangePassword = Pages::ChangePassword;
    static constexpr int PageEmailSignIn = Pages::UserLoginEn;
    static constexpr int PagePhoneSignIn = Pages::UserLoginPhone;
    using StoreOpener = std::function<std::unique_ptr<account::CredentialStore>()>;

    explicit AccountController(
        std::unique_ptr<AccountService> service, StoreOpener openStore = account::openCredentialStore);
    ~AccountController() override;

    void attach(SubsystemHost& host) override;
    bool statusPass(bool changed) override;
    void stop() override;

    // Phone mode. The window applies a language while it is built, and every
    // language application leaves phone mode, so the phone pages are reached
    // only through this seam (tests).
    void setPhoneSignInMode(bool on) { m_phoneMode = on; }
    bool phoneSignInMode() const { return m_phoneMode; }
    bool signedIn() const { return m_signedIn; }
    QString userToken() const { return m_token; }
    QString shownName() const { return m_shownName; }
    account::RememberedCredentials remembered() const { return m_remembered; }
    account::AdapterRegistration adapterRegistration() const { return m_registration; }
    // The directory's server (default: the account library's base address).
    void setDirectoryBase(const QString& base) { m_directoryBase = base; }
    void setDirectoryGet(account::HttpGet get) { m_directoryGet = std::move(get); }

    PhoneSignInPage* phoneSignInPage() const
    {
        ensurePages();
        return m_phoneSignIn;
    }
    PhoneCentrePage* phoneCentrePage() const
    {
        ensurePages();
        return m_phoneCentre;
    }
    NicknamePage* nicknamePage() const
    {
        ensurePages();
        return m_nickname;
    }
    RegisterPage* registerPage() const
    {
        ensurePages();
        return m_register;
    }
    ResetPasswordPage* resetPage() const
    {
        ensurePages();
        return m_reset;
    }
    EmailCentrePage* emailCentrePage() const
    {
        ensurePages();
        return m_emailCentre;
    }
    ChangePasswordPage* changePasswordPage() const
    {
        ensurePages();
        return m_changePassword;
    }
    EmailSignInPage* emailSignInPage() const
    {
        ensurePages();
        return m_emailSignIn;
    }
    ServiceVendorPage* directoryPage() const
    {
        ensurePages();
        return m_directory;
    }
    QTimer* phoneCodeTimer() const { return m_phoneTimer; }
    QTimer* emailCodeTimer() const { return m_emailTimer; }
    QTimer* resetCodeTimer() const { return m_resetTimer; }

public slots:
    // Phone sign-in and the user centre.
    void ClickButton_UserLogInMain();
    void ClickButton_GetAuthCode();
    void ClickButton_UserSignIn();
    void ClickButton_UserSignOut();
    void Modify_nickname();
    void on_PauseCodeTimer();
    void SetUserInfo(const QString& username, const QString& token);
    // E-mail account.
    void ClickButton_GetAuthCodeEmail();
    void ClickButton_UserRegister();
    void ClickButton_UserLogInEmail();
    void ClickButton_GetResetPasswordAuthCode();
    void ClickButton_UserResetPassword();
    void Slot_Change_password();
    void Slot_Change_PW();
    void AutoSignInSlots(int state);
    void RememberPasswordSlots(int state);
    void on_PauseCodeTimerEmail();
    void on_PauseCodeTimerPassWord();
    // Technician directory.
    void ClickButton_ShowServiceInfo();
    void ClickButton_VendorSearch();

signals:
    void SendMainDialog(const QString& username, const QString& token);
    // Tests and the log: the remembered credentials were read at start.
    void credentialsLoaded();
    // An account action's outcome was applied (its name, e.g. "email-sign-in").
    void flowFinished(const QString& name);
    void directoryShown(int cards);
    void adapterRegistered();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    // Runs the results the workers posted (GUI thread).
    void drainResults();

private:
    // The pages are built together, the first time one of them is shown or
    // something needs them.
    void ensurePages() const;
    void buildPages(SubsystemHost& host);
    void connectPages();
    // Runs `flow` on a worker (one of each name at a time) and `apply` with its outcome on the GUI thread.
    void runFlow(const QString& name, std::function<account::Outcome(AccountService&)> flow,
        std::function<void(const account::Outcome&)> apply);
    // A worker hands `result` to the GUI thread, where it runs.
    void post(std::function<void()> result);
    // Starts a worker; false (after `failed`) when no thread can be made.
    bool startWorker(std::string name, std::function<void()> job, std::function<void()> failed = {});
    void toast(const QString& text);
    void showPage(int index);
    void showHint(const QString& text);
    void loadRemembered();
    void applyLoaded(const account::RememberedCredentials& loaded);
    void autoSignIn();
    void saveCredentials();
    void showSignedInName(const QString& name, const QString& account);
    void showNameOnPages();
    void signOutState();
    // The e-mail sign-in page with `email` filled in and no password.
    void signInAgainAs(const QString& email);
    void refreshDirectoryButton();
    void loadDirectory();

    std::unique_ptr<AccountService> m_service;
    StoreOpener m_openStore;
    SubsystemHost* m_host = nullptr;

    // GUI-thread state.
    bool m_phoneMode = true;
    bool m_signedIn = false;
    QString m_token;
    QString m_userName;
    QString m_shownName;
    account::RememberedCredentials m_remembered;
    bool m_credentialsLoaded = false;
    account::CodeCountdown m_phoneCountdown;
    account::CodeCountdown m_emailCountdown;
    account::CodeCountdown m_resetCountdown;
    QSet<QString> m_running;
    QVector<account::TechnicianCard> m_allCards;
    QString m_directoryBase;
    account::HttpGet m_directoryGet;
    account::AdapterRegistration m_registration;
    bool m_registered = false;
    QPointer<QPushButton> m_vendorButton;

    QTimer* m_phoneTimer = nullptr;
    QTimer* m_emailTimer = nullptr;
    QTimer* m_resetTimer = nullptr;
    PhoneSignInPage* m_phoneSignIn = nullptr;
    PhoneCentrePage* m_phoneCentre = nullptr;
    NicknamePage* m_nickname = nullptr;
    RegisterPage* m_register = nullptr;
    ResetPasswordPage* m_reset = nullptr;
    EmailCentrePage* m_emailCentre = nullptr;
    ChangePasswordPage* m_changePassword = nullptr;
    EmailSignInPage* m_emailSignIn = nullptr;
    ServiceVendorPage* m_directory = nullptr;
    // The window's page now, and where the sign-in pages' back button leads:
    // the last page outside the account pages (the settings page by default).
    int m_currentPage = -1;
    int m_signInReturn = Pages::Settings;

    // Shared with the workers.
    std::mutex m_storeMutex; // the store and the save order
    std::unique_ptr<account::CredentialStore> m_store;
    quint64 m_saveIssued = 0;  // GUI thread
    quint64 m_saveWritten = 0; // under m_storeMutex
    std::mutex m_languageMutex;
    QString m_language = QStringLiteral("es");
    account::RegistrationSchedule m_schedule;
    std::mutex m_resultMutex;
    std::deque<std::function<void()>> m_results;

    WorkerGroup m_workers;
};
