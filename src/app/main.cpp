// Entry point of the manager.
#include "app/AppEntry.h"

#include <platform/Process.h>

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "1");
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);

    int exitCode = 0;
    {
        QApplication app(argc, argv);
        QApplication::setWindowIcon(QIcon(":/Brindlewick.ico"));

        StartupOptions options;
        options.makeWindow = kestrixWindowFactory();
        options.rawCommandLine = platform::rawCommandLine();
        exitCode = runStartup(options);
    }
    return exitCode;
}
