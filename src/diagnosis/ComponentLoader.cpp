#include "diagnosis/ComponentLoader.h"

#include "diagnosis/DiagnosisLog.h"
#include "diagnosis/VersionFile.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>

#include <QDir>
#include <QFileInfo>

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace diagnosis {

namespace {

// The libraries of one VehDiag folder, loaded once per run and never unloaded.
struct LoadedFolder {
    platform::Library iHttp;
    platform::Library pubFunctional;
    platform::Library stdComm;
    platform::Library stdDispQt;
    DisplayEntries entries;
    bool stackBuilt = false;
};

struct LoadedMake {
    platform::Library library;
    bool entered = false;
};

std::mutex& registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Reachable until the process ends, on purpose (see the header).
std::map<std::string, std::unique_ptr<LoadedFolder>>& folders()
{
    static auto* map = new std::map<std::string, std::unique_ptr<LoadedFolder>>();
    return *map;
}

std::map<std::string, std::unique_ptr<LoadedMake>>& makes()
{
    static auto* map = new std::map<std::string, std::unique_ptr<LoadedMake>>();
    return *map;
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Checks the file, loads it; `why` says what went wrong.
bool loadChecked(platform::Library& library, const QString& path, QString& why)
{
    if (!looksLoadable(path, &why))
        return false;
    if (!library.load(utf8(QDir::cleanPath(QFileInfo(path).absoluteFilePath())))) {
        why = QString::fromStdString(library.errorString());
        return false;
    }
    return true;
}

template <typename F>
bool take(platform::Library& library, const char* name, F& out, QString& why)
{
    out = library.resolveFunction<F>(name);
    if (!out)
        why = QString::fromStdString(library.errorString());
    return out != nullptr;
}

const char* const kComponentQt[] = {"Qt5Core", "Qt5Gui", "Qt5Network", "Qt5Widgets", "Qt5PrintSupport"};

} // namespace

LoadOutcome loadComponent(const ComponentFolder& folder)
{
    LoadOutcome outcome;
    std::lock_guard<std::mutex> lock(registryMutex());
    const std::string key = utf8(QDir::cleanPath(QFileInfo(folder.root()).absoluteFilePath()));
    auto found = folders().find(key);
    if (found != folders().end()) {
        outcome.entries = &found->second->entries;
        outcome.loadedBefore = true;
        return outcome;
    }

    // Preload. The component is built against the manager's Qt: a second Qt
    // in one process would break both, so Qt libraries in the folder stay unloaded.
    for (const char* qt : kComponentQt) {
        const QString path = folder.dllFolder() + QLatin1Char('/') + QLatin1String(qt)
            + QString::fromLatin1(platform::sharedLibrarySuffix());
        if (QFileInfo::exists(path))
            outcome.skipped << QLatin1String(qt);
    }
    if (!outcome.skipped.isEmpty())
        qCInfo(lcDiagnosis).noquote() << "component Qt libraries not loaded (one Qt per process):"
                                      << outcome.skipped.join(QStringLiteral(", "));

    auto loaded = std::make_unique<LoadedFolder>();
    QString why;
    if (!loadChecked(loaded->iHttp, folder.library(kIHttp), why)) {
        outcome.failedLibrary = QLatin1String(kIHttp);
        outcome.detail = why;
        return outcome;
    }

    // The installed versions, for the log; a damaged file is no reason to stop.
    const VersionFile installed = readVersionFile(folder.installedVersions());
    if (installed.status == VersionFile::Status::TooLarge || installed.oddLines > 0)
        qCWarning(lcDiagnosis).noquote() << "odd installed-versions file" << folder.installedVersions()
                                         << "odd lines:" << installed.oddLines;

    outcome.swap = swapReplacements(folder, &why);
    if (outcome.swap == SwapResult::Refused || outcome.swap == SwapResult::Failed)
        qCWarning(lcDiagnosis).noquote() << "replacements not swapped in:" << why;
    else if (outcome.swap == SwapResult::Swapped)
        qCInfo(lcDiagnosis) << "replacement display and communication libraries swapped in";

    const std::pair<const char*, platform::Library*> order[] = {
        {kPubFunctional, &loaded->pubFunctional},
        {kStdComm, &loaded->stdComm},
        {kStdDispQt, &loaded->stdDispQt},
    };
    for (const auto& [base, library] : order) {
        if (!loadChecked(*library, folder.library(base), why)) {
            outcome.failedLibrary = QLatin1String(base);
            outcome.detail = why;
            return outcome;
        }
    }
    DisplayEntries& e = loaded->entries;
    platform::Library& disp = loaded->stdDispQt;
    if (!take(disp, "SetLanguage", e.setLanguage, why) || !take(disp, "SetVehiclePath", e.setVehiclePath, why)
        || !take(disp, "SetGloableWidget", e.setGloableWidget, why) || !take(disp, "MakeStackWid", e.makeStackWid, why)
        || !take(disp, "SetVeh", e.setVeh, why)) {
        outcome.failedLibrary = QLatin1String(kStdDispQt);
        outcome.detail = why;
        return outcome; // nothing was called: the libraries go again
    }
    outcome.entries = &loaded->entries;
    folders().emplace(key, std::move(loaded));
    return outcome;
}

void startDisplay(
    const DisplayEntries& entries, const ComponentFolder& folder, bool english, QWidget* host, const QString& make)
{
    bool buildStack = false;
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        for (auto& [key, loaded] : folders()) {
            if (&loaded->entries == &entries && !loaded->stackBuilt) {
                loaded->stackBuilt = true;
                buildStack = true;
            }
        }
    }
    const std::string path = utf8(QDir::toNativeSeparators(folder.root() + QLatin1Char('/')));
    const std::string makeName = utf8(make);
    if (buildStack) {
        entries.setLanguage(english ? "en" : "cn");
        entries.setVehiclePath(path.c_str());
        entries.setGloableWidget(host);
        entries.makeStackWid();
    } else {
        entries.setLanguage(english ? "en" : "cn");
    }
    entries.setVeh(makeName.c_str());
}

MakeOutcome enterMake(const ComponentFolder& folder, const QString& make)
{
    MakeOutcome outcome;
    const QString path = folder.makeLibrary(make);
    const std::string key = utf8(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    VehDiagDiagEntry entry = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto found = makes().find(key);
        if (found != makes().end()) {
            outcome.ok = true;
            outcome.enteredBefore = true;
            return outcome;
        }
        auto loaded = std::make_unique<LoadedMake>();
        QString why;
        if (!loadChecked(loaded->library, path, why) || !take(loaded->library, "DiagEntry", entry, why)) {
            outcome.detail = why;
            return outcome;
        }
        loaded->entered = true;
        makes().emplace(key, std::move(loaded));
    }
    const std::string makeFolder = utf8(QDir::toNativeSeparators(folder.makeFolder(make) + QLatin1Char('/')));
    outcome.code = entry(makeFolder.c_str());
    outcome.ok = outcome.code == 0;
    if (!outcome.ok)
        outcome.detail = QStringLiteral("DiagEntry returned %1").arg(outcome.code);
    return outcome;
}

} // namespace diagnosis
