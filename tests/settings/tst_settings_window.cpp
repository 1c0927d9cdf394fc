// The settings page in the real main window: Btn_Setting and the settings
// back buttons (also one that appears on a page after start-up) show page 21
// with the machine's state read again.
#include "SettingsTestEnv.h"

#include "app/Kestrix.h"
#include "app/SysTrayIconWidget.h"
#include "kit/Switch.h"
#include "settings/SettingsController.h"
#include "settings/SettingsView.h"

#include <QPushButton>
#include <QStackedWidget>
#include <QtTest>

class TestSettingsWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsTestEnv> env;
    QPoint initialPos{10, 10};
    unsigned char showFlag = 0;
    std::unique_ptr<Kestrix> window;

    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(QLatin1String(name)); }
    QStackedWidget* stack() { return window->findChild<QStackedWidget*>(QStringLiteral("Tab_Stack")); }
    SettingsView* page() { return window->findChild<SettingsView*>(); }

private slots:
    void initTestCase()
    {
        env = std::make_unique<SettingsTestEnv>();
        SysTrayIconWidget::setAvailabilityOverride(true);
        window = std::make_unique<Kestrix>(initialPos, &showFlag);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanupTestCase()
    {
        window.reset();
        SysTrayIconWidget::setAvailabilityOverride(std::nullopt);
    }

    void settingsButtonShowsThePageAsTheMachineIs()
    {
        QVERIFY(!page()); // built on first show
        QVERIFY(QDir().mkpath(env->data() + QStringLiteral("/passThru4log")));
        QTest::mouseClick(button("Btn_Setting"), Qt::LeftButton);
        QCOMPARE(stack()->currentIndex(), 21);
        QVERIFY(page());
        QCOMPARE(page()->parentWidget(), stack()->widget(21));
        QVERIFY(page()->systemLogSwitch()->state());
        QVERIFY(QFileInfo(env->desktop() + QStringLiteral("/BrindlewickLogs/PDULogger.lnk")).isSymLink());

        // Logging turned off behind the page's back: the next opening shows it.
        QTest::mouseClick(button("Btn_Device"), Qt::LeftButton);
        for (const char* name : {"passThru4log", "passThru5log", "PDULogger"})
            QVERIFY(QDir(env->data() + '/' + name).removeRecursively());
        QTest::mouseClick(button("Btn_Setting"), Qt::LeftButton);
        QCOMPARE(stack()->currentIndex(), 21);
        QVERIFY(!page()->systemLogSwitch()->state());
        QVERIFY(!QFileInfo::exists(env->desktop() + QStringLiteral("/BrindlewickLogs")));
        QVERIFY(!QFileInfo::exists(env->data() + QStringLiteral("/RemoteDiag")));
    }

    void backButtonOnALaterPageReturnsToSettings()
    {
        // A page that puts its back button in place after start-up.
        auto* back = new QPushButton(stack()->widget(9));
        back->setObjectName(QStringLiteral("Btn_Return_9"));
        QTest::mouseClick(button("Btn_Device"), Qt::LeftButton); // a page change: buttons are looked for
        stack()->setCurrentIndex(9);
        QVERIFY(QDir().mkpath(env->data() + QStringLiteral("/PDULogger")));
        back->click();
        QCOMPARE(stack()->currentIndex(), 21);
        QCOMPARE(window->currentPageRequest(), 21);
        QVERIFY(page()->systemLogSwitch()->state());
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settings_window.moc"
