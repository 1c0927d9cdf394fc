// Logging category of vehicle diagnosis (naming rule in app/Logging.h).
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDiagnosis)
