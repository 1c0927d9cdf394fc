// Loading the diagnosis component: the order of the display's calls, one
// page stack per run, the make's entry once per run, and the refusals of a
// damaged or foreign file and of a display library that lacks an export,
// before anything of it is called. Each case has a folder of its own, since
// a folder's libraries stay loaded for the rest of the run.
#include "DiagnosisFolders.h"

#include "diagnosis/ComponentLoader.h"

#include <QTemporaryDir>
#include <QtTest>

using diagnosis::ComponentFolder;

class TestDiagnosisLoader : public QObject {
    Q_OBJECT

    // Keeps a copy of the double loaded, so its record survives a refusal.
    static platform::Library hold(const QString& path)
    {
        platform::Library library;
        library.load(QFileInfo(path).absoluteFilePath().toStdString());
        return library;
    }

private slots:
    void loadsTheComponentAndCallsTheDisplayInOrder()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        // Qt libraries of the component's own are never loaded (these are not even libraries).
        const ComponentFolder folder(dir.path());
        QVERIFY(diagtest::writeBytes(folder.dllFolder() + QStringLiteral("/Qt5Core.so"), "not a library"));
        QVERIFY(diagtest::writeBytes(folder.dllFolder() + QStringLiteral("/Qt5Widgets.so"), "not a library"));

        const diagnosis::LoadOutcome first = diagnosis::loadComponent(folder);
        QVERIFY2(first.entries, qPrintable(first.detail));
        QVERIFY(first.failedLibrary.isEmpty());
        QVERIFY(!first.loadedBefore);
        QCOMPARE(first.skipped, (QStringList{QStringLiteral("Qt5Core"), QStringLiteral("Qt5Widgets")}));

        diagnosis::startDisplay(*first.entries, folder, true, nullptr, QStringLiteral("Bmw"));
        const QString root = QDir::toNativeSeparators(dir.path() + QLatin1Char('/'));
        QCOMPARE(diagtest::recordedCalls(folder.library(diagnosis::kStdDispQt)),
            QStringLiteral("SetLanguage(en)\nSetVehiclePath(%1)\nSetGloableWidget(null)\nMakeStackWid()\nSetVeh(Bmw)\n")
                .arg(root));

        // The second choice in the same run: the same libraries, the page
        // stack stays, the other language is sent as "cn".
        const diagnosis::LoadOutcome second = diagnosis::loadComponent(folder);
        QVERIFY(second.loadedBefore);
        QCOMPARE(second.entries, first.entries);
        diagnosis::startDisplay(*second.entries, folder, false, nullptr, QStringLiteral("Bmw"));
        const QString calls = diagtest::recordedCalls(folder.library(diagnosis::kStdDispQt));
        QCOMPARE(calls.count(QStringLiteral("MakeStackWid")), 1);
        QVERIFY(calls.endsWith(QStringLiteral("SetLanguage(cn)\nSetVeh(Bmw)\n")));

