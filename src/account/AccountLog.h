// Logging category of the account subsystem (naming rule in app/Logging.h).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcAccount)
