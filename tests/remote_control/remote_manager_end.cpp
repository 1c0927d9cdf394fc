// One end of a remote session as the manager runs it, for the tests with two
// managers' processes: the main window Kestrix built as the program builds it
// (every subsystem wired by SubsystemWiring, the status thread, the device
// link to this instance's BrindlewickService, the remote subsystem with the
// libraries of the program's folder), offscreen, driven through its widgets.
// It lives in the build's bin folder so that the remote subsystem finds the
// session libraries, RemotePro and the adapter tool where the program does.
//
// Commands on standard input, one a line:
//   control SERIAL CODE CAN1 CAN2   Btn_RemotePro, the partner's serial and code,
//                                   "Config Select" with the two buses' CAN rates (bit/s)
//   connect SERIAL CODE             Btn_Remote_Connect (relay diagnosis), serial and code
//   end                             the session page's end and its confirmation
//   endcontrol                      the C-end's "End device control"
// End of input closes the window and ends the program (exit code 0).
//
// Standard output: "toast TEXT" for each toast (English source text), and a
// line "KEY VALUE" each time one of these changes: page (the stack's index),
// vci (the device page's state label), controlled (the C-end notice's text,
// "-" while hidden), registered (0/1: the relay registration), active (0/1:
// a session runs), bytesB, bytesC, delayB, deviceNumber (the session page's
// labels while it shows), ready (1 once the window is up).
#include "app/AppEntry.h"
#include "app/Kestrix.h"
#include "app/LogSetup.h"
#include "kit/Instance.h"
#include "kit/SettingsStore.h"
#include "remote/RemoteController.h"
#include "remote/RemotePages.h"
#include "remote/RemotePro.h"
#include "remote/RemoteProConfig.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <thread>

namespace {

void say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The combo index whose rate is `bitsPerSecond`, the dialog's own mapping; -1 when none.
int canIndex(std::uint32_t bitsPerSecond)
{
    for (int i = 0; i < remote::kCanRateCount; ++i)
        if (remote::canRateAt(i) == bitsPerSecond)
            return i;
    return -1;
}

class Driver : public QObject {
public:
    Driver(Kestrix& window, RemoteController& remote)
        : m_window(window)
        , m_remote(remote)
    {
        connect(&m_remote, &RemoteController::SignalsTMsg, this,
            [](const QString& text, int) { say(QStringLiteral("toast ") + text); });
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this] { report(); });
        poll->start(100);
        report();
    }

    void run(const QString& line)
    {
        const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (w.isEmpty())
            return;
        if (w[0] == QLatin1String("control") && w.size() == 5)
            start(true, w[1], w[2], w[3].toUInt(), w[4].toUInt());
        else if (w[0] == QLatin1String("connect") && w.size() == 3)
            start(false, w[1], w[2], 0, 0);
        else if (w[0] == QLatin1String("end"))
            endSession();
        else if (w[0] == QLatin1String("endcontrol")) {
            QTest::mouseClick(button("Btn_Remote"), Qt::LeftButton);
            QTest::mouseClick(m_remote.remotePage()->endControl, Qt::LeftButton);
        } else
            say(QStringLiteral("error unknown command: ") + line);
    }

