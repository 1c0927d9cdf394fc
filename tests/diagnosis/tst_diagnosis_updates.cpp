// Keeping the component current against the cloud emulator's file server,
// which serves a built VehDiag folder (here one made of the test double):
// the folder version check (entry replaced, "Tmp.ini" gone, a silent server
// given up after ten polls), the replacements (a cut download leaves no
// "_Down" file), the make upgrade offer and the upgrade itself (a damaged
// download loses nothing).
#include "CloudEmulator.h"
#include "DiagnosisFolders.h"

#include "diagnosis/ComponentUpdates.h"
#include "diagnosis/VersionFile.h"

#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using diagnosis::ComponentFolder;
using diagnosis::ComponentUpdates;

class TestDiagnosisUpdates : public QObject {
    Q_OBJECT

    QTemporaryDir m_served; // the file server's VehDiag folder
    CloudEmulator m_cloud;
    std::atomic<int> m_sleeps{0};

    diagnosis::Sleep countingSleep()
    {
        return [this](std::chrono::milliseconds ms) {
            ++m_sleeps;
            std::this_thread::sleep_for(ms);
            return true;
        };
    }
    ComponentUpdates updatesFor(const QString& root) const
    {
        diagnosis::UpdatePolicy policy;
        policy.versionPoll = std::chrono::milliseconds(50);
        policy.libraryPoll = std::chrono::milliseconds(20);
        policy.libraryWait = std::chrono::seconds(30);
        return ComponentUpdates(ComponentFolder(root), m_cloud.httpHostBase() + QStringLiteral("files/"), policy);
    }
    QString newest(const ComponentFolder& folder, const char* name) const
    {
        return diagnosis::readVersionFile(folder.newestVersions()).value(QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(diagtest::makeComponent(m_served.path(), QStringLiteral("1.0.0")));
        QVERIFY2(m_cloud.start(QString(), QString(), {QStringLiteral("--vehdiag"), m_served.path()}),
            qPrintable(m_cloud.lastError()));
    }
    void init()
    {
        QVERIFY(m_cloud.reset());
        m_sleeps = 0;
    }

    void versionCheckRecordsTheFolderVersion()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        QVERIFY(diagtest::writeBytes(folder.newestVersions(), "Bmw=0.9\r\nOther=5\r\n"));
        const ComponentUpdates updates = updatesFor(dir.path());

        QString version;
        QCOMPARE(updates.checkFolderVersion(QStringLiteral("Bmw"), countingSleep(), &version),
            ComponentUpdates::Check::Recorded);
        QCOMPARE(version, QStringLiteral("1.0.0"));
        QCOMPARE(newest(folder, "Bmw"), QStringLiteral("1.0.0"));
        QCOMPARE(newest(folder, "Other"), QStringLiteral("5"));
        QVERIFY(!QFileInfo::exists(folder.downloadedVersion()));
        QVERIFY(m_sleeps <= 10);

        // A newer version published on the file server replaces the entry.
        QVERIFY(m_cloud.controlAt(QStringLiteral("vehdiag"),
            QJsonObject{{QStringLiteral("folder"), QStringLiteral("Bmw")},
                {QStringLiteral("version"), QStringLiteral("1.0.1")}}));
        QCOMPARE(updates.checkFolderVersion(QStringLiteral("Bmw"), countingSleep()), ComponentUpdates::Check::Recorded);
        QCOMPARE(newest(folder, "Bmw"), QStringLiteral("1.0.1"));
        QCOMPARE(diagnosis::readVersionFile(folder.newestVersions()).entries.size(), 2);

        // A version text that is none, or a folder the server does not know: unchanged.
        QVERIFY(m_cloud.controlAt(QStringLiteral("vehdiag"),
            QJsonObject{{QStringLiteral("folder"), QStringLiteral("Bmw")},
                {QStringLiteral("version"), QStringLiteral("latest")}}));
        QCOMPARE(updates.checkFolderVersion(QStringLiteral("Bmw"), countingSleep()), ComponentUpdates::Check::Unusable);
        QCOMPARE(
            updates.checkFolderVersion(QStringLiteral("Audi"), countingSleep()), ComponentUpdates::Check::NoAnswer);
        QCOMPARE(newest(folder, "Bmw"), QStringLiteral("1.0.1"));
        QVERIFY(newest(folder, "Audi").isEmpty());
        QVERIFY(!QFileInfo::exists(folder.downloadedVersion()));
    }

    void silentServerIsGivenUpAfterTenPolls()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        QVERIFY(diagtest::writeBytes(folder.newestVersions(), "Bmw=0.9\r\n"));
        QVERIFY(m_cloud.control(QJsonObject{{QStringLiteral("path"), QStringLiteral("/files/q3lux/Bmw/Version.ini")},
            {QStringLiteral("delayMs"), 20000}}));
        QCOMPARE(updatesFor(dir.path()).checkFolderVersion(QStringLiteral("Bmw"), countingSleep()),
            ComponentUpdates::Check::NoAnswer);
        QCOMPARE(m_sleeps.load(), 10);
        QCOMPARE(newest(folder, "Bmw"), QStringLiteral("0.9"));
        QVERIFY(!QFileInfo::exists(folder.downloadedVersion()));

