// The component's communication library against the adapter emulator: the
// outcomes an application meets on a real car, each bounded in time - pending
// answers waited through, refusals with their code, a session the ECU left,
// a silent ECU, the adapter held by another client, both buses at once.
#include "Comm.h"
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include <QtTest>

#include <memory>

using namespace vehdiag;

namespace {

const EcuDefinition kEngine{"engine", "Engine", Bus::Obd, 0x7E0, 0x7E8, true};
const EcuDefinition kAbs{"abs", "ABS", Bus::Obd, 0x7E2, 0x7EA, false};
const EcuDefinition kBody{"body", "Body", Bus::Body, 0x740, 0x748, false};
const EcuDefinition kGateway{"gateway", "Gateway", Bus::Body, 0x710, 0x77A, false};

// key = ROL32(seed XOR C, 3) with the default vehicle's engine constant.
Bytes engineKey(const Bytes& seed)
{
    std::uint32_t s
        = (std::uint32_t(seed[0]) << 24) | (std::uint32_t(seed[1]) << 16) | (std::uint32_t(seed[2]) << 8) | seed[3];
    s ^= 0x5A3C96E1;
    const std::uint32_t k = (s << 3) | (s >> 29);
    return {std::uint8_t(k >> 24), std::uint8_t(k >> 16), std::uint8_t(k >> 8), std::uint8_t(k)};
}

} // namespace