        // The make's entry gets the make folder, once per run.
        const diagnosis::MakeOutcome entered = diagnosis::enterMake(folder, QStringLiteral("Bmw"));
        QVERIFY2(entered.ok, qPrintable(entered.detail));
        QVERIFY(!entered.enteredBefore);
        QVERIFY(diagnosis::enterMake(folder, QStringLiteral("Bmw")).enteredBefore);
        QCOMPARE(diagtest::recordedCalls(folder.makeLibrary(QStringLiteral("Bmw"))),
            QStringLiteral("DiagEntry(%1)\n").arg(QDir::toNativeSeparators(dir.path() + QStringLiteral("/Bmw/"))));
    }

    void swapsWaitingReplacementsBeforeTheFirstLoadOnly()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        for (const char* base : {diagnosis::kStdComm, diagnosis::kStdDispQt})
            QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE), folder.replacement(base)));
        const diagnosis::LoadOutcome first = diagnosis::loadComponent(folder);
        QVERIFY2(first.entries, qPrintable(first.detail));
        QCOMPARE(first.swap, diagnosis::SwapResult::Swapped);

        // Replacements that arrive while the libraries are in use wait for the next start.
        for (const char* base : {diagnosis::kStdComm, diagnosis::kStdDispQt})
            QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE), folder.replacement(base)));
        QVERIFY(diagnosis::loadComponent(folder).loadedBefore);
        QVERIFY(QFileInfo::exists(folder.replacement(diagnosis::kStdComm)));
        QVERIFY(QFileInfo::exists(folder.replacement(diagnosis::kStdDispQt)));
    }

    void refusesADamagedLibraryBeforeCallingAnything_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("IHttp, text") << QString::fromLatin1(diagnosis::kIHttp) << QByteArray("not a library");
        QTest::newRow("PubFunctional, cut") << QString::fromLatin1(diagnosis::kPubFunctional)
                                            << QByteArray("\x7f"
                                                          "ELF\x02\x01\x01");
        QTest::newRow("StdComm, empty") << QString::fromLatin1(diagnosis::kStdComm) << QByteArray();
        QTest::newRow("StdDispQt, Windows")
            << QString::fromLatin1(diagnosis::kStdDispQt) << QByteArray("MZ").append(4096, '\0');
    }
    void refusesADamagedLibraryBeforeCallingAnything()
    {
        QFETCH(QString, library);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        const QByteArray base = library.toLatin1();
        QVERIFY(diagtest::writeBytes(folder.library(base.constData()), content));
        platform::Library display;
        if (library != QLatin1String(diagnosis::kStdDispQt))
            display = hold(folder.library(diagnosis::kStdDispQt));

        const diagnosis::LoadOutcome outcome = diagnosis::loadComponent(folder);
        QVERIFY(!outcome.entries);
        QCOMPARE(outcome.failedLibrary, library);
        QVERIFY(outcome.detail.contains(QFileInfo(folder.library(base.constData())).fileName()));
        if (display.loaded())
            QCOMPARE(diagtest::recordedCalls(folder.library(diagnosis::kStdDispQt)), QString());
    }

    void refusesADisplayThatLacksAnExport()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE_NO_MAKESTACK), folder.library(diagnosis::kStdDispQt)));
        platform::Library display = hold(folder.library(diagnosis::kStdDispQt));
        QVERIFY(display.loaded());

        const diagnosis::LoadOutcome outcome = diagnosis::loadComponent(folder);
        QVERIFY(!outcome.entries);
        QCOMPARE(outcome.failedLibrary, QString::fromLatin1(diagnosis::kStdDispQt));
        QVERIFY2(outcome.detail.contains(QStringLiteral("MakeStackWid")), qPrintable(outcome.detail));
        // Not one of the exports that were there was called.
        QCOMPARE(diagtest::recordedCalls(folder.library(diagnosis::kStdDispQt)), QString());
        // Once the folder is whole again, it loads.
        QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE), folder.library(diagnosis::kStdDispQt)));
        display.unload();
        const diagnosis::LoadOutcome whole = diagnosis::loadComponent(folder);
        QVERIFY2(whole.entries, qPrintable(whole.detail));
    }

    void refusesAMissingOrDamagedMakeLibrary()
    {
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const ComponentFolder folder(dir.path());
        QVERIFY(QDir().mkpath(folder.makeFolder(QStringLiteral("Audi"))));
        diagnosis::MakeOutcome outcome = diagnosis::enterMake(folder, QStringLiteral("Audi"));
        QVERIFY(!outcome.ok);
        QVERIFY(outcome.detail.contains(QStringLiteral("missing")));

        QVERIFY(diagtest::writeBytes(folder.makeLibrary(QStringLiteral("Audi")),
            "\x7f"
            "ELF but damaged"));
        outcome = diagnosis::enterMake(folder, QStringLiteral("Audi"));
        QVERIFY(!outcome.ok);
        QVERIFY(!outcome.detail.isEmpty());
        // A library without "DiagEntry" (a shared library put there by mistake).
        QVERIFY(diagtest::copyInto(QStringLiteral(BW_DIAG_DOUBLE_NO_ENTRY), folder.makeLibrary(QStringLiteral("Vw"))));
        outcome = diagnosis::enterMake(folder, QStringLiteral("Vw"));
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.detail.contains(QStringLiteral("DiagEntry")), qPrintable(outcome.detail));
    }
};

QTEST_GUILESS_MAIN(TestDiagnosisLoader)
#include "tst_diagnosis_loader.moc"
