#include "account/KeychainCredentialStore.h"

#include "kit/PostCall.h"

#include <platform/OsConventions.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#ifndef BW_NO_KEYRING
#include <qt5keychain/keychain.h>
#endif

namespace account {

namespace {

#ifndef BW_NO_KEYRING

// What a keyring job reported; shared with the job, which may outlive a wait that gave up.
struct JobResult {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QString errorString;
    QByteArray data;
};

// Starts a read (data null) or write job on the thread that owns the
// application: the keyring libraries answer through that thread's event
// loop, whatever thread asked. The job deletes itself when it ends.
void startJob(const QString& service, const QString& key, const QByteArray* data, std::shared_ptr<JobResult> result)
{
    QKeychain::Job* job = nullptr;
    if (data) {
        auto* write = new QKeychain::WritePasswordJob(service);
        write->setKey(key);
        write->setBinaryData(*data);
        job = write;
    } else {
        auto* read = new QKeychain::ReadPasswordJob(service);
        read->setKey(key);
        job = read;
    }
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished, [result](QKeychain::Job* ended) {
        std::lock_guard<std::mutex> lock(result->mutex);
        result->finished = true;
        result->error = ended->error();
        result->errorString = ended->errorString();
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(ended))
            result->data = read->binaryData();
        result->done.notify_all();
    });
    job->start();
}

// Runs one job and waits at most kWaitMs for it; null on a time-out.
std::shared_ptr<JobResult> runBounded(const QString& service, const QString& key, const QByteArray* data)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    auto result = std::make_shared<JobResult>();
    if (QThread::currentThread() == app->thread()) {
        QEventLoop loop;
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(KeychainCredentialStore::kWaitMs);
        startJob(service, key, data, result);
        while (limit.isActive()) {
            {
                std::lock_guard<std::mutex> lock(result->mutex);
                if (result->finished)
                    return result;
            }
            loop.processEvents(QEventLoop::WaitForMoreEvents);
        }
        std::lock_guard<std::mutex> lock(result->mutex);
        return result->finished ? result : nullptr;
    }
    const QByteArray copy = data ? *data : QByteArray();
    const bool write = data != nullptr;
    appkit::postCall(
        app, [service, key, copy, write, result] { startJob(service, key, write ? &copy : nullptr, result); });
    std::unique_lock<std::mutex> lock(result->mutex);
    if (!result->done.wait_for(
            lock, std::chrono::milliseconds(KeychainCredentialStore::kWaitMs), [&] { return result->finished; }))
        return nullptr;
    return result;
}

#endif // BW_NO_KEYRING

QJsonArray toArray(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

QStringList toList(const QJsonValue& value)
{
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        if (item.isString())
            list.append(item.toString());
    return list;
}

} // namespace

KeychainCredentialStore::KeychainCredentialStore(QString service, QString key)
    : m_service(std::move(service))
    , m_key(std::move(key))
{
}

QString KeychainCredentialStore::describe() const
{
    return QStringLiteral("keyring entry %1/%2").arg(m_service, m_key);
}

QByteArray KeychainCredentialStore::encode(const RememberedCredentials& credentials)
{
    QJsonObject object;
    object.insert(QStringLiteral("username"), toArray(credentials.users));
    object.insert(QStringLiteral("password"), toArray(credentials.passwords));
    object.insert(QStringLiteral("isrembered"), credentials.remember);
    object.insert(QStringLiteral("isautologin"), credentials.autoLogin);
    object.insert(QStringLiteral("nickname"), credentials.nickname);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool KeychainCredentialStore::decode(const QByteArray& data, RememberedCredentials& credentials)
{
    credentials = RememberedCredentials();
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    credentials.users = toList(object.value(QStringLiteral("username")));
    credentials.passwords = toList(object.value(QStringLiteral("password")));
    credentials.remember = object.value(QStringLiteral("isrembered")).toBool();
    credentials.autoLogin = object.value(QStringLiteral("isautologin")).toBool();
    credentials.nickname = object.value(QStringLiteral("nickname")).toString();
    credentials.normalise();
    return true;
}

#ifdef BW_NO_KEYRING
// A build without a keyring library (the Windows build: Debian has no
// QtKeychain for mingw): the credentials go to the owner-only file.
bool KeychainCredentialStore::load(RememberedCredentials& credentials, QString* error)
{
    credentials = RememberedCredentials();
    if (error)
        *error = QStringLiteral("this build has no keyring");
    return false;
}

bool KeychainCredentialStore::save(const RememberedCredentials&, QString* error)
{
    if (error)
        *error = QStringLiteral("this build has no keyring");
    return false;
}

bool KeychainCredentialStore::available(QString* why, const QString&)
{
    if (why)
        *why = QStringLiteral("this build has no keyring");
    return false;
}
#else
bool KeychainCredentialStore::load(RememberedCredentials& credentials, QString* error)
{
    credentials = RememberedCredentials();
    const std::shared_ptr<JobResult> job = runBounded(m_service, m_key, nullptr);
    if (!job) {
        if (error)
            *error = QStringLiteral("the keyring did not answer");
        return false;
    }
    if (job->error == QKeychain::EntryNotFound)
        return true;
    if (job->error != QKeychain::NoError) {
        if (error)
            *error = job->errorString;
        return false;
    }
    if (!decode(job->data, credentials)) {
        // A damaged entry is replaced by the next save; nothing is remembered meanwhile.
        if (error)
            *error = QStringLiteral("the keyring entry is not readable");
        return false;
    }
    return true;
}

bool KeychainCredentialStore::save(const RememberedCredentials& credentials, QString* error)
{
    const QByteArray data = encode(credentials);
    const std::shared_ptr<JobResult> job = runBounded(m_service, m_key, &data);
    if (!job) {
        if (error)
            *error = QStringLiteral("the keyring did not answer");
        return false;
    }
    if (job->error != QKeychain::NoError) {
        if (error)
            *error = job->errorString;
        return false;
    }
    return true;
}

bool KeychainCredentialStore::available(QString* why, const QString& service)
{
    // Without a session bus the Secret Service cannot answer; asking would
    // only start a bus of its own or wait.
    if (platform::keychainNeedsSessionBus() && qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        if (why)
            *why = QStringLiteral("no session bus");
        return false;
    }
    // A write read back, not a read: a keyring without a default collection,
    // or with a locked one, answers reads with "no such entry" and may report
    // a write whose unlock or create prompt could not be shown as done.
    const QByteArray probe = QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    const QString key = QStringLiteral("availability-probe");
    const std::shared_ptr<JobResult> written = runBounded(service, key, &probe);
    if (!written || written->error != QKeychain::NoError) {
        if (why)
            *why = written ? written->errorString : QStringLiteral("the keyring did not answer");
        return false;
    }
    const std::shared_ptr<JobResult> read = runBounded(service, key, nullptr);
    if (!read) {
        if (why)
            *why = QStringLiteral("the keyring did not answer");
        return false;
    }
    if (read->error == QKeychain::NoError && read->data == probe)
        return true;
    if (why)
        *why = read->error == QKeychain::NoError || read->errorString.isEmpty()
            ? QStringLiteral("the keyring did not keep an entry")
            : read->errorString;
    return false;
}
#endif // BW_NO_KEYRING

} // namespace account
