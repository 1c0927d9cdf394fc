// Whether the background service that owns the status block is alive.
//
// A Windows file mapping disappears with its last handle, so a service that
// dies takes its status text with it. A POSIX shared memory object outlives a
// killed writer with its last text in place; without this check a killed
// service would leave the adapter on screen for ever. Where blocks outlive
// their owner, the service process that has this status block mapped is found
// once (several may run, each with its own block names) and then watched
// (platform::ProcessWatch, about a microsecond per call); while the service is
// down the process list is scanned at most once a second, and not at all while
// no status block exists.
#pragma once

#include <functional>

// True when the status block's writer is running. Always true where blocks go
// with their owner (Windows). ownerId receives the service's process id when
// the real check ran, 0 otherwise; a reader may keep the block mapped while it
// stays the same.
bool statusOwnerAlive(long* ownerId = nullptr);

// Replaces the check (tests that write the blocks themselves); empty restores it.
void setStatusOwnerCheck(std::function<bool()> check);
