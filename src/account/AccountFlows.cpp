#include "account/AccountFlows.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace account {

namespace {

QString text(const char* source)
{
    return QCoreApplication::translate("AccountTexts", source);
}

Outcome say(const char* source)
{
    Outcome outcome;
    outcome.message = text(source);
    return outcome;
}

Outcome act(Outcome::Action action, const char* source = nullptr)
{
    Outcome outcome;
    outcome.action = action;
    if (source)
        outcome.message = text(source);
    return outcome;
}

constexpr int kMinPasswordLength = 6;

Outcome signedIn(const QString& token)
{
    Outcome outcome = act(Outcome::SignedIn);
    outcome.token = token;
    return outcome;
}

// The answer to a request for an e-mail code; 400 and 404 have their own
// words where given, anything else unknown is a failure.
Outcome codeAnswer(int result, const char* on400, const char* on404)
{
    switch (result) {
    case 200:
        return act(Outcome::StartCountdown);
    case 400:
        if (on400)
            return say(on400);
        break;
    case 404:
        if (on404)
            return say(on404);
        break;
    case AccountService::kTooManyRequests:
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Too many codes requested. Please try again later."));
    default:
        break;
    }
    return say(QT_TRANSLATE_NOOP("AccountTexts", "Failed to get code!"));
}

// The checks of a form with a code and a new password, in order, before any
// call: the address (only where `noEmail` is given), the code, the length.
const char* passwordFormProblem(const QString& email, const char* noEmail, const QString& code, const QString& password)
{
    if (noEmail && email.isEmpty())
        return noEmail;
    if (code.isEmpty())
        return QT_TRANSLATE_NOOP("AccountTexts", "The verification code cannot be empty");
    if (password.size() < kMinPasswordLength)
        return QT_TRANSLATE_NOOP("AccountTexts", "The password must be at least 6 characters long!");
    return nullptr;
}

// The answer to such a form: 200 leads to the sign-in page with `success`,
// 0 is no network, 400 says `on400`, anything else `otherwise` (or nothing).
Outcome passwordFormAnswer(int result, const char* success, const char* on400, const char* otherwise)
{
    switch (result) {
    case 200:
        return act(Outcome::ShowSignIn, success);
    case 0:
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Network Connection Down!"));
    case 400:
        return say(on400);
    default:
        return otherwise ? say(otherwise) : Outcome();
    }
}

const char* const kCodeRejected
    = QT_TRANSLATE_NOOP("AccountTexts", "Invalid verification code or verification code expired!");

} // namespace

bool phoneNumberValid(const QString& phone)
{
    static const QRegularExpression pattern(QStringLiteral("^1[3|4|5|6|7|8|9][0-9]{9}$"));
    return pattern.match(phone).hasMatch();
}

bool emailValid(const QString& email)
{
    // As the product checks it: the "." between labels is any character.
    static const QRegularExpression pattern(
        QStringLiteral("^[a-zA-Z0-9.!#$%&'*+/=?^_`{|}~-]+@[a-zA-Z0-9](?:[a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?"
                       "(?:.[a-zA-Z0-9](?:[a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?)*$"));
    return pattern.match(email).hasMatch();
}

Outcome requestSmsCode(AccountService& service, const QString& phone)
{
    if (!phoneNumberValid(phone))
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Mobile number format error!"));
    if (service.getSmsCode(phone) != AccountService::kOk)
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Failed to get code!"));
    return act(Outcome::StartCountdown);
}

Outcome phoneSignIn(AccountService& service, const QString& phone, const QString& code)
{
    if (phone.isEmpty() || code.isEmpty())
        return say(QT_TRANSLATE_NOOP("AccountTexts", "The mobile phone number or verification code is empty"));
    QString token;
    if (!service.phoneLogin(phone, code, token) || token.isEmpty())
        return say(
            QT_TRANSLATE_NOOP("AccountTexts", "Login failed, please make sure the verification code is correct"));
    return signedIn(token);
}

Outcome requestRegistrationCode(AccountService& service, const QString& email)
{
    if (!emailValid(email))
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Email Error!"));
    return codeAnswer(service.getEmailCode(email, false),
        QT_TRANSLATE_NOOP("AccountTexts", "Email has been registered!"),
        QT_TRANSLATE_NOOP("AccountTexts", "Email does not exist!"));
}

