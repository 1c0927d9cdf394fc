#include "drivers/DriversLog.h"

Q_LOGGING_CATEGORY(lcDrivers, "brindlewick.drivers", QtInfoMsg)
