// What a remote session runs against on one machine, for the end-to-end
// suites: a TLS relay, the cloud emulator (the relay directory and the
// session records), the adapter emulator holding the adapter's code, and two
// services under their own shared-block prefixes: the C-end's, which sees the
// adapter, and this process's B-end's, which has none of its own.
#pragma once

#include "CloudEmulator.h"
#include "RemoteTestSupport.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include "remote/RemoteApi.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>

struct RemoteWorld {
    TestEnvironment env;
    QByteArray bPrefix;
    QByteArray cPrefix;
    TestTls tls;
    RelayProcess relay;
    CloudEmulator cloud;
    EmulatorProcess emulator;
    ServiceProcess serviceC;
    ServiceProcess serviceB;
    // Where the B-end's service looks for an adapter of its own: none answers
    // there unless a test gives the B-end one (device control).
    QString bEndProbe = QStringLiteral("127.0.100.250");

    // Starts everything and points this process's environment at it; empty
    // on success, else what failed.
    QString start(int code, const QStringList& relayArgs = {}, const QStringList& emulatorArgs = {})
    {
        QDir(env.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(env.path() + QStringLiteral("/run"),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(env.path() + QStringLiteral("/run")));
        bPrefix = qgetenv("BRINDLEWICK_SHM_PREFIX"); // this process is the B-end
        cPrefix = bPrefix + "C_";

        if (!tls.create())
            return tls.lastError();
        qputenv("BRINDLEWICK_CA_FILE", tls.caFile().toUtf8());
        if (!relay.start(tls.serverCert(), tls.serverKey(), relayArgs))
            return relay.errorText();
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(relay.port()));
        if (!cloud.start(QString(), QString(), {QStringLiteral("--relay"), QStringLiteral("127.0.0.1")}))
            return cloud.lastError();
        qputenv("BRINDLEWICK_MAIN_API_BASE", cloud.httpBase().toUtf8());

        if (!emulator.start(emulatorArgs))
            return emulator.errorText();
        if (emulator.command(QStringLiteral("remotekey 1 %1").arg(code)) != QLatin1String("OK"))
            return QStringLiteral("the emulator refused the adapter's code");
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(emulator.port()));
        // The adapter's pass-thru port: the C-end connects there, the B-end's
        // virtual adapter listens there, the J2534 library dials it.
        qputenv("BW_PASSTHRU_PORT", QByteArray::number(emulator.passthruPort()));

        if (!serviceC.start(ServiceProcess::arguments(
                                QStringLiteral("127.0.100.1"), emulator.port(), env.path() + QStringLiteral("/c.lock")),
                cPrefix))
            return QStringLiteral("the C-end's service did not start");
        if (!serviceB.start(
                ServiceProcess::arguments(bEndProbe, emulator.port(), env.path() + QStringLiteral("/b.lock"))))
            return QStringLiteral("the B-end's service did not start");
        return {};
    }
};

// Ends a session when the case leaves its scope, passed or not, so a failed
// check does not leave the virtual adapter's port or the relay pairing held.
struct SessionGuard {
    decltype(&ServerRemote_Destroy) destroy;
    void* handle;
    ~SessionGuard()
    {
        if (handle)
            destroy(handle);
    }
    void end()
    {
        destroy(handle);
        handle = nullptr;
    }
};

// A loopback port free at the moment of asking.
inline quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
