#include "drivers/DriverSwitch.h"

#include "drivers/DriverFiles.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriversLog.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>

#include <QFile>

namespace {

const char* const kLibrarySuffix = platform::sharedLibrarySuffix();

enum class Call { Done, Refused, Skipped, Broken };

// Loads the library, calls one export without arguments, unloads it. A mode
// call's false result is a refusal; a file that is there but will not load
// is broken (a damaged package), a missing file or export is skipped.
Call callExport(const QString& path, const char* name, bool modeCall, QString* why)
{
    if (!QFile::exists(path)) {
        qCInfo(lcDrivers) << "no" << path << "- skipped";
        return Call::Skipped;
    }
    platform::Library library;
    if (!library.load(QFile::encodeName(path).toStdString())) {
        if (why)
            *why = QString::fromStdString(library.errorString());
        return Call::Broken;
    }
    void* symbol = library.resolve(name);
    if (!symbol) {
        qCInfo(lcDrivers) << QString::fromStdString(library.errorString()) << "- skipped";
        return Call::Skipped;
    }
    if (!modeCall) {
        reinterpret_cast<void (*)()>(symbol)();
        return Call::Done;
    }
    const bool switched = reinterpret_cast<bool (*)()>(symbol)();
    if (switched)
        return Call::Done;
    if (why) {
        *why = QStringLiteral("%1 refused").arg(QLatin1String(name));
        if (auto message = library.resolveFunction<const char* (*)()>("LastMessage"))
            *why += QStringLiteral(": ") + QString::fromUtf8(message());
    }
    return Call::Refused;
}

} // namespace

namespace drivers {

QString packageLibrary(const QString& folder, const QString& name)
{
    return folder + QLatin1Char('/') + name + QLatin1String(kLibrarySuffix);
}

SwitchResult switchDriver(VehicleDriver& driver, bool enable, QString* why)
{
    if (DriverRegistry::modeMustChange(driver, enable)) {
        // The libraries come from the install key's own folder below the data
        // directory, whatever "InstallPath" says (see docs/decisions.md).
        const QString folder = DriverFiles::installFolder(driver.info);
        const Call mode = callExport(packageLibrary(folder, QStringLiteral("VciSwitch")),
            enable ? "SetModeHalvern" : "SetModeOriginal", true, why);
        if (mode == Call::Refused || mode == Call::Broken) {
            qCWarning(lcDrivers).noquote()
                << driver.key << (enable ? "not enabled:" : "not disabled:") << (why ? *why : QString());
            return mode == Call::Refused ? SwitchResult::Refused : SwitchResult::ModeLibraryBroken;
        }
        callExport(packageLibrary(folder, QStringLiteral("vciServer")), enable ? "start" : "Stop", false, nullptr);
    }
    if (!DriverRegistry::writeEnabled(driver, enable)) {
        if (why)
            *why = QStringLiteral("cannot write ") + DriverRegistry::packageKey(driver.info.installKey);
        return SwitchResult::NotRecorded;
    }
    qCInfo(lcDrivers).noquote() << driver.key << (enable ? "enabled" : "disabled");
    return SwitchResult::Done;
}

bool setDriverEnabled(VehicleDriver& driver, bool enable, QString* why)
{
    return switchDriver(driver, enable, why) == SwitchResult::Done;
}

void stopPackageServer(const VehicleDriver& driver)
{
    const QString folder = DriverFiles::installFolder(driver.info);
    callExport(packageLibrary(folder, QStringLiteral("vciServer")), "Stop", false, nullptr);
}

} // namespace drivers
