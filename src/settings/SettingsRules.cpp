#include "settings/SettingsRules.h"

#include "kit/AppConstants.h"
#include "kit/SettingsStore.h"
#include "kit/TraceFolders.h"

#include <QFileInfo>

SettingsProbes SettingsProbes::system()
{
    SettingsProbes probes;
    probes.directoryExists = [](const QString& path) { return QFileInfo(path).isDir(); };
    probes.autostartEntry = [] { return QString::fromStdString(readAutostartEntry()); };
    probes.language = [] { return SettingsStore::instance().language(); };
    return probes;
}

SettingsState readSettingsState(const SettingsProbes& probes)
{
    SettingsState state;
    for (const TraceFolder& folder : traceFolders()) {
        if (folder.countedWhenOn && probes.directoryExists && probes.directoryExists(folder.localPath())) {
            state.systemLog = true;
            break;
        }
    }
    state.autostart = probes.autostartEntry && !probes.autostartEntry().isEmpty();
    state.languageIndex = SettingsLanguage::indexFor(
        probes.language ? probes.language() : QString::fromLatin1(AppConstants::kDefaultLanguage));
    return state;
}

namespace SettingsLanguage {

int indexFor(const QString& language)
{
    return language == QLatin1String(AppConstants::kLanguageSpanish) ? kSpanishIndex : kEnglishIndex;
}

QString codeFor(int index)
{
    if (index == kSpanishIndex)
        return QString::fromLatin1(AppConstants::kLanguageSpanish);
    if (index == kEnglishIndex)
        return QString::fromLatin1(AppConstants::kLanguageEnglish);
    return QString();
}

bool asksForRestart(int chosenIndex, int initialIndex)
{
    return chosenIndex != initialIndex;
}

} // namespace SettingsLanguage

bool applyAutostart(bool on)
{
    if (!on) {
        removeAutostartEntry();
        return readAutostartEntry().empty();
    }
    const std::string value = autostartCommandLine();
    if (readAutostartEntry() == value)
        return true;
    return writeAutostartEntry(value);
}
