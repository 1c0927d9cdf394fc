// The manager's log: every Qt message, of our categories and of Qt's own, goes
// as one line to "Brindlewick.log" in the log folder (platform/LogFile.h) and
// to stderr:
//   2024-05-01 12:34:56.789 warning brindlewick.device [status]: cannot write ...
#pragma once

#include <QString>
#include <QtGlobal>

#include <string>

// Installs the message handler; returns the one it replaced.
QtMessageHandler installManagerLog();

// One log line without its time stamp: "<level> <category> [<thread>]: <message>".
std::string managerLogLine(QtMsgType type, const char* category, const std::string& thread, const QString& message);

// The calling thread's name for log lines: the QThread's object name, else
// the name given with platform::setThreadName, else "thread-<id>".
std::string currentThreadLogName();
