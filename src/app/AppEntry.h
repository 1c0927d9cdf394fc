// The start-up sequence after the application object exists: single instance,
// the main window, start hidden with "-z", the event loop and the restart that
// follows exit code 100.
#pragma once

#include <QPoint>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QWidget;

struct StartupOptions {
    // Builds the main window; sets `initialised` to whether it came up.
    using WindowFactory
        = std::function<std::unique_ptr<QWidget>(QPoint& initialPos, unsigned char* showFlag, bool& initialised)>;
    WindowFactory makeWindow;
    QString instanceKey = QStringLiteral("KestrixAppShowWindowShareMemory");
    std::string rawCommandLine;
    QString restartProgram; // empty: the running executable
    QString splashPicture = QStringLiteral(":/image/launch.png");
};

// Centre of the desktop for a 900 x 650 window, truncated toward zero.
QPoint initialWindowPosition(const QSize& desktop);

// Whether the raw command line asks to start hidden in the tray.
bool startsHidden(const std::string& rawCommandLine);

// Runs steps from the splash to the end of the event loop; returns the exit code.
int runStartup(const StartupOptions& options);

// The window factory of the real program.
StartupOptions::WindowFactory kestrixWindowFactory();
