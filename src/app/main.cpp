// Entry point of the manager.
#include "app/AppEntry.h"
#include "app/LogSetup.h"
#include "app/Logging.h"
#include "app/StartupTrace.h"
#include "kit/Instance.h"

#include <BuildConfig.h>
#include <platform/LogFile.h>
#include <platform/Process.h>

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    StartupTrace::begin();
    platform::setThreadName("main");
    // Before the log: a named instance has a log folder of its own.
    QString instanceProblem;
    const QString instanceName = instance::apply(argc, argv, &instanceProblem);
    installManagerLog();
    if (!instanceProblem.isEmpty())
        qCWarning(lcShell).noquote() << instanceProblem;
    else if (!instanceName.isEmpty())
        qCInfo(lcShell) << "instance" << instanceName;
    qCInfo(lcShell) << "Brindlewick" << BuildConfig::kApplicationVersion << "starting";
    StartupTrace::mark("log open");

    qputenv("QT_ENABLE_HIGHDPI_SCALING", "1");
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    // The manager paints with the raster engine only. Without this every first
    // window on X11 probes OpenGL, which loads the GL driver (with Mesa's
    // software renderer, LLVM): the largest single cost of a start.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets, true);

    int exitCode = 0;
    {
        QApplication app(argc, argv);
        StartupTrace::mark("application object");
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/Brindlewick.ico")));

        StartupOptions options;
        options.makeWindow = kestrixWindowFactory();
        options.rawCommandLine = platform::rawCommandLine();
        exitCode = runStartup(options);
    }
    qCInfo(lcShell) << "Brindlewick ended with exit code" << exitCode;
    return exitCode;
}
