// Remote diagnosis end to end through the manager's own session logic with
// the real pieces: the relay (test CA), the cloud emulator as relay directory
// and mapping service, the adapter emulator, a C-end and a B-end
// BrindlewickService with their own blocks. Both ends run RemoteEngine with
// the real libraries: the C-end in a child process (this program with
// "--c-end": code upkeep through MT7628Config and the registration round),
// the B-end here with the virtual adapter tool and the command block.
#include "../remote_link/RemoteTestSupport.h"

#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "device/CommandBlock.h"
#include "device/VciStatusRecord.h"

#include "MT7628Config.h"
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

#include <atomic>
#include <cstdio>
#include <thread>

using namespace remote;

namespace {

const char* const kSerial = "M5EA0001XJ7B0001";
const int kCode = 246810;

QString text(const char* field, std::size_t size)
{
    return QString::fromLatin1(field, static_cast<int>(qstrnlen(field, size)));
}

// The C-end: this PC's adapter from its status block, its code through
// MT7628Config, the relay from the directory, registered every round. Prints
// "registered" each time a registration is made; the lines "off" and "on" on
// its input work the remote switch ("off" is printed once it took effect).
// Runs until killed (at most two minutes).
int runCEnd()
{
    std::unique_ptr<RemoteLibrary> library = loadRemoteLibraries(QFile::encodeName(testBinary("")).toStdString());
    MT7628Config module;
    RemoteEngine::Hooks h;
    h.toast = [](const QString& t, int) { std::printf("toast %s\n", qPrintable(t)); };
    h.adapterTool = [](bool) {};
    h.postMode = [](std::uint8_t) {};
    h.remoteAdapterPresent = [] { return false; };
    h.sleep = [](std::chrono::milliseconds ms) {
        std::this_thread::sleep_for(ms);
        return true;
    };
    h.sendRecord = [](RecordEvent, const QString&) {};
    h.showPage = [](int) {};
    h.device = [] {
        const VciStatusRecord r = readStatusBlock().record;
        DeviceView d;
        d.sn = text(r.SN, sizeof r.SN);
        d.vciIP = text(r.vciIP, sizeof r.vciIP).toStdString();
        d.key = text(r.key, sizeof r.key).toStdString();
        d.portNumber = text(r.portNumber, sizeof r.portNumber);
        d.connType = r.connType;
        return d;
    };
    h.getRemoteKey = [&module](const DeviceView& d, std::string& key) {
        return module.GetRemoteKey(d.sn.toLatin1().constData(), d.vciIP, key);
    };
    h.setRemoteKey = [&module](const DeviceView& d, const std::string& key) {
        return module.SetRemoteKey(d.sn.toLatin1().constData(), d.vciIP, key);
    };
    h.codeFilePath = QDir::tempPath() + QStringLiteral("/tst_remote_e2e_c_end.ini");
    Timing timing;
    timing.keyQueryPeriod = 200;
    RemoteEngine engine(*library, h, timing);
    std::atomic<int> switchTo{-1}; // -1 nothing asked, 0 on, 1 off
    std::thread input([&switchTo] {
        char line[16];
        while (std::fgets(line, sizeof line, stdin))
            switchTo = qstrncmp(line, "off", 3) == 0 ? 1 : 0;
    });
    input.detach();
    bool told = false;
    for (int round = 0; round < 600; ++round) {
        const int asked = switchTo.exchange(-1);
        if (asked >= 0) {
            engine.setRemoteDisabled(asked == 1);
            if (asked == 1) {
                std::printf("off\n");
                std::fflush(stdout);
            }
            told = false;
        }
        engine.refresh();
        engine.registrationRound();
        if (!told && engine.state().relayRegistration()) {
            std::printf("registered\n");
            std::fflush(stdout);
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(asked >= 0 ? 0 : 200));
    }
    return 0;
}

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

