// The J2534 library through its C ABI (dlopen) against the real adapter
// emulator and its simulated vehicle: versions and battery voltage, raw CAN
// with loop-back, ISO 15765 with a flow-control filter reading the VIN, the
// pins 3/11 bus, periodic messages, an ECU gone silent, a second client, the
// adapter unplugged in the middle of a read; and j2534-tool, which loads the
// library by path as an application does.
#include "J2534Library.h"

#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

J2534Library pt;

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

QString vinOfDefaultVehicle()
{
    QFile f(QStringLiteral(BW_SOURCE_DIR "/emulators/vci/data/vehicles/default.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("vin")).toString();
}

unsigned long idOf(const PASSTHRU_MSG& m)
{
    return (static_cast<unsigned long>(m.Data[0]) << 24) | (static_cast<unsigned long>(m.Data[1]) << 16)
        | (static_cast<unsigned long>(m.Data[2]) << 8) | m.Data[3];
}

// The next message from `id` that is neither a loop-back copy nor an
// indication, within `ms`; DataSize 0 when none came.
PASSTHRU_MSG answerFrom(unsigned long ch, unsigned long id, unsigned long ms)
{
    QElapsedTimer t;
    t.start();
    PASSTHRU_MSG m;
    while (t.elapsed() < static_cast<qint64>(ms)) {
        unsigned long n = 1;
        const long s = pt.ReadMsgs(ch, &m, &n, ms - static_cast<unsigned long>(t.elapsed()));
        if (s != STATUS_NOERROR && s != ERR_BUFFER_OVERFLOW)
            break;
        if (n == 1 && !(m.RxStatus & (TX_MSG_TYPE | START_OF_MESSAGE | TX_INDICATION)) && m.DataSize >= 4
            && idOf(m) == id)
            return m;
    }
    std::memset(&m, 0, sizeof m);
    return m;
}

} // namespace

class TestJ2534Emulator : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    EmulatorProcess m_emulator;
    std::string m_name;

    unsigned long open()
    {
        unsigned long id = 0;
        const long s = pt.Open(m_name.data(), &id);
        if (s != STATUS_NOERROR)
            qWarning("open %s: %ld %s", m_name.c_str(), s, pt.lastError().c_str());
        return s == STATUS_NOERROR ? id : 0;
    }

    // Opens as soon as the adapter lets us (bounded polling); 0 when it did not.
    unsigned long openWithin(int ms)
    {
        QElapsedTimer t;
        t.start();
        unsigned long id = 0;
        while (pt.Open(m_name.data(), &id) != STATUS_NOERROR) {
            if (t.elapsed() > ms)
                return 0;
            QTest::qWait(50);
        }
        return id;
    }

    // A CAN channel with loop-back on, passing the frames of `id`.
    unsigned long canChannel(unsigned long device, unsigned long id)
    {
        unsigned long ch = 0;
        SCONFIG loop{LOOPBACK, 1};
        SCONFIG_LIST list{1, &loop};
        PASSTHRU_MSG mask = canMessage(CAN, 0xFFFFFFFF, {});
        PASSTHRU_MSG pattern = canMessage(CAN, id, {});
        unsigned long filter = 0;
        if (pt.Connect(device, CAN, 0, 500000, &ch) != STATUS_NOERROR
            || pt.Ioctl(ch, SET_CONFIG, &list, nullptr) != STATUS_NOERROR)
            return 0;
        return pt.StartMsgFilter(ch, PASS_FILTER, &mask, &pattern, nullptr, &filter) == STATUS_NOERROR ? ch : 0;
    }

    // An ISO15765 channel with the flow-control filter of one ECU.
    unsigned long isoChannel(
        unsigned long device, unsigned long protocol, unsigned long request, unsigned long response)
    {
        unsigned long ch = 0;
        if (pt.Connect(device, protocol, 0, 500000, &ch) != STATUS_NOERROR)
            return 0;
        if (protocol == ISO15765_PS) {
            SCONFIG pins{J1962_PINS, 0x030B};
            SCONFIG_LIST list{1, &pins};
            if (pt.Ioctl(ch, SET_CONFIG, &list, nullptr) != STATUS_NOERROR)
                return 0;
        }
        PASSTHRU_MSG mask = canMessage(protocol, 0xFFFFFFFF, {});
        PASSTHRU_MSG pattern = canMessage(protocol, response, {});
        PASSTHRU_MSG flow = canMessage(protocol, request, {});
        unsigned long filter = 0;
        return pt.StartMsgFilter(ch, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter) == STATUS_NOERROR ? ch : 0;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QVERIFY2(pt.load(), pt.error().c_str());
        QVERIFY2(m_emulator.start({}), qPrintable(m_emulator.errorText()));
        m_name = "127.0.100.1:" + std::to_string(m_emulator.passthruPort());
    }

    void versionsAndBatteryFromTheAdapter()
    {
        const unsigned long device = open();
        QVERIFY(device);
        char fw[80], dll[80], api[80];
        QCOMPARE(pt.ReadVersion(device, fw, dll, api), long(STATUS_NOERROR));
        QVERIFY2(std::strlen(fw) > 0, fw);
        QCOMPARE(QString::fromLatin1(api), QStringLiteral("04.04"));
        unsigned long mv = 0;
        QCOMPARE(pt.Ioctl(device, READ_VBATT, nullptr, &mv), long(STATUS_NOERROR));
        QVERIFY2(mv > 9000 && mv < 16000, qPrintable(QString::number(mv)));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));

        // Close returns once the adapter has let the session go: an
        // application that reopens at once is never told the adapter is in use.
        for (int i = 0; i < 20; ++i) {
            const unsigned long again = open();
            QVERIFY2(again, pt.lastError().c_str());
            QCOMPARE(pt.Close(again), long(STATUS_NOERROR));
        }
    }

    // Raw CAN: the request's loop-back copy, then the engine's single-frame
    // answer.
    void canLoopbackAndTheEngineAnswers()
    {
        const unsigned long device = open();
        const unsigned long ch = canChannel(device, 0x7E8);
        QVERIFY(ch);
        SCONFIG rate{DATA_RATE, 0};
        SCONFIG_LIST get{1, &rate};
        QCOMPARE(pt.Ioctl(ch, GET_CONFIG, &get, nullptr), long(STATUS_NOERROR));
        QCOMPARE(rate.Value, 500000ul);
        PASSTHRU_MSG mask = canMessage(CAN, 0xFFFFFFFF, {});
        unsigned long filter = 0;
        PASSTHRU_MSG pattern2 = canMessage(CAN, 0x7DF, {});
        QCOMPARE(pt.StartMsgFilter(ch, PASS_FILTER, &mask, &pattern2, nullptr, &filter), long(STATUS_NOERROR));
        PASSTHRU_MSG rpm = canMessage(CAN, 0x7DF, {0x02, 0x01, 0x0C, 0, 0, 0, 0, 0});
        unsigned long n = 1;
        QCOMPARE(pt.WriteMsgs(ch, &rpm, &n, 1000), long(STATUS_NOERROR));
        QCOMPARE(n, 1ul);
        bool looped = false;
        PASSTHRU_MSG in;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000) {
            n = 1;
            if (pt.ReadMsgs(ch, &in, &n, 500) != STATUS_NOERROR)
                continue;
            if (in.RxStatus & TX_MSG_TYPE) {
                looped = idOf(in) == 0x7DF && in.Data[6] == 0x0C;
                continue;
            }
            if (idOf(in) == 0x7E8)
                break;
        }
        QVERIFY(looped);
        QCOMPARE(idOf(in), 0x7E8ul);
        QCOMPARE(in.DataSize, 12ul);
        QCOMPARE(in.Data[5], static_cast<unsigned char>(0x41));
        QCOMPARE(in.Data[6], static_cast<unsigned char>(0x0C));
        const unsigned rpmValue = (in.Data[7] * 256u + in.Data[8]) / 4;
        QVERIFY2(rpmValue > 500 && rpmValue < 7000, qPrintable(QString::number(rpmValue)));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // ISO 15765 on the adapter: a three-frame VIN by UDS 22 F190 and by OBD
    // mode 09; the body ECU on pins 3/11 through ISO15765_PS.
    void isoTpReadsTheVinOnBothBuses()
    {
        const QString vin = vinOfDefaultVehicle();
        QCOMPARE(vin.size(), 17);
        const unsigned long device = open();
        const unsigned long ch = isoChannel(device, ISO15765, 0x7E0, 0x7E8);
        QVERIFY(ch);
        PASSTHRU_MSG req = canMessage(ISO15765, 0x7E0, {0x22, 0xF1, 0x90}, ISO15765_FRAME_PAD);
        unsigned long n = 1;
        QCOMPARE(pt.WriteMsgs(ch, &req, &n, 1000), long(STATUS_NOERROR));
        PASSTHRU_MSG a = answerFrom(ch, 0x7E8, 3000);
        QCOMPARE(a.DataSize, 4ul + 3 + 17);
        QCOMPARE(a.Data[4], static_cast<unsigned char>(0x62));
        QCOMPARE(QString::fromLatin1(reinterpret_cast<const char*>(a.Data + 7), 17), vin);

        PASSTHRU_MSG obd = canMessage(ISO15765, 0x7DF, {0x09, 0x02}, ISO15765_FRAME_PAD);
        n = 1;
        QCOMPARE(pt.WriteMsgs(ch, &obd, &n, 1000), long(STATUS_NOERROR));
        a = answerFrom(ch, 0x7E8, 3000);
        QCOMPARE(a.Data[4], static_cast<unsigned char>(0x49));
        QCOMPARE(QString::fromLatin1(reinterpret_cast<const char*>(a.Data + 7), 17), vin);

        const unsigned long body = isoChannel(device, ISO15765_PS, 0x740, 0x748);
        QVERIFY(body);
        PASSTHRU_MSG part = canMessage(ISO15765_PS, 0x740, {0x22, 0xF1, 0x87}, ISO15765_FRAME_PAD);
        n = 1;
        QCOMPARE(pt.WriteMsgs(body, &part, &n, 1000), long(STATUS_NOERROR));
        a = answerFrom(body, 0x748, 3000);
        QVERIFY(a.DataSize > 7);
        QCOMPARE(a.Data[4], static_cast<unsigned char>(0x62));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // A 100 ms periodic message goes out until stopped.
    void periodicMessageRunsUntilStopped()
    {
        const unsigned long device = open();
        const unsigned long ch = canChannel(device, 0x7DF);
        QVERIFY(ch);
        PASSTHRU_MSG tp = canMessage(CAN, 0x7DF, {0x02, 0x3E, 0x80, 0, 0, 0, 0, 0});
        unsigned long id = 0;
        QCOMPARE(pt.StartPeriodicMsg(ch, &tp, &id, 100), long(STATUS_NOERROR));
        PASSTHRU_MSG got[3];
        unsigned long n = 3;
        QCOMPARE(pt.ReadMsgs(ch, got, &n, 2000), long(STATUS_NOERROR));
        QCOMPARE(n, 3ul);
        QVERIFY(got[2].RxStatus & TX_MSG_TYPE);
        const unsigned long gap = got[2].Timestamp - got[1].Timestamp;
        QVERIFY2(gap >= 90000 && gap <= 110000, qPrintable(QString::number(gap)));
        QCOMPARE(pt.StopPeriodicMsg(ch, id), long(STATUS_NOERROR));
        QCOMPARE(pt.StopPeriodicMsg(ch, id), long(ERR_INVALID_MSG_ID));
        QCOMPARE(pt.Ioctl(ch, CLEAR_RX_BUFFER, nullptr, nullptr), long(STATUS_NOERROR));
        n = 1;
        QCOMPARE(pt.ReadMsgs(ch, got, &n, 300), long(ERR_BUFFER_EMPTY));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    void silentEcuTimesOut()
    {
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 ecu engine off")).left(2), QStringLiteral("OK"));
        const unsigned long device = open();
        const unsigned long ch = isoChannel(device, ISO15765, 0x7E0, 0x7E8);
        PASSTHRU_MSG req = canMessage(ISO15765, 0x7E0, {0x22, 0xF1, 0x90}, ISO15765_FRAME_PAD);
        unsigned long n = 1;
        const long written = pt.WriteMsgs(ch, &req, &n, 500);
        QVERIFY2(written == STATUS_NOERROR || written == ERR_TIMEOUT, qPrintable(QString::number(written)));
        QCOMPARE(answerFrom(ch, 0x7E8, 500).DataSize, 0ul);
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 ecu engine on")).left(2), QStringLiteral("OK"));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // One session per adapter: another open here or from another process is
    // refused.
    void secondClientIsRefused()
    {
        const unsigned long device = open();
        QVERIFY(device);
        unsigned long other = 0;
        QCOMPARE(pt.Open(m_name.data(), &other), long(ERR_DEVICE_IN_USE));
        QVERIFY(!pt.lastError().empty());
        QProcess tool;
        tool.start(testBinary("j2534-tool"),
            {QStringLiteral("--library"), testBinary("BrindlewickJ2534.so"), QStringLiteral("--device"),
                QString::fromStdString(m_name), QStringLiteral("info")});
        QVERIFY(tool.waitForFinished(10000));
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY2(tool.readAllStandardError().contains("(status 14)"), "ERR_DEVICE_IN_USE");
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        other = openWithin(5000); // the adapter freed the session
        QVERIFY2(other, pt.lastError().c_str());
        QCOMPARE(pt.Close(other), long(STATUS_NOERROR));
    }

    // The adapter unplugged during a read: the read ends with the reason.
    void unpluggedMidRead()
    {
        const unsigned long device = open();
        QVERIFY(device);
        unsigned long ch = 0;
        QCOMPARE(pt.Connect(device, CAN, 0, 500000, &ch), long(STATUS_NOERROR));
        std::thread unplug([&] {
            QTest::qSleep(200);
            m_emulator.command(QStringLiteral("unplug 1"));
        });
        QElapsedTimer t;
        t.start();
        PASSTHRU_MSG m;
        unsigned long n = 1;
        QCOMPARE(pt.ReadMsgs(ch, &m, &n, 20000), long(ERR_DEVICE_NOT_CONNECTED));
        unplug.join();
        QVERIFY2(t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));
        QVERIFY2(text(pt.lastError()).contains(QString::fromStdString(m_name)), pt.lastError().c_str());
        char b[80];
        QCOMPARE(pt.ReadVersion(device, b, b, b), long(ERR_DEVICE_NOT_CONNECTED));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        unsigned long again = 0;
        QCOMPARE(pt.Open(m_name.data(), &again), long(ERR_DEVICE_NOT_CONNECTED));
        QCOMPARE(m_emulator.command(QStringLiteral("plug 1")).left(2), QStringLiteral("OK"));
        again = openWithin(10000);
        QVERIFY2(again, pt.lastError().c_str());
        QCOMPARE(pt.Close(again), long(STATUS_NOERROR));
    }

    // The command-line consumer, finding the library through its registration
    // file.
    void toolReadsVinDtcsClearsAndWatches()
    {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04");
        QVERIFY(QDir().mkpath(config));
        QFile reg(config + QStringLiteral("/brindlewick-j2534.json"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("{\n    \"Name\": \"Brindlewick J2534\",\n    \"FunctionLibrary\": \""
            + testBinary("BrindlewickJ2534.so").toUtf8() + "\"\n}\n");
        reg.close();
        const auto run = [&](const QStringList& args, QByteArray* out) {
            QProcess tool;
            tool.start(testBinary("j2534-tool"),
                QStringList{QStringLiteral("--device"), QString::fromStdString(m_name)} + args);
            if (!tool.waitForFinished(30000))
                return -1;
            *out = tool.readAllStandardOutput() + tool.readAllStandardError();
            return tool.exitCode();
        };
        QByteArray out;
        QCOMPARE(run({QStringLiteral("info")}, &out), 0);
        QVERIFY2(out.contains("API version:      04.04"), out.constData());
        QCOMPARE(run({QStringLiteral("vin")}, &out), 0);
        QCOMPARE(out.count(vinOfDefaultVehicle().toLatin1()), 2);
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 dtc body add B1318 0x2F")).left(2), QStringLiteral("OK"));
        QCOMPARE(run({QStringLiteral("dtc")}, &out), 0);
        QVERIFY2(out.contains("P0301") && out.contains("B1318") && out.contains("C0035"), out.constData());
        QCOMPARE(run({QStringLiteral("clear")}, &out), 0);
        QCOMPARE(run({QStringLiteral("dtc")}, &out), 0);
        QVERIFY2(!out.contains("P0301") && !out.contains("B1318"), out.constData());
        QCOMPARE(run({QStringLiteral("watch"), QStringLiteral("--rate"), QStringLiteral("100"),
                         QStringLiteral("--count"), QStringLiteral("3")},
                     &out),
            0);
        QCOMPARE(out.count("rpm"), 3);
        // Failures are told, not crashed on.
        QCOMPARE(run({QStringLiteral("--library"), QStringLiteral("/nonexistent/BrindlewickJ2534.so"),
                         QStringLiteral("info")},
                     &out),
            3);
        QVERIFY(out.contains("cannot load the J2534 library"));
        QCOMPARE(run({QStringLiteral("fly")}, &out), 2);
        QVERIFY(reg.remove());
    }
};

QTEST_GUILESS_MAIN(TestJ2534Emulator)
#include "tst_j2534_emulator.moc"
