// The manager's message handler: what a log line holds, which levels reach
// the file, the copy on stderr.
#include "app/LogSetup.h"
#include "app/Logging.h"
#include "device/DeviceLog.h"
#include "kit/KitLog.h"

#include <platform/LogFile.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <thread>

class TestManagerLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_log;

    QStringList fileLines() const
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // The lines `emitMessages` adds to the log while the manager's handler is
    // installed (QtTest's own handler is put back afterwards).
    QStringList logged(const std::function<void()>& emitMessages) const
    {
        const int before = fileLines().size();
        const QtMessageHandler previous = installManagerLog();
        emitMessages();
        qInstallMessageHandler(previous);
        return fileLines().mid(before);
    }

    static QString stampless(const QString& line)
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "));
        const QRegularExpressionMatch m = stamp.match(line);
        return m.hasMatch() ? line.mid(m.capturedLength()) : QStringLiteral("<no time stamp> ") + line;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        platform::setLogDir(m_dir.path().toStdString());
        m_log = m_dir.filePath(QStringLiteral("Brindlewick.log"));
        platform::setThreadName("main");
    }

    void linesCarryLevelCategoryThreadAndMessage()
    {
        const QStringList lines = logged([] {
            qCWarning(lcDevice) << "cannot write" << 42;
            std::thread([] {
                platform::setThreadName("status");
                qCInfo(lcShell) << "from a named worker";
            }).join();
            QThread* qt = QThread::create([] { qCCritical(lcKit) << "from a Qt thread"; });
            qt->setObjectName(QStringLiteral("remote-key"));
            qt->start();
            qt->wait();
            delete qt;
            std::thread([] { qCInfo(lcShell) << "from an unnamed worker"; }).join();
            qWarning("plain %d", 5);
            qCInfo(lcShell).noquote() << "forged\n2024-01-01 00:00:00.000 info brindlewick.shell [main]: line";
        });
        QCOMPARE(lines.size(), 6);
        QCOMPARE(stampless(lines[0]), QStringLiteral("warning brindlewick.device [main]: cannot write 42"));
        QCOMPARE(stampless(lines[1]), QStringLiteral("info brindlewick.shell [status]: from a named worker"));
        QCOMPARE(stampless(lines[2]), QStringLiteral("critical brindlewick.kit [remote-key]: from a Qt thread"));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^info brindlewick.shell \\[thread-\\d+\\]: from an unnamed worker$"))
                .match(stampless(lines[3]))
                .hasMatch(),
            qPrintable(lines[3]));
        QCOMPARE(stampless(lines[4]), QStringLiteral("warning default [main]: plain 5"));
        // A message cannot add a line of its own.
        QCOMPARE(stampless(lines[5]),
            QStringLiteral("info brindlewick.shell [main]: forged\\n2024-01-01 00:00:00.000 info brindlewick.shell "
                           "[main]: line"));
    }

    void debugLinesOnlyWhenTheRulesAskForThem()
    {
        QStringList lines = logged([] { qCDebug(lcDevice) << "hidden by default"; });
        QVERIFY2(lines.isEmpty(), qPrintable(lines.join('\n')));

        QLoggingCategory::setFilterRules(QStringLiteral("brindlewick.device.debug=true"));
        lines = logged([] { qCDebug(lcDevice) << "asked for"; });
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(lines.size(), 1);
        QCOMPARE(stampless(lines[0]), QStringLiteral("debug brindlewick.device [main]: asked for"));
    }

    void everyLineAlsoGoesToStderr()
    {
        const QString errPath = m_dir.filePath(QStringLiteral("stderr.txt"));
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int capture = ::open(QFile::encodeName(errPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(saved >= 0 && capture >= 0);
        ::dup2(capture, STDERR_FILENO);
        const QStringList lines = logged([] { qCWarning(lcShell) << "seen on the terminal too"; });
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        ::close(capture);

        QFile err(errPath);
        QVERIFY(err.open(QIODevice::ReadOnly));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(QString::fromUtf8(err.readAll()), lines[0] + '\n');
    }

    void theLogFileIsPrivate()
    {
        QVERIFY(QFile::exists(m_log));
        QCOMPARE(
            QFile::permissions(m_log) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner | QFile::WriteOwner),
            QFileDevice::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestManagerLog)
#include "tst_logging_manager_log.moc"
