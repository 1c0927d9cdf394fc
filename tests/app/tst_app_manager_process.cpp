// The real manager executable as separate processes: a second start, a start
// hidden with "-z", and a start after the first copy was killed.
#include "support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <memory>

namespace {

class Manager {
public:
    // The test's private environment is inherited; the shell logs what it shows.
    explicit Manager(const QString& logRules = QStringLiteral("brindlewick.shell.info=true"), bool pluginLog = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", logRules);
        if (pluginLog)
            env.insert("QT_DEBUG_PLUGINS", "1"); // every plugin Qt loads, in the log
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    // Shows the windows on the X server `display` instead of offscreen.
    void useXServer(const QString& display)
    {
        QProcessEnvironment env = m_process.processEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", display);
        m_process.setProcessEnvironment(env);
    }
    ~Manager()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    void start(const QStringList& args = {}) { m_process.start(QStringLiteral(BW_MANAGER_PATH), args); }
    // Lines of the log that contain `text`.
    int count(const char* text) { return log().count(text); }
    QByteArray log()
    {
        m_log += m_process.readAll();
        return m_log;
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_log;
};

} // namespace

class TestManagerProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void secondStartShowsTheHiddenFirstCopy()
    {
        Manager first;
        first.start({"-z"});
        QTRY_VERIFY2_WITH_TIMEOUT(first.count("main window hidden") == 1, first.log().constData(), 15000);
        QCOMPARE(first.count("main window shown"), 1); // shown, then hidden before the loop runs

        Manager second;
        second.start();
        QVERIFY(second.process().waitForFinished(15000));
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 255); // -1 as a process status
        QVERIFY2(second.count("main window shown") == 0, second.log().constData());

        QTRY_VERIFY2_WITH_TIMEOUT(first.count("main window shown") == 2, first.log().constData(), 2500);
        QVERIFY(first.process().state() == QProcess::Running);
    }

    void startAfterTheFirstCopyWasKilled()
    {
        {
            Manager first;
            first.start();
            QTRY_VERIFY2_WITH_TIMEOUT(first.count("main window shown") == 1, first.log().constData(), 15000);
            first.process().kill(); // SIGKILL: the segment is left behind
            QVERIFY(first.process().waitForFinished(5000));
        }
        Manager next;
        next.start();
        QTRY_VERIFY2_WITH_TIMEOUT(next.count("main window shown") == 1, next.log().constData(), 15000);
        QTest::qWait(300);
        QVERIFY2(next.process().state() == QProcess::Running, next.log().constData());
    }

    // The start-up trace is off unless asked for. Asked for, it shows the
    // steps in order, and what the first page does not need runs after the
    // window's first paint; a start in the tray, never painted, runs it too.
    // Before that paint no image-format plugin beyond those the window's
    // pictures need is loaded, nor Qt's network bearer plugins.
    void startupTraceAndTheStepsAfterShow()
    {
        {
            Manager plain;
            plain.start();
            QTRY_VERIFY2_WITH_TIMEOUT(plain.count("main window shown") == 1, plain.log().constData(), 15000);
            QVERIFY2(plain.count("brindlewick.shell.startup") == 0, plain.log().constData());
        }
        const QString traced = QStringLiteral("brindlewick.shell.info=true\nbrindlewick.shell.startup.debug=true");
        {
            Manager shown(traced, true);
            shown.start();
            // On a failure the log's end says where the start stopped (a message is cut at 1 KB).
            QTRY_VERIFY2_WITH_TIMEOUT(
                shown.count("steps after show run") == 1, shown.log().right(900).constData(), 15000);
            const QByteArray log = shown.log();
            const QList<int> order = {log.indexOf("main entered after"), log.indexOf("application object"),
                log.indexOf("window: subsystems wired"), log.indexOf("main window show() returned"),
                log.indexOf("main window painted"), log.indexOf("window: steps after show begin")};
            for (int i = 0; i < order.size(); ++i)
                QVERIFY2(order[i] >= 0 && (i == 0 || order[i - 1] < order[i]), log.constData());
            QByteArrayList loadedBeforePaint;
            for (const QByteArray& line : log.left(log.indexOf("main window painted")).split('\n'))
                if (line.contains("loaded library"))
                    loadedBeforePaint << line;
            QVERIFY2(!loadedBeforePaint.isEmpty(), "the plugin log is missing");
            for (const QByteArray& line : loadedBeforePaint)
                for (const char* plugin : {"libqjpeg", "libqtiff", "libqwebp", "/bearer/"})
                    QVERIFY2(!line.contains(plugin), line.constData());
        }
        Manager tray(traced);
        tray.start({"-z"});
        QTRY_VERIFY2_WITH_TIMEOUT(tray.count("steps after show run") == 1, tray.log().constData(), 15000);
        QCOMPARE(tray.count("main window painted"), 0);
    }

    // On an X server the windows are painted without OpenGL: the first window
    // does not load Qt's GL integration (and through it the GL driver).
    void noOpenGlOnAnXServer()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            QSKIP("needs Xvfb");
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // -displayfd 1: the server writes its display number to standard output once it listens.
        server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 15000);
        const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed());

        {
            Manager manager(QStringLiteral("brindlewick.shell.info=true\nbrindlewick.shell.startup.debug=true"), true);
            manager.useXServer(display);
            manager.start();
            QTRY_VERIFY2_WITH_TIMEOUT(manager.count("main window painted") == 1, manager.log().constData(), 15000);
            QVERIFY2(manager.count("libqxcb.so") > 0, "not shown through the X server's plugin");
            QVERIFY2(manager.count("xcbglintegrations") == 0, manager.log().constData());
        }
        server.terminate();
        QVERIFY(server.waitForFinished(5000));
    }

private:
    std::unique_ptr<TestEnvironment> env;
};

QTEST_MAIN(TestManagerProcess)
#include "tst_app_manager_process.moc"
