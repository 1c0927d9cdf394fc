// Remote diagnosis end to end through the manager's own session logic with
// the real pieces: the relay (test CA), the cloud emulator as relay directory
// and mapping service, the adapter emulator, a C-end and a B-end
// BrindlewickService with their own blocks, the C-end's registration in its
// own process (remote_link_peer) and RemoteEngine with the real libraries,
// the virtual adapter tool and the command block in this process (the B-end).
#include "../remote_link/RemoteTestSupport.h"

#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "device/CommandBlock.h"
#include "remote/RemoteEngine.h"
#include "remote/SessionRecord.h"

#include <platform/NetAdapters.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtTest>

#include <thread>

using namespace remote;

namespace {

const char* const kSerial = "M5EA0001XJ7B0001";
const char* const kKey = "KX0001";
const int kCode = 246810;

} // namespace

class TestRemoteE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QDir(m_env.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(m_env.path() + QStringLiteral("/run"),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_env.path() + QStringLiteral("/run")));
        m_bPrefix = qgetenv("BRINDLEWICK_SHM_PREFIX");
        m_cPrefix = m_bPrefix + "C_";

        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QVERIFY2(m_relay.start(m_tls.serverCert(), m_tls.serverKey(),
                     {QStringLiteral("--max-wrong-address"), QStringLiteral("1000")}),
            qPrintable(m_relay.errorText()));
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(m_relay.port()));
        QVERIFY2(m_cloud.start(QString(), QString(), {QStringLiteral("--relay"), QStringLiteral("127.0.0.1")}),
            qPrintable(m_cloud.lastError()));
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpBase().toUtf8());

        QVERIFY2(m_emulator.start({}), qPrintable(m_emulator.errorText()));
        QCOMPARE(m_emulator.command(QStringLiteral("remotekey 1 %1").arg(kCode)), QStringLiteral("OK"));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));
        QVERIFY(m_serviceC.start(ServiceProcess::arguments(QStringLiteral("127.0.100.1"), m_emulator.port(),
                                     m_env.path() + QStringLiteral("/c.lock")),
            m_cPrefix));
        QVERIFY(m_serviceB.start(ServiceProcess::arguments(QStringLiteral("127.0.100.250"), m_emulator.port(),
            m_env.path() + QStringLiteral("/b.lock"))));

        m_library = loadRemoteLibraries(QFile::encodeName(testBinary("")).toStdString());
        QVERIFY2(m_library->available(), m_library->problem().c_str());

        RemoteEngine::Hooks h;
        h.toast = [this](const QString& text, int) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_toasts << text;
        };
        h.adapterTool = [](bool enable) {
            QProcess::execute(testBinary("VirtualNetLoopback"), {enable ? QStringLiteral("-e") : QStringLiteral("-d")});
        };
        h.postMode = [](std::uint8_t mode) { CommandBlock().postMode(mode); };
        h.remoteAdapterPresent = [] {
            for (const platform::NetAdapter& a : platform::listAdapters()) {
                if (a.description == "Brindlewick remoteDiag")
                    return true;
            }
            return false;
        };
        h.sleep = [](std::chrono::milliseconds ms) {
            std::this_thread::sleep_for(ms);
            return true;
        };
        h.sendRecord = [this](RecordEvent event, const QString& sn) {
            QVERIFY(SessionRecordClient(m_cloud.httpBase()).post(sn, event));
        };
        h.showPage = [](int) {};
        h.device = [] { return DeviceView(); }; // the B-end has no adapter of its own
        h.getRemoteKey = [](const DeviceView&, std::string&) { return false; };
        h.setRemoteKey = [](const DeviceView&, const std::string&) { return false; };
        h.codeFilePath = m_env.path() + QStringLiteral("/longTimeCode.ini");
        Timing timing;
        timing.watchPeriod = 0;
        m_engine = std::make_unique<RemoteEngine>(*m_library, h, timing);

        QVERIFY(m_cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(m_relay.port()),
                                 QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
            m_cPrefix));
        QVERIFY2(m_cEnd.waitFor(QStringLiteral("status 1 state 1 registered"), 8000), qPrintable(m_cEnd.lines()));
    }

    // A wrong code: the relay says so, no session starts and nothing is recorded.
    void wrongCodeIsRefused()
    {
        m_engine->relayAttempt(QString::fromLatin1(kSerial), 111111, 0);
        QCOMPARE(lastToast(), QStringLiteral("Password error"));
        QVERIFY(!m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QVERIFY(records().isEmpty());
    }

    // The B-end connects by serial and code, its service shows the C-end's
    // adapter; the end leaves a start and an end record in the mapping service.
    void relaySessionWithRecords()
    {
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QCOMPARE(lastToast(), QStringLiteral("connection established successfully"));
        QVERIFY(m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QVERIFY(m_cEnd.waitFor(QStringLiteral("session with"), 5000));

        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QTRY_VERIFY_WITH_TIMEOUT((m_engine->refresh(), m_engine->state().figures().delayB >= 0), 8000);
        QVERIFY(m_engine->state().remoteActive());

        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QVERIFY(!m_engine->state().remoteActive());
        QVERIFY(m_cEnd.waitFor(QStringLiteral("state 1 registered"), 5000));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);

        const QJsonArray list = records();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).toObject().value(QLatin1String("event")).toString(), QStringLiteral("start"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("event")).toString(), QStringLiteral("end"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("sn")).toString(), QString::fromLatin1(kSerial));
    }

    // A record with another pattern's authorization is refused and not kept.
    void forgedRecordRefused()
    {
        QVERIFY(!SessionRecordClient(m_cloud.httpBase(), QByteArray("not-the-pattern:{sn}:{event}"))
                     .post(QString::fromLatin1(kSerial), RecordEvent::Start));
        QCOMPARE(records().size(), 2);
        QVERIFY(!SessionRecordClient(QStringLiteral("http://127.0.0.1:1/")).post(QString::fromLatin1(kSerial), RecordEvent::End));
    }

    void cleanupTestCase()
    {
        m_engine.reset();
        m_cEnd.stop();
        m_serviceB.stop();
        m_serviceC.stop();
        QProcess::execute(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")});
    }

private:
    QString lastToast()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_toasts.isEmpty() ? QString() : m_toasts.last();
    }

    QJsonArray records()
    {
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(m_cloud.httpBase()
            + QStringLiteral("__control/mapping-records?sn=") + QString::fromLatin1(kSerial))));
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(5000);
        const QJsonObject body = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return body.value(QLatin1String("records")).toArray();
    }

    TestEnvironment m_env;
    QByteArray m_bPrefix;
    QByteArray m_cPrefix;
    TestTls m_tls;
    RelayProcess m_relay;
    CloudEmulator m_cloud;
    EmulatorProcess m_emulator;
    ServiceProcess m_serviceC;
    ServiceProcess m_serviceB;
    PeerProcess m_cEnd;
    std::unique_ptr<RemoteLibrary> m_library;
    std::unique_ptr<RemoteEngine> m_engine;
    std::mutex m_mutex;
    QStringList m_toasts;
};

QTEST_GUILESS_MAIN(TestRemoteE2e)
#include "tst_remote_e2e.moc"
