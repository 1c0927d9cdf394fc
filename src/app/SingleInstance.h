// One copy of the manager per user: the first copy creates a one-byte shared
// block and holds its ownership lock; a later copy sets the byte to 1, which
// asks the first copy to show its window, and gives up.
//
// The block is a named platform block, not a QSharedMemory: the latter keys
// its System V segment with ftok(), whose value a recycled inode can give to
// an unrelated program's segment, and it needs a guess from the attach count
// to tell a killed copy's segment from a live one. The ownership lock is
// released by the system however the holder ends.
#pragma once

#include "platform/SharedMemory.h"

#include <QString>

class SingleInstance {
public:
    // `key` is the block's name; the platform adds the per-run prefix and the user.
    explicit SingleInstance(const QString& key);

    // True when this process is the first copy (the flag is then valid). False
    // when another copy runs: that copy has been asked to show itself.
    bool claim();
    // Byte 0 of the block, or nullptr when this copy does not hold it.
    unsigned char* flag();
    // Gives the block up so that a new copy can claim it.
    void release();

    // The byte is shared with other processes and read and cleared without
    // a lock, so only the byte access itself must be atomic.
    static bool showRequested(const unsigned char* flag)
    {
        return flag && __atomic_load_n(flag, __ATOMIC_ACQUIRE) != 0;
    }
    static void clearShowRequest(unsigned char* flag)
    {
        if (flag)
            __atomic_store_n(flag, static_cast<unsigned char>(0), __ATOMIC_RELEASE);
    }

private:
    std::string m_key;
    platform::SharedMemory m_block;
    bool m_owner = false;
};
