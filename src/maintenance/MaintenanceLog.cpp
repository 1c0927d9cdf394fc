#include "maintenance/MaintenanceLog.h"

Q_LOGGING_CATEGORY(lcMaintenance, "brindlewick.maintenance", QtInfoMsg)
