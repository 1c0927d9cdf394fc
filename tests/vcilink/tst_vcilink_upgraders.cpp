// The three upgraders and MT7628Config's upload against the adapter emulator:
// images written and reported, bad images refused with the version kept, an
// adapter that vanishes or never was, and the module's own upload bounds.
#include "MT7628Config.h"
#include "firmware/FirmwareImage.h"
#include "support/AdapterProcesses.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {
enum Damage { Flip, Cut, Append, OtherMarker, WriteFails };

QString adapterIp(int n)
{
    return QStringLiteral("127.0.104.%1").arg(n);
}

std::vector<unsigned char> image(const char* marker, const char* version, std::size_t size = 300000)
{
    std::vector<unsigned char> payload(size);
    for (std::size_t i = 0; i < size; ++i)
        payload[i] = static_cast<unsigned char>(i * 7 + 3);
    return firmware::buildImage(marker, version, payload);
}

// One line from a raw module connection, "" when none comes in time.
QByteArray readLine(QTcpSocket& s, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!s.canReadLine() && t.elapsed() < ms && s.state() == QAbstractSocket::ConnectedState)
        s.waitForReadyRead(50);
    return s.readLine().trimmed();
}

// An upload_begin request on a raw connection, and the module's answer (kept
// out of the test class: moc does not read raw strings).
QByteArray begin(QTcpSocket& s, const char* image, const char* length)
{
    s.write(QByteArray(R"({"op":"upload_begin","image":")") + image + R"(","length":)" + length + "}\n");
    s.flush();
    return readLine(s);
}
} // namespace

class TestUpgraders : public QObject {
    Q_OBJECT
    EmulatorProcess m_emu;
    QTemporaryDir m_dir;
    MT7628Config m_lib;
    QProcess m_upgrader;

    QString write(const char* name, const std::vector<unsigned char>& bytes)
    {
        QFile f(m_dir.filePath(QString::fromLatin1(name)));
        const bool ok = f.open(QIODevice::WriteOnly)
            && f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
        return ok ? f.fileName() : QString();
    }

    void start(const char* program, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_MT7628_PORT"), QString::number(m_emu.port()));
        m_upgrader.setProcessEnvironment(env);
        m_upgrader.start(testBinary(program), args);
    }

    // Exit code of a finished run (-1 when it crashed or hung).
    int finish(QByteArray* err = nullptr)
    {
        const bool done = m_upgrader.waitForFinished(30000);
        if (err)
            *err = m_upgrader.readAllStandardError();
        return done && m_upgrader.exitStatus() == QProcess::NormalExit ? m_upgrader.exitCode() : -1;
    }

private slots:
    void initTestCase()
    {
        const QString args(
            "--adapters 4 --base-address 127.0.104.1 --flash-ms 200 --reboot-ms 1500 --upload-idle-ms 600");
        QVERIFY2(m_emu.start(args.split(QLatin1Char(' '))), qPrintable(m_emu.errorText()));
        m_lib.setPort(m_emu.port());
    }

