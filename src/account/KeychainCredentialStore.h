// Remembered credentials in the system keyring (QtKeychain: the Secret
// Service on Linux, the Credential Manager on Windows), one entry holding the
// whole record as JSON. The keyring jobs run on the application's thread
// (the keyring libraries answer through its event loop); a call from a
// worker waits at most kWaitMs for its answer, a call from the
// application's thread runs that loop meanwhile (tests only: the window
// never waits for the keyring).
#pragma once

#include "account/Credentials.h"

namespace account {

class KeychainCredentialStore : public CredentialStore {
public:
    static constexpr int kWaitMs = 5000;

    explicit KeychainCredentialStore(
        QString service = QStringLiteral("Brindlewick"), QString key = QStringLiteral("UserConfig"));
    bool load(RememberedCredentials& credentials, QString* error = nullptr) override;
    bool save(const RememberedCredentials& credentials, QString* error = nullptr) override;
    QString describe() const override;

    // True when the keyring takes an entry (a small probe entry is written);
    // the reason otherwise: no keyring, no default collection, a locked one.
    static bool available(QString* why = nullptr, const QString& service = QStringLiteral("Brindlewick"));

    // The record as the entry holds it, and back (tests).
    static QByteArray encode(const RememberedCredentials& credentials);
    static bool decode(const QByteArray& data, RememberedCredentials& credentials);

private:
    QString m_service;
    QString m_key;
};

} // namespace account
