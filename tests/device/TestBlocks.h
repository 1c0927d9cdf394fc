#include "support/TestBlocks.h"
