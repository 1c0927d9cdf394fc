#include "update/UpdateLog.h"

Q_LOGGING_CATEGORY(lcUpdate, "brindlewick.update", QtInfoMsg)
