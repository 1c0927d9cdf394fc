// What the account pages need of the account service: the HttpsServer calls
// behind one interface, so the rules are tested against a fake and the
// window hands in the real library. Every call blocks; callers run them on
// a worker, never on the GUI thread.
#pragma once

#include <QString>

#include <memory>

class HttpsServer;

class AccountService {
public:
    static constexpr int kOk = 200;
    static constexpr int kNoNetwork = 0;
    static constexpr int kRefused = 401;
    static constexpr int kTooManyRequests = 429;

    virtual ~AccountService() = default;

    virtual bool internetOk() = 0;
    // 200 when the SMS was sent.
    virtual int getSmsCode(const QString& phone) = 0;
    virtual bool phoneLogin(const QString& phone, const QString& code, QString& token) = 0;
    // 200 sent, 400 already registered, 404 not registered, 0 no network.
    virtual int getEmailCode(const QString& email, bool forExistingAccount) = 0;
    // 200 registered, 0 no network.
    virtual int registerEmail(const QString& email, const QString& password, const QString& code) = 0;
    virtual bool emailLogin(const QString& email, const QString& password, QString& token) = 0;
    // The same with the reason of a failure: 200, 401 refused, 429 locked
    // for a while, 0 no usable answer.
    virtual int emailSignIn(const QString& email, const QString& password, QString& token)
    {
        return emailLogin(email, password, token) ? kOk : kRefused;
    }
    // 200 changed, 0 no network, 400 code wrong or expired.
    virtual int resetPassword(const QString& email, const QString& newPassword, const QString& code) = 0;
    // The adapter's cloud registration and the values the service keeps for it.
    virtual void addAdapter(const QString& key, const QString& serial, const QString& model) = 0;
    // 0 and the value on success.
    virtual unsigned adapterValue(const QString& key, const QString& name, const QString& language, QString& value) = 0;
};

// The interface on the product's account library (texts as UTF-8).
std::unique_ptr<AccountService> httpsAccountService(HttpsServer& server);
