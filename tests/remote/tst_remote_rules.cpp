// The rules around a session that need no library: verification codes, the
// code file, the field checks, the session page's texts and the record's
// body and authorization.
#include "remote/RemoteCode.h"
#include "remote/SessionFormat.h"
#include "remote/SessionRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace remote;

class TestRemoteRules : public QObject {
    Q_OBJECT
private slots:
    // Temporary codes: six digits, never a leading 0, and not a fixed sequence.
    void temporaryCodes()
    {
        QSet<QString> seen;
        QSet<QChar> firstDigits;
        for (int i = 0; i < 2000; ++i) {
            const QString code = temporaryCode();
            QVERIFY2(isTemporaryCodeShape(code), qPrintable(code));
            seen.insert(code);
            firstDigits.insert(code.at(0));
        }
        QVERIFY(seen.size() > 1900);
        QVERIFY(!firstDigits.contains(QLatin1Char('0')));
        QCOMPARE(firstDigits.size(), 9);
        QVERIFY(!isTemporaryCodeShape(QStringLiteral("012345")));
        QVERIFY(!isTemporaryCodeShape(QStringLiteral("12345a")));
        QVERIFY(!isTemporaryCodeShape(QStringLiteral("12345")));
    }

    // The persistent code file keeps a code as text per serial and refuses
    // what would not read back as the same six digits.
    void codeFile()
    {
        QTemporaryDir dir;
        const CodeFile file(dir.filePath(QStringLiteral("longTimeCode.ini")));
        QCOMPARE(file.read(QStringLiteral("A")), QString());
        QVERIFY(file.write(QStringLiteral("M5EA0001XJ7B0001"), QStringLiteral("000123")));
        QVERIFY(file.write(QStringLiteral("M5EA0002XJ7B0002"), QStringLiteral("987654")));
        QCOMPARE(file.read(QStringLiteral("M5EA0001XJ7B0001")), QStringLiteral("000123"));
        QCOMPARE(file.read(QStringLiteral("M5EA0002XJ7B0002")), QStringLiteral("987654"));
        QVERIFY(!file.write(QStringLiteral("M5EA0001XJ7B0001"), QStringLiteral("12345")));
        QVERIFY(!file.write(QStringLiteral("M5EA0001XJ7B0001"), QStringLiteral("12a456")));
        QVERIFY(!file.write(QString(), QStringLiteral("123456")));
        QVERIFY(!file.write(QStringLiteral("a/b"), QStringLiteral("123456")));
        QCOMPARE(file.read(QStringLiteral("M5EA0001XJ7B0001")), QStringLiteral("000123"));

        QFile raw(file.path());
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QVERIFY(raw.readAll().contains("longTimeCode=000123"));
        raw.close();

        // A hand-edited value that is not six digits counts as none.
        QVERIFY(raw.open(QIODevice::WriteOnly | QIODevice::Truncate));
        raw.write("[M5EA0001XJ7B0001]\nlongTimeCode=12\n[M5EA0002XJ7B0002]\nlongTimeCode=\"abcdef\"\n\x01\xff garbage");
        raw.close();
        QCOMPARE(file.read(QStringLiteral("M5EA0001XJ7B0001")), QString());
        QCOMPARE(file.read(QStringLiteral("M5EA0002XJ7B0002")), QString());

        QCOMPARE(persistentCodeFor(QStringLiteral("654321")), QStringLiteral("654321"));
        // Anything else gets a fresh code: six digits, another one each time.
        const QString shortField = persistentCodeFor(QStringLiteral("65432"));
        const QString wordField = persistentCodeFor(QStringLiteral("Remote"));
        QVERIFY(isTemporaryCodeShape(shortField));
        QVERIFY(isTemporaryCodeShape(wordField));
        QVERIFY(shortField != wordField);
        QVERIFY(shortField != QLatin1String("583920") && wordField != QLatin1String("583920"));
    }

    void fieldChecks_data()
    {
        QTest::addColumn<QString>("sn");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("snError");
        QTest::addColumn<QString>("codeError");
        QTest::addColumn<int>("portValue");
        const QString snBad = QStringLiteral("The format of the serial number is incorrect!");
        const QString codeBad = QStringLiteral("The format of the verification code is incorrect!");
        QTest::newRow("good") << "M5EA0001XJ7B0001"
                              << "123456"
                              << "5000"
                              << ""
                              << "" << 5000;
        QTest::newRow("15 characters, 5 digits") << "M5EA0001XJ7B000"
                                                 << "12345"
                                                 << "65535" << snBad << codeBad << 65535;
        QTest::newRow("empty serial") << ""
                                      << "1234567"
                                      << "4999"
                                      << "Please enter SN" << codeBad << 0;
        QTest::newRow("symbols") << "M5EA0001XJ7B00-1"
                                 << "12 456"
                                 << "65536" << snBad << codeBad << 0;
        QTest::newRow("not a number") << "M5EA0001XJ7B0001"
                                      << "123456"
                                      << "+6000"
                                      << ""
                                      << "" << 0;
        QTest::newRow("17 characters, largest code") << "M5EA0001XJ7B00012"
                                                     << "999999"
                                                     << "5000" << snBad << "" << 5000;
        QTest::newRow("empty code and port") << "M5EA0001XJ7B0001"
                                             << ""
                                             << ""
                                             << "" << codeBad << 0;
    }
    void fieldChecks()
    {
        QFETCH(QString, sn);
        QFETCH(QString, code);
        QFETCH(QString, port);
        QFETCH(QString, snError);
        QFETCH(QString, codeError);
        QFETCH(int, portValue);
        QCOMPARE(checkSerial(sn), snError);
        QCOMPARE(checkCode(code), codeError);
        QCOMPARE(portNumber(port), portValue);
        QCOMPARE(checkPort(port).isEmpty(), portValue != 0);
    }

