// The emulator's control language and adapter model, without sockets.
#include "EmulatedAdapter.h"
#include "Emulator.h"
#include "Mt7628Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using vciemu::Emulator;

class TestEmulator : public QObject {
    Q_OBJECT

    static Json::Value req(const char* json)
    {
        Json::Value v;
        mt7628::decodeFrame(json, v);
        return v;
    }

private slots:
    void selectionsParse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("expected");
        QTest::newRow("all") << "all" << true << "1,2,3,4,5";
        QTest::newRow("none") << "none" << true << "";
        QTest::newRow("list and range") << "1,3-4" << true << "1,3,4";
        QTest::newRow("zero") << "0" << false << "";
        QTest::newRow("beyond") << "6" << false << "";
        QTest::newRow("reversed") << "4-2" << false << "";
        QTest::newRow("word") << "two" << false << "";
        QTest::newRow("two dashes") << "1-2-3" << false << "";
        QTest::newRow("empty") << "" << false << "";
    }
    void selectionsParse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, expected);
        std::vector<int> out;
        QCOMPARE(Emulator::parseSelection(text, 5, &out), ok);
        if (ok) {
            QStringList got;
            for (int i : out)
                got << QString::number(i);
            QCOMPARE(got.join(QLatin1Char(',')), expected);
        }
    }

    void addressesCountUpAcrossOctets()
    {
        QCOMPARE(Emulator::addressFor(QStringLiteral("127.0.100.1"), 3), QStringLiteral("127.0.100.3"));
        QCOMPARE(Emulator::addressFor(QStringLiteral("127.0.100.255"), 2), QStringLiteral("127.0.101.0"));
        QVERIFY(Emulator::addressFor(QStringLiteral("nonsense"), 1).isEmpty());
    }

    void startRefusesBadOptions()
    {
        QString error;
        vciemu::EmulatorOptions o;
        o.baseAddress = QStringLiteral("10.0.0.1"); // never leave loopback
        QVERIFY(!Emulator().start(o, &error));
        QVERIFY(error.contains(QStringLiteral("loopback")));
        o.baseAddress = QStringLiteral("127.255.255.255");
        o.adapters = 2; // would wrap out of 127/8
        QVERIFY(!Emulator().start(o, &error));
        o = vciemu::EmulatorOptions();
        o.plug = QStringLiteral("7");
        QVERIFY(!Emulator().start(o, &error));
        QVERIFY(error.contains(QStringLiteral("--plug")));
    }

    void commandsChangeStateAndRejectNonsense()
    {
        Emulator emu;
        vciemu::EmulatorOptions o;
        o.adapters = 3;
        o.baseAddress = QStringLiteral("127.0.112.1");
        o.port = 0;
        o.plug = QStringLiteral("none");
        QString error;
        QVERIFY2(emu.start(o, &error), qPrintable(error));

        QCOMPARE(emu.execute(QStringLiteral("set voltage 2 10999")), QStringLiteral("OK"));
        QCOMPARE(emu.endpoint(2)->adapter().state().vbatt, 10999u);
        QCOMPARE(emu.endpoint(1)->adapter().state().vbatt, 12340u);
        QCOMPARE(emu.execute(QStringLiteral("state all 2")), QStringLiteral("OK"));
        QCOMPARE(emu.endpoint(3)->adapter().state().status, 2u);
        QCOMPARE(emu.execute(QStringLiteral("stop answering 1")), QStringLiteral("OK"));
        QVERIFY(emu.endpoint(1)->silent());
        QCOMPARE(emu.execute(QStringLiteral("conntype 1-2 ROUTE")), QStringLiteral("OK"));
        QCOMPARE(emu.endpoint(2)->adapter().state().connType, std::string("ROUTE"));

        const QStringList bad
            = {QStringLiteral("voltage 1 -5"), QStringLiteral("voltage 1 12V"), QStringLiteral("state 1 300"),
                QStringLiteral("state 9 1"), QStringLiteral("bootloader 1 maybe"), QStringLiteral("conntype 1 usb"),
                QStringLiteral("unplug"), QStringLiteral("frobnicate 1"), QStringLiteral("   ")};
        for (const QString& c : bad)
            QVERIFY2(emu.execute(c).startsWith(QStringLiteral("ERR")), qPrintable(c));
        QCOMPARE(emu.endpoint(1)->adapter().state().vbatt, 12340u); // nothing applied
        QCOMPARE(emu.endpoint(1)->adapter().state().status, 2u);

        const auto doc = QJsonDocument::fromJson(emu.execute(QStringLiteral("dump")).toUtf8());
        const QJsonArray all = doc.object().value(QStringLiteral("adapters")).toArray();
        QCOMPARE(all.size(), 3);
        QCOMPARE(all.at(1).toObject().value(QStringLiteral("vbatt")).toInt(), 10999);
        QCOMPARE(all.at(0).toObject().value(QStringLiteral("plugged")).toBool(), false);
        QVERIFY(emu.execute(QStringLiteral("list")).contains(QStringLiteral("unplugged")));
    }

    // The tester's request answers later, on the main thread, once; other
    // lines answer at once through the same call; the request goes to one
    // adapter; a caller gone by then gets nothing.
    void testerRequestAnswersLater()
    {
        Emulator emu;
        vciemu::EmulatorOptions o;
        o.adapters = 2;
        o.baseAddress = QStringLiteral("127.0.113.1");
        o.port = 0;
        o.passthruPort = 0;
        QString error;
        QVERIFY2(emu.start(o, &error), qPrintable(error));
        QObject caller;
        QStringList answers;
        const auto ask = [&](const char* line, QObject* context) {
            emu.execute(QLatin1String(line), context, [&answers](const QString& a) { answers << a; });
        };
        ask("vehicle 2 tester 6-14 ask 7E0 7E8 22F190", &caller);
        QVERIFY(answers.isEmpty()); // not before the ECU answered
        QTRY_COMPARE(answers.size(), 1);
        QCOMPARE(answers[0],
            QStringLiteral("OK 6-14 0x7E8 62F190")
                + QString::fromLatin1(QByteArray("WBWHB71J7P5123456").toHex().toUpper()));
        ask("vehicle 1 info", &caller);
        QCOMPARE(answers.size(), 2);
        QVERIFY(answers[1].startsWith(QLatin1String("OK vehicle")));
        ask("vehicle all tester 6-14 ask 7E0 7E8 3E00", &caller);
        QVERIFY(answers[2].startsWith(QLatin1String("ERR tester ask goes to one adapter")));
        {
            QObject gone;
            ask("vehicle 1 tester 6-14 ask 7E0 7E8 3E00", &gone);
        }
        // Clearing answers the open request at once (to the gone caller);
        // the next request's answer comes after that one.
        QVERIFY(emu.execute(QStringLiteral("vehicle 1 tester 6-14 clear")).startsWith(QLatin1String("OK")));
        ask("vehicle 1 tester 6-14 ask 7E0 7E8 3E00", &caller);
        QTRY_COMPARE(answers.size(), 4);
        QCOMPARE(answers[3], QStringLiteral("OK 6-14 0x7E8 7E00"));
    }

    void adapterAnswersFollowItsState()
    {
        vciemu::AdapterState s;
        s.serial = vciemu::EmulatedAdapter::defaultSerial(1);
        s.accessPoints = vciemu::EmulatedAdapter::defaultAccessPoints();
        vciemu::EmulatedAdapter a(s);
        bool reboot = false;

        QVERIFY(!mt7628::replyOk(a.handle(req(R"({"op":"nonsense"})"), reboot)));
        QVERIFY(!mt7628::replyOk(a.handle(req(R"({"op":7})"), reboot)));
        QVERIFY(!mt7628::replyOk(a.handle(req(R"({"op":"set_enet","on":"yes"})"), reboot)));
        QVERIFY(!a.state().enet);
        QVERIFY(mt7628::replyOk(a.handle(req(R"({"op":"reboot"})"), reboot)));
        QVERIFY(reboot);
        a.handle(req(R"({"op":"status"})"), reboot);
        QVERIFY(!reboot);

        a.state().status = 2;
        a.state().bootloader = true;
        Json::Value st = a.handle(req(R"({"op":"status"})"), reboot);
        QCOMPARE(st["status"].asUInt(), 0u); // the boot loader reads as recovery
        QVERIFY(st["firmwareVersion"].asString().find("boot") != std::string::npos);
        a.handle(req(R"({"op":"release"})"), reboot);
        a.state().bootloader = false;
        QCOMPARE(a.handle(req(R"({"op":"status"})"), reboot)["status"].asUInt(), 1u);

        // Joining an open network needs no password; leaving happens on reset.
        QVERIFY(
            mt7628::replyOk(a.handle(req(R"({"op":"connect_ap","ssid":"Brindlewick-Guest","password":""})"), reboot)));
        QVERIFY(a.state().joined);
        QVERIFY(!mt7628::replyOk(a.handle(req(R"({"op":"connect_ap","password":"x"})"), reboot)));
        QVERIFY(mt7628::replyOk(a.handle(req(R"({"op":"config_reset"})"), reboot)));
        QVERIFY(!a.state().joined);
    }
};

QTEST_GUILESS_MAIN(TestEmulator)
#include "tst_vcilink_emulator.moc"
