#include "account/AdapterRegistration.h"

#include <QCoreApplication>

namespace account {

QString AdapterRegistration::text() const
{
    if (isEmpty())
        return QString();
    const QString unknown = QStringLiteral("--");
    return QCoreApplication::translate("AccountTexts", "Adapter %1: registered %2, warranty until %3, service level %4")
        .arg(serial, registeredAt.isEmpty() ? unknown : registeredAt, warrantyUntil.isEmpty() ? unknown : warrantyUntil,
            serviceLevel.isEmpty() ? unknown : serviceLevel);
}

bool registerAdapter(AccountService& service, const QString& key, const QString& serial, const QString& model,
    const QString& language, AdapterRegistration& result)
{
    result = AdapterRegistration();
    result.serial = serial;
    if (key.isEmpty() || serial.isEmpty() || !service.internetOk())
        return false;
    service.addAdapter(key, serial, model);
    QString* targets[] = {&result.registeredAt, &result.warrantyUntil, &result.serviceLevel};
    const char* names[] = {"registeredAt", "warrantyUntil", "serviceLevel"};
    for (int i = 0; i < 3; ++i) {
        QString value;
        if (service.adapterValue(key, QLatin1String(names[i]), language, value) == 0 && !value.isEmpty())
            *targets[i] = value.left(64); // a date or a short word; never a page of text
    }
    return !result.isEmpty();
}

bool RegistrationSchedule::begin(const QString& serial, std::int64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (serial.isEmpty() || m_running || serial == m_keptSerial)
        return false;
    if (m_tried && nowMs - m_lastAttemptMs <= kRetryMs)
        return false;
    m_running = true;
    m_tried = true;
    m_lastAttemptMs = nowMs;
    return true;
}

void RegistrationSchedule::finish(const QString& serial, bool kept, std::int64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
    m_lastAttemptMs = nowMs;
    if (kept)
        m_keptSerial = serial;
}

bool RegistrationSchedule::keptFor(const QString& serial) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !serial.isEmpty() && serial == m_keptSerial;
}

} // namespace account
