// Logging category of the application kit (naming rule in app/Logging.h).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcKit)
