#include "blocks/PublishedAdapter.h"

#include "blocks/StatusBlock.h"

#include <platform/SharedMemory.h>

#include <cstring>

namespace blocks {

PublishedAdapter readPublishedAdapter()
{
    platform::SharedMemory block;
    if (!block.open(kStatusBlockName, kStatusBlockSize) || !block.ownerAlive())
        return {};
    unsigned char copy[kStatusBlockSize];
    std::memcpy(copy, block.data(), sizeof copy);
    if (block.faulted())
        return {};
    const StatusText status(blockText(copy, sizeof copy));
    return {std::string(status.value(StatusKey::vciIP)), std::string(status.value(StatusKey::SN))};
}

} // namespace blocks
