#include "app/SingleInstance.h"

#include "app/Logging.h"

SingleInstance::SingleInstance(const QString& key)
    : m_key(key.toStdString())
{
}

bool SingleInstance::claim()
{
    // Create reuses a block left by a copy that was killed; only the
    // ownership lock says whether its writer still runs.
    if (!m_block.create(m_key, 1)) {
        qCWarning(lcShell) << "single-instance block cannot be opened:" << QString::fromStdString(m_block.error());
        // Without the block there is no way to find another copy: run rather
        // than refuse to start at all.
        return true;
    }
    if (!m_block.holdOwnership()) {
        __atomic_store_n(m_block.data(), static_cast<unsigned char>(1), __ATOMIC_RELEASE);
        m_block.close();
        return false;
    }
    clearShowRequest(m_block.data());
    m_owner = true;
    return true;
}

unsigned char* SingleInstance::flag()
{
    return m_owner && m_block.isOpen() ? m_block.data() : nullptr;
}

void SingleInstance::release()
{
    // Closing drops the ownership lock. The name stays: removing it could let
    // a copy that opened it a moment ago hold a block nobody else finds.
    m_block.close();
    m_owner = false;
}
