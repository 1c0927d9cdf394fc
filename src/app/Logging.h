// Logging categories of the application shell.
//
// Naming rule: every subsystem has one category, "brindlewick.<folder>", where
// <folder> is its folder below src/ (brindlewick.shell for src/app, whose
// folder name says nothing in a log line; brindlewick.kit for src/kit).
// The category is declared in "<Subsystem>Log.h" in that folder and is
// defined with Info as its lowest level: debug lines appear only when
// QT_LOGGING_RULES asks for them ("brindlewick.device.debug=true").
// Categories exist for subsystems with code: shell, kit, device, drivers,
// update; maintenance, remote, account and settings add theirs the same way.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcShell)