    // Session page texts: role, times, delays with their colour bands, sizes.
    void sessionTexts()
    {
        QCOMPARE(sessionRole(true, false, false), Role::Server);
        QCOMPARE(sessionRole(false, false, false), Role::Server);
        QCOMPARE(sessionRole(false, true, false), Role::Client);
        QCOMPARE(sessionRole(false, false, true), Role::Client);

        QCOMPARE(deviceNumberText(QString()), QStringLiteral("---"));
        QCOMPARE(clockText(QDateTime(QDate(2024, 5, 1), QTime(7, 4, 9))), QStringLiteral("07:04:09"));
        QCOMPARE(durationText(0), QStringLiteral("00:00:00"));
        QCOMPARE(durationText(3661), QStringLiteral("01:01:01"));
        QCOMPARE(durationText(100 * 3600 + 59), QStringLiteral("100:00:59"));
        QCOMPARE(durationText(-5), QStringLiteral("00:00:00"));

        QCOMPARE(delayText(-1, true), QStringLiteral("--"));
        QCOMPARE(delayText(30, true), QStringLiteral("B:30ms"));
        QCOMPARE(delayText(30, false), QStringLiteral("30ms"));
        QCOMPARE(delayColour(30), QStringLiteral("#33CC00"));
        QCOMPARE(delayColour(31), QStringLiteral("#FFCC00"));
        QCOMPARE(delayColour(50), QStringLiteral("#FFCC00"));
        QCOMPARE(delayColour(51), QStringLiteral("#CC3300"));
        QVERIFY(delayStyle(51).contains(QLatin1String(";color:#CC3300")));
        QVERIFY(!delayStyle(-1).contains(QLatin1String(";color:")));

        QCOMPARE(byteText(0), QStringLiteral("0B"));
        QCOMPARE(byteText(1023), QStringLiteral("1023B"));
        QCOMPARE(byteText(1024), QStringLiteral("1KB"));
        QCOMPARE(byteText(1048575), QStringLiteral("1023KB"));
        QCOMPARE(byteText(1048576), QStringLiteral("1MB"));
        QCOMPARE(byteText(std::uint64_t(5) << 40), QStringLiteral("5242880MB"));
    }

    // The record: the exact body, and an authorization that is the MD5 of the
    // pattern with serial and event, different for start and end.
    void recordHeader()
    {
        const QString sn = QStringLiteral("M5EA0001XJ7B0001");
        QCOMPARE(recordBody(sn, RecordEvent::Start), QByteArray("{\"sn\":\"M5EA0001XJ7B0001\",\"event\":\"start\"}"));
        QCOMPARE(recordBody(sn, RecordEvent::End), QByteArray("{\"sn\":\"M5EA0001XJ7B0001\",\"event\":\"end\"}"));
        const QByteArray pattern("p:{event}:{sn}:q");
        const QByteArray start = recordAuthorization(sn, RecordEvent::Start, pattern);
        QCOMPARE(start, QCryptographicHash::hash("p:start:M5EA0001XJ7B0001:q", QCryptographicHash::Md5).toHex());
        QVERIFY(start != recordAuthorization(sn, RecordEvent::End, pattern));
        QVERIFY(start != recordAuthorization(QStringLiteral("M5EA0001XJ7B0002"), RecordEvent::Start, pattern));

        // A serial that would break the JSON or the 128-byte body is cleaned and cut.
        const QByteArray hostile
            = recordBody(QStringLiteral("A\"},\"x\":1,{\"") + QString(300, QLatin1Char('B')), RecordEvent::End);
        QVERIFY(hostile.size() < 128);
        const QJsonObject parsed = QJsonDocument::fromJson(hostile).object();
        QCOMPARE(parsed.value(QLatin1String("event")).toString(), QStringLiteral("end"));
        QVERIFY(parsed.value(QLatin1String("sn")).toString().startsWith(QLatin1String("Ax1B")));
    }
};

QTEST_GUILESS_MAIN(TestRemoteRules)
#include "tst_remote_rules.moc"
