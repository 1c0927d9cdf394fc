// One copy of the manager per user: the first copy creates a one-byte shared
// segment and keeps it; a later copy sets the byte to 1, which asks the first
// copy to show its window, and gives up.
#pragma once

#include <QSharedMemory>
#include <QString>

class SingleInstance {
public:
    explicit SingleInstance(const QString& key);

    // True when this process is the first copy (the flag is then valid). False
    // when another copy runs: that copy has been asked to show itself.
    bool claim();
    // Byte 0 of the segment, or nullptr when this copy does not hold it.
    unsigned char* flag();
    // Gives the segment up so that a new copy can claim it.
    void release();

    // The byte is shared with other processes and read and cleared without
    // the segment's lock, so only the byte access itself must be atomic.
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
    QSharedMemory m_memory;
    bool m_owner = false;
};
