#include "app/AppEntry.h"

#include "app/Kestrix.h"
#include "app/SingleInstance.h"
#include "app/StartupTrace.h"
#include "kit/AppConstants.h"
#include "kit/Pictures.h"

#include "app/Logging.h"
#include <QApplication>
#include <QDesktopWidget>
#include <QEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QSplashScreen>
#include <QWindow>

#include <system_error>

QPoint initialWindowPosition(const QSize& desktop)
{
    return QPoint((desktop.width() - 900) / 2, (desktop.height() - 650) / 2);
}

bool startsHidden(const std::string& rawCommandLine)
{
    return rawCommandLine.size() >= 2 && rawCommandLine.find("-z") != std::string::npos;
}

namespace {

// Reports the main window's visibility in the log; the process-level tests
// and a technician's support log both read it.
class VisibilityLogger : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            qCInfo(lcShell) << "main window shown";
        else if (event->type() == QEvent::Hide)
            qCInfo(lcShell) << "main window hidden";
        return QObject::eventFilter(watched, event);
    }
};

// Marks the main window's first exposure and first paint in the start-up
// trace, then goes.
class FirstExposureTrace : public QObject {
public:
    explicit FirstExposureTrace(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
        if (QWindow* handle = window->windowHandle())
            handle->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && !m_exposed && watched == m_window->windowHandle()
            && m_window->windowHandle()->isExposed()) {
            m_exposed = true;
            StartupTrace::mark("main window exposed");
        } else if (event->type() == QEvent::Paint && watched == m_window) {
            StartupTrace::mark("main window painted");
            m_window->removeEventFilter(this);
            if (QWindow* handle = m_window->windowHandle())
                handle->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
    bool m_exposed = false;
};

} // namespace

StartupOptions::WindowFactory kestrixWindowFactory()
{
    return [](QPoint& initialPos, unsigned char* showFlag, bool& initialised) -> std::unique_ptr<QWidget> {
        auto window = std::make_unique<Kestrix>(initialPos, showFlag);
        initialised = window->isInitialised();
        return window;
    };
}

int runStartup(const StartupOptions& options)
{
    auto splash = std::make_unique<QSplashScreen>(loadPicture(options.splashPicture));
    splash->show();
    QCoreApplication::processEvents();
    StartupTrace::mark("splash shown");

    auto instance = std::make_unique<SingleInstance>(options.instanceKey);
    if (!instance->claim()) {
        qCInfo(lcShell) << "another copy is running; asked it to show its window";
        return -1;
    }

    StartupTrace::mark("single instance claimed");

    QPoint initialPos = initialWindowPosition(QApplication::desktop()->size());
    bool initialised = false;
    std::unique_ptr<QWidget> window;
    try {
        window = options.makeWindow(initialPos, instance->flag(), initialised);
    } catch (const std::system_error& error) {
        qCCritical(lcShell) << "main window failed:" << error.what();
        initialised = false;
    }

    StartupTrace::mark("main window built");

    int exitCode = -1;
    if (!window || !initialised) {
        splash->hide();
        QMessageBox::critical(
            nullptr, QStringLiteral("Warning"), QStringLiteral("Brindlewick init err"), QMessageBox::Ok);
    } else {
        splash->hide();
        window->installEventFilter(new VisibilityLogger(window.get()));
        window->move(initialPos);
        window->show();
        StartupTrace::mark("main window show() returned");
        if (lcStartup().isDebugEnabled())
            new FirstExposureTrace(window.get());
        if (startsHidden(options.rawCommandLine))
            window->hide();
        exitCode = QApplication::exec();
        if (exitCode == AppConstants::restartExitCode) {
            QApplication::closeAllWindows();
            // The window goes first: its status thread reads the show flag,
            // which lives in the segment. Then the segment is given up, so the
            // new copy does not take itself for a second one.
            window.reset();
            instance->release();
            const QString program
                = options.restartProgram.isEmpty() ? QCoreApplication::applicationFilePath() : options.restartProgram;
            if (!QProcess::startDetached(program, QStringList()))
                qCWarning(lcShell) << "restart failed to start" << program;
        }
    }
    window.reset();
    instance.reset();
    splash.reset();
    return exitCode;
}
