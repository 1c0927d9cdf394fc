// No log written during the test run holds a secret the tests use. Runs after
// all other tests (the cleanup of the log folder fixture, cmake/Testing.cmake).
// Findings name the secret by what it is, never by its value, so this test's
// own output stays clean.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Secret {
    const char* what;
    const char* value;
};

// Every password, key, token and code the tests hand to the manager, the
// service, the emulators or the libraries. Values that are ordinary words
// (the token "stale", the header value "abc") are left out: log text uses
// them with their ordinary meaning.
const Secret kSecrets[] = {
    {"status block key of the test blocks", "K123"},
    {"key of emulated adapter 1", "KX0001"},
    {"key of emulated adapter 2", "KX0002"},
    {"key of emulated adapter 3", "KX0003"},
    {"key of emulated adapter 4", "KX0004"},
    {"forged status block key", "STOLEN"},
    {"remote key read for an adapter", "RK-0001@"},
    {"remote key a test sets on an adapter", "583920"},
    {"registration code of the Windows session test", "314159"},
    {"Wi-Fi password set on an adapter", "supersecret"},
    {"default Wi-Fi password of an emulated adapter", "12345678"},
    {"Wi-Fi password refused for a missing name", "longenough"},
    {"router password of an emulated access point", "h0me8f21pass"},
    {"router password of an emulated access point", "garage2024"},
    {"router password of a test access point", "officepass1"},
    {"router password of a test access point", "liftpass99"},
    {"wrong router password", "wrongpass1"},
    {"Wi-Fi password saved by the router page", "shop-2024!"},
    {"account password", "secret1"},
    {"account password of the keyring tests", "p4ss-Kq7-never-logged"},
    {"verification code", "123456"},
    {"bearer token", "Bearer t"},
};

bool isWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether `value` stands in `line` on its own: "KX00012" or "thread-5834920"
// are other words, not the secret.
bool containsWord(const QByteArray& line, const QByteArray& value)
{
    for (int at = line.indexOf(value); at >= 0; at = line.indexOf(value, at + 1)) {
        const bool startOk = at == 0 || !isWordChar(value.front()) || !isWordChar(line.at(at - 1));
        const int end = at + value.size();
        const bool endOk = end == line.size() || !isWordChar(value.back()) || !isWordChar(line.at(end));
        if (startOk && endOk)
            return true;
    }
    return false;
}

QStringList logFilesIn(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
}

// "<what> in <file> line <n>" for every secret found in the folder's logs.
QStringList findSecrets(const QString& dir, int* linesRead = nullptr)
{
    QStringList found;
    int lines = 0;
    for (const QString& name : logFilesIn(dir)) {
        QFile file(QDir(dir).filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            found << QStringLiteral("cannot read %1").arg(name);
            continue;
        }
        int number = 0;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            ++number;
            for (const Secret& secret : kSecrets)
                if (containsWord(line, secret.value))
                    found << QStringLiteral("%1 in %2 line %3").arg(QLatin1String(secret.what), name).arg(number);
        }
        lines += number;
    }
    if (linesRead)
        *linesRead = lines;
    return found;
}

} // namespace

class TestNoSecretsInLogs : public QObject {
    Q_OBJECT

private slots:
    void theSearchFindsAPlantedSecret()
    {
        QTemporaryDir dir;
        QFile log(dir.filePath(QStringLiteral("Planted.log")));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("2024-01-01 00:00:00.000 info brindlewick.device [main]: serial M5EA0001XJ7B0001\n"
                  "2024-01-01 00:00:00.001 info brindlewick.device [thread-15834920]: KX00021 is no key\n"
                  "2024-01-01 00:00:00.002 warning brindlewick.device [main]: key=KX0002; retrying\n");
        log.close();
        QFile other(dir.filePath(QStringLiteral("Other.txt"))); // not a log
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("supersecret\n");
        other.close();

        QCOMPARE(
            findSecrets(dir.path()), QStringList{QStringLiteral("key of emulated adapter 2 in Planted.log line 3")});
    }

    void noLogOfThisRunHoldsASecret()
    {
        const QString dir = QString::fromLocal8Bit(qgetenv("BRINDLEWICK_LOG_DIR"));
        QVERIFY2(!dir.isEmpty(), "BRINDLEWICK_LOG_DIR is not set: run through ctest");
        const QStringList files = logFilesIn(dir);
        if (files.isEmpty())
            QSKIP("no logs in the test log folder yet: this runs after the other tests of a ctest run");
        int lines = 0;
        const QStringList found = findSecrets(dir, &lines);
        qInfo("searched %d lines in %s", lines, qPrintable(files.join(QStringLiteral(", "))));
        QVERIFY2(found.isEmpty(), qPrintable(found.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestNoSecretsInLogs)
#include "tst_logging_no_secrets.moc"
