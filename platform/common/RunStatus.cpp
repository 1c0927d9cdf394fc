#include "platform/Process.h"

namespace platform {

const char* runStatusText(RunStatus status)
{
    switch (status) {
    case RunStatus::Exited:
        return "exited";
    case RunStatus::Crashed:
        return "crashed";
    case RunStatus::TimedOut:
        return "timed out";
    case RunStatus::CouldNotStart:
        break;
    }
    return "could not start";
}

} // namespace platform
