#include "support/FakeService.h"
