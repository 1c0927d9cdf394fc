// Where the start-up's time goes: time-stamped debug lines from the first line
// of main to the first exposure of the main window, in the category
// "brindlewick.shell.startup". Off unless QT_LOGGING_RULES asks for it
// ("brindlewick.shell.startup.debug=true"); a mark then costs one check of
// the category.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStartup)

namespace StartupTrace {

// Time zero; main calls it first. Also notes the CPU time the process used
// before main (loading and relocating the libraries, static initialisers).
void begin();
// One line: milliseconds since begin, since the previous mark, and `step`
// (followed by `detail` when given).
void mark(const char* step, const char* detail = nullptr);

} // namespace StartupTrace
