// The component's version files (odd input of every kind), the ordering of
// component versions, the check of a library file before it is loaded and
// the swap rule of the waiting replacements.
#include "DiagnosisFolders.h"

#include "diagnosis/ComponentFolder.h"
#include "diagnosis/VersionFile.h"

#include <QTemporaryDir>
#include <QtTest>

using diagnosis::ComponentFolder;
using diagnosis::SwapResult;
using diagnosis::VersionFile;

class TestDiagnosisVersions : public QObject {
    Q_OBJECT

private slots:
    void parsesUsableLinesAndCountsOddOnes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("bmw");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("odd");
        QTest::newRow("plain") << QByteArray("Bmw=1.0.2\nMARROWET_DISPQT=2.0\n") << "1.0.2" << 2 << 0;
        QTest::newRow("CR LF, spaces") << QByteArray("Bmw = 1.0.2 \r\n\r\nX=1\r\n") << "1.0.2" << 2 << 0;
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                       "Bmw=3\n")
                                         << "3" << 1 << 0;
        QTest::newRow("no =, empty name") << QByteArray("garbage\n=1.0\nBmw=1\n") << "1" << 1 << 2;
        QTest::newRow("names that are none") << QByteArray("B mw=1\n\xEF\xBB\xBF"
                                                           "Bmw=2\nBmw=3\n")
                                             << "3" << 1 << 2;
        QTest::newRow("values that are none") << QByteArray("Bmw=\xEF\xBB\xBF"
                                                            "1\nA=\xC3\xA9\nB=2\n")
                                              << "" << 1 << 2;
        QTest::newRow("comments") << QByteArray("; note\n# note\nBmw=1\n") << "1" << 1 << 0;
        QTest::newRow("last line of a name wins") << QByteArray("Bmw=1\nBmw=2") << "2" << 1 << 0;
        QTest::newRow("value with =") << QByteArray("Bmw=a=b\n") << "a=b" << 1 << 0;
        QTest::newRow("NUL byte") << QByteArray("Bmw=1\0\nA=1\n", 11) << "" << 1 << 1;
        QTest::newRow("long line skipped")
            << (QByteArray("Bmw=") + QByteArray(100000, '9') + "\nA=1\n") << "" << 1 << 1;
        QTest::newRow("only CR") << QByteArray("Bmw=1\rA=2\r") << "" << 0 << 1;
        QTest::newRow("empty") << QByteArray() << "" << 0 << 0;
    }
    void parsesUsableLinesAndCountsOddOnes()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, bmw);
        QFETCH(int, entries);
        QFETCH(int, odd);
        const VersionFile file = diagnosis::parseVersionText(text);
        QCOMPARE(file.status, VersionFile::Status::Ok);
        QCOMPARE(file.value(QStringLiteral("Bmw")), bmw);
        QCOMPARE(file.entries.size(), entries);
        QCOMPARE(file.oddLines, odd);
    }

    void filesOnDiskAreCappedAndRewrittenWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VehNewestVersion.ini"));
        QCOMPARE(diagnosis::readVersionFile(path).status, VersionFile::Status::Missing);

        // A 10 MB line is no version file: nothing of it is read.
        QVERIFY(diagtest::writeBytes(path, "Bmw=1\n" + QByteArray(10 * 1024 * 1024, 'x')));
        QCOMPARE(diagnosis::readVersionFile(path).status, VersionFile::Status::TooLarge);
        // Writing an entry replaces such a file with the entry alone.
        QVERIFY(diagnosis::writeVersionEntry(path, QStringLiteral("Bmw"), QStringLiteral("1.0.3")));
        VersionFile file = diagnosis::readVersionFile(path);
        QCOMPARE(file.status, VersionFile::Status::Ok);
        QCOMPARE(file.entries.size(), 1);

        // An entry is replaced in place; other usable entries stay, odd lines go.
        QVERIFY(diagtest::writeBytes(path, "A=1\r\nodd line\r\nBmw=1.0.0\r\nC=3\r\n"));
        QVERIFY(diagnosis::writeVersionEntry(path, QStringLiteral("Bmw"), QStringLiteral("1.0.4")));
        file = diagnosis::readVersionFile(path);
        QCOMPARE(file.oddLines, 0);
        QCOMPARE(file.entries.size(), 3);
        QCOMPARE(file.entries.at(1), qMakePair(QStringLiteral("Bmw"), QStringLiteral("1.0.4")));
        QCOMPARE(file.value(QStringLiteral("C")), QStringLiteral("3"));

        // Entries that would break the format are refused and change nothing.
        QString why;
        QVERIFY(!diagnosis::writeVersionEntry(path, QStringLiteral("a=b"), QStringLiteral("1"), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!diagnosis::writeVersionEntry(path, QStringLiteral("Bmw"), QStringLiteral("1\n2")));
        QCOMPARE(diagnosis::readVersionFile(path).value(QStringLiteral("Bmw")), QStringLiteral("1.0.4"));
    }

    void ordersVersions_data()
    {
        QTest::addColumn<QString>("newest");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<bool>("newer");
        QTest::newRow("patch") << "1.0.1"
                               << "1.0.0" << true;
        QTest::newRow("equal") << "1.0.1"
                               << "1.0.1" << false;
        QTest::newRow("equal, missing part") << "1.2"
                                             << "1.2.0" << false;
        QTest::newRow("older") << "1.0.0"
                               << "1.0.1" << false;
        QTest::newRow("numeric, not text") << "1.10"
                                           << "1.9" << true;
        QTest::newRow("V prefix") << "V2.0"
                                  << "1.9.9" << true;
        QTest::newRow("longer and newer") << "1.2.0.1"
                                          << "1.2" << true;
        QTest::newRow("newest not a version") << "1.x"
                                              << "1.0" << false;
        QTest::newRow("installed empty") << "2.0"
                                         << "" << false;
        QTest::newRow("digits too long") << "99999999999"
                                         << "1" << false;
        QTest::newRow("empty part") << "1..2"
                                    << "1" << false;
    }
    void ordersVersions()
    {
        QFETCH(QString, newest);
        QFETCH(QString, installed);
        QFETCH(bool, newer);
        QCOMPARE(diagnosis::isNewerVersion(newest, installed), newer);
    }

    void refusesFilesThatAreNoLibraryOfThisSystem()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("text.so"));
        const QString truncated = dir.filePath(QStringLiteral("truncated.so"));
        const QString foreign = dir.filePath(QStringLiteral("foreign.so"));
        QVERIFY(diagtest::writeBytes(text, "MZ this is no library"));
        QFile real(QStringLiteral(BW_DIAG_DOUBLE));
        QVERIFY(real.open(QIODevice::ReadOnly));
        const QByteArray bytes = real.readAll();
        QVERIFY(diagtest::writeBytes(truncated, bytes.left(40)));
        QByteArray otherMachine = bytes;
        otherMachine[18] = char(0x28); // e_machine: ARM
        otherMachine[19] = 0;
        QVERIFY(diagtest::writeBytes(foreign, otherMachine));
        for (const QString& path : {text, truncated, foreign, dir.filePath(QStringLiteral("missing.so"))}) {
            QString why;
            QVERIFY2(!diagnosis::looksLoadable(path, &why), qPrintable(path));
            QVERIFY(why.contains(QFileInfo(path).fileName()));
        }
        QVERIFY(diagnosis::looksLoadable(QStringLiteral(BW_DIAG_DOUBLE)));
    }

    void swapsOnlyWhenBothReplacementsArePresentAndSound()
    {
        QTemporaryDir dir;
        const ComponentFolder folder(dir.path());
        QVERIFY(diagtest::writeBytes(folder.library(diagnosis::kStdComm), "old comm"));
        QVERIFY(diagtest::writeBytes(folder.library(diagnosis::kStdDispQt), "old disp"));
        QCOMPARE(diagnosis::swapReplacements(folder), SwapResult::NothingWaiting);

        // One of the two: nothing moves, the waiting one stays for later.
        QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE), folder.replacement(diagnosis::kStdComm)));
        QCOMPARE(diagnosis::swapReplacements(folder), SwapResult::OneMissing);
        QVERIFY(QFileInfo::exists(folder.replacement(diagnosis::kStdComm)));
        QCOMPARE(QFileInfo(folder.library(diagnosis::kStdComm)).size(), qint64(8));

        // A damaged second one: refused and removed, the libraries in use stay.
        QVERIFY(diagtest::writeBytes(folder.replacement(diagnosis::kStdDispQt),
            "\x7f"
            "ELF cut short"));
        QString why;
        QCOMPARE(diagnosis::swapReplacements(folder, &why), SwapResult::Refused);
        QVERIFY(why.contains(QStringLiteral("StdDispQt_Down")));
        QVERIFY(!QFileInfo::exists(folder.replacement(diagnosis::kStdDispQt)));
        QCOMPARE(QFileInfo(folder.library(diagnosis::kStdDispQt)).size(), qint64(8));

        // Both sound: both replace the old files and no "_Down" is left.
        QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE), folder.replacement(diagnosis::kStdComm)));
        QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE), folder.replacement(diagnosis::kStdDispQt)));
        QCOMPARE(diagnosis::swapReplacements(folder), SwapResult::Swapped);
        for (const char* base : {diagnosis::kStdComm, diagnosis::kStdDispQt}) {
            QVERIFY(!QFileInfo::exists(folder.replacement(base)));
            QVERIFY(diagnosis::looksLoadable(folder.library(base)));
        }
    }

    void findsPlainMakeFolders()
    {
        QTemporaryDir dir;
        for (const char* name : {"DLL", "Bmw", "Audi", "bad name", ".hidden"})
            QVERIFY(QDir(dir.path()).mkpath(QLatin1String(name)));
        QVERIFY(diagtest::writeBytes(dir.filePath(QStringLiteral("NotAFolder")), "x"));
        QCOMPARE(ComponentFolder(dir.path()).makes(), (QStringList{QStringLiteral("Audi"), QStringLiteral("Bmw")}));
        QVERIFY(ComponentFolder(dir.filePath(QStringLiteral("missing"))).makes().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDiagnosisVersions)
#include "tst_diagnosis_versions.moc"
