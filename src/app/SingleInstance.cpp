#include "app/SingleInstance.h"

#include "app/Logging.h"

SingleInstance::SingleInstance(const QString& key)
    : m_memory(key)
{
}

bool SingleInstance::claim()
{
    if (!m_memory.create(1, QSharedMemory::ReadWrite)) {
        // On POSIX systems a segment outlives a copy that was killed. Attaching
        // and detaching a probe removes it when nobody else is attached; a live
        // copy keeps it.
        {
            QSharedMemory probe(m_memory.key());
            if (probe.attach())
                probe.detach();
        }
        if (!m_memory.create(1, QSharedMemory::ReadWrite)) {
            if (m_memory.attach(QSharedMemory::ReadWrite)) {
                m_memory.lock();
                static_cast<unsigned char*>(m_memory.data())[0] = 1;
                m_memory.unlock();
                m_memory.detach();
            } else {
                qCWarning(lcShell) << "another copy runs but its segment cannot be opened:" << m_memory.errorString();
            }
            return false;
        }
    }
    static_cast<unsigned char*>(m_memory.data())[0] = 0;
    m_owner = true;
    return true;
}

unsigned char* SingleInstance::flag()
{
    return m_owner ? static_cast<unsigned char*>(m_memory.data()) : nullptr;
}

void SingleInstance::release()
{
    if (m_memory.isAttached())
        m_memory.detach();
    m_owner = false;
}
