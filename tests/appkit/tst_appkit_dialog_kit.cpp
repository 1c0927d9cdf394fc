// The dialog kit, driven offscreen through its public surface: the switch,
// the question dialogs (real modal runs and the seam), the busy overlay and
// the carousel. The toast is tested through the main window (tst_app_kestrix).
#include "kit/AlertDialog.h"
#include "kit/CarouselImageWindow.h"
#include "kit/DialogSeam.h"
#include "kit/Loading.h"
#include "kit/MessageYesNo.h"
#include "kit/Switch.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace {

// Runs `action` on the modal dialog as soon as one is up. If none shows up
// within five seconds every modal window is rejected so the test fails
// instead of hanging.
void whenModal(std::function<void(QWidget*)> action)
{
    auto* poll = new QTimer;
    auto* waited = new int(0);
    QObject::connect(poll, &QTimer::timeout, [poll, waited, action]() {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            delete waited;
            action(modal);
            return;
        }
        if (++*waited > 500) {
            poll->stop();
            poll->deleteLater();
            delete waited;
        }
    });
    poll->start(10);
}

// Presses Return or Escape where the keyboard user is: the dialog's focus.
void pressKey(QWidget* dialog, const QString& name)
{
    QWidget* target = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QTest::keyClick(target, name == QLatin1String("Key_Return") ? Qt::Key_Return : Qt::Key_Escape);
}

void sendMouse(
    QWidget* target, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

bool colorNear(QColor actual, QColor expected)
{
    return qAbs(actual.red() - expected.red()) <= 8 && qAbs(actual.green() - expected.green()) <= 8
        && qAbs(actual.blue() - expected.blue()) <= 8;
}

// Counts the paint events of a widget that cover more than `area` pixels.
struct PaintCounter : QObject {
    PaintCounter(QWidget* widget, int area)
        : m_area(area)
    {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QRect bounds = static_cast<QPaintEvent*>(event)->region().boundingRect();
            if (bounds.width() * bounds.height() > m_area)
                ++count;
        }
        return false;
    }
    int count = 0;

private:
    int m_area;
};

QPixmap solid(QColor color)
{
    QPixmap pixmap(40, 20);
    pixmap.fill(color);
    return pixmap;
}

} // namespace

