// The rules of the account pages without widgets: what each button does
// with the fields it reads, which account call it makes and what the page
// shows and does with the answer. Each flow checks its fields, makes at
// most one blocking call and returns an Outcome; the controller runs flows
// on a worker and applies the outcome on the GUI thread.
#pragma once

#include "account/AccountService.h"

#include <QString>

namespace account {

struct Outcome {
    enum Action {
        None,               // only the message, if any
        StartCountdown,     // a code was sent: start the page's countdown, disable its code button
        SignedIn,           // token holds the bearer token
        ShowSignIn,         // the action succeeded: back to the e-mail sign-in page
        ShowChangePassword, // the change-password page
    };
    Action action = None;
    QString message; // translated text for a toast or the page's hint; empty: say nothing
    QString token;
    bool operator==(const Outcome& other) const
    {
        return action == other.action && message == other.message && token == other.token;
    }
};

// Eleven digits starting with 1 and a second digit 3 to 9 (or "|").
bool phoneNumberValid(const QString& phone);
// The account service's address check (local part, "@", labels).
bool emailValid(const QString& email);

// Phone sign-in.
Outcome requestSmsCode(AccountService& service, const QString& phone);
Outcome phoneSignIn(AccountService& service, const QString& phone, const QString& code);

// E-mail account.
Outcome requestRegistrationCode(AccountService& service, const QString& email);
Outcome registerAccount(AccountService& service, const QString& email, const QString& code, const QString& password);
Outcome emailSignIn(AccountService& service, const QString& email, const QString& password);
Outcome requestResetCode(AccountService& service, const QString& email);
Outcome resetPassword(AccountService& service, const QString& email, const QString& code, const QString& password);
// Changing the password of the signed-in address.
Outcome requestChangeCode(AccountService& service, const QString& email);
Outcome changePassword(AccountService& service, const QString& email, const QString& code, const QString& password);

// Text of the change-password page before its code is asked for.
QString changeCodeSentText(const QString& email);
// The nickname check: empty text -> the message, else empty.
QString nicknameProblem(const QString& nickname);

// The code buttons' countdown: 60 seconds from a sent code, ended early
// (on the next tick) by a successful sign-in or action.
class CodeCountdown {
public:
    static constexpr int kStart = 60;
    // One second passed. True while it still runs (value() is the number to
    // show); false when it ended, after which it stands at kStart again.
    bool tick();
    void endOnNextTick() { m_value = 1; }
    int value() const { return m_value; }

private:
    int m_value = kStart;
};

// Styles of the account buttons.
QString phoneSignInEnabledStyle();
QString phoneSignInDisabledStyle();
QString codeButtonIdleStyle();
QString actionButtonStyle(bool enabled);

} // namespace account
