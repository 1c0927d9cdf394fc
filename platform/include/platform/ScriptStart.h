// Helper scripts the manager writes and starts: which kind this system runs,
// the folder they are written to, and the detached start.
#pragma once

#include <string>

namespace platform {

enum class ScriptKind {
    Batch, // ".bat", run by cmd.exe (Windows)
    Shell, // ".sh", run by /bin/sh (POSIX)
};

// The kind this system runs.
ScriptKind scriptKind();
// ".bat" or ".sh".
const char* scriptSuffix(ScriptKind kind);

// A folder only this user writes, for scripts written at run time: an
// installed program's own folder is read-only. Created (owner-only) when
// missing; empty when it cannot be.
//   POSIX: $XDG_RUNTIME_DIR/Brindlewick when that variable is an absolute path
//          (cleared at log-out), else $XDG_CACHE_HOME/Brindlewick, else
//          ~/.cache/Brindlewick.
//   Windows: %LOCALAPPDATA%\Brindlewick\Scripts.
std::string scriptDirectory();
// Tests point it elsewhere; empty restores the default.
void setScriptDirectory(const std::string& dir);

// Starts a script detached, hidden, and does not wait: ShellExecuteEx "open" on
// Windows, /bin/sh <script> in a new session on POSIX. The script runs in
// workingDirectory (empty: the caller's). Returns the process id, or 0 on
// failure (1 on Windows when the script started but the shell did not hand
// out a process).
long startDetachedScript(const std::string& scriptPath, const std::string& workingDirectory = std::string());

} // namespace platform
