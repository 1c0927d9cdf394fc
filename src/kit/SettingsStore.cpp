#include "kit/SettingsStore.h"

#include "kit/AppConstants.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "platform/Autostart.h"
#include "platform/Process.h"

#include <memory>

namespace {

const QString kLanguageKey = QStringLiteral("language");

// Organisation first, then application; on Windows the current user's registry branch.
std::unique_ptr<QSettings> openStore()
{
    return std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Settings"), QStringLiteral("Brindlewick"));
}

} // namespace

SettingsStore& SettingsStore::instance()
{
    // Function-local static: created once, thread-safe since C++11.
    static SettingsStore store;
    return store;
}

SettingsStore::SettingsStore() = default;

QVariant SettingsStore::value(const QString& key)
{
    const auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return it.value();
    const auto settings = openStore();
    // An unreadable or malformed store counts as empty.
    const QVariant stored = settings->status() == QSettings::NoError ? settings->value(key) : QVariant();
    m_cache.insert(key, stored);
    return stored;
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    const auto settings = openStore();
    settings->setValue(key, value);
    settings->sync(); // on disk now, so a crash does not lose the choice
    m_cache.insert(key, value);
}

QString SettingsStore::language()
{
    const QString stored = value(kLanguageKey).toString();
    return stored.isEmpty() ? QString::fromLatin1(AppConstants::kDefaultLanguage) : stored;
}

void SettingsStore::setLanguage(const QString& value)
{
    setValue(kLanguageKey, value);
}

int readLanguageMarker()
{
    return readLanguageMarker(QCoreApplication::applicationDirPath());
}

int readLanguageMarker(const QString& directory)
{
    const QString path = directory + QLatin1Char('/') + QLatin1String(AppConstants::kLanguageMarkerFile);
    if (QFileInfo(path).isDir())
        return -2;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -2;
    char first = 0;
    if (file.read(&first, 1) != 1)
        return -1;
    if (first == '0')
        return 0;
    if (first == '1')
        return 1;
    return -1;
}

std::string readAutostartEntry()
{
    return platform::readAutostartEntry();
}

bool writeAutostartEntry(const std::string& value)
{
    return platform::writeAutostartEntry(value);
}

void removeAutostartEntry()
{
    platform::removeAutostartEntry();
}

std::string autostartCommandLine()
{
    std::string path = platform::modulePath();
    if (path.empty())
        path = QCoreApplication::applicationFilePath().toStdString();
    return path + " " + AppConstants::kTraySwitch;
}
