#include "account/Credentials.h"

#include "account/AccountLog.h"
#include "account/KeychainCredentialStore.h"
#include "kit/Instance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

namespace account {

namespace {

const QLatin1String kGroup("config");
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString flagText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// The folder with owner-only access; false when it cannot be made.
bool makePrivateFolder(const QString& folder)
{
    if (!QDir().mkpath(folder))
        return false;
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

} // namespace

void RememberedCredentials::recordSignIn(
    const QString& email, const QString& password, bool rememberFlag, bool autoFlag)
{
    normalise();
    remember = rememberFlag;
    autoLogin = autoFlag;
    if (email.isEmpty())
        return;
    const int at = users.indexOf(email);
    if (at >= 0) {
        users.removeAt(at);
        passwords.removeAt(at);
    }
    users.append(email);
    passwords.append(password);
    while (users.size() > kMaxEntries) {
        users.removeFirst();
        passwords.removeFirst();
    }
}

void RememberedCredentials::normalise()
{
    const int n = qMin(users.size(), passwords.size());
    users = users.mid(0, n);
    passwords = passwords.mid(0, n);
}

bool RememberedCredentials::operator==(const RememberedCredentials& other) const
{
    return users == other.users && passwords == other.passwords && remember == other.remember
        && autoLogin == other.autoLogin && nickname == other.nickname;
}

FileCredentialStore::FileCredentialStore(QString path)
    : m_path(std::move(path))
{
}

// The user's configuration folder of the program; a named instance has its own below it.
QString accountFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (folder.isEmpty())
        return QString();
    const QString name = instance::name();
    return name.isEmpty() ? folder : folder + QStringLiteral("/instances/") + name;
}

QString FileCredentialStore::defaultPath()
{
    const QString folder = accountFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/UserConfig.ini");
}

bool FileCredentialStore::load(RememberedCredentials& credentials, QString* error)
{
    credentials = RememberedCredentials();
    if (m_path.isEmpty()) {
        if (error)
            *error = QStringLiteral("no configuration folder");
        return false;
    }
    if (!QFileInfo::exists(m_path))
        return true;
    QSettings settings(m_path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        if (error)
            *error = QStringLiteral("cannot read %1").arg(m_path);
        return false;
    }
    settings.beginGroup(kGroup);
    credentials.users = settings.value(QStringLiteral("username")).toStringList();
    credentials.passwords = settings.value(QStringLiteral("password")).toStringList();
    credentials.remember = settings.value(QStringLiteral("isrembered")).toString() == QLatin1String("true");
    credentials.autoLogin = settings.value(QStringLiteral("isautologin")).toString() == QLatin1String("true");
    credentials.nickname = settings.value(QStringLiteral("nickname")).toString();
    credentials.normalise();
    return true;
}

bool FileCredentialStore::save(const RememberedCredentials& credentials, QString* error)
{
    if (m_path.isEmpty() || !makePrivateFolder(QFileInfo(m_path).absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create the folder of %1").arg(m_path);
        return false;
    }
    // Created owner-only before QSettings writes, which keeps the mode of the file it replaces.
    if (!QFileInfo::exists(m_path)) {
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (error)
                *error = QStringLiteral("cannot create %1").arg(m_path);
            return false;
        }
        file.setPermissions(kOwnerOnly);
    }
    QFile::setPermissions(m_path, kOwnerOnly);
    {
        QSettings settings(m_path, QSettings::IniFormat);
        settings.beginGroup(kGroup);
        settings.setValue(QStringLiteral("username"), credentials.users);
        settings.setValue(QStringLiteral("password"), credentials.passwords);
        settings.setValue(QStringLiteral("isrembered"), flagText(credentials.remember));
        settings.setValue(QStringLiteral("isautologin"), flagText(credentials.autoLogin));
        settings.setValue(QStringLiteral("nickname"), credentials.nickname);
        settings.endGroup();
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            if (error)
                *error = QStringLiteral("cannot write %1").arg(m_path);
            return false;
        }
    }
    QFile::setPermissions(m_path, kOwnerOnly);
    return true;
}

namespace {

// The keyring, with the owner-only file behind it: a save the keyring refuses
// (locked or gone meanwhile) goes to the file, which then holds the newest
// record and is read first; the next save the keyring takes removes it, so
// the passwords do not stay on disk once the keyring works again.
class KeyringWithFileStore : public CredentialStore {
public:
    KeyringWithFileStore(std::unique_ptr<KeychainCredentialStore> keyring, QString path)
        : m_keyring(std::move(keyring))
        , m_file(std::move(path))
    {
    }

    bool load(RememberedCredentials& credentials, QString* error) override
    {
        if (!m_file.path().isEmpty() && QFileInfo::exists(m_file.path())) {
            qCInfo(lcAccount) << "remembered credentials: read from the owner-only file" << m_file.path();
            return m_file.load(credentials, error);
        }
        return m_keyring->load(credentials, error);
    }

    bool save(const RememberedCredentials& credentials, QString* error) override
    {
        QString why;
        // Read back: a keyring whose unlock prompt could not be shown may call
        // a write done that it did not keep.
        RememberedCredentials kept;
        if (m_keyring->save(credentials, &why) && m_keyring->load(kept, &why) && kept == credentials) {
            if (!m_file.path().isEmpty() && QFileInfo::exists(m_file.path()) && !QFile::remove(m_file.path()))
                qCWarning(lcAccount) << "cannot remove" << m_file.path() << "after the keyring took the credentials";
            return true;
        }
        if (why.isEmpty())
            why = QStringLiteral("the keyring did not keep them");
        qCWarning(lcAccount).noquote() << "remembered credentials: the keyring refused them (" << why
                                       << "); kept in the owner-only file" << m_file.path();
        return m_file.save(credentials, error);
    }

    QString describe() const override { return m_keyring->describe(); }

private:
    std::unique_ptr<KeychainCredentialStore> m_keyring;
    FileCredentialStore m_file;
};

} // namespace

std::unique_ptr<CredentialStore> openCredentialStore()
{
    QString why;
    const QString path = FileCredentialStore::defaultPath();
    if (KeychainCredentialStore::available(&why)) {
        qCInfo(lcAccount) << "remembered credentials: system keyring";
        const QString name = instance::name();
        return std::make_unique<KeyringWithFileStore>(
            std::make_unique<KeychainCredentialStore>(QStringLiteral("Brindlewick"),
                name.isEmpty() ? QStringLiteral("UserConfig") : QStringLiteral("UserConfig-") + name),
            path);
    }
    qCInfo(lcAccount).noquote() << "remembered credentials: the keyring cannot keep them (" << why
                                << "); kept in the owner-only file" << path;
    if (path.isEmpty())
        return nullptr;
    return std::make_unique<FileCredentialStore>(path);
}

QString phoneNicknamePath()
{
    const QString folder = accountFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/UserName.ini");
}

QString readPhoneNickname(const QString& path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString();
    // A nickname is one short line; a larger file is not ours.
    const QByteArray first = file.readLine(1024);
    return QString::fromUtf8(first).trimmed();
}

bool writePhoneNickname(const QString& path, const QString& nickname)
{
    if (path.isEmpty() || !makePrivateFolder(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QString line = nickname;
    line.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    file.write(line.toUtf8());
    return file.commit();
}

} // namespace account
