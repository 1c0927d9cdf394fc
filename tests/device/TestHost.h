// The device, drivers, maintenance, remote and settings page tests' name for
// the shared stand-in window host.
#pragma once

#include "support/StandInHost.h"

using TestHost = StandInHost;