        // A stop ends the wait at once, before the polls are used up.
        QVERIFY(m_cloud.reset());
        QVERIFY(m_cloud.control(QJsonObject{{QStringLiteral("path"), QStringLiteral("/files/q3lux/Bmw/Version.ini")},
            {QStringLiteral("delayMs"), 20000}}));
        int sleeps = 0;
        const auto stopping = [&sleeps](std::chrono::milliseconds) { return ++sleeps < 3; };
        QCOMPARE(updatesFor(dir.path()).checkFolderVersion(QStringLiteral("Bmw"), stopping),
            ComponentUpdates::Check::Stopped);
        QCOMPARE(sleeps, 3);
    }

    void replacementsArriveWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        const ComponentUpdates updates = updatesFor(dir.path());
        QVERIFY(updates.downloadReplacements(countingSleep()).isEmpty());
        for (const char* base : {diagnosis::kStdComm, diagnosis::kStdDispQt})
            QVERIFY(diagnosis::looksLoadable(folder.replacement(base)));

        // The communication library's download is cut: only the display's waits, nothing is swapped.
        for (const char* base : {diagnosis::kStdComm, diagnosis::kStdDispQt})
            QVERIFY(QFile::remove(folder.replacement(base)));
        QVERIFY(m_cloud.control(
            QJsonObject{{QStringLiteral("path"), QStringLiteral("/files/q3lux/MARROWET_DISPQT/Release/StdComm.dll")},
                {QStringLiteral("truncate"), true}}));
        QCOMPARE(updates.downloadReplacements(countingSleep()), QStringList{QString::fromLatin1(diagnosis::kStdComm)});
        QVERIFY(!QFileInfo::exists(folder.replacement(diagnosis::kStdComm)));
        QVERIFY(QFileInfo::exists(folder.replacement(diagnosis::kStdDispQt)));
        QCOMPARE(diagnosis::swapReplacements(folder), diagnosis::SwapResult::OneMissing);

        // Damaged files that arrive whole are refused at the swap; the libraries in use stay.
        QVERIFY(m_cloud.controlAt(QStringLiteral("vehdiag"),
            QJsonObject{
                {QStringLiteral("folder"), QStringLiteral("MARROWET_DISPQT")}, {QStringLiteral("damaged"), true}}));
        QVERIFY(updates.downloadReplacements(countingSleep()).isEmpty());
        QCOMPARE(diagnosis::swapReplacements(folder), diagnosis::SwapResult::Refused);
        QVERIFY(diagnosis::looksLoadable(folder.library(diagnosis::kStdComm)));
        QVERIFY(diagnosis::looksLoadable(folder.library(diagnosis::kStdDispQt)));
    }

    void makeUpgradeIsOfferedForANewerVersionAndLosesNothingOnFailure()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path(), QStringLiteral("1.0.1")));
        const ComponentFolder folder(dir.path());
        const ComponentUpdates updates = updatesFor(dir.path());
        const QString marker = folder.makeFolder(QStringLiteral("Bmw")) + QStringLiteral("/Data/ecus.txt");
        QVERIFY(diagtest::writeBytes(marker, "kept"));

        // Equal versions offer nothing; nor does a newest version without an installed one.
        QVERIFY(diagtest::writeBytes(folder.newestVersions(), "Bmw=1.0.1\n"));
        QVERIFY(!updates.upgradeOffer(QStringLiteral("Bmw")).offered);
        QVERIFY(diagtest::writeBytes(folder.newestVersions(), "Bmw=1.0.2\n"));
        const ComponentUpdates::Offer offer = updates.upgradeOffer(QStringLiteral("Bmw"));
        QVERIFY(offer.offered);
        QCOMPARE(offer.newest, QStringLiteral("1.0.2"));
        QCOMPARE(offer.installed, QStringLiteral("1.0.1"));
        QVERIFY(!updates.upgradeOffer(QStringLiteral("Audi")).offered);

        // A damaged library from the server: the make folder stays as it was.
        QVERIFY(m_cloud.controlAt(QStringLiteral("vehdiag"),
            QJsonObject{{QStringLiteral("folder"), QStringLiteral("Bmw")}, {QStringLiteral("damaged"), true}}));
        QString why;
        QVERIFY(!updates.upgradeMake(QStringLiteral("Bmw"), offer.newest, countingSleep(), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(QFileInfo::exists(marker));
        QVERIFY(diagnosis::looksLoadable(folder.makeLibrary(QStringLiteral("Bmw"))));
        QVERIFY(updates.upgradeOffer(QStringLiteral("Bmw")).offered);

        // A whole one: the folder holds only the new library, the installed version follows.
        QVERIFY(m_cloud.reset());
        QVERIFY(updates.upgradeMake(QStringLiteral("Bmw"), offer.newest, countingSleep(), &why));
        QVERIFY(!QFileInfo::exists(marker));
        QCOMPARE(QDir(folder.makeFolder(QStringLiteral("Bmw"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{QFileInfo(folder.makeLibrary(QStringLiteral("Bmw"))).fileName()});
        QVERIFY(diagnosis::looksLoadable(folder.makeLibrary(QStringLiteral("Bmw"))));
        QCOMPARE(diagnosis::readVersionFile(folder.installedVersions()).value(QStringLiteral("Bmw")),
            QStringLiteral("1.0.2"));
        QVERIFY(!updates.upgradeOffer(QStringLiteral("Bmw")).offered);
    }
};

QTEST_GUILESS_MAIN(TestDiagnosisUpdates)
#include "tst_diagnosis_updates.moc"
