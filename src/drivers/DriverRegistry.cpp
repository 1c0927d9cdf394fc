#include "drivers/DriverRegistry.h"

#include "kit/AppConstants.h"
#include "platform/Registry.h"

using platform::Registry;
using platform::RegistryHive;

namespace {

const RegistryHive kHive = RegistryHive::LocalMachine;

std::string keyOf(const QString& installKey)
{
    return DriverRegistry::packageKey(installKey).toStdString();
}

// A value as text; a number (REG_DWORD) written by someone else counts too.
std::optional<QString> readText(const QString& installKey, const QString& name)
{
    const std::string key = keyOf(installKey);
    if (const auto text = Registry::readString(kHive, key, name.toStdString()))
        return QString::fromStdString(*text);
    if (const auto number = Registry::readDword(kHive, key, name.toStdString()))
        return QString::number(*number);
    return std::nullopt;
}

bool isOne(const QString& text)
{
    bool ok = false;
    return text.trimmed().toInt(&ok) == 1 && ok;
}

// An install key must stay one key and one folder name.
bool plainKey(const QString& installKey)
{
    return !installKey.isEmpty() && installKey != QLatin1String(".") && installKey != QLatin1String("..")
        && !installKey.contains(QLatin1Char('\\')) && !installKey.contains(QLatin1Char('/'));
}

} // namespace

QString DriverRegistry::packageKey(const QString& installKey)
{
    return QLatin1String(AppConstants::kRegistryBaseKey) + QLatin1Char('\\') + installKey;
}

DriverMap DriverRegistry::load()
{
    DriverMap map;
    const auto& rows = DriverTable::rows();
    for (auto it = rows.constBegin(); it != rows.constEnd(); ++it) {
        VehicleDriver driver;
        driver.key = it.key();
        driver.info = it.value();
        readInstall(driver);
        map.insert(driver.key, driver);
    }
    return map;
}

void DriverRegistry::readInstall(VehicleDriver& driver)
{
    driver.installPath.clear();
    driver.installVersion.clear();
    driver.enabled = true;
    if (!plainKey(driver.info.installKey))
        return;
    driver.installPath = readText(driver.info.installKey, QStringLiteral("InstallPath")).value_or(QString());
    if (const auto version = readText(driver.info.installKey, QStringLiteral("InstallVersion")))
        driver.installVersion = drivers::normalizeVersion(*version);
    if (driver.installPath.isEmpty())
        return;
    if (!driver.info.enableValue.isEmpty()) {
        if (const auto value = readText(driver.info.installKey, driver.info.enableValue))
            driver.enabled = isOne(*value);
    } else if (const auto disabled = readText(driver.info.installKey, QStringLiteral("IsDisable"))) {
        driver.enabled = !isOne(*disabled);
    }
}

QStringList DriverRegistry::installedPackages()
{
    QStringList names;
    for (const std::string& name : Registry::subKeyNames(kHive, AppConstants::kRegistryBaseKey))
        names << QString::fromStdString(name);
    return names;
}

bool DriverRegistry::recordInstall(VehicleDriver& driver, const QString& folder, const QString& version)
{
    if (!plainKey(driver.info.installKey))
        return false;
    const std::string key = keyOf(driver.info.installKey);
    bool ok = Registry::writeString(kHive, key, "InstallPath", folder.toStdString());
    if (!version.isEmpty())
        ok = Registry::writeString(kHive, key, "InstallVersion", version.toStdString()) && ok;
    else
        Registry::deleteValue(kHive, key, "InstallVersion"); // a replaced package's version is no longer true
    if (!ok)
        return false;
    driver.installPath = folder;
    driver.installVersion = drivers::normalizeVersion(version);
    return writeEnabled(driver, false);
}

bool DriverRegistry::writeEnabled(VehicleDriver& driver, bool enabled)
{
    if (!plainKey(driver.info.installKey))
        return false;
    const std::string key = keyOf(driver.info.installKey);
    const bool ok = driver.info.enableValue.isEmpty()
        ? Registry::writeString(kHive, key, "IsDisable", enabled ? "0" : "1")
        : Registry::writeString(kHive, key, driver.info.enableValue.toStdString(), enabled ? "1" : "0");
    if (ok)
        driver.enabled = enabled;
    return ok;
}

QStringList DriverRegistry::enabledValues(const QString& installKey)
{
    QStringList names;
    if (!plainKey(installKey))
        return names;
    for (const std::string& name : Registry::valueNames(kHive, keyOf(installKey))) {
        const auto text = Registry::readString(kHive, keyOf(installKey), name);
        if (text && *text == "1")
            names << QString::fromStdString(name);
    }
    return names;
}

bool DriverRegistry::modeMustChange(const VehicleDriver& driver, bool enable)
{
    if (driver.info.enableValue.isEmpty())
        return true;
    const QStringList on = enabledValues(driver.info.installKey);
    if (enable)
        return on.isEmpty();
    return on.size() == 1 && on.first().compare(driver.info.enableValue, Qt::CaseInsensitive) == 0;
}

DriverRegistry::UninstallPlan DriverRegistry::uninstallPlan(const VehicleDriver& driver)
{
    if (driver.info.enableValue.isEmpty())
        return UninstallPlan::RemoveFolderAndKey;
    for (const QString& name : enabledValues(driver.info.installKey))
        if (name.compare(driver.info.enableValue, Qt::CaseInsensitive) != 0)
            return UninstallPlan::RemoveValueOnly;
    return UninstallPlan::RemoveFolderAndKey;
}

bool DriverRegistry::removeEnableValue(const VehicleDriver& driver)
{
    return plainKey(driver.info.installKey) && !driver.info.enableValue.isEmpty()
        && Registry::deleteValue(kHive, keyOf(driver.info.installKey), driver.info.enableValue.toStdString());
}

bool DriverRegistry::removePackageKey(const QString& installKey)
{
    return plainKey(installKey) && Registry::deleteKey(kHive, keyOf(installKey));
}
