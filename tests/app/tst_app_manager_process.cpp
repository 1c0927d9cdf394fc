// The real manager executable as separate processes: a second start, a start
// hidden with "-z", and a start after the first copy was killed.
#include "support/TestEnvironment.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <memory>

namespace {

class Manager {
public:
    // The test's private environment is inherited; the shell logs what it shows.
    Manager()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", "brindlewick.shell.info=true");
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
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

private:
    std::unique_ptr<TestEnvironment> env;
};

QTEST_MAIN(TestManagerProcess)
#include "tst_app_manager_process.moc"
