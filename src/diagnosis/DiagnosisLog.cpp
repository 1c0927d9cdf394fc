#include "diagnosis/DiagnosisLog.h"

Q_LOGGING_CATEGORY(lcDiagnosis, "brindlewick.diagnosis", QtInfoMsg)
