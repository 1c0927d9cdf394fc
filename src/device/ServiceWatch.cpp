#include "device/ServiceWatch.h"

#include "device/VciStatusRecord.h"

#include <platform/SharedMemory.h>

bool statusOwnerAlive()
{
    platform::SharedMemory block;
    return block.open(kVciStatusBlockName, kVciStatusBlockSize) && block.ownerAlive();
}
