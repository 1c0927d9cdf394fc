#include "support/TestEnvironment.h"
