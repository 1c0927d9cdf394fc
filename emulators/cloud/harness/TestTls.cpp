#include "TestTls.h"

#include <QFile>
#include <QProcess>

bool TestTls::openssl(const QStringList& args)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral("openssl"), args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = "openssl " + args.join(' ') + ": " + QString::fromLocal8Bit(process.readAllStandardError());
        return false;
    }
    return true;
}

bool TestTls::makeCa(const QString& name, const QString& subject)
{
    return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
        name + ".key", "-out", name + ".pem", "-days", "2", "-subj", subject, "-addext",
        "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
}

bool TestTls::makeServer(const QString& name, const QString& ca, const QString& subject, const QString& altNames)
{
    QFile ext(path(name + ".ext"));
    if (!ext.open(QIODevice::WriteOnly)) {
        m_error = "cannot write " + ext.fileName();
        return false;
    }
    ext.write("basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
              "extendedKeyUsage=serverAuth\nsubjectAltName="
        + altNames.toUtf8() + "\n");
    ext.close();
    return openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
               name + ".key", "-out", name + ".csr", "-subj", subject})
        && openssl({"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key", "-CAcreateserial",
            "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext"});
}

bool TestTls::create()
{
    if (!m_dir.isValid()) {
        m_error = "cannot create a temporary folder";
        return false;
    }
    return makeCa("ca", "/CN=Brindlewick Test CA") && makeCa("stranger", "/CN=Untrusted Test CA")
        && makeServer("server", "ca", "/CN=localhost", "DNS:localhost,IP:127.0.0.1")
        && makeServer("other", "ca", "/CN=other.invalid", "DNS:other.invalid")
        && makeServer("untrusted", "stranger", "/CN=localhost", "DNS:localhost,IP:127.0.0.1");
}
