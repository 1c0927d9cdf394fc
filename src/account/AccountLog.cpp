#include "account/AccountLog.h"

Q_LOGGING_CATEGORY(lcAccount, "brindlewick.account", QtInfoMsg)
