// Test doubles of the account subsystem: an account service that answers
// what a case sets and records what it was asked, a credential store in
// memory, and a window stand-in (page stack, toasts, page requests).
#pragma once

#include "account/AccountService.h"
#include "account/Credentials.h"
#include "kit/Subsystem.h"

#include <QStringList>
#if defined(QT_WIDGETS_LIB)
#include "support/StandInHost.h"

#include <QPushButton>
#endif

#include <atomic>
#include <memory>
#include <mutex>

class FakeAccountService : public AccountService {
public:
    // Answers.
    std::atomic<bool> online{true};
    std::atomic<int> smsResult{200};
    std::atomic<int> codeResult{200};
    std::atomic<int> registerResult{200};
    std::atomic<int> resetResult{200};
    std::atomic<bool> signInLocked{false}; // the service answers 429 to every sign-in
    QString goodPassword = QStringLiteral("secret1");
    QString goodCode = QStringLiteral("123456");
    QString issuedToken = QStringLiteral("tok-A1");
    std::atomic<unsigned> valueStatus{0};

    // What was asked, one line per call ("login a@b.example"; never a password).
    QStringList calls() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    void clearCalls()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

    bool internetOk() override
    {
        record(QStringLiteral("internet"));
        return online;
    }
    int getSmsCode(const QString& phone) override
    {
        record(QStringLiteral("sms ") + phone);
        return smsResult;
    }
    bool phoneLogin(const QString& phone, const QString& code, QString& token) override
    {
        record(QStringLiteral("phone-login ") + phone);
        if (code != goodCode)
            return false;
        token = issuedToken;
        return true;
    }
    int getEmailCode(const QString& email, bool existing) override
    {
        record(QStringLiteral("email-code %1 %2")
                   .arg(email, existing ? QStringLiteral("existing") : QStringLiteral("new")));
        return codeResult;
    }
    int registerEmail(const QString& email, const QString&, const QString&) override
    {
        record(QStringLiteral("register ") + email);
        return registerResult;
    }
    bool emailLogin(const QString& email, const QString& password, QString& token) override
    {
        record(QStringLiteral("login ") + email);
        if (password != goodPassword)
            return false;
        token = issuedToken;
        return true;
    }
    int emailSignIn(const QString& email, const QString& password, QString& token) override
    {
        if (signInLocked) {
            record(QStringLiteral("login ") + email);
            return kTooManyRequests;
        }
        return AccountService::emailSignIn(email, password, token);
    }
    int resetPassword(const QString& email, const QString&, const QString&) override
    {
        record(QStringLiteral("reset ") + email);
        return resetResult;
    }
    void addAdapter(const QString& key, const QString& serial, const QString& model) override
    {
        record(QStringLiteral("add-adapter %1 %2 key=%3").arg(serial, model, key));
    }
    unsigned adapterValue(const QString& key, const QString& name, const QString& language, QString& value) override
    {
        record(QStringLiteral("value %1 %2 key=%3").arg(name, language, key));
        if (valueStatus == 0)
            value = name + QStringLiteral("-value");
        return valueStatus;
    }

private:
    void record(const QString& line)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.append(line);
    }
    mutable std::mutex m_mutex;
    QStringList m_calls;
};

// Shared between the test and the controller's store (which the controller owns).
struct MemoryStoreState {
    std::mutex mutex;
    account::RememberedCredentials credentials;
    int saves = 0;
    bool failLoad = false;
};

class MemoryCredentialStore : public account::CredentialStore {
public:
    explicit MemoryCredentialStore(std::shared_ptr<MemoryStoreState> state)
        : m_state(std::move(state))
    {
    }
    bool load(account::RememberedCredentials& credentials, QString* error) override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->failLoad) {
            if (error)
                *error = QStringLiteral("unreadable");
            return false;
        }
        credentials = m_state->credentials;
        return true;
    }
    bool save(const account::RememberedCredentials& credentials, QString*) override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->credentials = credentials;
        ++m_state->saves;
        return true;
    }
    QString describe() const override { return QStringLiteral("memory"); }

private:
    std::shared_ptr<MemoryStoreState> m_state;
};

#if defined(QT_WIDGETS_LIB)
// The window as the account subsystem sees it: the shared stand-in host with
// every page built as soon as it is registered, and a "Btn_service_vendor"
// button on the remote page as the remote page has it.
class FakeHost : public StandInHost {
public:
    FakeHost()
        : window(*this)
    {
        buildAtOnce = true;
        vendorButton = new QPushButton(stack->widget(Pages::Remote));
        vendorButton->setObjectName(QStringLiteral("Btn_service_vendor"));
        vendorButton->hide();
    }

    QWidget& window;
    QPushButton* vendorButton;
};
#endif
