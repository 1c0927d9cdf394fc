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

    QString caFile() const { return path("ca.pem"); }
    QString serverCert() const { return path("server.pem"); }
    QString serverKey() const { return path("server.key"); }
    QString otherHostCert() const { return path("other.pem"); }
    QString otherHostKey() const { return path("other.key"); }
    QString untrustedCert() const { return path("untrusted.pem"); }
    QString untrustedKey() const { return path("untrusted.key"); }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openssl(const QStringList& args);
    bool makeCa(const QString& name, const QString& subject);
    bool makeServer(const QString& name, const QString& ca, const QString& subject, const QString& altNames);

    QTemporaryDir m_dir;
    QString m_error;
};