    void eachUpgraderWritesItsImage_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<int>("field"); // softVer, dllVersion, firmwareVersion
        QTest::addColumn<QString>("reported");
        QTest::newRow("system, from the boot loader") << "7628_upgrade"
                                                      << "HALVERN_SYS" << 0 << "V3.0.1";
        QTest::newRow("application") << "app_upgrade"
                                     << "HALVERN_APP" << 1 << "V3.0.2";
        QTest::newRow("CAN") << "can_upgrade"
                             << "kestrix_E508" << 2 << "MT7628 V3.0.3";
    }
    void eachUpgraderWritesItsImage()
    {
        QFETCH(QString, program);
        QFETCH(QString, marker);
        QFETCH(int, field);
        QFETCH(QString, reported);
        const bool restarts = field != 2;
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 ") + (field == 0 ? "on" : "off")), QStringLiteral("OK"));
        const QString version = reported.section(QLatin1Char(' '), -1);
        const QString file = write("good.bin", image(qPrintable(marker), qPrintable(version), 2000000));
        start(qPrintable(program), {file, adapterIp(1)});
        QByteArray err;
        QCOMPARE(finish(&err), 0);
        QVERIFY2(m_upgrader.readAllStandardOutput().contains("sent 100%"), err.constData());
        QCOMPARE(m_emu.adapterDump(1).value(QStringLiteral("rebooting")).toBool(), restarts);
        vci_status s;
        QTRY_VERIFY_WITH_TIMEOUT(m_lib.GetVciStatus(adapterIp(1).toStdString(), s), 5000);
        const QString shown[] = {QString::fromStdString(s.softVer), QString::fromStdString(s.dllVersion),
            QString::fromStdString(s.firmwareVersion)};
        for (int f = 0; f < 3; ++f) // the image's own field, and no other
            QCOMPARE(shown[f] == reported, f == field);
        QVERIFY(!s.bootloader); // a system image ends the boot loader
    }

    // Bad images: the upgrader refuses what it can see itself (2); the adapter
    // refuses the rest, or all of it with --unchecked (4). Nothing is written.
    void badImagesAreRefusedAndTheVersionStays_data()
    {
        QTest::addColumn<int>("damage");
        QTest::addColumn<bool>("unchecked");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("flipped byte") << int(Flip) << false << 2 << "checksum";
        QTest::newRow("flipped byte, sent anyway") << int(Flip) << true << 4 << "checksum";
        QTest::newRow("cut short") << int(Cut) << false << 2 << "cut";
        QTest::newRow("cut short, sent anyway") << int(Cut) << true << 4 << "cut";
        QTest::newRow("bytes appended, sent anyway") << int(Append) << true << 4 << "appended";
        QTest::newRow("CAN image to the system") << int(OtherMarker) << false << 4 << "another kind";
        QTest::newRow("the write fails") << int(WriteFails) << false << 4 << "write failed";
    }
    void badImagesAreRefusedAndTheVersionStays()
    {
        QFETCH(int, damage);
        QFETCH(bool, unchecked);
        QFETCH(int, code);
        QFETCH(QString, reason);
        std::vector<unsigned char> bytes = image(damage == OtherMarker ? "kestrix_E508" : "HALVERN_SYS", "V4.0.0");
        if (damage == Flip)
            bytes[bytes.size() / 2] ^= 0x10;
        else if (damage == Cut)
            bytes.resize(bytes.size() - 100);
        else if (damage == Append)
            bytes.push_back(0);
        m_emu.command(QStringLiteral("failwrite 2 ") + (damage == WriteFails ? "on" : "off"));
        QStringList args = {write("bad.bin", bytes), adapterIp(2)};
        if (unchecked)
            args.prepend(QStringLiteral("--unchecked"));
        const int uploads = m_emu.adapterDump(2).value(QStringLiteral("uploadCount")).toInt();
        start("7628_upgrade", args);
        QByteArray err;
        QCOMPARE(finish(&err), code);
        QVERIFY2(err.contains(reason.toLatin1()), err.constData());
        QCOMPARE(m_emu.adapterDump(2).value(QStringLiteral("uploadCount")).toInt(), uploads + (code == 4 ? 1 : 0));
        QCOMPARE(m_emu.command(QStringLiteral("version 2 system")), QStringLiteral("OK V1.2.7"));
        QCOMPARE(m_emu.adapterDump(2).value(QStringLiteral("rebooting")).toBool(), false);
    }

    // No adapter: "unreachable" at once. The adapter gone during the write:
    // "lost" at once. The adapter that stops taking bytes: the idle time-out.
    void vanishingAdapterEndsTheUpload()
    {
        const std::vector<unsigned char> bytes = image("HALVERN_SYS", "V5.0.0", 4000000);
        const QString file = write("sys.bin", bytes);
        QElapsedTimer t;
        t.start();
        start("7628_upgrade", {file, adapterIp(99)});
        QCOMPARE(finish(), 3);
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));

        QCOMPARE(m_emu.command(QStringLiteral("flashms 2 20000")), QStringLiteral("OK"));
        start("7628_upgrade", {file, adapterIp(2)});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += m_upgrader.readAllStandardOutput()).contains("sent 100%"), 10000);
        QCOMPARE(m_emu.command(QStringLiteral("unplug 2")), QStringLiteral("OK"));
        t.restart();
        QCOMPARE(finish(), 5);
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(m_emu.command(QStringLiteral("version 2 system")), QStringLiteral("OK V1.2.7"));

        MT7628Config lib;
        lib.setPort(m_emu.port());
        lib.setUploadTimeouts(300, 1000);
        bool silenced = false;
        const auto outcome = lib.UploadImage(adapterIp(1).toStdString(), MT7628Config::Image::System, bytes.data(),
            bytes.size(), [&](std::uint64_t, std::uint64_t) {
                if (!silenced)
                    silenced = m_emu.command(QStringLiteral("silent 1 on")) == QLatin1String("OK");
                t.restart();
            });
        const qint64 ms = t.elapsed();
        QCOMPARE(m_emu.command(QStringLiteral("silent 1 off")), QStringLiteral("OK"));
        QCOMPARE(int(outcome.result), int(MT7628Config::UploadResult::TimedOut));
        QVERIFY2(ms >= 250 && ms < 1300, qPrintable(QString::number(ms)));
    }

    // The module refuses what it cannot take at the first line, takes one
    // upload at a time, and drops one whose client stops sending.
    void moduleBoundsItsUploads()
    {
        QTcpSocket a;
        QTcpSocket b;
        QTcpSocket otherMake; // adapter 4 is another make's: it takes none of these images
        for (auto [s, n] : {std::pair(&a, 1), std::pair(&b, 1), std::pair(&otherMake, 4)}) {
            s->connectToHost(adapterIp(n), m_emu.port());
            QVERIFY(s->waitForConnected(2000));
        }
        QVERIFY(begin(otherMake, "system", "1000").contains("takes no system image"));
        QVERIFY(begin(a, "boot", "1000").contains("unknown image kind"));
        QVERIFY(begin(a, "can", "0").contains("positive"));
        QVERIFY(begin(a, "can", "\"1000\"").contains("positive"));
        QVERIFY(begin(a, "can", "16777217").contains("too large"));
        QTcpSocket largest; // 16 MiB, the largest image the module takes (on another adapter: a stays free)
        QCOMPARE(m_emu.command(QStringLiteral("plug 2")), QStringLiteral("OK"));
        largest.connectToHost(adapterIp(2), m_emu.port());
        QVERIFY(largest.waitForConnected(2000));
        QVERIFY(begin(largest, "can", "16777216").contains("\"window\""));

        QVERIFY(begin(a, "can", "1000").contains("\"window\""));
        QElapsedTimer t;
        t.start();
        QVERIFY(begin(b, "can", "1000").contains("busy"));
        a.write(QByteArray(500, 'x')); // half the image, then nothing
        a.flush();
        const QByteArray dropped = readLine(a, 3000);
        QVERIFY2(dropped.contains("dropped") && t.elapsed() >= 500 && t.elapsed() < 2000, dropped.constData());
        QVERIFY(begin(b, "can", "1000").contains("\"window\""));
    }
};

QTEST_GUILESS_MAIN(TestUpgraders)
#include "tst_vcilink_upgraders.moc"