Outcome registerAccount(AccountService& service, const QString& email, const QString& code, const QString& password)
{
    if (const char* problem = passwordFormProblem(
            email, QT_TRANSLATE_NOOP("AccountTexts", "The email address cannot be empty"), code, password))
        return say(problem);
    const char* failed = QT_TRANSLATE_NOOP("AccountTexts", "Registration Failed!");
    return passwordFormAnswer(service.registerEmail(email, password, code),
        QT_TRANSLATE_NOOP("AccountTexts", "Successful Registration"), failed, failed);
}

Outcome emailSignIn(AccountService& service, const QString& email, const QString& password)
{
    if (email.isEmpty() || password.isEmpty())
        return say(QT_TRANSLATE_NOOP("AccountTexts", "The email cannot be empty!"));
    QString token;
    const int result = service.emailSignIn(email, password, token);
    if (result == AccountService::kTooManyRequests)
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Too many failed sign-ins. Please try again later."));
    if (result != AccountService::kOk || token.isEmpty())
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Login failure, email or password is incorrect!"));
    return signedIn(token);
}

Outcome requestResetCode(AccountService& service, const QString& email)
{
    if (email.isEmpty())
        return say(QT_TRANSLATE_NOOP("AccountTexts", "The email address cannot be empty!"));
    if (!email.contains(QLatin1Char('@')))
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Email address error!"));
    return codeAnswer(
        service.getEmailCode(email, true), nullptr, QT_TRANSLATE_NOOP("AccountTexts", "This email is not registered!"));
}

Outcome resetPassword(AccountService& service, const QString& email, const QString& code, const QString& password)
{
    if (const char* problem
        = passwordFormProblem(email, QT_TRANSLATE_NOOP("AccountTexts", "The mailbox cannot be empty"), code, password))
        return say(problem);
    return passwordFormAnswer(service.resetPassword(email, password, code),
        QT_TRANSLATE_NOOP("AccountTexts", "Reset Password Succeeded"), kCodeRejected, nullptr);
}

Outcome requestChangeCode(AccountService& service, const QString& email)
{
    switch (service.getEmailCode(email, true)) {
    case 200:
        return act(Outcome::ShowChangePassword);
    case 404:
        return Outcome();
    default:
        return say(QT_TRANSLATE_NOOP("AccountTexts", "Failed to get code!re-enter this interface"));
    }
}

// As the reset, without the address check: other answers say nothing.
Outcome changePassword(AccountService& service, const QString& email, const QString& code, const QString& password)
{
    if (const char* problem = passwordFormProblem(email, nullptr, code, password))
        return say(problem);
    return passwordFormAnswer(service.resetPassword(email, password, code),
        QT_TRANSLATE_NOOP("AccountTexts", "modify Password Succeeded,Please log in again"), kCodeRejected, nullptr);
}

QString changeCodeSentText(const QString& email)
{
    return text(QT_TRANSLATE_NOOP("AccountTexts", "Verification code will be sent to your email address: ")) + email;
}

QString nicknameProblem(const QString& nickname)
{
    return nickname.isEmpty() ? text(QT_TRANSLATE_NOOP("AccountTexts", "Name is empty, please re-enter")) : QString();
}

bool CodeCountdown::tick()
{
    if (m_value >= 2) {
        --m_value;
        return true;
    }
    m_value = kStart;
    return false;
}

QString phoneSignInEnabledStyle()
{
    return QStringLiteral(
        "background-color: #02a7f0;color: rgb(255, 255, 255);border-style:none;border-radius:8px;font-size:16px");
}

QString phoneSignInDisabledStyle()
{
    return QStringLiteral("background-color: rgb(215,215,215);color: rgb(255, 255, "
                          "255);border-style:none;border-radius:8px;font-size:16px");
}

QString codeButtonIdleStyle()
{
    return QStringLiteral("color:rgb(2, 167, 240);background-color:rgb(255, 255, 255);font-size:13px;border-radius:5px;"
                          "font-family:Microsoft YaHei UI;border-style:none;");
}

QString actionButtonStyle(bool enabled)
{
    return QStringLiteral("color:rgb(255, 255, 255);background-color:%1;border-radius:8px;border-style:none;"
                          "font-size:16px;font-family:Microsoft YaHei UI;")
        .arg(enabled ? QStringLiteral("rgb(2, 167, 240)") : QStringLiteral("rgb(215, 215, 215)"));
}

} // namespace account
