#include "app/LogSetup.h"

#include <platform/LogFile.h>

#include <QThread>

#include <atomic>
#include <cstdio>

namespace {

const char* levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "unknown";
}

void writeMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    platform::LogFile& log = platform::processLog("Brindlewick");
    const std::string line
        = platform::logTimestamp() + ' ' + managerLogLine(type, context.category, currentThreadLogName(), message);
    if (!log.write(line)) {
        // Said once: a full disk must not double every message on stderr.
        static std::atomic<bool> reported{false};
        if (!reported.exchange(true))
            std::fprintf(stderr, "Brindlewick: cannot write the log file: %s\n", log.error().c_str());
    }
}

} // namespace

std::string managerLogLine(QtMsgType type, const char* category, const std::string& thread, const QString& message)
{
    return std::string(levelName(type)) + ' ' + (category && *category ? category : "default") + " [" + thread
        + "]: " + message.toStdString();
}

std::string currentThreadLogName()
{
    if (QThread* thread = QThread::currentThread()) {
        const QString name = thread->objectName();
        if (!name.isEmpty())
            return name.toStdString();
    }
    return platform::threadName();
}

QtMessageHandler installManagerLog()
{
    // The handler copies every line to stderr itself, as Qt's own did.
    platform::processLog("Brindlewick").setEcho(true);
    return qInstallMessageHandler(writeMessage);
}
