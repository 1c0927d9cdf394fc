// What the settings page reads from the machine each time it opens, and the
// small rules behind its controls: which state each control shows, the
// language codes of the combo box and when a language change asks for a
// restart. The machine is reached through SettingsProbes so that the rules
// can be checked with answers of our choosing.
#pragma once

#include <QString>

#include <functional>

struct SettingsProbes {
    // True when the folder exists as a directory (not a file).
    std::function<bool(const QString& path)> directoryExists;
    // The autostart entry's text, empty when there is none.
    std::function<QString()> autostartEntry;
    // The stored language code ("en", "es").
    std::function<QString()> language;

    // The real machine: the file system, the platform's autostart entry and
    // the settings store.
    static SettingsProbes system();
};

struct SettingsState {
    bool systemLog = false; // one of the counted trace folders exists
    bool autostart = false; // the autostart entry reads as a non-empty text
    int languageIndex = 0;  // 0 Spanish, 1 English
};

SettingsState readSettingsState(const SettingsProbes& probes);

namespace SettingsLanguage {
constexpr int kSpanishIndex = 0;
constexpr int kEnglishIndex = 1;
// "es" -> 0, anything else -> 1.
int indexFor(const QString& language);
// 0 -> "es", 1 -> "en"; other indexes give an empty text.
QString codeFor(int index);
// A change asks for the restart only when it leaves the language the page
// showed at its first refresh (`initialIndex` is -1 before that).
bool asksForRestart(int chosenIndex, int initialIndex);
} // namespace SettingsLanguage

// The start-up switch's effect: on writes the entry (the running program's
// path and " -z") unless it already holds exactly that; off removes it.
// Safe to repeat. Returns whether the entry is now as asked.
bool applyAutostart(bool on);
