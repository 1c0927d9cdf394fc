#include "remote/RemoteLog.h"

Q_LOGGING_CATEGORY(lcRemote, "brindlewick.remote", QtInfoMsg)
