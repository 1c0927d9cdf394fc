// Logging category of remote diagnosis (naming rule in app/Logging.h).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcRemote)
