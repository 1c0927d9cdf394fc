// The support file's scrubber: secrets of every shape we log or receive are
// removed, everything a developer needs (serials, addresses, versions,
// status codes) stays.
#include "settings/SecretScrubber.h"

#include <QtTest>

class TestSettingsScrubber : public QObject {
    Q_OBJECT
private slots:
    void removesSecrets_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("secret");
        QTest::newRow("key=") << "SN=M5EA0001XJ7B0001\nkey=K3yS3cr3t\nvciIP=169.254.100.1"
                              << "K3yS3cr3t";
        QTest::newRow("password=") << "login user=ana password=hunter22 ok"
                                   << "hunter22";
        QTest::newRow("Password: spaced") << "Password : Zz9-aa"
                                          << "Zz9-aa";
        QTest::newRow("json password") << R"({"username":"ana","password":"p@ss w0rd"})"
                                       << "p@ss w0rd";
        QTest::newRow("json token") << R"({"token": "eyJhbGciOi.JIUzI1.NiJ9"})"
                                    << "eyJhbGciOi.JIUzI1.NiJ9";
        QTest::newRow("access_token query") << "GET /api/x?sn=A1&access_token=abcDEF123&y=1"
                                            << "abcDEF123";
        QTest::newRow("remoteKey") << "remoteKey=998877aa"
                                   << "998877aa";
        QTest::newRow("api_key") << "api_key: 0123456789abcdef"
                                 << "0123456789abcdef";
        QTest::newRow("secret") << "client_secret='s3cr3t!'"
                                << "s3cr3t!";
        QTest::newRow("Authorization header") << "Authorization: Basic YW5hOmh1bnRlcjIy\r\nHost: x"
                                              << "YW5hOmh1bnRlcjIy";
        QTest::newRow("authorization lower") << "authorization: Bearer abc.def.ghi"
                                             << "abc.def.ghi";
        QTest::newRow("Proxy-Authorization") << "Proxy-Authorization: Digest u=1"
                                             << "Digest u=1";
        QTest::newRow("Cookie") << "Cookie: session=77aa88bb; theme=dark"
                                << "77aa88bb";
        QTest::newRow("Set-Cookie") << "Set-Cookie: sid=QWERTY; HttpOnly"
                                    << "QWERTY";
        QTest::newRow("Bearer anywhere") << "sending Bearer tok_1234567890 to relay"
                                         << "tok_1234567890";
        QTest::newRow("code is six digits") << "your verification code is 482913, valid 5 min"
                                            << "482913";
        QTest::newRow("SMS code:") << "sms code: 123456"
                                   << "123456";
        QTest::newRow("code=") << "code=654321"
                               << "654321";
        QTest::newRow("smsCode json") << R"({"phone":"555","smsCode":"778899"})"
                                      << "778899";
        QTest::newRow("longTimeCode") << "longTimeCode=AB12CD"
                                      << "AB12CD";
        QTest::newRow("pwd") << "pwd=x9x9x9"
                             << "x9x9x9";
    }
    void removesSecrets()
    {
        QFETCH(QString, input);
        QFETCH(QString, secret);
        const QString out = SecretScrubber::scrub(input);
        QVERIFY2(!out.contains(secret), qPrintable(out));
        QVERIFY2(out.contains(QLatin1String(SecretScrubber::kRemoved)), qPrintable(out));
    }

    void keepsWhatIsNoSecret_data()
    {
        QTest::addColumn<QString>("input");
        QTest::newRow("status block")
            << "SN=M5EA0001XJ7B0001\nsoftVer=V1.2.3\nvciIP=169.254.100.1\nconnType=USB\nvbatt=12340\nstatus=1";
        QTest::newRow("log line")
            << "2024-05-01 12:34:56.789 info service [main]: publishing adapter M5EA0001XJ7B0001 at 127.0.100.1";
        QTest::newRow("exit code") << "upgrader exited with exit code: 1";
        QTest::newRow("http status") << R"({"code":0,"msg":"ok","data":[]})";
        QTest::newRow("mac and version") << "eth1 | r8152 | AA-BB-CC-DD-EE-FF | 169.254.100.2 | V2.0.1";
        QTest::newRow("five digits after code") << "error code 40401 from server";
        QTest::newRow("empty") << "";
    }
    void keepsWhatIsNoSecret()
    {
        QFETCH(QString, input);
        QCOMPARE(SecretScrubber::scrub(input), input);
    }

    void keepsTheRestOfTheLine()
    {
        QCOMPARE(SecretScrubber::scrub(QStringLiteral("a=1 password=xyz b=2")),
            QStringLiteral("a=1 password=[removed] b=2"));
        QCOMPARE(SecretScrubber::scrub(QStringLiteral(R"({"password":"xyz","sn":"M5EA0001XJ7B0001"})")),
            QStringLiteral(R"({"password":"[removed]","sn":"M5EA0001XJ7B0001"})"));
        QCOMPARE(
            SecretScrubber::scrub(QStringLiteral("?token=abc&sn=M5EA")), QStringLiteral("?token=[removed]&sn=M5EA"));
        // Several secrets on several lines, each line's own.
        const QString many = SecretScrubber::scrub(QStringLiteral("token=a1\nkey=b2\ncode 123456\nSN=XYZ"));
        QCOMPARE(many, QStringLiteral("token=[removed]\nkey=[removed]\ncode [removed]\nSN=XYZ"));
    }

    void scrubbingTwiceChangesNothingMore()
    {
        const QString once = SecretScrubber::scrub(QStringLiteral("password=abc Authorization: x code 123456 key='q'"));
        QCOMPARE(SecretScrubber::scrub(once), once);
    }

    void longLinesOfLettersStillEnd()
    {
        // A log line of megabytes with no separator, then a secret: scrubbed,
        // and the letters before it kept (no quadratic search on the run).
        const QString run(2 * 1024 * 1024, QLatin1Char('a'));
        const QString out = SecretScrubber::scrub(run + QStringLiteral(" password=abcdef code ") + run);
        QVERIFY(!out.contains(QStringLiteral("abcdef")));
        QVERIFY(out.startsWith(run));
        QCOMPARE(out.size(), 2 * run.size() + QStringLiteral(" password=[removed] code ").size());
    }

    void bytesKeepTheirUtf8()
    {
        const QByteArray in = QStringLiteral("contraseña=ñandú password=ñandú12 día").toUtf8();
        const QByteArray out = SecretScrubber::scrubUtf8(in);
        QVERIFY(!out.contains(QStringLiteral("ñandú12").toUtf8()));
        QVERIFY(out.contains(QStringLiteral("día").toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestSettingsScrubber)
#include "tst_settings_scrubber.moc"
