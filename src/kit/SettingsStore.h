// The language setting, the language marker file and the log-on autostart entry.
#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

#include <string>

// The chosen language ("en" or "es"), kept in QSettings (native format,
// organisation "Settings", application "Brindlewick") behind a cache: a value
// read or written once is afterwards served from the cache. Used from the GUI
// thread only; instance() may be called from any thread.
class SettingsStore {
public:
    static SettingsStore& instance();

    // A store of its own with an empty cache (the process uses instance();
    // a second store stands for the next start of the program).
    SettingsStore();

    // Cached value, else the stored one; "es" when that is missing or empty.
    QString language();
    void setLanguage(const QString& value);

    // Generic access to the same store and cache.
    QVariant value(const QString& key);
    void setValue(const QString& key, const QVariant& value);

private:
    QMap<QString, QVariant> m_cache;
};

// First byte of "SaveLanguageSetting.ini": '0' -> 0, '1' -> 1, any other byte
// or an empty file -> -1, a file that cannot be opened for reading -> -2.
// Without an argument the file next to the executable is read.
int readLanguageMarker();
int readLanguageMarker(const QString& directory);

// The log-on autostart entry (value "Brindlewick" of the HKLM Run key).
// Reading gives an empty text when the value cannot be read; the entry counts
// as present when the text is not empty. Writing and removing fail quietly
// without administrator rights.
std::string readAutostartEntry();
bool writeAutostartEntry(const std::string& value);
void removeAutostartEntry();
// The value the settings page writes: the running executable's full path,
// unquoted, a blank and the tray switch ("... -z").
std::string autostartCommandLine();
