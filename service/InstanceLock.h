// One service per user and block prefix, through the platform's instance lock.
#pragma once

#include "platform/InstanceLock.h"

#include <string>

namespace bwservice {

class InstanceLock : public platform::InstanceLock {
public:
    // The service's lock file (platform::InstanceLock::defaultPath of "BrindlewickService").
    static std::string defaultPath() { return platform::InstanceLock::defaultPath("BrindlewickService"); }
};

} // namespace bwservice