class TestVehDiagComm : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    EmulatorProcess m_emulator;
    std::string m_adapter;

    std::unique_ptr<Link> link() { return std::make_unique<Link>(std::string(), m_adapter); }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QVERIFY2(m_emulator.start({}), qPrintable(m_emulator.errorText()));
        m_adapter = "127.0.100.1:" + std::to_string(m_emulator.passthruPort());
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04");
        QVERIFY(QDir().mkpath(config));
        QFile reg(config + QStringLiteral("/brindlewick-j2534.json"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("{\"Name\": \"Brindlewick J2534\", \"FunctionLibrary\": \""
            + testBinary("BrindlewickJ2534.so").toUtf8() + "\"}\n");
    }

    // Refusals carry their code; a service the session does not allow is a
    // session the ECU left; a routine answered "pending" is waited through.
    void refusalsSessionAndPending()
    {
        auto l = link();
        QVERIFY(l->open().ok());
        Outcome o = l->request(kEngine, {0x31, 0x01, 0x02, 0x01});
        QCOMPARE(o.failure, Failure::SessionLost); // RoutineControl needs the extended session (0x7F)
        QCOMPARE(int(o.nrc), 0x7F);
        o = l->request(kEngine, {0x22, 0x12, 0x34});
        QCOMPARE(o.failure, Failure::Negative);
        QCOMPARE(int(o.nrc), 0x31);
        QVERIFY(l->request(kEngine, {0x10, 0x03}).ok());
        o = l->request(kEngine, {0x31, 0x01, 0x02, 0x01});
        QCOMPARE(o.failure, Failure::Negative);
        QCOMPARE(int(o.nrc), 0x33); // security first

        o = l->request(kEngine, {0x27, 0x01});
        QVERIFY(o.ok());
        QCOMPARE(o.answer.data.size(), std::size_t(5));
        Bytes send{0x27, 0x02};
        for (std::uint8_t b : engineKey(Bytes(o.answer.data.begin() + 1, o.answer.data.end())))
            send.push_back(b);
        QVERIFY(l->request(kEngine, send).ok());
        int ticks = 0;
        l->setWaitCallback([&](unsigned) { ++ticks; });
        QElapsedTimer t;
        t.start();
        o = l->request(kEngine, {0x31, 0x01, 0x02, 0x01});
        l->setWaitCallback(nullptr);
        QVERIFY2(o.ok(), o.detail.c_str());
        QVERIFY2(t.elapsed() >= 2500 && t.elapsed() < Link::kRequestLimitMs, qPrintable(QString::number(t.elapsed())));
        QVERIFY(ticks >= 5);
        QCOMPARE(o.answer.data, (Bytes{0x01, 0x02, 0x01, 0x00}));

        // A reset drops the session: the same unlock is refused after it.
        QVERIFY(l->request(kEngine, {0x11, 0x01}).ok());
        QTRY_VERIFY_WITH_TIMEOUT(l->request(kEngine, {0x3E, 0x00}).ok(), 5000);
        o = l->request(kEngine, {0x27, 0x01});
        QCOMPARE(o.failure, Failure::SessionLost);
    }

    // Several ECUs per bus at once; a silent one is "no answer" within the
    // bound while the others answer.
    void bothBusesAndASilentEcu()
    {
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 ecu gateway off")).left(2), QStringLiteral("OK"));
        auto l = link();
        QElapsedTimer t;
        t.start();
        auto body = l->requestMany(Bus::Body, {kEngine, kBody, kGateway}, {0x22, 0xF1, 0x90}, 800);
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(body.size(), std::size_t(2)); // only the ECUs of that bus
        QVERIFY(body[kBody.responseId].ok());
        QCOMPARE(QString::fromStdString(recordText(*didRecord(body[kBody.responseId].answer, 0xF190))),
            QStringLiteral("WBWHB71J7P5123456"));
        QCOMPARE(body[kGateway.responseId].failure, Failure::NoAnswer);
        auto obd = l->requestMany(Bus::Obd, {kEngine, kAbs, kBody}, {0x19, 0x01, 0xFF});
        QVERIFY(obd[kEngine.responseId].ok() && obd[kAbs.responseId].ok());
        QVERIFY(dtcCount(obd[kAbs.responseId].answer));
        auto functional = l->functional(0x7DF, {kEngine, kAbs}, {0x09, 0x02});
        QCOMPARE(functional.size(), std::size_t(1)); // only OBD units are asked
        QVERIFY(obdVin(functional[kEngine.responseId].answer));
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 ecu gateway on")).left(2), QStringLiteral("OK"));
    }

    // One client holds the adapter; another is told so, and gets it once
    // the first lets go.
    void adapterHeldByAnotherClient()
    {
        auto first = link();
        QVERIFY(first->open().ok());
        auto second = link();
        const Outcome o = second->request(kEngine, {0x3E, 0x00});
        QCOMPARE(o.failure, Failure::AdapterInUse);
        QVERIFY(!o.detail.empty());
        QVERIFY(!second->isOpen());
        first->close();
        QTRY_VERIFY_WITH_TIMEOUT(second->open().ok(), 5000);
        QVERIFY(second->request(kEngine, {0x3E, 0x00}).ok());
    }

    // Unplugged while open: lost, then absent until plugged in again.
    void adapterUnplugged()
    {
        auto l = link();
        QVERIFY(l->open().ok());
        QCOMPARE(m_emulator.command(QStringLiteral("unplug 1")).left(2), QStringLiteral("OK"));
        QElapsedTimer t;
        t.start();
        Outcome o = l->request(kEngine, {0x3E, 0x00});
        QCOMPARE(o.failure, Failure::AdapterLost);
        QVERIFY(!l->isOpen());
        o = l->request(kEngine, {0x3E, 0x00});
        QCOMPARE(o.failure, Failure::AdapterAbsent);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(m_emulator.command(QStringLiteral("plug 1")).left(2), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(l->request(kEngine, {0x3E, 0x00}).ok(), 10000);
    }

    // No registration and no library in the fallback folder.
    void libraryMissing()
    {
        Link l(QDir::tempPath().toStdString() + "/no-such-folder", m_adapter);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir::tempPath() + QStringLiteral("/no-such-config")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(QDir::tempPath() + QStringLiteral("/no-such-config")));
        const Outcome o = l.open();
        QCOMPARE(o.failure, Failure::NoLibrary);
        QVERIFY(!o.detail.empty());
    }
};

QTEST_GUILESS_MAIN(TestVehDiagComm)
#include "tst_vehdiag_comm.moc"
