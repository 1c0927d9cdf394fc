// Two managers on one machine: what an instance name sets, what it leaves to
// variables set on their own, the names refused, where program-folder files
// go, and that two instances' single-instance claims do not meet while a
// second start of the same instance still finds the first.
#include "app/SingleInstance.h"
#include "kit/Instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const kVariables[] = {"BRINDLEWICK_INSTANCE", "BRINDLEWICK_SHM_PREFIX", "BRINDLEWICK_DATA_ROOT",
    "BRINDLEWICK_REGISTRY_ROOT", "BRINDLEWICK_LOG_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};

QString apply(QStringList args, QString* problem = nullptr)
{
    args.prepend(QStringLiteral("Brindlewick"));
    std::vector<QByteArray> bytes;
    for (const QString& a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    return instance::apply(static_cast<int>(argv.size()), argv.data(), problem);
}

} // namespace

class TestRemoteInstances : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        for (const char* v : kVariables)
            m_saved.append(qgetenv(v));
    }
    void init()
    {
        for (const char* v : kVariables)
            qunsetenv(v);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/config")));
    }
    void cleanupTestCase()
    {
        int i = 0;
        for (const char* v : kVariables) {
            if (m_saved.at(i).isNull())
                qunsetenv(v);
            else
                qputenv(v, m_saved.at(i));
            ++i;
        }
    }

    // No name: nothing changes.
    void defaultInstance()
    {
        QCOMPARE(apply({}), QString());
        QVERIFY(qEnvironmentVariableIsEmpty("BRINDLEWICK_SHM_PREFIX"));
        QVERIFY(qEnvironmentVariableIsEmpty("BRINDLEWICK_DATA_ROOT"));
        QCOMPARE(instance::programFile(QStringLiteral("VCIINFO.ini")),
            QCoreApplication::applicationDirPath() + QStringLiteral("/VCIINFO.ini"));
    }

    // A name from the environment or the option (which wins) sets every default
    // that is not set on its own and is kept for the copies started later.
    void namedInstance()
    {
        qputenv("BRINDLEWICK_INSTANCE", "fromEnv");
        qputenv("BRINDLEWICK_LOG_DIR", "/somewhere/logs");
        QCOMPARE(apply({QStringLiteral("--instance"), QStringLiteral("b-end_2")}), QStringLiteral("b-end_2"));
        QCOMPARE(qgetenv("BRINDLEWICK_INSTANCE"), QByteArray("b-end_2"));
        QCOMPARE(qgetenv("BRINDLEWICK_SHM_PREFIX"), QByteArray("bwb-end_2_"));
        QCOMPARE(qEnvironmentVariable("BRINDLEWICK_DATA_ROOT"),
            m_dir.path() + QStringLiteral("/data/brindlewick/instances/b-end_2/ProgramData"));
        QCOMPARE(qEnvironmentVariable("BRINDLEWICK_REGISTRY_ROOT"),
            m_dir.path() + QStringLiteral("/config/brindlewick/instances/b-end_2/registry"));
        QCOMPARE(qgetenv("BRINDLEWICK_LOG_DIR"), QByteArray("/somewhere/logs"));
        QCOMPARE(instance::name(), QStringLiteral("b-end_2"));
        const QString file = instance::programFile(QStringLiteral("longTimeCode.ini"));
        QCOMPARE(file, QCoreApplication::applicationDirPath() + QStringLiteral("/instances/b-end_2/longTimeCode.ini"));
        QVERIFY(QFileInfo(file).dir().exists());
        QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/instances")).removeRecursively();
        // The longest name allowed.
        const QString longest(32, QLatin1Char('a'));
        QCOMPARE(apply({QStringLiteral("--instance"), longest}), longest);
    }

    // A name that could leave its folder or the block names is refused with a reason.
    void refusedNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("path") << "../x";
        QTest::newRow("space") << "a b";
        QTest::newRow("long") << QString(33, QLatin1Char('a'));
        QTest::newRow("slash") << "a/b";
    }
    void refusedNames()
    {
        QFETCH(QString, name);
        QString problem;
        QCOMPARE(apply({QStringLiteral("--instance"), name}, &problem), QString());
        QVERIFY(problem.contains(QLatin1String("refused")));
        QVERIFY(qEnvironmentVariableIsEmpty("BRINDLEWICK_INSTANCE"));
        QVERIFY(qEnvironmentVariableIsEmpty("BRINDLEWICK_SHM_PREFIX"));
        QCOMPARE(instance::name(), QString());
    }

    // Two instances claim at once; a second start of one of them is turned away.
    void singleInstancePerName()
    {
        const QString base = QStringLiteral("tst_remote_instances_%1").arg(QCoreApplication::applicationPid());
        SingleInstance c(base);
        SingleInstance b(base);
        SingleInstance bAgain(base);
        qputenv("BRINDLEWICK_SHM_PREFIX", "bwc_");
        QVERIFY(c.claim());
        qputenv("BRINDLEWICK_SHM_PREFIX", "bwb_");
        QVERIFY(b.claim());
        QVERIFY(!bAgain.claim());
        QCOMPARE(SingleInstance::showRequested(b.flag()), true);
        QCOMPARE(SingleInstance::showRequested(c.flag()), false);
        // A copy that ends, however it ends, leaves the name free for the next.
        c.release();
        qputenv("BRINDLEWICK_SHM_PREFIX", "bwc_");
        SingleInstance cAgain(base);
        QVERIFY(cAgain.claim());
        cAgain.release();
        b.release();
        platform::SharedMemory::remove(base.toStdString());
        qputenv("BRINDLEWICK_SHM_PREFIX", "bwb_");
        platform::SharedMemory::remove(base.toStdString());
    }

private:
    QTemporaryDir m_dir;
    QList<QByteArray> m_saved;
};

QTEST_GUILESS_MAIN(TestRemoteInstances)
#include "tst_remote_instances.moc"