private:
    QPushButton* button(const char* name) const { return m_window.findChild<QPushButton*>(QLatin1String(name)); }

    // The user's steps on the remote page: its button, the partner's serial,
    // the chosen mode's button, the code, confirm; for device control the
    // rates in "Config Select", which is modal and so answered once it shows.
    void start(bool deviceControl, const QString& serial, const QString& code, std::uint32_t can1, std::uint32_t can2)
    {
        QTest::mouseClick(button("Btn_Remote"), Qt::LeftButton);
        RemotePage* page = m_remote.remotePage();
        page->partnerSerial->clear();
        QTest::keyClicks(page->partnerSerial, serial);
        QTest::mouseClick(deviceControl ? page->deviceControl : page->connectButton, Qt::LeftButton);
        if (!page->prompt->isVisible()) {
            say(QStringLiteral("error no code prompt"));
            return;
        }
        QTest::keyClicks(page->partnerCode, code);
        if (deviceControl) {
            const int i1 = canIndex(can1);
            const int i2 = canIndex(can2);
            auto answer = std::make_shared<std::function<void()>>();
            *answer = [answer, i1, i2] {
                auto* dialog = qobject_cast<RemoteProConfig*>(QApplication::activeModalWidget());
                if (!dialog) {
                    QTimer::singleShot(10, *answer);
                    return;
                }
                dialog->comboCan1->setCurrentIndex(i1);
                dialog->comboCan2->setCurrentIndex(i2);
                dialog->accept();
            };
            QTimer::singleShot(0, *answer);
        }
        QTest::mouseClick(page->confirm, Qt::LeftButton);
    }

    void endSession()
    {
        SessionPage* session = m_remote.sessionPage();
        QTest::mouseClick(session->end, Qt::LeftButton);
        QTest::mouseClick(session->confirmYes, Qt::LeftButton);
    }

    void report()
    {
        QMap<QString, QString> now;
        auto* stack = m_window.findChild<QStackedWidget*>(QStringLiteral("Tab_Stack"));
        now[QStringLiteral("page")] = QString::number(stack ? stack->currentIndex() : -1);
        auto* vci = m_window.findChild<QLabel*>(QStringLiteral("Label_VCI_Status"));
        now[QStringLiteral("vci")] = vci ? vci->text() : QString();
        RemotePage* page = m_remote.remotePage();
        now[QStringLiteral("controlled")]
            = page && page->controlled->isVisibleTo(page) ? page->controlledText->text() : QStringLiteral("-");
        const remote::RemoteState& state = m_remote.engine().state();
        now[QStringLiteral("registered")] = QString::number(state.relayRegistration() ? 1 : 0);
        now[QStringLiteral("active")] = QString::number(state.remoteActive() ? 1 : 0);
        if (stack && stack->currentIndex() == RemoteController::kSessionPageIndex) {
            SessionPage* session = m_remote.sessionPage();
            now[QStringLiteral("bytesB")] = session->bytesB->text();
            now[QStringLiteral("bytesC")] = session->bytesC->text();
            now[QStringLiteral("delayB")] = session->delayB->text();
            now[QStringLiteral("deviceNumber")] = session->deviceNumber->text();
        }
        now[QStringLiteral("ready")] = QStringLiteral("1");
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (m_last.value(it.key()) != it.value() || !m_last.contains(it.key()))
                say(it.key() + QLatin1Char(' ') + it.value());
        }
        m_last = now;
    }

    Kestrix& m_window;
    RemoteController& m_remote;
    QMap<QString, QString> m_last;
};

} // namespace

int main(int argc, char** argv)
{
    // As the program starts: this instance's folders and blocks, then its log.
    instance::apply(argc, argv);
    installManagerLog();
    QApplication app(argc, argv);
    SettingsStore::instance().setLanguage(QStringLiteral("en"));
    QPoint initialPos(0, 0);
    unsigned char showFlag = 0;
    bool initialised = false;
    std::unique_ptr<QWidget> built = kestrixWindowFactory()(initialPos, &showFlag, initialised);
    auto* window = dynamic_cast<Kestrix*>(built.get());
    RemoteController* remote = window ? window->subsystem<RemoteController>() : nullptr;
    if (!initialised || !remote) {
        say(QStringLiteral("error the main window did not come up"));
        return 1;
    }
    window->show();
    Driver driver(*window, *remote);

    // Commands reach the GUI thread queued; the end of input ends the program.
    std::thread input([&app, &driver] {
        char line[256];
        while (std::fgets(line, sizeof line, stdin)) {
            const QString text = QString::fromUtf8(line).trimmed();
            QMetaObject::invokeMethod(
                &driver, [&driver, text] { driver.run(text); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int code = app.exec();
    input.join();
    built.reset();
    return code;
}
