// Remembered e-mail credentials: the last five addresses with their
// passwords (oldest first), the remember and automatic sign-in flags and the
// e-mail nickname, kept in a CredentialStore: the system keyring when one
// answers, otherwise "UserConfig.ini" (mode 0600) in the user's
// configuration folder.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace account {

struct RememberedCredentials {
    static constexpr int kMaxEntries = 5;

    QStringList users;     // e-mail addresses, oldest first
    QStringList passwords; // index by index with users
    bool remember = false;
    bool autoLogin = false;
    QString nickname;

    // What the sign-in page is filled with at start: the first entries.
    QString lastUser() const { return users.value(0); }
    QString lastPassword() const { return passwords.value(0); }
    // A successful sign-in: a new address is appended (the oldest dropped past
    // five), a remembered one moves to the end with its new password.
    void recordSignIn(const QString& email, const QString& password, bool rememberFlag, bool autoFlag);
    // Automatic sign-in at start needs the flag and both texts.
    bool autoSignInReady() const { return autoLogin && !lastUser().isEmpty() && !lastPassword().isEmpty(); }
    // Lists of unequal length (an edited file) are cut to the shorter one.
    void normalise();
    bool operator==(const RememberedCredentials& other) const;
};

class CredentialStore {
public:
    virtual ~CredentialStore() = default;
    // False with a reason when the store cannot be read; a store that holds
    // nothing yet reads as empty credentials.
    virtual bool load(RememberedCredentials& credentials, QString* error = nullptr) = 0;
    virtual bool save(const RememberedCredentials& credentials, QString* error = nullptr) = 0;
    // Where the credentials are kept, for the log.
    virtual QString describe() const = 0;
};

// "UserConfig.ini" (QSettings INI, group "config") created with mode 0600.
class FileCredentialStore : public CredentialStore {
public:
    explicit FileCredentialStore(QString path);
    bool load(RememberedCredentials& credentials, QString* error = nullptr) override;
    bool save(const RememberedCredentials& credentials, QString* error = nullptr) override;
    QString describe() const override { return m_path; }
    QString path() const { return m_path; }

    // The user's configuration folder of the program (never the working
    // folder; a named instance's own folder below it) + "/UserConfig.ini";
    // empty when the system names no folder.
    static QString defaultPath();

private:
    QString m_path;
};

// The keyring when it answers within its time limit, else the file store at
// its default path; null when neither is possible.
std::unique_ptr<CredentialStore> openCredentialStore();

// Phone mode's nickname file "UserName.ini" (first line only), in the same folder.
QString phoneNicknamePath();
QString readPhoneNickname(const QString& path);
bool writePhoneNickname(const QString& path, const QString& nickname);

} // namespace account
