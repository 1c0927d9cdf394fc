#include "kit/PostCall.h"

namespace appkit {

std::mutex& postCallMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace appkit
