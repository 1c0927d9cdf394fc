#include "account/AccountService.h"

#include "HttpsServer.h"

namespace {

std::string utf8(const QString& text)
{
    return text.toStdString();
}

class HttpsAccountService : public AccountService {
public:
    explicit HttpsAccountService(HttpsServer& server)
        : m_server(server)
    {
    }

    bool internetOk() override { return HttpsServer::InternetOk(); }
    int getSmsCode(const QString& phone) override
    {
        std::string number = utf8(phone);
        return m_server.GetSMSAuthCode(number);
    }
    bool phoneLogin(const QString& phone, const QString& code, QString& token) override
    {
        std::string number = utf8(phone);
        std::string sms = utf8(code);
        std::string answer;
        const bool ok = m_server.UserLogin(number, sms, answer);
        token = ok ? QString::fromStdString(answer) : QString();
        return ok && !token.isEmpty();
    }
    int getEmailCode(const QString& email, bool forExistingAccount) override
    {
        return m_server.GetEmailAuthCode(utf8(email), forExistingAccount);
    }
    int registerEmail(const QString& email, const QString& password, const QString& code) override
    {
        return m_server.EmailUserRegister(utf8(email), utf8(password), utf8(code));
    }
    bool emailLogin(const QString& email, const QString& password, QString& token) override
    {
        return emailSignIn(email, password, token) == kOk;
    }
    int emailSignIn(const QString& email, const QString& password, QString& token) override
    {
        std::string answer;
        const int result = m_server.UserLoginEmailResult(utf8(email), utf8(password), answer);
        token = result == kOk ? QString::fromStdString(answer) : QString();
        return result == kOk && token.isEmpty() ? kNoNetwork : result;
    }
    int resetPassword(const QString& email, const QString& newPassword, const QString& code) override
    {
        return m_server.EmailUserResetPassword(utf8(email), utf8(newPassword), utf8(code));
    }
    void addAdapter(const QString& key, const QString& serial, const QString& model) override
    {
        m_server.AddVci(utf8(key), utf8(serial), utf8(model));
    }
    unsigned adapterValue(const QString& key, const QString& name, const QString& language, QString& value) override
    {
        std::string answer;
        const unsigned status = m_server.keyGetValue(utf8(key), utf8(name), utf8(language), answer);
        if (status == 0)
            value = QString::fromStdString(answer);
        return status;
    }

private:
    HttpsServer& m_server;
};

} // namespace

std::unique_ptr<AccountService> httpsAccountService(HttpsServer& server)
{
    return std::make_unique<HttpsAccountService>(server);
}
