// The start-up sequence in-process: the "-z" rule, the failure box and the
// restart after exit code 100. A second copy and the hidden start run as real
// processes in tst_app_manager_process.
#include "support/TestEnvironment.h"

#include "app/AppEntry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <system_error>

namespace {

QString uniqueKey()
{
    return QStringLiteral("BwTestInstance") + QUuid::createUuid().toString(QUuid::Id128);
}

StartupOptions optionsWith(StartupOptions::WindowFactory factory)
{
    StartupOptions options;
    options.instanceKey = uniqueKey();
    options.makeWindow = std::move(factory);
    return options;
}

// Runs `inLoop` once the start-up sequence has entered its event loop (timers
// already fire while the splash is processed, before the loop runs), then ends
// the loop with `code`.
void exitOnceTheLoopRuns(QObject* context, std::function<void()> inLoop, int code)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, [poll, inLoop, code] {
        if (QThread::currentThread()->loopLevel() == 0)
            return;
        poll->stop();
        poll->deleteLater();
        if (inLoop)
            inLoop();
        QCoreApplication::exit(code);
    });
    poll->start(5);
}

} // namespace

class TestAppEntry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void hiddenStartLooksAtTheRawCommandLine()
    {
        QVERIFY(startsHidden("/usr/bin/Brindlewick -z"));
        QVERIFY(startsHidden("/opt/tools-zone/Brindlewick"));
        QVERIFY(!startsHidden("/usr/bin/Brindlewick -Z"));
        QVERIFY(!startsHidden("/usr/bin/Brindlewick"));
        QVERIFY(!startsHidden("-"));
        QVERIFY(!startsHidden(""));
    }

    void failedWindowShowsTheCriticalBox()
    {
        for (bool throws : {false, true}) {
            StartupOptions options = optionsWith([throws](QPoint&, unsigned char*, bool& initialised) {
                if (throws)
                    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
                initialised = false;
                return std::make_unique<QWidget>();
            });
            QString title, text;
            QTimer answer;
            connect(&answer, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    title = box->windowTitle();
                    text = box->text();
                    box->button(QMessageBox::Ok)->click();
                }
            });
            answer.start(20);
            QCOMPARE(runStartup(options), -1);
            QCOMPARE(title, QStringLiteral("Warning"));
            QCOMPARE(text, QStringLiteral("Brindlewick init err"));
        }
    }

    void exitCode100RestartsWithoutArgumentsAfterReleasing()
    {
        // The real main window: its status thread reads the flag in the
        // segment up to the window's end, so the segment must outlive it.
        StartupOptions options = optionsWith(kestrixWindowFactory());
        options.restartProgram = QStringLiteral(BW_INSTANCE_PROBE);
        const QString out = env->path() + "/probe.txt";
        qputenv("BW_PROBE_OUT", QFile::encodeName(out));
        qputenv("BW_PROBE_KEY", options.instanceKey.toUtf8());
        exitOnceTheLoopRuns(this, nullptr, 100);
        QCOMPARE(runStartup(options), 100);

        QFile result(out);
        QTRY_VERIFY_WITH_TIMEOUT(result.exists() && result.size() > 0, 10000);
        QVERIFY(result.open(QIODevice::ReadOnly));
        // The new copy got no arguments (so no "-z") and could claim the segment.
        QCOMPARE(result.readAll(), QByteArray("claimed 0"));
    }

private:
    std::unique_ptr<TestEnvironment> env;
};

QTEST_MAIN(TestAppEntry)
#include "tst_app_entry.moc"
