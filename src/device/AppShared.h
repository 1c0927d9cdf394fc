// The application-wide notification bus and the adapter state every page shares.
#pragma once

#include "device/DeviceInfo.h"
#include "device/DeviceProfile.h"

#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <string>

class MT7628Config;

// Codes carried by AppShared::signal. Receivers ignore codes they do not handle.
enum SharedSignal {
    StatusRead = 0,         // DeviceInfo, after every status read
    SerialChanged = 1,      // DeviceInfo, the adapter serial changed (sent before 0)
    OpenPhoneSignIn = 2,    // no payload
    DriversPageShown = 3,   // empty text
    RunVersionCheck = 4,    // no payload
    SignedInName = 5,       // text, empty on sign-out
    NewerVersionExists = 6, // bool
    Unused7 = 7,
    RemoteKeyRead = 8,     // text, the adapter's remote key
    ShowToast = 9,         // text, shown 2000 ms
    DriversLocalOnly = 10, // empty text: the drivers page lists installed drivers only (no adapter)
};
Q_DECLARE_METATYPE(SharedSignal)

class AppShared : public QObject {
    Q_OBJECT
public:
    // Reads the adapter's remote key: serial (UTF-8), adapter address, output.
    using RemoteKeyFetcher = std::function<bool(const std::string& serial, const std::string& ip, std::string& key)>;

    // Created on first use from any thread; lives until the process ends.
    static AppShared* instance();

    // Keeps the DeviceInfo of one status read, tracks serial changes (profile,
    // remote key) and emits codes 1 (on a change) and 0. Thread-safe.
    void publish(const DeviceInfo& info);

    QString currentSerial() const;
    DeviceInfo deviceInfo() const;
    DeviceProfile deviceProfile() const;
    QString remoteKey() const;
    MT7628Config& mt7628Config();

    // Replaces the MT7628 call of fetchRemoteKey (tests); empty restores it.
    void setRemoteKeyFetcher(RemoteKeyFetcher fetcher);
    // Restores the state before the first read (tests).
    void resetForTests();

    // Reads the remote key of the current adapter on a worker thread and
    // emits code 8 with it when done.
    void fetchRemoteKey();

signals:
    void signal(SharedSignal sharedSignal, QVariant data);

private:
    AppShared();
    ~AppShared() override;
    void storeRemoteKey(const QString& serial, const QString& key);
    void announce(SharedSignal code, const QVariant& data);
    mutable QMutex m_mutex;
    QString m_serial;
    DeviceInfo m_info;
    DeviceProfile m_profile;
    QString m_remoteKey;
    std::shared_ptr<MT7628Config> m_config;
    RemoteKeyFetcher m_fetcher;
};
