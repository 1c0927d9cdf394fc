#include "TestTls.h"

#include <QFile>
#include <QProcess>

namespace {

// A fresh P-256 key without a pass phrase into keyFile: the first arguments of
// every certificate request made here.
QStringList newEcKey(const QString& keyFile)
{
    return {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), keyFile};
}

} // namespace

bool TestTls::openssl(const QStringList& args)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral("openssl"), args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("openssl ") + args.join(QLatin1Char(' ')) + QLatin1String(": ")
            + QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    return true;
}

bool TestTls::makeCa(const QString& name, const QString& subject)
{
    return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + newEcKey(name + QLatin1String(".key"))
        + QStringList{QStringLiteral("-out"), name + QLatin1String(".pem"), QStringLiteral("-days"),
            QStringLiteral("2"), QStringLiteral("-subj"), subject, QStringLiteral("-addext"),
            QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
            QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
}

bool TestTls::makeServer(const QString& name, const QString& ca, const QString& subject, const QString& altNames)
{
    QFile ext(path(name + QLatin1String(".ext")));
    if (!ext.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write ") + ext.fileName();
        return false;
    }
    ext.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\nsubjectAltName="
        + altNames.toUtf8() + "\n");
    ext.close();
    return openssl(QStringList{QStringLiteral("req")} + newEcKey(name + QLatin1String(".key"))
               + QStringList{QStringLiteral("-out"), name + QLatin1String(".csr"), QStringLiteral("-subj"), subject})
        && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), name + QLatin1String(".csr"),
            QStringLiteral("-CA"), ca + QLatin1String(".pem"), QStringLiteral("-CAkey"), ca + QLatin1String(".key"),
            QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), name + QLatin1String(".pem"),
            QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), name + QLatin1String(".ext")});
}

bool TestTls::create()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    const QString ca = QStringLiteral("ca");
    const QString stranger = QStringLiteral("stranger");
    const QString localhostSubject = QStringLiteral("/CN=localhost");
    const QString localhostNames = QStringLiteral("DNS:localhost,IP:127.0.0.1");
    return makeCa(ca, QStringLiteral("/CN=Brindlewick Test CA"))
        && makeCa(stranger, QStringLiteral("/CN=Untrusted Test CA"))
        && makeServer(QStringLiteral("server"), ca, localhostSubject, localhostNames)
        && makeServer(
            QStringLiteral("other"), ca, QStringLiteral("/CN=other.invalid"), QStringLiteral("DNS:other.invalid"))
        && makeServer(QStringLiteral("untrusted"), stranger, localhostSubject, localhostNames);
}
