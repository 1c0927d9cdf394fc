// The adapter's cloud registration: once per adapter while the internet is
// reachable, the adapter is registered under its key (with its serial and
// model) and the service's registration date, warranty end and service level
// are read back. Runs on a worker; the schedule decides when to try.
#pragma once

#include "account/AccountService.h"

#include <QString>

#include <cstdint>
#include <mutex>

namespace account {

struct AdapterRegistration {
    QString serial;
    QString registeredAt;
    QString warrantyUntil;
    QString serviceLevel;

    bool isEmpty() const { return registeredAt.isEmpty() && warrantyUntil.isEmpty() && serviceLevel.isEmpty(); }
    // One translated line for the user centre, empty when nothing is known.
    QString text() const;
};

// False when the internet is not reachable or no value came back.
bool registerAdapter(AccountService& service, const QString& key, const QString& serial, const QString& model,
    const QString& language, AdapterRegistration& result);

// When to try: a serial is known, nothing is kept for it yet, no attempt runs
// and the last one is more than kRetryMs old. Thread-safe.
class RegistrationSchedule {
public:
    static constexpr std::int64_t kRetryMs = 2000;

    // True (and the attempt counts as running) when one should start now.
    bool begin(const QString& serial, std::int64_t nowMs);
    // The attempt ended; `kept` when it brought a value for `serial`.
    void finish(const QString& serial, bool kept, std::int64_t nowMs);
    bool keptFor(const QString& serial) const;

private:
    mutable std::mutex m_mutex;
    QString m_keptSerial;
    bool m_running = false;
    std::int64_t m_lastAttemptMs = 0;
    bool m_tried = false;
};

} // namespace account
