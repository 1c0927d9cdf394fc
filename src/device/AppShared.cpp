#include "device/AppShared.h"

#include "device/DeviceLog.h"
#include "device/VciStatusRecord.h"
#include "kit/PostCall.h"

#include <MT7628Config.h>

#include <QCoreApplication>
#include <QMutexLocker>
#include <QThread>

#include <thread>

AppShared::AppShared()
    : m_profile(initialProfile())
    , m_config(std::make_shared<MT7628Config>())
{
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
    qRegisterMetaType<SharedSignal>("SharedSignal");
    // The first use may come from the status thread; the bus belongs to the
    // application's main thread so that queued work reaches a running event loop.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        if (thread() != app->thread())
            moveToThread(app->thread());
    }
}

AppShared::~AppShared() = default;

AppShared* AppShared::instance()
{
    // Never destroyed: worker threads may still report after main() returns.
    static AppShared* const shared = new AppShared;
    return shared;
}

void AppShared::publish(const DeviceInfo& info)
{
    bool changed = false;
    bool fetch = false;
    {
        QMutexLocker lock(&m_mutex);
        m_info = info;
        const QString previous = m_serial;
        m_serial = info.SN;
        if (previous != m_serial) {
            changed = true;
            m_profile = lookupDeviceProfile(m_serial);
            fetch = m_serial.size() == 16;
            // A key belongs to one adapter; it is not kept for the next one.
            m_remoteKey.clear();
        }
    }
    if (changed) {
        if (fetch)
            fetchRemoteKey();
        announce(SerialChanged, QVariant::fromValue(info));
    }
    announce(StatusRead, QVariant::fromValue(info));
}

QString AppShared::currentSerial() const
{
    QMutexLocker lock(&m_mutex);
    return m_serial;
}

DeviceInfo AppShared::deviceInfo() const
{
    QMutexLocker lock(&m_mutex);
    return m_info;
}

DeviceProfile AppShared::deviceProfile() const
{
    QMutexLocker lock(&m_mutex);
    return m_profile;
}

QString AppShared::remoteKey() const
{
    QMutexLocker lock(&m_mutex);
    return m_remoteKey;
}

MT7628Config& AppShared::mt7628Config()
{
    return *m_config;
}

void AppShared::setRemoteKeyFetcher(RemoteKeyFetcher fetcher)
{
    QMutexLocker lock(&m_mutex);
    m_fetcher = std::move(fetcher);
}

void AppShared::resetForTests()
{
    QMutexLocker lock(&m_mutex);
    m_serial.clear();
    m_info = DeviceInfo();
    m_profile = initialProfile();
    m_remoteKey.clear();
}

void AppShared::storeRemoteKey(const QString& serial, const QString& key)
{
    {
        QMutexLocker lock(&m_mutex);
        // A reply for an adapter that is gone by now is dropped.
        if (serial != m_serial)
            return;
        m_remoteKey = key;
    }
    announce(RemoteKeyRead, QVariant(key));
}

void AppShared::announce(SharedSignal code, const QVariant& data)
{
    // Off the main thread (the status pass, the key fetch) the signal is
    // emitted on the main thread instead, where every receiver lives; the
    // hand-over goes through postCall so that its data is seen as published.
    if (QThread::currentThread() == thread())
        emit signal(code, data);
    else
        appkit::postCall(this, [this, code, data] { emit signal(code, data); });
}

void AppShared::fetchRemoteKey()
{
    RemoteKeyFetcher fetcher;
    std::string serial;
    std::string ip;
    {
        QMutexLocker lock(&m_mutex);
        fetcher = m_fetcher;
        serial = m_serial.toUtf8().toStdString();
        ip = m_info.vciIP.toStdString();
    }
    if (!fetcher) {
        std::shared_ptr<MT7628Config> config = m_config;
        fetcher = [config](const std::string& sn, const std::string& addr, std::string& key) {
            return config->GetRemoteKey(sn.c_str(), addr, key);
        };
    }

    // A plain thread of its own: the read may take seconds and nothing waits
    // for it; the key arrives through storeRemoteKey, which keeps it only
    // while the adapter is still the one asked about. (A QThread deleted from
    // its own finished() signal raced with its last wake-up.)
    std::thread([fetcher = std::move(fetcher), serial = std::move(serial), ip = std::move(ip)] {
        QThread::currentThread()->setObjectName(QStringLiteral("remote-key")); // shown in log lines
        std::string key;
        // The result is not used: whatever key text the call left is stored.
        fetcher(serial, ip, key);
        qCDebug(lcDevice) << "remote key read for the current adapter";
        AppShared::instance()->storeRemoteKey(QString::fromStdString(serial), QString::fromUtf8(key.c_str()));
    }).detach();
}
