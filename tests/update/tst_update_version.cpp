// The version rules, the check's URL and the reading of the server's answer.
#include "update/AppVersion.h"
#include "update/ProgramVersion.h"

#include <QtTest>

class TstUpdateVersion : public QObject {
    Q_OBJECT
private slots:
    void number_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<quint64>("number");
        QTest::newRow("four parts") << "2.0.1.0" << true << quint64(2000001000);
        QTest::newRow("each part at its largest") << "999.999.999.999" << true << quint64(999999999999);
        QTest::newRow("five characters get .0") << "1.0.2" << true << quint64(1000002000);
        QTest::newRow("prefix V") << "V1.0.2.0" << true << quint64(1000002000);
        QTest::newRow("text before the last v") << "Brindlewick v2 v1.2.3.4" << true << quint64(1002003004);
        QTest::newRow("six characters are not padded") << "V1.0.2" << true << quint64(1000002);
        QTest::newRow("one part") << "7" << true << quint64(7);
        QTest::newRow("part above 999 carries") << "1.1000" << true << quint64(2000);
        QTest::newRow("blanks around") << "  2.0.1.0 " << true << quint64(2000001000);
        QTest::newRow("largest six parts") << "18.446.744.073.709.551.615" << true << quint64(18446744073709551615ULL);
        QTest::newRow("one above 64 bits") << "18.446.744.073.709.551.616" << false << quint64(0);
        QTest::newRow("thirty parts") << QString(QStringLiteral("1.").repeated(29) + QStringLiteral("1")) << false
                                      << quint64(0);
        QTest::newRow("a part of 25 digits") << "1.0.1234567890123456789012345" << false << quint64(0);
        QTest::newRow("empty") << "" << false << quint64(0);
        QTest::newRow("only V") << "V" << false << quint64(0);
        QTest::newRow("empty part") << "1..2.0" << false << quint64(0);
        QTest::newRow("trailing dot") << "1.0.1." << false << quint64(0);
        QTest::newRow("letters in a part") << "1.0.beta.1" << false << quint64(0);
        QTest::newRow("sign") << "1.-1.0.0" << false << quint64(0);
        QTest::newRow("non-ASCII digit") << QStringLiteral("1.0.\u0663.0") << false << quint64(0);
    }

    void number()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(quint64, number);
        bool readable = !ok;
        QCOMPARE(update::versionNumber(text, &readable), number);
        QCOMPARE(readable, ok);
    }

    // Against the version the build gives the program (project(VERSION)).
    void newer_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("newer");
        const QString program = QString::fromLatin1(update::programVersion());
        QStringList parts = program.split(QLatin1Char('.'));
        QVERIFY2(parts.size() == 4 && update::versionNumber(program) > 0, qPrintable(program));
        const int last = parts.last().toInt();
        parts.removeLast();
        const QString stem = parts.join(QLatin1Char('.')) + QLatin1Char('.');
        QTest::newRow("the same, with V") << QStringLiteral("V") + program << false;
        QTest::newRow("the same, blanks around") << QStringLiteral(" ") + program + QStringLiteral(" ") << false;
        QTest::newRow("last part one up") << stem + QString::number(last + 1) << true;
        QTest::newRow("last part at its largest") << stem + QStringLiteral("999") << (last < 999);
        QTest::newRow("older server") << QStringLiteral("V0.0.0.1") << false;
        QTest::newRow("garbage server is never newer") << "latest" << false;
        QTest::newRow("overflowing server is never newer")
            << QString(QStringLiteral("9.").repeated(40) + QStringLiteral("9")) << false;
        QTest::newRow("empty server") << "" << false;
    }

    void newer()
    {
        QFETCH(QString, server);
        QFETCH(bool, newer);
        QCOMPARE(update::serverIsNewer(QString::fromLatin1(update::programVersion()), server), newer);
    }

    void url()
    {
        const QString path = QStringLiteral("/api/software-product-versions/latest-byswcode");
        QCOMPARE(update::appVersionUrl(QStringLiteral("https://api.example.com/"), true),
            QStringLiteral("https://api.example.com") + path + QStringLiteral("?langCode=EN&swSnCode=Brindlewick"));
        QCOMPARE(update::appVersionUrl(QStringLiteral("https://api.example.com"), false),
            QStringLiteral("https://api.example.com") + path + QStringLiteral("?langCode=CN&swSnCode=Brindlewick"));
        QVERIFY(!update::appVersionUrl(QStringLiteral("http://h:8080//"), true).contains(QStringLiteral("8080//")));
    }

    void answer()
    {
        const std::string good = R"({"status":200,"errorKey":"","swProduct":{"code":"Brindlewick","summary":"Notes",
            "name":"Brindlewick Manager","versionNo":"V1.0.2.0","size":52428800,
            "url":"https://files.example.com/app/BrindlewickInstall.zip","updatedDate":"2026-11-20T09:00:00Z"}})";
        const AppVersionInfo info = update::parseAppVersionAnswer(200, good);
        QCOMPARE(info.code, QStringLiteral("Brindlewick"));
        QCOMPARE(info.summary, QStringLiteral("Notes"));
        QCOMPARE(info.name, QStringLiteral("Brindlewick Manager"));
        QCOMPARE(info.versionNo, QStringLiteral("V1.0.2.0"));
        QCOMPARE(info.size, 52428800);
        QCOMPARE(info.url, QStringLiteral("https://files.example.com/app/BrindlewickInstall.zip"));
        QCOMPARE(info.updatedDate, QStringLiteral("2026-11-20T09:00:00Z"));

        QVERIFY(update::parseAppVersionAnswer(404, good).isEmpty());
        QVERIFY(update::parseAppVersionAnswer(200, "{not json").isEmpty());
        QVERIFY(update::parseAppVersionAnswer(200, R"({"swProduct":"V9"})").isEmpty());
        QVERIFY(update::parseAppVersionAnswer(200, "[1,2]").isEmpty());
        QVERIFY(update::parseAppVersionAnswer(200, "").isEmpty());
        // Members of the wrong type read as empty, the rest still counts.
        const AppVersionInfo odd
            = update::parseAppVersionAnswer(200, R"({"swProduct":{"versionNo":102,"url":"u","size":"big"}})");
        QVERIFY(odd.versionNo.isEmpty());
        QCOMPARE(odd.url, QStringLiteral("u"));
        QCOMPARE(odd.size, 0);
    }
};

QTEST_GUILESS_MAIN(TstUpdateVersion)
#include "tst_update_version.moc"
