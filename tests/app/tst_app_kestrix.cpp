// Drives the real main window offscreen: frame, navigation, page routing of
// the status thread, hide/show through close, tray and another start, the
// toast, timers, language switching, the back links to the settings page and
// what screen readers and keyboard users get from every page.
#include "support/TestEnvironment.h"

#include "app/Kestrix.h"
#include "app/SysTrayIconWidget.h"
#include "kit/CarouselImageWindow.h"
#include "kit/Loading.h"
#include "kit/Pages.h"
#include "kit/TMessageBox.h"
#include "remote/RemoteController.h"
#include "update/ProgramVersion.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <memory>
#include <thread>

class TestKestrix : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { env = std::make_unique<TestEnvironment>(); }

    void init()
    {
        showFlag = 0;
        SysTrayIconWidget::setAvailabilityOverride(true);
        window = std::make_unique<Kestrix>(initialPos, &showFlag);
        QVERIFY(window->isInitialised());
        window->move(initialPos);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup()
    {
        window.reset();
        SysTrayIconWidget::setAvailabilityOverride(std::nullopt);
    }

    void frameHasFixedSizeAndPagesInOrder()
    {
        QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(window->minimumSize(), window->maximumSize());

        // The subsystems address their pages through the page table: the
        // form's pages and the appended ones must sit where it says.
        QCOMPARE(stack()->count(), int(Pages::Count));
        for (int index = 0; index < stack()->count(); ++index)
            QCOMPARE(stack()->widget(index)->objectName(), QLatin1String(Pages::kTable[index].objectName));
        QCOMPARE(stack()->currentIndex(), int(Pages::Device));

        QVERIFY(button("Btn_Device")->isChecked());
        QVERIFY(button("Btn_Kestrix")->isVisible()); // the way into diagnosis
        QVERIFY(!button("Btn_RepairData")->isVisible() && !button("Btn_RepairData")->isEnabled());
    }

    void navigationButtonsShowTheirPages()
    {
        struct Step {
            const char* button;
            int index;
        };
        for (const Step& step : {Step{"Btn_Drivers", Pages::Drivers}, Step{"Btn_Setting", Pages::Settings},
                 Step{"Btn_Remote", Pages::Remote}, Step{"Btn_Device", Pages::Device}}) {
            QTest::mouseClick(button(step.button), Qt::LeftButton);
            QCOMPARE(stack()->currentIndex(), step.index);
            QCOMPARE(window->currentPageRequest(), step.index);
            QVERIFY(button(step.button)->isChecked());
        }
    }

    void pageRequestsRouteTheStack_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<int>("expected");
        // Starting from the router page: requests for the phone sign-in page,
        // the diagnosis page, the appended pages and beyond leave it there.
        const int from = Pages::RouterConnect;
        QTest::newRow("remote info") << int(Pages::RemoteInfo) << int(Pages::RemoteInfo);
        QTest::newRow("phone sign-in") << int(Pages::UserLogin) << from;
        QTest::newRow("detection update") << int(Pages::DetectionUpdate) << int(Pages::DetectionUpdate);
        QTest::newRow("diagnosis") << int(Pages::Diag) << from;
        QTest::newRow("p2p") << int(Pages::P2PConn) << int(Pages::P2PConn);
        QTest::newRow("settings") << int(Pages::Settings) << from;
        QTest::newRow("beyond") << 40 << from;
        QTest::newRow("negative") << -1 << from;
    }

    void pageRequestsRouteTheStack()
    {
        QFETCH(int, request);
        QFETCH(int, expected);
        window->setPageRequest(Pages::RouterConnect);
        emit window->SignalsUpdateThread();
        QCOMPARE(stack()->currentIndex(), int(Pages::RouterConnect));
        window->setPageRequest(request);
        emit window->SignalsUpdateThread();
        QCOMPARE(stack()->currentIndex(), expected);
    }

    void statusThreadRoutesBackToTheRequestedPage()
    {
        // A worker asked for the firmware page; the user then opens the drivers
        // page. The status thread notices the page change and routes back within a pass.
        window->setPageRequest(Pages::FirmwareUpdate);
        stack()->setCurrentIndex(Pages::Drivers);
        QTRY_COMPARE_WITH_TIMEOUT(stack()->currentIndex(), int(Pages::FirmwareUpdate), 2500);
    }

    void anotherStartShowsTheHiddenWindow()
    {
        window->move(300, 200);
        window->hide();
        QVERIFY(!window->isVisible());
        __atomic_store_n(&showFlag, static_cast<unsigned char>(1), __ATOMIC_RELEASE);
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 2500);
        QCOMPARE(showFlag, static_cast<unsigned char>(0));
        QCOMPARE(window->pos(), initialPos);
    }

    void closeHidesAndTrayDisplayShowsAgain()
    {
        SysTrayIconWidget* tray = window->trayWidget();
        QVERIFY(tray);
        QTest::mouseClick(button("Btn_Close"), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        // Threads keep running while hidden: a page request is still applied.
        window->setPageRequest(Pages::MoreVci);
        emit window->SignalsUpdateThread();
        QCOMPARE(stack()->currentIndex(), int(Pages::MoreVci));

        window->move(500, 400);
        tray->displayAction()->trigger();
        QVERIFY(window->isVisible());
        QCOMPARE(window->pos(), initialPos);

        // "Exit" ends the event loop with code 0.
        QEventLoop loop;
        QTimer::singleShot(0, tray->exitAction(), &QAction::trigger);
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(7); });
        QCOMPARE(loop.exec(), 0);
    }

    void closeWithoutTrayOnlyMinimises()
    {
        SysTrayIconWidget::setAvailabilityOverride(false);
        QTest::mouseClick(button("Btn_Close"), Qt::LeftButton);
        QVERIFY(window->isVisible());
        QTRY_VERIFY(window->isMinimized());
    }

    void toastIsCentredAndHidesAfterItsTime()
    {
        TMessageBox* toast = window->toast();
        QVERIFY(toast && !toast->isVisible());
        window->SlotsTMsg(QStringLiteral("Execute successfully"), 300);
        QVERIFY(toast->isVisible());
        auto* text = toast->findChild<QLabel*>("Label_Text_Tips");
        QVERIFY(text);
        QCOMPARE(text->text(), QStringLiteral("Execute successfully"));

        const QPoint offCentre = toast->geometry().center() - window->geometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2, "the toast is not centred on the window");

        QElapsedTimer shown;
        shown.start();
        QTRY_VERIFY_WITH_TIMEOUT(!toast->isVisible(), 3000);
        QVERIFY2(shown.elapsed() >= 250, "the toast hid before its time");

        // A worker thread's signal reaches the toast queued on the GUI thread.
        std::thread([w = window.get()] { emit w->SignalsTMsg(QStringLiteral("from a worker"), 1200); }).join();
        QTRY_VERIFY(toast->isVisible());
        QCOMPARE(text->text(), QStringLiteral("from a worker"));
    }

    void timerControlFollowsTheCapitalN()
    {
        QTimer timer;
        timer.setInterval(60000);
        window->Slot_QTimerCtl(&timer, QStringLiteral("ON"));
        QVERIFY(timer.isActive());
        window->Slot_QTimerCtl(&timer, QStringLiteral("off"));
        QVERIFY(!timer.isActive());
        window->Slot_QTimerCtl(&timer, QStringLiteral("on"));
        QVERIFY2(!timer.isActive(), "only a capital N starts the timer");
        window->Slot_QTimerCtl(&timer, QStringLiteral("ON"));
        window->Slot_QTimerCtl(&timer, QStringLiteral("OFF"));
        QVERIFY(!timer.isActive());

        // From a worker thread the request is queued to the GUI thread.
        std::thread([&] { emit window->Sign_QTimerONOFF(&timer, QStringLiteral("ON")); }).join();
        QTRY_VERIFY(timer.isActive());
        window->Slot_QTimerCtl(nullptr, QStringLiteral("ON"));
    }

    void languageSwitchRetextsTheFrame()
    {
        auto* versions = window->findChild<QLabel*>("label_Versions");
        auto* internet = window->findChild<QLabel*>("label_Internet");

        const QString version = QLatin1String(update::programVersion());
        QVERIFY(!version.isEmpty());
        window->ClickButton_SwitchEnglish();
        QCOMPARE(versions->text(), QStringLiteral("Version: ") + version);
        QCOMPARE(window->trayWidget()->displayAction()->text(), QStringLiteral("Display"));
        QVERIFY(qApp->styleSheet().contains("English theme"));
        QVERIFY(navigationPictureIs("Btn_Device", "device_en"));
        QVERIFY(navigationPictureIs("Btn_Setting", "setting_en"));
        const QString englishInternet = internet->text();

        window->ClickButton_SwitchSpanish();
        QCOMPARE(versions->text(), QStringLiteral("Versi\u00f3n: ") + version);
        QCOMPARE(window->trayWidget()->displayAction()->text(), QStringLiteral("Pantalla"));
        QVERIFY(qApp->styleSheet().contains("Spanish theme"));
        QVERIFY(navigationPictureIs("Btn_Device", "device_es"));
        QVERIFY(navigationPictureIs("Btn_Setting", "setting_es"));
        QVERIFY(internet->text() != englishInternet);
    }

    // The device page's button rule (34 px high) must not stretch the
    // carousel's 12-pixel dots into bars, in either theme.
    void carouselDotsKeepTheirSizeInBothThemes()
    {
        auto* carousel = window->findChild<CarouselImageWindow*>();
        QVERIFY(carousel);
        QPixmap picture(40, 20);
        picture.fill(Qt::gray);
        carousel->setImages({picture, picture, picture});
        for (const bool english : {true, false}) {
            english ? window->ClickButton_SwitchEnglish() : window->ClickButton_SwitchSpanish();
            QApplication::processEvents();
            const QList<QAbstractButton*> dots = carousel->indicatorGroup()->buttons();
            QCOMPARE(dots.size(), 3);
            for (QAbstractButton* dot : dots) {
                dot->ensurePolished();
                QCOMPARE(dot->minimumSize(), QSize(12, 12));
                QCOMPARE(dot->maximumSize(), QSize(12, 12));
            }
        }
    }

    // One look for the maintenance pages and the device list, in both themes:
    // the router page's Modify is drawn in the size and colour of Reset and
    // Save beside it, and the device list's Refresh and Back are the same
    // buttons (enabled here, since no adapter answers in this test).
    void maintenancePagesShareOneLook()
    {
        const auto fill = [](QPushButton* b) { return b->grab().toImage().pixelColor(8, b->height() / 2); };
        for (const bool english : {true, false}) {
            english ? window->ClickButton_SwitchEnglish() : window->ClickButton_SwitchSpanish();
            QList<QPushButton*> actions;
            for (const int index : {int(Pages::RouterConnect), int(Pages::MoreVci)}) {
                window->ensurePage(index);
                stack()->setCurrentIndex(index);
                QCoreApplication::processEvents();
                QWidget* page = stack()->widget(index);
                const QStringList names = index == Pages::RouterConnect
                    ? QStringList{QStringLiteral("Btn_Modify_Router"), QStringLiteral("Btn_Route_Restor"),
                        QStringLiteral("Btn_Save_Router")}
                    : QStringList{QStringLiteral("Label_RefreshLanVCIList"), QStringLiteral("Btn_MoreVciBack")};
                for (const QString& name : names) {
                    auto* action = page->findChild<QPushButton*>(name);
                    QVERIFY2(action, qPrintable(name));
                    QVERIFY2(action->isVisible() && !action->text().isEmpty(), qPrintable(name));
                    action->setEnabled(true);
                    action->clearFocus();
                    QCOMPARE(action->height(), 34);
                    QVERIFY2(action->width() >= 110, qPrintable(name));
                    QCOMPARE(fill(action), fill(actions.value(0, action)));
                    actions << action;
                }
            }
        }
    }

    // Each page whose table row returns to the settings page has its back
    // button (named by its index), also the pages built on first show, and
    // it leads to the settings page.
    void backButtonsLeadToSettings()
    {
        int links = 0;
        for (int index = 0; index < Pages::Count; ++index) {
            if (Pages::kTable[index].returnPage != Pages::Settings)
                continue;
            ++links;
            window->ensurePage(index);
            QWidget* page = stack()->widget(index);
            auto* back = page->findChild<QPushButton*>(QStringLiteral("Btn_Return_%1").arg(index));
            QVERIFY2(back, qPrintable(QStringLiteral("no back button on page %1").arg(index)));
            QCOMPARE(window->findChildren<QPushButton*>(back->objectName()).size(), 1);
            stack()->setCurrentIndex(index);
            QVERIFY(back->isVisible());
            QVERIFY(!back->text().isEmpty());
            back->click();
            QCOMPARE(stack()->currentIndex(), int(Pages::Settings));
            QCOMPARE(window->currentPageRequest(), int(Pages::Settings));
        }
        QVERIFY(links > 0);
    }

    // The account and update pages are built the first time they are shown,
    // with the frame's back link and the current language, and a language
    // switch afterwards reaches them.
    void pagesNotOpenedAreNotBuilt()
    {
        for (int index :
            {Pages::UserLoginEn, Pages::ModifyName, Pages::DetectionUpdate, Pages::Settings, Pages::Drivers})
            QVERIFY2(stack()->widget(index)->findChildren<QWidget*>().isEmpty(),
                qPrintable(QStringLiteral("page %1 built at start").arg(index)));

        window->ClickButton_SwitchEnglish();
        window->showPage(Pages::ModifyName);
        QWidget* page = stack()->widget(Pages::ModifyName);
        QVERIFY(page->findChildren<QLineEdit*>().size() > 0);
        auto* back = page->findChild<QPushButton*>(QStringLiteral("Btn_Return_%1").arg(Pages::ModifyName));
        QVERIFY(back);
        QTRY_VERIFY(back->isVisible());
        QVERIFY(back->text().contains(QStringLiteral("Back to settings")));
        window->ClickButton_SwitchSpanish();
        QVERIFY(!back->text().contains(QStringLiteral("Back to settings")));
        QCOMPARE(window->findChildren<QPushButton*>(back->objectName()).size(), 1);
        // Only what was shown was built.
        QVERIFY(stack()->widget(Pages::DetectionUpdate)->findChildren<QWidget*>().isEmpty());
    }

    // The device page's router button reaches the router subsystem, which
    // shows its page (built then) and says that no adapter is connected.
    void deviceRouterButtonOpensTheRouterPage()
    {
        QVERIFY(stack()->widget(Pages::RouterConnect)->findChildren<QWidget*>().isEmpty());
        emit button("Btn_Router_Connect")->clicked(); // disabled without an adapter
        QCOMPARE(stack()->currentIndex(), int(Pages::RouterConnect));
        QCOMPARE(window->currentPageRequest(), int(Pages::RouterConnect));
        QVERIFY(!stack()->widget(Pages::RouterConnect)->findChildren<QWidget*>().isEmpty());
        QTRY_VERIFY(window->toast()->isVisible());
    }

    // A relay attempt of the remote subsystem shows the frame's busy overlay.
    void busyOverlayFollowsTheRemoteAttempt()
    {
        auto* overlay = window->findChild<Loading*>();
        auto* remote = window->subsystem<RemoteController>();
        QVERIFY(overlay && remote);
        QVERIFY(!overlay->isVisible());
        emit remote->attemptRunning(true);
        QVERIFY(overlay->isVisible());
        emit remote->attemptRunning(false);
        QVERIFY(!overlay->isVisible());
    }

    // Every control a user can operate, on every page, has a name a screen
    // reader announces, in English and in Spanish.
    void everyControlHasAnAccessibleName()
    {
        for (int index = 0; index < stack()->count(); ++index)
            window->ensurePage(index);
        for (const bool spanish : {false, true}) {
            if (spanish)
                window->ClickButton_SwitchSpanish();
            else
                window->ClickButton_SwitchEnglish();
            QStringList unnamed;
            for (int index = 0; index < stack()->count(); ++index) {
                stack()->setCurrentIndex(index);
                QCoreApplication::processEvents();
                for (QWidget* control : operableControls()) {
                    QAccessibleInterface* info = QAccessible::queryAccessibleInterface(control);
                    if (!info || info->text(QAccessible::Name).trimmed().isEmpty())
                        unnamed << describe(index, control);
                }
            }
            unnamed.removeDuplicates();
            QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
        }
        // The navigation shows pictures only: its names come from the catalogue.
        QAccessibleInterface* device = QAccessible::queryAccessibleInterface(button("Btn_Device"));
        QCOMPARE(device->text(QAccessible::Name), QStringLiteral("Dispositivo"));
        QVERIFY(!device->text(QAccessible::Description).isEmpty());
    }

    // Tab alone reaches every control of every page, the navigation and the
    // title buttons included.
    void tabReachesEveryControl()
    {
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QStringList missed;
        for (int index = 0; index < stack()->count(); ++index) {
            window->ensurePage(index);
            stack()->setCurrentIndex(index);
            QCoreApplication::processEvents();
            QList<QWidget*> expected;
            for (QWidget* control : operableControls())
                if (control->isEnabled() && (control->focusPolicy() & Qt::TabFocus) && !control->focusProxy())
                    expected << control;
            button("Btn_Device")->setFocus(Qt::TabFocusReason);
            QSet<QWidget*> reached;
            for (int step = 0; step < 4 * expected.size() + 8; ++step) {
                QWidget* focused = QApplication::focusWidget();
                if (!focused)
                    break;
                reached.insert(focused);
                QTest::keyClick(focused, Qt::Key_Tab);
            }
            for (QWidget* control : expected)
                if (!reached.contains(control))
                    missed << describe(index, control);
        }
        QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QLatin1Char('\n'))));
        // The navigation buttons themselves take the focus.
        // The navigation is one stop, like a tab bar: Tab reaches the page
        // shown, the arrow keys move to the others.
        button("Btn_Device")->click();
        button("Btn_Device")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button("Btn_Device"), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), button("Btn_Drivers"));
    }

    void draggingOnlyAboveTheTitleArea()
    {
        window->move(100, 100);
        const QPoint start = window->pos();
        QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(400, 20));
        QMouseEvent moveInside(QEvent::MouseMove, QPoint(420, 40), window->mapToGlobal(QPoint(420, 40)), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &moveInside);
        const QPoint moved = window->pos();
        QCOMPARE(moved, start + QPoint(20, 20));

        QMouseEvent moveLow(QEvent::MouseMove, QPoint(420, 200), window->mapToGlobal(QPoint(420, 200)), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &moveLow);
        QCOMPARE(window->pos(), moved);
        QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(420, 200));

        QMouseEvent afterRelease(QEvent::MouseMove, QPoint(420, 40), window->mapToGlobal(QPoint(420, 40)), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &afterRelease);
        QCOMPARE(window->pos(), moved);
    }

