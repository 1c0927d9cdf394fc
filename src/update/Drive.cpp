#include "update/Drive.h"

Drive::Drive(QWidget* parent)
    : QWidget(parent)
{
    hide();
}

void Drive::setServerBase(const QString& base)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_base = base;
}

AppVersionInfo Drive::latestAppVersion()
{
    QString base;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        base = m_base;
    }
    const AppVersionInfo info = GetAuthApp(base);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_last = info;
    return info;
}

AppVersionInfo Drive::lastAppVersion() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_last;
}
