#include "drivers/PassThruRegistration.h"

#include "drivers/DriverFiles.h"
#include "drivers/DriversLog.h"

#include <platform/OsConventions.h>
#include <platform/Registry.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

namespace drivers {

const char* const kPassThruKey = "SOFTWARE\\PassThruSupport.04.04\\Brindlewick J2534";

namespace {

const RegistryHive kHive = RegistryHive::LocalMachine;
const RegistryView kView = RegistryView::Force32;

const char* const kPassThruPackage = "J2534_0404";
const char* const kLibraryName = "BrindlewickJ2534";
const char* const kName = "Brindlewick J2534";
const char* const kVendor = "Brindlewick";

// The protocol values of the key: 1 for what the library carries, 0 for the
// standard's other protocols (answered with "not supported"). The two
// pin-selectable ones are the J2534-2 names of our extension.
struct Protocol {
    const char* name;
    unsigned long supported;
};
const Protocol kProtocols[] = {
    {"CAN", 1},
    {"ISO15765", 1},
    {"CAN_PS", 1},
    {"ISO15765_PS", 1},
    {"J1850VPW", 0},
    {"J1850PWM", 0},
    {"ISO9141", 0},
    {"ISO14230", 0},
    {"SCI_A_ENGINE", 0},
    {"SCI_A_TRANS", 0},
    {"SCI_B_ENGINE", 0},
    {"SCI_B_TRANS", 0},
};

void say(QString* why, const QString& text)
{
    if (why)
        *why = text;
}

// The file first (replaced in one rename), so a reader never sees half of it.
bool writeDiscoveryFile(const QString& library, QString* why)
{
    const QString path = passThruDiscoveryFile();
    if (path.isEmpty())
        return true;
    QJsonObject object;
    object.insert(QStringLiteral("Name"), QLatin1String(kName));
    object.insert(QStringLiteral("Vendor"), QLatin1String(kVendor));
    object.insert(QStringLiteral("FunctionLibrary"), library);
    for (const Protocol& protocol : kProtocols)
        object.insert(QLatin1String(protocol.name), static_cast<int>(protocol.supported));
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        say(why, QStringLiteral("cannot create the folder of ") + path);
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        say(why, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        say(why, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

bool removeDiscoveryFile(QString* why)
{
    const QString path = passThruDiscoveryFile();
    if (path.isEmpty() || !QFileInfo::exists(path) || QFile::remove(path))
        return true;
    say(why, QStringLiteral("cannot remove ") + path);
    return false;
}

// The key from scratch (no value of an older layout stays); FunctionLibrary
// last, so an application reading in the middle finds no library yet.
bool writeKey(const QString& library, QString* why)
{
    Registry::deleteKey(kHive, kPassThruKey, kView);
    bool ok = Registry::writeString(kHive, kPassThruKey, "Name", kName, kView)
        && Registry::writeString(kHive, kPassThruKey, "Vendor", kVendor, kView);
    for (const Protocol& protocol : kProtocols)
        ok = ok && Registry::writeDword(kHive, kPassThruKey, protocol.name, protocol.supported, kView);
    ok = ok
        && Registry::writeString(
            kHive, kPassThruKey, "FunctionLibrary", QDir::toNativeSeparators(library).toStdString(), kView);
    if (!ok)
        say(why, QStringLiteral("cannot write HKLM\\") + QLatin1String(kPassThruKey));
    return ok;
}

bool removeRegistration(QString* why)
{
    QString fileWhy;
    const bool fileGone = removeDiscoveryFile(&fileWhy);
    const bool keyGone
        = !Registry::keyExists(kHive, kPassThruKey, kView) || Registry::deleteKey(kHive, kPassThruKey, kView);
    if (!keyGone)
        say(why, QStringLiteral("cannot remove HKLM\\") + QLatin1String(kPassThruKey));
    else if (!fileGone)
        say(why, fileWhy);
    return fileGone && keyGone;
}

} // namespace

QString passThruLibraryOf(const DriverInfo& info)
{
    if (info.installKey != QLatin1String(kPassThruPackage))
        return QString();
    const QString suffix = QLatin1String(platform::sharedLibrarySuffix());
    return QFileInfo(DriverFiles::installFolder(info) + QLatin1Char('/') + QLatin1String(kLibraryName) + suffix)
        .absoluteFilePath();
}

QString passThruDiscoveryFile()
{
    if (platform::passThruDiscoveryByRegistry())
        return QString();
    // Read on every call: the folder follows XDG_CONFIG_HOME as it is now.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/j2534/04.04/brindlewick-j2534.json");
}

bool registerPackageLibrary(const DriverInfo& info, QString* why)
{
    const QString library = passThruLibraryOf(info);
    if (library.isEmpty())
        return true;
    const QFileInfo file(library);
    if (!file.isFile() || file.isSymLink()) {
        QString removeWhy;
        removeRegistration(&removeWhy);
        say(why,
            QStringLiteral("the %1 package holds no %2; the pass-thru library is not registered")
                .arg(info.installKey, file.fileName()));
        qCWarning(lcDrivers).noquote() << (why ? *why : QString()) << removeWhy;
        return false;
    }
    QString failure;
    if (!writeDiscoveryFile(library, &failure) || !writeKey(library, &failure)) {
        // Neither half stays without the other.
        removeRegistration(nullptr);
        say(why, failure);
        qCWarning(lcDrivers).noquote() << "pass-thru library not registered:" << failure;
        return false;
    }
    qCInfo(lcDrivers).noquote() << "pass-thru library registered:" << QDir::toNativeSeparators(library);
    return true;
}

bool unregisterPackageLibrary(const DriverInfo& info, QString* why)
{
    if (passThruLibraryOf(info).isEmpty())
        return true;
    if (!removeRegistration(why)) {
        qCWarning(lcDrivers).noquote() << "pass-thru registration left:" << (why ? *why : QString());
        return false;
    }
    qCInfo(lcDrivers) << "pass-thru library unregistered";
    return true;
}

} // namespace drivers