private:
    // Visible widgets of the window a user can operate: buttons and anything
    // that takes the keyboard focus.
    QList<QWidget*> operableControls() const
    {
        QList<QWidget*> controls;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            if (qobject_cast<QAbstractButton*>(w) || (w->focusPolicy() & Qt::TabFocus))
                controls << w;
        }
        return controls;
    }

    static QString describe(int page, QWidget* control)
    {
        return QStringLiteral("page %1: %2 %3")
            .arg(page)
            .arg(QLatin1String(control->metaObject()->className()), control->objectName());
    }

    // The button's pictures, unchecked and checked, are the language's.
    bool navigationPictureIs(const char* name, const char* stem) const
    {
        const QIcon icon = button(name)->icon();
        for (const bool checked : {false, true}) {
            const QImage expected = QImage(
                QStringLiteral(":/img/nav/%1_%2.png").arg(QLatin1String(stem), QLatin1String(checked ? "on" : "off")))
                                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const QImage shown = icon.pixmap(expected.size(), QIcon::Normal, checked ? QIcon::On : QIcon::Off)
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            if (expected.isNull() || shown != expected)
                return false;
        }
        return true;
    }

    QStackedWidget* stack() const { return window->findChild<QStackedWidget*>("Tab_Stack"); }
    QPushButton* button(const char* name) const { return window->findChild<QPushButton*>(name); }

    std::unique_ptr<TestEnvironment> env;
    QPoint initialPos{40, 30};
    unsigned char showFlag = 0;
    std::unique_ptr<Kestrix> window;
};

QTEST_MAIN(TestKestrix)
#include "tst_app_kestrix.moc"
