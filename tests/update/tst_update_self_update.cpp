// Self-update end to end against the cloud emulator and the build's signed
// archives: the check gives the "New" tag (bus code 6), the newer archive
// is downloaded, checked and installed into a private program folder where
// the new version starts and confirms; a tampered archive changes nothing; a
// killed upgrader is rolled back; an unwritable folder gets its message; the
// progress dialog keeps up through Enter and Escape until a failure.
#include "http/CHvHttp.h"
#include "update/Drive.h"
#include "update/GUI_Upgrade.h"
#include "update/HttpServer.h"
#include "update/ReleaseInstaller.h"
#include "update/UpdateController.h"
#include "update/UpdatePage.h"

#include "device/AppShared.h"
#include "kit/SafeUnpacker.h"

#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/StandInHost.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString kUpgrader = QStringLiteral("Upgrade2");

// The shared stand-in window with the navigation bar's update mark the
// controller looks for.
class Host : public StandInHost {
public:
    Host()
        : tip(new QLabel(this))
    {
        tip->setObjectName(QStringLiteral("lbl_upgradeTip"));
        tip->hide();
    }
    QLabel* tip;
};

QByteArray fileSum(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return QByteArray();
    return hash.result().toHex();
}

// Every file of a program folder (the staging folder left out) with its sum.
QMap<QString, QByteArray> folderSums(const QString& folder)
{
    QMap<QString, QByteArray> sums;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(folder).relativeFilePath(path);
        if (!relative.startsWith(QLatin1String(".bw-upgrade")))
            sums.insert(relative, fileSum(path));
    }
    return sums;
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TstUpdateSelfUpdate : public QObject {
    Q_OBJECT
private:
    TestEnvironment env;
    TestTls tls;
    CloudEmulator cloud;
    QTemporaryDir work;
    QString installDir;
    QString releaseDir; // the emulator's --release folder
    QMap<QString, QByteArray> oldSums;
    QMap<QString, QByteArray> newSums;

    // A program folder holding this build's version, as an installation would.
    void installCurrent()
    {
        SafeUnpacker::removeTree(installDir);
        ReleaseInstaller installer;
        installer.setRunningVersion(QString()); // a fresh installation, not an update of this program
        QCOMPARE(installer.unpack(QStringLiteral(BW_RELEASE_ARCHIVE), installDir), QString());
        QFile::remove(installDir + QStringLiteral("/manifest.txt"));
        QFile::remove(installDir + QStringLiteral("/manifest.sig"));
        oldSums = folderSums(installDir);
    }

    // Downloads the served archive and unpacks it; the unpack folder or empty.
    QString fetchRelease(QString* message)
    {
        const QString archive = work.filePath(QStringLiteral("dl/BrindlewickInstall.zip"));
        QDir().mkpath(QFileInfo(archive).absolutePath());
        HttpServer server;
        if (!server.downloadFileFromServer(
                cloud.httpHostBase() + QStringLiteral("files/app/BrindlewickInstall.zip"), archive, 60000)) {
            *message = server.lastResult();
            return QString();
        }
        const QString folder = ReleaseInstaller::unpackFolder(archive);
        *message = ReleaseInstaller().unpack(archive, folder);
        return message->isEmpty() ? folder : QString();
    }

    static void killPid(qint64 pid)
    {
        if (pid > 1)
            ::kill(pid_t(pid), SIGKILL);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        installDir = work.filePath(QStringLiteral("Brindlewick"));
        releaseDir = work.filePath(QStringLiteral("served"));
        QDir().mkpath(releaseDir);
        QVERIFY(QFile::copy(
            QStringLiteral(BW_RELEASE_NEXT_ARCHIVE), releaseDir + QStringLiteral("/BrindlewickInstall.zip")));
        // The test CA is trusted through the variable, as in every TLS test.
        QVERIFY2(tls.create(), qPrintable(tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", QFile::encodeName(tls.caFile()));
        QVERIFY2(cloud.start(tls.serverCert(), tls.serverKey(), {QStringLiteral("--release"), releaseDir}),
            qPrintable(cloud.lastError()));
        QVERIFY(cloud.reset());
    }

    void checkGivesTheNewTag()
    {
        Host host;
        UpdateController controller;
        controller.attach(host);
        controller.drive()->setServerBase(cloud.httpBase());
        QSignalSpy bus(AppShared::instance(), &AppShared::signal);

        auto lastCode6 = [&bus]() -> QVariant {
            for (int i = bus.size() - 1; i >= 0; --i)
                if (bus.at(i).at(0).value<SharedSignal>() == NewerVersionExists)
                    return bus.at(i).at(1);
            return QVariant();
        };

        // The emulator announces the next version; this program is the build's.
        controller.startCheck();
        QTRY_VERIFY_WITH_TIMEOUT(lastCode6().isValid(), 20000);
        QCOMPARE(lastCode6().toBool(), true);
        QVERIFY(host.tip->isVisibleTo(&host));
        QVERIFY(controller.updateButton()->isEnabled());
        QCOMPARE(controller.page()->state(), UpdatePage::State::Newer);

        bus.clear();
        QVERIFY(cloud.controlAt(QStringLiteral("app-version"),
            QJsonObject{{QStringLiteral("versionNo"), QStringLiteral(BW_PROJECT_VERSION)}}));
        // Bus code 4 runs the check and shows the update page.
        emit AppShared::instance()->signal(RunVersionCheck, QVariant());
        QCOMPARE(host.currentPage(), int(Pages::DetectionUpdate));
        QTRY_VERIFY_WITH_TIMEOUT(lastCode6().isValid(), 20000);
        QCOMPARE(lastCode6().toBool(), false);
        QVERIFY(!host.tip->isVisibleTo(&host));
        QVERIFY(!controller.updateButton()->isEnabled());
        QCOMPARE(controller.page()->state(), UpdatePage::State::Current);

        // No answer at all: no tag, and the page says so.
        bus.clear();
        controller.drive()->setServerBase(QStringLiteral("http://127.0.0.1:1/"));
        controller.startCheck();
        QTRY_VERIFY_WITH_TIMEOUT(lastCode6().isValid(), 20000);
        QCOMPARE(lastCode6().toBool(), false);
        QCOMPARE(controller.page()->state(), UpdatePage::State::NoAnswer);
        controller.stop();
        QVERIFY(cloud.reset());
        QVERIFY(cloud.controlAt(QStringLiteral("app-version"),
            QJsonObject{{QStringLiteral("versionNo"), QStringLiteral("V" BW_NEXT_VERSION)}}));
    }

    // The update button: grey while it works, blue again after a failed download.
    void updateButtonAfterAFailedDownload()
    {
        QVERIFY(cloud.controlAt(QStringLiteral("app-version"),
            QJsonObject{{QStringLiteral("url"), QStringLiteral("{FILES}app/NoSuchRelease.zip")}}));
        Host host;
        UpdateController controller;
        controller.attach(host);
        controller.drive()->setServerBase(cloud.httpBase());
        controller.startCheck();
        QTRY_VERIFY_WITH_TIMEOUT(controller.updateButton()->isEnabled(), 20000);
        QCOMPARE(controller.updateButton()->styleSheet(), UpdatePage::availableStyle());

        QVERIFY(!controller.upgradeDialog());
        controller.ClickButton_Software_Update();
        QVERIFY(!controller.updateButton()->isEnabled());
        QCOMPARE(controller.updateButton()->styleSheet(), UpdatePage::busyStyle());
        QVERIFY(controller.upgradeDialog());
        QSignalSpy failed(controller.upgradeDialog(), &GUI_Upgrade::sig_updateFailed);
        // The download cannot be stopped: the keys leave its dialog up.
        QProgressDialog* dialog = controller.upgradeDialog()->progressDialog();
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QTest::keyClick(dialog, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 20000);
        QVERIFY(controller.updateButton()->isEnabled());
        QCOMPARE(controller.updateButton()->styleSheet(), UpdatePage::availableStyle());
        QVERIFY(dialog->labelText().startsWith(QLatin1String("File download failure!!!")));
        // The failure read, Escape closes the message; Enter does on the next try.
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        controller.ClickButton_Software_Update();
        QVERIFY(dialog->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 2, 20000);
        QTest::keyClick(dialog, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        controller.stop();
        QVERIFY(cloud.controlAt(QStringLiteral("app-version"),
            QJsonObject{{QStringLiteral("url"), QStringLiteral("{FILES}app/BrindlewickInstall.zip")}}));
    }

    void downloadOf404Fails()
    {
        HttpServer server;
        QSignalSpy finished(&server, &HttpServer::finished);
        const QString target = work.filePath(QStringLiteral("missing.zip"));
        QVERIFY(!server.downloadFileFromServer(
            cloud.httpHostBase() + QStringLiteral("files/app/NoSuchRelease.zip"), target, 10000));
        QCOMPARE(server.lastResult(), QStringLiteral("Server response failure"));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(!QFileInfo::exists(target));
    }

    // Over TLS: the check and the download with the certificate checked; a
    // redirect from https to http is refused.
    void overTls()
    {
        CHvHttp client;
        const AppVersionInfo info = GetAuthApp(client, cloud.httpsBase(), true);
        QCOMPARE(info.versionNo, QStringLiteral("V" BW_NEXT_VERSION));
        QVERIFY(info.url.startsWith(QLatin1String("https://")));

        const QString target = work.filePath(QStringLiteral("tls.zip"));
        HttpServer server;
        QVERIFY2(server.downloadFileFromServer(info.url, target, 60000), qPrintable(server.lastResult()));
        QCOMPARE(fileSum(target), fileSum(QStringLiteral(BW_RELEASE_NEXT_ARCHIVE)));
        QFile::remove(target);

        QVERIFY(cloud.control(QJsonObject{{QStringLiteral("path"), QStringLiteral("/files/app/")},
            {QStringLiteral("redirect"), cloud.httpHostBase() + QStringLiteral("files/app/BrindlewickInstall.zip")}}));
        QVERIFY(!server.downloadFileFromServer(info.url, target, 60000));
        QCOMPARE(server.lastResult(), QStringLiteral("Server response failure"));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(cloud.reset());
        QVERIFY(cloud.controlAt(QStringLiteral("app-version"),
            QJsonObject{{QStringLiteral("versionNo"), QStringLiteral("V" BW_NEXT_VERSION)}}));
    }

    void updateInstallsAndTheNewVersionStarts()
    {
        installCurrent();
        QString message;
        const QString folder = fetchRelease(&message);
        QVERIFY2(!folder.isEmpty(), qPrintable(message));
        const ReleaseInstaller installer;
        QCOMPARE(installer.copyUpgrader(folder, installDir), QString());

        // The upgrader waits for the "manager" (here a short-lived process) to end.
        QProcess manager;
        manager.start(QStringLiteral("sleep"), {QStringLiteral("1")});
        QVERIFY(manager.waitForStarted());
        QCOMPARE(installer.runUpgrader(folder, installDir, manager.processId()), QString());
        manager.waitForFinished();

        const QString log = installDir + QStringLiteral("/.bw-upgrade/upgrade.log");
        QTRY_VERIFY_WITH_TIMEOUT(readText(log).contains(QLatin1String("updated to")), 90000);
        const QString text = readText(log);
        QVERIFY2(text.contains(QLatin1String("updated to " BW_NEXT_VERSION)), qPrintable(text));
        killPid(text.section(QStringLiteral("running as "), 1).trimmed().toLongLong());

        // Every file is the new release's, with its executable bit.
        newSums = folderSums(installDir);
        QCOMPARE(newSums.value(QStringLiteral("Brindlewick")), fileSum(folder + QStringLiteral("/Brindlewick")));
        QVERIFY(oldSums.value(QStringLiteral("Brindlewick")) != newSums.value(QStringLiteral("Brindlewick")));
        QVERIFY(QFileInfo(installDir + QStringLiteral("/BrindlewickService")).isExecutable());
        QVERIFY(!QFileInfo::exists(installDir + QStringLiteral("/.bw-upgrade/old")));
        QVERIFY(!QFileInfo::exists(installDir + QStringLiteral("/.bw-upgrade/journal")));
    }

    void tamperedArchiveChangesNothing()
    {
        installCurrent();
        // The served archive with one file changed after signing.
        QTemporaryDir unpacked;
        QProcess sevenZip;
        sevenZip.start(QStringLiteral("7z"),
            {QStringLiteral("x"), QStringLiteral("-o") + unpacked.path(), QStringLiteral(BW_RELEASE_NEXT_ARCHIVE)});
        QVERIFY(sevenZip.waitForFinished(60000) && sevenZip.exitCode() == 0);
        {
            QFile upgrader(unpacked.filePath(kUpgrader));
            QVERIFY(upgrader.open(QIODevice::Append));
            upgrader.write("#!/bin/sh\n");
        }
        const QString served = releaseDir + QStringLiteral("/BrindlewickInstall.zip");
        QFile::rename(served, served + QStringLiteral(".good"));
        sevenZip.setWorkingDirectory(unpacked.path());
        sevenZip.start(
            QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-tzip"), served, QStringLiteral(".")});
        QVERIFY(sevenZip.waitForFinished(120000) && sevenZip.exitCode() == 0);

        QString message;
        const QString folder = fetchRelease(&message);
        QFile::remove(served);
        QFile::rename(served + QStringLiteral(".good"), served);
        QVERIFY(folder.isEmpty());
        QVERIFY(message.contains(QLatin1String("damaged")));
        QVERIFY(!QFileInfo::exists(work.filePath(QStringLiteral("dl/BrindlewickSerial"))));
        QVERIFY(!QFileInfo::exists(work.filePath(QStringLiteral("dl/BrindlewickInstall.zip"))));
        QCOMPARE(folderSums(installDir), oldSums);
    }

    void killedUpgraderIsRolledBack()
    {
        installCurrent();
        QString message;
        const QString folder = fetchRelease(&message);
        QVERIFY2(!folder.isEmpty(), qPrintable(message));
        const ReleaseInstaller installer;
        QCOMPARE(installer.copyUpgrader(folder, installDir), QString());
        const QMap<QString, QByteArray> before = folderSums(installDir); // with the release's Upgrade2

        qputenv("BRINDLEWICK_UPGRADE2_STEP_DELAY_MS", "400");
        QCOMPARE(installer.runUpgrader(folder, installDir, 1 << 30), QString()); // no such process: no wait
        qunsetenv("BRINDLEWICK_UPGRADE2_STEP_DELAY_MS");

        // Kill the apply step after it has swapped a few files.
        const QString journal = installDir + QStringLiteral("/.bw-upgrade/journal");
        QTRY_VERIFY_WITH_TIMEOUT(readText(journal).count(QLatin1String("\nnew ")) >= 3, 30000);
        const QString applyLine
            = readText(journal).section(QStringLiteral("apply "), 1).section(QLatin1Char('\n'), 0, 0);
        killPid(applyLine.toLongLong());
        QTest::qWait(200);
        QVERIFY(folderSums(installDir) != before); // half-way

        // What the program does at start: the old files come back.
        QVERIFY(ReleaseInstaller::recoverInterrupted(installDir));
        QCOMPARE(folderSums(installDir), before);
        QVERIFY(!QFileInfo::exists(journal));
        QVERIFY(!ReleaseInstaller::recoverInterrupted(installDir)); // nothing left to do
    }

    void unwritableFolderGetsTheMessage()
    {
        installCurrent();
        QString message;
        const QString folder = fetchRelease(&message);
        QVERIFY2(!folder.isEmpty(), qPrintable(message));
        QCOMPARE(ReleaseInstaller().copyUpgrader(folder, installDir), QString());

        QProcess upgrader;
        upgrader.setProgram(installDir + QLatin1Char('/') + kUpgrader);
        if (::geteuid() == 0) {
            // Root writes anywhere; run the upgrader as a user who may not.
            for (const QString& dir : {env.path(), QFileInfo(work.path()).absolutePath(), work.path(), installDir,
                     folder, QFileInfo(folder).absolutePath()})
                QFile::setPermissions(dir,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                        | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
            upgrader.setProgram(QStringLiteral("setpriv"));
            upgrader.setArguments({QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                QStringLiteral("--clear-groups"), installDir + QLatin1Char('/') + kUpgrader, folder});
        } else {
            QFile::setPermissions(installDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            upgrader.setArguments({folder});
        }
        upgrader.start();
        QVERIFY(upgrader.waitForFinished(30000));
        QFile::setPermissions(installDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(upgrader.exitCode(), ReleaseInstaller::kNotWritableExit);
        QVERIFY(QString::fromLocal8Bit(upgrader.readAllStandardError()).contains(QLatin1String("cannot be written")));
        QCOMPARE(folderSums(installDir), oldSums);

        // The manager turns that exit code into its message.
        if (::geteuid() != 0) {
            QFile::setPermissions(installDir, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
            const QString text = ReleaseInstaller().runUpgrader(folder, installDir, 1 << 30);
            QFile::setPermissions(installDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QVERIFY(text.contains(QLatin1String("cannot be written")));
        }
    }
};

QTEST_MAIN(TstUpdateSelfUpdate)
#include "tst_update_self_update.moc"