        startCEnd();
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

        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QTRY_VERIFY_WITH_TIMEOUT((m_engine->refresh(), m_engine->state().figures().delayB >= 0), 8000);
        QVERIFY(m_engine->state().remoteActive());

        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QVERIFY(!m_engine->state().remoteActive());
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);

        const QJsonArray list = records();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).toObject().value(QLatin1String("event")).toString(), QStringLiteral("start"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("event")).toString(), QStringLiteral("end"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("sn")).toString(), QString::fromLatin1(kSerial));
    }

    // "Remote Off" on the C-end ends its registration at once: a B-end with
    // the right code is refused right after, and reaches the adapter again
    // once the C-end switches back on.
    void remoteOffRefusesSessions()
    {
        m_cEnd.write("off\n");
        QVERIFY(waitForCEnd("off"));
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QCOMPARE(lastToast(), QStringLiteral("VCI is not online"));
        QVERIFY(!m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QCOMPARE(records().size(), 2);

        m_cEnd.write("on\n");
        QVERIFY(waitForCEnd("registered"));
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QCOMPARE(lastToast(), QStringLiteral("connection established successfully"));
        QVERIFY(m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        QCOMPARE(records().size(), 4);
    }

    // The C-end goes away mid-session: the B-end's watch ends the session and
    // records its end once.
    void lostSessionEndsOnce()
    {
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QVERIFY(m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        m_cEnd.kill();
        m_cEnd.waitForFinished(5000);
        QTRY_VERIFY_WITH_TIMEOUT((m_engine->refresh(), !m_engine->state().remoteActive()), 10000);
        for (int i = 0; i < 3; ++i)
            m_engine->refresh();
        const QJsonArray list = records();
        QCOMPARE(list.size(), 6);
        QCOMPARE(list.at(4).toObject().value(QLatin1String("event")).toString(), QStringLiteral("start"));
        QCOMPARE(list.at(5).toObject().value(QLatin1String("event")).toString(), QStringLiteral("end"));
        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QCOMPARE(records().size(), 6);
    }

    // A record with another pattern's authorization is refused and not kept.
    void forgedRecordRefused()
    {
        QVERIFY(!SessionRecordClient(m_cloud.httpBase(), QByteArray("not-the-pattern:{sn}:{event}"))
                     .post(QString::fromLatin1(kSerial), RecordEvent::Start));
        QCOMPARE(records().size(), 6);
        QVERIFY(!SessionRecordClient(QStringLiteral("http://127.0.0.1:1/")).post(QString::fromLatin1(kSerial), RecordEvent::End));
    }

    void cleanupTestCase()
    {
        m_engine.reset();
        m_cEnd.kill();
        m_cEnd.waitForFinished(5000);
        m_serviceB.stop();
        m_serviceC.stop();
        QProcess::execute(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")});
    }

private:
    void startCEnd()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(m_cPrefix));
        m_cEnd.setProcessEnvironment(env);
        m_cEnd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_cEnd.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--c-end")});
        QVERIFY(m_cEnd.waitForStarted(5000));
        QVERIFY(waitForCEnd("registered"));
    }

    // Waits for the C-end to print `word` (bounded); what came before it is used up.
    bool waitForCEnd(const char* word)
    {
        for (int i = 0; i < 150; ++i) {
            m_cEndOut += m_cEnd.readAllStandardOutput();
            const int at = m_cEndOut.indexOf(word);
            if (at >= 0) {
                m_cEndOut.remove(0, at + int(qstrlen(word)));
                return true;
            }
            m_cEnd.waitForReadyRead(100);
        }
        return false;
    }

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
    QProcess m_cEnd;
    QByteArray m_cEndOut;
    std::unique_ptr<RemoteLibrary> m_library;
    std::unique_ptr<RemoteEngine> m_engine;
    std::mutex m_mutex;
    QStringList m_toasts;
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--c-end") == 0) {
        QCoreApplication app(argc, argv);
        return runCEnd();
    }
    QCoreApplication app(argc, argv);
    TestRemoteE2e test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_remote_e2e.moc"
