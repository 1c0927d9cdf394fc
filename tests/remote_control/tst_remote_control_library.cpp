// The device-control library (RemotePro.so, loaded by name as the manager
// does) against the real relay, with a bare relay client as the C-end: the
// result codes of connect (no registered J2534 library, partner not online,
// relay unreachable, wrong code, no local adapter after the partner accepted) and what the C-end
// and the relay see of each.
#include "RemoteTestSupport.h"
#include "TestTls.h"

#include "remote/Bridge.h"
#include "remote/Frame.h"
#include "remote/RemotePro.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>
#include <remote/RemoteProApi.h>

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace remote;

namespace {

const char* const kCEnd = "M5EA0009XJ7B0009";

bool writeRegistration(const QString& configHome, const QString& library)
{
    QDir().mkpath(configHome + QStringLiteral("/j2534/04.04"));
    QFile f(configHome + QStringLiteral("/j2534/04.04/brindlewick-j2534.json"));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QStringLiteral("{\"Name\": \"Brindlewick J2534\", \"FunctionLibrary\": \"%1\"}").arg(library).toUtf8());
    return true;
}

} // namespace

class TestRemoteControlLibrary : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QVERIFY2(m_relay.start(m_tls.serverCert(), m_tls.serverKey(),
                     {QStringLiteral("--max-wrong-address"), QStringLiteral("1000")}),
            qPrintable(m_relay.errorText()));
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(m_relay.port()));
        // No adapter is selected on this machine: no status block under this prefix.
        qputenv("BRINDLEWICK_SHM_PREFIX", "bw-remote-control-library-");
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("XDG_CONFIG_DIRS", m_config.path().toUtf8());
        const std::string path = std::string(BW_TEST_BIN_DIR) + "/RemotePro" + platform::sharedLibrarySuffix();
        QVERIFY2(m_library.load(path), m_library.errorString().c_str());
        auto create = m_library.resolveFunction<BwCreateRemoteProFn>("CreateRemotePro");
        QVERIFY(create);
        m_pro = create();
        QVERIFY(m_pro && m_pro->ops);
        QCOMPARE(create(), m_pro); // one object per process
    }

    // Without a registered J2534 library connect answers 1 and the relay is
    // never asked; once registered, a partner that is not online answers 6,
    // a relay that does not answer 4 and a wrong code 7.
    void resultCodes()
    {
        const QByteArray before = m_relay.log();
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 123456), int(BW_PRO_NO_PASSTHRU));
        std::int32_t state = 0;
        char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
        char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
        m_pro->ops->state(m_pro, &state, t1, t2);
        QVERIFY(state != 0);
        QCOMPARE(QByteArray(t1), QByteArray("no J2534 library"));

        const QString j2534
            = QStringLiteral(BW_TEST_BIN_DIR "/BrindlewickJ2534") + QLatin1String(platform::sharedLibrarySuffix());
        QVERIFY(QFile::exists(j2534));
        QVERIFY(writeRegistration(m_config.path(), j2534));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 123456), int(BW_PRO_VCI_OFFLINE));

        // Nothing listens at the relay's address: 4.
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(closedPort));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 123456), int(BW_PRO_UNREACHABLE));
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(m_relay.port()));

        RawRelayClient cEnd;
        QVERIFY(cEnd.connect(m_relay.port()));
        QVERIFY(cEnd.send(encodeRegister({kCEnd, "KEY9", 246810})));
        QCOMPARE(cEnd.ackStatus(), int(kStatusOk));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 246811), int(BW_PRO_WRONG_CODE));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", "M5EA 0009", "--", 246810), int(BW_PRO_TIMEOUT));
        QVERIFY(m_relay.log().size() > before.size());
        QVERIFY(!m_relay.log().contains("246810")); // no code in the relay's log
    }

    // The right code: the C-end learns it is under device control (and by
    // which adapter: none is selected here), then, as this machine has no
    // adapter to bridge, the session ends at once with 1 and the C-end is
    // told; a bus cannot be opened without a session.
    void acceptedWithoutLocalAdapter()
    {
        RawRelayClient cEnd;
        QVERIFY(cEnd.connect(m_relay.port()));
        QVERIFY(cEnd.send(encodeRegister({kCEnd, "KEY9", 135791})));
        QCOMPARE(cEnd.ackStatus(), int(kStatusOk));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 135791), int(BW_PRO_NO_PASSTHRU));
        Frame f;
        QVERIFY(cEnd.next(f));
        ControlSessionMsg session;
        QVERIFY(parseControlSession(f, session, nullptr));
        QCOMPARE(session.peerText, std::string("127.0.0.1"));
        QVERIFY(cEnd.next(f));
        QCOMPARE(f.type, Type::End);

        const std::uint32_t pins[2] = {6, 14};
        std::uint32_t id = 0;
        QVERIFY(m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, pins, 2, 500000, 0, &id) != 0);
        std::int32_t state = 0;
        char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
        char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
        m_pro->ops->state(m_pro, &state, t1, t2);
        QVERIFY(state != 0);
        m_pro->ops->disconnect(m_pro); // harmless without a session
    }

    // The manager's side of the library: the process's object is made on
    // first need from the program's folder; a folder without the library
    // gives none and a later call tries again; once made, that one object
    // (the library's own) serves every later call.
    void managerMakesOneObjectOnFirstNeed()
    {
        QTemporaryDir empty;
        QVERIFY(!remote::processRemotePro(empty.path().toStdString()));
        remote::IRemotePro* pro = remote::processRemotePro(BW_TEST_BIN_DIR);
        QVERIFY(pro);
        QCOMPARE(remote::processRemotePro(BW_TEST_BIN_DIR), pro);
        QCOMPARE(remote::processRemotePro(empty.path().toStdString()), pro);

        m_pro->ops->disconnect(m_pro);
        std::int32_t state = 0;
        char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
        char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
        pro->state(&state, t1, t2);
        QCOMPARE(QByteArray(t1), QByteArray("ended"));
    }

private:
    TestTls m_tls;
    RelayProcess m_relay;
    QTemporaryDir m_config;
    platform::Library m_library;
    BwRemotePro* m_pro = nullptr;
};

QTEST_GUILESS_MAIN(TestRemoteControlLibrary)
#include "tst_remote_control_library.moc"
