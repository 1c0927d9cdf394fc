#include "app/Logging.h"

Q_LOGGING_CATEGORY(lcShell, "brindlewick.shell", QtInfoMsg)
