// The device page's "Why?": the checks run in their order and stop at the
// first broken link, whose words are shown; the link is there only while no
// adapter is found, and a click shows the answer without blocking the page.
#include "device/DevicePage.h"
#include "device/LinkDiagnosis.h"
#include "device/LinkDiagnosisLabel.h"

#include "kit/DialogSeam.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstring>

namespace {

// Fake answers: checks numbered 0..5 pass while their number is below `firstBroken`.
struct FakeMachine {
    int firstBroken = LinkDiagnosis::kCheckCount;
    QList<int> asked;
    std::string address;

    LinkDiagnosis::Probes probes()
    {
        auto check = [this](int n) {
            return [this, n] {
                asked << n;
                return n < firstBroken;
            };
        };
        LinkDiagnosis::Probes p;
        p.serviceRunning = check(0);
        p.statusPublished = check(1);
        p.usbDevicePresent = check(2);
        p.usbEthernetPresent = check(3);
        p.addressAnswers = [this](const std::string& ip) {
            address = ip;
            asked << 4;
            return 4 < firstBroken;
        };
        p.driversInstalled = check(5);
        return p;
    }
};

} // namespace

class TestSettingsLinkDiagnosis : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { DialogSeam::clear(); }

    void stopsAtTheFirstBrokenLinkInOrder_data()
    {
        QTest::addColumn<int>("firstBroken");
        for (int i = 0; i < LinkDiagnosis::kCheckCount; ++i)
            QTest::newRow(qPrintable(QStringLiteral("broken %1").arg(i))) << i;
    }
    void stopsAtTheFirstBrokenLinkInOrder()
    {
        QFETCH(int, firstBroken);
        FakeMachine machine;
        machine.firstBroken = firstBroken;
        const LinkDiagnosis::Outcome outcome = LinkDiagnosis(machine.probes()).run();
        QVERIFY(!outcome.allPassed);
        QCOMPARE(int(outcome.broken), firstBroken);
        QCOMPARE(outcome.passed.size(), firstBroken);
        QList<int> expected;
        for (int i = 0; i <= firstBroken; ++i)
            expected << i;
        QCOMPARE(machine.asked, expected);
        QCOMPARE(outcome.text, LinkDiagnosis::brokenText(LinkDiagnosis::Check(firstBroken)));
    }

    void allWorkingAndTheAddressAsked()
    {
        FakeMachine machine;
        LinkDiagnosis::Outcome outcome = LinkDiagnosis(machine.probes()).run();
        QVERIFY(outcome.allPassed);
        QCOMPARE(outcome.passed.size(), LinkDiagnosis::kCheckCount);
        QCOMPARE(outcome.text, LinkDiagnosis::allWorkingText());
        QCOMPARE(machine.address, std::string("169.254.100.1"));
        outcome = LinkDiagnosis(machine.probes()).run("127.0.100.1");
        QCOMPARE(machine.address, std::string("127.0.100.1"));
    }

    void missingProbesCountAsBroken()
    {
        LinkDiagnosis::Probes none;
        const LinkDiagnosis::Outcome outcome = LinkDiagnosis(none).run();
        QVERIFY(!outcome.allPassed);
        QCOMPARE(outcome.broken, LinkDiagnosis::Check::ServiceRunning);
    }

    void systemProbesAnswerWithinTheirBound()
    {
        // No service, no block, no adapter in this test's world: the real
        // checks say so quickly instead of hanging.
        qputenv("BRINDLEWICK_SHM_PREFIX", "bwtest_linkdiag_none_");
        QElapsedTimer clock;
        clock.start();
        const LinkDiagnosis::Outcome outcome = LinkDiagnosis(LinkDiagnosis::Probes::system()).run("127.0.0.1");
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!outcome.allPassed);
        QVERIFY(!outcome.text.isEmpty());
    }

    void linkShownOnlyWithoutAnAdapterAndAnswersOnClick()
    {
        DevicePage page;
        page.show();
        LinkDiagnosisLabel* why = page.whyLink();
        QVERIFY(why);
        QCOMPARE(why->objectName(), QStringLiteral("lbl_WhyNoAdapter"));

        DeviceStatusSnapshot none;
        clearRecord(none.record);
        page.refresh(none);
        QVERIFY(why->isVisible());
        DeviceStatusSnapshot present;
        clearRecord(present.record);
        std::strcpy(present.record.SN, "M5EA0001XJ7B0001");
        present.record.status = 1;
        page.refresh(present);
        QVERIFY(!why->isVisible());
        page.refresh(none);
        QVERIFY(why->isVisible());

        FakeMachine machine;
        machine.firstBroken = 2;
        why->setProbes(machine.probes());
        DialogSeam::answerAlways(1);
        QSignalSpy diagnosed(why, &LinkDiagnosisLabel::diagnosed);
        emit why->linkActivated(QStringLiteral("why"));
        QVERIFY(why->running());
        emit why->linkActivated(QStringLiteral("why")); // ignored while it runs
        QTRY_COMPARE(diagnosed.size(), 1);
        QVERIFY(!why->running());
        const QString expected = LinkDiagnosis::brokenText(LinkDiagnosis::Check::UsbDevicePresent);
        QCOMPARE(diagnosed.at(0).at(0).toString(), expected);
        QCOMPARE(DialogSeam::requests().size(), 1);
        QCOMPARE(DialogSeam::requests().at(0).text, expected);
        QVERIFY(DialogSeam::requests().at(0).cancelText.isEmpty());
    }
};

QTEST_MAIN(TestSettingsLinkDiagnosis)
#include "tst_settings_link_diagnosis.moc"
