#include "account/KeychainCredentialStore.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <qt5keychain/keychain.h>

namespace account {

namespace {

// Runs one keyring job to its end or the time limit; false on a time-out.
bool runBounded(QKeychain::Job& job)
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    limit.start(KeychainCredentialStore::kWaitMs);
    job.start();
    if (!finished)
        loop.exec();
    return finished;
}

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

bool KeychainCredentialStore::load(RememberedCredentials& credentials, QString* error)
{
    credentials = RememberedCredentials();
    QKeychain::ReadPasswordJob job(m_service);
    job.setKey(m_key);
    if (!runBounded(job)) {
        if (error)
            *error = QStringLiteral("the keyring did not answer");
        return false;
    }
    if (job.error() == QKeychain::EntryNotFound)
        return true;
    if (job.error() != QKeychain::NoError) {
        if (error)
            *error = job.errorString();
        return false;
    }
    if (!decode(job.binaryData(), credentials)) {
        // A damaged entry is replaced by the next save; nothing is remembered meanwhile.
        if (error)
            *error = QStringLiteral("the keyring entry is not readable");
        return false;
    }
    return true;
}

bool KeychainCredentialStore::save(const RememberedCredentials& credentials, QString* error)
{
    QKeychain::WritePasswordJob job(m_service);
    job.setKey(m_key);
    job.setBinaryData(encode(credentials));
    if (!runBounded(job)) {
        if (error)
            *error = QStringLiteral("the keyring did not answer");
        return false;
    }
    if (job.error() != QKeychain::NoError) {
        if (error)
            *error = job.errorString();
        return false;
    }
    return true;
}

bool KeychainCredentialStore::available(QString* why, const QString& service)
{
#if !defined(_WIN32)
    // Without a session bus the Secret Service cannot answer; asking would
    // only start a bus of its own or wait.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        if (why)
            *why = QStringLiteral("no session bus");
        return false;
    }
#endif
    QKeychain::ReadPasswordJob job(service);
    job.setKey(QStringLiteral("availability-probe"));
    if (!runBounded(job)) {
        if (why)
            *why = QStringLiteral("the keyring did not answer");
        return false;
    }
    if (job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound)
        return true;
    if (why)
        *why = job.errorString();
    return false;
}

} // namespace account
