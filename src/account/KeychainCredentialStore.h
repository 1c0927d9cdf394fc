// Remembered credentials in the system keyring (QtKeychain: the Secret
// Service on Linux, the Credential Manager on Windows), one entry holding the
// whole record as JSON. Every keyring call waits at most kWaitMs; the calling
// thread runs its own event loop meanwhile (a worker, never the GUI thread).
#pragma once

#include "account/Credentials.h"

namespace account {

class KeychainCredentialStore : public CredentialStore {
public:
    static constexpr int kWaitMs = 5000;

    explicit KeychainCredentialStore(QString service = QStringLiteral("Brindlewick"),
        QString key = QStringLiteral("UserConfig"));
    bool load(RememberedCredentials& credentials, QString* error = nullptr) override;
    bool save(const RememberedCredentials& credentials, QString* error = nullptr) override;
    QString describe() const override;

    // True when a keyring answers (an entry or "no such entry"); the reason otherwise.
    static bool available(QString* why = nullptr, const QString& service = QStringLiteral("Brindlewick"));

    // The record as the entry holds it, and back (tests).
    static QByteArray encode(const RememberedCredentials& credentials);
    static bool decode(const QByteArray& data, RememberedCredentials& credentials);

private:
    QString m_service;
    QString m_key;
};

} // namespace account
