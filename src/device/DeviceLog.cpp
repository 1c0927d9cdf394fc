#include "device/DeviceLog.h"

Q_LOGGING_CATEGORY(lcDevice, "brindlewick.device", QtInfoMsg)
