// Throw-away certificates for TLS tests, made with the openssl tool in a
// temporary folder that is removed with the object. Nothing here is real.
#pragma once

#include <QString>
#include <QTemporaryDir>

class TestTls {
public:
    // Creates a test CA and three server certificates:
    //  server    for localhost and 127.0.0.1, signed by the test CA;
    //  otherHost for other.invalid only, signed by the test CA;
    //  untrusted for localhost and 127.0.0.1, signed by a second CA nobody trusts.
    bool create();
    QString lastError() const { return m_error; }

    QString caFile() const { return path(QStringLiteral("ca.pem")); }
    QString serverCert() const { return path(QStringLiteral("server.pem")); }
    QString serverKey() const { return path(QStringLiteral("server.key")); }
    QString otherHostCert() const { return path(QStringLiteral("other.pem")); }
    QString otherHostKey() const { return path(QStringLiteral("other.key")); }
    QString untrustedCert() const { return path(QStringLiteral("untrusted.pem")); }
    QString untrustedKey() const { return path(QStringLiteral("untrusted.key")); }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openssl(const QStringList& args);
    bool makeCa(const QString& name, const QString& subject);
    bool makeServer(const QString& name, const QString& ca, const QString& subject, const QString& altNames);

    QTemporaryDir m_dir;
    QString m_error;
};
