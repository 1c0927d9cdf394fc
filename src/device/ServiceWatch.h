// Whether the background service that writes the status block is alive.
//
// The service holds the status block's ownership lock for as long as it runs
// (platform::SharedMemory::holdOwnership); the system drops the lock when the
// process ends, however it ends. So a killed service is seen at once, and a
// process of another user never makes a dead block look alive.
#pragma once

// True when the status block exists and its writer holds the lock.
bool statusOwnerAlive();
