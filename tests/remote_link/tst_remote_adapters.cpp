// The user-space adapter records behind the virtual adapter (platform) and
// the service's choice of addresses in remote mode: valid records are listed
// after the system's adapters, damaged or hostile ones are skipped, and only
// "Brindlewick remoteDiag" adapters are asked in remote mode.
#include "Service.h"

#include "platform/NetAdapters.h"
#include "platform/ScriptStart.h"
#include "remote/VirtualAdapter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class RemoteAdaptersTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        platform::setScriptDirectory(QFile::encodeName(m_dir.path()).toStdString());
        QDir(m_dir.path() + QStringLiteral("/adapters")).removeRecursively();
    }

    void recordsComeAndGo()
    {
        platform::NetAdapter a;
        a.name = "remoteDiagX";
        a.description = "Brindlewick remoteDiag";
        a.ipv4 = "127.0.101.7";
        std::string error;
        QVERIFY2(platform::addUserAdapter("remoteDiagX", a, &error), error.c_str());
        const auto records = platform::userAdapters();
        QCOMPARE(records.size(), std::size_t(1));
        QCOMPARE(records[0].first, std::string("remoteDiagX"));
        QCOMPARE(records[0].second.ipv4, std::string("127.0.101.7"));
        // listAdapters shows it after whatever the system has.
        const auto all = platform::listAdapters();
        QVERIFY(!all.empty());
        QCOMPARE(all.back().description, std::string("Brindlewick remoteDiag"));
        // The folder is the user's alone.
        QCOMPARE(QFile::permissions(m_dir.path() + QStringLiteral("/adapters")) & 0x0077, QFileDevice::Permissions());
        QVERIFY(platform::removeUserAdapter("remoteDiagX"));
        QVERIFY(platform::userAdapters().empty());
        QVERIFY(!platform::removeUserAdapter("remoteDiagX"));
    }

    void badRecordsAreRefusedOrSkipped()
    {
        platform::NetAdapter a;
        a.description = "Brindlewick remoteDiag";
        a.ipv4 = "127.0.101.300";
        QVERIFY(!platform::addUserAdapter("ok", a));
        a.ipv4 = "127.0.101.1";
        QVERIFY(!platform::addUserAdapter("../escape", a));
        QVERIFY(!platform::addUserAdapter("", a));
        a.description = "line\nbreak";
        QVERIFY(!platform::addUserAdapter("ok", a));

        // Files written by someone else: only well-formed records count.
        QDir().mkpath(m_dir.path() + QStringLiteral("/adapters"));
        auto write = [&](const QString& name, const QByteArray& text) {
            QFile f(m_dir.path() + QStringLiteral("/adapters/") + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        write(QStringLiteral("noaddress.adapter"), "name=x\ndescription=Brindlewick remoteDiag\n");
        write(QStringLiteral("badaddress.adapter"), "description=Brindlewick remoteDiag\nipv4=1.2.3\n");
        write(QStringLiteral("huge.adapter"), "ipv4=127.0.101.9\ndescription=" + QByteArray(2000, 'x') + "\n");
        write(QStringLiteral("bad id!.adapter"), "ipv4=127.0.101.8\n");
        write(QStringLiteral("other.txt"), "ipv4=127.0.101.6\n");
        write(
            QStringLiteral("good.adapter"), "name=g\ndescription=Brindlewick remoteDiag\nipv4=127.0.101.5\nextra=1\n");
        const auto records = platform::userAdapters();
        QCOMPARE(records.size(), std::size_t(1));
        QCOMPARE(records[0].first, std::string("good"));
        QCOMPARE(records[0].second.ipv4, std::string("127.0.101.5"));
    }

    void instancesGetTheirOwnAddress()
    {
        qputenv("BRINDLEWICK_SHM_PREFIX", "first_");
        std::string error;
        const std::string first = remote::enableVirtualAdapter(&error);
        QCOMPARE(first, std::string("127.0.101.1"));
        QCOMPARE(remote::enableVirtualAdapter(&error), first); // enabling again keeps it
        qputenv("BRINDLEWICK_SHM_PREFIX", "second/../x");
        const std::string second = remote::enableVirtualAdapter(&error);
        QCOMPARE(second, std::string("127.0.101.2"));
        QCOMPARE(remote::virtualAdapterId(), std::string("remoteDiagsecond____x"));
        QVERIFY(remote::disableVirtualAdapter());
        QVERIFY(remote::virtualAdapterAddress().empty());
        qputenv("BRINDLEWICK_SHM_PREFIX", "first_");
        QCOMPARE(remote::virtualAdapterAddress(), first);
        QVERIFY(remote::disableVirtualAdapter());
    }

    void remoteModeAsksOnlyRemoteAdapters()
    {
        std::vector<platform::NetAdapter> adapters(4);
        adapters[0] = {"eth0", "r8152", "AA-BB", "169.254.100.2"};
        adapters[1] = {"remoteDiagA", "Brindlewick remoteDiag", "", "127.0.101.2"};
        adapters[2] = {"remoteDiagB", "Brindlewick remoteDiag", "", ""};
        adapters[3] = {"remoteDiagC", "Brindlewick remoteDiag", "", "127.0.101.2"};
        QCOMPARE(bwservice::remoteAdapterAddresses(adapters), std::vector<std::string>{"127.0.101.2"});
        QCOMPARE(std::string(bwservice::kRemoteAdapterDescription), std::string(remote::kVirtualAdapterDescription));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_APPLESS_MAIN(RemoteAdaptersTest)
#include "tst_remote_adapters.moc"