class TestDialogKit : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { DialogSeam::clear(); }

    // ---- Switch ----

    void switchRestsAtItsEndsAfterResizeAndSetState()
    {
        Switch sw;
        sw.resize(80, 30);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        QCOMPARE(sw.thumbPosition(), 15.0);

        QSignalSpy spy(&sw, &Switch::stateChanged);
        sw.setState(true);
        QCOMPARE(sw.thumbPosition(), 65.0);
        sw.resize(120, 40);
        QCOMPARE(sw.thumbPosition(), 105.0);
        sw.setState(false);
        QCOMPARE(sw.thumbPosition(), 15.0);
        QCOMPARE(spy.count(), 0); // programmatic changes are not user clicks
    }

    void switchTwoQuickClicksReturnToTheFirstState()
    {
        Switch sw;
        sw.resize(56, 30);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        QSignalSpy spy(&sw, &Switch::stateChanged);

        QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(10, 15));
        QVERIFY(sw.state());
        QCOMPARE(sw.animation()->state(), QAbstractAnimation::Running);

        QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(10, 15));
        QVERIFY(!sw.state());
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
        // The second run starts where the thumb was, not at the far end.
        QVERIFY(sw.animation()->startValue().toDouble() < 56.0 - 15.0);
        QCOMPARE(sw.animation()->endValue().toDouble(), 15.0);
        QTRY_COMPARE(sw.animation()->state(), QAbstractAnimation::Stopped);
        QCOMPARE(sw.thumbPosition(), 15.0);

        QTest::mousePress(&sw, Qt::RightButton, Qt::NoModifier, QPoint(10, 15));
        QVERIFY(!sw.state());
        QCOMPARE(spy.count(), 2);
    }

    void switchWorksAtTinySizes()
    {
        Switch sw;
        sw.setMinimumSize(0, 0);
        sw.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sw));
        for (const QSize& size : {QSize(1, 1), QSize(0, 0), QSize(5, 3), QSize(200, 2)}) {
            sw.resize(size);
            sw.grab();
            const bool before = sw.state();
            QTest::mousePress(&sw, Qt::LeftButton);
            QCOMPARE(sw.state(), !before);
        }
    }

    // ---- AlertDialog ----

    void alertAnswers_data()
    {
        QTest::addColumn<QString>("cancelText");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("expected");
        QTest::newRow("confirm") << "No"
                                 << "Btn_Confirm" << 1;
        QTest::newRow("cancel") << "No"
                                << "Btn_Cancel" << 0;
        QTest::newRow("closed by the window system") << "No" << QString() << 0;
        QTest::newRow("no cancel text: confirm only") << QString() << "Btn_Confirm" << 1;
        QTest::newRow("Enter confirms") << "No"
                                        << "Key_Return" << 1;
        QTest::newRow("Escape cancels") << "No"
                                        << "Key_Escape" << 0;
    }

    void alertAnswers()
    {
        QFETCH(QString, cancelText);
        QFETCH(QString, action);
        QFETCH(int, expected);
        bool cancelVisible = false;
        QString text;
        whenModal([&](QWidget* modal) {
            cancelVisible = modal->findChild<QPushButton*>(QStringLiteral("Btn_Cancel"))->isVisible();
            text = modal->findChild<QLabel*>(QStringLiteral("label_Text"))->text();
            if (action.isEmpty())
                modal->close();
            else if (action.startsWith(QLatin1String("Key_")))
                pressKey(modal, action);
            else
                QTest::mouseClick(modal->findChild<QPushButton*>(action), Qt::LeftButton);
        });
        QCOMPARE(AlertDialog::ask(nullptr, QStringLiteral("T"), QStringLiteral("Restart now?"), QStringLiteral("Yes"),
                     AlertDialog::StyleDanger, cancelText, AlertDialog::StyleSecondary),
            expected);
        QCOMPARE(cancelVisible, !cancelText.isEmpty());
        QCOMPARE(text, QStringLiteral("Restart now?"));
    }

    // Tests of windows that ask questions answer them through the seam.
    void seamAnswersWithoutShowingAnything()
    {
        DialogSeam::install(
            [](const DialogSeam::Request& r) { return r.confirmText == QStringLiteral("Delete") ? 1 : 0; });
        QCOMPARE(AlertDialog::ask(nullptr, QStringLiteral("Drivers"), QStringLiteral("Remove it?"),
                     QStringLiteral("Delete"), 0, QStringLiteral("Keep"), 1),
            1);
        MessageYesNo box(QStringLiteral("Switch the driver?"));
        box.answer = true;
        QSignalSpy spy(&box, &MessageYesNo::SignalClick);
        box.exec();
        QVERIFY(!box.answer);
        QCOMPARE(spy.count(), 1);
        QVERIFY(!box.isVisible());
        QVERIFY(!QApplication::activeModalWidget());

        const QList<DialogSeam::Request> asked = DialogSeam::requests();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.at(0).kind, DialogSeam::Kind::Alert);
        QCOMPARE(asked.at(0).text, QStringLiteral("Remove it?"));
        QCOMPARE(asked.at(1).kind, DialogSeam::Kind::YesNo);
        QCOMPARE(asked.at(1).text, QStringLiteral("Switch the driver?"));
    }

    // ---- MessageYesNo ----

    void yesNoAnswers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("expected");
        QTest::newRow("yes") << QStringLiteral("pushButton_Yes") << true;
        QTest::newRow("no") << QStringLiteral("pushButton_No") << false;
        // The keys answer through the buttons: the signal and `answer` follow them.
        QTest::newRow("Enter") << QStringLiteral("Key_Return") << true;
        QTest::newRow("Escape") << QStringLiteral("Key_Escape") << false;
    }

    void yesNoAnswers()
    {
        QFETCH(QString, button);
        QFETCH(bool, expected);
        MessageYesNo box(QStringLiteral("Uninstall the driver?"));
        box.answer = !expected;
        QSignalSpy spy(&box, &MessageYesNo::SignalClick);
        QString shownText;
        whenModal([&](QWidget* modal) {
            shownText = modal->findChild<QLabel*>(QStringLiteral("label_MesSesTxt"))->text();
            if (button.startsWith(QLatin1String("Key_")))
                pressKey(modal, button);
            else
                QTest::mouseClick(modal->findChild<QPushButton*>(button), Qt::LeftButton);
        });
        box.exec();
        QCOMPARE(box.answer, expected);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), expected);
        QCOMPARE(shownText, QStringLiteral("Uninstall the driver?"));
        QVERIFY(!box.isVisible());
    }

    void yesNoDragsOnlyFromTheTopStrip()
    {
        MessageYesNo box(QStringLiteral("Drag me"));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.move(100, 100);
        const QPoint start = box.pos();

        sendMouse(&box, QEvent::MouseButtonPress, {10, 10}, start + QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
        sendMouse(&box, QEvent::MouseMove, {30, 20}, start + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), start + QPoint(20, 10));
        const QPoint moved = box.pos();

        // The cursor is now low in the dialog: no movement.
        sendMouse(&box, QEvent::MouseMove, {30, 60}, start + QPoint(50, 90), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), moved);

        sendMouse(&box, QEvent::MouseButtonRelease, {30, 20}, start + QPoint(30, 20), Qt::LeftButton, Qt::NoButton);
        sendMouse(&box, QEvent::MouseMove, {30, 20}, start + QPoint(80, 40), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), moved);

        // Right button, or left together with right, does not start a drag.
        sendMouse(&box, QEvent::MouseButtonPress, {10, 10}, moved + QPoint(10, 10), Qt::RightButton,
            Qt::RightButton | Qt::LeftButton);
        sendMouse(&box, QEvent::MouseMove, {10, 10}, moved + QPoint(60, 60), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(box.pos(), moved);
    }

    // ---- Loading and catalogues ----

    void loadingPlaysOnlyValidMovies()
    {
        Loading loading(nullptr);
        QVERIFY(!loading.isVisible());

        QVERIFY(loading.setMovieFile(QStringLiteral(":/image/loading.gif")));
        QMovie* movie = loading.movie();
        QVERIFY(movie);
        QCOMPARE(loading.movieLabel()->movie(), movie);
        // The animation runs only while the overlay is shown.
        QCOMPARE(movie->state(), QMovie::NotRunning);
        loading.show();
        QCOMPARE(movie->state(), QMovie::Running);
        loading.hide();
        QCOMPARE(movie->state(), QMovie::NotRunning);

        QVERIFY(!loading.setMovieFile(QStringLiteral(":/image/no-such.gif")));
        QCOMPARE(loading.movie(), movie);
    }

    // ---- CarouselImageWindow ----

    void carouselCyclesAndJumps()
    {
        CarouselImageWindow carousel;
        carousel.setProductPage(QUrl()); // no browser from a test
        carousel.resize(200, 100);
        carousel.setImages({solid(Qt::red), solid(Qt::green), solid(Qt::blue)});
        carousel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&carousel));

        QButtonGroup* group = carousel.indicatorGroup();
        QCOMPARE(group->buttons().size(), 3);
        QCOMPARE(group->checkedId(), 0);
        // The indicators show no text; a screen reader names each.
        QCOMPARE(QAccessible::queryAccessibleInterface(group->button(1))->text(QAccessible::Name),
            QStringLiteral("Picture 2 of 3"));
        QVERIFY(carousel.switchTimer()->isActive());

        carousel.onImageChangeTimeout();
        QCOMPARE(carousel.currentIndex(), 1);
        QCOMPARE(group->checkedId(), 1);
        QVERIFY(carousel.imageOpacity() > 0.0); // the old picture is fading out
        QTRY_COMPARE(carousel.imageOpacity(), 0.0);
        QVERIFY(colorNear(carousel.grab().toImage().pixelColor(100, 30), Qt::green));
        // The shown picture's dot differs from the others', which look alike, over the picture.
        const auto dot = [&](int id) { return group->button(id)->grab().toImage(); };
        QCOMPARE(dot(0), dot(2));
        QVERIFY(dot(1) != dot(0));
        const QPoint middle = group->button(0)->geometry().center();
        QVERIFY(!colorNear(carousel.grab().toImage().pixelColor(middle), Qt::green));

        carousel.onImageChangeTimeout();
        carousel.onImageChangeTimeout();
        QCOMPARE(carousel.currentIndex(), 0); // wraps around

        carousel.switchTimer()->start(10000);
        QTest::mouseClick(group->button(2), Qt::LeftButton);
        QCOMPARE(carousel.currentIndex(), 2);
        QCOMPARE(group->checkedId(), 2);
        QCOMPARE(carousel.switchTimer()->interval(), 5000); // a fresh period

        QSignalSpy clicked(&carousel, &CarouselImageWindow::imageClicked);
        QTest::mouseClick(&carousel, Qt::LeftButton, Qt::NoModifier, QPoint(100, 30));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 2);
    }

    // A fade step shows the old picture over the new one at the step's opacity.
    void carouselFadeStepBlendsOldOverNew()
    {
        CarouselImageWindow carousel;
        carousel.setProductPage(QUrl());
        carousel.resize(200, 100);
        carousel.setImages({solid(Qt::red), solid(Qt::blue)});
        carousel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&carousel));
        QCoreApplication::processEvents();
        // A change shows the old picture unchanged until the first step: the
        // picture is not repainted for it (only under the indicators).
        PaintCounter paints(&carousel, 20 * 20);
        carousel.onImageChangeTimeout();
        QCoreApplication::processEvents();
        if (carousel.imageOpacity() == 1.0) // no step yet on a very slow machine
            QCOMPARE(paints.count, 0);
        QVERIFY(colorNear(carousel.grab().toImage().pixelColor(100, 30), Qt::red));
        QTRY_VERIFY(paints.count > 0);
        QTRY_COMPARE(carousel.imageOpacity(), 0.0);
        QVERIFY(colorNear(carousel.grab().toImage().pixelColor(100, 30), Qt::blue));
        carousel.setProperty("ImageOpacity", 0.4); // two steps of five left
        QVERIFY(colorNear(carousel.grab().toImage().pixelColor(100, 30), QColor(102, 0, 153)));
        carousel.setProperty("ImageOpacity", 0.0);
        QVERIFY(colorNear(carousel.grab().toImage().pixelColor(100, 30), Qt::blue));
    }

    // The pictures cover the carousel to its last device pixel wherever it
    // sits, and a fade step blends them there too; ctest runs this again on a
    // screen scaled by a fraction, where the pictures are drawn in device pixels.
    void carouselCoversItsAreaAtAnyScale()
    {
        QWidget frame;
        frame.resize(240, 140);
        QPalette white = frame.palette();
        white.setColor(QPalette::Window, Qt::white);
        frame.setPalette(white);
        frame.setAutoFillBackground(true);
        auto* carousel = new CarouselImageWindow(&frame);
        carousel->setProductPage(QUrl());
        carousel->setGeometry(7, 3, 201, 101);
        carousel->setImages({solid(Qt::red), solid(Qt::blue)});
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));

        const qreal ratio = frame.devicePixelRatioF();
        const QRectF device(
            carousel->x() * ratio, carousel->y() * ratio, carousel->width() * ratio, carousel->height() * ratio);
        // Whole device pixels inside the carousel above its indicators, and the white around it.
        const QRect inside(QPoint(qCeil(device.left()), qCeil(device.top())),
            QPoint(qFloor(device.right()) - 1, qFloor(device.bottom() - 30 * ratio)));
        const auto check = [&](QColor expected) {
            const QImage shot = frame.grab().toImage();
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                for (int x = inside.left(); x <= inside.right(); ++x)
                    if (!colorNear(shot.pixelColor(x, y), expected))
                        return QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(shot.pixelColor(x, y).name());
            if (!colorNear(shot.pixelColor(inside.left() - 2, inside.top()), Qt::white)
                || !colorNear(shot.pixelColor(inside.right() + 2, inside.top()), Qt::white)
                || !colorNear(shot.pixelColor(inside.left(), qCeil(device.bottom()) + 1), Qt::white))
                return QStringLiteral("drawn outside the carousel");
            return QString();
        };
        QCOMPARE(check(Qt::red), QString());
        carousel->onImageChangeTimeout();
        QTRY_COMPARE(carousel->imageOpacity(), 0.0);
        QCOMPARE(check(Qt::blue), QString());
        carousel->setProperty("ImageOpacity", 0.4);
        QCOMPARE(check(QColor(102, 0, 153)), QString());
    }

    void carouselWithOneOrNoPicture()
    {
        CarouselImageWindow carousel;
        carousel.resize(100, 50);
        carousel.grab(); // nothing to show yet
        carousel.setImages({solid(Qt::red)});
        QVERIFY(carousel.indicatorGroup()->buttons().isEmpty());
        QVERIFY(!carousel.switchTimer()->isActive());
        carousel.onImageChangeTimeout();
        QCOMPARE(carousel.currentIndex(), 0);

        carousel.addImage(solid(Qt::blue));
        QCOMPARE(carousel.indicatorGroup()->buttons().size(), 2);
        // Pictures change only while the carousel can be seen.
        QVERIFY(!carousel.switchTimer()->isActive());
        carousel.show();
        QVERIFY(carousel.switchTimer()->isActive());
        carousel.hide();
        QVERIFY(!carousel.switchTimer()->isActive());
        QCOMPARE(carousel.currentIndex(), 0);
        carousel.onImageSwitchButtonClicked(7); // out of range: ignored
        QCOMPARE(carousel.currentIndex(), 0);
    }
};

QTEST_MAIN(TestDialogKit)
#include "tst_appkit_dialog_kit.moc"
