#include "kit/KitLog.h"

Q_LOGGING_CATEGORY(lcKit, "brindlewick.kit", QtInfoMsg)
